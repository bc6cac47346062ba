// Text cut by a set of characters. Each grammar has its own blanks (HTML's space characters, C's
// isspace, a header's), so the set is always the caller's.
#pragma once

#include <string>
#include <string_view>
#include <vector>

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

// Calls visit with each piece of text between the characters of separators. Empty pieces are visited
// only with keepEmpty, and even then a separator at the very end starts no piece.
template <typename Visit>
constexpr void ForEachPiece(std::string_view text, std::string_view separators, bool keepEmpty,
                            Visit&& visit) {
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t stop = text.find_first_of(separators, start);
        const std::size_t end = stop == std::string_view::npos ? text.size() : stop;
        if (keepEmpty || end > start) {
            visit(text.substr(start, end - start));
        }
        start = end + 1;
    }
}

// The pieces ForEachPiece visits.
inline std::vector<std::string> SplitAny(std::string_view text, std::string_view separators, bool keepEmpty) {
    std::vector<std::string> pieces;
    ForEachPiece(text, separators, keepEmpty, [&](std::string_view piece) { pieces.emplace_back(piece); });
    return pieces;
}

} // namespace sendwell
