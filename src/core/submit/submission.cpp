#include "core/submit/submission.h"

#include "core/submit/answer_text.h"
#include "core/web/url_parts.h"
#include "core/results/failure_log.h"
#include "core/web/curl_support.h"
#include "core/web/http_get.h"
#include "core/web/status_session.h"
#include "core/web/status_sink.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <curl/curl.h>
#include <memory>
#include <system_error>
#include <thread>

namespace sendwell {

namespace {

constexpr int kMaxRedirects = 5;

struct FileCloser {
    void operator()(std::FILE* f) const noexcept { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

void Report(StatusSink* status, const std::string& text) {
    if (status != nullptr) {
        status->SetStatusText(text);
    }
}

std::string Truncated(std::string text) {
    if (text.size() > kMaxErrorText) {
        text.resize(kMaxErrorText);
    }
    return text;
}

std::string LibraryMessage(CURLcode rc, const char* errorBuffer) {
    if (errorBuffer != nullptr && errorBuffer[0] != '\0') {
        return Truncated(errorBuffer);
    }
    return Truncated(curl_easy_strerror(rc));
}

// libcurl refuses a request line holding a space or a control character with a bare "bad format"
// message; say plainly what is wrong instead. "" when the text can be sent.
std::string UnsendableText(std::string_view what, std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        auto u = static_cast<unsigned char>(text[i]);
        if (u <= 0x20 || u == 0x7f) {
            std::string kind = u == 0x20 ? "a space" : "a control character";
            return "The " + std::string(what) + " cannot be sent: it contains " + kind + " at position " +
                   std::to_string(i + 1) + ".";
        }
    }
    return {};
}

std::string FileErrorText(std::string_view action, const std::string& path, int error) {
    return "Cannot " + std::string(action) + " the answer file " + path + ": " +
           std::error_code(error, std::generic_category()).message();
}

// Writes an answer to its file as it arrives: line feeds dropped (plain requests, which read the answer
// line by line), scripts disabled, the error-page check kept up to date, progress reported.
class AnswerFileWriter final : public AnswerSink {
public:
    enum class Mode { Lines, Whole };

    AnswerFileWriter(std::string path, Mode mode, StatusSink* status)
        : path_(std::move(path)), mode_(mode), status_(status) {}

    bool Write(std::string_view bytes) override {
        if (failed_) {
            return false;
        }
        std::string_view text = bytes;
        std::string stripped;
        if (mode_ == Mode::Lines) {
            stripped.reserve(bytes.size());
            for (char c : bytes) {
                if (c != '\n') {
                    stripped.push_back(c);
                }
            }
            text = stripped;
            read_ += stripped.size();
        } else {
            markers_.Feed(bytes); // a form answer is checked as received
        }
        std::string out;
        scripts_.Feed(text, out);
        bool ok = Emit(out);
        // One text per piece received rather than per line: the count ends the same, and a long page
        // does not flood the status line.
        if (mode_ == Mode::Lines && !text.empty()) {
            Report(status_, "Read " + std::to_string(read_) + " bytes");
        }
        return ok;
    }

    std::string failureText() const override { return failure_; }
    bool failed() const { return failed_; }

    // Flushes what is held back, closes the file, then replaces an error-looking answer by the short
    // notice. A form answer also gets its closing line break. With createMissing the file is made even
    // when no byte arrived. False when the file could not be written.
    bool Finish(bool createMissing) {
        std::string out;
        scripts_.Finish(out);
        Emit(out);
        if (!failed_ && mode_ == Mode::Whole) {
            Emit("\r\n");
        }
        if (!failed_ && !file_ && createMissing) {
            Open();
        }
        if (file_) {
            bool flushed = std::fflush(file_.get()) == 0;
            int error = errno;
            file_.reset();
            if (!flushed && !failed_) {
                Fail(FileErrorText("write", path_, error));
            }
        }
        if (markers_.found()) {
            FilePtr replace(std::fopen(path_.c_str(), "wb"));
            if (replace) {
                std::fwrite(kReplacementPage.data(), 1, kReplacementPage.size(), replace.get());
            }
        }
        return !failed_;
    }

private:
    bool Emit(std::string_view out) {
        if (mode_ == Mode::Lines) {
            markers_.Feed(out);
        }
        if (out.empty() || failed_) {
            return !failed_;
        }
        if (!file_ && !Open()) {
            return false;
        }
        if (std::fwrite(out.data(), 1, out.size(), file_.get()) != out.size()) {
            Fail(FileErrorText("write", path_, errno));
            return false;
        }
        return true;
    }

    bool Open() {
        file_.reset(std::fopen(path_.c_str(), "wb"));
        if (!file_) {
            Fail(FileErrorText("create", path_, errno));
            return false;
        }
        return true;
    }

    void Fail(std::string text) {
        failed_ = true;
        failure_ = std::move(text);
    }

    std::string path_;
    Mode mode_;
    StatusSink* status_;
    FilePtr file_;
    ScriptDisabler scripts_;
    ErrorMarkerScan markers_;
    std::uint64_t read_ = 0;
    bool failed_ = false;
    std::string failure_;
};

// The status line and Location of the response being received; reset at each status line, so interim
// and redirect responses do not leak into the final one.
struct ResponseHead {
    long status = 0;
    std::string location;
};

bool IsRedirect(long status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) {
        return false;
    }
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        char a = text[i];
        char b = prefix[i];
        if (a >= 'A' && a <= 'Z') {
            a = static_cast<char>(a - 'A' + 'a');
        }
        if (a != b) {
            return false;
        }
    }
    return true;
}

struct Transfer {
    ResponseHead head;
    AnswerSink* sink = nullptr;
    bool followRedirects = false;
    bool bodySeen = false;
};

size_t OnHeader(char* data, size_t size, size_t count, void* user) {
    auto* t = static_cast<Transfer*>(user);
    std::string_view line(data, size * count);
    if (line.starts_with("HTTP/")) {
        t->head = ResponseHead{};
        std::size_t space = line.find(' ');
        if (space != std::string_view::npos) {
            t->head.status = std::strtol(std::string(line.substr(space + 1, 3)).c_str(), nullptr, 10);
        }
    } else if (StartsWithNoCase(line, "location:")) {
        std::string_view value = line.substr(9);
        while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) {
            value.remove_prefix(1);
        }
        while (!value.empty() && (value.back() == '\r' || value.back() == '\n' || value.back() == ' ')) {
            value.remove_suffix(1);
        }
        t->head.location = std::string(value);
    }
    return size * count;
}

size_t OnBody(char* data, size_t size, size_t count, void* user) {
    auto* t = static_cast<Transfer*>(user);
    t->bodySeen = true;
    if (t->followRedirects && IsRedirect(t->head.status) && !t->head.location.empty()) {
        return size * count; // the page of a redirect that will be followed is not the answer
    }
    return t->sink->Write(std::string_view(data, size * count)) ? size * count : 0;
}

long Milliseconds(std::chrono::milliseconds ms) {
    return static_cast<long>(std::max<std::int64_t>(1, ms.count()));
}

void ApplyCommonOptions(CURL* h, const SubmissionTimeouts& timeouts, Transfer& transfer, char* errorBuffer,
                        curl_slist* headers) {
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errorBuffer);
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_PATH_AS_IS, 1L); // the user's text goes out as typed
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, &OnHeader);
    curl_easy_setopt(h, CURLOPT_HEADERDATA, &transfer);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &OnBody);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, Milliseconds(timeouts.connect));
    auto dataTimeout = std::max({timeouts.send, timeouts.receive, timeouts.dataReceive});
    long seconds = static_cast<long>((std::max<std::int64_t>(1, dataTimeout.count()) + 999) / 1000);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, seconds);
}

// Runs the transfer, trying a connection that could not be made once more after the back-off.
CURLcode PerformWithConnectRetry(CURL* h, const SubmissionTimeouts& timeouts, Transfer& transfer,
                                 char* errorBuffer) {
    int retriesLeft = std::max(0, timeouts.connectRetries);
    for (;;) {
        errorBuffer[0] = '\0';
        CURLcode rc = curl_easy_perform(h);
        curl_off_t connectTime = 0;
        curl_easy_getinfo(h, CURLINFO_CONNECT_TIME_T, &connectTime);
        bool notConnected =
            rc == CURLE_COULDNT_CONNECT || (rc == CURLE_OPERATION_TIMEDOUT && connectTime == 0);
        if (!notConnected || transfer.bodySeen || retriesLeft == 0) {
            return rc;
        }
        --retriesLeft;
        std::this_thread::sleep_for(timeouts.connectBackoff);
    }
}

// The user's proxy settings in the form the page fetch knows them, for the bypass rule and the guard.
ConnectionOptions ConnectionFor(const SubmissionProxy& proxy) {
    ConnectionOptions options;
    options.useProxy = proxy.useProxy;
    options.proxyName = proxy.name;
    options.proxyBypass = proxy.bypass;
    return options;
}

void LogPlainFailure(const SubmissionRequest& request, const SubmissionContext& context,
                     const std::string& message) {
    int bufSize = std::min(context.bufSize, kMaxLoggedBufSize);
    AppendFailureRecord(context.programFolder,
                        {message, "The URL was " + request.address, "The Filename was " + request.answerFile,
                         "The BufSize was " + std::to_string(bufSize)});
}

std::string SendPlain(const SubmissionRequest& request, const SubmissionContext& context) {
    const std::string& wire = request.wireAddress.empty() ? request.address : request.wireAddress;
    Report(context.status, "Connecting");

    CurlEasy handle = NewCurlHandle();
    if (!handle) {
        return std::string(kResultNoSession);
    }
    CURL* h = handle.get();

    std::string referrer = request.referrer.empty() ? GetSiteRoot(request.address) : request.referrer;
    referrer = referrer.substr(0, referrer.find_first_of("\r\n"));
    CurlSlist headers;
    AppendHeader(headers, "Accept: text/*");
    AppendHeader(headers, "User-Agent: " + std::string(kSubmissionAgent));
    AppendHeader(headers, "Referer: " + referrer);
    AppendHeader(headers, "Expect:");
    // libcurl would add this one when talking through a proxy; the request carries our headers only.
    AppendHeader(headers, "Proxy-Connection:");

    ConnectionOptions connection = ConnectionFor(context.proxy);
    AnswerFileWriter writer(request.answerFile, AnswerFileWriter::Mode::Lines, context.status);
    Transfer transfer;
    transfer.sink = &writer;
    char errorBuffer[CURL_ERROR_SIZE] = {};
    ApplyCommonOptions(h, context.timeouts, transfer, errorBuffer, headers.get());
    curl_easy_setopt(h, CURLOPT_HTTPGET, 1L);
    if (connection.useProxy) {
        // An empty proxy name means no proxy at all, not the environment's.
        curl_easy_setopt(h, CURLOPT_PROXY, connection.proxyName.c_str());
    }

    std::string failure;
    std::string url = wire;
    for (int hop = 0; failure.empty(); ++hop) {
        if (!GuardAllows(url, GuardProxyFor(connection, url))) {
            failure = kGuardRefusedText;
            break;
        }
        if (std::string bad = UnsendableText("address", url); !bad.empty()) {
            failure = bad;
            break;
        }
        if (connection.useProxy) {
            // The bypass list is ours, decided for each address as the page fetch does; libcurl's own
            // list knows neither "<local>" nor wildcards.
            std::string host = UrlHost(url);
            std::string noProxy = BypassesProxy(connection.proxyBypass, host) ? host : std::string();
            curl_easy_setopt(h, CURLOPT_NOPROXY, noProxy.c_str());
        }
        curl_easy_setopt(h, CURLOPT_URL, url.c_str());
        transfer.followRedirects = hop < kMaxRedirects;
        transfer.bodySeen = false;
        CURLcode rc = PerformWithConnectRetry(h, context.timeouts, transfer, errorBuffer);
        if (rc != CURLE_OK) {
            failure = (rc == CURLE_WRITE_ERROR && writer.failed()) ? writer.failureText()
                                                                   : LibraryMessage(rc, errorBuffer);
            break;
        }
        char* next = nullptr;
        curl_easy_getinfo(h, CURLINFO_REDIRECT_URL, &next);
        if (!transfer.followRedirects || !IsRedirect(transfer.head.status) ||
            transfer.head.location.empty() || next == nullptr) {
            break;
        }
        url = next;
    }
    handle.reset();

    // An answer file exists only when the answer arrived, or began to.
    if (!writer.Finish(failure.empty()) && failure.empty()) {
        failure = writer.failureText();
    }
    if (!failure.empty()) {
        failure = Truncated(std::move(failure));
        LogPlainFailure(request, context, failure);
        return failure;
    }
    return std::string(kResultOk);
}

std::string SendFormPost(const SubmissionRequest& request, const SubmissionContext& context) {
    const std::string& wire = request.wireAddress.empty() ? request.address : request.wireAddress;
    ObjectAndQuery split = SplitObjectAndQuery(wire);
    std::string root = GetSiteRoot(wire);
    std::size_t scheme = root.find("://");
    std::string hostAndPort = scheme == std::string::npos ? root : root.substr(scheme + 3);
    std::string host;
    int port = 80;
    SplitHostPort(hostAndPort, 80, host, port);

    AnswerFileWriter writer(request.answerFile, AnswerFileWriter::Mode::Whole, context.status);
    PostForm(host, port, split.objectPath, request.extraObjectQuery, split.query, writer, context);
    bool failedInTransfer = writer.failed(); // already logged by PostForm
    if (!writer.Finish(true) && !failedInTransfer) {
        AppendFailureRecord(context.programFolder, {Truncated(writer.failureText()), "The server was " + host,
                                                    "The process was " + split.objectPath});
    }
    return {};
}

} // namespace

SubmissionRequest MakeSubmissionRequest(const EngineRequest& engineRequest, std::string answerFile) {
    SubmissionRequest r;
    r.address = engineRequest.address;
    r.wireAddress = engineRequest.wireAddress;
    r.method = engineRequest.method;
    r.answerFile = std::move(answerFile);
    return r;
}

std::string SendSubmission(const SubmissionRequest& request, const SubmissionContext& context) {
    return request.method == SubmitMethod::FormPost ? SendFormPost(request, context)
                                                    : SendPlain(request, context);
}


long PostForm(const std::string& host, int port, const std::string& objectPath,
              const std::string& extraObjectQuery, const std::string& body, AnswerSink& sink,
              const SubmissionContext& context) {
    std::string object = objectPath;
    if (!extraObjectQuery.empty()) {
        object += "?" + extraObjectQuery;
    }
    auto logFailure = [&](const std::string& message) {
        AppendFailureRecord(context.programFolder,
                            {Truncated(message), "The server was " + host, "The process was " + objectPath});
    };
    if (std::string bad = UnsendableText("server name", host); !bad.empty()) {
        logFailure(bad);
        return 0;
    }
    if (std::string bad = UnsendableText("object path", object); !bad.empty()) {
        logFailure(bad);
        return 0;
    }

    // libcurl's own Accept, Expect, Content-Type and (through an environment proxy) Proxy-Connection give
    // way to exactly the lines below. A redirected request that lost its body sends the lines of a form
    // request without one.
    auto formHeaders = [](bool withBody) {
        CurlSlist headers;
        AppendHeader(headers, withBody ? "Accept:" : "Accept: text/*");
        AppendHeader(headers, "User-Agent: " + std::string(kSubmissionAgent));
        AppendHeader(headers, "Accept-Language: en-us");
        if (withBody) {
            AppendHeader(headers, "Content-type: application/x-www-form-urlencoded");
        }
        AppendHeader(headers, "Expect:");
        AppendHeader(headers, "Proxy-Connection:");
        return headers;
    };
    CurlSlist postHeaders = formHeaders(true);
    CurlSlist getHeaders = formHeaders(false);
    Transfer transfer;
    transfer.sink = &sink;
    char errorBuffer[CURL_ERROR_SIZE] = {};

    // Everything the handle points to is declared before it, so it outlives the handle.
    CurlEasy handle = NewCurlHandle();
    if (!handle) {
        logFailure("Cannot open the Internet connection.");
        return 0;
    }
    CURL* h = handle.get();
    // The form post shows the library's own progress; declared after the handle, so it detaches first.
    StatusSession session(context.status);
    session.Attach(h);
    ApplyCommonOptions(h, context.timeouts, transfer, errorBuffer, nullptr);
    curl_easy_setopt(h, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_0));

    std::string hostPart = host.find(':') != std::string::npos ? "[" + host + "]" : host;
    std::string url = "http://" + hostPart + ":" + std::to_string(port) + object;
    bool post = !body.empty();
    // A server that answers the form with a redirect is followed the way a browser does: 301, 302 and
    // 303 become a GET of the new place without the body, 307 and 308 repeat the request there.
    for (int hop = 0;; ++hop) {
        if (hop > 0) {
            if (std::string bad = UnsendableText("address", url); !bad.empty()) {
                logFailure(bad);
                return 0;
            }
        }
        // The form path takes no proxy of its own; libcurl may still take one from the environment.
        if (!GuardAllows(url, GuardProxyFor(ConnectionOptions{}, url))) {
            logFailure(kGuardRefusedText);
            return 0;
        }
        curl_easy_setopt(h, CURLOPT_URL, url.c_str());
        if (post) {
            curl_easy_setopt(h, CURLOPT_HTTPHEADER, postHeaders.get());
            curl_easy_setopt(h, CURLOPT_POST, 1L);
            curl_easy_setopt(h, CURLOPT_POSTFIELDS, body.data());
            curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
        } else {
            curl_easy_setopt(h, CURLOPT_HTTPHEADER, getHeaders.get());
            curl_easy_setopt(h, CURLOPT_HTTPGET, 1L);
        }
        transfer.head = ResponseHead{};
        transfer.followRedirects = hop < kMaxRedirects;
        transfer.bodySeen = false;
        CURLcode rc = PerformWithConnectRetry(h, context.timeouts, transfer, errorBuffer);
        if (rc != CURLE_OK) {
            std::string failure = sink.failureText();
            logFailure(rc == CURLE_WRITE_ERROR && !failure.empty() ? failure
                                                                   : LibraryMessage(rc, errorBuffer));
            return transfer.head.status;
        }
        char* next = nullptr;
        curl_easy_getinfo(h, CURLINFO_REDIRECT_URL, &next);
        if (!transfer.followRedirects || !IsRedirect(transfer.head.status) ||
            transfer.head.location.empty() || next == nullptr) {
            return transfer.head.status;
        }
        if (transfer.head.status != 307 && transfer.head.status != 308) {
            post = false;
        }
        url = next;
    }
}

} // namespace sendwell
