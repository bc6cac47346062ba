#include "core/research/keyword_suggestion.h"

#include "core/base/ascii_case.h"
#include "core/base/hosts.h"
#include "core/base/vendor_addresses.h"

namespace sendwell {

namespace {

bool CannotCarry(unsigned char c) {
    if (c <= 0x20 || c >= 0x7F) {
        return true;
    }
    switch (c) {
    case '"':
    case '#':
    case '<':
    case '>':
    case '\\':
    case '^':
    case '`':
    case '{':
    case '|':
    case '}':
        return true;
    default:
        return false;
    }
}

bool Acceptable(std::string_view candidate, const std::string& ownDomain) {
    auto has = [candidate](std::string_view part) { return candidate.find(part) != std::string_view::npos; };
    return has("http://") && !has("/search?q=") && !has("/url?") && !has(ownDomain) && !has("swr?q=");
}

} // namespace

std::string KeywordHelpAddress() {
    return OnlineHelpAddress() + "#KEYWORDSUGGEST";
}

std::string QueryText(std::string_view typed) {
    std::string text(typed);
    for (char& c : text) {
        if (c == ',') {
            c = ' ';
        }
    }
    return text;
}

std::string EncodeForRequestLine(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (char ch : text) {
        auto c = static_cast<unsigned char>(ch);
        if (CannotCarry(c)) {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0x0F];
        } else {
            out += ch;
        }
    }
    return out;
}

std::string KeywordQueryAddress(std::string_view typed) {
    return "http://" + HostFor("GoogleSearch") + "/search?q=" + EncodeForRequestLine(QueryText(typed)) +
           "&hl=en&lr=&ie=UTF-8&oe=UTF-8";
}

void MergedKeywords::Merge(std::string_view text) {
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t start = text.find_first_not_of(" ,", at);
        if (start == std::string_view::npos) {
            break;
        }
        std::size_t end = text.find_first_of(" ,", start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        std::string_view token = text.substr(start, end - start);
        at = end;
        if (token.size() < 3 || token.find_first_of("<>") != std::string_view::npos) {
            continue;
        }
        std::string word(token);
        if (seen_.insert(word).second) {
            words_.push_back(std::move(word));
        }
    }
}

void MergedKeywords::Clear() {
    words_.clear();
    seen_.clear();
}

std::vector<std::string> ResultAddresses(const LineList& answer, std::string_view ownDomain) {
    std::string dotDomain(1, '.');
    dotDomain += ownDomain; // not "." + string: GCC 12 at -O3 warns there (-Wrestrict, GCC bug 105651)
    std::vector<std::string> found;
    bool inResults = false;
    std::string upper;
    for (const std::string& line : answer) {
        if (found.size() >= kMostResults) {
            break;
        }
        AssignAsciiUpper(upper, line);
        if (upper.find("<LI CLASS=G>") != std::string::npos) {
            inResults = true;
        }
        if (!inResults) {
            continue;
        }
        std::size_t p = 0;
        while (found.size() < kMostResults) {
            std::size_t h = upper.find("HREF", p);
            if (h == std::string::npos) {
                break;
            }
            std::size_t e = upper.find('=', h);
            if (e == std::string::npos) {
                break;
            }
            std::size_t s = e + 2;
            std::size_t q = upper.find('"', s); // npos also when s lies beyond the line
            if (q != std::string::npos) {
                std::string_view candidate = std::string_view(line).substr(s, q - s);
                if (Acceptable(candidate, dotDomain)) {
                    found.emplace_back(candidate);
                }
            }
            p = s + 1;
        }
    }
    return found;
}

namespace {

// A fetch the user is to hear about.
void Tell(Prompt& messages, const PageFetch& fetched) {
    if (!fetched.outcome.ok() && !fetched.outcome.text.empty()) {
        messages.ShowMessage(fetched.outcome.text, kAppCaption);
    }
}

} // namespace

void CollectSuggestedKeywords(const std::string& typed, MetaScanner& scanner, MergedKeywords& keywords,
                              Progress& progress, Prompt& messages, const KeywordRunOptions& options) {
    auto cancelled = [&options] { return options.cancel != nullptr && options.cancel->load(); };

    progress.SetStatusText(kQueryingText);
    progress.SetSteps(1, kKeywordProgressMax);
    std::vector<std::string> results;
    {
        PageFetcher query;
        query.limits = options.limits;
        query.connection.caFile = options.caFile;
        Tell(messages, query.FetchQueryPage(KeywordQueryAddress(typed)));
        progress.SetSteps(2, kKeywordProgressMax);
        results = ResultAddresses(query.lines, HostFor("GoogleDomain"));
    }

    int taken = 0;
    for (const std::string& address : results) {
        if (cancelled()) {
            return;
        }
        ++taken;
        progress.SetStatusText(address);
        PageFetcher page; // the environment's proxy, not the user's
        page.limits = options.limits;
        page.connection.caFile = options.caFile;
        Tell(messages, page.FetchPage(address));
        progress.SetSteps(1 + taken, kKeywordProgressMax);
        progress.SetStatusText(kMergingText);
        keywords.Merge(scanner.GetKeywords(page.lines));
    }
    progress.SetSteps(kKeywordProgressMax, kKeywordProgressMax);
    progress.SetStatusText(kDoneText);
}

std::string JoinChosenKeywords(const std::vector<std::string>& chosen) {
    std::string joined;
    for (std::size_t i = 0; i < chosen.size(); ++i) {
        joined += (i == 0 ? "" : ",") + chosen[i];
    }
    return joined;
}

} // namespace sendwell
