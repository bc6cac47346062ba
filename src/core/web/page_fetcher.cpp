#include "core/web/page_fetcher.h"

#include "core/web/curl_support.h"
#include "core/web/network_lock.h"

#include <mutex>
#include <optional>

namespace sendwell {

namespace {

bool IsRedirect(int status) {
    return status == 301 || status == 302 || status == 303;
}

} // namespace

ConnectionOptions PageFetcher::connectionOptions() const {
    ConnectionOptions options;
    options.useProxy = useProxy;
    options.proxyName = proxyName;
    options.proxyBypass = proxyBypass;
    options.connectTimeoutSeconds = connectTimeout;
    options.stallTimeoutSeconds = stallTimeout;
    options.caFile = caFile;
    return options;
}

const LineList* PageFetcher::FetchPage(const std::string& address) {
    std::lock_guard networkLock(NetworkLock());
    lines.clear();
    try {
        std::string url = CompleteAddress(address);
        CurlEasy handle = NewCurlHandle();
        if (!handle) {
            if (messages != nullptr) {
                messages->ShowMessage(kCannotOpenConnectionText, kAppCaption);
            }
            return nullptr;
        }
        if (!IsFetchableAddress(url)) {
            return nullptr;
        }
        HttpGetter getter(handle.get(), connectionOptions());

        // Answers we act on are not read beyond their head.
        GetResult answer = getter.Get(url, [](int status) { return status == 401 || IsRedirect(status); });
        if (!answer.ok()) {
            lines = std::move(answer.lines);
            return &lines;
        }

        if (answer.status == 401) {
            std::optional<Credentials> credentials;
            if (credentialsPrompt != nullptr) {
                credentials = credentialsPrompt->AskCredentials(url, ChallengeRealm(answer.head));
            }
            // Sent once more whether or not the user gave credentials; whatever comes back is the page.
            if (credentials) {
                getter.SetCredentials(*credentials, answer.head);
            }
            answer = getter.Get(url, [](int status) { return IsRedirect(status); });
            getter.ClearCredentials();
            if (!answer.ok()) {
                lines = std::move(answer.lines);
                return &lines;
            }
        }

        if (IsRedirect(answer.status)) {
            // One redirect, to an absolute http address only; anything else means no page.
            std::optional<std::string> target = answer.Header("Location");
            if (!target || !IsFetchableAddress(*target, /*allowHttps=*/false)) {
                return nullptr;
            }
            GetResult redirected = getter.Get(*target, [](int status) { return status != 200; });
            if (!redirected.ok()) {
                lines = std::move(redirected.lines);
                return &lines;
            }
            if (redirected.status != 200) {
                return nullptr;
            }
            lines = std::move(redirected.lines);
            return &lines;
        }

        lines = std::move(answer.lines);
        return &lines;
    } catch (...) {
        // Whatever went wrong, the page is what was read so far.
        return &lines;
    }
}

} // namespace sendwell
