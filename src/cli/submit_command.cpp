// The submit command: one submission run through the same flow as the window's Submit All and Submit,
// with stderr for the message boxes, no sounds, a terminal progress line for the progress window, and
// the answers kept or cleared for the review.
#include "cli/command.h"
#include "cli/database_access.h"
#include "cli/engine_names.h"
#include "cli/interrupt.h"
#include "cli/submit_exit.h"
#include "cli/terminal_progress.h"
#include "cli/terminal_prompt.h"
#include "core/base/dates.h"
#include "core/base/paths.h"
#include "core/base/program_settings.h"
#include "core/indexnow/indexnow_settings.h"
#include "core/results/answer_store.h"
#include "core/submit/submission_settings.h"
#include "core/submit/submit_commands.h"
#include "core/submit/submit_flow.h"
#include "core/urldb/url_database.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <atomic>
#include <ctime>
#include <nlohmann/json.hpp>
#include <optional>

namespace sendwell::cli {

namespace {

// The progress window's part: every request's result on stdout, the progress line on a terminal.
class RunReport final : public SubmitProgress {
public:
    RunReport(Output& output, std::size_t enginesOn)
        : output_(output), progress_(output.err(), TerminalProgress::StderrIsTerminal()),
          enginesOn_(enginesOn) {}

    std::size_t total() const { return total_; }

    void RunStarted(std::size_t addressCount, int) override {
        total_ = addressCount * enginesOn_;
        progress_.SetSteps(0, total_);
    }
    void AddressStarted(std::size_t, std::size_t, const std::string& address) override { address_ = address; }
    void EngineStarted(const std::string& displayName) override {
        progress_.SetStatusText(displayName + "  " + address_);
    }
    // The status line's texts ("Read n bytes", ...) are too busy for a log; the result comes below.
    void SetStatusText(const std::string&) override {}
    void RequestAnswered(const RequestOutcome& outcome) override {
        ++requests_;
        progress_.Clear();
        if (output_.json()) {
            output_.PrintJson({{"address", outcome.address},
                               {"engine", outcome.engineName},
                               {"engine_number", outcome.engine},
                               {"result", outcome.result},
                               {"failed", outcome.failed},
                               {"answer_file", outcome.answerFile},
                               {"time", UtcTimeText()}});
        } else {
            // A form post says nothing of itself; the failure log tells whether it failed.
            const std::string shown = !outcome.result.empty() ? outcome.result
                                      : outcome.failed ? "failed (see " + std::string(kFailureLogName) + ")"
                                                       : "sent";
            output_.out() << outcome.address << "  " << outcome.engineName << "  " << shown << "\n"
                          << std::flush;
        }
        progress_.SetSteps(requests_, total_);
    }
    void RequestDone() override {}
    void RunEnded() override { progress_.Clear(); }

private:
    Output& output_;
    TerminalProgress progress_;
    std::size_t enginesOn_;
    std::size_t total_ = 0;
    std::size_t requests_ = 0;
    std::string address_;
};

class SubmitCommand final : public Command,
                            private SubmitSource,
                            private RunSounds,
                            private SubmitSettings,
                            private SubmissionLauncher,
                            private RunReview {
public:
    void Define(CLI::App& command) override {
        command.add_flag("--all", all_, "Submit every address of the URL database (as Submit All)");
        command.add_option("URL", targets_,
                           "Submit only these rows (as Submit): addresses or row numbers, #N or N");
        command.add_option(
            "--engines", engineList_,
            "This run's engines instead of the engine flags: names or numbers, comma-separated");
        CLI::Option* keep = command.add_flag("--keep-answers", keep_,
                                             "Keep the answers and the failure log for reading (default)");
        command.add_flag("--clear-answers", clear_, "Delete the answers and the failure log after the run")
            ->excludes(keep);
        command.footer(
            "Each request's result goes to stdout (--json: one line per request); a progress line goes to "
            "stderr when it is a terminal. A run first deletes the answers of the last one, as the window "
            "does when it starts, and keeps its own in submitok/ of the working directory. Ctrl+C cancels "
            "after the request in progress, and the rows of the run are still marked as submitted.");
    }

    int Run(Output& output) override {
        RequireAllOrAddresses(all_, targets_, "submit");
        if (!engineList_.empty()) {
            std::vector<std::string> names;
            for (std::size_t start = 0; start <= engineList_.size();) {
                const std::size_t comma = std::min(engineList_.find(',', start), engineList_.size());
                names.push_back(engineList_.substr(start, comma - start));
                start = comma + 1;
            }
            engines_ = EnginesNamed(names);
        }
        output_ = &output;
        TerminalPrompt prompt(output);
        DatabaseAccess access(DatabaseAccess::Mode::Write);
        access_ = &access;
        programFolder_ = ProgramFolder();

        SubmitFlow flow({*this, prompt, *this, *this, *this, *this});
        const SubmitResult result =
            all_ ? flow.SubmitAll() : flow.SubmitRows(RowsNamed(access.db(), targets_, false));
        if (result.ran()) {
            PrintSummary(result.run);
            access.Save();
        }
        return SubmitExitCode(result);
    }

private:
    // SubmitSource: the command line has no fields of its own.
    void TakeFields() override {}
    const UrlDatabase& Database() const override { return access_->db(); }
    void MarkAllSubmitted(std::string_view today) override {
        for (std::size_t row = 0; row < access_->db().recordCount(); ++row) {
            access_->db().MarkSubmitted(row, today);
        }
    }
    void MarkSubmittedAddresses(const std::vector<std::string>& addresses, std::string_view today) override {
        access_->db().MarkSubmittedAddresses(addresses, today);
    }

    void Play(RunSound) override {}

    RunSettings Current() const override {
        return {ProgramSettings().Connection(), programFolder_, ReadSubmissionLimits(), IndexNowForRuns()};
    }
    bool FirstTimeNoticeDue() const override { return sendwell::FirstTimeNoticeDue(); }
    void RecordFirstTimeNoticeShown() override { sendwell::RecordFirstTimeNoticeShown(); }

    RunTally RunAndWait(const SubmitJob& given) override {
        SubmitJob job = given;
        if (engines_) {
            job.engines = engines_;
        }
        // Each run is a session of its own: the answers of the last one go, as when the window starts.
        ClearAnswerStoreAtStartup(job.programFolder);
        report_.emplace(*output_, EnginesOn(job));
        RunFlags flags;
        InterruptScope interrupt(flags.stop);
        return RunSubmissionWorker(job, *report_, flags);
    }
    void ShowRunInProgress() override {}

    // RunReview: the review's OK clears the store; closing it keeps everything.
    void Open(const std::filesystem::path& programFolder) override {
        if (clear_) {
            ClearAnswerStore(programFolder);
        }
    }

    void PrintSummary(const RunTally& run) const {
        std::ostream& err = output_->err();
        if (run.cancelled) {
            err << "Cancelled after " << run.requests << " of " << (report_ ? report_->total() : 0)
                << " requests; the addresses of the run are marked as submitted.\n";
        } else {
            err << "Submission complete: " << run.requests << " requests";
            if (run.failed > 0) {
                err << ", " << run.failed << " failed (details in " << FailureLogPath(programFolder_).string()
                    << ")";
            }
            err << ".\n";
        }
        if (clear_) {
            err << "The answers and the failure log were cleared.\n";
        } else if (run.requests > 0) {
            err << "Answers are in " << AnswerStorePath(programFolder_).string() << ".\n";
        }
    }

    bool all_ = false;
    bool keep_ = false; // the default; the option is there to say so in a script
    bool clear_ = false;
    std::vector<std::string> targets_;
    std::string engineList_;
    std::optional<std::bitset<kEngineCount>> engines_;

    Output* output_ = nullptr;
    DatabaseAccess* access_ = nullptr;
    std::filesystem::path programFolder_;
    std::optional<RunReport> report_;
};

} // namespace

int SubmitExitCode(const SubmitResult& result) {
    if (!result.ran()) {
        return kExitUsage; // a check refused the run and said why
    }
    if (result.run.cancelled) {
        return kExitCancelled;
    }
    return result.run.failed > 0 || !result.error.empty() ? kExitSomeFailed : kExitDone;
}

std::unique_ptr<Command> MakeSubmitCommand() {
    return std::make_unique<SubmitCommand>();
}

} // namespace sendwell::cli
