#include "core/submit/submission_run.h"

#include "core/results/answer_store.h"
#include "core/submit/engine_catalogue.h"

namespace sendwell {

namespace {

// Sends the request's status texts to the progress window while the worker owns the request.
SubmissionContext ContextFor(const SubmitJob& job, SubmitProgress& progress) {
    SubmissionContext context;
    context.programFolder = job.programFolder;
    context.connection = job.connection;
    context.status = &progress;
    context.timeouts = job.timeouts;
    return context;
}

} // namespace

std::string RunCaption(std::size_t index, std::size_t count) {
    return "Submitting Web Sites " + std::to_string(index) + "/" + std::to_string(count);
}

void RunSubmissionWorker(const SubmitJob& job, SubmitProgress& progress, RunFlags& flags) {
    const std::size_t count = job.addresses.size();
    const SubmissionContext context = ContextFor(job, progress);

    progress.RunStarted(count, kEngineCount);

    std::size_t index = 1;
    for (const std::string& address : job.addresses) {
        if (flags.stop.load()) {
            break;
        }
        progress.AddressStarted(index, count, address);
        for (const EngineEntry& engine : EngineCatalogue()) {
            if (EngineEnabled(engine)) {
                progress.EngineStarted(std::string(engine.displayName));
                EngineRequest request = BuildEngineRequest(engine, address, job.email);
                if (!flags.stop.load()) {
                    std::string answerFile = NameAnswerFile(address, engine.storeName, job.programFolder);
                    std::string result =
                        SendSubmission(MakeSubmissionRequest(request, std::move(answerFile)), context);
                    progress.SetStatusText(result);
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
