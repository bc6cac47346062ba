// When the end of a piece of work is worth a desktop notification: when it took long enough that the
// user will have turned to something else, and they have (the window is not the active one).
#pragma once

#include <chrono>

namespace sendwell {

inline constexpr std::chrono::seconds kNotifyAfter{10};

constexpr bool WorthANotification(std::chrono::milliseconds elapsed, bool windowActive) {
    return !windowActive && elapsed > kNotifyAfter;
}

} // namespace sendwell
