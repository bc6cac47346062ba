#include "core/meta/meta_scanner.h"

#include "core/base/ascii_case.h"
#include "core/base/char_sets.h"

#include <algorithm>

namespace sendwell {

namespace {

constexpr auto npos = std::string::npos;

bool Contains(const std::string& text, std::string_view word) {
    return text.find(word) != npos;
}

// text[from, to), or "" when the range is empty or reversed.
std::string Slice(const std::string& text, std::size_t from, std::size_t to) {
    to = std::min(to, text.size());
    return from < to ? text.substr(from, to - from) : std::string();
}

// Every character but the last.
std::string_view AllButLast(const std::string& text) {
    return std::string_view(text).substr(0, text.empty() ? 0 : text.size() - 1);
}

// Looks at the whole page for T ... /T and returns what stands between "<T" plus one character and the
// "<" before "/T". Lines are joined without a separator from the first line that names T on.
std::string WholePageTagText(const LineList& page, const std::string& upperTag) {
    const std::string open = "<" + upperTag;
    const std::string close = "/" + upperTag;
    std::string joined;
    std::string upper;
    bool collecting = false;
    for (const std::string& line : page) {
        AssignAsciiUpper(upper, line);
        if (!collecting && Contains(upper, upperTag)) {
            collecting = true;
        }
        if (!collecting) {
            continue;
        }
        joined += line;
        if (!Contains(upper, close)) {
            continue;
        }
        const std::string upperJoined = AsciiUpper(joined);
        const std::size_t s = upperJoined.find(open);
        // "/T" without "<T" (the word only in other text) has no element to take text from.
        const std::size_t e = s == npos ? npos : upperJoined.find(close, s);
        if (e == npos) {
            return {};
        }
        std::string text = Slice(joined, s + upperTag.size() + 2, e - 1);
        std::replace(text.begin(), text.end(), '\n', ' ');
        return text;
    }
    return {};
}

std::string Cleaned(const std::string& value) {
    return WithoutAny(value, "\"=>");
}

} // namespace

std::string MetaScanner::GetTitle(const LineList& fetched, const LineList* lines) {
    return GetTagText(fetched, lines, "TITLE");
}

std::string MetaScanner::GetKeywords(const LineList& lines) {
    return GetMetaContent(lines, "KEYWORDS");
}

std::string MetaScanner::GetDescription(const LineList& lines) {
    return GetMetaContent(lines, "DESCRIPTION");
}

std::string MetaScanner::GetTagText(const LineList& fetched, const LineList* lines, std::string_view tag) {
    const LineList& walked = lines != nullptr ? *lines : fetched;
    if (walked.empty()) {
        return {};
    }
    // The whole-page search reads the same page whichever line it is asked for, so its answer for the
    // first line is its answer for every line.
    std::string whole = WholePageTagText(fetched, AsciiUpper(tag));
    if (!whole.empty()) {
        return whole;
    }
    const std::string lowerTag = AsciiLower(tag);
    for (const std::string& line : walked) {
        std::string text = LineTagText(line, lowerTag);
        if (!text.empty()) {
            return text;
        }
    }
    return {};
}

std::string MetaScanner::LineTagText(const std::string& line, const std::string& lowerTag) {
    bool inTag = false;
    bool matched = false;
    std::size_t j = 0;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (!inTag && !matched && !tagContinues_) {
            // Outside a tag, with nothing to collect, only a "<" changes anything.
            i = line.find('<', i);
            if (i == npos) {
                break;
            }
        }
        const char original = line[i];
        const char c = AsciiLower(original);
        bool collect;
        if (c == '<' && !matched) {
            // A "<" inside a tag whose word is still incomplete ends that tag.
            inTag = !inTag;
            collect = tagContinues_;
        } else {
            if (inTag) {
                if (j == lowerTag.size() && c == '>') {
                    inTag = false;
                    matched = true;
                    tagContinues_ = true;
                }
                if (j < lowerTag.size()) {
                    j = c == lowerTag[j] ? j + 1 : 0;
                }
            }
            collect = matched || tagContinues_;
        }
        if (!collect) {
            continue;
        }
        if (c == '<' || c == '\n' || c == '\0') {
            tagContinues_ = false;
            std::string text = std::move(tagText_);
            tagText_.clear();
            return text;
        }
        if (c != '>') {
            // The page's own letters: a title is shown as written.
            tagText_ += original;
        }
    }
    return {};
}

std::string MetaScanner::GetMetaContent(const LineList& lines, std::string_view name) {
    const std::string lowerName = AsciiLower(name);
    for (const std::string& line : lines) {
        std::string value = MetaValue(line, lowerName);
        if (!value.empty()) {
            return Cleaned(value);
        }
    }
    return {};
}

void MetaScanner::ResetMeta() {
    metaStage_ = 0;
    contentContinues_ = false;
    loneEquals_ = false;
    pendingContent_.clear();
    previous_.clear();
}

std::string MetaScanner::MetaValue(const std::string& line, const std::string& lowerName) {
    if (!seenFirstLine_) {
        seenFirstLine_ = true;
        previous_ = line;
    }
    std::string& lower = lower_;
    AssignAsciiLower(lower, line);

    if (metaStage_ == 0 && Contains(lower, "meta")) {
        metaStage_ = 1;
    }
    if (metaStage_ == 1) {
        if (!Contains(lower, "name")) {
            previous_ = lower;
            return {};
        }
        metaStage_ = 2;
        const std::size_t q = lower.find('=');
        if (q != npos) {
            const std::size_t k = lower.find("content");
            // The NAME value ends two characters before CONTENT (its closing quote and a blank), or
            // one before the end of the line.
            std::size_t end = 0;
            if (k != npos) {
                end = k >= 2 ? k - 2 : 0;
            } else {
                end = lower.size() - 1;
            }
            if (!Contains(Slice(lower, q + 1, end), lowerName)) {
                ResetMeta();
                return {};
            }
        }
    }
    if (metaStage_ != 2) {
        previous_ = lower;
        return {};
    }

    if (contentContinues_) {
        // Appended in place: a value running over many lines must not be copied once per line.
        pendingContent_ += AllButLast(line);
        if (!Contains(lower, ">")) {
            previous_ = line;
            return {};
        }
        std::string value = std::move(pendingContent_);
        ResetMeta();
        return value;
    }

    const std::string* own = &line;
    std::string previousCopy;
    std::size_t r = lower.rfind('=');
    if (lower.find('=') == r && !loneEquals_) {
        if (!Contains(previous_, "=")) {
            loneEquals_ = true;
            previous_ = line;
            return {};
        }
        // One "=" only: the value is taken from the line before instead.
        previousCopy = previous_;
        own = &previousCopy;
        AssignAsciiLower(lower, previousCopy);
        r = lower.find('=');
    }
    if (r == npos) {
        previous_ = lower;
        return {};
    }
    std::string value = Slice(*own, r, own->size() - 1);
    if (!Contains(lower, ">")) {
        contentContinues_ = true;
        pendingContent_ = std::move(value);
        previous_ = *own;
        return {};
    }
    ResetMeta();
    return value;
}

} // namespace sendwell
