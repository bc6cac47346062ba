#include "core/submit/answer_text.h"

#include "core/base/ascii_case.h"

#include <algorithm>
#include <vector>

namespace sendwell {

namespace {

constexpr std::string_view kScriptOpen = "<script";
constexpr std::string_view kScriptOpenSubstitute = "<!--";
constexpr std::string_view kScriptClose = "</script>";
constexpr std::string_view kScriptCloseSubstitute = "-->";

bool IsProperPrefixOf(std::string_view text, std::string_view tag) {
    return text.size() < tag.size() && tag.substr(0, text.size()) == text;
}

// Converts text; when holdBack is set, a trailing piece that may still grow into a tag is not converted
// but returned through carry. Text between the tags that change is appended in one piece.
void Convert(std::string_view text, std::string& out, bool holdBack, std::string* carry) {
    std::size_t copied = 0; // text before this is in out
    for (std::size_t i = text.find('<'); i != std::string_view::npos; i = text.find('<', i)) {
        std::string_view rest = text.substr(i);
        std::string_view substitute;
        std::size_t replaced = 0;
        if (rest.starts_with(kScriptOpen)) {
            substitute = kScriptOpenSubstitute;
            replaced = kScriptOpen.size();
        } else if (rest.starts_with(kScriptClose)) {
            substitute = kScriptCloseSubstitute;
            replaced = kScriptClose.size();
        } else if (holdBack &&
                   (IsProperPrefixOf(rest, kScriptOpen) || IsProperPrefixOf(rest, kScriptClose))) {
            out.append(text.substr(copied, i - copied));
            carry->assign(rest);
            return;
        } else {
            ++i;
            continue;
        }
        out.append(text.substr(copied, i - copied)).append(substitute);
        i += replaced;
        copied = i;
    }
    out.append(text.substr(copied));
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

namespace {

// A lower-case text looked for without regard to ASCII letter case, Horspool's way: each try compares from
// the end and then skips by the table, so a page is mostly passed over in steps of the text's length.
class CaseBlindNeedle {
public:
    explicit CaseBlindNeedle(std::string_view text) : text_(text) {
        skip_.fill(text.size());
        for (std::size_t k = 0; k + 1 < text.size(); ++k) {
            const auto c = static_cast<unsigned char>(text[k]);
            skip_[c] = text.size() - 1 - k;
            skip_[static_cast<unsigned char>(AsciiUpper(static_cast<char>(c)))] = text.size() - 1 - k;
        }
    }

    bool FoundIn(std::string_view hay) const {
        const std::size_t m = text_.size();
        for (std::size_t at = 0; at + m <= hay.size();) {
            std::size_t j = m;
            while (j > 0 && AsciiLower(hay[at + j - 1]) == text_[j - 1]) {
                --j;
            }
            if (j == 0) {
                return true;
            }
            at += skip_[static_cast<unsigned char>(hay[at + m - 1])];
        }
        return false;
    }

private:
    std::string_view text_;
    std::array<std::size_t, 256> skip_{};
};

template <std::size_t N>
std::vector<CaseBlindNeedle> NeedlesFor(const std::array<std::string_view, N>& texts) {
    return {texts.begin(), texts.end()};
}

} // namespace

void ErrorMarkerScan::Feed(std::string_view in) {
    static const std::vector<CaseBlindNeedle> markers = NeedlesFor(kErrorMarkers);
    // Every marker holds one of these, so text holding neither needs no closer look.
    static constexpr std::array<std::string_view, 2> kCores{"not found", "error"};
    static_assert(std::all_of(kErrorMarkers.begin(), kErrorMarkers.end(), [](std::string_view marker) {
        return std::any_of(kCores.begin(), kCores.end(), [&](std::string_view core) {
            return marker.find(core) != std::string_view::npos;
        });
    }));
    static const std::vector<CaseBlindNeedle> cores = NeedlesFor(kCores);
    auto holdsMarker = [](std::string_view text) {
        auto in = [&](const CaseBlindNeedle& needle) { return needle.FoundIn(text); };
        return std::any_of(cores.begin(), cores.end(), in) && std::any_of(markers.begin(), markers.end(), in);
    };
    if (found_ || in.empty()) {
        return;
    }
    // A marker begun in the kept tail ends within the first kKeep bytes of this piece; any other lies
    // within the piece.
    std::array<char, 2 * kKeep> seam;
    const std::size_t head = std::min(in.size(), kKeep);
    std::copy_n(tail_.begin(), tailSize_, seam.begin());
    std::copy_n(in.begin(), head, seam.begin() + static_cast<std::ptrdiff_t>(tailSize_));
    const std::string_view joined(seam.data(), tailSize_ + head);
    if ((tailSize_ > 0 && holdsMarker(joined)) || holdsMarker(in)) {
        found_ = true;
        return;
    }
    const std::string_view last = in.size() >= kKeep ? in.substr(in.size() - kKeep) : joined;
    tailSize_ = std::min(kKeep, last.size());
    std::copy(last.end() - static_cast<std::ptrdiff_t>(tailSize_), last.end(), tail_.begin());
}

} // namespace sendwell
