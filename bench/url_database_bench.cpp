// Loading, saving and sorting a database of 1,000,000 addresses (about 68 MB on disk), each beside a
// baseline run in the same loop: `cat` of the same file for the load and the sorts, `dd conv=fsync`
// for the save. Every benchmark reports medians and the ratio to its baseline; the process's peak
// memory is printed at the end.
#include "bench/bench_support.h"

#include <benchmark/benchmark.h>
#include <fstream>
#include <sys/resource.h>

namespace {

using namespace sendwell::bench;
using sendwell::UrlDatabase;

const fs::path& SampleFile() {
    static const fs::path file = [] {
        fs::path f = Scratch() / "linkroll2.dat";
        if (!sendwell::SaveDatabase(SampleDatabase(), f)) {
            std::abort();
        }
        return f;
    }();
    return file;
}

double CatSeconds() {
    return RunProgram({"cat", SampleFile().string()});
}

double DdSeconds() {
    return RunProgram({"dd", "if=" + SampleFile().string(), "of=" + (Scratch() / "dd.dat").string(), "bs=1M",
                       "conv=fsync", "status=none"});
}

// Resident memory of the process now, in bytes.
double ResidentBytes() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return static_cast<double>(resident) * static_cast<double>(::sysconf(_SC_PAGESIZE));
}

// Each iteration times the baseline, then the subject; the manual time is the subject's.
template <typename Subject>
void TakeTurns(benchmark::State& state, double (*baseline)(), Subject subject, const char* baselineName) {
    std::vector<double> subjectTimes, baselineTimes;
    for (auto _ : state) {
        baselineTimes.push_back(baseline());
        const double took = subject();
        subjectTimes.push_back(took);
        state.SetIterationTime(took);
    }
    const double s = Median(subjectTimes), b = Median(baselineTimes);
    state.counters["median_ms"] = s * 1e3;
    state.counters[std::string(baselineName) + "_ms"] = b * 1e3;
    state.counters["ratio"] = b > 0 ? s / b : 0;
    state.counters["rows"] = static_cast<double>(kMillion);
}

void BM_Load(benchmark::State& state) {
    SampleFile();
    double held = 0;
    TakeTurns(
        state, CatSeconds,
        [&held] {
            UrlDatabase db;
            const double before = ResidentBytes();
            const auto start = Clock::now();
            sendwell::LoadDatabase(db, SampleFile());
            const double took = Seconds(Clock::now() - start);
            held = std::max(held, ResidentBytes() - before);
            benchmark::DoNotOptimize(db.recordCount());
            return took;
        },
        "cat");
    state.counters["held_MB"] = held / (1 << 20);
    state.counters["file_MB"] = static_cast<double>(fs::file_size(SampleFile())) / (1 << 20);
}
BENCHMARK(BM_Load)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(7);

void BM_Save(benchmark::State& state) {
    const UrlDatabase& db = SampleDatabase();
    const fs::path file = Scratch() / "save.dat";
    SampleFile();
    TakeTurns(
        state, DdSeconds,
        [&db, &file] {
            const auto start = Clock::now();
            if (!sendwell::SaveDatabase(db, file)) {
                std::abort();
            }
            return Seconds(Clock::now() - start);
        },
        "dd_fsync");
}
BENCHMARK(BM_Save)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(7);

// The header click's core work: the order worked out, then applied to the rows.
void BM_Sort(benchmark::State& state) {
    const int column = static_cast<int>(state.range(0));
    SampleFile();
    UrlDatabase db = SampleDatabase();
    std::vector<double> planTimes, applyTimes;
    TakeTurns(
        state, CatSeconds,
        [&db, &planTimes, &applyTimes, column] {
            const auto start = Clock::now();
            UrlDatabase::SortPlan plan = db.PlanSort(column);
            const auto planned = Clock::now();
            db.ApplySort(std::move(plan));
            const auto applied = Clock::now();
            planTimes.push_back(Seconds(planned - start));
            applyTimes.push_back(Seconds(applied - planned));
            return Seconds(applied - start);
        },
        "cat");
    // The window does the first part on another thread, the second on its own.
    state.counters["off_ui_thread_ms"] = Median(planTimes) * 1e3;
    state.counters["on_ui_thread_ms"] = Median(applyTimes) * 1e3;
}
BENCHMARK(BM_Sort)
    ->ArgName("column")
    ->Arg(static_cast<int>(sendwell::ListColumn::WebUrl))
    ->Arg(static_cast<int>(sendwell::ListColumn::LastSent))
    ->Arg(static_cast<int>(sendwell::ListColumn::Number))
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(7);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    std::printf("peak resident memory of the run: %.0f MB\n", static_cast<double>(usage.ru_maxrss) / 1024.0);
    return 0;
}
