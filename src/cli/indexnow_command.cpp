// The indexnow command: the key (show, generate, set, write its file), the key-file check per host, and
// a submission of addresses to the IndexNow endpoint, with the same settings as the Engines dialog.
#include "cli/command.h"
#include "cli/database_access.h"
#include "cli/interrupt.h"
#include "core/base/paths.h"
#include "core/base/program_settings.h"
#include "core/indexnow/changed_pages.h"
#include "core/indexnow/content_state.h"
#include "core/indexnow/indexnow_key.h"
#include "core/indexnow/indexnow_submit.h"
#include "core/results/answer_store.h"
#include "core/submit/submission_run.h"
#include "core/web/page_fetcher.h"

#include <CLI/CLI.hpp>
#include <atomic>
#include <nlohmann/json.hpp>
#include <optional>

namespace sendwell::cli {

namespace {

// Row numbers name the database's addresses; any other text is an address as it stands.
std::vector<std::string> AddressesNamed(const std::vector<std::string>& names, bool all) {
    std::optional<DatabaseAccess> access;
    auto db = [&]() -> const UrlDatabase& {
        if (!access) {
            access.emplace(DatabaseAccess::Mode::Read);
        }
        return access->db();
    };
    std::vector<std::string> out;
    if (all) {
        for (const auto& row : db().rows()) {
            out.push_back(row.url);
        }
    }
    for (const std::string& name : names) {
        out.push_back(IsRowNumber(name) ? db().rows()[RowsNamed(db(), {name}, false).front()].url : name);
    }
    return out;
}

IndexNowSettings UsableSettings() {
    IndexNowSettings settings = ReadIndexNowSettings();
    if (settings.key.empty()) {
        throw CommandFailure(kExitUsage,
                             "no IndexNow key yet: make one with 'sendwell-cli indexnow key --generate'");
    }
    if (std::string rule = KeyRuleText(settings.key); !rule.empty()) {
        throw CommandFailure(kExitUsage, "the stored IndexNow key does not fit the rules: " + rule);
    }
    return settings;
}

// Prints each request's answer as it comes.
class SubmitReport final : public IndexNowReport {
public:
    explicit SubmitReport(Output& output) : output_(output) {}
    void SetStatusText(const std::string&) override {}
    void Answered(const IndexNowAnswer& answer) override {
        const Outcome& outcome = answer.outcome;
        if (output_.json()) {
            output_.PrintJson({{"host", answer.host},
                               {"addresses", answer.addressCount},
                               {"status", outcome.httpStatus},
                               {"result", outcome.text},
                               {"failed", !outcome.ok()},
                               {"answer_file", answer.answerFile}});
        } else {
            output_.out() << answer.host << "  " << answer.addressCount
                          << (answer.addressCount == 1 ? " address  " : " addresses  ")
                          << (outcome.httpStatus != 0 ? std::to_string(outcome.httpStatus) + "  "
                                                      : std::string())
                          << outcome.text << "\n"
                          << std::flush;
        }
    }

private:
    Output& output_;
};

class IndexNowCommand final : public Command {
public:
    void Define(CLI::App& command) override {
        submit_ =
            command.add_subcommand("submit", "Send addresses to the IndexNow endpoint, grouped by host");
        submit_->add_flag("--all", all_, "Every address of the URL database");
        submit_->add_option("URL", targets_, "Addresses, or row numbers of the URL database (#N or N)");
        submit_->add_flag("--force", force_, "Send addresses whose content has not changed as well");
        CLI::Option* sitemap = submit_->add_option("--sitemap", sitemap_,
                                                   "The addresses of this sitemap (a file or an address)");
        submit_
            ->add_option("--changed-since", changedSince_,
                         "Only sitemap addresses whose <lastmod> is later than DATE (YYYY-MM-DD, or with a "
                         "time) or than the last accepted submission (last-run)")
            ->needs(sitemap);
        submit_->footer(
            "An address whose content (ETag, Last-Modified or the page itself) is the same as at its "
            "last accepted submission is left out unless --force is given. With --changed-since, a "
            "sitemap address without a <lastmod> is checked as any other.");

        check_ = command.add_subcommand("check", "Check that each site serves the key file");
        check_->add_option("HOST", checkTargets_,
                           "Hosts or addresses to check (default: the hosts of the URL database)");

        key_ = command.add_subcommand("key", "Print the IndexNow key, make or set one, write its key file");
        CLI::Option* generate = key_->add_flag("--generate", generate_, "Make a new random key and keep it");
        key_->add_option("--set", newKey_, "Keep this key (8 to 128 characters of a-z, A-Z, 0-9 and -)")
            ->excludes(generate);
        command.require_subcommand(1);
        command.footer(
            "indexnow submit (--all | URL... | --sitemap SITEMAP [--changed-since DATE|last-run]) [--force]: "
            "one request per site and 10,000 addresses; exit 1 "
            "when a request failed, the endpoint asked for a pause, or the record of what was accepted "
            "could not be saved.\n"
            "indexnow check [HOST...]: exit 1 when a site does not serve exactly the key.\n"
            "indexnow key [--generate | --set KEY] [--write FOLDER]: the key is kept in the settings.\n"
            "Run 'sendwell-cli indexnow SUBCOMMAND --help' for the arguments.");
        key_->add_option("--write", keyFolder_,
                         "Write <key>.txt into this folder, to upload to the site root");
    }

    int Run(Output& output) override {
        if (submit_->parsed()) {
            return Submit(output);
        }
        if (check_->parsed()) {
            return Check(output);
        }
        return Key(output);
    }

private:
    int Submit(Output& output) {
        if ((all_ ? 1 : 0) + (targets_.empty() ? 0 : 1) + (sitemap_.empty() ? 0 : 1) != 1) {
            throw CommandFailure(kExitUsage, "give one of --all, --sitemap or the addresses to submit");
        }
        IndexNowJob job;
        job.settings = UsableSettings();
        job.connection = ProgramSettings().Connection();
        job.statePath = DefaultIndexNowStatePath();
        job.historyFile = DefaultHistoryPath();
        std::atomic<bool> stop{false};
        std::vector<std::string> addresses;
        if (sitemap_.empty()) {
            addresses = AddressesNamed(targets_, all_);
        } else {
            SitemapSelection selection;
            {
                InterruptScope interrupt(stop);
                selection = SelectSitemapAddresses(
                    sitemap_, changedSince_ ? std::optional<std::string_view>(*changedSince_) : std::nullopt,
                    job.historyFile, job.statePath, job.connection, &stop);
            }
            for (const std::string& warning : selection.warnings) {
                output.Message(warning);
            }
            if (selection.outcome.cancelled() || WasInterrupted()) {
                return kExitCancelled;
            }
            if (!selection.outcome.ok()) {
                throw CommandFailure(selection.badDate ? kExitUsage : kExitData, selection.outcome.text);
            }
            output.err() << "The sitemap lists " << selection.listed << " addresses; "
                         << selection.addresses.size()
                         << (changedSince_ ? " changed since then.\n" : " to submit.\n");
            addresses = std::move(selection.addresses);
        }
        job.limits = ReadRequestLimits();
        job.programFolder = ProgramFolder();
        job.force = force_;
        job.stop = &stop;
        SubmitReport report(output);
        IndexNowSummary summary;
        {
            InterruptScope interrupt(stop);
            summary = RunIndexNowAlone(addresses, job, report);
        }
        if (!summary.stateWarning.empty()) {
            output.Message(summary.stateWarning);
        }
        std::ostream& err = output.err();
        err << "IndexNow: " << summary.sent << " addresses accepted, " << summary.unchanged
            << " unchanged and left out";
        if (summary.skipped > 0) {
            err << ", " << summary.skipped << " not http or https";
        }
        if (summary.failedRequests > 0) {
            err << ", " << summary.failedRequests << " requests failed (details in "
                << FailureLogPath(job.programFolder).string() << ")";
        }
        err << ".\n";
        if (summary.throttled) {
            output.Message("the endpoint asked for a pause: the rest was not sent");
        }
        if (!summary.stateError.empty()) {
            output.Message(summary.stateError);
        }
        if (!summary.historyError.empty()) {
            output.Message(summary.historyError);
        }
        if (summary.stopped && WasInterrupted()) {
            return kExitCancelled;
        }
        return summary.failedRequests > 0 || summary.throttled || !summary.stateError.empty()
                   ? kExitSomeFailed
                   : kExitDone;
    }

    int Check(Output& output) {
        const IndexNowSettings settings = UsableSettings();
        std::vector<std::string> hosts;
        const std::vector<std::string> named =
            checkTargets_.empty() ? AddressesNamed({}, true) : checkTargets_;
        for (const std::string& name : named) {
            const std::string host = SiteHost(name);
            if (!host.empty() && std::find(hosts.begin(), hosts.end(), host) == hosts.end()) {
                hosts.push_back(host);
            }
        }
        if (hosts.empty()) {
            throw CommandFailure(kExitUsage, "no host to check");
        }
        const ConnectionSettings connection = ProgramSettings().Connection();
        const TransferLimits limits = ReadRequestLimits();
        bool allServed = true;
        nlohmann::json results = nlohmann::json::array();
        std::atomic<bool> stop{false};
        InterruptScope interrupt(stop);
        for (const std::string& host : hosts) {
            if (stop.load()) {
                break;
            }
            const KeyFileCheck check = CheckKeyFile(KeyFileAddress(host, settings.key, settings.keyLocation),
                                                    settings.key, connection, limits, &stop);
            const bool served = check.verdict == KeyFileCheck::Verdict::Served;
            allServed = allServed && served;
            if (output.json()) {
                results.push_back(
                    {{"host", host}, {"address", check.address}, {"served", served}, {"text", check.text}});
            } else {
                output.out() << host << "  " << (served ? "ok" : "not ok") << "  " << check.text << "\n";
            }
        }
        if (output.json()) {
            output.PrintJson({{"check", results}});
        }
        if (WasInterrupted()) {
            return kExitCancelled;
        }
        return allServed ? kExitDone : kExitSomeFailed;
    }

    int Key(Output& output) {
        std::string key = ProgramSettings().IndexNowKey();
        if (generate_ || !newKey_.empty()) {
            key = generate_ ? GenerateIndexNowKey() : newKey_;
            if (std::string rule = KeyRuleText(key); !rule.empty()) {
                throw CommandFailure(kExitUsage, rule);
            }
            if (!ProgramSettings::SetIndexNowKey(key)) {
                throw CommandFailure(kExitData, "the key could not be kept in the settings");
            }
        }
        if (key.empty()) {
            throw CommandFailure(kExitUsage, "no IndexNow key yet: make one with --generate");
        }
        std::filesystem::path file;
        if (!keyFolder_.empty()) {
            file = WriteKeyFile(keyFolder_, key);
            if (file.empty()) {
                throw CommandFailure(kExitData, "the key file could not be written in " + keyFolder_);
            }
        }
        if (output.json()) {
            nlohmann::json document = {{"key", key}};
            if (!file.empty()) {
                document["key_file"] = file.string();
            }
            output.PrintJson(document);
        } else {
            output.out() << key << "\n";
            if (!file.empty()) {
                output.err() << "Wrote " << file.string() << ": upload it to the root of each site.\n";
            }
        }
        return kExitDone;
    }

    CLI::App* submit_ = nullptr;
    CLI::App* check_ = nullptr;
    CLI::App* key_ = nullptr;
    bool all_ = false;
    bool force_ = false;
    std::vector<std::string> targets_;
    std::string sitemap_;
    std::optional<std::string> changedSince_;
    std::vector<std::string> checkTargets_;
    bool generate_ = false;
    std::string newKey_;
    std::string keyFolder_;
};

} // namespace

std::unique_ptr<Command> MakeIndexNowCommand() {
    return std::make_unique<IndexNowCommand>();
}

} // namespace sendwell::cli
