// Loading, saving and sorting a database of 1,000,000 addresses shaped like real sites' pages (about
// 75 MB on disk), each beside a baseline run in the same loop: `cat` of the same file for the load and
// the sorts, `dd conv=fsync` for the save. Each sort round starts from the rows as loaded (unsorted)
// and measures a header click. The medians are printed at the end with their units, as are the
// process's peak memory and the machine's load.
#include "bench/bench_support.h"

#include <benchmark/benchmark.h>
#include <ctime>
#include <fstream>

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

// CPU time of the process (every thread of it) or of the calling thread: on a shared machine they
// tell more than the wall clock. Nothing else runs in the process while a sort is timed.
double CpuSeconds(clockid_t clock) {
    timespec t{};
    ::clock_gettime(clock, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
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
std::pair<double, double> TakeTurns(benchmark::State& state, double (*baseline)(), Subject subject) {
    std::vector<double> subjectTimes, baselineTimes;
    for (auto _ : state) {
        baselineTimes.push_back(baseline());
        const double took = subject();
        subjectTimes.push_back(took);
        state.SetIterationTime(took);
    }
    const double s = Median(subjectTimes), b = Median(baselineTimes);
    state.counters["ratio"] = b > 0 ? s / b : 0;
    state.counters["rows"] = static_cast<double>(kMillion);
    return std::pair{s, b};
}

void BM_Load(benchmark::State& state) {
    SampleFile();
    double held = 0;
    const auto [load, cat] = TakeTurns(state, CatSeconds, [&held] {
        UrlDatabase db;
        const double before = ResidentBytes();
        const auto start = Clock::now();
        sendwell::LoadDatabase(db, SampleFile());
        const double took = Seconds(Clock::now() - start);
        held = std::max(held, ResidentBytes() - before);
        benchmark::DoNotOptimize(db.recordCount());
        return took;
    });
    Say("load: %.1f ms, %.0f MB held, file %.0f MB; cat of the file %.1f ms; ratio %.2f", load * 1e3,
        held / (1 << 20), static_cast<double>(fs::file_size(SampleFile())) / (1 << 20), cat * 1e3,
        cat > 0 ? load / cat : 0);
}
BENCHMARK(BM_Load)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(7);

void BM_Save(benchmark::State& state) {
    const UrlDatabase& db = SampleDatabase();
    const fs::path file = Scratch() / "save.dat";
    SampleFile();
    const auto [save, dd] = TakeTurns(state, DdSeconds, [&db, &file] {
        const auto start = Clock::now();
        if (!sendwell::SaveDatabase(db, file)) {
            std::abort();
        }
        return Seconds(Clock::now() - start);
    });
    Say("save: %.1f ms; dd conv=fsync of the file %.1f ms; ratio %.2f", save * 1e3, dd * 1e3,
        dd > 0 ? save / dd : 0);
}
BENCHMARK(BM_Save)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(7);

// The header click's core work on the rows as loaded: the order worked out, then applied to the rows.
void BM_Sort(benchmark::State& state) {
    const int column = static_cast<int>(state.range(0));
    SampleFile();
    std::vector<double> planTimes, applyTimes, cpuTimes, ownCpuTimes;
    const auto [sort, cat] = TakeTurns(state, CatSeconds, [&, column] {
        UrlDatabase db = SampleDatabase(); // unsorted again, and not yet sorted in this copy
        const double cpuStart = CpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
        const double ownCpuStart = CpuSeconds(CLOCK_THREAD_CPUTIME_ID);
        const auto start = Clock::now();
        UrlDatabase::SortPlan plan = db.PlanSort(column);
        const auto planned = Clock::now();
        db.ApplySort(std::move(plan));
        const auto applied = Clock::now();
        cpuTimes.push_back(CpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - cpuStart);
        ownCpuTimes.push_back(CpuSeconds(CLOCK_THREAD_CPUTIME_ID) - ownCpuStart);
        planTimes.push_back(Seconds(planned - start));
        applyTimes.push_back(Seconds(applied - planned));
        return Seconds(applied - start);
    });
    // The window does the first part on another thread, the second on its own. A long list's sort
    // shares its work with a second thread: the longer of the two bounds the time on an idle machine.
    static const char* const names[] = {"#", "Web URL", "Last Sent", "# Submits"};
    const double cpu = Median(cpuTimes), own = Median(ownCpuTimes);
    Say("sort by \"%s\", unsorted rows: %.1f ms wall; CPU %.1f ms in all (%.1f ms on the sorting thread, "
        "%.1f ms on its helper); %.1f ms off the UI thread and %.3f ms on it",
        names[column], sort * 1e3, cpu * 1e3, own * 1e3, std::max(0.0, cpu - own) * 1e3,
        Median(planTimes) * 1e3, Median(applyTimes) * 1e3);
    (void)cat;
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
    PrintSummary("Medians of 1,000,000 rows:");
    return 0;
}
