// The one concurrent fetch engine: many GETs at once on libcurl's multi interface, in the calling
// thread, with a bound in all and one per host, keep-alive within a host, retries where a server asks
// for them, redirects followed with their chain kept, and cancel. The bulk status check, IndexNow's
// page check and the site audit are its users; single requests keep using HttpTransfer.
#pragma once

#include "core/base/connection_settings.h"
#include "core/base/outcome.h"
#include "core/web/header_lines.h"
#include "core/web/http_head.h" // FindHeader reads a result's head

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sendwell {

class Progress;

struct FetchLimits {
    int concurrency = 8; // requests open at once in all
    int perHost = 4;     // requests open at once to one host (scheme, name and port)
    std::chrono::milliseconds connect{20000};
    // A try still going after this long ends ("i_RequestTimeout"); 0: no bound.
    std::chrono::milliseconds total{60000};
    std::uint64_t maxBody = 0; // answer bytes kept (and read) at most ("i_MaxAnswerBytes"); 0: no bound
    int maxTries = 3;          // tries of one address, the first included
    // 429 and 503 with a Retry-After of at most this are tried again after it; a longer one is final.
    std::chrono::seconds maxRetryAfter{60};
    int maxRedirects = 10;
};

// The defaults with the settings applied: "i_RequestTimeout" and "i_MaxAnswerBytes" as for the submission
// requests, and the concurrency in all and per host ("i_FetchConcurrency", "i_FetchPerHost").
FetchLimits ReadFetchLimits();

// How long a Retry-After value asks to wait: whole seconds, or an HTTP date less the time now (a date
// gone by: no wait). None when the value is neither.
std::optional<std::chrono::seconds> RetryAfterDelay(std::string_view value, std::time_t now);

struct FetchSetup {
    ConnectionSettings connection; // proxy choice and trusted certificates, as for HttpTransfer
    FetchLimits limits;
    HeaderLineList headers; // lines of every request, sent exactly
    // Set by any thread to cancel: every transfer ends within a second and Run returns.
    const std::atomic<bool>* stop = nullptr;
    // Done of total (results delivered of jobs added) and a status line with the rate; may be null.
    Progress* progress = nullptr;
};

// A fetch that asks as the page fetch does (its header block, so that a server answers it as it answers
// the Ping), with the settings' limits and the caller's bounds where it gives them (above 0).
FetchSetup PageLikeFetchSetup(const ConnectionSettings& connection, int concurrency, int perHost,
                              const std::atomic<bool>* stop);

struct FetchJob {
    std::string url; // absolute http or https address
    // false: the body is not kept and the transfer ends once the final head is in (a status check),
    // except that a short body (16 KiB at most by its Content-Length) is read and dropped, so that the
    // connection can serve the host's next request.
    bool readBody = true;
    std::uint64_t tag = 0; // the caller's own, handed back in the result
};

// One hop of a redirect chain: the address asked and what it answered.
struct FetchHop {
    std::string url;
    int status = 0;
};

struct FetchResult {
    std::uint64_t tag = 0;
    std::string url; // as the job gave it
    // Ok when an HTTP answer came (whatever its status); Failed when none did (text says why:
    // libcurl's message, the loopback guard's refusal, "Maximum (10) redirects followed", a redirect
    // loop, the size bound); Cancelled when stop ended it.
    Outcome outcome;
    int status = 0;                         // of the final answer; 0 when none came
    std::string finalUrl;                   // the address that gave the final answer
    std::vector<FetchHop> chain;            // every redirect followed, in order; empty when none
    std::vector<std::string> head;          // the final answer's header lines, without line ends
    std::string body;                       // when the job reads it, at most limits.maxBody bytes
    bool bodyCut = false;                   // the answer was longer than limits.maxBody
    int tries = 1;                          // tries made for the final answer
    std::chrono::microseconds firstByte{0}; // from the last try's start to its first answer byte
    std::chrono::microseconds elapsed{0};   // from the job's first try to its end, waits included
};

struct FetchSummary {
    std::size_t delivered = 0;
    bool cancelled = false;
};

class FetchEngine {
public:
    explicit FetchEngine(FetchSetup setup);
    ~FetchEngine();
    FetchEngine(const FetchEngine&) = delete;
    FetchEngine& operator=(const FetchEngine&) = delete;

    // Queues a job. May be called before Run or from inside onResult (a crawler adds what it finds).
    void Add(FetchJob job);

    // Fetches every queued job, calling onResult on this thread as each completes (in completion
    // order), until nothing is queued or open, or stop is set. Jobs left when cancelled are dropped
    // without a result. between, when given, is called on this thread each time the engine looks for
    // work (and after each Wake); it may Add jobs, and while it returns true the run goes on even with
    // nothing to fetch: a caller whose other threads may still find work keeps the run open so.
    FetchSummary Run(const std::function<void(FetchResult&&)>& onResult,
                     const std::function<bool()>& between = {});

    // From any thread: a running Run calls between soon, without waiting for a transfer.
    void Wake();

private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace sendwell
