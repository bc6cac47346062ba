// The schedule command: runs of this program's own commands at set times, as systemd user timers (or
// a crontab line where systemd does not run).
#include "cli/command.h"
#include "core/base/paths.h"
#include "core/schedule/schedule.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

namespace sendwell::cli {

namespace {

class ScheduleCommand final : public Command {
public:
    void Define(CLI::App& command) override {
        add_ = command.add_subcommand("add", "Run a command of this program at set times");
        add_->add_option("NAME", run_.name, "The schedule's name (letters, digits, - and _)")->required();
        add_->add_option("--every", run_.every, "daily, weekly, or a systemd calendar expression")
            ->required();
        add_->add_option("COMMAND", run_.command, "The command and its arguments, after --")->required();
        add_->footer("Example: sendwell-cli schedule add nightly --every daily -- indexnow submit --all");

        list_ = command.add_subcommand("list", "List the schedules");
        remove_ = command.add_subcommand("remove", "Remove a schedule");
        remove_->add_option("NAME", removeName_, "The schedule's name")->required();
        command.require_subcommand(1);
        command.footer("Schedules are systemd user units (sendwell-NAME.service and .timer) in "
                       "$XDG_CONFIG_HOME/systemd/user, enabled with systemctl --user when it answers; "
                       "otherwise the crontab line to use is printed.");
    }

    int Run(Output& output) override {
        const std::filesystem::path folder = UserUnitFolder();
        if (list_->parsed()) {
            return List(output, folder);
        }
        const ScheduleChange change = add_->parsed()
                                          ? AddSchedule(run_, folder, ProgramInstallFolder() / "sendwell-cli")
                                          : RemoveSchedule(removeName_, folder);
        if (!change.outcome.ok()) {
            throw CommandFailure(change.refused ? kExitUsage : kExitData, change.outcome.text);
        }
        if (output.json()) {
            output.PrintJson({{"schedule", add_->parsed() ? run_.name : removeName_},
                              {"enabled", change.enabled},
                              {"note", change.note}});
        } else if (!change.note.empty()) {
            output.out() << change.note << "\n";
        } else if (add_->parsed()) {
            output.out() << "Scheduled " << run_.name << " (" << TimerUnitName(run_.name) << ", enabled)\n";
        } else {
            output.out() << "Removed " << removeName_ << "\n";
        }
        return kExitDone;
    }

private:
    int List(Output& output, const std::filesystem::path& folder) {
        const std::vector<ScheduledRun> runs = ListSchedules(folder);
        if (output.json()) {
            nlohmann::json list = nlohmann::json::array();
            for (const ScheduledRun& run : runs) {
                list.push_back({{"name", run.name}, {"every", run.every}, {"command", run.command}});
            }
            output.PrintJson({{"schedules", list}});
            return kExitDone;
        }
        for (const ScheduledRun& run : runs) {
            output.out() << run.name << "  " << run.every << " ";
            for (const std::string& argument : run.command) {
                output.out() << ' ' << argument;
            }
            output.out() << "\n";
        }
        return kExitDone;
    }

    CLI::App* add_ = nullptr;
    CLI::App* list_ = nullptr;
    CLI::App* remove_ = nullptr;
    ScheduledRun run_;
    std::string removeName_;
};

} // namespace

std::unique_ptr<Command> MakeScheduleCommand() {
    return std::make_unique<ScheduleCommand>();
}

} // namespace sendwell::cli
