// The history command: past runs, a run's requests, or one address across runs, from the run history.
#include "cli/command.h"
#include "core/base/dates.h"
#include "core/base/paths.h"
#include "core/history/history_store.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

namespace sendwell::cli {

namespace {

nlohmann::json RunJson(const RunRecord& run) {
    return {{"id", run.id},
            {"kind", RunKindName(run.kind)},
            {"started", UtcTimeText(run.started)},
            {"ended", run.ended ? nlohmann::json(UtcTimeText(*run.ended)) : nlohmann::json()},
            {"cancelled", run.cancelled},
            {"requests", run.counts.requests},
            {"accepted", run.counts.accepted},
            {"failed", run.counts.failed},
            {"note", run.note}};
}

nlohmann::json RequestJson(const RequestRecord& request) {
    return {{"run", request.run},
            {"address", request.address},
            {"channel", request.channel},
            {"outcome", RequestEndName(request.end)},
            {"http_status", request.httpStatus},
            {"milliseconds", request.millis},
            {"answer_file", request.answerFile},
            {"at", UtcTimeText(request.at)}};
}

class HistoryCommand final : public Command {
public:
    void Define(CLI::App& command) override {
        CLI::Option* runs = command.add_flag("--runs", runs_, "List the runs, newest first (the default)");
        CLI::Option* run =
            command.add_option("--run", run_, "The requests of one run, by its id")->excludes(runs);
        command.add_option("--address", address_, "One address across runs, oldest first")
            ->excludes(runs)
            ->excludes(run);
        command.add_option("--since", since_, "Only from this date on (YYYY-MM-DD, UTC)");
        command.footer("The history is history.sqlite beside the URL database.");
    }

    int Run(Output& output) override {
        std::optional<std::int64_t> since;
        if (!since_.empty()) {
            since = ParseUtcTime(since_);
            if (!since) {
                throw CommandFailure(kExitUsage, "\"" + since_ + "\" is not a date (YYYY-MM-DD)");
            }
        }
        HistoryStore::Opened opened = HistoryStore::Open(DefaultHistoryPath());
        if (!opened.keptAside.empty()) {
            output.Message("the history could not be read; it was kept as " + opened.keptAside.string());
        }
        if (!opened.store) {
            throw CommandFailure(kExitData, "the history could not be read: " + opened.outcome.text);
        }
        HistoryStore& store = *opened.store;
        if (run_) {
            return PrintRequests(output, store.Requests(*run_));
        }
        if (!address_.empty()) {
            return PrintRequests(output, store.AddressTimeline(address_, since));
        }
        return Print(output, "runs", store.Runs(since), RunJson, [&](const RunRecord& r) {
            output.out() << r.id << "  " << RunKindName(r.kind) << "  " << UtcTimeText(r.started) << "  "
                         << r.counts.requests << " requests, " << r.counts.accepted << " accepted, "
                         << r.counts.failed << " failed"
                         << (r.cancelled ? ", cancelled"
                             : r.ended   ? ""
                                         : ", did not finish")
                         << (r.note.empty() ? "" : "  " + r.note) << "\n";
        });
    }

private:
    static int PrintRequests(Output& output, const HistoryRead<std::vector<RequestRecord>>& read) {
        return Print(output, "requests", read, RequestJson, [&](const RequestRecord& r) {
            output.out() << UtcTimeText(r.at) << "  run " << r.run << "  " << r.channel << "  " << r.address
                         << "  " << RequestEndName(r.end) << "  " << r.httpStatus << "  " << r.millis
                         << " ms\n";
        });
    }

    // What was read as one JSON document, {"<key>": [...]}, or as lines for people.
    template <typename Record, typename ToJson, typename PrintLine>
    static int Print(Output& output, const char* key, const HistoryRead<std::vector<Record>>& read,
                     ToJson toJson, PrintLine printLine) {
        if (!read.outcome.ok()) {
            throw CommandFailure(kExitData, "the history could not be read: " + read.outcome.text);
        }
        if (output.json()) {
            nlohmann::json list = nlohmann::json::array();
            for (const Record& record : read.value) {
                list.push_back(toJson(record));
            }
            output.PrintJson({{key, list}});
            return kExitDone;
        }
        for (const Record& record : read.value) {
            printLine(record);
        }
        return kExitDone;
    }

    bool runs_ = false;
    std::optional<std::int64_t> run_;
    std::string address_;
    std::string since_;
};

} // namespace

std::unique_ptr<Command> MakeHistoryCommand() {
    return std::make_unique<HistoryCommand>();
}

} // namespace sendwell::cli
