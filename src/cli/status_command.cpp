// The status command: the status check's code and words for each address, as the Ping report gives them.
#include "cli/command.h"
#include "cli/database_access.h"
#include "cli/interrupt.h"
#include "core/web/status_check.h"

#include <CLI/CLI.hpp>
#include <atomic>
#include <nlohmann/json.hpp>
#include <optional>

namespace sendwell::cli {

namespace {

class StatusCommand final : public Command {
public:
    void Define(CLI::App& command) override {
        command
            .add_option("URL", targets_, "Addresses to check, or row numbers of the URL database (#N or N)")
            ->required();
    }

    int Run(Output& output) override {
        const std::vector<std::string> addresses = Addresses();
        bool allAnswered = true;
        nlohmann::json results = nlohmann::json::array();
        std::atomic<bool> stop{false};
        InterruptScope interrupt(stop);
        for (const std::string& address : addresses) {
            if (stop.load()) {
                break;
            }
            std::string text;
            int code = -1;
            try {
                // The window's connection for the check: no proxy of the user's, its own time-out.
                code = CheckUrlStatus(address, text, {}, {}, &stop);
            } catch (const std::exception&) {
                code = -1;
                text = "Error: ";
            }
            allAnswered = allAnswered && code >= 200 && code < 400;
            if (output.json()) {
                results.push_back({{"address", address}, {"code", code}, {"text", text}});
            } else {
                output.out() << address << "  " << code << "  " << text << "\n";
            }
        }
        if (output.json()) {
            output.PrintJson({{"status", results}});
        }
        if (WasInterrupted()) {
            return kExitCancelled;
        }
        return allAnswered ? kExitDone : kExitSomeFailed;
    }

private:
    // Row numbers read the database (without the lock: a check changes nothing).
    std::vector<std::string> Addresses() const {
        std::optional<DatabaseAccess> access;
        std::vector<std::string> out;
        for (const std::string& target : targets_) {
            if (!IsRowNumber(target)) {
                out.push_back(target);
                continue;
            }
            if (!access) {
                access.emplace(DatabaseAccess::Mode::Read);
            }
            out.push_back(access->db().rows()[RowsNamed(access->db(), {target}, false).front()].url);
        }
        return out;
    }

    std::vector<std::string> targets_;
};

} // namespace

std::unique_ptr<Command> MakeStatusCommand() {
    return std::make_unique<StatusCommand>();
}

} // namespace sendwell::cli
