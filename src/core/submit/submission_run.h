// The submission run: every address of a list to every enabled engine of the catalogue, in order, on
// a worker thread that reports to the progress window through SubmitProgress.
#pragma once

#include "core/base/progress.h"
#include "core/indexnow/indexnow_settings.h"
#include "core/submit/submission.h"

#include <atomic>
#include <bitset>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace sendwell {

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
    std::size_t requests = 0; // requests that ended, answered or not, IndexNow's included
    std::size_t failed = 0;   // of those, the ones marked failed
    bool cancelled = false;   // the stop flag was set before the run had ended
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

} // namespace sendwell
