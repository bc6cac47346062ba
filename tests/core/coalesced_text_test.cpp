// The status-line hand-over between the worker and the UI thread: run under ThreadSanitizer too.
#include "core/base/coalesced_text.h"

#include <condition_variable>
#include <gtest/gtest.h>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace sendwell {
namespace {

TEST(CoalescedTextTest, AReaderWokenOnDemandSeesTextsInOrderAndAlwaysTheLast) {
    constexpr int kTexts = 20000;
    std::mutex mutex;
    std::condition_variable woken;
    int wakes = 0;
    CoalescedText text([&] {
        std::lock_guard lock(mutex);
        ++wakes;
        woken.notify_one();
    });

    std::thread writer([&] {
        for (int i = 1; i <= kTexts; ++i) {
            text.Set(std::to_string(i));
        }
    });

    // The reader takes once per wake-up, as a posted event would, until it has seen the last text.
    std::vector<int> seen;
    int taken = 0;
    while (seen.empty() || seen.back() != kTexts) {
        {
            std::unique_lock lock(mutex);
            woken.wait(lock, [&] { return wakes > taken; });
        }
        ++taken;
        seen.push_back(std::stoi(text.Take()));
    }
    writer.join();

    for (std::size_t i = 1; i < seen.size(); ++i) {
        EXPECT_LT(seen[i - 1], seen[i]) << "an older text came after a newer one";
    }
    std::lock_guard lock(mutex);
    EXPECT_EQ(wakes, taken) << "a wake-up went out while one was still pending";
}

} // namespace
} // namespace sendwell
