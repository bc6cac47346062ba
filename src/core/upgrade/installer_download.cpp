#include "core/upgrade/installer_download.h"

#include "core/web/curl_support.h"
#include "core/web/network_lock.h"
#include "core/web/page_fetcher.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <mutex>
#include <optional>
#include <system_error>
#include <vector>

namespace sendwell {

namespace fs = std::filesystem;

namespace {

bool IsRedirect(int status) {
    return status == 301 || status == 302 || status == 303;
}

char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// The three-digit status of a status line; 0 when it has none.
int StatusOf(std::string_view statusLine) {
    const std::size_t space = statusLine.find(' ');
    if (space == std::string_view::npos || statusLine.size() < space + 4) {
        return 0;
    }
    int status = 0;
    for (char c : statusLine.substr(space + 1, 3)) {
        if (c < '0' || c > '9') {
            return 0;
        }
        status = status * 10 + (c - '0');
    }
    return status;
}

std::uint64_t ContentLength(const GetResult& answer) {
    std::optional<std::string> value = answer.Header("Content-Length");
    if (!value || value->empty()) {
        return 0;
    }
    std::uint64_t length = 0;
    for (char c : *value) {
        if (c < '0' || c > '9' || length > (UINT64_MAX - 9) / 10) {
            return 0;
        }
        length = length * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return length;
}

// One GET of the download: its head, and, when the answer is the file, its body into the target.
struct Transfer {
    const DownloadJob* job = nullptr;
    const DownloadHooks* hooks = nullptr;
    bool (*stopAfterHead)(int status) = nullptr;

    bool inHead = false;
    int headStatus = 0;
    std::vector<std::string> headLines;
    GetResult answer; // status and head of the final answer
    bool stoppedAfterHead = false;

    std::FILE* file = nullptr;
    bool failed = false;
    std::string block;
    std::uint64_t total = 0;
    std::uint64_t contentLength = 0;

    ~Transfer() {
        if (file != nullptr) {
            std::fclose(file);
        }
    }

    void Report(const std::string& text) const {
        if (hooks->progress) {
            hooks->progress(text);
        }
    }

    // The head is complete and the body is the file: create the target.
    bool StartBody() {
        contentLength = ContentLength(answer);
        file = std::fopen(job->target.c_str(), "wb");
        if (file == nullptr) {
            const std::string reason = std::generic_category().message(errno);
            if (hooks->messages != nullptr) {
                hooks->messages->ShowMessage(job->target.string() + ": " + reason, kAppCaption,
                                             MessageIcon::Warning);
            }
            return false;
        }
        return true;
    }

    // One block of the body: an HTML page instead of the file fails the download.
    bool WriteBlock(std::string_view bytes) {
        std::string text(bytes.substr(0, bytes.find('\0')));
        std::transform(text.begin(), text.end(), text.begin(), Lower);
        if (text.find("<html>") != std::string::npos) {
            return false;
        }
        if (std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) {
            return false;
        }
        total += bytes.size();
        Report(contentLength != 0
                   ? "Read " + std::to_string(total) + "/" + std::to_string(contentLength) + " bytes"
                   : "Read " + std::to_string(total) + " bytes");
        return true;
    }

    bool AddBody(const char* data, std::size_t size) {
        block.append(data, size);
        std::size_t done = 0;
        while (block.size() - done >= kDownloadBlockBytes) {
            if (!WriteBlock(std::string_view(block).substr(done, kDownloadBlockBytes))) {
                return false;
            }
            done += kDownloadBlockBytes;
        }
        block.erase(0, done);
        return true;
    }

    // The body has ended: the last, short block, then the file is closed.
    bool FinishBody() {
        if (file == nullptr || (!block.empty() && !WriteBlock(block))) {
            return false;
        }
        std::FILE* f = file;
        file = nullptr;
        return std::fclose(f) == 0 && total > 0;
    }

    static size_t OnHeader(char* data, size_t size, size_t count, void* self) {
        auto* t = static_cast<Transfer*>(self);
        const std::size_t n = size * count;
        std::string_view line(data, n);
        if (line.substr(0, 5) == "HTTP/") {
            t->inHead = true;
            t->headStatus = StatusOf(line);
            t->headLines.clear();
            return n;
        }
        if (!t->inHead) {
            return n;
        }
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
            line.remove_suffix(1);
        }
        if (!line.empty()) {
            t->headLines.emplace_back(line);
            return n;
        }
        t->inHead = false;
        if (t->headStatus < 200) {
            return n; // an interim head; the real one follows
        }
        t->answer.status = t->headStatus;
        t->answer.head = std::move(t->headLines);
        t->headLines.clear();
        if (t->stopAfterHead != nullptr && t->stopAfterHead(t->answer.status)) {
            t->stoppedAfterHead = true;
            return 0;
        }
        // Only the file itself is worth keeping: an error answer's body is no installer.
        if (t->answer.status != 200 || !t->StartBody()) {
            t->failed = true;
            return 0;
        }
        return n;
    }

    static size_t OnBody(char* data, size_t size, size_t count, void* self) {
        auto* t = static_cast<Transfer*>(self);
        if (t->file == nullptr || !t->AddBody(data, size * count)) {
            t->failed = true;
            return 0;
        }
        return size * count;
    }
};

// The easy handle of one download, set up once for all its requests.
class DownloadSession {
public:
    DownloadSession(CURL* handle, const DownloadJob& job, const DownloadHooks& hooks)
        : handle_(handle), job_(job), hooks_(hooks) {
        AppendHeader(headers_, "User-Agent: " + job.vendorHost);
        // Our header lines only: no default Accept, no proxy keep-alive line.
        AppendHeader(headers_, "Accept:");
        AppendHeader(headers_, "Proxy-Connection:");
        const ConnectionOptions& o = job.connection;
        CURL* h = handle_;
        curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L);
        curl_easy_setopt(h, CURLOPT_HTTPGET, 1L);
        curl_easy_setopt(h, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
        curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers_.get());
        curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(o.connectTimeoutSeconds) * 1000L);
        curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, static_cast<long>(o.stallTimeoutSeconds));
        curl_easy_setopt(h, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
        if (!o.caFile.empty()) {
            curl_easy_setopt(h, CURLOPT_CAINFO, o.caFile.c_str());
        }
        curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, &Transfer::OnHeader);
        curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &Transfer::OnBody);
    }

    // One GET of url. False when the transfer failed for any reason other than a deliberate stop.
    bool Get(const std::string& url, Transfer& t) {
        t.job = &job_;
        t.hooks = &hooks_;
        const ConnectionOptions& o = job_.connection;
        if (!GuardAllows(url, o.useProxy ? o.proxyName : std::string())) {
            return false;
        }
        CURL* h = handle_;
        curl_easy_setopt(h, CURLOPT_URL, url.c_str());
        curl_easy_setopt(h, CURLOPT_HEADERDATA, &t);
        curl_easy_setopt(h, CURLOPT_WRITEDATA, &t);
        std::string noProxy;
        if (o.useProxy) {
            const std::string host = UrlHost(url);
            if (BypassesProxy(o.proxyBypass, host)) {
                noProxy = host;
            }
            curl_easy_setopt(h, CURLOPT_PROXY, o.proxyName.c_str());
            curl_easy_setopt(h, CURLOPT_NOPROXY, noProxy.c_str());
        } else {
            // Direct: not even a proxy of the environment.
            curl_easy_setopt(h, CURLOPT_PROXY, "");
        }
        const CURLcode rc = curl_easy_perform(h);
        curl_easy_setopt(h, CURLOPT_HEADERDATA, static_cast<void*>(nullptr));
        curl_easy_setopt(h, CURLOPT_WRITEDATA, static_cast<void*>(nullptr));
        if (t.stoppedAfterHead) {
            return true;
        }
        return rc == CURLE_OK && !t.failed;
    }

    void SetCredentials(const Credentials& credentials, const GetResult& challenge) {
        std::optional<std::string> scheme = challenge.Header("WWW-Authenticate");
        const bool digest = scheme && scheme->size() >= 6 &&
                            std::equal(scheme->begin(), scheme->begin() + 6, "digest",
                                       [](char a, char b) { return Lower(a) == b; });
        curl_easy_setopt(handle_, CURLOPT_HTTPAUTH, digest ? CURLAUTH_DIGEST : CURLAUTH_BASIC);
        curl_easy_setopt(handle_, CURLOPT_USERNAME, credentials.user.c_str());
        curl_easy_setopt(handle_, CURLOPT_PASSWORD, credentials.password.c_str());
    }

private:
    CURL* handle_;
    const DownloadJob& job_;
    const DownloadHooks& hooks_;
    CurlSlist headers_;
};

// The requests of one download; true when the file arrived whole. redirected tells whether the file
// came from a second address.
bool Fetch(DownloadSession& session, const std::string& url, const DownloadHooks& hooks, bool& redirected) {
    if (!IsFetchableAddress(url)) {
        return false;
    }
    Transfer first;
    first.stopAfterHead = [](int status) { return status == 401 || IsRedirect(status); };
    if (!session.Get(url, first)) {
        return false;
    }
    Transfer retry;
    Transfer* answer = &first;
    if (first.stoppedAfterHead && first.answer.status == 401) {
        // Sent once more whether or not the user gave credentials.
        if (hooks.credentials != nullptr) {
            if (std::optional<Credentials> given =
                    hooks.credentials->AskCredentials(url, ChallengeRealm(first.answer.head))) {
                session.SetCredentials(*given, first.answer);
            }
        }
        retry.stopAfterHead = [](int status) { return IsRedirect(status); };
        if (!session.Get(url, retry)) {
            return false;
        }
        answer = &retry;
    }
    if (answer->stoppedAfterHead) {
        // One redirect, to an absolute http address, which must answer with the file.
        std::optional<std::string> target = answer->answer.Header("Location");
        if (!target || !IsFetchableAddress(*target, /*allowHttps=*/false)) {
            return false;
        }
        redirected = true;
        Transfer moved;
        return session.Get(*target, moved) && moved.FinishBody();
    }
    return answer->FinishBody();
}

} // namespace

DownloadResult RunDownload(const DownloadJob& job, const DownloadHooks& hooks) {
    DownloadResult result;
    if (hooks.progress) {
        hooks.progress(kDownloadingUpdateText);
    }
    const std::string url = CompleteAddress(job.address);
    CurlEasy handle = NewCurlHandle();
    if (!handle) {
        if (hooks.messages != nullptr) {
            hooks.messages->ShowMessage(kCannotOpenConnectionText, kAppCaption);
        }
        return result;
    }
    bool redirected = false;
    bool ok = false;
    try {
        DownloadSession session(handle.get(), job, hooks);
        ok = Fetch(session, url, hooks, redirected);
    } catch (...) {
        ok = false;
    }
    std::error_code ec;
    if (!ok) {
        // Nothing of a failed download, nor an older file of that name, may pass for the installer.
        fs::remove(job.target, ec);
        return result;
    }
    result.ok = true;
    result.verifiedTls = !redirected && IsSecureAddress(url);
    result.bytes = fs::file_size(job.target, ec);
    return result;
}

DownloadResult DownloadFile(const DownloadJob& job, const DownloadHooks& hooks,
                            const OffThreadRunner& runOffThread) {
    std::lock_guard networkLock(NetworkLock());
    DownloadResult result;
    if (job.target.empty()) {
        return result;
    }
    runOffThread([&] { result = RunDownload(job, hooks); });
    return result;
}

} // namespace sendwell
