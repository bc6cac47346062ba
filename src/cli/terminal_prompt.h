// The command line's prompt: a message becomes a line on stderr; a question is answered Yes by --yes,
// asked on the terminal, or refused when stdin is no terminal; a password is read from the terminal
// without echo, or refused when there is none.
#pragma once

#include "core/base/prompt.h"

#include <istream>
#include <ostream>

namespace sendwell::cli {

class Output;

class TerminalPrompt : public Prompt {
public:
    // in is read only when interactive says it is a terminal.
    TerminalPrompt(const Output& output, std::istream& in, bool interactive);
    // The process's own stdin, interactive when it is a terminal.
    explicit TerminalPrompt(const Output& output);

    void ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon) override;
    bool Confirm(const std::string& text, const std::string& caption) override;
    std::optional<Credentials> AskCredentials(const std::string& address, const std::string& realm) override;

private:
    const Output& output_;
    std::istream& in_;
    bool interactive_;
};

} // namespace sendwell::cli
