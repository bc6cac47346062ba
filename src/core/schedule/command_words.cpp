#include "core/schedule/command_words.h"

namespace sendwell {

namespace {

bool Blank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// Characters a word may hold without quotes.
bool Plain(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           std::string_view("-_./:=,@%+").find(c) != std::string_view::npos;
}

} // namespace

std::optional<std::vector<std::string>> SplitCommandWords(std::string_view text) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false; // "" is a word of its own
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (Blank(c)) {
            if (inWord) {
                words.push_back(std::move(word));
                word.clear();
                inWord = false;
            }
            continue;
        }
        inWord = true;
        if (c == '\\') {
            if (++i == text.size()) {
                return std::nullopt;
            }
            word += text[i];
        } else if (c == '\'') {
            const std::size_t end = text.find('\'', i + 1);
            if (end == std::string_view::npos) {
                return std::nullopt;
            }
            word.append(text.substr(i + 1, end - i - 1));
            i = end;
        } else if (c == '"') {
            for (++i;; ++i) {
                if (i >= text.size()) {
                    return std::nullopt;
                }
                if (text[i] == '"') {
                    break;
                }
                // Inside double quotes a backslash keeps only what the shell would: " \ $ `.
                if (text[i] == '\\' && i + 1 < text.size() &&
                    std::string_view("\"\\$`").find(text[i + 1]) != std::string_view::npos) {
                    ++i;
                }
                word += text[i];
            }
        } else {
            word += c;
        }
    }
    if (inWord) {
        words.push_back(std::move(word));
    }
    return words;
}

std::string JoinCommandWords(std::span<const std::string> words) {
    std::string text;
    for (const std::string& word : words) {
        if (!text.empty()) {
            text += ' ';
        }
        bool plain = !word.empty();
        for (char c : word) {
            plain = plain && Plain(c);
        }
        if (plain) {
            text += word;
            continue;
        }
        // Single quotes keep everything; a single quote itself closes, is escaped, and reopens.
        text += '\'';
        for (char c : word) {
            if (c == '\'') {
                text += "'\\''";
            } else {
                text += c;
            }
        }
        text += '\'';
    }
    return text;
}

} // namespace sendwell
