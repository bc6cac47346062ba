// Message boxes as the core asks for them; the GUI shows them, tests answer them.
#pragma once

#include <string>

namespace sendwell {

inline constexpr const char* kAppCaption = "Sendwell! Pro";

enum class MessageIcon { None, Information, Warning, Error };

class MessageSink {
public:
    virtual ~MessageSink() = default;
    // Shows text with an OK button and waits until the user closes it.
    virtual void ShowMessage(const std::string& text, const std::string& caption,
                             MessageIcon icon = MessageIcon::None) = 0;
};

} // namespace sendwell
