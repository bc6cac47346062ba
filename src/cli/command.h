// The command line's commands. Each is a class that adds its arguments to its subcommand and runs with
// what the parser filled in; the command table (CommandTable, command_line.cpp) lists them once. The parser,
// the exit codes and the output conventions are shared by all of them.
#pragma once

#include <memory>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <ostream>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

namespace CLI {
class App;
}

namespace sendwell::cli {

enum ExitCode : int {
    kExitDone = 0,
    kExitSomeFailed = 1, // done, but some requests failed (the failure log has the details)
    kExitUsage = 2,
    kExitData = 3, // the database or the settings could not be read or written
    kExitCancelled = 130,
};

// Results go to out, as text for people or as JSON for programs; messages and progress go to err.
class Output {
public:
    Output(std::ostream& out, std::ostream& err) : out_(out), err_(err) {}
    bool json() const { return json_; }
    void setJson(bool json) { json_ = json; }
    // --yes: every question is answered yes.
    bool assumeYes() const { return yes_; }
    void setAssumeYes(bool yes) { yes_ = yes; }
    std::ostream& out() const { return out_; }
    std::ostream& err() const { return err_; }
    // "sendwell-cli: <text>" on its own line of err.
    void Message(std::string_view text) const;
    // One JSON document on one line of out. Bytes that are not UTF-8 (the database keeps what was
    // typed) become U+FFFD rather than ending the program.
    void PrintJson(const nlohmann::json& document) const;

private:
    std::ostream& out_;
    std::ostream& err_;
    bool json_ = false;
    bool yes_ = false;
};

// Ends a command with an exit code and a message.
class CommandFailure : public std::runtime_error {
public:
    CommandFailure(int exitCode, const std::string& message) : std::runtime_error(message), code_(exitCode) {}
    int exitCode() const { return code_; }

private:
    int code_;
};

class Command {
public:
    virtual ~Command() = default;
    // Adds the command's options and arguments to its subcommand.
    virtual void Define(CLI::App& command) = 0;
    // Runs the command with the parsed arguments; returns the exit code.
    virtual int Run(Output& output) = 0;
};

struct CommandEntry {
    const char* name;
    const char* summary;
    std::unique_ptr<Command> (*make)();
};

// --concurrency and --per-host, the fetch engine's two bounds, as every command that fetches takes them.
void AddFetchLimitOptions(CLI::App& command, int& concurrency, int& perHost);

// The format a command that writes reports was asked for: --format's (name, read by named) or, with
// --json alone, json; nullopt when neither was given. --json beside another --format is a usage error.
template <typename Format>
std::optional<Format> ChosenFormat(const Output& output, const std::string& name,
                                   std::optional<Format> (*named)(std::string_view), Format json) {
    if (name.empty()) {
        return output.json() ? std::optional<Format>(json) : std::nullopt;
    }
    const std::optional<Format> format = named(name);
    if (output.json() && format != json) {
        throw CommandFailure(kExitUsage, "--json and --format " + name + " ask for two formats");
    }
    return format;
}

// Every command, in the order --help lists them.
std::span<const CommandEntry> CommandTable();

// The whole program: parses argv, runs the chosen command, returns the exit code.
int RunCommandLine(int argc, char** argv, std::ostream& out, std::ostream& err);

// The commands, each defined in its own file.
std::unique_ptr<Command> MakeListCommand();
std::unique_ptr<Command> MakeAddCommand();
std::unique_ptr<Command> MakeRemoveCommand();
std::unique_ptr<Command> MakeImportCommand();
std::unique_ptr<Command> MakeSitemapCommand();
std::unique_ptr<Command> MakeEmailCommand();
std::unique_ptr<Command> MakeEnginesCommand();
std::unique_ptr<Command> MakeSubmitCommand();
std::unique_ptr<Command> MakeStatusCommand();
std::unique_ptr<Command> MakeIndexNowCommand();
std::unique_ptr<Command> MakeScheduleCommand();
std::unique_ptr<Command> MakeHistoryCommand();
std::unique_ptr<Command> MakeAuditCommand();

} // namespace sendwell::cli
