// Two halves of one job on the two cores of a small machine: one half on the calling thread, the
// other on a thread of its own for as long as the call lasts, or until the caller waits for it.
#pragma once

#include <cstddef>
#include <exception>
#include <functional>
#include <thread>

namespace sendwell {

// Work on a thread of its own from its start until Wait, while the caller goes on with its half.
// Without a thread to be had, the work runs in Wait, on the waiting thread. Destroying a task that
// was not waited for waits for it and drops what it threw.
class SideTask {
public:
    explicit SideTask(std::function<void()> work);
    ~SideTask();
    SideTask(const SideTask&) = delete;
    SideTask& operator=(const SideTask&) = delete;

    // Returns when the work has ended, and rethrows what it threw; at once after the first call.
    void Wait();

private:
    std::function<void()> work_;
    std::thread thread_;
    std::exception_ptr failure_;
    bool waited_ = false;
};

// Runs first here and second on a thread of its own, and returns when both have ended; without a
// thread to be had, runs them one after the other. What either throws is rethrown here (first's when
// both throw). The two must not write the same memory.
void RunSideBySide(const std::function<void()>& first, const std::function<void()>& second);

// work(begin, end) over [0, count): in two halves side by side from minimum on, else in one go.
template <typename Work>
void RunHalvesSideBySide(std::size_t count, std::size_t minimum, const Work& work) {
    if (count < minimum || count < 2) {
        work(std::size_t{0}, count);
        return;
    }
    const std::size_t half = count / 2;
    RunSideBySide([&work, half] { work(std::size_t{0}, half); }, [&work, half, count] { work(half, count); });
}

// Runs helper on up to count threads of their own and driver here, and returns when all have ended.
// driver is told how many helpers run (fewer than count, or none, when threads cannot be had) and must
// see to it that they end. What any of them throws is rethrown here (driver's first).
void RunWithHelpers(std::size_t count, const std::function<void(std::size_t)>& driver,
                    const std::function<void()>& helper);

} // namespace sendwell
