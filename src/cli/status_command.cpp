// The status command: many addresses checked at once, each reported with the Ping's code and words, the
// time it took and where its redirects ended; as text, one JSON document, CSV, JUnit XML or Markdown.
#include "cli/command.h"
#include "cli/database_access.h"
#include "cli/interrupt.h"
#include "cli/terminal_progress.h"
#include "core/base/program_settings.h"
#include "core/base/report_table.h"
#include "core/history/status_history.h"
#include "core/web/status_run.h"

#include <CLI/CLI.hpp>
#include <atomic>
#include <optional>

namespace sendwell::cli {

namespace {

// "http://a.test  404  Request Error: Requested URL not found  12 ms", then "  -> <address>" when
// redirects led elsewhere.
std::string RowLine(const StatusRow& row) {
    std::string line = row.address + "  " + std::to_string(row.code) + "  " + row.text + "  " +
                       std::to_string(row.time.count()) + " ms";
    if (!row.finalUrl.empty()) {
        line += "  -> " + row.finalUrl;
    }
    return line;
}

class StatusCommand final : public Command {
public:
    void Define(CLI::App& command) override {
        command.add_flag("--all", all_, "Check every address of the URL database");
        command.add_option("URL", targets_,
                           "Addresses to check, or row numbers of the URL database (#N or N)");
        command.add_option("--format", format_, "Write the results as csv, junit or markdown (or json)")
            ->check(CLI::IsMember({"json", "csv", "junit", "markdown"}));
        AddFetchLimitOptions(command, setup_.concurrency, setup_.perHost);
        command.footer(
            "Each address gets a GET that reads no body and follows up to 10 redirects; a 429 or 503 is "
            "tried again when the server asks for it. One line per address on stdout, in the order "
            "given: the address, the code of the final answer (-1 for none), its words as Ping gives "
            "them, the time taken and, when redirected, '-> ' and the final address. --json or --format "
            "give the whole result as one document instead. Exit code 1 when any address answered "
            "with an error (4xx, 5xx) or not at all.");
    }

    int Run(Output& output) override {
        RequireAllOrAddresses(all_, targets_, "check");
        const std::optional<ReportFormat> format =
            ChosenFormat(output, format_, ReportFormatNamed, ReportFormat::Json);
        const std::vector<std::string> addresses = AddressesNamed(targets_, all_);

        std::atomic<bool> stop{false};
        setup_.connection = ProgramSettings().Connection();
        setup_.stop = &stop;
        TerminalProgress progress(output.err(), TerminalProgress::StderrIsTerminal());
        // Rows come as they complete; text lines go out in the order given, each once those before it
        // are in.
        std::vector<std::optional<StatusRow>> rows(addresses.size());
        std::size_t printed = 0;
        std::size_t done = 0;
        StatusRunSummary summary;
        {
            InterruptScope interrupt(stop);
            progress.SetSteps(0, addresses.size());
            const RecordedStatusCheck recorded =
                RunRecordedStatusCheck(addresses, setup_, [&](std::size_t index, StatusRow&& row) {
                    rows[index] = std::move(row);
                    ++done;
                    if (!format) {
                        progress.Clear();
                        for (; printed < rows.size() && rows[printed]; ++printed) {
                            output.out() << RowLine(*rows[printed]) << "\n";
                        }
                        output.out().flush();
                    }
                    progress.SetStatusText(rows[index]->address);
                    progress.SetSteps(done, addresses.size());
                });
            progress.Clear();
            summary = recorded.summary;
            if (!recorded.historyError.empty()) {
                output.Message(recorded.historyError);
            }
        }

        std::vector<StatusRow> checked;
        for (std::size_t i = 0; i < rows.size(); ++i) {
            if (rows[i]) {
                // After a cancel, rows that came behind one never checked still go out.
                if (!format && i >= printed) {
                    output.out() << RowLine(*rows[i]) << "\n";
                }
                checked.push_back(std::move(*rows[i]));
            }
        }
        if (format) {
            output.out() << WriteReport(StatusReport(checked), *format);
            if (*format == ReportFormat::Json) {
                output.out() << "\n";
            }
        }
        output.out().flush();
        if (WasInterrupted() || summary.cancelled) {
            return kExitCancelled;
        }
        return summary.failed == 0 ? kExitDone : kExitSomeFailed;
    }

private:
    bool all_ = false;
    std::vector<std::string> targets_;
    std::string format_;
    StatusRunSetup setup_;
};

} // namespace

std::unique_ptr<Command> MakeStatusCommand() {
    return std::make_unique<StatusCommand>();
}

} // namespace sendwell::cli
