// IndexNow submission: the addresses grouped by host, one JSON POST per host and per 10,000 addresses
// to the endpoint, each answer in plain words and stored in the answer store. A failure comes back with
// its failure log record, for the run to write. Addresses whose content has not changed since their last
// accepted submission are left out unless forced.
#pragma once

#include "core/base/connection_settings.h"
#include "core/base/outcome.h"
#include "core/base/progress.h"
#include "core/history/history_store.h"
#include "core/indexnow/indexnow_settings.h"
#include "core/web/transfer.h"
#include "core/web/url_parts.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

namespace sendwell {

inline constexpr std::size_t kMaxAddressesPerRequest = 10000;

struct HostGroup {
    std::string host; // lower case, with the port when the addresses name one
    std::vector<std::string> addresses;
};

struct AddressGrouping {
    std::vector<HostGroup> groups;    // in order of each host's first address
    std::vector<std::string> skipped; // not an http or https address with a host
};

// The key file to check for a site the user names; "" when the site gives no host and the key location
// is no whole address.
std::string KeyCheckAddress(std::string_view site, std::string_view key, std::string_view keyLocation);
inline constexpr std::string_view kNameASiteText = "Name a site to check, for example www.example.com.";
AddressGrouping GroupByHost(const std::vector<std::string>& addresses);

// {"host", "key", "keyLocation", "urlList"} as one JSON text.
std::string IndexNowBody(const std::string& host, const std::string& key, const std::string& keyLocation,
                         const std::vector<std::string>& addresses);

// The answer in plain words: "submitted", "bad request", ... or "unexpected answer <code>".
std::string IndexNowAnswerText(int status);
bool IndexNowAccepted(int status); // 200 and 202

// Seconds a Retry-After value asks to wait; none for a date or anything unreadable.
std::optional<long long> RetryAfterSeconds(std::string_view value);

// One request's end: outcome.text is the answer in plain words, or why no answer came; its httpStatus
// is 0 when none came; its failureLines are the failure log record of a failed request.
struct IndexNowAnswer {
    std::string host;
    std::size_t addressCount = 0;
    std::string answerFile;
    Outcome outcome;
};

// How a submission goes; the run's front end fills it in.
struct IndexNowJob {
    IndexNowSettings settings;
    ConnectionSettings connection;
    TransferLimits limits;
    std::filesystem::path programFolder; // the answer store's
    std::filesystem::path statePath;     // the unchanged-content record, when there is no history
    // The run history: it holds the unchanged-content record (statePath is taken in once). "": no
    // history, statePath alone.
    std::filesystem::path historyFile;
    // The run these requests are recorded in, each per address; null: none.
    HistoryRecorder* history = nullptr;
    bool force = false; // send every address, changed or not
    const std::atomic<bool>* stop = nullptr;
    // A 429 whose Retry-After asks for this long at most is waited for and the request sent again.
    std::chrono::seconds longestBackoff{60};
};

// Hears how the submission goes: status texts as any work's, and each request's answer. Called on the
// submitting thread.
class IndexNowReport : public Progress {
public:
    // A request ended; a failed one carries its failure log record.
    virtual void Answered(const IndexNowAnswer& answer) = 0;
    // The record of accepted content could not be read; failure.failureLines is its failure log record.
    // Comes before the first request.
    virtual void StateUnreadable(const Outcome& failure) { (void)failure; }
};

struct IndexNowSummary {
    std::size_t sent = 0;      // addresses in accepted requests
    std::size_t unchanged = 0; // left out: same content as at their last accepted submission
    std::size_t skipped = 0;   // not http/https
    std::size_t failedRequests = 0;
    bool throttled = false; // a 429 ended IndexNow for this run
    bool stopped = false;   // the stop flag ended it
    // The record of submitted content: damaged and kept aside (the run started a new one), or not read
    // or not saved (the accepted requests it concerns say so too), and why.
    std::string stateWarning;
    std::string stateError;
    std::string refused; // the settings did not allow a submission at all, and why
    // "The history could not be written: ..." when IndexNow's run of its own could not be recorded;
    // the submission went on regardless.
    std::string historyError;
    RunCounts recorded; // the requests per address, as the history counts them
};

// Why the settings allow no submission at all; "" when they allow one.
std::string IndexNowRefusal(const IndexNowSettings& settings);

IndexNowSummary SubmitToIndexNow(const std::vector<std::string>& addresses, const IndexNowJob& job,
                                 IndexNowReport& report);

} // namespace sendwell
