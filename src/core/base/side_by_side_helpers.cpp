// RunWithHelpers of side_by_side.h: a driver with any number of helper threads.
#include "core/base/side_by_side.h"

#include <exception>
#include <system_error>
#include <thread>
#include <vector>

namespace sendwell {

void RunWithHelpers(std::size_t count, const std::function<void(std::size_t)>& driver,
                    const std::function<void()>& helper) {
    std::vector<std::exception_ptr> failures(count);
    std::vector<std::thread> threads;
    threads.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        try {
            threads.emplace_back([&helper, &failure = failures[i]] {
                try {
                    helper();
                } catch (...) {
                    failure = std::current_exception();
                }
            });
        } catch (const std::system_error&) {
            break;
        }
    }
    std::exception_ptr driverFailure;
    try {
        driver(threads.size());
    } catch (...) {
        driverFailure = std::current_exception();
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    if (driverFailure) {
        std::rethrow_exception(driverFailure);
    }
    for (const std::exception_ptr& failure : failures) {
        if (failure) {
            std::rethrow_exception(failure);
        }
    }
}

} // namespace sendwell
