#include "core/schedule/schedule.h"

#include "core/base/atomic_file.h"
#include "core/base/paths.h"
#include "core/base/run_program.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <system_error>

namespace sendwell {

namespace fs = std::filesystem;

namespace {

// The first line of every unit we write: what tells ours from the user's own.
constexpr std::string_view kMarker = "# Made by sendwell-cli schedule: ";
constexpr std::string_view kEveryKey = "OnCalendar=";
constexpr std::string_view kExecKey = "ExecStart=";

bool NameCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
}

// Characters a calendar expression is made of; anything else (a line end above all) could add a line
// of our choosing to the unit.
bool CalendarCharacter(char c) {
    return NameCharacter(c) || c == ' ' || c == '*' || c == ':' || c == '/' || c == ',' || c == '.' ||
           c == '~' || c == '+';
}

std::string ReadAll(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

bool OursFor(const fs::path& file, std::string_view name) {
    const std::string text = ReadAll(file);
    const std::string first = text.substr(0, text.find('\n'));
    return first == std::string(kMarker) + std::string(name);
}

std::string ShellQuote(std::string_view text) {
    std::string out = "'";
    for (char c : text) {
        if (c == '\'') {
            out += "'\\''";
        } else {
            out += c;
        }
    }
    return out + "'";
}

// The words of an ExecStart line back, undoing UnitArgument.
std::vector<std::string> SplitUnitArguments(std::string_view line) {
    std::vector<std::string> words;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && line[i] == ' ') {
            ++i;
        }
        if (i == line.size()) {
            break;
        }
        std::string word;
        const bool quoted = line[i] == '"';
        i += quoted ? 1 : 0;
        for (; i < line.size(); ++i) {
            const char c = line[i];
            if (quoted ? c == '"' : c == ' ') {
                i += quoted ? 1 : 0;
                break;
            }
            if (c == '\\' && i + 1 < line.size()) {
                word += line[++i];
            } else if ((c == '%' || c == '$') && i + 1 < line.size() && line[i + 1] == c) {
                word += line[++i];
            } else {
                word += c;
            }
        }
        words.push_back(std::move(word));
    }
    return words;
}

bool SystemctlAnswers() {
    return ProgramOnPath("systemctl") && RunProgram({"systemctl", "--user", "daemon-reload"}).outcome.ok();
}

} // namespace

std::string ScheduleProblem(const ScheduledRun& run) {
    if (run.name.empty() || run.name.size() > 64) {
        return "A schedule's name must have 1 to 64 characters.";
    }
    for (char c : run.name) {
        if (!NameCharacter(c)) {
            return "A schedule's name may hold only letters, digits, '-' and '_'.";
        }
    }
    if (run.every.empty()) {
        return "Say when it runs: daily, weekly or a calendar expression.";
    }
    for (char c : run.every) {
        if (!CalendarCharacter(c)) {
            return "\"" + run.every + "\" is not a calendar expression.";
        }
    }
    if (run.command.empty()) {
        return "Say which command runs (after --).";
    }
    for (const std::string& argument : run.command) {
        for (char c : argument) {
            if (c == '\n' || c == '\r' || c == '\0') {
                return "A command's arguments cannot hold line ends.";
            }
        }
    }
    return "";
}

fs::path UserUnitFolder() {
    return ConfigHome() / "systemd" / "user";
}

std::string ServiceUnitName(std::string_view name) {
    return "sendwell-" + std::string(name) + ".service";
}

std::string TimerUnitName(std::string_view name) {
    return "sendwell-" + std::string(name) + ".timer";
}

std::string UnitArgument(std::string_view argument) {
    std::string escaped;
    bool quote = argument.empty();
    for (char c : argument) {
        if (c == '"' || c == '\\') {
            escaped += '\\';
        } else if (c == '%' || c == '$') {
            escaped += c; // "%%" and "$$" are a literal '%' and '$'
        }
        quote = quote || c == ' ' || c == '\t' || c == '\'' || c == ';';
        escaped += c;
    }
    return quote ? "\"" + escaped + "\"" : escaped;
}

std::string ServiceUnitText(const ScheduledRun& run, const fs::path& program) {
    std::string exec = UnitArgument(program.string());
    for (const std::string& argument : run.command) {
        exec += ' ';
        exec += UnitArgument(argument);
    }
    return std::string(kMarker) + run.name + "\n[Unit]\nDescription=Sendwell! Pro scheduled run " + run.name +
           "\n\n[Service]\nType=oneshot\n" + std::string(kExecKey) + exec + "\n";
}

std::string TimerUnitText(const ScheduledRun& run) {
    return std::string(kMarker) + run.name + "\n[Unit]\nDescription=Sendwell! Pro schedule " + run.name +
           "\n\n[Timer]\n" + std::string(kEveryKey) + run.every +
           "\nPersistent=true\n\n[Install]\nWantedBy=timers.target\n";
}

std::optional<std::string> CrontabLine(const ScheduledRun& run, const fs::path& program) {
    // systemd's named times, in cron's words: daily at midnight, weekly on Monday at midnight.
    static constexpr std::pair<std::string_view, std::string_view> kNamed[] = {
        {"hourly", "0 * * * *"}, {"daily", "0 0 * * *"}, {"weekly", "0 0 * * 1"}, {"monthly", "0 0 1 * *"}};
    for (const auto& [name, when] : kNamed) {
        if (run.every == name) {
            std::string line(when);
            line += ' ' + ShellQuote(program.string());
            for (const std::string& argument : run.command) {
                // cron reads '%' as a line end.
                std::string quoted = ShellQuote(argument);
                std::string escaped;
                for (char c : quoted) {
                    escaped += c == '%' ? std::string("\\%") : std::string(1, c);
                }
                line += ' ' + escaped;
            }
            return line;
        }
    }
    return std::nullopt;
}

ScheduleChange AddSchedule(const ScheduledRun& run, const fs::path& folder, const fs::path& program) {
    ScheduleChange change;
    if (const std::string problem = ScheduleProblem(run); !problem.empty()) {
        change.outcome = Outcome::Failed(problem);
        change.refused = true;
        return change;
    }
    if (ProgramOnPath("systemd-analyze")) {
        const ProgramRun check = RunProgram({"systemd-analyze", "calendar", run.every});
        if (!check.outcome.ok()) {
            change.outcome = Outcome::Failed("\"" + run.every + "\" is not a calendar expression.");
            change.refused = true;
            return change;
        }
    }
    const fs::path service = folder / ServiceUnitName(run.name);
    const fs::path timer = folder / TimerUnitName(run.name);
    std::error_code ec;
    for (const fs::path& unit : {service, timer}) {
        if (fs::exists(fs::symlink_status(unit, ec)) && !OursFor(unit, run.name)) {
            change.outcome = Outcome::Failed(unit.string() + " is not one of ours; it is left as it is.");
            change.refused = true;
            return change;
        }
    }
    fs::create_directories(folder, ec);
    for (const auto& [unit, text] :
         {std::pair{service, ServiceUnitText(run, program)}, std::pair{timer, TimerUnitText(run)}}) {
        if (!ReplaceFileAtomically(unit, text)) {
            change.outcome = Outcome::Failed(unit.string() + ": " + std::strerror(errno));
            return change;
        }
    }
    if (SystemctlAnswers()) {
        const ProgramRun enable =
            RunProgram({"systemctl", "--user", "enable", "--now", TimerUnitName(run.name)});
        change.enabled = enable.outcome.ok();
        if (!change.enabled) {
            change.note = enable.outcome.text;
        }
    } else {
        const std::optional<std::string> line = CrontabLine(run, program);
        change.note =
            line ? "systemctl --user does not answer here; the units are written. To run it with cron, "
                   "add this line with crontab -e:\n" +
                       *line
                 : "systemctl --user does not answer here; the units are written, and cron has no form of "
                   "\"" +
                       run.every + "\" (use daily or weekly).";
    }
    change.outcome = Outcome::Succeeded();
    return change;
}

ScheduleChange RemoveSchedule(std::string_view name, const fs::path& folder) {
    ScheduleChange change;
    const fs::path service = folder / ServiceUnitName(name);
    const fs::path timer = folder / TimerUnitName(name);
    std::error_code ec;
    const bool serviceOurs = fs::exists(service, ec) && OursFor(service, name);
    const bool timerOurs = fs::exists(timer, ec) && OursFor(timer, name);
    if (!serviceOurs && !timerOurs) {
        change.outcome = Outcome::Failed("There is no schedule named \"" + std::string(name) + "\".");
        change.refused = true;
        return change;
    }
    if (timerOurs && SystemctlAnswers()) {
        RunProgram({"systemctl", "--user", "disable", "--now", TimerUnitName(name)});
    }
    for (const auto& [unit, ours] : {std::pair{service, serviceOurs}, std::pair{timer, timerOurs}}) {
        if (ours && !fs::remove(unit, ec) && ec) {
            change.outcome = Outcome::Failed(unit.string() + ": " + ec.message());
            return change;
        }
    }
    change.outcome = Outcome::Succeeded();
    return change;
}

std::vector<ScheduledRun> ListSchedules(const fs::path& folder) {
    std::vector<ScheduledRun> runs;
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, ec)) {
        const std::string file = entry.path().filename().string();
        constexpr std::string_view kPrefix = "sendwell-";
        constexpr std::string_view kSuffix = ".timer";
        if (file.size() <= kPrefix.size() + kSuffix.size() || file.rfind(kPrefix, 0) != 0 ||
            file.compare(file.size() - kSuffix.size(), kSuffix.size(), kSuffix) != 0) {
            continue;
        }
        ScheduledRun run;
        run.name = file.substr(kPrefix.size(), file.size() - kPrefix.size() - kSuffix.size());
        if (!OursFor(entry.path(), run.name)) {
            continue;
        }
        std::istringstream timer(ReadAll(entry.path()));
        for (std::string line; std::getline(timer, line);) {
            if (line.rfind(kEveryKey, 0) == 0) {
                run.every = line.substr(kEveryKey.size());
            }
        }
        std::istringstream service(ReadAll(folder / ServiceUnitName(run.name)));
        for (std::string line; std::getline(service, line);) {
            if (line.rfind(kExecKey, 0) == 0) {
                run.command = SplitUnitArguments(std::string_view(line).substr(kExecKey.size()));
                if (!run.command.empty()) {
                    run.command.erase(run.command.begin()); // the program itself
                }
            }
        }
        runs.push_back(std::move(run));
    }
    std::sort(runs.begin(), runs.end(),
              [](const ScheduledRun& a, const ScheduledRun& b) { return a.name < b.name; });
    return runs;
}

} // namespace sendwell
