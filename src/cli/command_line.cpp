#include "cli/command.h"
#include "core/base/program_version.h"

#include <CLI/CLI.hpp>
#include <exception>
#include <new>
#include <nlohmann/json.hpp>
#include <utility>
#include <vector>

namespace sendwell::cli {

namespace {

constexpr const char* kDescription =
    "The URL database and the search-engine submission of Sendwell! Pro without a window, for cron jobs, "
    "pipelines and machines without a display. It works on the same files as the window (the URL "
    "database $XDG_DATA_HOME/Sendwell/linkroll2.dat, the settings $XDG_CONFIG_HOME/Linkcaster!.conf) "
    "and runs the same submission.";

constexpr const char* kFooter =
    "Results go to stdout (text, or JSON with --json: one document, or one line per request for "
    "submit); messages and the progress line of submit go to stderr.\n\n"
    "Commands that change the URL database fail with exit code 3 while the window has it open; list, "
    "status, audit, sitemap export and email without an address work at any time.\n\n"
    "Exit codes: 0 done; 1 done, but some requests failed (the failure log msg_dump.txt has the "
    "details) or some addresses did not answer; 2 usage error, or nothing to submit; 3 the URL "
    "database or the settings could not be read or written; 130 cancelled with Ctrl+C.\n\n"
    "Run 'sendwell-cli COMMAND --help' for a command's arguments.";

constexpr const CommandEntry kCommands[] = {
    {"list", "Print the URL database", MakeListCommand},
    {"add", "Add addresses, as the Add button does", MakeAddCommand},
    {"remove", "Remove rows, by address or row number", MakeRemoveCommand},
    {"import", "Add the addresses of a text file, as Import does", MakeImportCommand},
    {"sitemap", "Import the addresses of a sitemap, or export the database as one", MakeSitemapCommand},
    {"email", "Print the e-mail address, or set it", MakeEmailCommand},
    {"engines", "List the 26 engines with their flags, or switch engines on and off", MakeEnginesCommand},
    {"submit", "Submit the addresses to the engines, as Submit All or Submit does", MakeSubmitCommand},
    {"status", "Check the web server status of addresses, as Ping does", MakeStatusCommand},
    {"indexnow", "Submit addresses through IndexNow, check the key file, show or make the key",
     MakeIndexNowCommand},
    {"audit", "Crawl a site and report what keeps its pages out of search results", MakeAuditCommand},
    {"history", "Show past runs, a run's requests, or one address across runs", MakeHistoryCommand},
    {"schedule", "Run commands of this program at set times (systemd user timers)", MakeScheduleCommand},
};

} // namespace

void Output::Message(std::string_view text) const {
    err_ << "sendwell-cli: " << text << "\n" << std::flush;
}

void Output::PrintJson(const nlohmann::json& document) const {
    out_ << document.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << "\n" << std::flush;
}

void AddFetchLimitOptions(CLI::App& command, int& concurrency, int& perHost) {
    command
        .add_option("--concurrency", concurrency,
                    "Requests open at once in all (default 8, or i_FetchConcurrency)")
        ->check(CLI::Range(1, 256));
    command
        .add_option("--per-host", perHost, "Requests open at once to one host (default 4, or i_FetchPerHost)")
        ->check(CLI::Range(1, 256));
}

std::span<const CommandEntry> CommandTable() {
    return kCommands;
}

int RunCommandLine(int argc, char** argv, std::ostream& out, std::ostream& err) {
    CLI::App app(kDescription, "sendwell-cli");
    app.set_version_flag("--version", std::string("sendwell-cli ") + kVersionText);
    app.require_subcommand(1);
    app.fallthrough(); // --json may follow the command
    bool json = false;
    app.add_flag("--json", json, "Print results as JSON");
    bool yes = false;
    app.add_flag("--yes", yes,
                 "Answer yes to every question (without it, questions are refused when stdin is no "
                 "terminal)");

    std::vector<std::pair<CLI::App*, std::unique_ptr<Command>>> commands;
    for (const CommandEntry& entry : CommandTable()) {
        CLI::App* sub = app.add_subcommand(entry.name, entry.summary);
        std::unique_ptr<Command> command = entry.make();
        command->Define(*sub);
        commands.emplace_back(sub, std::move(command));
    }
    // After the commands, which would otherwise repeat it under their own help.
    app.footer(kFooter);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e, out, err);
        return code == 0 ? kExitDone : kExitUsage;
    }

    Output output(out, err);
    output.setJson(json);
    output.setAssumeYes(yes);
    for (auto& [sub, command] : commands) {
        if (!sub->parsed()) {
            continue;
        }
        try {
            return command->Run(output);
        } catch (const CommandFailure& e) {
            output.Message(e.what());
            return e.exitCode();
        } catch (const std::bad_alloc&) {
            output.Message("out of memory");
            return kExitData;
        } catch (const std::exception& e) {
            output.Message(e.what());
            return kExitData;
        }
    }
    return kExitUsage;
}

} // namespace sendwell::cli
