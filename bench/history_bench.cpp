// What keeping the run history costs a run: a bulk status check of 100,000 addresses on two loopback
// hosts (the tests' server, 8 requests in all and 4 per host), recorded in the history as the front ends
// run it, taking turns in the same loop with the same check not recorded; each turn's two runs give a
// ratio, and the median of those is the figure, since the machine's load moves more from turn to turn
// than within one. Also the history's own work for as many requests, without the network: what the
// run's thread pays in its adds, and what the writer thread does until the finish.
// SENDWELL_BENCH_REQUESTS sets the run's size, SENDWELL_BENCH_ROUNDS the turns.
#include "bench/bench_support.h"
#include "core/history/history_store.h"
#include "core/history/status_history.h"
#include "core/web/status_run.h"
#include "tests/support/http_test_server.h"

#include <benchmark/benchmark.h>
#include <curl/curl.h>

namespace {

using namespace sendwell::bench;
using sendwell::test::HttpTestServer;

std::size_t FromEnvironment(const char* name, std::size_t fallback) {
    const char* value = std::getenv(name);
    return value != nullptr && std::atol(value) > 0 ? static_cast<std::size_t>(std::atol(value)) : fallback;
}

// The history alone for the run's size, once measured: what it adds to a run when nothing else shares its
// time, a figure that does not move with the machine's load as the two runs' walls do.
double g_aloneSeconds = 0;
double g_aloneAdds = 0; // of that, the run's thread's adds

std::vector<std::string> Addresses(const HttpTestServer& one, const HttpTestServer& two, std::size_t n) {
    std::vector<std::string> urls;
    urls.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        urls.push_back((i % 2 == 0 ? one : two).Url("/page/" + std::to_string(i)));
    }
    return urls;
}

void BM_StatusRunHistoryOnAndOff(benchmark::State& state) {
    HttpTestServer one{"127.0.0.1", nullptr};
    HttpTestServer two{"127.0.0.2", nullptr};
    one.SetHandler(sendwell::test::Always(sendwell::test::Response(200, "page")));
    two.SetHandler(sendwell::test::Always(sendwell::test::Response(200, "page")));
    const std::size_t n = FromEnvironment("SENDWELL_BENCH_REQUESTS", 100000);
    const std::vector<std::string> urls = Addresses(one, two, n);
    const fs::path history = Scratch() / "history.sqlite";
    sendwell::StatusRunSetup setup;
    setup.concurrency = 8;
    setup.perHost = 4;
    std::vector<double> on;
    std::vector<double> off;
    std::vector<double> ratios; // of each turn's two runs, which ran one right after the other
    std::size_t failed = 0;
    for (auto _ : state) {
        std::size_t rows = 0;
        auto onRow = [&](std::size_t, sendwell::StatusRow&& row) {
            ++rows;
            failed += row.failed() ? 1 : 0;
        };
        auto runOff = [&] {
            const auto start = Clock::now();
            sendwell::RunStatusCheck(urls, setup, onRow);
            off.push_back(Seconds(Clock::now() - start));
        };
        sendwell::RecordedStatusCheck recorded;
        auto runOn = [&] {
            const auto start = Clock::now();
            recorded = sendwell::RunRecordedStatusCheck(urls, setup, onRow, history);
            on.push_back(Seconds(Clock::now() - start));
        };
        // Each side goes first every other turn, so that neither pays for what the other left behind
        // (the server's record of every request grows through the run) nor gains from a load that
        // rises or falls through the turn.
        const bool offFirst = on.size() % 2 == 0;
        if (offFirst) {
            runOff();
            runOn();
        } else {
            runOn();
            runOff();
        }
        if (!recorded.historyError.empty() || rows != 2 * n) {
            state.SkipWithError("the history was not written, or rows went missing");
            return;
        }
        ratios.push_back(on.back() / off.back());
        Say("turn %zu, %s first: history on %.2f s, off %.2f s: %.3fx", ratios.size(),
            offFirst ? "off" : "on", on.back(), off.back(), ratios.back());
        state.SetIterationTime(on.back());
    }
    const auto [least, most] = std::minmax_element(ratios.begin(), ratios.end());
    Say("status check of %zu addresses, %zu turns (%zu requests failed):", n, ratios.size(), failed);
    Say("  history on against off: %.3fx, the median of the turns' ratios (%.3fx to %.3fx); goal 1.03x",
        Median(ratios), *least, *most);
    Say("  medians of the walls: history on %.2f s, off %.2f s: %.3fx", Median(on), Median(off),
        Median(on) / Median(off));
    if (g_aloneAdds > 0) {
        Say("  the run off plus the history alone: %.4fx with the run's thread's adds only, %.3fx with all "
            "of "
            "the writer's work",
            (Median(off) + g_aloneAdds) / Median(off), (Median(off) + g_aloneSeconds) / Median(off));
    }
}

double CpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void BM_HistoryAlone(benchmark::State& state) {
    const std::size_t n = FromEnvironment("SENDWELL_BENCH_REQUESTS", 100000);
    std::vector<double> adds;
    std::vector<double> finishes;
    std::vector<double> totals;
    std::vector<double> cpus;
    int round = 0;
    for (auto _ : state) {
        // The records as a run makes them, made before the clock starts: making them is the run's work.
        std::vector<sendwell::RequestRecord> records;
        records.reserve(n);
        for (std::size_t i = 0; i < n; ++i) {
            records.push_back({0,
                               "https://www.example.test/page/" + std::to_string(i),
                               "status",
                               sendwell::RequestEnd::Accepted,
                               200,
                               3,
                               {},
                               2});
        }
        const fs::path file = Scratch() / ("alone-" + std::to_string(round++) + ".sqlite");
        const double cpuStart = CpuSeconds();
        const auto start = Clock::now();
        sendwell::HistoryRecorder recorder(file, sendwell::RunKind::StatusCheck, 1);
        // Only the adds: what the run's thread pays while it runs.
        const auto addsStart = Clock::now();
        for (sendwell::RequestRecord& record : records) {
            recorder.Add(std::move(record));
        }
        const auto finishStart = Clock::now();
        const sendwell::Outcome written =
            recorder.Finish(3, false, {static_cast<std::int64_t>(n), static_cast<std::int64_t>(n), 0});
        const auto end = Clock::now();
        adds.push_back(Seconds(finishStart - addsStart));
        finishes.push_back(Seconds(end - finishStart));
        totals.push_back(Seconds(end - start));
        cpus.push_back(CpuSeconds() - cpuStart);
        state.SetIterationTime(totals.back());
        if (!written.ok()) {
            state.SkipWithError(written.text.c_str());
            return;
        }
    }
    g_aloneSeconds = Median(totals);
    g_aloneAdds = Median(adds);
    const double perRequest = 1e6 / static_cast<double>(n);
    Say("the history alone, %zu requests through the recorder (medians of %zu):", n, totals.size());
    Say("  the run's thread in Add: %.1f ms in all, %.3f us a request", Median(adds) * 1000,
        Median(adds) * perRequest);
    Say("  the finish, waiting for the writer to write what it still held: %.1f ms", Median(finishes) * 1000);
    Say("  opening to the end of the finish: %.1f ms, %.2f us a request; CPU of all threads %.1f ms, "
        "%.2f us a request",
        Median(totals) * 1000, Median(totals) * perRequest, Median(cpus) * 1000, Median(cpus) * perRequest);
}

} // namespace

BENCHMARK(BM_HistoryAlone)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);
BENCHMARK(BM_StatusRunHistoryOnAndOff)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(static_cast<benchmark::IterationCount>(FromEnvironment("SENDWELL_BENCH_ROUNDS", 1)));

int main(int argc, char** argv) {
    return RunLoopbackBenchmarks(argc, argv, "Run history, on against off:");
}
