#include "core/submit/submission_run.h"

#include "core/base/paths.h"
#include "core/base/program_settings.h"
#include "core/history/history_store.h"
#include "core/indexnow/content_state.h"
#include "core/indexnow/indexnow_submit.h"
#include "core/results/answer_store.h"
#include "core/submit/answer_text.h"
#include "core/submit/engine_catalogue.h"
#include "core/web/url_parts.h"
#include "core/web/user_agent.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <memory>
#include <system_error>

namespace sendwell {

namespace {

constexpr int kMaxRedirects = 5;

struct FileCloser {
    void operator()(std::FILE* f) const noexcept { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

void Report(Progress* status, const std::string& text) {
    if (status != nullptr) {
        status->SetStatusText(text);
    }
}

std::string Truncated(std::string text) {
    if (text.size() > kMaxErrorText) {
        text.resize(kMaxErrorText);
    }
    return text;
}

std::string FileErrorText(std::string_view action, const std::string& path, int error) {
    return "Cannot " + std::string(action) + " the answer file " + path + ": " +
           std::error_code(error, std::generic_category()).message();
}

// Writes an answer to its file as it arrives: line feeds dropped (plain requests, which read the answer
// line by line), scripts disabled, the error-page check kept up to date, progress reported.
class AnswerFileWriter final : public BodySink {
public:
    enum class Mode { Lines, Whole };

    // path must outlive the writer.
    AnswerFileWriter(const std::string& path, Mode mode, Progress* status)
        : path_(path), mode_(mode), status_(status) {}

    bool Write(std::string_view bytes) override {
        if (failed_) {
            return false;
        }
        // Scratch space of the thread, kept from piece to piece and request to request.
        thread_local std::string stripped; // the piece without its line feeds
        thread_local std::string out;      // the piece as it goes to the file
        std::string_view text = bytes;
        if (mode_ == Mode::Lines) {
            if (bytes.find('\n') != std::string_view::npos) {
                stripped.clear();
                for (std::size_t lf = bytes.find('\n'); lf != std::string_view::npos; lf = bytes.find('\n')) {
                    stripped.append(bytes.substr(0, lf));
                    bytes.remove_prefix(lf + 1);
                }
                stripped.append(bytes);
                text = stripped;
            }
            read_ += text.size();
        } else {
            markers_.Feed(bytes); // a form answer is checked as received
        }
        out.clear();
        scripts_.Feed(text, out);
        bool ok = Emit(out);
        // One text per piece received rather than per line: the count ends the same, and a long page
        // does not flood the status line.
        if (mode_ == Mode::Lines && !text.empty()) {
            Report(status_, "Read " + std::to_string(read_) + " bytes");
        }
        return ok;
    }

    std::string failureText() const override { return failure_; }
    bool failed() const { return failed_; }

    // Flushes what is held back, closes the file, then replaces an error-looking answer by the short
    // notice. A form answer also gets its closing line break. With createMissing the file is made even
    // when no byte arrived. False when the file could not be written.
    bool Finish(bool createMissing) {
        std::string out;
        scripts_.Finish(out);
        Emit(out);
        if (!failed_ && mode_ == Mode::Whole) {
            Emit("\r\n");
        }
        if (!failed_ && !file_ && createMissing) {
            Open();
        }
        if (file_) {
            bool flushed = std::fflush(file_.get()) == 0;
            int error = errno;
            file_.reset();
            if (!flushed && !failed_) {
                Fail(FileErrorText("write", path_, error));
            }
        }
        if (markers_.found()) {
            FilePtr replace(std::fopen(path_.c_str(), "wb"));
            if (replace) {
                std::fwrite(kReplacementPage.data(), 1, kReplacementPage.size(), replace.get());
            }
        }
        return !failed_;
    }

private:
    bool Emit(std::string_view out) {
        if (mode_ == Mode::Lines) {
            markers_.Feed(out);
        }
        if (out.empty() || failed_) {
            return !failed_;
        }
        if (!file_ && !Open()) {
            return false;
        }
        if (std::fwrite(out.data(), 1, out.size(), file_.get()) != out.size()) {
            Fail(FileErrorText("write", path_, errno));
            return false;
        }
        return true;
    }

    bool Open() {
        file_.reset(std::fopen(path_.c_str(), "wb"));
        if (!file_) {
            Fail(FileErrorText("create", path_, errno));
            return false;
        }
        return true;
    }

    void Fail(std::string text) {
        failed_ = true;
        failure_ = std::move(text);
    }

    const std::string& path_;
    Mode mode_;
    Progress* status_;
    FilePtr file_;
    ScriptDisabler scripts_;
    ErrorMarkerScan markers_;
    std::uint64_t read_ = 0;
    bool failed_ = false;
    std::string failure_;
};

// The limits of a submission request as libcurl knows them. The send and the two receive time-outs have
// no libcurl counterpart of their own: the longest of them becomes the stall limit.
TransferLimits LimitsFor(const SubmissionTimeouts& timeouts) {
    TransferLimits limits;
    limits.connect = std::max(std::chrono::milliseconds(1), timeouts.connect);
    auto dataTimeout = std::max({timeouts.send, timeouts.receive, timeouts.dataReceive});
    limits.stall = std::chrono::seconds((std::max<std::int64_t>(1, dataTimeout.count()) + 999) / 1000);
    limits.connectBackoff = timeouts.connectBackoff;
    limits.connectRetries = timeouts.connectRetries;
    limits.total = timeouts.total;
    limits.maxBody = timeouts.maxAnswerBytes;
    limits.cancelGrace = timeouts.cancelGrace;
    return limits;
}

Outcome PlainFailure(const SubmissionRequest& request, const SubmissionContext& context,
                     const std::string& message) {
    int bufSize = std::min(context.connection.bufSize, kMaxLoggedBufSize);
    return Outcome::Failed(message, {message, "The URL was " + request.address,
                                     "The Filename was " + request.answerFile,
                                     "The BufSize was " + std::to_string(bufSize)});
}

Outcome SendPlain(const SubmissionRequest& request, const SubmissionContext& context) {
    const std::string& wire = request.wireAddress.empty() ? request.address : request.wireAddress;
    Report(context.status, "Connecting");

    std::string_view referrer = request.referrer.empty() ? SiteRootOf(request.address) : request.referrer;
    referrer = referrer.substr(0, std::min(referrer.find('\r'), referrer.find('\n')));
    TransferSetup setup;
    setup.connection = context.connection;
    setup.limits = LimitsFor(context.timeouts);
    setup.stop = context.stop;
    setup.getHeaders = PlainSubmissionHeaders(referrer);
    setup.pathAsIs = true; // the user's text goes out as typed
    setup.redirects = RedirectRule::BrowserFailingPastLimit(kMaxRedirects);

    AnswerFileWriter writer(request.answerFile, AnswerFileWriter::Mode::Lines, context.status);
    std::string failure;
    bool cancelled = false;
    int status = 0;
    {
        HttpTransfer transfer(std::move(setup));
        if (!transfer.ready()) {
            return Outcome::Failed(std::string(kResultNoSession));
        }
        TransferRequest get;
        get.url = wire;
        get.sink = &writer;
        TransferResult result = transfer.Perform(get);
        if (!result.ok()) {
            failure = result.error;
            cancelled = result.cancelled;
        }
        status = result.status;
    }

    // An answer file exists only when the answer arrived, or began to.
    if (!writer.Finish(failure.empty()) && failure.empty()) {
        failure = writer.failureText();
    }
    Outcome outcome = failure.empty() ? Outcome::Succeeded(std::string(kResultOk))
                                      : PlainFailure(request, context, Truncated(std::move(failure)));
    if (cancelled) {
        outcome.end = Outcome::End::Cancelled;
    }
    outcome.httpStatus = status;
    return outcome;
}

Outcome SendFormPost(const SubmissionRequest& request, const SubmissionContext& context) {
    const std::string& wire = request.wireAddress.empty() ? request.address : request.wireAddress;
    ObjectAndQuery split = SplitObjectAndQuery(wire);
    std::string host;
    int port = 80;
    FormPostServer(wire, host, port);

    AnswerFileWriter writer(request.answerFile, AnswerFileWriter::Mode::Whole, context.status);
    Outcome outcome =
        PostForm(host, port, split.objectPath, request.extraObjectQuery, split.query, writer, context);
    bool failedInTransfer = writer.failed(); // the post's outcome already says so
    if (!writer.Finish(true) && !failedInTransfer && outcome.ok()) {
        outcome = Outcome::Failed({}, {Truncated(writer.failureText()), "The server was " + host,
                                       "The process was " + split.objectPath});
    }
    outcome.text.clear(); // a form post has no result text: the failure log says what went wrong
    return outcome;
}

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

// IndexNow's failures written to the failure log as a run writes an engine's, everything passed on.
class IndexNowFailureLog : public IndexNowReport {
public:
    IndexNowFailureLog(std::filesystem::path programFolder, IndexNowReport* next)
        : programFolder_(std::move(programFolder)), next_(next) {}
    void SetStatusText(const std::string& text) override {
        if (next_ != nullptr) {
            next_->SetStatusText(text);
        }
    }
    void Answered(const IndexNowAnswer& answer) override {
        AppendFailureRecord(programFolder_, answer.outcome.failureLines);
        if (next_ != nullptr) {
            next_->Answered(answer);
        }
    }
    void StateUnreadable(const Outcome& failure) override {
        AppendFailureRecord(programFolder_, failure.failureLines);
        if (next_ != nullptr) {
            next_->StateUnreadable(failure);
        }
    }

private:
    std::filesystem::path programFolder_;
    IndexNowReport* next_;
};

// IndexNow's requests as the progress window hears an engine's.
class IndexNowProgress final : public IndexNowFailureLog {
public:
    IndexNowProgress(const std::filesystem::path& programFolder, SubmitProgress& progress, RunTally& tally)
        : IndexNowFailureLog(programFolder, nullptr), progress_(progress), tally_(tally) {}
    void SetStatusText(const std::string& text) override { progress_.SetStatusText(text); }
    void Answered(const IndexNowAnswer& answer) override {
        IndexNowFailureLog::Answered(answer);
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
    IndexNowProgress report(job.programFolder, progress, tally);
    return SubmitToIndexNow(job.addresses, indexNow, report).recorded;
}

} // namespace

// libcurl would add Proxy-Connection when talking through a proxy; the request carries ours only.
HeaderLineList PlainSubmissionHeaders(std::string_view referrer) {
    const std::string referer = "Referer: " + std::string(referrer);
    return {"Accept: text/*", kUserAgentHeader, referer, "Expect:", "Proxy-Connection:"};
}

// libcurl's own Accept, Expect, Content-Type and (through an environment proxy) Proxy-Connection give way
// to exactly these lines.
HeaderLineList FormPostHeaders() {
    return {"Accept:",
            kUserAgentHeader,
            "Accept-Language: en-us",
            "Content-type: application/x-www-form-urlencoded",
            "Expect:",
            "Proxy-Connection:"};
}

// A redirected form request that lost its body sends the lines of a form request without one.
HeaderLineList FormRedirectHeaders() {
    return {"Accept: text/*", kUserAgentHeader, "Accept-Language: en-us", "Expect:", "Proxy-Connection:"};
}

SubmissionRequest MakeSubmissionRequest(EngineRequest engineRequest, std::string answerFile) {
    SubmissionRequest r;
    r.address = std::move(engineRequest.address);
    r.wireAddress = std::move(engineRequest.wireAddress);
    r.method = engineRequest.method;
    r.answerFile = std::move(answerFile);
    return r;
}

Outcome SendSubmission(const SubmissionRequest& request, const SubmissionContext& context) {
    return request.method == SubmitMethod::FormPost ? SendFormPost(request, context)
                                                    : SendPlain(request, context);
}

Outcome PostForm(const std::string& host, int port, const std::string& objectPath,
                 const std::string& extraObjectQuery, const std::string& body, BodySink& sink,
                 const SubmissionContext& context) {
    std::string object = objectPath;
    if (!extraObjectQuery.empty()) {
        object += "?" + extraObjectQuery;
    }
    auto failure = [&](const std::string& message) {
        std::string text = Truncated(message);
        return Outcome::Failed(text, {text, "The server was " + host, "The process was " + objectPath});
    };
    if (std::string bad = UnsendableText("server name", host); !bad.empty()) {
        return failure(bad);
    }
    if (std::string bad = UnsendableText("object path", object); !bad.empty()) {
        return failure(bad);
    }

    TransferSetup setup; // no proxy of its own: libcurl may still take one from the environment
    setup.limits = LimitsFor(context.timeouts);
    setup.stop = context.stop;
    setup.postHeaders = FormPostHeaders();
    setup.getHeaders = FormRedirectHeaders();
    setup.httpVersion = HttpVersion::Http10;
    setup.pathAsIs = true;
    // A server that answers the form with a redirect is followed the way a browser does: 301, 302 and
    // 303 become a GET of the new place without the body, 307 and 308 repeat the request there.
    setup.redirects = RedirectRule::BrowserFailingPastLimit(kMaxRedirects);
    // The form post shows the library's own progress.
    setup.progress = context.status;
    HttpTransfer transfer(std::move(setup));
    if (!transfer.ready()) {
        return failure("Cannot open the Internet connection.");
    }

    std::string hostPart = host.find(':') != std::string::npos ? "[" + host + "]" : host;
    TransferRequest request;
    request.url = "http://" + hostPart + ":" + std::to_string(port) + object;
    if (!body.empty()) {
        request.postBody = body;
    }
    request.sink = &sink;
    TransferResult result = transfer.Perform(request);
    Outcome outcome = result.ok() ? Outcome::Succeeded() : failure(result.error);
    if (result.cancelled) {
        outcome.end = Outcome::End::Cancelled;
    }
    outcome.httpStatus = result.status;
    return outcome;
}

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

IndexNowSummary RunIndexNowAlone(const std::vector<std::string>& addresses, const IndexNowJob& given,
                                 IndexNowReport& report) {
    IndexNowFailureLog logged(given.programFolder, &report);
    // A refused submission sends nothing and leaves no run in the history.
    if (given.history != nullptr || given.historyFile.empty() || !IndexNowRefusal(given.settings).empty()) {
        return SubmitToIndexNow(addresses, given, logged);
    }
    IndexNowJob job = given;
    HistoryRecorder history(job.historyFile, RunKind::IndexNow, NowSeconds());
    job.history = &history;
    IndexNowSummary summary = SubmitToIndexNow(addresses, job, logged);
    if (const Outcome written = history.Finish(NowSeconds(), summary.stopped, summary.recorded);
        !written.ok()) {
        summary.historyError = written.text;
        logged.SetStatusText(written.text);
    }
    return summary;
}

RunTally RunSubmissionWorker(const SubmitJob& job, SubmitProgress& progress, RunFlags& flags) {
    RunTally tally;
    tally.enginesOn = EnginesOn(job);
    const std::size_t count = job.addresses.size();
    const SubmissionContext context = ContextFor(job, progress, flags);
    const std::filesystem::path historyFile =
        job.historyFile.empty() ? DefaultHistoryPath() : job.historyFile;
    HistoryRecorder history(historyFile, RunKind::Engines, NowSeconds());
    RunCounts counts;

    progress.RunStarted(count, kEngineCount);

    // The answer folder is made before the first request; a request that went wrong (perhaps because
    // the folder went away) has it made again before the next one.
    bool remakeStore = true;
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
