// A driver with helper threads: every helper runs beside the driver, and failures come back to the
// caller.
#include "core/base/side_by_side.h"

#include <condition_variable>
#include <gtest/gtest.h>
#include <mutex>
#include <stdexcept>

namespace sendwell {
namespace {

// The driver hands out work the helpers take; each helper ends when the driver says so.
TEST(RunWithHelpers, HelpersRunBesideTheDriverUntilItEndsThem) {
    std::mutex mutex;
    std::condition_variable changed;
    int waiting = 0;
    bool done = false;
    std::size_t started = 0;
    RunWithHelpers(
        3,
        [&](std::size_t helpers) {
            started = helpers;
            std::unique_lock lock(mutex);
            // Every helper is running at once beside the driver.
            changed.wait(lock, [&] { return waiting == static_cast<int>(helpers); });
            done = true;
            changed.notify_all();
        },
        [&] {
            std::unique_lock lock(mutex);
            ++waiting;
            changed.notify_all();
            changed.wait(lock, [&] { return done; });
        });
    EXPECT_EQ(started, 3u);
    EXPECT_EQ(waiting, 3);
}

TEST(RunWithHelpers, WhatAnyPartThrowsIsRethrownTheDriversFirst) {
    const auto helperThrows = [] { throw std::runtime_error("helper"); };
    EXPECT_THROW(RunWithHelpers(
                     2, [](std::size_t) {}, helperThrows),
                 std::runtime_error);
    try {
        RunWithHelpers(
            2, [](std::size_t) { throw std::logic_error("driver"); }, helperThrows);
        ADD_FAILURE() << "nothing thrown";
    } catch (const std::logic_error& e) {
        EXPECT_STREQ(e.what(), "driver");
    }
}

} // namespace
} // namespace sendwell
