// Hands a stream of texts from a busy thread to a slower reader that only ever needs the newest one,
// such as a status line fed line by line while an answer is read.
#pragma once

#include <functional>
#include <mutex>
#include <string>

namespace sendwell {

class CoalescedText {
public:
    // wake asks the reader to call Take soon (e.g. posts to its event queue). It is called at most once
    // per Take, never under the lock, and on the thread that calls Set.
    explicit CoalescedText(std::function<void()> wake);

    // Any thread: replaces the waiting text; wakes the reader unless a wake-up is already on its way.
    void Set(std::string text);
    // The reader: the newest text; the next Set wakes the reader again.
    std::string Take();

private:
    std::function<void()> wake_;
    std::mutex mutex_;
    std::string pending_;
    bool wakePending_ = false;
};

} // namespace sendwell
