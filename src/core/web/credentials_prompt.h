// How a page fetch asks the user for a user name and password when a server answers 401. The GUI
// answers with a small dialog; tests answer with a stub. Credentials live only in memory for the one
// request they are asked for: they are never stored, logged or written anywhere.
#pragma once

#include <optional>
#include <string>

namespace sendwell {

struct Credentials {
    std::string user;
    std::string password;
};

class CredentialsPrompt {
public:
    virtual ~CredentialsPrompt() = default;
    // Asks for credentials for address (realm as the server named it, possibly empty). None means the
    // user cancelled. Called on the fetching thread and blocks it until the user answers.
    virtual std::optional<Credentials> AskCredentials(const std::string& address,
                                                      const std::string& realm) = 0;
};

} // namespace sendwell
