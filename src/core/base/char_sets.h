// Text cut by a set of characters. Each grammar has its own blanks (HTML's space characters, C's
// isspace, a header's), so the set is always the caller's.
#pragma once

#include <string>
#include <string_view>

namespace sendwell {

// HTML's ASCII whitespace.
inline constexpr std::string_view kHtmlSpace = " \t\n\r\f";
// C's isspace in the "C" locale.
inline constexpr std::string_view kAsciiSpace = " \t\n\r\f\v";

// text without the characters of blanks at either end.
constexpr std::string_view TrimAny(std::string_view text, std::string_view blanks) {
    const std::size_t start = text.find_first_not_of(blanks);
    if (start == std::string_view::npos) {
        return {};
    }
    return text.substr(start, text.find_last_not_of(blanks) - start + 1);
}

// text with every character of dropped left out.
inline std::string WithoutAny(std::string_view text, std::string_view dropped) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        if (dropped.find(c) == std::string_view::npos) {
            out += c;
        }
    }
    return out;
}

} // namespace sendwell
