// Two halves of one job on the two cores of a small machine: one half on the calling thread, the
// other on a thread of its own for as long as the call lasts.
#pragma once

#include <cstddef>
#include <functional>

namespace sendwell {

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
