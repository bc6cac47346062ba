// ASCII-only case folding for byte text: letters outside A-Z/a-z are left exactly as they are.
#pragma once

#include <string>
#include <string_view>

namespace sendwell {

constexpr char AsciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

constexpr char AsciiUpper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// Into out, reusing its storage: for loops over many lines.
inline void AssignAsciiLower(std::string& out, std::string_view text) {
    out.resize(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        out[i] = AsciiLower(text[i]);
    }
}

inline void AssignAsciiUpper(std::string& out, std::string_view text) {
    out.resize(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        out[i] = AsciiUpper(text[i]);
    }
}

inline std::string AsciiLower(std::string_view text) {
    std::string out;
    AssignAsciiLower(out, text);
    return out;
}

inline std::string AsciiUpper(std::string_view text) {
    std::string out;
    AssignAsciiUpper(out, text);
    return out;
}

// True when a and b hold the same bytes, letters compared without regard to ASCII case.
constexpr bool AsciiEqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (AsciiLower(a[i]) != AsciiLower(b[i])) {
            return false;
        }
    }
    return true;
}

// True when text begins with prefix, letters compared without regard to ASCII case.
constexpr bool AsciiStartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) {
        return false;
    }
    return AsciiEqualNoCase(text.substr(0, prefix.size()), prefix);
}

} // namespace sendwell
