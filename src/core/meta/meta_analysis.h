// The "Analy&ze" command: fetches one page of the URL database, reads its title, description and
// keywords, and chooses one line of advice. The windows are the GUI's; every decision is made here.
#pragma once

#include "core/base/connection_settings.h"
#include "core/base/prompt.h"
#include "core/meta/meta_scanner.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace sendwell {

inline constexpr const char* kMetaCaption = "Sendwell!";
inline constexpr const char* kSelectPageText = "Select a web page URL to check the META tags";
inline constexpr const char* kNoMetaTagsText = "No meta tags were found on this web page. Use the Keywords "
                                               "tool to add meta-data to your web page.";
inline constexpr const char* kCheckingPageText = "Checking the web page";
inline constexpr const char* kFindingsCaption = "META Keywords Found";

struct MetaFindings {
    std::string address;
    std::string title;
    std::string description;
    std::vector<std::string> keywords;

    bool any() const { return !keywords.empty() || !title.empty() || !description.empty(); }
};

// The keyword text cut at every comma, tab and line feed; runs of separators give no empty entries and
// each piece stays as it is (a leading blank included).
std::vector<std::string> SplitKeywordText(std::string_view text);

// Keywords read straight from every line that holds META, KEYWORDS, "=" and CONTENT: the quoted text
// after CONTENT cut at commas, empty pieces kept. For pages whose tag the scanner does not make out.
std::vector<std::string> FallbackKeywords(const LineList& page);

// The one line of advice for what was found.
std::string AdviceFor(const MetaFindings& findings);

// Keywords, description and title of a fetched page, read in that order with scanner.
MetaFindings ReadFindings(MetaScanner& scanner, const LineList& page);

// What the command shows besides message boxes.
class AnalysisWindows {
public:
    virtual ~AnalysisWindows() = default;
    // Runs fetch to its end while the wait window names address. fetch touches no window.
    virtual void FetchBehindWaitWindow(const std::string& address, const std::function<void()>& fetch) = 0;
    // The "META Keywords Found" window; returns when the user has closed it.
    virtual void ShowFindings(const MetaFindings& findings, const std::string& advice) = 0;
};

// The whole command for address ("" when no row is selected), fetched with the user's proxy settings.
// connectTimeout is the page fetch's, in seconds.
void AnalyzeMetaTags(const std::string& address, const ConnectionSettings& settings, MetaScanner& scanner,
                     Prompt& messages, AnalysisWindows& windows, int connectTimeout = 20);

} // namespace sendwell
