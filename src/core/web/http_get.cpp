#include "core/web/http_get.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <thread>

namespace sendwell {

namespace {

constexpr std::size_t kMaxErrorText = 1024;
constexpr auto kConnectRetryPause = std::chrono::seconds(1);

char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
    if (s.size() < prefix.size()) {
        return false;
    }
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (Lower(s[i]) != Lower(prefix[i])) {
            return false;
        }
    }
    return true;
}

std::string LowerCopy(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(), Lower);
    return out;
}

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

struct CurlUrlDeleter {
    void operator()(CURLU* u) const noexcept { curl_url_cleanup(u); }
};

std::string UrlPart(CURLU* url, CURLUPart part) {
    char* text = nullptr;
    if (curl_url_get(url, part, &text, 0) != CURLUE_OK || text == nullptr) {
        return {};
    }
    std::string out(text);
    curl_free(text);
    return out;
}

std::string EnvValue(const char* name) {
    const char* v = std::getenv(name);
    return v == nullptr ? std::string() : std::string(v);
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

std::optional<std::string> HeaderValue(const std::vector<std::string>& head, std::string_view name) {
    for (const std::string& line : head) {
        std::size_t colon = line.find(':');
        if (colon != std::string::npos && colon == name.size() && StartsWithNoCase(line, name)) {
            return std::string(TrimBlanks(std::string_view(line).substr(colon + 1)));
        }
    }
    return std::nullopt;
}

} // namespace

std::string CompleteAddress(std::string_view address) {
    if (StartsWithNoCase(address, "http://") || StartsWithNoCase(address, "https://")) {
        return std::string(address);
    }
    return "http://" + std::string(address);
}

bool IsSecureAddress(std::string_view address) {
    return StartsWithNoCase(address, "https://");
}

bool IsFetchableAddress(std::string_view url, bool allowHttps) {
    std::unique_ptr<CURLU, CurlUrlDeleter> parsed(curl_url());
    if (!parsed || curl_url_set(parsed.get(), CURLUPART_URL, std::string(url).c_str(), 0) != CURLUE_OK) {
        return false;
    }
    std::string scheme = LowerCopy(UrlPart(parsed.get(), CURLUPART_SCHEME));
    if (scheme != "http" && !(allowHttps && scheme == "https")) {
        return false;
    }
    return !UrlPart(parsed.get(), CURLUPART_HOST).empty();
}

bool BypassesProxy(std::string_view bypassList, std::string_view host) {
    std::string lowerHost = LowerCopy(host);
    if (lowerHost.empty()) {
        return false;
    }
    std::size_t at = 0;
    while (at < bypassList.size()) {
        std::size_t end = bypassList.find_first_of("; ,\t\r\n", at);
        if (end == std::string_view::npos) {
            end = bypassList.size();
        }
        std::string entry = LowerCopy(bypassList.substr(at, end - at));
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

std::string GuardProxyFor(const ConnectionOptions& options, std::string_view url) {
    if (options.useProxy) {
        return options.proxyName;
    }
    // The environment's proxy as libcurl would pick it (no_proxy aside: the guard may be stricter).
    std::string proxy = IsSecureAddress(url) ? EnvValue("https_proxy") : EnvValue("http_proxy");
    if (proxy.empty() && IsSecureAddress(url)) {
        proxy = EnvValue("HTTPS_PROXY");
    }
    if (proxy.empty()) {
        proxy = EnvValue("all_proxy");
    }
    if (proxy.empty()) {
        proxy = EnvValue("ALL_PROXY");
    }
    return proxy;
}

std::optional<std::string> GetResult::Header(std::string_view name) const {
    return HeaderValue(head, name);
}

std::string ChallengeRealm(const std::vector<std::string>& head) {
    std::optional<std::string> challenge = HeaderValue(head, "WWW-Authenticate");
    if (!challenge) {
        return {};
    }
    std::string lower = LowerCopy(*challenge);
    std::size_t at = lower.find("realm=");
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

// --- HttpGetter -----------------------------------------------------------------------------------------

struct HttpGetter::Transfer {
    const StopAfterHead* stop = nullptr;
    bool inHead = false;
    int headStatus = 0;
    std::vector<std::string> headLines;
    int status = 0;
    std::vector<std::string> head;
    bool stoppedAfterHead = false;
    std::vector<std::string> lines;
    std::string partial;
    bool hasPartial = false;

    void AddBody(const char* data, std::size_t size) {
        for (std::size_t i = 0; i < size; ++i) {
            char c = data[i];
            if (c == '\n') {
                lines.push_back(std::move(partial));
                partial.clear();
                hasPartial = false;
            } else {
                hasPartial = true;
                if (c != '\r') {
                    partial.push_back(c);
                }
            }
        }
    }
    // The last line of a body that does not end in a line feed.
    void FinishBody() {
        if (hasPartial) {
            lines.push_back(std::move(partial));
            partial.clear();
            hasPartial = false;
        }
    }
};

HttpGetter::HttpGetter(CURL* handle, ConnectionOptions options)
    : handle_(handle), options_(std::move(options)) {
    AppendHeader(headers_, kAcceptHeader);
    AppendHeader(headers_, kUserAgentHeader);
    // libcurl would add this header when talking through a proxy; the request carries our headers only.
    AppendHeader(headers_, "Proxy-Connection:");

    CURL* h = handle_;
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(h, CURLOPT_HTTPGET, 1L);
    // One version, so the request line and header set are the same for every server.
    curl_easy_setopt(h, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers_.get());
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(options_.connectTimeoutSeconds) * 1000L);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, static_cast<long>(options_.stallTimeoutSeconds));
    curl_easy_setopt(h, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    if (!options_.caFile.empty()) {
        curl_easy_setopt(h, CURLOPT_CAINFO, options_.caFile.c_str());
    }
    curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, &HttpGetter::OnHeader);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &HttpGetter::OnBody);
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errorBuffer_);
}

void HttpGetter::SetCredentials(const Credentials& credentials,
                                const std::vector<std::string>& challengeHead) {
    long scheme = CURLAUTH_BASIC;
    std::optional<std::string> challenge = HeaderValue(challengeHead, "WWW-Authenticate");
    if (challenge && StartsWithNoCase(*challenge, "digest")) {
        scheme = CURLAUTH_DIGEST;
    }
    curl_easy_setopt(handle_, CURLOPT_HTTPAUTH, scheme);
    curl_easy_setopt(handle_, CURLOPT_USERNAME, credentials.user.c_str());
    curl_easy_setopt(handle_, CURLOPT_PASSWORD, credentials.password.c_str());
}

void HttpGetter::ClearCredentials() {
    curl_easy_setopt(handle_, CURLOPT_USERNAME, static_cast<char*>(nullptr));
    curl_easy_setopt(handle_, CURLOPT_PASSWORD, static_cast<char*>(nullptr));
    curl_easy_setopt(handle_, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC));
}

size_t HttpGetter::OnHeader(char* data, size_t size, size_t count, void* transfer) {
    auto* t = static_cast<Transfer*>(transfer);
    std::size_t n = size * count;
    std::string_view line(data, n);
    if (line.substr(0, 5) == "HTTP/") {
        t->inHead = true;
        t->headStatus = ParseStatusLine(line);
        t->headLines.clear();
        return n;
    }
    if (!t->inHead) {
        return n; // trailers after the body
    }
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
        line.remove_suffix(1);
    }
    if (!line.empty()) {
        t->headLines.emplace_back(line);
        return n;
    }
    t->inHead = false;
    t->status = t->headStatus;
    t->head = std::move(t->headLines);
    t->headLines.clear();
    // Interim (1xx) heads are followed by the real one; only a final head can end the transfer.
    if (t->status >= 200 && t->stop != nullptr && *t->stop && (*t->stop)(t->status)) {
        t->stoppedAfterHead = true;
        return 0;
    }
    return n;
}

size_t HttpGetter::OnBody(char* data, size_t size, size_t count, void* transfer) {
    static_cast<Transfer*>(transfer)->AddBody(data, size * count);
    return size * count;
}

GetResult HttpGetter::PerformOnce(const std::string& url, const StopAfterHead& stopAfterHead,
                                  bool& connectFailed) {
    Transfer t;
    t.stop = &stopAfterHead;
    CURL* h = handle_;
    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    curl_easy_setopt(h, CURLOPT_HEADERDATA, &t);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &t);
    std::string noProxy;
    if (options_.useProxy) {
        std::string host = UrlHost(url);
        if (BypassesProxy(options_.proxyBypass, host)) {
            noProxy = host;
        }
        // An empty proxy name means no proxy at all, not the environment's.
        curl_easy_setopt(h, CURLOPT_PROXY, options_.proxyName.c_str());
        curl_easy_setopt(h, CURLOPT_NOPROXY, noProxy.c_str());
    } else {
        curl_easy_setopt(h, CURLOPT_PROXY, static_cast<char*>(nullptr));
        curl_easy_setopt(h, CURLOPT_NOPROXY, static_cast<char*>(nullptr));
    }
    errorBuffer_[0] = '\0';

    CURLcode rc = curl_easy_perform(h);
    if (rc == CURLE_WRITE_ERROR && t.stoppedAfterHead) {
        rc = CURLE_OK;
    }
    curl_easy_setopt(h, CURLOPT_HEADERDATA, static_cast<void*>(nullptr));
    curl_easy_setopt(h, CURLOPT_WRITEDATA, static_cast<void*>(nullptr));

    GetResult result;
    result.code = rc;
    if (rc == CURLE_OK) {
        t.FinishBody();
    } else {
        std::string message = errorBuffer_[0] != '\0' ? std::string(errorBuffer_) : curl_easy_strerror(rc);
        result.error = message.substr(0, kMaxErrorText);
    }
    result.status = t.status;
    result.head = std::move(t.head);
    result.lines = std::move(t.lines);

    curl_off_t connectTime = 0;
    curl_easy_getinfo(h, CURLINFO_CONNECT_TIME_T, &connectTime);
    connectFailed = rc == CURLE_COULDNT_CONNECT || (rc == CURLE_OPERATION_TIMEDOUT && connectTime == 0);
    return result;
}

GetResult HttpGetter::Get(const std::string& url, const StopAfterHead& stopAfterHead) {
    if (!GuardAllows(url, GuardProxyFor(options_, url))) {
        GetResult refused;
        refused.code = CURLE_COULDNT_CONNECT;
        refused.error = kGuardRefusedText;
        return refused;
    }
    bool connectFailed = false;
    GetResult result = PerformOnce(url, stopAfterHead, connectFailed);
    if (connectFailed) {
        std::this_thread::sleep_for(kConnectRetryPause);
        result = PerformOnce(url, stopAfterHead, connectFailed);
    }
    return result;
}

} // namespace sendwell
