// The concurrent fetch engine on two loopback hosts (127.0.0.1 and 127.0.0.2, the tests' server, a thread
// per connection), bounds 8 in all and 4 per host:
//   - 1,000 addresses answered after 100 ms each, against the ideal 1,000 x 0.1 s / 8 = 12.5 s;
//   - 10,000 addresses answered at once, against a bare libcurl multi loop fetching the same list with
//     the same bounds in the same run, taking turns with it: requests a second and CPU time of the
//     calling thread per request;
//   - IndexNow's check of 1,000 unchanged addresses answered after 100 ms each.
#include "bench/bench_support.h"
#include "core/indexnow/content_state.h"
#include "core/indexnow/indexnow_submit.h"
#include "core/web/fetch_engine.h"
#include "tests/support/http_test_server.h"

#include <benchmark/benchmark.h>
#include <ctime>
#include <curl/curl.h>
#include <deque>
#include <map>

namespace {

using namespace sendwell::bench;
using sendwell::test::HttpTestServer;

constexpr std::chrono::milliseconds kDelay{100};

double ThreadCpuSeconds() {
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

struct Timing {
    double wall = 0;
    double cpu = 0;
};

template <typename Work>
Timing Measure(const Work& work) {
    const auto start = Clock::now();
    const double cpu = ThreadCpuSeconds();
    work();
    return {Seconds(Clock::now() - start), ThreadCpuSeconds() - cpu};
}

// Two hosts answering every request alike, and n addresses taking turns between them.
struct TwoHosts {
    HttpTestServer one{"127.0.0.1", nullptr};
    HttpTestServer two{"127.0.0.2", nullptr};

    explicit TwoHosts(sendwell::test::ScriptedResponse answer) {
        one.SetHandler(sendwell::test::Always(answer));
        two.SetHandler(sendwell::test::Always(answer));
    }
    std::vector<std::string> Addresses(int n) const {
        std::vector<std::string> urls;
        for (int i = 0; i < n; ++i) {
            urls.push_back((i % 2 == 0 ? one : two).Url("/page/" + std::to_string(i)));
        }
        return urls;
    }
};

// Returns how many failed.
int RunEngine(const std::vector<std::string>& urls) {
    sendwell::FetchSetup setup;
    setup.limits.total = std::chrono::seconds(60);
    sendwell::FetchEngine engine(std::move(setup));
    for (std::size_t i = 0; i < urls.size(); ++i) {
        engine.Add({urls[i], true, i});
    }
    int failed = 0;
    engine.Run([&](sendwell::FetchResult&& r) { failed += r.outcome.ok() && r.status == 200 ? 0 : 1; });
    return failed;
}

size_t KeepBody(char* data, size_t size, size_t count, void* body) {
    static_cast<std::string*>(body)->append(data, size * count);
    return size * count;
}

// The same list with the same bounds on a bare multi loop: a queue per host, a host started when it
// has room, an easy handle per request. Not inlined, so that a profiler can single it out.
[[gnu::noinline]] int RunBareLoop(const std::vector<std::string>& urls) {
    struct Request {
        const std::string* url;
        std::string host;
        std::string body;
    };
    std::vector<Request> requests;
    for (const std::string& url : urls) {
        requests.push_back({&url, url.substr(0, url.find('/', 8)), {}});
    }
    std::map<std::string, std::deque<Request*>> queues;
    std::map<std::string, int> open;
    for (Request& r : requests) {
        queues[r.host].push_back(&r);
    }
    CURLM* multi = curl_multi_init();
    int openAll = 0;
    int failed = 0;
    std::size_t done = 0;
    while (done < requests.size()) {
        for (auto& [host, queue] : queues) {
            while (!queue.empty() && openAll < 8 && open[host] < 4) {
                Request* r = queue.front();
                queue.pop_front();
                CURL* h = curl_easy_init();
                curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
                curl_easy_setopt(h, CURLOPT_URL, r->url->c_str());
                curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &KeepBody);
                curl_easy_setopt(h, CURLOPT_WRITEDATA, &r->body);
                curl_easy_setopt(h, CURLOPT_PRIVATE, r);
                curl_multi_add_handle(multi, h);
                ++open[host];
                ++openAll;
            }
        }
        int running = 0;
        curl_multi_perform(multi, &running);
        int left = 0;
        bool ended = false;
        while (CURLMsg* m = curl_multi_info_read(multi, &left)) {
            if (m->msg != CURLMSG_DONE) {
                continue;
            }
            Request* r = nullptr;
            curl_easy_getinfo(m->easy_handle, CURLINFO_PRIVATE, &r);
            long status = 0;
            curl_easy_getinfo(m->easy_handle, CURLINFO_RESPONSE_CODE, &status);
            failed += m->data.result == CURLE_OK && status == 200 ? 0 : 1;
            curl_multi_remove_handle(multi, m->easy_handle);
            curl_easy_cleanup(m->easy_handle);
            --open[r->host];
            --openAll;
            ++done;
            ended = true;
        }
        if (!ended) {
            curl_multi_poll(multi, nullptr, 0, 100, nullptr);
        }
    }
    curl_multi_cleanup(multi);
    return failed;
}

void BM_DelayedAnswers(benchmark::State& state) {
    sendwell::test::ScriptedResponse answer = sendwell::test::Response(200, "page");
    answer.delayBeforeHead = kDelay;
    TwoHosts hosts(answer);
    const std::vector<std::string> urls = hosts.Addresses(1000);
    const double ideal = 1000 * 0.1 / 8;
    int failed = 0;
    double wall = 0;
    for (auto _ : state) {
        wall = Measure([&] { failed = RunEngine(urls); }).wall;
        state.SetIterationTime(wall);
    }
    state.counters["failed"] = failed;
    state.counters["ratio_to_ideal"] = wall / ideal;
    Say("1,000 addresses at 100 ms each: %.2f s against the ideal %.1f s: %.3fx (failed %d)", wall, ideal,
        wall / ideal, failed);
}
BENCHMARK(BM_DelayedAnswers)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

void BM_AgainstBareLoop(benchmark::State& state) {
    TwoHosts hosts(sendwell::test::Response(200, "page"));
    const std::vector<std::string> urls = hosts.Addresses(10000);
    const auto n = static_cast<double>(urls.size());
    std::vector<double> engineWall, engineCpu, bareWall, bareCpu;
    int failed = 0;
    bool bareFirst = true;
    for (auto _ : state) {
        Timing e, b;
        auto engine = [&] { e = Measure([&] { failed += RunEngine(urls); }); };
        auto bare = [&] { b = Measure([&] { failed += RunBareLoop(urls); }); };
        // Each goes first every other round, so that neither always meets the servers fresh.
        if (bareFirst) {
            bare();
            engine();
        } else {
            engine();
            bare();
        }
        bareFirst = !bareFirst;
        engineWall.push_back(e.wall);
        engineCpu.push_back(e.cpu / n);
        bareWall.push_back(b.wall);
        bareCpu.push_back(b.cpu / n);
        state.SetIterationTime(e.wall);
    }
    state.counters["failed"] = failed;
    state.counters["engine_requests_per_s"] = n / Median(engineWall);
    state.counters["bare_requests_per_s"] = n / Median(bareWall);
    state.counters["cpu_ratio"] = Median(engineCpu) / Median(bareCpu);
    Say("10,000 addresses, no delay: engine %.0f requests/s, %.1f us CPU each; bare loop %.0f requests/s, "
        "%.1f us CPU each; CPU ratio %.3fx (medians of %zu rounds, failed %d)",
        n / Median(engineWall), Median(engineCpu) * 1e6, n / Median(bareWall), Median(bareCpu) * 1e6,
        Median(engineCpu) / Median(bareCpu), engineCpu.size(), failed);
}
BENCHMARK(BM_AgainstBareLoop)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

class QuietReport : public sendwell::IndexNowReport {
public:
    void SetStatusText(const std::string&) override {}
    void Answered(const sendwell::IndexNowAnswer&) override { ++answers; }
    int answers = 0;
};

void BM_IndexNowUnchanged(benchmark::State& state) {
    sendwell::test::ScriptedResponse answer = sendwell::test::Response(200, "page", {{"ETag", "\"1\""}});
    answer.delayBeforeHead = kDelay;
    TwoHosts hosts(answer);
    const std::vector<std::string> urls = hosts.Addresses(1000);
    const fs::path folder = Scratch() / "indexnow";
    fs::create_directories(folder);
    sendwell::IndexNowJob job;
    job.settings.key = "0123456789abcdef0123456789abcdef";
    job.settings.endpoint = hosts.one.Url("/indexnow");
    job.programFolder = folder;
    job.statePath = folder / "indexnow-state.json";
    {
        // Every address submitted before with the content it still has.
        sendwell::IndexNowState before;
        before.Load(job.statePath);
        for (const std::string& url : urls) {
            before.Record(url, {"2026-01-01T00:00:00Z", sendwell::ContentMark{"\"1\"", "", ""}});
        }
        before.Save(job.statePath);
    }
    sendwell::IndexNowSummary summary;
    double wall = 0;
    for (auto _ : state) {
        QuietReport report;
        wall = Measure([&] { summary = sendwell::SubmitToIndexNow(urls, job, report); }).wall;
        state.SetIterationTime(wall);
    }
    state.counters["unchanged"] = static_cast<double>(summary.unchanged);
    Say("IndexNow's check of 1,000 unchanged addresses at 100 ms each: %.2f s (%zu found unchanged; goal 15 "
        "s)",
        wall, summary.unchanged);
}
BENCHMARK(BM_IndexNowUnchanged)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

} // namespace

int main(int argc, char** argv) {
    return RunLoopbackBenchmarks(argc, argv, "Fetch engine, two loopback hosts, 8 in all and 4 per host:");
}
