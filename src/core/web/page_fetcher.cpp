#include "core/web/page_fetcher.h"

#include "core/base/program_settings.h"
#include "core/web/network_lock.h"

#include <algorithm>
#include <chrono>
#include <mutex>
#include <optional>

namespace sendwell {

namespace {

// Splits a body into lines as it arrives: a line ends at a line feed, carriage returns are dropped.
// With a piece size, an entry also ends after that many body bytes, and keeps its line feed.
class LineCollector final : public BodySink {
public:
    LineCollector(LineList& lines, std::size_t pieceSize) : lines_(lines), pieceSize_(pieceSize) {}

    bool Write(std::string_view bytes) override {
        for (char c : bytes) {
            hasPartial_ = true;
            ++consumed_;
            if (c == '\n') {
                if (pieceSize_ != 0) {
                    partial_.push_back(c);
                }
                Push();
            } else {
                if (c != '\r') {
                    partial_.push_back(c);
                }
                if (pieceSize_ != 0 && consumed_ == pieceSize_) {
                    Push();
                }
            }
        }
        return true;
    }
    // The last line of a body that does not end in a line feed; only a body read to its end has one.
    void Finish() {
        if (hasPartial_) {
            Push();
        }
    }

private:
    void Push() {
        lines_.push_back(std::move(partial_));
        partial_.clear();
        hasPartial_ = false;
        consumed_ = 0;
    }

    LineList& lines_;
    std::size_t pieceSize_;
    std::string partial_;
    bool hasPartial_ = false;
    std::size_t consumed_ = 0;
};

} // namespace

TransferSetup PageRequestSetup(const ConnectionSettings& connection, const TransferLimits& limits) {
    TransferSetup setup;
    setup.connection = connection;
    setup.limits = limits;
    // libcurl would add Proxy-Connection when talking through a proxy; the request carries ours only.
    setup.getHeaders = {kAcceptHeader, kUserAgentHeader, "Proxy-Connection:"};
    // One version, so the request line and header set are the same for every server.
    setup.httpVersion = HttpVersion::Http11;
    return setup;
}

TransferLimits ReadRequestLimits() {
    TransferLimits limits;
    // Seconds beyond a day are taken as a day: libcurl's time limit is a long of milliseconds.
    if (const std::optional<long long> seconds = ProgramSettings().RequestTimeoutSeconds()) {
        limits.total = std::chrono::seconds(std::min<long long>(*seconds, 86400));
    }
    return limits;
}

PageFetch PageFetcher::FetchPage(const std::string& address) {
    std::lock_guard networkLock(NetworkLock());
    lines.clear();
    return Fetch(CompleteAddress(address), PageRequestSetup(connection, limits), 0);
}

PageFetch PageFetcher::FetchQueryPage(const std::string& address) {
    lines.clear();
    std::string url = CompleteQueryAddress(address);
    ConnectionSettings direct;
    direct.useProxy = true; // with no proxy name: none at all
    direct.caFile = connection.caFile;
    TransferSetup setup = PageRequestSetup(direct, limits);
    setup.getHeaders = {kAcceptHeader, kQueryUserAgentHeader, "Proxy-Connection:"};
    return Fetch(url, std::move(setup), kQueryPieceSize);
}

PageFetch PageFetcher::Fetch(const std::string& url, TransferSetup setup, std::size_t pieceSize) {
    lines.clear();
    const PageFetch noPage{nullptr, Outcome::Failed({})};
    // One redirect, to an absolute http address only; anything else means no page.
    setup.redirects = RedirectRule::OnceToHttp();
    HttpTransfer transfer(std::move(setup));
    if (!transfer.ready()) {
        return {nullptr, Outcome::Failed(kCannotOpenConnectionText)};
    }
    if (!IsFetchableAddress(url)) {
        return noPage;
    }

    // Answers we act on are not read beyond their head, nor is a redirect's target that is not 200.
    LineCollector collector(lines, pieceSize);
    TransferRequest request;
    request.url = url;
    request.sink = &collector;
    request.stopAfterHead = [](int status, int redirects) {
        return redirects == 0 ? status == 401 || IsMovedStatus(status) : status != 200;
    };
    TransferResult answer = transfer.Perform(request);

    if (answer.ok() && answer.redirects == 0 && answer.status == 401) {
        std::optional<Credentials> credentials;
        if (credentialsPrompt != nullptr) {
            credentials = credentialsPrompt->AskCredentials(url, ChallengeRealm(answer.head));
        }
        // Sent once more whether or not the user gave credentials; whatever comes back is the page.
        request.credentials = credentials ? &*credentials : nullptr;
        request.challenge = answer.head;
        request.stopAfterHead = [](int status, int redirects) {
            return redirects == 0 ? IsMovedStatus(status) : status != 200;
        };
        answer = transfer.Perform(request);
    }

    if (!answer.ok()) {
        // The complete lines read before the failure.
        return {&lines, Outcome::Failed({}, {answer.error})};
    }
    if (answer.redirectRefused || (answer.redirects > 0 && answer.status != 200)) {
        lines.clear();
        return noPage;
    }
    collector.Finish();
    Outcome fetched = Outcome::Succeeded();
    fetched.httpStatus = answer.status;
    return {&lines, std::move(fetched)};
}

} // namespace sendwell
