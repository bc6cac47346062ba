#include "core/submit/answer_text.h"

#include <algorithm>

namespace sendwell {

namespace {

constexpr std::string_view kScriptOpen = "<script";
constexpr std::string_view kScriptOpenSubstitute = "<!--";
constexpr std::string_view kScriptClose = "</script>";
constexpr std::string_view kScriptCloseSubstitute = "-->";

char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::size_t LongestMarker() {
    std::size_t n = 0;
    for (std::string_view m : kErrorMarkers) {
        n = std::max(n, m.size());
    }
    return n;
}

bool IsProperPrefixOf(std::string_view text, std::string_view tag) {
    return text.size() < tag.size() && tag.substr(0, text.size()) == text;
}

// Converts text; when holdBack is set, a trailing piece that may still grow into a tag is not converted
// but returned through carry.
void Convert(std::string_view text, std::string& out, bool holdBack, std::string* carry) {
    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] != '<') {
            std::size_t next = text.find('<', i);
            std::size_t end = next == std::string_view::npos ? text.size() : next;
            out.append(text.substr(i, end - i));
            i = end;
            continue;
        }
        std::string_view rest = text.substr(i);
        if (rest.starts_with(kScriptOpen)) {
            out += kScriptOpenSubstitute;
            i += kScriptOpen.size();
        } else if (rest.starts_with(kScriptClose)) {
            out += kScriptCloseSubstitute;
            i += kScriptClose.size();
        } else if (holdBack &&
                   (IsProperPrefixOf(rest, kScriptOpen) || IsProperPrefixOf(rest, kScriptClose))) {
            carry->assign(rest);
            return;
        } else {
            out.push_back('<');
            ++i;
        }
    }
}

} // namespace

std::string DisableScripts(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    Convert(text, out, false, nullptr);
    return out;
}

bool LooksLikeErrorPage(std::string_view text) {
    ErrorMarkerScan scan;
    scan.Feed(text);
    return scan.found();
}

void ScriptDisabler::Feed(std::string_view in, std::string& out) {
    if (carry_.empty()) {
        Convert(in, out, true, &carry_);
        return;
    }
    std::string joined = std::move(carry_);
    carry_.clear();
    joined.append(in);
    Convert(joined, out, true, &carry_);
}

void ScriptDisabler::Finish(std::string& out) {
    out += carry_;
    carry_.clear();
}

void ErrorMarkerScan::Feed(std::string_view in) {
    if (found_ || in.empty()) {
        return;
    }
    std::string window = tail_;
    window.reserve(tail_.size() + in.size());
    for (char c : in) {
        window.push_back(LowerAscii(c));
    }
    for (std::string_view marker : kErrorMarkers) {
        if (window.find(marker) != std::string::npos) {
            found_ = true;
            tail_.clear();
            return;
        }
    }
    std::size_t keep = std::min(window.size(), LongestMarker() - 1);
    tail_.assign(window, window.size() - keep, keep);
}

} // namespace sendwell
