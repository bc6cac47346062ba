#include "core/meta/meta_analysis.h"

#include "core/base/ascii_case.h"
#include "core/base/char_sets.h"

#include <chrono>

namespace sendwell {

namespace {

// The quoted list after CONTENT on one line, cut at commas.
void ReadContentPieces(const std::string& line, const std::string& upper, std::vector<std::string>& out) {
    const std::size_t content = upper.find("CONTENT");
    if (content == std::string::npos) {
        return;
    }
    const std::size_t quote = line.find('"', content);
    if (quote == std::string::npos) {
        return;
    }
    std::size_t i = quote + 1;
    auto ends = [&](std::size_t at) { return at >= line.size() || line[at] == '"' || line[at] == '>'; };
    if (ends(i)) {
        return;
    }
    for (;;) {
        const std::size_t stop = line.find_first_of(",\"", i);
        const std::size_t end = stop == std::string::npos ? line.size() : stop;
        out.push_back(line.substr(i, end - i));
        i = end;
        if (i < line.size() && line[i] == ',') {
            ++i;
        }
        if (ends(i)) {
            return;
        }
    }
}

} // namespace

std::vector<std::string> SplitKeywordText(std::string_view text) {
    return SplitAny(text, ",\t\n", /*keepEmpty=*/false);
}

std::vector<std::string> FallbackKeywords(const LineList& page) {
    std::vector<std::string> keywords;
    for (const std::string& line : page) {
        const std::string upper = AsciiUpper(line);
        if (upper.find("META") != std::string::npos && upper.find("KEYWORDS") != std::string::npos &&
            upper.find('=') != std::string::npos) {
            ReadContentPieces(line, upper, keywords);
        }
    }
    return keywords;
}

std::string AdviceFor(const MetaFindings& findings) {
    if (findings.title.empty()) {
        return "This web page needs a keyword-rich title.";
    }
    if (findings.keywords.empty()) {
        return "This web page needs meta keywords. Use the Keywords tool.";
    }
    const int score = 1 + (findings.description.empty() ? 0 : 1) + (findings.keywords.size() > 3 ? 1 : 0);
    return score == 3 ? "This page is search engine ready!"
                      : "This web page can use more meta-data. Use the Keywords tool.";
}

MetaFindings ReadFindings(MetaScanner& scanner, const LineList& page) {
    MetaFindings findings;
    const std::string keywordText = scanner.GetKeywords(page);
    findings.description = scanner.GetDescription(page);
    findings.title = scanner.GetTitle(page);
    findings.keywords = SplitKeywordText(keywordText);
    if (findings.keywords.empty() && !page.empty()) {
        findings.keywords = FallbackKeywords(page);
    }
    return findings;
}

void AnalyzeMetaTags(const std::string& address, const ConnectionSettings& settings, MetaScanner& scanner,
                     Prompt& messages, AnalysisWindows& windows, int connectTimeout) {
    if (address.empty()) {
        messages.ShowMessage(kSelectPageText, kMetaCaption);
        return;
    }

    PageFetcher fetcher;
    fetcher.connection = settings;
    fetcher.limits.connect = std::chrono::seconds(connectTimeout);
    PageFetch fetched;
    windows.FetchBehindWaitWindow(address, [&] { fetched = fetcher.FetchPage(address); });
    // Told once the fetch is over, so that nothing is shown from the fetching thread.
    if (!fetched.outcome.ok() && !fetched.outcome.text.empty()) {
        messages.ShowMessage(fetched.outcome.text, kAppCaption);
    }

    MetaFindings findings = ReadFindings(scanner, fetcher.lines);
    findings.address = address;
    if (!findings.any()) {
        messages.ShowMessage(kNoMetaTagsText, kMetaCaption, MessageIcon::Information);
        return;
    }
    windows.ShowFindings(findings, AdviceFor(findings));
}

} // namespace sendwell
