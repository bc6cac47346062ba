#include "core/upgrade/installer_download.h"

#include "core/base/ascii_case.h"
#include "core/web/network_lock.h"
#include "core/web/page_fetcher.h"
#include "core/web/transfer.h"
#include "core/web/url_parts.h"

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <optional>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace sendwell {

namespace {

std::uint64_t ContentLength(const std::vector<std::string>& head) {
    std::optional<std::string> value = FindHeader(head, "Content-Length");
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

// The whole of bytes to fd, however the system splits the writes.
bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// The body of the answer that is the file, written to the target in blocks.
class InstallerSink final : public BodySink {
public:
    InstallerSink(const DownloadJob& job, const DownloadHooks& hooks) : job_(job), hooks_(hooks) {}

    // Set while credentials go out: libcurl answers a Digest challenge itself, so a 401 head may come
    // before the real answer.
    bool credentialsSent = false;

    bool Begin(int status, const std::vector<std::string>& head) override {
        if (status == 401 && credentialsSent) {
            return true;
        }
        // Only the file itself is worth keeping: an error answer's body is no installer.
        if (status != 200 || open_) {
            return false;
        }
        contentLength_ = ContentLength(head);
        open_ = true;
        return true;
    }

    bool Write(std::string_view bytes) override {
        if (!open_) {
            return false;
        }
        block_.append(bytes);
        std::size_t done = 0;
        while (block_.size() - done >= kDownloadBlockBytes) {
            if (!WriteBlock(std::string_view(block_).substr(done, kDownloadBlockBytes))) {
                return false;
            }
            done += kDownloadBlockBytes;
        }
        block_.erase(0, done);
        return true;
    }

    // The body has ended: the last, short block. An empty file fails.
    bool Finish() {
        if (!open_ || (!block_.empty() && !WriteBlock(block_))) {
            return false;
        }
        open_ = false;
        return total_ > 0;
    }

    std::uint64_t total() const { return total_; }

private:
    // One block of the body: an HTML page instead of the file fails the download.
    bool WriteBlock(std::string_view bytes) {
        const std::string text = AsciiLower(bytes.substr(0, bytes.find('\0')));
        if (text.find("<html>") != std::string::npos) {
            return false;
        }
        if (!WriteAll(job_.target, bytes)) {
            return false;
        }
        total_ += bytes.size();
        if (hooks_.progress != nullptr) {
            hooks_.progress->SetStatusText(contentLength_ != 0 ? "Read " + std::to_string(total_) + "/" +
                                                                     std::to_string(contentLength_) + " bytes"
                                                               : "Read " + std::to_string(total_) + " bytes");
        }
        return true;
    }

    const DownloadJob& job_;
    const DownloadHooks& hooks_;
    bool open_ = false;
    std::string block_;
    std::uint64_t total_ = 0;
    std::uint64_t contentLength_ = 0;
};

// The download's requests: the vendor host as the only header line, over HTTP/1.1; one redirect to an
// absolute http address; a connection that cannot be made is not tried again.
TransferSetup DownloadSetup(const DownloadJob& job) {
    TransferSetup setup;
    setup.connection = job.connection;
    if (!job.connection.useProxy) {
        // Direct: not even a proxy of the environment.
        setup.connection.useProxy = true;
        setup.connection.proxyName.clear();
    }
    setup.limits.connectRetries = 0;
    // An installer may be large and the link slow: an hour, not the page requests' minute, still ends
    // a server that trickles.
    setup.limits.total = std::chrono::hours(1);
    // Our header lines only: no default Accept, no proxy keep-alive line.
    setup.getHeaders = {"User-Agent: " + job.vendorHost, "Accept:", "Proxy-Connection:"};
    setup.httpVersion = HttpVersion::Http11;
    setup.redirects = RedirectRule::OnceToHttp();
    return setup;
}

// The requests of one download; true when the file arrived whole.
bool Fetch(HttpTransfer& transfer, const std::string& url, InstallerSink& sink, const DownloadHooks& hooks) {
    if (!IsFetchableAddress(url)) {
        return false;
    }
    TransferRequest request;
    request.url = url;
    request.sink = &sink;
    request.stopAfterHead = [](int status, int redirects) { return redirects == 0 && status == 401; };
    TransferResult answer = transfer.Perform(request);
    std::optional<Credentials> given;
    if (answer.ok() && answer.redirects == 0 && answer.status == 401) {
        // Sent once more whether or not the user gave credentials.
        if (hooks.credentials != nullptr) {
            given = hooks.credentials->AskCredentials(url, ChallengeRealm(answer.head));
        }
        request.credentials = given ? &*given : nullptr;
        request.challenge = answer.head;
        request.stopAfterHead = {};
        sink.credentialsSent = given.has_value();
        answer = transfer.Perform(request);
    }
    return answer.ok() && !answer.redirectRefused && answer.status == 200 && sink.Finish();
}

} // namespace

DownloadResult RunDownload(const DownloadJob& job, const DownloadHooks& hooks) {
    DownloadResult result;
    if (hooks.progress != nullptr) {
        hooks.progress->SetStatusText(kDownloadingUpdateText);
    }
    const std::string url = CompleteAddress(job.address);
    bool ok = false;
    std::uint64_t bytes = 0;
    try {
        HttpTransfer transfer(DownloadSetup(job));
        if (!transfer.ready()) {
            result.outcome = Outcome::Failed(kCannotOpenConnectionText);
            return result;
        }
        InstallerSink sink(job, hooks);
        ok = Fetch(transfer, url, sink, hooks);
        bytes = sink.total();
    } catch (...) {
        ok = false;
    }
    if (ok) {
        result.outcome = Outcome::Succeeded();
        result.bytes = bytes;
    }
    return result;
}

DownloadResult DownloadFile(const DownloadJob& job, const DownloadHooks& hooks,
                            const OffThreadRunner& runOffThread) {
    std::lock_guard networkLock(NetworkLock());
    DownloadResult result;
    if (job.target < 0) {
        return result;
    }
    runOffThread([&] { result = RunDownload(job, hooks); });
    return result;
}

} // namespace sendwell
