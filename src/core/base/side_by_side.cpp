#include "core/base/side_by_side.h"

#include <system_error>

namespace sendwell {

SideTask::SideTask(std::function<void()> work) : work_(std::move(work)) {
    try {
        thread_ = std::thread([this] {
            try {
                work_();
            } catch (...) {
                failure_ = std::current_exception();
            }
        });
    } catch (const std::system_error&) {
        // Wait runs the work.
    }
}

SideTask::~SideTask() {
    try {
        Wait();
    } catch (...) {
        // Whoever wanted the failure waited for it; a task left to its end has no one to tell.
    }
}

void SideTask::Wait() {
    if (waited_) {
        return;
    }
    waited_ = true;
    if (thread_.joinable()) {
        thread_.join();
    } else {
        work_();
    }
    if (failure_) {
        std::rethrow_exception(failure_);
    }
}

void RunSideBySide(const std::function<void()>& first, const std::function<void()>& second) {
    SideTask helper(second);
    std::exception_ptr firstFailure;
    try {
        first();
    } catch (...) {
        firstFailure = std::current_exception();
    }
    try {
        helper.Wait();
    } catch (...) {
        if (!firstFailure) {
            throw;
        }
    }
    if (firstFailure) {
        std::rethrow_exception(firstFailure);
    }
}

} // namespace sendwell
