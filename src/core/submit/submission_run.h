// The submission run: every address of a list to every enabled engine of the catalogue, in order, on
// a worker thread that reports to the progress window through SubmitProgress.
#pragma once

#include "core/submit/submission.h"
#include "core/web/status_sink.h"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace sendwell {

// Shared by the UI thread and the worker. The worker tests stop before each address and each request;
// it sets both flags when it ends, finished last, and touches neither the progress nor the job after.
struct RunFlags {
    std::atomic<bool> stop{false};
    std::atomic<bool> finished{false};
};

// What the worker tells the progress window. Called on the worker thread; a GUI implementation queues
// each call to the UI thread. The status line is the StatusSink part (request progress and results).
class SubmitProgress : public StatusSink {
public:
    virtual void SetAddressCount(int count) = 0;
    virtual void SetCurrentRange(int maximum) = 0;
    virtual void SetTotalRange(std::int64_t maximum) = 0;
    virtual void StartAnimation() = 0;
    virtual void ShowWindow(bool visible) = 0;
    virtual void SetCaption(const std::string& caption) = 0;
    virtual void SetAddress(const std::string& address) = 0;
    virtual void SetCurrentPosition(int position) = 0;
    virtual void SetEngine(const std::string& displayName) = 0;
    virtual void Step() = 0; // both bars by one
};

// The parameter block handed to the worker; it only reads it.
struct SubmitJob {
    std::vector<std::string> addresses;
    std::string email;
    ConnectionSettings connection;
    SubmissionTimeouts timeouts;
    std::filesystem::path programFolder;
};

// "Submitting Web Sites i/n".
std::string RunCaption(std::size_t index, std::size_t count);

// The worker's whole life: submits, then hides the window and sets stop and finished.
void RunSubmissionWorker(const SubmitJob& job, SubmitProgress& progress, RunFlags& flags);

} // namespace sendwell
