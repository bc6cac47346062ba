#include "core/submit/submission_run.h"

#include "core/results/answer_store.h"
#include "core/submit/engine_catalogue.h"

namespace sendwell {

namespace {

// Sends the request's status texts to the progress window while the worker owns the request.
SubmissionContext ContextFor(const SubmitJob& job, SubmitProgress& progress) {
    SubmissionContext context;
    context.programFolder = job.programFolder;
    context.bufSize = job.bufSize;
    context.status = &progress;
    context.proxy = job.proxy;
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

    progress.SetAddressCount(static_cast<int>(count));
    progress.SetCurrentRange(kEngineCount);
    progress.SetTotalRange(static_cast<std::int64_t>(kEngineCount) * static_cast<std::int64_t>(count));
    progress.StartAnimation();
    progress.ShowWindow(true);

    // The answer folder is made once; a request that went wrong (perhaps because the folder went
    // away) has it made again before the next one.
    MakeAnswerStore(job.programFolder);
    bool remakeStore = false;
    std::size_t index = 1;
    for (const std::string& address : job.addresses) {
        if (flags.stop.load()) {
            break;
        }
        progress.SetAddress(address);
        progress.SetCurrentPosition(0);
        progress.SetCaption(RunCaption(index, count));
        for (const EngineEntry& engine : EngineCatalogue()) {
            if (EngineEnabled(engine)) {
                progress.SetEngine(std::string(engine.displayName));
                EngineRequest request = BuildEngineRequest(engine, address, job.email);
                if (!flags.stop.load()) {
                    if (remakeStore) {
                        MakeAnswerStore(job.programFolder);
                    }
                    std::string answerFile = NextAnswerFileName(address, engine.storeName, job.programFolder);
                    std::string result =
                        SendSubmission(MakeSubmissionRequest(request, std::move(answerFile)), context);
                    remakeStore = request.method == SubmitMethod::Plain && result != kResultOk;
                    progress.SetStatusText(result);
                }
            }
            if (!flags.stop.load()) {
                progress.Step();
            }
        }
        ++index;
    }

    progress.ShowWindow(false);
    flags.stop.store(true);
    flags.finished.store(true);
}

} // namespace sendwell
