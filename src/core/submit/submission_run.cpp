#include "core/submit/submission_run.h"

#include "core/results/answer_store.h"
#include "core/results/failure_log.h"
#include "core/submit/engine_catalogue.h"

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

bool EngineOn(const SubmitJob& job, const EngineEntry& engine) {
    return job.engines ? job.engines->test(static_cast<std::size_t>(engine.position - 1))
                       : EngineEnabled(engine);
}

} // namespace

std::string RunCaption(std::size_t index, std::size_t count) {
    return "Submitting Web Sites " + std::to_string(index) + "/" + std::to_string(count);
}

void RunSubmissionWorker(const SubmitJob& job, SubmitProgress& progress, RunFlags& flags) {
    const std::size_t count = job.addresses.size();
    const SubmissionContext context = ContextFor(job, progress, flags);

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
            if (EngineOn(job, engine)) {
                progress.EngineStarted(std::string(engine.displayName));
                EngineRequest request = BuildEngineRequest(engine, address, job.email);
                if (!flags.stop.load()) {
                    if (remakeStore) {
                        MakeAnswerStore(job.programFolder);
                    }
                    RequestOutcome outcome;
                    outcome.answerFile = NextAnswerFileName(address, engine.storeName, job.programFolder);
                    const SubmitMethod method = request.method;
                    const std::uint64_t failuresBefore = FailureRecordCount();
                    outcome.result =
                        SendSubmission(MakeSubmissionRequest(request, outcome.answerFile), context);
                    progress.SetStatusText(outcome.result);
                    outcome.failed = FailureRecordCount() != failuresBefore ||
                                     (method == SubmitMethod::Plain && outcome.result != kResultOk);
                    remakeStore = method == SubmitMethod::Plain && outcome.result != kResultOk;
                    outcome.address = address;
                    outcome.engine = engine.position;
                    outcome.engineName = std::string(engine.displayName);
                    progress.RequestAnswered(outcome);
                }
            }
            if (!flags.stop.load()) {
                progress.RequestDone();
            }
        }
        ++index;
    }

    progress.RunEnded();
    flags.stop.store(true);
    flags.finished.store(true);
}

} // namespace sendwell
