// Work on a thread of its own beside the caller: both halves run at once, and what the side's half
// throws reaches whoever waits for it.
#include "core/base/side_by_side.h"

#include <future>
#include <gtest/gtest.h>
#include <stdexcept>

namespace sendwell {
namespace {

TEST(SideTask, RunsBesideTheCallerUntilWaitedFor) {
    // Each half waits for the other: this ends only when the two run at the same time.
    std::promise<void> sideStarted;
    std::promise<void> callerGoesOn;
    bool sideEnded = false;
    SideTask task([&] {
        sideStarted.set_value();
        callerGoesOn.get_future().wait();
        sideEnded = true;
    });
    sideStarted.get_future().wait();
    callerGoesOn.set_value();
    task.Wait();
    EXPECT_TRUE(sideEnded);
    task.Wait(); // a second wait returns at once
}

TEST(SideTask, WhatTheWorkThrowsReachesTheWaiterOnlyAndFirstsFailureWins) {
    SideTask failing([] { throw std::runtime_error("side"); });
    EXPECT_THROW(failing.Wait(), std::runtime_error);
    bool ended = false;
    {
        // Destroying it waits for the work and keeps its failure to itself.
        SideTask unwaited([&] {
            ended = true;
            throw std::runtime_error("no one waits");
        });
    }
    EXPECT_TRUE(ended);
    try {
        RunSideBySide([] { throw std::logic_error("first"); }, [] { throw std::runtime_error("second"); });
        FAIL() << "nothing was thrown";
    } catch (const std::logic_error& error) {
        EXPECT_STREQ(error.what(), "first");
    }
    EXPECT_THROW(RunSideBySide([] {}, [] { throw std::runtime_error("second"); }), std::runtime_error);
}

} // namespace
} // namespace sendwell
