// Scheduled runs: a command of the program's own, run by the user's systemd at set times through a
// service and a timer unit of ours, or, where systemd does not run, by a crontab line the user adds.
#pragma once

#include "core/base/outcome.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sendwell {

struct ScheduledRun {
    std::string name;                 // letters, digits, '-' and '_'; at most 64
    std::string every;                // "daily", "weekly" or a systemd calendar expression
    std::vector<std::string> command; // the command line program's arguments
};

// Why a scheduled run cannot be made as given; "" when it can.
std::string ScheduleProblem(const ScheduledRun& run);

// $XDG_CONFIG_HOME/systemd/user: where the user's own units live.
std::filesystem::path UserUnitFolder();
// "sendwell-<name>.service" and "sendwell-<name>.timer".
std::string ServiceUnitName(std::string_view name);
std::string TimerUnitName(std::string_view name);

// The units' text. program is the command line program's absolute path.
std::string ServiceUnitText(const ScheduledRun& run, const std::filesystem::path& program);
std::string TimerUnitText(const ScheduledRun& run);
// The crontab line that does the same; none for a calendar expression cron cannot say.
std::optional<std::string> CrontabLine(const ScheduledRun& run, const std::filesystem::path& program);

// One argument as a unit's ExecStart reads it: quoted when need be, '%' and '$' kept literal.
std::string UnitArgument(std::string_view argument);

// What adding, listing or removing did.
struct ScheduleChange {
    Outcome outcome;
    bool refused = false; // failed for what was asked (a bad name, another's unit), not for the system
    bool enabled = false; // systemctl --user enabled the timer
    std::string note;     // why it was not, with the crontab line to use instead
};

// Writes the two units into folder (replacing no unit of another's: a unit of that name not made by
// this program is refused), then reloads and enables the timer when systemctl --user answers.
ScheduleChange AddSchedule(const ScheduledRun& run, const std::filesystem::path& folder,
                           const std::filesystem::path& program);
// Disables the timer when systemctl answers, then deletes exactly this run's two units.
ScheduleChange RemoveSchedule(std::string_view name, const std::filesystem::path& folder);
// The runs whose units are in folder, by name; units of others are passed over.
std::vector<ScheduledRun> ListSchedules(const std::filesystem::path& folder);

} // namespace sendwell
