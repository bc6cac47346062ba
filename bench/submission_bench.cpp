// A submission run against a loopback server, per request: the program's worker (the public run API)
// beside a bare libcurl loop that makes the same requests, one easy handle each, and writes each answer
// as it arrives to a file of the same name in the same folder (on tmpfs where there is one). Both take
// turns in the same loop; the medians of wall time and of the calling thread's CPU time, and their
// ratios, are reported.
#include "bench/bench_support.h"
#include "core/base/settings.h"
#include "core/results/answer_store.h"
#include "core/submit/engine_catalogue.h"
#include "core/submit/submission_run.h"
#include "core/web/url_parts.h"
#include "tests/support/engine_simulator.h"

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <ctime>
#include <curl/curl.h>
#include <fstream>
#include <memory>
#include <sys/stat.h>

namespace {

using namespace sendwell::bench;

constexpr int kAddresses = 20; // 520 requests a round

class QuietProgress : public sendwell::SubmitProgress {
public:
    void SetStatusText(const std::string&) override {}
    void RunStarted(std::size_t, int) override {}
    void AddressStarted(std::size_t, std::size_t, const std::string&) override {}
    void EngineStarted(const std::string&) override {}
    void RequestDone() override {}
    void RunEnded() override {}
};

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

// The answer folder: tmpfs where there is one, so that the disk does not set the pace.
fs::path ProgramFolder() {
    std::error_code ec;
    const fs::path shm = "/dev/shm";
    fs::path folder = fs::is_directory(shm, ec) && ::access(shm.c_str(), W_OK) == 0
                          ? shm / ("sendwell-bench-" + std::to_string(::getpid()))
                          : Scratch() / "program";
    fs::create_directories(folder);
    return folder;
}

struct SlistFree {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

// One request as the bare loop makes it: the same bytes on the wire as the worker's, everything worked out
// beforehand.
struct BareRequest {
    bool post = false;
    std::string url;  // GET: the wire address; POST: host, port and object path
    std::string body; // POST only
    std::unique_ptr<curl_slist, SlistFree> headers;
    std::string answerFile;
};

std::unique_ptr<curl_slist, SlistFree> Slist(const sendwell::HeaderLineList& lines) {
    curl_slist* list = nullptr;
    for (std::string_view line : lines.lines()) {
        list = curl_slist_append(list, std::string(line).c_str());
    }
    return std::unique_ptr<curl_slist, SlistFree>(list);
}

// How many requests of the two runs differ on the wire (method, target, version, header lines, body).
int Mismatches(const std::vector<sendwell::test::EngineRequestRecord>& a,
               const std::vector<sendwell::test::EngineRequestRecord>& b) {
    int differ = a.size() == b.size() ? 0 : 1;
    for (std::size_t i = 0; i < std::min(a.size(), b.size()); ++i) {
        differ += a[i].method != b[i].method || a[i].target != b[i].target || a[i].version != b[i].version ||
                          a[i].headers != b[i].headers || a[i].body != b[i].body
                      ? 1
                      : 0;
    }
    return differ;
}

size_t WriteToFile(char* data, size_t size, size_t count, void* file) {
    return std::fwrite(data, size, count, static_cast<std::FILE*>(file)) * size;
}

// Returns how many requests failed.
// Not inlined, so that a profiler can single it out.
[[gnu::noinline]] int RunBareLoop(const std::vector<BareRequest>& requests) {
    int failed = 0;
    for (const BareRequest& r : requests) {
        std::FILE* file = std::fopen(r.answerFile.c_str(), "wb");
        CURL* h = curl_easy_init();
        curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(h, CURLOPT_URL, r.url.c_str());
        curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &WriteToFile);
        curl_easy_setopt(h, CURLOPT_WRITEDATA, file);
        curl_easy_setopt(h, CURLOPT_PATH_AS_IS, 1L);
        curl_easy_setopt(h, CURLOPT_HTTPHEADER, r.headers.get());
        if (r.post) {
            curl_easy_setopt(h, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_0);
            curl_easy_setopt(h, CURLOPT_POSTFIELDS, r.body.c_str());
        }
        failed += curl_easy_perform(h) == CURLE_OK ? 0 : 1;
        curl_easy_cleanup(h);
        std::fclose(file);
    }
    return failed;
}

void BM_SubmissionRun(benchmark::State& state) {
    sendwell::test::EngineSimulator simulator;
    simulator.PointEnginesHere();
    // Settings last changed a while ago, as they are during a real run (the store reads a file changed
    // in the last two seconds afresh each time).
    const fs::path settings = sendwell::SettingsFileFor(sendwell::kSettingsSection);
    const timespec past[2] = {{std::time(nullptr) - 60, 0}, {std::time(nullptr) - 60, 0}};
    ::utimensat(AT_FDCWD, settings.c_str(), past, 0);

    const fs::path folder = ProgramFolder();
    sendwell::SubmitJob job;
    for (int i = 0; i < kAddresses; ++i) {
        job.addresses.push_back("http://www.site" + std::to_string(i) + ".example/page.html");
    }
    job.email = "owner@example.org";
    job.programFolder = folder;

    std::vector<BareRequest> bare;
    for (const std::string& address : job.addresses) {
        for (const sendwell::EngineEntry& engine : sendwell::EngineCatalogue()) {
            const sendwell::EngineRequest request = sendwell::BuildEngineRequest(engine, address, job.email);
            BareRequest r;
            r.answerFile = sendwell::NextAnswerFileName(address, engine.storeName, folder);
            if (request.method == sendwell::SubmitMethod::FormPost) {
                const sendwell::ObjectAndQuery split = sendwell::SplitObjectAndQuery(request.wireAddress);
                r.post = true;
                r.url = sendwell::GetSiteRoot(request.wireAddress) + split.objectPath;
                r.body = split.query;
                r.headers = Slist(sendwell::FormPostHeaders());
            } else {
                r.url = request.wireAddress;
                r.headers = Slist(sendwell::PlainSubmissionHeaders(sendwell::GetSiteRoot(request.address)));
            }
            bare.push_back(std::move(r));
        }
    }
    const double requests = static_cast<double>(bare.size());

    std::vector<double> workerWall, workerCpu, bareWall, bareCpu;
    bool bareFirst = true;
    int failures = 0;
    int mismatches = 0;
    // For profiling one side alone: SENDWELL_BENCH_ONLY=worker or bare (the ratios are then 1).
    const char* onlyEnv = std::getenv("SENDWELL_BENCH_ONLY");
    const std::string only = onlyEnv != nullptr ? onlyEnv : "";
    for (auto _ : state) {
        auto runBare = [&] {
            sendwell::ClearAnswerStore(folder);
            fs::create_directories(sendwell::AnswerStorePath(folder));
            return Measure([&bare, &failures] { failures += RunBareLoop(bare); });
        };
        auto runWorker = [&] {
            sendwell::ClearAnswerStore(folder);
            QuietProgress progress;
            sendwell::RunFlags flags;
            const Timing t = Measure([&] { sendwell::RunSubmissionWorker(job, progress, flags); });
            // Every failed request leaves a record in the failure log (a line "The URL was ..." or
            // "The server was ...").
            std::ifstream log(sendwell::FailureLogPath(folder));
            for (std::string line; std::getline(log, line);) {
                failures += line.starts_with("The URL was") || line.starts_with("The server was") ? 1 : 0;
            }
            return t;
        };
        // Each goes first every other round, so that neither always meets the server fresh.
        Timing b, w;
        if (only == "worker") {
            w = runWorker();
            b = w;
        } else if (only == "bare") {
            b = runBare();
            w = b;
        } else if (bareFirst) {
            b = runBare();
            w = runWorker();
        } else {
            w = runWorker();
            b = runBare();
        }
        if (bareWall.empty() && only.empty()) {
            // The first round: both sent the same requests, in the same order.
            std::vector<sendwell::test::EngineRequestRecord> all = simulator.Requests();
            const auto half = static_cast<std::ptrdiff_t>(all.size() / 2);
            mismatches = Mismatches({all.begin(), all.begin() + half}, {all.begin() + half, all.end()});
        }
        bareFirst = !bareFirst;
        bareWall.push_back(b.wall / requests);
        bareCpu.push_back(b.cpu / requests);
        workerWall.push_back(w.wall / requests);
        workerCpu.push_back(w.cpu / requests);
        state.SetIterationTime(w.wall);
    }
    sendwell::ClearAnswerStore(folder);
    std::error_code ec;
    fs::remove_all(folder, ec);

    state.counters["requests"] = requests;
    // A failed request takes a different path (the worker waits and tries a refused connection again),
    // so the figures only compare like with like when this is 0.
    state.counters["failed_requests"] = failures;
    // The ratios compare like with like only when both sent the very same requests.
    state.counters["requests_not_alike"] = mismatches;
    state.counters["worker_us_per_request"] = Median(workerWall) * 1e6;
    state.counters["bare_us_per_request"] = Median(bareWall) * 1e6;
    state.counters["time_ratio"] = Median(workerWall) / Median(bareWall);
    state.counters["worker_cpu_us_per_request"] = Median(workerCpu) * 1e6;
    state.counters["bare_cpu_us_per_request"] = Median(bareCpu) * 1e6;
    state.counters["cpu_ratio"] = Median(workerCpu) / Median(bareCpu);
}
BENCHMARK(BM_SubmissionRun)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(30);

} // namespace

int main(int argc, char** argv) {
    return RunLoopbackBenchmarks(argc, argv, nullptr);
}
