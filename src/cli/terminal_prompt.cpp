#include "cli/terminal_prompt.h"

#include "cli/command.h"

#include <iostream>
#include <string>
#include <termios.h>
#include <unistd.h>

namespace sendwell::cli {

namespace {

// Turns the terminal's echo off for as long as it lives.
class EchoOff {
public:
    EchoOff() : saved_(::tcgetattr(STDIN_FILENO, &before_) == 0) {
        if (saved_) {
            termios quiet = before_;
            quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
            ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
        }
    }
    ~EchoOff() {
        if (saved_) {
            ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &before_);
        }
    }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;

private:
    termios before_{};
    bool saved_;
};

} // namespace

TerminalPrompt::TerminalPrompt(const Output& output, std::istream& in, bool interactive)
    : output_(output), in_(in), interactive_(interactive) {}

TerminalPrompt::TerminalPrompt(const Output& output)
    : TerminalPrompt(output, std::cin, ::isatty(STDIN_FILENO) == 1) {}

void TerminalPrompt::ShowMessage(const std::string& text, const std::string&, MessageIcon) {
    output_.Message(text);
}

bool TerminalPrompt::Confirm(const std::string& text, const std::string& caption) {
    if (output_.assumeYes()) {
        return true;
    }
    if (!interactive_) {
        output_.Message(text + " (no terminal to answer on; --yes answers yes)");
        return false;
    }
    output_.err() << caption << ": " << text << " [y/N] " << std::flush;
    std::string answer;
    std::getline(in_, answer);
    return answer == "y" || answer == "Y" || answer == "yes" || answer == "Yes";
}

std::optional<Credentials> TerminalPrompt::AskCredentials(const std::string& address,
                                                          const std::string& realm) {
    if (!interactive_) {
        output_.Message(address + " asks for a user name and password; there is no terminal to type them on");
        return std::nullopt;
    }
    output_.err() << address << (realm.empty() ? std::string() : " (" + realm + ")")
                  << " asks for a user name and password.\nUser name: " << std::flush;
    Credentials given;
    if (!std::getline(in_, given.user)) {
        return std::nullopt;
    }
    output_.err() << "Password: " << std::flush;
    bool read = false;
    {
        EchoOff quiet;
        read = static_cast<bool>(std::getline(in_, given.password));
    }
    output_.err() << "\n";
    if (!read) {
        return std::nullopt;
    }
    return given;
}

} // namespace sendwell::cli
