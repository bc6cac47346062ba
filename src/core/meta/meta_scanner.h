// Reads the title and the KEYWORDS and DESCRIPTION meta contents out of a page held as lines. It is a
// tolerant text matcher, not an HTML parser: it looks for words regardless of case, carries partial
// matches from one line to the next, and strips quotes and brackets from what it returns.
#pragma once

#include "core/web/page_fetcher.h"

#include <string>
#include <string_view>

namespace sendwell {

// The scanner keeps what it has half-matched (an unfinished title, a META tag whose NAME or CONTENT
// is still to come) and carries it into the next line, the next call and the next page; only a
// returned value or a failed META name clears it. A caller that keeps one scanner across pages has
// pages read one after the other share that state. Not for use from two threads at once.
class MetaScanner {
public:
    // fetched is the fetcher's own line list, the page last fetched: the whole-page title search always
    // reads it. lines is the list to walk; without one, the fetched page.
    std::string GetTitle(const LineList& fetched, const LineList* lines = nullptr);
    std::string GetTagText(const LineList& fetched, const LineList* lines, std::string_view tag);

    // The content of the first META tag of that name in lines, without double quotes, "=" and ">".
    std::string GetKeywords(const LineList& lines);
    std::string GetDescription(const LineList& lines);
    std::string GetMetaContent(const LineList& lines, std::string_view name);

private:
    std::string LineTagText(const std::string& line, const std::string& lowerTag);
    std::string MetaValue(const std::string& line, const std::string& lowerName);
    void ResetMeta();

    // Line-wise tag search: text collected so far, and whether it goes on in the next line.
    std::string tagText_;
    bool tagContinues_ = false;

    // META reader.
    int metaStage_ = 0; // 0 nothing seen, 1 "meta" seen, 2 the NAME seen
    bool seenFirstLine_ = false;
    std::string previous_;
    std::string pendingContent_;
    bool contentContinues_ = false;
    bool loneEquals_ = false;

    std::string lower_; // the line being read, lower-cased; kept only to reuse its storage
};

} // namespace sendwell
