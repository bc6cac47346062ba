#include "core/submit/submission_run.h"

#include "core/base/paths.h"
#include "core/base/program_settings.h"
#include "core/history/history_store.h"
#include "core/indexnow/content_state.h"
#include "core/indexnow/indexnow_submit.h"
#include "core/results/answer_store.h"
#include "core/results/failure_log.h"
#include "core/submit/engine_catalogue.h"

#include <chrono>
#include <ctime>

namespace sendwell {

namespace {

// Sends the request's status texts to the progress window while the worker owns the request.
SubmissionContext ContextFor(const SubmitJob& job, SubmitProgress& progress, const RunFlags& flags) {
    SubmissionContext context;
    context.programFolder = job.programFolder;
    context.connection = job.connection;
    context.status = &progress;
    context.timeouts = job.timeouts;
    context.stop = &flags.stop;
    return context;
}

bool EngineOn(const SubmitJob& job, const EngineEntry& engine, const ProgramSettings& settings) {
    return job.engines ? job.engines->test(static_cast<std::size_t>(engine.position - 1))
                       : EngineEnabled(engine, settings);
}

// IndexNow's requests as the progress window hears an engine's.
class IndexNowProgress final : public IndexNowReport {
public:
    IndexNowProgress(SubmitProgress& progress, RunTally& tally) : progress_(progress), tally_(tally) {}
    void SetStatusText(const std::string& text) override { progress_.SetStatusText(text); }
    void Answered(const IndexNowAnswer& answer) override {
        RequestOutcome outcome;
        outcome.address = "https://" + answer.host;
        outcome.engineName = std::string(kIndexNowStoreName);
        outcome.result = answer.outcome.text;
        outcome.answerFile = answer.answerFile;
        outcome.failed = !answer.outcome.ok();
        ++tally_.requests;
        tally_.failed += outcome.failed ? 1 : 0;
        progress_.RequestAnswered(outcome);
    }

private:
    SubmitProgress& progress_;
    RunTally& tally_;
};

std::int64_t NowSeconds() {
    return static_cast<std::int64_t>(std::time(nullptr));
}

RequestEnd EndOf(const Outcome& sent) {
    return sent.ok() ? RequestEnd::Accepted : sent.cancelled() ? RequestEnd::Cancelled : RequestEnd::Failed;
}

void Count(RunCounts& counts, RequestEnd end, std::int64_t requests = 1) {
    counts.requests += requests;
    counts.accepted += end == RequestEnd::Accepted ? requests : 0;
    counts.failed += end == RequestEnd::Failed ? requests : 0;
}

RunCounts RunIndexNow(const SubmitJob& job, SubmitProgress& progress, RunFlags& flags, RunTally& tally,
                      HistoryRecorder& history, const std::filesystem::path& historyFile) {
    IndexNowJob indexNow;
    indexNow.settings = *job.indexNow;
    indexNow.connection = job.connection;
    indexNow.limits.connect = job.timeouts.connect;
    indexNow.limits.connectBackoff = job.timeouts.connectBackoff;
    indexNow.limits.connectRetries = job.timeouts.connectRetries;
    indexNow.limits.total = job.timeouts.total;
    indexNow.limits.cancelGrace = job.timeouts.cancelGrace;
    indexNow.programFolder = job.programFolder;
    indexNow.statePath = job.indexNowState.empty() ? DefaultIndexNowStatePath() : job.indexNowState;
    indexNow.historyFile = historyFile;
    indexNow.force = !job.indexNow->changedOnly;
    indexNow.history = &history;
    indexNow.stop = &flags.stop;
    progress.EngineStarted(std::string(kIndexNowStoreName));
    IndexNowProgress report(progress, tally);
    return SubmitToIndexNow(job.addresses, indexNow, report).recorded;
}

} // namespace

std::string RunCaption(std::size_t index, std::size_t count) {
    return "Submitting Web Sites " + std::to_string(index) + "/" + std::to_string(count);
}

std::size_t EnginesOn(const SubmitJob& job) {
    const ProgramSettings settings;
    std::size_t on = 0;
    for (const EngineEntry& engine : EngineCatalogue()) {
        on += EngineOn(job, engine, settings) ? 1 : 0;
    }
    return on;
}

RunTally RunSubmissionWorker(const SubmitJob& job, SubmitProgress& progress, RunFlags& flags) {
    RunTally tally;
    const std::size_t count = job.addresses.size();
    const SubmissionContext context = ContextFor(job, progress, flags);
    const std::filesystem::path historyFile =
        job.historyFile.empty() ? DefaultHistoryPath() : job.historyFile;
    HistoryRecorder history(historyFile, RunKind::Engines, NowSeconds());
    RunCounts counts;

    progress.RunStarted(count, kEngineCount);

    // The answer folder is made once; a request that went wrong (perhaps because the folder went
    // away) has it made again before the next one.
    MakeAnswerStore(job.programFolder);
    bool remakeStore = false;
    std::size_t index = 1;
    for (const std::string& address : job.addresses) {
        if (flags.stop.load()) {
            break;
        }
        progress.AddressStarted(index, count, address);
        for (const EngineEntry& engine : EngineCatalogue()) {
            // Read afresh for every engine, so that a change made during the run counts from the next
            // one; the flag and the host come from the same look at the file.
            const ProgramSettings settings;
            if (EngineOn(job, engine, settings)) {
                progress.EngineStarted(std::string(engine.displayName));
                EngineRequest request = BuildEngineRequest(engine, address, job.email, settings);
                if (!flags.stop.load()) {
                    if (remakeStore) {
                        MakeAnswerStore(job.programFolder);
                    }
                    RequestOutcome outcome;
                    outcome.answerFile = NextAnswerFileName(address, engine.storeName, job.programFolder);
                    const SubmitMethod method = request.method;
                    const auto began = std::chrono::steady_clock::now();
                    const Outcome sent = SendSubmission(
                        MakeSubmissionRequest(std::move(request), outcome.answerFile), context);
                    const std::int64_t millis = std::chrono::duration_cast<std::chrono::milliseconds>(
                                                    std::chrono::steady_clock::now() - began)
                                                    .count();
                    const RequestEnd end = EndOf(sent);
                    history.Add({0, address, std::string(engine.displayName), end, sent.httpStatus, millis,
                                 outcome.answerFile, NowSeconds()});
                    Count(counts, end);
                    AppendFailureRecord(job.programFolder, sent.failureLines);
                    outcome.result = sent.text;
                    progress.SetStatusText(outcome.result);
                    outcome.failed = !sent.ok();
                    remakeStore = method == SubmitMethod::Plain && !sent.ok();
                    outcome.address = address;
                    outcome.engine = engine.position;
                    outcome.engineName = std::string(engine.displayName);
                    ++tally.requests;
                    tally.failed += outcome.failed ? 1 : 0;
                    progress.RequestAnswered(outcome);
                }
            }
            if (!flags.stop.load()) {
                progress.RequestDone();
            }
        }
        ++index;
    }
    if (job.indexNow && !flags.stop.load()) {
        const RunCounts sent = RunIndexNow(job, progress, flags, tally, history, historyFile);
        counts.requests += sent.requests;
        counts.accepted += sent.accepted;
        counts.failed += sent.failed;
    }

    tally.cancelled = flags.stop.load();
    if (const Outcome written = history.Finish(NowSeconds(), tally.cancelled, counts); !written.ok()) {
        tally.historyError = written.text;
        progress.SetStatusText(written.text);
    }
    progress.RunEnded();
    flags.stop.store(true);
    flags.finished.store(true);
    return tally;
}

} // namespace sendwell
