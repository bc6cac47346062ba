// The date of the last upgrade check, kept as "UpgradeDate" in the settings store, and the rule that
// offers the check again at start-up after sixteen days.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace sendwell {

inline constexpr int kUpgradeIntervalDays = 16;

// Wall-clock time in the user's time zone.
using LocalTime = std::chrono::local_seconds;
LocalTime LocalNow();
std::chrono::year_month_day DayOf(LocalTime time);

// "M D YYYY": decimal numbers without leading zeros, single spaces ("12 6 2026").
std::string FormatUpgradeDate(const std::chrono::year_month_day& day);
// The date a stored text names: split at spaces, month, day, year by their leading numbers, further
// parts ignored. None when a part is missing or 0, the three make no calendar date, or the text is
// 100 bytes or longer (more than the value may hold).
std::optional<std::chrono::year_month_day> ParseUpgradeDate(std::string_view text);

struct UpgradeDue {
    bool due = false;
    std::chrono::year_month_day lastCheck; // what the program stores when it ends
};
// Due when at least sixteen whole days have passed since 01:01:01 on the stored day. A missing or
// unreadable date is not due, and today becomes the date to store.
UpgradeDue UpgradeDueAt(std::string_view storedText, LocalTime now);

} // namespace sendwell
