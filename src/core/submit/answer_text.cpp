#include "core/submit/answer_text.h"

#include <algorithm>
#include <functional>
#include <vector>

namespace sendwell {

namespace {

constexpr std::string_view kScriptOpen = "<script";
constexpr std::string_view kScriptOpenSubstitute = "<!--";
constexpr std::string_view kScriptClose = "</script>";
constexpr std::string_view kScriptCloseSubstitute = "-->";

char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
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
    // Each marker has its own skip table, made once: a page is mostly passed over in marker-sized steps.
    using Searcher = std::boyer_moore_horspool_searcher<const char*>;
    static const std::vector<Searcher> searchers = [] {
        std::vector<Searcher> made;
        for (std::string_view marker : kErrorMarkers) {
            made.emplace_back(marker.data(), marker.data() + marker.size());
        }
        return made;
    }();

    // The kept tail and a piece of the input after it, lower-cased on the stack.
    constexpr std::size_t kPiece = 4096;
    std::array<char, kKeep + kPiece> window;
    while (!found_ && !in.empty()) {
        const std::size_t n = std::min(in.size(), kPiece);
        std::copy_n(tail_.begin(), tailSize_, window.begin());
        std::transform(in.begin(), in.begin() + static_cast<std::ptrdiff_t>(n),
                       window.begin() + static_cast<std::ptrdiff_t>(tailSize_), LowerAscii);
        in.remove_prefix(n);
        const char* begin = window.data();
        const char* end = begin + tailSize_ + n;
        for (const Searcher& searcher : searchers) {
            if (std::search(begin, end, searcher) != end) {
                found_ = true;
                break;
            }
        }
        tailSize_ = std::min(kKeep, static_cast<std::size_t>(end - begin));
        std::copy(end - tailSize_, end, tail_.begin());
    }
}

} // namespace sendwell
