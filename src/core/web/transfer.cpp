#include "core/web/transfer.h"

#include "core/base/ascii_case.h"
#include "core/web/status_session.h"
#include "core/web/url_parts.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <thread>

namespace sendwell {

namespace {

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) {
        s.remove_prefix(1);
    }
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n')) {
        s.remove_suffix(1);
    }
    return s;
}

// '*' matches any run of characters; both sides already lower case.
bool GlobMatch(std::string_view pattern, std::string_view text) {
    std::size_t p = 0;
    std::size_t t = 0;
    std::size_t star = std::string_view::npos;
    std::size_t resume = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            resume = t;
        } else if (p < pattern.size() && pattern[p] == text[t]) {
            ++p;
            ++t;
        } else if (star != std::string_view::npos) {
            p = star + 1;
            t = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') {
        ++p;
    }
    return p == pattern.size();
}

int ParseStatusLine(std::string_view line) {
    std::size_t space = line.find(' ');
    if (space == std::string_view::npos) {
        return 0;
    }
    int status = 0;
    int digits = 0;
    for (std::size_t i = space + 1; i < line.size() && digits < 3; ++i, ++digits) {
        if (line[i] < '0' || line[i] > '9') {
            return 0;
        }
        status = status * 10 + (line[i] - '0');
    }
    return digits == 3 ? status : 0;
}

bool IsMoved(int status) {
    return status == 301 || status == 302 || status == 303;
}

bool IsFollowed(const RedirectRule& rule, int status) {
    return IsMoved(status) || (rule.alsoTemporary && (status == 307 || status == 308));
}

struct CurlUrlDeleter {
    void operator()(CURLU* u) const noexcept { curl_url_cleanup(u); }
};

// target resolved against base as libcurl resolves a redirect target; "" when it cannot be.
std::string ResolveTarget(const std::string& base, const std::string& target) {
    std::unique_ptr<CURLU, CurlUrlDeleter> u(curl_url());
    char* text = nullptr;
    if (!u || curl_url_set(u.get(), CURLUPART_URL, base.c_str(), 0) != CURLUE_OK ||
        curl_url_set(u.get(), CURLUPART_URL, target.c_str(), CURLU_ALLOW_SPACE) != CURLUE_OK ||
        curl_url_get(u.get(), CURLUPART_URL, &text, 0) != CURLUE_OK || text == nullptr) {
        return {};
    }
    std::string out(text);
    curl_free(text);
    return out;
}

} // namespace

std::string UnsendableText(std::string_view what, std::string_view text) {
    static constexpr std::array<bool, 256> kUnsendable = [] {
        std::array<bool, 256> table{};
        for (int c = 0; c <= 0x20; ++c) {
            table[static_cast<std::size_t>(c)] = true;
        }
        table[0x7f] = true;
        return table;
    }();
    const auto bad = std::find_if(text.begin(), text.end(),
                                  [](char c) { return kUnsendable[static_cast<unsigned char>(c)]; });
    if (bad == text.end()) {
        return {};
    }
    const auto i = static_cast<std::size_t>(bad - text.begin());
    std::string kind = *bad == ' ' ? "a space" : "a control character";
    return "The " + std::string(what) + " cannot be sent: it contains " + kind + " at position " +
           std::to_string(i + 1) + ".";
}

std::optional<std::string> FindHeader(const std::vector<std::string>& head, std::string_view name) {
    for (const std::string& line : head) {
        std::size_t colon = line.find(':');
        if (colon != std::string::npos && colon == name.size() && AsciiStartsWithNoCase(line, name)) {
            return std::string(TrimBlanks(std::string_view(line).substr(colon + 1)));
        }
    }
    return std::nullopt;
}

std::string ChallengeRealm(const std::vector<std::string>& head) {
    std::optional<std::string> challenge = FindHeader(head, "WWW-Authenticate");
    if (!challenge) {
        return {};
    }
    std::size_t at = AsciiLower(*challenge).find("realm=");
    if (at == std::string::npos) {
        return {};
    }
    std::string_view rest = std::string_view(*challenge).substr(at + 6);
    if (!rest.empty() && rest.front() == '"') {
        rest.remove_prefix(1);
        return std::string(rest.substr(0, rest.find('"')));
    }
    return std::string(TrimBlanks(rest.substr(0, rest.find(','))));
}

std::string AnswerCutText(std::uint64_t bytes) {
    return "The answer was cut after " + std::to_string(bytes) + " bytes.";
}

std::optional<std::string> TransferResult::Header(std::string_view name) const {
    return FindHeader(head, name);
}

bool BypassesProxy(std::string_view bypassList, std::string_view host) {
    std::string lowerHost = AsciiLower(host);
    if (lowerHost.empty()) {
        return false;
    }
    std::size_t at = 0;
    while (at < bypassList.size()) {
        std::size_t end = bypassList.find_first_of("; ,\t\r\n", at);
        if (end == std::string_view::npos) {
            end = bypassList.size();
        }
        std::string entry = AsciiLower(bypassList.substr(at, end - at));
        at = end + 1;
        if (entry.empty()) {
            continue;
        }
        if (entry == "<local>") {
            if (lowerHost.find('.') == std::string::npos && lowerHost.find(':') == std::string::npos) {
                return true;
            }
            continue;
        }
        for (std::string_view scheme : {"http://", "https://"}) {
            if (entry.compare(0, scheme.size(), scheme) == 0) {
                entry.erase(0, scheme.size());
            }
        }
        if (GlobMatch(entry, lowerHost)) {
            return true;
        }
    }
    return false;
}

std::string GuardProxyFor(const ConnectionSettings& connection, std::string_view url) {
    if (connection.useProxy) {
        return connection.proxyName;
    }
    // The environment's proxy as libcurl would pick it (no_proxy aside: the guard may be stricter): the
    // first of these that is set and not empty.
    static constexpr std::array<const char*, 4> kSecure{"https_proxy", "HTTPS_PROXY", "all_proxy",
                                                        "ALL_PROXY"};
    static constexpr std::array<const char*, 3> kPlain{"http_proxy", "all_proxy", "ALL_PROXY"};
    const std::span<const char* const> names =
        IsSecureAddress(url) ? std::span<const char* const>(kSecure) : std::span<const char* const>(kPlain);
    for (const char* name : names) {
        if (const char* value = std::getenv(name); value != nullptr && value[0] != '\0') {
            return value;
        }
    }
    return {};
}

// --- HttpTransfer ---------------------------------------------------------------------------------------

// What the callbacks of one request see and record. A bound on a single request keeps its count here,
// and FailureText turns what ended the request into its text.
struct HttpTransfer::Exchange {
    const TransferRequest* request = nullptr;
    const RedirectRule* rule = nullptr;
    const TransferLimits* limits = nullptr;
    const std::atomic<bool>* stop = nullptr;
    StatusSession* session = nullptr; // takes its share of the progress callback
    int redirects = 0;                // followed before this request
    bool inHead = false;
    int headStatus = 0;
    std::vector<std::string> headLines;
    std::size_t headBytes = 0;
    bool headTooLarge = false;
    std::uint64_t bodyBytes = 0; // handed to the sink
    bool cut = false;
    std::optional<std::chrono::steady_clock::time_point> stopSeen;
    bool cancelled = false;
    int status = 0;
    std::vector<std::string> head;
    bool stoppedAfterHead = false;
    bool dropBody = false; // the answer is a redirect that will be followed
    bool bodySeen = false;
    bool tooManyRedirects = false;

    // Called with each complete head; interim (1xx) heads are followed by the real one.
    bool HeadComplete() {
        if (status < 200) {
            return true;
        }
        std::string target = FindHeader(head, "Location").value_or("");
        dropBody = redirects < rule->limit && IsFollowed(*rule, status) && !target.empty() &&
                   (!rule->absoluteHttpOnly || IsFetchableAddress(target, /*allowHttps=*/false));
        if (rule->failPastLimit && redirects >= rule->limit && IsFollowed(*rule, status) && !target.empty()) {
            tooManyRedirects = true;
            return false;
        }
        const StopAfterHead& stop = request->stopAfterHead;
        if (stop && stop(status, redirects)) {
            stoppedAfterHead = true;
            return false;
        }
        return dropBody || request->sink == nullptr || request->sink->Begin(status, head);
    }
};

HttpTransfer::HttpTransfer(TransferSetup setup) : setup_(std::move(setup)), handle_(NewCurlHandle()) {
    if (!handle_) {
        return;
    }
    if (setup_.progress != nullptr) {
        session_ = std::make_unique<StatusSession>(setup_.progress);
        session_->Attach(handle_.get());
    }
    ApplySetup();
}

HttpTransfer::~HttpTransfer() = default;

void HttpTransfer::ApplySetup() {
    CURL* h = handle_.get();
    const TransferLimits& limits = setup_.limits;
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errorBuffer_);
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L); // redirects go by our rule
    if (setup_.httpVersion != CURL_HTTP_VERSION_NONE) {
        curl_easy_setopt(h, CURLOPT_HTTP_VERSION, setup_.httpVersion);
    }
    if (setup_.pathAsIs) {
        curl_easy_setopt(h, CURLOPT_PATH_AS_IS, 1L);
    }
    curl_easy_setopt(h, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    if (!setup_.connection.caFile.empty()) {
        curl_easy_setopt(h, CURLOPT_CAINFO, setup_.connection.caFile.c_str());
    }
    if (setup_.connection.useProxy) {
        // An empty proxy name means no proxy at all, not the environment's.
        curl_easy_setopt(h, CURLOPT_PROXY, setup_.connection.proxyName.c_str());
    }
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS,
                     static_cast<long>(std::max<std::int64_t>(1, limits.connect.count())));
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME,
                     static_cast<long>(std::max<std::int64_t>(1, limits.stall.count())));
    curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, &HttpTransfer::OnHeader);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &HttpTransfer::OnBody);
    if (limits.total.count() > 0) {
        curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, static_cast<long>(limits.total.count()));
    }
    if (setup_.stop != nullptr || session_) {
        // libcurl calls this at least once a second even while no byte arrives.
        curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &HttpTransfer::OnProgress);
        curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    }
}

int HttpTransfer::OnProgress(void* exchange, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    auto* e = static_cast<Exchange*>(exchange);
    if (e == nullptr) {
        return 0;
    }
    if (e->session != nullptr) {
        e->session->Progress();
    }
    if (e->stop == nullptr || !e->stop->load()) {
        return 0;
    }
    auto now = std::chrono::steady_clock::now();
    if (!e->stopSeen) {
        e->stopSeen = now;
    }
    if (now - *e->stopSeen < e->limits->cancelGrace) {
        return 0;
    }
    e->cancelled = true;
    return 1;
}

size_t HttpTransfer::OnHeader(char* data, size_t size, size_t count, void* exchange) {
    auto* e = static_cast<Exchange*>(exchange);
    std::size_t n = size * count;
    std::string_view line(data, n);
    if (line.substr(0, 5) == "HTTP/") {
        e->inHead = true;
        e->headStatus = ParseStatusLine(line);
        e->headLines.clear();
        e->headBytes = 0;
        return n;
    }
    if (!e->inHead) {
        return n; // trailers after the body
    }
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
        line.remove_suffix(1);
    }
    if (!line.empty()) {
        e->headBytes += line.size();
        if (e->headBytes > kMaxHeadBytes) {
            e->headTooLarge = true;
            return 0;
        }
        e->headLines.emplace_back(line);
        return n;
    }
    e->inHead = false;
    e->status = e->headStatus;
    e->head = std::move(e->headLines);
    e->headLines.clear();
    return e->HeadComplete() ? n : 0;
}

size_t HttpTransfer::OnBody(char* data, size_t size, size_t count, void* exchange) {
    auto* e = static_cast<Exchange*>(exchange);
    std::size_t n = size * count;
    e->bodySeen = true;
    BodySink* sink = e->request->sink;
    if (e->dropBody || sink == nullptr) {
        return n;
    }
    const std::uint64_t cap = e->limits->maxBody;
    if (cap != 0 && n > cap - e->bodyBytes) {
        // The sink keeps what fits; the request ends as cut.
        auto room = static_cast<std::size_t>(cap - e->bodyBytes);
        e->cut = true;
        e->bodyBytes = cap;
        if (room > 0) {
            sink->Write(std::string_view(data, room));
        }
        return 0;
    }
    e->bodyBytes += n;
    return sink->Write(std::string_view(data, n)) ? n : 0;
}

std::string HttpTransfer::FailureText(CURLcode code, const Exchange& exchange) const {
    const BodySink* sink = exchange.request->sink;
    if (exchange.cancelled) {
        return std::string(kCancelledText);
    }
    if (code == CURLE_TOO_MANY_REDIRECTS && exchange.tooManyRedirects) {
        return "Maximum (" + std::to_string(exchange.rule->limit) + ") redirects followed";
    }
    if (code == CURLE_WRITE_ERROR && sink != nullptr) {
        if (std::string text = sink->failureText(); !text.empty()) {
            return text;
        }
    }
    if (code == CURLE_WRITE_ERROR && exchange.cut) {
        return AnswerCutText(exchange.bodyBytes);
    }
    // libcurl takes a single header line over its own bound as running out of memory.
    if ((code == CURLE_WRITE_ERROR && exchange.headTooLarge) ||
        (code == CURLE_OUT_OF_MEMORY && !exchange.bodySeen)) {
        return std::string(kHeadTooLargeText);
    }
    return errorBuffer_[0] != '\0' ? std::string(errorBuffer_) : std::string(curl_easy_strerror(code));
}

CURLcode HttpTransfer::Send(const std::string& url, const TransferRequest& request, bool post,
                            Exchange& exchange) {
    CURL* h = handle_.get();
    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    if (post) {
        curl_easy_setopt(h, CURLOPT_HTTPHEADER, setup_.postHeaders.get());
        curl_easy_setopt(h, CURLOPT_POST, 1L);
        curl_easy_setopt(h, CURLOPT_POSTFIELDS, request.postBody->data());
        curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.postBody->size()));
    } else {
        curl_easy_setopt(h, CURLOPT_HTTPHEADER, setup_.getHeaders.get());
        curl_easy_setopt(h, CURLOPT_HTTPGET, 1L);
    }
    if (setup_.connection.useProxy) {
        // The bypass list is ours, decided for each address; libcurl's own list knows neither "<local>"
        // nor wildcards.
        std::string host = UrlHost(url);
        std::string noProxy = BypassesProxy(setup_.connection.proxyBypass, host) ? host : std::string();
        curl_easy_setopt(h, CURLOPT_NOPROXY, noProxy.c_str());
    }
    const bool withCredentials = exchange.redirects == 0 && request.credentials != nullptr;
    if (withCredentials) {
        std::optional<std::string> challenge = FindHeader(request.challenge, "WWW-Authenticate");
        bool digest = challenge && AsciiStartsWithNoCase(*challenge, "digest");
        curl_easy_setopt(h, CURLOPT_HTTPAUTH, digest ? CURLAUTH_DIGEST : CURLAUTH_BASIC);
        curl_easy_setopt(h, CURLOPT_USERNAME, request.credentials->user.c_str());
        curl_easy_setopt(h, CURLOPT_PASSWORD, request.credentials->password.c_str());
    }
    curl_easy_setopt(h, CURLOPT_HEADERDATA, &exchange);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &exchange);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, &exchange);

    CURLcode rc = CURLE_OK;
    for (int retriesLeft = std::max(0, setup_.limits.connectRetries);; --retriesLeft) {
        errorBuffer_[0] = '\0';
        rc = curl_easy_perform(h);
        curl_off_t connectTime = 0;
        curl_easy_getinfo(h, CURLINFO_CONNECT_TIME_T, &connectTime);
        bool notConnected =
            rc == CURLE_COULDNT_CONNECT || (rc == CURLE_OPERATION_TIMEDOUT && connectTime == 0);
        if (!notConnected || exchange.bodySeen || retriesLeft == 0) {
            break;
        }
        std::this_thread::sleep_for(setup_.limits.connectBackoff);
    }
    if (rc == CURLE_WRITE_ERROR && exchange.stoppedAfterHead) {
        rc = CURLE_OK;
    }
    if (rc == CURLE_WRITE_ERROR && exchange.tooManyRedirects) {
        rc = CURLE_TOO_MANY_REDIRECTS;
    }

    curl_easy_setopt(h, CURLOPT_HEADERDATA, static_cast<void*>(nullptr));
    curl_easy_setopt(h, CURLOPT_WRITEDATA, static_cast<void*>(nullptr));
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, static_cast<void*>(nullptr));
    if (withCredentials) {
        curl_easy_setopt(h, CURLOPT_USERNAME, static_cast<char*>(nullptr));
        curl_easy_setopt(h, CURLOPT_PASSWORD, static_cast<char*>(nullptr));
        curl_easy_setopt(h, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC));
    }
    return rc;
}

TransferResult HttpTransfer::Perform(const TransferRequest& request) {
    TransferResult result;
    if (!ready()) {
        result.code = CURLE_FAILED_INIT;
        result.error = curl_easy_strerror(result.code);
        return result;
    }
    std::string redirected; // the address of a redirect followed
    const std::string* current = &request.url;
    bool post = request.postBody.has_value();
    for (int redirects = 0;; ++redirects) {
        const std::string& url = *current;
        result = TransferResult{};
        result.redirects = redirects;
        if (std::string bad = UnsendableText("address", url); !bad.empty()) {
            result.code = CURLE_URL_MALFORMAT;
            result.error = std::move(bad);
            return result;
        }
        if (LoopbackOnly() && !GuardAllows(url, GuardProxyFor(setup_.connection, url))) {
            result.code = CURLE_COULDNT_CONNECT;
            result.error = kGuardRefusedText;
            return result;
        }

        Exchange exchange;
        exchange.headLines.reserve(16);
        exchange.request = &request;
        exchange.rule = &setup_.redirects;
        exchange.limits = &setup_.limits;
        exchange.stop = setup_.stop;
        exchange.session = session_.get();
        exchange.redirects = redirects;
        result.code = Send(url, request, post, exchange);
        result.status = exchange.status;
        result.head = std::move(exchange.head);
        if (!result.ok()) {
            result.error = FailureText(result.code, exchange);
            result.cancelled = exchange.cancelled;
            return result;
        }

        const RedirectRule& rule = setup_.redirects;
        if (redirects >= rule.limit || !IsFollowed(rule, result.status)) {
            return result;
        }
        std::string next;
        if (rule.absoluteHttpOnly) {
            std::optional<std::string> target = result.Header("Location");
            if (!target || !IsFetchableAddress(*target, /*allowHttps=*/false)) {
                result.redirectRefused = true;
                return result;
            }
            next = *target;
        } else {
            // libcurl resolves a relative target against the address it was asked for, once the head
            // has been taken in whole.
            std::string target = result.Header("Location").value_or("");
            char* resolved = nullptr;
            curl_easy_getinfo(handle_.get(), CURLINFO_REDIRECT_URL, &resolved);
            next = resolved != nullptr         ? std::string(resolved)
                   : exchange.stoppedAfterHead ? ResolveTarget(url, target)
                                               : std::string();
            if (next.empty() || target.empty()) {
                return result;
            }
        }
        if (IsMoved(result.status)) {
            post = false;
        }
        redirected = std::move(next);
        current = &redirected;
    }
}

} // namespace sendwell
