// The site audit on a loopback site (the tests' server, a thread per connection, in a child process so
// that its work is not counted as the audit's), 8 requests in all and 4 per host:
//   - 1,000 pages of 20 KB, each linking two others: the audit's wall time against the fetch engine alone
//     fetching the same 1,000 addresses with the same bounds in the same run (goal: at most 1.3x), the
//     audit's CPU time per page on all its threads, and the HTML parser alone reading the same 1,000
//     bodies on one thread, the floor of the audit's CPU;
//   - bounded memory: a site of 100,000 pages made on the fly by a server in a child process, crawled
//     with a page bound of 100,000, and the peak resident memory of the crawling process (goal: under
//     300 MB). Long; run it alone with --benchmark_filter=LargeSite.
#include "bench/bench_support.h"
#include "core/audit/site_audit.h"
#include "core/web/fetch_engine.h"
#include "tests/support/http_test_server.h"

#include <benchmark/benchmark.h>
#include <csignal>
#include <ctime>
#include <curl/curl.h>
#include <fstream>
#include <gumbo.h>
#include <thread>

namespace {

using namespace sendwell::bench;
using sendwell::test::HttpTestServer;

constexpr int kPages = 1000;
constexpr std::size_t kPageBytes = 20 * 1024;
constexpr int kLargePages = 100000;

// Of every thread of this process: the audit's, as the server runs in a child.
double ProcessCpuSeconds() {
    timespec t{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

double ThreadCpuSeconds() {
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// Page n of a site of count pages: a title, words up to size bytes, links to pages 2n+1 and 2n+2 (or,
// past the end, to the home page), so that every page is reachable from "/".
std::string SitePage(long n, long count, std::size_t size) {
    std::string page = "<!DOCTYPE html><html lang=en><head><title>Page " + std::to_string(n) +
                       " of the benchmark site</title><meta name=viewport content=\"width=device-width\">"
                       "</head><body><h1>Page " +
                       std::to_string(n) + "</h1>";
    for (long k = 2 * n + 1; k <= 2 * n + 2; ++k) {
        page += "<a href=\"/" + (k < count ? std::to_string(k) : std::string()) + "\">next</a> ";
    }
    page += "<p>";
    static const std::string kWords = "the quick audit reads every page of the site once and keeps little ";
    while (page.size() + kWords.size() + 20 < size) {
        page += kWords;
    }
    return page + "</p></body></html>";
}

sendwell::test::Handler SiteHandler(long count, std::size_t size) {
    return [count, size](const sendwell::test::RecordedRequest& request) {
        const std::string path = request.Path();
        if (path == "/robots.txt" || path == "/sitemap.xml") {
            return sendwell::test::Response(404);
        }
        const long n = path == "/" ? 0 : std::atol(path.c_str() + 1);
        return sendwell::test::Response(200, SitePage(n, count, size),
                                        {{"Content-Type", "text/html; charset=utf-8"}});
    };
}

sendwell::FetchLimits Limits() {
    sendwell::FetchLimits limits;
    limits.concurrency = 8;
    limits.perHost = 4;
    limits.total = std::chrono::seconds(60);
    limits.maxBody = 5 * 1024 * 1024;
    return limits;
}

// The server in a child process, so that neither its work nor its record of requests is counted as the
// audit's.
class ChildServer {
public:
    ChildServer(long pages, std::size_t pageBytes) {
        int fds[2];
        if (::pipe(fds) != 0) {
            std::abort();
        }
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(fds[0]);
            HttpTestServer server;
            server.SetHandler(SiteHandler(pages, pageBytes));
            const int port = server.port();
            if (::write(fds[1], &port, sizeof port) != sizeof port) {
                ::_exit(1);
            }
            ::pause(); // until the parent ends it
            ::_exit(0);
        }
        ::close(fds[1]);
        if (::read(fds[0], &port_, sizeof port_) != sizeof port_) {
            std::abort();
        }
        ::close(fds[0]);
    }
    ~ChildServer() {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    std::string Url(const std::string& path = "/") const {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }

private:
    pid_t pid_ = -1;
    int port_ = 0;
};

sendwell::AuditSetup AuditOf(const std::string& start, std::size_t maxPages) {
    sendwell::AuditSetup setup;
    setup.starts = {start};
    setup.maxPages = maxPages;
    setup.maxDepth = 100;
    setup.concurrency = Limits().concurrency;
    setup.perHost = Limits().perHost;
    return setup;
}

struct GumboDeleter {
    void operator()(GumboOutput* output) const noexcept {
        gumbo_destroy_output(&kGumboDefaultOptions, output);
    }
};

// The parser alone on one thread, with the options the audit uses: CPU seconds for all bodies (CPU, not
// wall time, so that other work on the machine does not count).
double ParserCpuSeconds(const std::vector<std::string>& bodies) {
    GumboOptions options = kGumboDefaultOptions;
    options.max_errors = 0;
    const double start = ThreadCpuSeconds();
    std::size_t nodes = 0;
    for (const std::string& body : bodies) {
        const std::unique_ptr<GumboOutput, GumboDeleter> parsed(
            gumbo_parse_with_options(&options, body.data(), body.size()));
        nodes += parsed->document->v.document.children.length;
    }
    benchmark::DoNotOptimize(nodes);
    return ThreadCpuSeconds() - start;
}

void BM_AuditAgainstFetch(benchmark::State& state) {
    const ChildServer server(kPages, kPageBytes);
    std::vector<std::string> urls{server.Url("/")};
    std::vector<std::string> bodies{SitePage(0, kPages, kPageBytes)};
    for (int i = 1; i < kPages; ++i) {
        urls.push_back(server.Url("/" + std::to_string(i)));
        bodies.push_back(SitePage(i, kPages, kPageBytes));
    }
    std::vector<double> auditWall, fetchWall, fetchCpu, auditCpu, parserCpu;
    std::size_t pages = 0;
    for (auto _ : state) {
        const auto fetchStart = Clock::now();
        const double fetchCpuStart = ProcessCpuSeconds();
        sendwell::FetchSetup fetch;
        fetch.limits = Limits();
        sendwell::FetchEngine engine(std::move(fetch));
        for (std::size_t i = 0; i < urls.size(); ++i) {
            engine.Add({urls[i], true, i});
        }
        engine.Run([](sendwell::FetchResult&&) {});
        fetchCpu.push_back(ProcessCpuSeconds() - fetchCpuStart);
        fetchWall.push_back(Seconds(Clock::now() - fetchStart));

        const auto start = Clock::now();
        const double cpu = ProcessCpuSeconds();
        const sendwell::AuditReport report = sendwell::RunAudit(AuditOf(server.Url("/"), kPages));
        auditCpu.push_back(ProcessCpuSeconds() - cpu);
        auditWall.push_back(Seconds(Clock::now() - start));
        pages = report.pages.size();
        state.SetIterationTime(auditWall.back());

        parserCpu.push_back(ParserCpuSeconds(bodies));
    }
    const double ratio = Median(auditWall) / Median(fetchWall);
    const double perPage = 1e6 / static_cast<double>(pages);
    state.counters["ratio"] = ratio;
    state.counters["pages"] = static_cast<double>(pages);
    const unsigned cores = std::max(1U, std::thread::hardware_concurrency());
    Say("1,000 pages of 20 KB: audit %.2f s, fetch engine alone %.2f s: %.2fx; CPU a page (all threads): "
        "audit %.0f us, fetch engine alone %.0f us, the parser alone %.0f us (%.2f s for the 1,000 spread "
        "over %u cores) (%zu pages, medians of %zu rounds)",
        Median(auditWall), Median(fetchWall), ratio, Median(auditCpu) * perPage,
        Median(fetchCpu) / static_cast<double>(kPages) * 1e6, Median(parserCpu) * perPage,
        Median(parserCpu) / cores, cores, pages, auditWall.size());
}
BENCHMARK(BM_AuditAgainstFetch)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

long PeakRssKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.starts_with("VmHWM:")) {
            return std::atol(line.c_str() + 6);
        }
    }
    return 0;
}

void BM_LargeSiteMemory(benchmark::State& state) {
    const ChildServer server(kLargePages, 2048);
    long before = 0;
    long peak = 0;
    std::size_t pages = 0;
    double wall = 0;
    for (auto _ : state) {
        // The peak so far is the benchmarks' before this one: start counting again.
        std::ofstream("/proc/self/clear_refs") << "5";
        before = PeakRssKiB();
        sendwell::AuditSetup setup;
        setup.starts = {server.Url()};
        setup.maxPages = kLargePages;
        setup.maxDepth = 100;
        const auto start = Clock::now();
        const sendwell::AuditReport report = sendwell::RunAudit(setup);
        wall = Seconds(Clock::now() - start);
        pages = report.pages.size();
        peak = PeakRssKiB();
        state.SetIterationTime(wall);
    }
    state.counters["peak_rss_mb"] = static_cast<double>(peak) / 1024;
    Say("100,000 generated pages: %zu read in %.1f s, peak resident memory %.0f MB (%.0f MB before)", pages,
        wall, static_cast<double>(peak) / 1024, static_cast<double>(before) / 1024);
}
BENCHMARK(BM_LargeSiteMemory)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

} // namespace

int main(int argc, char** argv) {
    return RunLoopbackBenchmarks(argc, argv, "Site audit, one loopback host, 8 in all and 4 per host:");
}
