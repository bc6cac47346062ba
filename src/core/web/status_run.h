// The bulk status check: many addresses checked at once through the fetch engine, each reported with
// the status check's code and words, how long it took and where its redirects ended. The single-address
// Ping (status_check.h) stays as it is: one GET, no redirect followed.
#pragma once

#include "core/base/connection_settings.h"
#include "core/base/report_table.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace sendwell {

class Progress;

struct StatusRow {
    std::string address;               // as given
    int code = -1;                     // of the final answer; -1 when none came
    std::string text;                  // StatusCodeText of the code, or "Error: " and why none came
    std::chrono::milliseconds time{0}; // from the first try to the final answer, waits included
    std::string finalUrl; // the address that gave the final answer, when redirects led elsewhere; else ""

    // A failure: no answer, or a final answer outside 200 to 399 (an error, or no status the check
    // knows).
    bool failed() const { return code < 200 || code >= 400; }
};

struct StatusRunSetup {
    ConnectionSettings connection;
    // Requests open at once in all and to one host; 0: the settings' or the fetch's own default
    // (ReadFetchLimits).
    int concurrency = 0;
    int perHost = 0;
    const std::atomic<bool>* stop = nullptr; // set by any thread to cancel
    Progress* progress = nullptr;            // done of total addresses; may be null
};

struct StatusRunSummary {
    std::size_t checked = 0; // rows delivered
    std::size_t failed = 0;  // of them, failures
    bool cancelled = false;
};

// Checks every address ("http://" in front when it has no scheme) with a GET that reads no body,
// following up to 10 redirects, and hands each row to onRow as it completes, in completion order, with
// its index in addresses. An address that is not http or https gets its row ("Error: Invalid URL")
// without a request. Once stop is set the run ends within a second; addresses not checked by then get
// no row.
StatusRunSummary RunStatusCheck(const std::vector<std::string>& addresses, const StatusRunSetup& setup,
                                const std::function<void(std::size_t index, StatusRow&& row)>& onRow);

// Rows as a report table: address, code (-1 when none), text, time_ms, redirected_to ("" when not
// redirected); a failed row's failure message is its code and text.
ReportTable StatusReport(const std::vector<StatusRow>& rows);

} // namespace sendwell
