// The "&Keywords" command: asks a web search for the user's phrase, reads the KEYWORDS meta tags of
// the first five result pages and offers their words, merged, for the meta-tag writer. Every step and
// text is decided here; the windows are the GUI's.
#pragma once

#include "core/base/progress.h"
#include "core/base/prompt.h"
#include "core/meta/meta_scanner.h"
#include "core/web/page_fetcher.h"

#include <atomic>
#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace sendwell {

inline constexpr const char* kKeywordToolCaption = "Keyword Suggestion Tool";
inline constexpr const char* kKeywordToolText =
    "Enter your target keywords. You will then see a list of keywords used by the top 5 search engine "
    "results.";
inline constexpr const char* kEnterKeywordsText =
    "Please enter your target keywords to query the search engine.";
inline constexpr const char* kEnterKeywordsCaption = "Sendwell!";
inline constexpr const char* kSuggestedCaption = "Suggested Keywords";
inline constexpr const char* kSuggestedText =
    "Here are the suggested keywords for your topic, based on the top 5 results from Google.";
inline constexpr const char* kSuggestedHint =
    "Highlight the desired words and click Save to use them as your meta keywords tag in your web page.";
inline constexpr const char* kQueryingText = "Querying Google";
inline constexpr const char* kMergingText = "Merging Keywords";
inline constexpr const char* kDoneText = "Done!";
inline constexpr int kKeywordProgressMax = 10;
inline constexpr int kMostResults = 5;

// The keyword tool's page of the online help.
std::string KeywordHelpAddress();

// The typed text as it is queried: every comma becomes a space.
std::string QueryText(std::string_view typed);

// text with exactly the bytes an HTTP request line cannot carry percent-encoded (controls, space,
// '"', '#', '<', '>', '\', '^', '`', '{', '|', '}', DEL and every non-ASCII byte); the rest as typed.
std::string EncodeForRequestLine(std::string_view text);

// The search address for a typed text, on the configured search host.
std::string KeywordQueryAddress(std::string_view typed);

// The merged keyword list: words in order of first appearance, each exactly once (case-sensitive).
class MergedKeywords {
public:
    // Adds the words of a KEYWORDS text: cut at spaces and commas, tokens shorter than three bytes or
    // holding "<" or ">" dropped, words already listed skipped.
    void Merge(std::string_view keywordsText);
    const std::vector<std::string>& words() const { return words_; }
    void Clear();

private:
    std::vector<std::string> words_;
    std::unordered_set<std::string> seen_;
};

// The first results of a search answer page, in page order, at most kMostResults: the quoted HREF
// values met from the first line holding "<LI CLASS=G>" (any case) on, that hold "http://" and none
// of "/search?q=", "/url?", "." + ownDomain and "swr?q=".
std::vector<std::string> ResultAddresses(const LineList& answer, std::string_view ownDomain);

struct KeywordRunOptions {
    TransferLimits limits;
    std::string caFile;                        // tests' own certificates; empty: the system's
    const std::atomic<bool>* cancel = nullptr; // set: no further page is fetched
};

// The query and the result pages, fetched and merged into keywords. messages hears only "Cannot open
// internet connection.". Returns early, with what was merged so far, once cancel is set.
void CollectSuggestedKeywords(const std::string& typed, MetaScanner& scanner, MergedKeywords& keywords,
                              Progress& progress, Prompt& messages, const KeywordRunOptions& options = {});

// "&Save": the highlighted entries in list order, joined by "," with no spaces.
std::string JoinChosenKeywords(const std::vector<std::string>& chosen);

} // namespace sendwell
