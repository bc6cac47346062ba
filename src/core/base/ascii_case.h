// ASCII-only case folding for byte text: letters outside A-Z/a-z are left exactly as they are.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace sendwell {

constexpr char AsciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

constexpr char AsciiUpper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

constexpr bool IsAsciiLetter(char c) {
    return AsciiLower(c) >= 'a' && AsciiLower(c) <= 'z';
}

// Eight bytes with 'A' to 'Z' turned to lower case, all at once: a byte gets 0x20 when its low seven
// bits reach 'A' but not past 'Z' and its top bit is clear.
constexpr std::uint64_t AsciiLowerEight(std::uint64_t x) {
    constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
    constexpr std::uint64_t kTop = 0x8080808080808080ULL;
    const std::uint64_t low = x & ~kTop;
    const std::uint64_t fromA = low + (0x80 - 'A') * kOnes;
    const std::uint64_t pastZ = low + (0x80 - 'Z' - 1) * kOnes;
    return x | (((fromA & ~pastZ & ~x) & kTop) >> 2);
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
