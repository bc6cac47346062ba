// The audit command: a site crawled from its start addresses and sitemaps, every page checked, the
// findings written as text, one JSON document, CSV, JUnit XML, Markdown or HTML, to stdout or a file.
#include "cli/command.h"
#include "cli/database_access.h"
#include "cli/interrupt.h"
#include "cli/terminal_progress.h"
#include "core/audit/audit_history.h"
#include "core/audit/audit_report.h"
#include "core/audit/site_audit.h"
#include "core/base/atomic_file.h"
#include "core/base/program_settings.h"

#include <CLI/CLI.hpp>
#include <atomic>
#include <optional>

namespace sendwell::cli {

namespace {

class AuditCommand final : public Command {
public:
    void Define(CLI::App& command) override {
        command.add_flag("--all", all_, "Start from every address of the URL database");
        command.add_option("START", targets_,
                           "Addresses to start from, or row numbers of the URL database (#N or N)");
        command
            .add_option("--sitemap", setup_.sitemaps,
                        "A sitemap (address or file, .gz, index, or robots.txt) whose pages are audited "
                        "too; may be given more than once")
            ->allow_extra_args(false);
        command.add_option("--max-pages", setup_.maxPages, "Pages read at most (default 10000)")
            ->check(CLI::Range(std::size_t{1}, std::size_t{10000000}));
        command
            .add_option("--max-depth", setup_.maxDepth, "Clicks from a start followed at most (default 10)")
            ->check(CLI::Range(0, 1000));
        AddFetchLimitOptions(command, setup_.concurrency, setup_.perHost);
        command.add_flag("--external", setup_.external, "Also check that links to other sites answer");
        command.add_option("--format", format_, "text (default), json, csv, junit, markdown or html")
            ->check(CLI::IsMember({"text", "json", "csv", "junit", "markdown", "html"}));
        command.add_option("--output", output_, "Write the report to this file instead of stdout");
        command
            .add_option("--fail-on", failOn_, "Exit 1 when a finding is this severe or more (default error)")
            ->check(CLI::IsMember({"error", "warning", "notice", "never"}));
        command.footer(
            "Follows links within the start sites (http and https of a host are one site), obeying "
            "robots.txt; pages it disallows are reported, not fetched. Each site's robots.txt and sitemap "
            "are read too. The report lists every finding with its check id, severity, address and detail. "
            "Exit code 0 when nothing is at or above --fail-on, 1 when something is, 2 for a usage error "
            "or a start or sitemap that cannot be read, 3 when --output cannot be written (no half file is "
            "left), 130 when cancelled with Ctrl+C (the report then holds what was found by then).");
    }

    int Run(Output& output) override {
        if (all_ && !targets_.empty()) {
            throw CommandFailure(kExitUsage, "give either --all or the addresses to start from");
        }
        if (!all_ && targets_.empty() && setup_.sitemaps.empty()) {
            throw CommandFailure(kExitUsage, "give the addresses to start from, --all or --sitemap");
        }
        const AuditFormat format =
            ChosenFormat(output, format_, AuditFormatNamed, AuditFormat::Json).value_or(AuditFormat::Text);
        setup_.starts = AddressesNamed(targets_, all_);

        std::atomic<bool> stop{false};
        setup_.connection = ProgramSettings().Connection();
        setup_.stop = &stop;
        TerminalProgress progress(output.err(), TerminalProgress::StderrIsTerminal());
        setup_.progress = &progress;
        AuditReport report;
        {
            InterruptScope interrupt(stop);
            report = RunAudit(setup_);
            progress.Clear();
        }
        if (report.outcome.end == Outcome::End::Failed) {
            throw CommandFailure(kExitUsage, report.outcome.text);
        }
        // The history is a record beside the report: when it cannot be written the report still stands.
        if (const Outcome recorded = RecordAudit(report); !recorded.ok()) {
            output.Message(recorded.text);
        }

        const std::string text = WriteAuditReport(report, format);
        if (output_.empty()) {
            output.out() << text;
            output.out().flush();
        } else if (!ReplaceFileAtomically(output_, text)) {
            throw CommandFailure(kExitData, "cannot write " + output_);
        }
        if (WasInterrupted() || report.outcome.cancelled()) {
            return kExitCancelled;
        }
        const std::optional<Severity> bar = SeverityNamed(failOn_);
        return bar && CountAtLeast(report, *bar) > 0 ? kExitSomeFailed : kExitDone;
    }

private:
    bool all_ = false;
    std::vector<std::string> targets_;
    std::string format_;
    std::string output_;
    std::string failOn_ = "error";
    AuditSetup setup_;
};

} // namespace

std::unique_ptr<Command> MakeAuditCommand() {
    return std::make_unique<AuditCommand>();
}

} // namespace sendwell::cli
