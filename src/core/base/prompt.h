// How work asks the user something: a message to read, a Yes/No question, a user name and password.
// Each front end adapts it once (the GUI with its dialogs, the command line on the terminal); tests
// answer with a stub. Calls may come from any thread and block it until the user has answered.
#pragma once

#include <optional>
#include <string>

namespace sendwell {

inline constexpr const char* kAppCaption = "Sendwell! Pro";

enum class MessageIcon { None, Information, Warning, Error };

// Asked for one request and kept only in memory for it: never stored, logged or written anywhere.
struct Credentials {
    std::string user;
    std::string password;
};

class Prompt {
public:
    virtual ~Prompt() = default;
    // Shows text with an OK button and waits until the user closes it.
    virtual void ShowMessage(const std::string& text, const std::string& caption,
                             MessageIcon icon = MessageIcon::None) = 0;
    // Asks a Yes/No question; true for Yes. Where nobody can answer, the answer is No.
    virtual bool Confirm(const std::string& text, const std::string& caption) {
        (void)text;
        (void)caption;
        return false;
    }
    // Asks for credentials for address (realm as the server named it, possibly empty). None means
    // the user cancelled, or nobody can answer.
    virtual std::optional<Credentials> AskCredentials(const std::string& address, const std::string& realm) {
        (void)address;
        (void)realm;
        return std::nullopt;
    }
};

} // namespace sendwell
