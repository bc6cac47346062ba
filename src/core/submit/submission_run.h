// The submission run: every address of a list to every enabled engine of the catalogue, in order, on
// a worker thread that reports to the progress window through SubmitProgress. The run owns each request
// from start to end: it sends it (stores the answer in its answer file, scripts disabled, error-looking
// pages replaced by a short notice), takes its outcome, and writes the failure log record of a failed one.
#pragma once

#include "core/base/connection_settings.h"
#include "core/base/outcome.h"
#include "core/base/progress.h"
#include "core/indexnow/indexnow_settings.h"
#include "core/submit/engine_catalogue.h"
#include "core/web/transfer.h"

#include <atomic>
#include <bitset>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sendwell {

struct IndexNowJob;
class IndexNowReport;
struct IndexNowSummary;

// Result texts besides "OK" and the network library's own messages.
inline constexpr std::string_view kResultOk = "OK";
inline constexpr std::string_view kResultNoSession = "Session = NULL";

// Buffer-size values above this are logged as this.
inline constexpr int kMaxLoggedBufSize = 15000;
// Longest error text returned and logged.
inline constexpr std::size_t kMaxErrorText = 10000;

// Bounds of one request. The connect time-out maps to libcurl's connect time-out. The send and the two
// receive time-outs have no direct libcurl counterpart; they become a low-speed limit (less than one
// byte per second for the longest of them, rounded up to whole seconds, at least one) that ends a
// request whose server stops sending or stops taking data. A connection that fails or times out before
// it is made is tried once more after the back-off. Every request ends after the total time, and its
// answer is cut at maxAnswerBytes. Once the run's stop flag is set, a request still going after the
// cancel grace is ended as cancelled.
struct SubmissionTimeouts {
    std::chrono::milliseconds connect{10000};
    std::chrono::milliseconds send{10000};
    std::chrono::milliseconds receive{10000};
    std::chrono::milliseconds dataReceive{10000};
    std::chrono::milliseconds connectBackoff{1000};
    int connectRetries = 1;
    std::chrono::milliseconds total{60000};
    std::uint64_t maxAnswerBytes = 10485760;
    std::chrono::milliseconds cancelGrace{5000};
};

// What stays the same for every request of a run.
struct SubmissionContext {
    std::filesystem::path programFolder; // where msg_dump.txt lives
    // The proxy applies to plain requests only, form posts take the environment's; bufSize is only
    // logged.
    ConnectionSettings connection;
    Progress* status = nullptr; // progress texts; may be null
    SubmissionTimeouts timeouts;
    const std::atomic<bool>* stop = nullptr; // the run's stop flag; may be null
};

struct SubmissionRequest {
    std::string address;     // the request address as built; logged, and split for a form post
    std::string wireAddress; // what is sent when it differs (spaces of fixed pieces encoded); "" = address
    SubmitMethod method = SubmitMethod::Plain;
    std::string answerFile;
    std::string referrer;         // plain requests; "" means the site root of the address
    std::string extraObjectQuery; // form posts; appended to the object path as "?" + text when not empty
};

// The header lines a submission sends, exactly: a plain request with its Referer, a form post, and the
// GET a redirect turns a form post into. "Name:" takes away a line libcurl would add.
HeaderLineList PlainSubmissionHeaders(std::string_view referrer);
HeaderLineList FormPostHeaders();
HeaderLineList FormRedirectHeaders();

// A request for one engine of the catalogue, to be stored in answerFile.
SubmissionRequest MakeSubmissionRequest(EngineRequest engineRequest, std::string answerFile);

// Sends one request. The outcome's text is the result text: "OK", "Session = NULL", the library's or
// the file system's error message for a failed plain request, and "" for every form post. A failed
// request other than "Session = NULL" carries its failure log record; a cancelled one too.
Outcome SendSubmission(const SubmissionRequest& request, const SubmissionContext& context);

// Posts body as a form to host:port + objectPath (+ "?" + extraObjectQuery), or GETs it when body is
// empty, and hands the answer to sink. Up to five redirects are followed (301, 302 and 303 as a GET
// without the body); the final answer is the one handed over, its HTTP status (0 when none was
// obtained) in the outcome. A failure carries a three-line record (host and objectPath).
Outcome PostForm(const std::string& host, int port, const std::string& objectPath,
                 const std::string& extraObjectQuery, const std::string& body, BodySink& sink,
                 const SubmissionContext& context);

// Shared by the UI thread and the worker. The worker tests stop before each address and each request;
// it sets both flags when it ends, finished last, and touches neither the progress nor the job after.
struct RunFlags {
    std::atomic<bool> stop{false};
    std::atomic<bool> finished{false};
};

// One request of a run as it ended, for a front end that lists every request.
struct RequestOutcome {
    std::string address;    // the web address submitted
    int engine = 0;         // catalogue position
    std::string engineName; // display name
    std::string result;     // the result text ("" for every form post)
    std::string answerFile;
    // It failed or was cancelled; the failure log has the details of every such request but a plain
    // one that found no session.
    bool failed = false;
};

// What the worker reports about its run; the progress window decides how to show it. Called on the
// worker thread; a GUI implementation queues each call to the UI thread. The status line is the
// Progress part (request progress and results); the rest are the run's own events.
class SubmitProgress : public Progress {
public:
    // Before the first address: addressCount addresses, each through engineCount engine positions.
    virtual void RunStarted(std::size_t addressCount, int engineCount) = 0;
    // Address index (from 1) of count begins.
    virtual void AddressStarted(std::size_t index, std::size_t count, const std::string& address) = 0;
    // An enabled engine is about to be asked.
    virtual void EngineStarted(const std::string& displayName) = 0;
    // A request has ended, answered or failed; comes before its RequestDone. The progress window has
    // no use for it: it shows the result text on its status line.
    virtual void RequestAnswered(const RequestOutcome& outcome) { (void)outcome; }
    // One engine position is done: its request answered, or passed over while the engine is off.
    virtual void RequestDone() = 0;
    // The worker is done with the run; the window has nothing more to show.
    virtual void RunEnded() = 0;
};

// The parameter block handed to the worker; it only reads it.
struct SubmitJob {
    std::vector<std::string> addresses;
    std::string email;
    ConnectionSettings connection;
    SubmissionTimeouts timeouts;
    std::filesystem::path programFolder;
    // This run's engines (bit position - 1) in place of the stored engine flags; unset: the flags.
    std::optional<std::bitset<kEngineCount>> engines;
    // Set when the run includes IndexNow: after the engines, every address goes to it as well.
    std::optional<IndexNowSettings> indexNow;
    std::filesystem::path indexNowState; // "": beside the database
    std::filesystem::path historyFile;   // the run history; "": beside the database
};

// What a run did, for its front end's summary and exit code.
struct RunTally {
    std::size_t requests = 0;  // requests that ended, answered or not, IndexNow's included
    std::size_t failed = 0;    // of those, the ones marked failed
    bool cancelled = false;    // the stop flag was set before the run had ended
    std::size_t enginesOn = 0; // engines asked per address as the run began (IndexNow not counted)
    // "The history could not be written: ..." when the run could not be recorded; the run went on,
    // and its progress heard the text once as a status text.
    std::string historyError;
};

// "Submitting Web Sites i/n".
std::string RunCaption(std::size_t index, std::size_t count);

// How many engines the job asks per address, as the engine flags (or the job's own choice) stand now.
std::size_t EnginesOn(const SubmitJob& job);

// The worker's whole life: submits (the engines, then IndexNow when the job includes it), reports the
// end of the run, then sets stop and finished. IndexNow reports as an engine named "IndexNow": one
// RequestAnswered per request, with the host's address and no RequestDone. Only the run writes the
// failure log: one record for each failed request that brought one back. Every request goes into the
// run history, IndexNow's once per address.
RunTally RunSubmissionWorker(const SubmitJob& job, SubmitProgress& progress, RunFlags& flags);

// IndexNow as a run of its own (the command line's indexnow submit): recorded in job.historyFile as a run
// of IndexNow unless job.history names another, its failures written to the failure log as an engine
// run's are; report hears everything else.
IndexNowSummary RunIndexNowAlone(const std::vector<std::string>& addresses, const IndexNowJob& job,
                                 IndexNowReport& report);

} // namespace sendwell
