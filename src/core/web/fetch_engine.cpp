#include "core/web/fetch_engine.h"

#include "core/base/ascii_case.h"
#include "core/base/program_settings.h"
#include "core/base/progress.h"
#include "core/web/curl_support.h"
#include "core/web/loopback_guard.h"
#include "core/web/page_fetcher.h"
#include "core/web/transfer.h"
#include "core/web/user_agent.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <deque>
#include <map>
#include <unordered_map>
#include <unordered_set>

namespace sendwell {

namespace {

using Clock = std::chrono::steady_clock;

// The loop looks at the stop flag at least this often, so a cancel ends every transfer well within
// a second.
constexpr std::chrono::milliseconds kLongestPoll{100};
// A body of at most this many bytes (by its Content-Length) is read and dropped when only the head is
// wanted, so that the connection can serve the host's next request.
constexpr std::uint64_t kShortBody = 16 * 1024;
// The status line with the rate is written at most this often; done/total goes with every result.
constexpr std::chrono::milliseconds kStatusEvery{250};

constexpr bool IsFollowedStatus(int status) {
    return IsMovedStatus(status) || status == 307 || status == 308;
}

constexpr bool AsksToWait(int status) {
    return status == 429 || status == 503;
}

struct CurlUrlDeleter {
    void operator()(CURLU* u) const noexcept { curl_url_cleanup(u); }
};

// Scheme, name and port in lower case: the unit the per-host bound and back-off apply to. "" when the
// address cannot be read.
std::string HostKey(const std::string& url) {
    std::unique_ptr<CURLU, CurlUrlDeleter> u(curl_url());
    if (!u || curl_url_set(u.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK) {
        return {};
    }
    std::string key;
    for (CURLUPart part : {CURLUPART_SCHEME, CURLUPART_HOST, CURLUPART_PORT}) {
        char* text = nullptr;
        if (curl_url_get(u.get(), part, &text, part == CURLUPART_PORT ? CURLU_DEFAULT_PORT : 0) !=
                CURLUE_OK ||
            text == nullptr) {
            return {};
        }
        key += text;
        key += part == CURLUPART_SCHEME ? "://" : part == CURLUPART_HOST ? ":" : "";
        curl_free(text);
    }
    return AsciiLower(key);
}

struct Host;

// One job on its way: the address it is at now (after the redirects followed), its tries there, and
// what the callbacks of the try in flight record.
struct Task {
    FetchJob job;
    std::string url;
    Host* host = nullptr;
    std::vector<FetchHop> chain;
    int tries = 0; // of url
    bool started = false;
    Clock::time_point firstStart;
    Clock::time_point retryAt;
    CURL* handle = nullptr;
    std::uint64_t maxBody = 0;
    std::array<char, CURL_ERROR_SIZE> errorText{};

    // The try in flight.
    HeadReader reader;
    bool redirecting = false; // a redirect that will be followed
    bool keepBody = false;    // else the body is read and dropped
    bool endedAfterHead = false;
    bool bodySeen = false;
    std::uint64_t bodyBytes = 0;
    bool cut = false;
    std::string body;

    void StartTry() {
        errorText[0] = '\0';
        reader.Reset();
        redirecting = false;
        keepBody = false;
        endedAfterHead = false;
        bodySeen = false;
        bodyBytes = 0;
        cut = false;
        body.clear();
    }

    // False ends the transfer: the head is all that is wanted.
    bool HeadComplete() {
        const int status = reader.status();
        if (status < 200) {
            return true; // an interim answer; the real one follows
        }
        redirecting = IsFollowedStatus(status) && FindHeader(reader.head(), "Location").has_value();
        keepBody = job.readBody && !redirecting;
        // Ending an HTTP/1 transfer early closes its connection; a short body costs less to read.
        if (!job.readBody && !HasShortBody()) {
            endedAfterHead = true;
            return false;
        }
        return true;
    }

    bool HasShortBody() const {
        if (reader.status() == 204 || reader.status() == 304) {
            return true;
        }
        const std::optional<std::string> length = FindHeader(reader.head(), "Content-Length");
        std::uint64_t bytes = 0;
        if (!length || length->empty()) {
            return false;
        }
        auto [end, error] = std::from_chars(length->data(), length->data() + length->size(), bytes);
        return error == std::errc() && end == length->data() + length->size() && bytes <= kShortBody;
    }
};

struct Host {
    std::deque<std::unique_ptr<Task>> ready; // in the order they are to start
    int open = 0;
    Clock::time_point pausedUntil; // a 429 or 503 asked this host to wait
    bool listed = false;           // in the rotation
};

size_t OnBody(char* data, size_t size, size_t count, void* taskPointer) {
    auto* t = static_cast<Task*>(taskPointer);
    const std::size_t n = size * count;
    t->bodySeen = true;
    const std::uint64_t cap = t->maxBody;
    if (!t->keepBody) {
        t->bodyBytes += n;
        if (cap != 0 && t->bodyBytes > cap) {
            t->endedAfterHead = true; // a long body nobody keeps is not worth reading
            return 0;
        }
        return n;
    }
    if (cap != 0 && n > cap - t->bodyBytes) {
        const auto room = static_cast<std::size_t>(cap - t->bodyBytes);
        t->body.append(data, room);
        t->bodyBytes = cap;
        t->cut = true;
        return 0;
    }
    t->bodyBytes += n;
    t->body.append(data, n);
    return n;
}

std::string UnreadableText(const std::string& url) {
    return "The address cannot be read: " + url;
}

std::chrono::milliseconds Backoff(int triesMade) {
    // 1 s after the first try, 2 s after the second, 4 s after the third.
    return std::chrono::milliseconds(1000LL << std::clamp(triesMade - 1, 0, 20));
}

std::string RateText(std::size_t done, std::size_t total, double seconds) {
    char text[128];
    std::snprintf(text, sizeof text, "Fetched %zu of %zu addresses (%.1f a second)", done, total,
                  seconds > 0 ? static_cast<double>(done) / seconds : 0.0);
    return text;
}

} // namespace

FetchLimits ReadFetchLimits() {
    FetchLimits limits;
    const TransferLimits requests = ReadRequestLimits();
    limits.total = requests.total;
    const ProgramSettings settings;
    if (const std::optional<std::uint64_t> bytes = settings.MaxAnswerBytes()) {
        limits.maxBody = *bytes;
    }
    if (const std::optional<int> n = settings.FetchConcurrency()) {
        limits.concurrency = *n;
    }
    if (const std::optional<int> n = settings.FetchPerHost()) {
        limits.perHost = *n;
    }
    return limits;
}

FetchSetup PageLikeFetchSetup(const ConnectionSettings& connection, int concurrency, int perHost,
                              const std::atomic<bool>* stop) {
    FetchSetup fetch;
    fetch.connection = connection;
    fetch.limits = ReadFetchLimits();
    if (concurrency > 0) {
        fetch.limits.concurrency = concurrency;
    }
    if (perHost > 0) {
        fetch.limits.perHost = perHost;
    }
    fetch.headers = {kAcceptHeader, kUserAgentHeader, "Proxy-Connection:"};
    fetch.stop = stop;
    return fetch;
}

std::optional<std::chrono::seconds> RetryAfterDelay(std::string_view value, std::time_t now) {
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) {
        value.remove_prefix(1);
    }
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) {
        value.remove_suffix(1);
    }
    if (value.empty()) {
        return std::nullopt;
    }
    if (value.front() >= '0' && value.front() <= '9') {
        long long seconds = 0;
        auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), seconds);
        if (error == std::errc::result_out_of_range && end == value.data() + value.size()) {
            return std::chrono::seconds::max(); // all digits: a wait longer than anyone takes
        }
        if (error != std::errc() || end != value.data() + value.size()) {
            return std::nullopt;
        }
        return std::chrono::seconds(seconds);
    }
    const std::string text(value); // curl_getdate reads up to a NUL
    const std::time_t date = curl_getdate(text.c_str(), nullptr);
    if (date == -1) {
        return std::nullopt;
    }
    return std::chrono::seconds(date > now ? static_cast<long long>(date - now) : 0);
}

struct FetchEngine::State {
    FetchSetup setup;
    CURLM* multi = nullptr;
    std::vector<CurlEasy> idle; // set up and free for the next try; they keep no connection themselves
    std::unordered_map<std::string, Host> hosts;
    std::deque<Host*> rotation;                                      // hosts with tasks ready, taken in turn
    std::multimap<Clock::time_point, std::unique_ptr<Task>> waiting; // tries again after a back-off
    std::unordered_map<Task*, std::unique_ptr<Task>> open;
    std::size_t added = 0;
    std::size_t delivered = 0;
    Clock::time_point runStart;
    Clock::time_point lastStatus;
    const std::function<void(FetchResult&&)>* onResult = nullptr;

    explicit State(FetchSetup s) : setup(std::move(s)) {
        (void)NewCurlHandle(); // the library's global initialisation
        multi = curl_multi_init();
        if (multi != nullptr) {
            curl_multi_setopt(multi, CURLMOPT_PIPELINING, CURLPIPE_MULTIPLEX);
            // Enough cached connections for every host in use to keep its own.
            curl_multi_setopt(multi, CURLMOPT_MAXCONNECTS,
                              static_cast<long>(std::max(1, setup.limits.concurrency) * 2));
        }
    }

    ~State() {
        for (auto& [task, owned] : open) {
            curl_multi_remove_handle(multi, task->handle);
            curl_easy_cleanup(task->handle);
        }
        open.clear();
        idle.clear(); // before the multi handle, which may still hold their connections
        if (multi != nullptr) {
            curl_multi_cleanup(multi);
        }
    }

    bool Stopped() const {
        return (setup.stop != nullptr && setup.stop->load()) ||
               (setup.progress != nullptr && setup.progress->CancelRequested());
    }

    CURL* TakeHandle() {
        if (!idle.empty()) {
            CURL* h = idle.back().release();
            idle.pop_back();
            return h;
        }
        CurlEasy fresh = NewCurlHandle();
        CURL* h = fresh.release();
        if (h == nullptr) {
            return nullptr;
        }
        const FetchLimits& limits = setup.limits;
        ApplyConnection(h, setup.connection);
        curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L); // redirects are followed here, chain and all
        curl_easy_setopt(h, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_2TLS));
        curl_easy_setopt(h, CURLOPT_HTTPHEADER, CurlList(setup.headers));
        curl_easy_setopt(h, CURLOPT_HTTPGET, 1L);
        curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS,
                         static_cast<long>(std::max<std::int64_t>(1, limits.connect.count())));
        if (limits.total.count() > 0) {
            curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, static_cast<long>(limits.total.count()));
        }
        curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, &OnHeadLine<Task>);
        curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &OnBody);
        return h;
    }

    void GiveBack(CURL* h) {
        curl_easy_setopt(h, CURLOPT_ERRORBUFFER, static_cast<char*>(nullptr)); // the task's goes with it
        idle.emplace_back(h);
    }

    void Queue(std::unique_ptr<Task> task, bool first) {
        Host& host = *task->host;
        if (first) {
            host.ready.push_front(std::move(task));
        } else {
            host.ready.push_back(std::move(task));
        }
        if (!host.listed) {
            host.listed = true;
            rotation.push_back(&host);
        }
    }

    // Puts task under the host of its address; false (and a result) when the address has none.
    bool Place(std::unique_ptr<Task>& task, bool first) {
        std::string key = HostKey(task->url);
        if (key.empty()) {
            Outcome failed = Outcome::Failed(UnreadableText(task->url));
            Finish(std::move(task), std::move(failed));
            return false;
        }
        task->host = &hosts[key];
        Queue(std::move(task), first);
        return true;
    }

    void Deliver(FetchResult&& result) {
        ++delivered;
        if (setup.progress != nullptr) {
            setup.progress->SetSteps(delivered, added);
            const auto now = Clock::now();
            if (now - lastStatus >= kStatusEvery || delivered == added) {
                lastStatus = now;
                setup.progress->SetStatusText(
                    RateText(delivered, added, std::chrono::duration<double>(now - runStart).count()));
            }
        }
        (*onResult)(std::move(result));
    }

    void Finish(std::unique_ptr<Task> task, Outcome outcome) {
        FetchResult r;
        r.tag = task->job.tag;
        r.url = std::move(task->job.url);
        r.status = task->reader.status();
        outcome.httpStatus = r.status;
        r.outcome = std::move(outcome);
        r.finalUrl = std::move(task->url);
        r.chain = std::move(task->chain);
        r.head = task->reader.ReleaseHead();
        r.body = std::move(task->body);
        r.bodyCut = task->cut;
        r.tries = std::max(1, task->tries);
        if (task->handle != nullptr) {
            curl_off_t firstByte = 0;
            curl_easy_getinfo(task->handle, CURLINFO_STARTTRANSFER_TIME_T, &firstByte);
            r.firstByte = std::chrono::microseconds(firstByte);
        }
        if (task->started) {
            r.elapsed =
                std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - task->firstStart);
        }
        Deliver(std::move(r));
    }

    // Starts task's next try; false when it ended at once (a result was delivered).
    bool Start(std::unique_ptr<Task> task) {
        const auto now = Clock::now();
        if (!task->started) {
            task->started = true;
            task->firstStart = now;
        }
        task->StartTry();
        ++task->tries;
        if (std::string bad = UnsendableText("address", task->url); !bad.empty()) {
            Finish(std::move(task), Outcome::Failed(std::move(bad)));
            return false;
        }
        if (!GuardLets(setup.connection, task->url)) {
            Finish(std::move(task), Outcome::Failed(kGuardRefusedText));
            return false;
        }
        CURL* h = TakeHandle();
        if (h == nullptr) {
            Finish(std::move(task), Outcome::Failed(kCannotOpenConnectionText));
            return false;
        }
        task->handle = h;
        task->maxBody = setup.limits.maxBody;
        curl_easy_setopt(h, CURLOPT_URL, task->url.c_str());
        ApplyProxyBypass(h, setup.connection, task->url);
        curl_easy_setopt(h, CURLOPT_PRIVATE, task.get());
        curl_easy_setopt(h, CURLOPT_HEADERDATA, task.get());
        curl_easy_setopt(h, CURLOPT_WRITEDATA, task.get());
        curl_easy_setopt(h, CURLOPT_ERRORBUFFER, task->errorText.data());
        if (curl_multi_add_handle(multi, h) != CURLM_OK) {
            Finish(std::move(task), Outcome::Failed(kCannotOpenConnectionText));
            GiveBack(h);
            return false;
        }
        ++task->host->open;
        Task* raw = task.get();
        open.emplace(raw, std::move(task));
        return true;
    }

    // Moves the tasks whose back-off has passed to the front of their hosts' queues.
    void Wake(Clock::time_point now) {
        while (!waiting.empty() && waiting.begin()->first <= now) {
            std::unique_ptr<Task> task = std::move(waiting.begin()->second);
            waiting.erase(waiting.begin());
            Queue(std::move(task), /*first=*/true);
        }
    }

    // Starts what the bounds allow, hosts in turn; returns when the next paused host may go on.
    Clock::time_point Fill(Clock::time_point now) {
        Clock::time_point nextPause = Clock::time_point::max();
        const int all = std::max(1, setup.limits.concurrency);
        const int perHost = std::max(1, setup.limits.perHost);
        bool startedAny = true;
        while (startedAny && static_cast<int>(open.size()) < all && !rotation.empty()) {
            startedAny = false;
            for (std::size_t n = rotation.size(); n > 0 && static_cast<int>(open.size()) < all; --n) {
                Host* host = rotation.front();
                rotation.pop_front();
                if (host->ready.empty()) {
                    host->listed = false;
                    continue;
                }
                if (host->pausedUntil > now) {
                    nextPause = std::min(nextPause, host->pausedUntil);
                } else if (host->open < perHost) {
                    std::unique_ptr<Task> task = std::move(host->ready.front());
                    host->ready.pop_front();
                    Start(std::move(task));
                    startedAny = true;
                }
                if (host->ready.empty()) {
                    host->listed = false;
                } else {
                    rotation.push_back(host);
                }
            }
        }
        return nextPause;
    }

    // The try of task ended with code; decides between a result, a retry and the next hop.
    void Ended(std::unique_ptr<Task> task, CURLcode code) {
        CURL* h = task->handle;
        --task->host->open;
        if (code == CURLE_WRITE_ERROR && task->endedAfterHead) {
            code = CURLE_OK;
        }
        const auto now = Clock::now();
        const FetchLimits& limits = setup.limits;
        const bool triesLeft = task->tries < std::max(1, limits.maxTries);
        if (code != CURLE_OK) {
            std::string text =
                task->errorText[0] != '\0' ? std::string(task->errorText.data()) : curl_easy_strerror(code);
            if (code == CURLE_WRITE_ERROR && task->cut) {
                text = AnswerCutText(task->bodyBytes);
            } else if ((code == CURLE_WRITE_ERROR && task->reader.tooLarge()) ||
                       (code == CURLE_OUT_OF_MEMORY && !task->bodySeen)) {
                text = std::string(kHeadTooLargeText);
            }
            curl_off_t connectTime = 0;
            curl_easy_getinfo(h, CURLINFO_CONNECT_TIME_T, &connectTime);
            const bool notConnected =
                code == CURLE_COULDNT_CONNECT ||
                (code == CURLE_OPERATION_TIMEDOUT && connectTime == 0 && task->reader.status() == 0);
            if (notConnected && triesLeft) {
                const Clock::time_point at = now + Backoff(task->tries);
                Later(std::move(task), at, h);
                return;
            }
            Finish(std::move(task), Outcome::Failed(std::move(text)));
            GiveBack(h);
            return;
        }
        if (AsksToWait(task->reader.status())) {
            std::optional<std::chrono::seconds> asked;
            if (std::optional<std::string> value = FindHeader(task->reader.head(), "Retry-After")) {
                asked = RetryAfterDelay(*value, std::time(nullptr));
            }
            // A wait longer than the bound is the server's final word for now.
            if (triesLeft && (!asked || *asked <= limits.maxRetryAfter)) {
                const auto at =
                    now + (asked ? std::chrono::duration_cast<Clock::duration>(*asked)
                                 : std::chrono::duration_cast<Clock::duration>(Backoff(task->tries)));
                task->host->pausedUntil = std::max(task->host->pausedUntil, at);
                Later(std::move(task), at, h);
                return;
            }
        }
        if (task->redirecting) {
            Redirect(std::move(task), h);
            return;
        }
        Finish(std::move(task), Outcome::Succeeded());
        GiveBack(h);
    }

    void Later(std::unique_ptr<Task> task, Clock::time_point at, CURL* h) {
        task->handle = nullptr;
        GiveBack(h);
        waiting.emplace(at, std::move(task));
    }

    void Redirect(std::unique_ptr<Task> task, CURL* h) {
        const std::string target = FindHeader(task->reader.head(), "Location").value_or("");
        std::string next = ResolveTarget(task->url, target);
        if (next.empty()) {
            // A target that names no address: the redirect is the answer.
            Finish(std::move(task), Outcome::Succeeded());
            GiveBack(h);
            return;
        }
        const int limit = std::max(0, setup.limits.maxRedirects);
        if (static_cast<int>(task->chain.size()) >= limit) {
            Finish(std::move(task),
                   Outcome::Failed("Maximum (" + std::to_string(limit) + ") redirects followed"));
            GiveBack(h);
            return;
        }
        const bool loop =
            next == task->url || std::any_of(task->chain.begin(), task->chain.end(),
                                             [&](const FetchHop& hop) { return hop.url == next; });
        if (loop) {
            Finish(std::move(task), Outcome::Failed("Redirect loop: " + next + " was already visited"));
            GiveBack(h);
            return;
        }
        task->handle = nullptr;
        GiveBack(h);
        task->chain.push_back({std::move(task->url), task->reader.status()});
        task->url = std::move(next);
        task->tries = 0;
        Place(task, /*first=*/true);
    }

    void Cancel() {
        for (auto& [raw, owned] : open) {
            curl_multi_remove_handle(multi, raw->handle);
        }
        std::unordered_map<Task*, std::unique_ptr<Task>> ended;
        ended.swap(open);
        for (auto& [raw, owned] : ended) {
            CURL* h = raw->handle;
            Outcome outcome{Outcome::End::Cancelled, std::string(kCancelledText), 0, {}};
            Finish(std::move(owned), std::move(outcome));
            GiveBack(h);
        }
        for (Host* host : rotation) {
            host->ready.clear();
            host->listed = false;
        }
        rotation.clear();
        waiting.clear();
    }

    // Handles the tries that ended; returns how many did.
    int Collect() {
        int ended = 0;
        int left = 0;
        while (CURLMsg* message = curl_multi_info_read(multi, &left)) {
            if (message->msg != CURLMSG_DONE) {
                continue;
            }
            CURL* h = message->easy_handle;
            const CURLcode code = message->data.result;
            void* pointer = nullptr;
            curl_easy_getinfo(h, CURLINFO_PRIVATE, &pointer);
            curl_multi_remove_handle(multi, h);
            auto it = open.find(static_cast<Task*>(pointer));
            if (it == open.end()) {
                continue;
            }
            std::unique_ptr<Task> task = std::move(it->second);
            open.erase(it);
            Ended(std::move(task), code);
            ++ended;
        }
        return ended;
    }
};

FetchEngine::FetchEngine(FetchSetup setup) : state_(std::make_unique<State>(std::move(setup))) {}

FetchEngine::~FetchEngine() = default;

void FetchEngine::Add(FetchJob job) {
    auto task = std::make_unique<Task>();
    task->url = job.url;
    task->job = std::move(job);
    ++state_->added;
    if (state_->onResult == nullptr) {
        // Not running yet: a result for an address that cannot be read waits for Run.
        std::string key = HostKey(task->url);
        task->host = &state_->hosts[key];
        state_->Queue(std::move(task), false);
        return;
    }
    state_->Place(task, false);
}

void FetchEngine::Wake() {
    if (state_->multi != nullptr) {
        curl_multi_wakeup(state_->multi);
    }
}

FetchSummary FetchEngine::Run(const std::function<void(FetchResult&&)>& onResult,
                              const std::function<bool()>& between) {
    State& s = *state_;
    FetchSummary summary;
    s.onResult = &onResult;
    s.runStart = Clock::now();
    const std::size_t deliveredBefore = s.delivered; // done/total count over every run
    struct Unset {
        State& s;
        ~Unset() { s.onResult = nullptr; }
    } unset{s};

    // Jobs added before the run whose address could not be read sit under the host "".
    if (auto it = s.hosts.find(std::string()); it != s.hosts.end()) {
        Host& unreadable = it->second;
        while (!unreadable.ready.empty()) {
            std::unique_ptr<Task> task = std::move(unreadable.ready.front());
            unreadable.ready.pop_front();
            Outcome failed = Outcome::Failed(UnreadableText(task->url));
            s.Finish(std::move(task), std::move(failed));
        }
    }
    if (s.multi == nullptr) {
        // Nothing can be fetched: every job fails rather than vanishing.
        while (!s.rotation.empty()) {
            Host* host = s.rotation.front();
            s.rotation.pop_front();
            host->listed = false;
            while (!host->ready.empty()) {
                std::unique_ptr<Task> task = std::move(host->ready.front());
                host->ready.pop_front();
                s.Finish(std::move(task), Outcome::Failed(kCannotOpenConnectionText));
            }
        }
        summary.delivered = s.delivered - deliveredBefore;
        return summary;
    }
    for (;;) {
        if (s.Stopped()) {
            s.Cancel();
            summary.cancelled = true;
            break;
        }
        const bool more = between && between();
        auto now = Clock::now();
        s.Wake(now);
        const Clock::time_point nextPause = s.Fill(now);
        if (s.open.empty() && s.waiting.empty() && s.rotation.empty() && !more) {
            break;
        }
        int running = 0;
        curl_multi_perform(s.multi, &running);
        if (s.Collect() > 0) {
            continue; // fill the places that came free before waiting
        }
        now = Clock::now();
        Clock::time_point wake = now + kLongestPoll;
        if (!s.waiting.empty()) {
            wake = std::min(wake, s.waiting.begin()->first);
        }
        wake = std::min(wake, nextPause);
        const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(wake - now);
        curl_multi_poll(s.multi, nullptr, 0, static_cast<int>(std::max<std::int64_t>(0, wait.count())),
                        nullptr);
    }
    summary.delivered = s.delivered - deliveredBefore;
    return summary;
}

} // namespace sendwell
