#include "core/web/transfer.h"

#include "core/base/ascii_case.h"
#include "core/web/curl_support.h"
#include "core/web/loopback_guard.h"
#include "core/web/status_session.h"
#include "core/web/url_parts.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <thread>

namespace sendwell {

namespace {

bool IsFollowed(const RedirectRule& rule, int status) {
    return IsMovedStatus(status) || (rule.alsoTemporary && (status == 307 || status == 308));
}

// What the callbacks of one request see and record. A bound on a single request keeps its count here,
// and FailureText turns what ended the request into its text.
struct Exchange {
    const TransferRequest* request = nullptr;
    const RedirectRule* rule = nullptr;
    const TransferLimits* limits = nullptr;
    const std::atomic<bool>* stop = nullptr;
    StatusSession* session = nullptr; // takes its share of the progress callback
    int redirects = 0;                // followed before this request
    HeadReader reader;
    std::uint64_t bodyBytes = 0; // handed to the sink
    bool cut = false;
    std::optional<std::chrono::steady_clock::time_point> stopSeen;
    bool cancelled = false;
    bool stoppedAfterHead = false;
    bool dropBody = false; // the answer is a redirect that will be followed
    bool bodySeen = false;
    bool tooManyRedirects = false;

    // Called with each complete head; interim (1xx) heads are followed by the real one.
    bool HeadComplete() {
        const int status = reader.status();
        if (status < 200) {
            return true;
        }
        std::string target = FindHeader(reader.head(), "Location").value_or("");
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
        return dropBody || request->sink == nullptr || request->sink->Begin(status, reader.head());
    }
};

int OnProgress(void* exchange, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
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

size_t OnBody(char* data, size_t size, size_t count, void* exchange) {
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

void ApplySetup(CURL* h, const TransferSetup& setup, char* errorBuffer, bool withSession) {
    const TransferLimits& limits = setup.limits;
    ApplyConnection(h, setup.connection);
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errorBuffer);
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L); // redirects go by our rule
    if (setup.httpVersion != HttpVersion::Default) {
        curl_easy_setopt(h, CURLOPT_HTTP_VERSION,
                         setup.httpVersion == HttpVersion::Http10 ? CURL_HTTP_VERSION_1_0
                                                                  : CURL_HTTP_VERSION_1_1);
    }
    if (setup.pathAsIs) {
        curl_easy_setopt(h, CURLOPT_PATH_AS_IS, 1L);
    }
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS,
                     static_cast<long>(std::max<std::int64_t>(1, limits.connect.count())));
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME,
                     static_cast<long>(std::max<std::int64_t>(1, limits.stall.count())));
    curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, &OnHeadLine<Exchange>);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &OnBody);
    if (limits.total.count() > 0) {
        curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, static_cast<long>(limits.total.count()));
    }
    if (setup.stop != nullptr || withSession) {
        // libcurl calls this at least once a second even while no byte arrives.
        curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &OnProgress);
        curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    }
}

std::string FailureText(CURLcode code, const Exchange& exchange, const char* errorBuffer) {
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
    if ((code == CURLE_WRITE_ERROR && exchange.reader.tooLarge()) ||
        (code == CURLE_OUT_OF_MEMORY && !exchange.bodySeen)) {
        return std::string(kHeadTooLargeText);
    }
    return errorBuffer[0] != '\0' ? std::string(errorBuffer) : std::string(curl_easy_strerror(code));
}

// One request to url, tried once more (or as the limits say) when no connection could be made.
CURLcode Send(CURL* h, const TransferSetup& setup, char* errorBuffer, const std::string& url,
              const TransferRequest& request, bool post, Exchange& exchange) {
    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    if (post) {
        curl_easy_setopt(h, CURLOPT_HTTPHEADER, CurlList(setup.postHeaders));
        curl_easy_setopt(h, CURLOPT_POST, 1L);
        curl_easy_setopt(h, CURLOPT_POSTFIELDS, request.postBody->data());
        curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.postBody->size()));
    } else {
        curl_easy_setopt(h, CURLOPT_HTTPHEADER, CurlList(setup.getHeaders));
        curl_easy_setopt(h, CURLOPT_HTTPGET, 1L);
    }
    ApplyProxyBypass(h, setup.connection, url);
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
    for (int retriesLeft = std::max(0, setup.limits.connectRetries);; --retriesLeft) {
        errorBuffer[0] = '\0';
        rc = curl_easy_perform(h);
        curl_off_t connectTime = 0;
        curl_easy_getinfo(h, CURLINFO_CONNECT_TIME_T, &connectTime);
        bool notConnected =
            rc == CURLE_COULDNT_CONNECT || (rc == CURLE_OPERATION_TIMEDOUT && connectTime == 0);
        if (!notConnected || exchange.bodySeen || retriesLeft == 0) {
            break;
        }
        std::this_thread::sleep_for(setup.limits.connectBackoff);
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

std::string AnswerCutText(std::uint64_t bytes) {
    return "The answer was cut after " + std::to_string(bytes) + " bytes.";
}

std::optional<std::string> TransferResult::Header(std::string_view name) const {
    return FindHeader(head, name);
}

// --- HttpTransfer ---------------------------------------------------------------------------------------

void HttpTransfer::HandleCloser::operator()(void* handle) const noexcept {
    curl_easy_cleanup(handle);
}

HttpTransfer::HttpTransfer(TransferSetup setup)
    : setup_(std::move(setup)), handle_(NewCurlHandle().release()) {
    static_assert(std::tuple_size_v<decltype(errorBuffer_)> >= CURL_ERROR_SIZE);
    if (!handle_) {
        return;
    }
    if (setup_.progress != nullptr) {
        session_ = std::make_unique<StatusSession>(setup_.progress);
        session_->Attach(handle_.get());
    }
    ApplySetup(handle_.get(), setup_, errorBuffer_.data(), session_ != nullptr);
}

HttpTransfer::~HttpTransfer() = default;

TransferResult HttpTransfer::Perform(const TransferRequest& request) {
    TransferResult result;
    if (!ready()) {
        result.code = CURLE_FAILED_INIT;
        result.error = curl_easy_strerror(CURLE_FAILED_INIT);
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
        if (!GuardLets(setup_.connection, url)) {
            result.code = CURLE_COULDNT_CONNECT;
            result.error = kGuardRefusedText;
            return result;
        }

        Exchange exchange;
        exchange.request = &request;
        exchange.rule = &setup_.redirects;
        exchange.limits = &setup_.limits;
        exchange.stop = setup_.stop;
        exchange.session = session_.get();
        exchange.redirects = redirects;
        const CURLcode code = Send(handle_.get(), setup_, errorBuffer_.data(), url, request, post, exchange);
        result.code = code;
        result.status = exchange.reader.status();
        result.head = exchange.reader.ReleaseHead();
        if (!result.ok()) {
            result.error = FailureText(code, exchange, errorBuffer_.data());
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
        if (IsMovedStatus(result.status)) {
            post = false;
        }
        redirected = std::move(next);
        current = &redirected;
    }
}

} // namespace sendwell
