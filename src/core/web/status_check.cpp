#include "core/web/status_check.h"

#include "core/web/transfer.h"
#include "core/web/url_parts.h"

#include <utility>

namespace sendwell {

namespace {

// Longest library message put into a status text.
constexpr std::size_t kMaxErrorText = 1024;

} // namespace

std::string StatusCodeText(int status) {
    if (status >= 200 && status <= 299) {
        return status == 200 ? "Success: URL OK" : "Success";
    }
    if (status >= 300 && status <= 399) {
        switch (status) {
        case 301:
            return "Information: Moved";
        case 302:
            return "Information: Redirected";
        case 303:
            return "Information: Redirect Method";
        default:
            return "Information";
        }
    }
    if (status >= 400 && status <= 499) {
        switch (status) {
        case 400:
            return "Request Error: Unintelligble request";
        case 401:
            return "Request Error: Access denied (password site)";
        case 404:
            return "Request Error: Requested URL not found";
        case 405:
            return "Request Error: Server does not support requested method";
        default:
            return "Request Error";
        }
    }
    if (status >= 500 && status <= 599) {
        switch (status) {
        case 500:
            return "Server Error: Unknown server error";
        case 503:
            return "Server Error: Server capacity reached";
        default:
            return "Server Error";
        }
    }
    return "Unknown Status";
}

std::string StatusReportText(int code, const std::string& statusText) {
    return "Web Site Status Report\n\nCode " + std::to_string(code) + "\n\n" + statusText;
}

int CheckUrlStatus(const std::string& address, std::string& statusText, const ConnectionSettings& connection,
                   const TransferLimits& limits, const std::atomic<bool>* stop) {
    try {
        std::string url = CompleteAddress(address);
        TransferSetup setup = PageRequestSetup(connection, limits);
        setup.stop = stop;
        HttpTransfer transfer(std::move(setup));
        if (!transfer.ready()) {
            statusText = "Error: Cannot open Internet connection";
            return -1;
        }
        if (!IsFetchableAddress(url)) {
            statusText = "Error: Invalid URL";
            return -1;
        }
        // The status is all we need: every final answer ends the transfer after its head.
        TransferRequest request;
        request.url = url;
        request.stopAfterHead = [](int, int) { return true; };
        TransferResult answer = transfer.Perform(request);
        // A server may also hang up after an interim (1xx) head; that status is still an answer.
        if (answer.status > 0) {
            statusText = StatusCodeText(answer.status);
            return answer.status;
        }
        statusText = "Error: " + (answer.ok() ? std::string() : answer.error.substr(0, kMaxErrorText));
        return -1;
    } catch (...) {
        statusText = "Error: ";
        return -1;
    }
}

} // namespace sendwell
