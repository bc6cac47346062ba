// What keeping the run history costs a run: a bulk status check of 100,000 addresses on two loopback
// hosts (the tests' server, 8 requests in all and 4 per host), recorded in the history as the front ends
// run it, taking turns in the same loop with the same check not recorded. Also the history's own work
// for as many requests, without the network: a recorder's adds and its finish.
// SENDWELL_BENCH_REQUESTS sets the run's size, SENDWELL_BENCH_ROUNDS the turns of each side.
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
        // (the server's record of every request grows through the run).
        if (on.size() % 2 == 0) {
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
        state.SetIterationTime(on.back());
    }
    const double ratio = Median(on) / Median(off);
    Say("status check of %zu addresses: history on %.2f s, off %.2f s: %.3fx (goal 1.03x; medians of %zu "
        "turns, %zu failed)",
        n, Median(on), Median(off), ratio, on.size(), failed);
    if (g_aloneSeconds > 0) {
        Say("the run off plus the history alone: %.3fx", (Median(off) + g_aloneSeconds) / Median(off));
    }
}

void BM_HistoryAlone(benchmark::State& state) {
    const std::size_t n = FromEnvironment("SENDWELL_BENCH_REQUESTS", 100000);
    std::vector<double> times;
    int round = 0;
    for (auto _ : state) {
        const fs::path file = Scratch() / ("alone-" + std::to_string(round++) + ".sqlite");
        const auto start = Clock::now();
        sendwell::HistoryRecorder recorder(file, sendwell::RunKind::StatusCheck, 1);
        for (std::size_t i = 0; i < n; ++i) {
            recorder.Add({0,
                          "https://www.example.test/page/" + std::to_string(i),
                          "status",
                          sendwell::RequestEnd::Accepted,
                          200,
                          3,
                          {},
                          2});
        }
        const sendwell::Outcome written =
            recorder.Finish(3, false, {static_cast<std::int64_t>(n), static_cast<std::int64_t>(n), 0});
        times.push_back(Seconds(Clock::now() - start));
        state.SetIterationTime(times.back());
        if (!written.ok()) {
            state.SkipWithError(written.text.c_str());
            return;
        }
    }
    g_aloneSeconds = Median(times);
    Say("the history alone, %zu requests written through the recorder: %.0f ms, %.1f us a request (median of "
        "%zu)",
        n, Median(times) * 1000, Median(times) * 1e6 / static_cast<double>(n), times.size());
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
