#include "core/upgrade/installer_download.h"

#include "core/base/ascii_case.h"
#include "core/web/network_lock.h"
#include "core/web/page_fetcher.h"
#include "core/web/transfer.h"
#include "core/web/url_parts.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <mutex>
#include <optional>
#include <string_view>
#include <system_error>
#include <vector>

namespace sendwell {

namespace fs = std::filesystem;

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

// The body of the answer that is the file, written to the target in blocks.
class InstallerSink final : public BodySink {
public:
    InstallerSink(const DownloadJob& job, const DownloadHooks& hooks) : job_(job), hooks_(hooks) {}
    ~InstallerSink() override {
        if (file_ != nullptr) {
            std::fclose(file_);
        }
    }
    InstallerSink(const InstallerSink&) = delete;
    InstallerSink& operator=(const InstallerSink&) = delete;

    // Set while credentials go out: libcurl answers a Digest challenge itself, so a 401 head may come
    // before the real answer.
    bool credentialsSent = false;

    bool Begin(int status, const std::vector<std::string>& head) override {
        if (status == 401 && credentialsSent) {
            return true;
        }
        // Only the file itself is worth keeping: an error answer's body is no installer.
        if (status != 200 || file_ != nullptr) {
            return false;
        }
        contentLength_ = ContentLength(head);
        file_ = std::fopen(job_.target.c_str(), "wb");
        if (file_ == nullptr) {
            const std::string reason = std::generic_category().message(errno);
            if (hooks_.messages != nullptr) {
                hooks_.messages->ShowMessage(job_.target.string() + ": " + reason, kAppCaption,
                                             MessageIcon::Warning);
            }
            return false;
        }
        return true;
    }

    bool Write(std::string_view bytes) override {
        if (file_ == nullptr) {
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

    // The body has ended: the last, short block, then the file is closed. An empty file fails.
    bool Finish() {
        if (file_ == nullptr || (!block_.empty() && !WriteBlock(block_))) {
            return false;
        }
        std::FILE* f = file_;
        file_ = nullptr;
        return std::fclose(f) == 0 && total_ > 0;
    }

private:
    // One block of the body: an HTML page instead of the file fails the download.
    bool WriteBlock(std::string_view bytes) {
        const std::string text = AsciiLower(bytes.substr(0, bytes.find('\0')));
        if (text.find("<html>") != std::string::npos) {
            return false;
        }
        if (std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) {
            return false;
        }
        total_ += bytes.size();
        if (hooks_.progress) {
            hooks_.progress(contentLength_ != 0 ? "Read " + std::to_string(total_) + "/" +
                                                      std::to_string(contentLength_) + " bytes"
                                                : "Read " + std::to_string(total_) + " bytes");
        }
        return true;
    }

    const DownloadJob& job_;
    const DownloadHooks& hooks_;
    std::FILE* file_ = nullptr;
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
    // Our header lines only: no default Accept, no proxy keep-alive line.
    setup.getHeaders = {"User-Agent: " + job.vendorHost, "Accept:", "Proxy-Connection:"};
    setup.httpVersion = HttpVersion::Http11;
    setup.redirects = RedirectRule::OnceToHttp();
    return setup;
}

// The requests of one download; true when the file arrived whole. redirected tells whether the file
// came from a second address.
bool Fetch(HttpTransfer& transfer, const std::string& url, InstallerSink& sink, const DownloadHooks& hooks,
           bool& redirected) {
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
    redirected = answer.redirects > 0;
    return answer.ok() && !answer.redirectRefused && answer.status == 200 && sink.Finish();
}

} // namespace

DownloadResult RunDownload(const DownloadJob& job, const DownloadHooks& hooks) {
    DownloadResult result;
    if (hooks.progress) {
        hooks.progress(kDownloadingUpdateText);
    }
    const std::string url = CompleteAddress(job.address);
    bool redirected = false;
    bool ok = false;
    try {
        HttpTransfer transfer(DownloadSetup(job));
        if (!transfer.ready()) {
            if (hooks.messages != nullptr) {
                hooks.messages->ShowMessage(kCannotOpenConnectionText, kAppCaption);
            }
            return result;
        }
        InstallerSink sink(job, hooks);
        ok = Fetch(transfer, url, sink, hooks, redirected);
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
