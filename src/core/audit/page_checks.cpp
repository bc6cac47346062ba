#include "core/audit/page_checks.h"

#include "core/audit/audit_address.h"
#include "core/base/ascii_case.h"

#include <algorithm>
#include <set>

namespace sendwell {

namespace {

constexpr std::size_t kTitleMin = 20;
constexpr std::size_t kTitleMax = 60;
constexpr std::size_t kDescriptionMin = 70;
constexpr std::size_t kDescriptionMax = 160;
constexpr std::size_t kAltMax = 100;
constexpr std::size_t kThinWords = 200;
constexpr std::size_t kLargeDom = 1500;
constexpr std::chrono::milliseconds kSlowFirstByte{800};

bool AllOf(std::string_view text, bool (*test)(char)) {
    return !text.empty() && std::all_of(text.begin(), text.end(), test);
}
bool IsLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

std::string Quoted(std::string_view text) {
    return "\"" + std::string(text) + "\"";
}

std::string CharactersText(std::size_t n) {
    return std::to_string(n) + (n == 1 ? " character" : " characters");
}

// "3 images without alt: /a.png, /b.png, …" for a page's list of offenders.
std::string Listed(std::size_t count, std::string_view what, const std::vector<std::string>& items) {
    std::string text = std::to_string(count) + " " + std::string(what);
    constexpr std::size_t kShown = 3;
    for (std::size_t i = 0; i < items.size() && i < kShown; ++i) {
        text += (i == 0 ? ": " : ", ") + items[i];
    }
    if (items.size() > kShown) {
        text += ", …";
    }
    return text;
}

class Collector {
public:
    explicit Collector(std::vector<Finding>& out) : out_(out) {}
    void Add(Check check, const std::string& address, std::string detail, std::string related = {}) {
        out_.push_back(Finding{check, address, std::move(detail), std::move(related)});
    }

private:
    std::vector<Finding>& out_;
};

void CheckAnswer(const PageFacts& page, Collector& found) {
    if (page.redirectLoop) {
        std::string path;
        for (const FetchHop& hop : page.chain) {
            path += hop.url + " → ";
        }
        found.Add(Check::RedirectLoop, page.url, path + page.finalUrl);
    } else if (!page.answered) {
        found.Add(Check::HttpError, page.url, page.failure.empty() ? "no answer" : page.failure);
    } else if (page.status >= 400) {
        found.Add(Check::HttpError, page.url, "HTTP " + std::to_string(page.status),
                  page.finalUrl != page.url ? page.finalUrl : "");
    }
    if (!page.redirectLoop && page.chain.size() > 1) {
        found.Add(Check::RedirectChain, page.url, std::to_string(page.chain.size()) + " redirects",
                  page.finalUrl);
    }
    if (page.answered && page.firstByte > kSlowFirstByte) {
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(page.firstByte).count();
        found.Add(Check::SlowResponse, page.url, std::to_string(ms) + " ms to the first byte");
    }
}

void CheckTitleAndDescription(const PageFacts& page, Collector& found) {
    const std::string& at = page.finalUrl;
    if (page.titles.empty()) {
        found.Add(Check::TitleMissing, at, "no <title>");
    } else {
        if (page.titles.size() > 1) {
            found.Add(Check::TitleMultiple, at, std::to_string(page.titles.size()) + " titles");
        }
        const std::string& title = page.titles.front();
        const std::size_t length = CharacterCount(title);
        if (title.empty()) {
            found.Add(Check::TitleEmpty, at, "<title> holds no text");
        } else if (length < kTitleMin) {
            found.Add(Check::TitleShort, at, CharactersText(length) + ": " + Quoted(title));
        } else if (length > kTitleMax) {
            found.Add(Check::TitleLong, at, CharactersText(length) + ": " + Quoted(title));
        }
    }
    if (page.descriptions.empty()) {
        found.Add(Check::DescriptionMissing, at, "no <meta name=\"description\">");
        return;
    }
    if (page.descriptions.size() > 1) {
        found.Add(Check::DescriptionMultiple, at, std::to_string(page.descriptions.size()) + " descriptions");
    }
    const std::string& description = page.descriptions.front();
    const std::size_t length = CharacterCount(description);
    if (length < kDescriptionMin) {
        found.Add(Check::DescriptionShort, at, CharactersText(length) + ": " + Quoted(description));
    } else if (length > kDescriptionMax) {
        found.Add(Check::DescriptionLong, at, CharactersText(length));
    }
}

void CheckHeadings(const PageFacts& page, Collector& found) {
    const std::string& at = page.finalUrl;
    const auto h1 = std::count(page.headings.begin(), page.headings.end(), 1);
    if (h1 == 0) {
        found.Add(Check::H1Missing, at, "no <h1>");
    } else if (h1 > 1) {
        found.Add(Check::H1Multiple, at, std::to_string(h1) + " <h1> headings");
    }
    // Going back up any number of levels is fine; going down may not pass one by.
    for (std::size_t i = 1; i < page.headings.size(); ++i) {
        if (page.headings[i] > page.headings[i - 1] + 1) {
            found.Add(Check::HeadingSkip, at,
                      "h" + std::to_string(page.headings[i - 1]) + " → h" + std::to_string(page.headings[i]));
            break;
        }
    }
}

void CheckCanonical(const PageFacts& page, Collector& found) {
    const std::string& at = page.finalUrl;
    if (page.canonicalHrefs.empty() && page.headerCanonical.empty()) {
        found.Add(Check::CanonicalMissing, at, "no rel=canonical link or header");
        return;
    }
    for (const std::string& href : page.canonicalHrefs) {
        if (!IsAbsoluteReference(href)) {
            found.Add(Check::CanonicalRelative, at, Quoted(href));
            break;
        }
    }
    const std::set<std::string> distinct(page.canonicals.begin(), page.canonicals.end());
    if (distinct.size() > 1) {
        found.Add(
            Check::CanonicalMultiple, at, std::to_string(distinct.size()) + " different canonical addresses",
            *distinct.begin() == page.canonicals.front() ? *std::next(distinct.begin()) : *distinct.begin());
    }
    if (!page.headerCanonical.empty() && !page.canonicals.empty() && !page.canonicals.front().empty() &&
        page.canonicals.front() != page.headerCanonical) {
        found.Add(Check::CanonicalConflict, at,
                  "the Link header names " + page.headerCanonical + ", the HTML " + page.canonicals.front(),
                  page.headerCanonical);
    }
}

void CheckMarkup(const PageFacts& page, Collector& found) {
    const std::string& at = page.finalUrl;
    if (page.noindex()) {
        found.Add(Check::Noindex, at,
                  page.metaNoindex && page.headerNoindex ? "robots meta tag and X-Robots-Tag header"
                  : page.metaNoindex                     ? "robots meta tag"
                                                         : "X-Robots-Tag header");
    }
    std::vector<std::string> noAlt;
    std::vector<std::string> longAlt;
    for (const PageImage& image : page.images) {
        if (!image.hasAlt) {
            noAlt.push_back(image.src);
        } else if (image.altLength > kAltMax) {
            longAlt.push_back(image.src);
        }
    }
    if (!noAlt.empty()) {
        found.Add(Check::ImgAltMissing, at, Listed(noAlt.size(), "images without alt", noAlt), noAlt.front());
    }
    if (!longAlt.empty()) {
        found.Add(Check::ImgAltLong, at, Listed(longAlt.size(), "images with a long alt", longAlt),
                  longAlt.front());
    }
    if (!page.viewport) {
        found.Add(Check::ViewportMissing, at, "no <meta name=\"viewport\">");
    }
    if (!page.lang) {
        found.Add(Check::LangMissing, at, "<html> has no lang");
    }
    bool xDefault = false;
    for (const HreflangLink& link : page.hreflangs) {
        xDefault = xDefault || AsciiEqualNoCase(link.code, "x-default");
        if (!IsHreflangCode(link.code)) {
            found.Add(Check::HreflangInvalid, at, Quoted(link.code), link.url);
        }
        if (!IsAbsoluteReference(link.href)) {
            found.Add(Check::HreflangRelative, at, Quoted(link.href), link.url);
        }
    }
    if (!page.hreflangs.empty() && !xDefault) {
        found.Add(Check::HreflangNoXDefault, at, std::to_string(page.hreflangs.size()) + " hreflang links");
    }
    if (!page.ogTitle || !page.ogDescription || !page.ogImage) {
        std::string missing;
        for (const auto& [present, name] :
             {std::pair{page.ogTitle, "og:title"}, std::pair{page.ogDescription, "og:description"},
              std::pair{page.ogImage, "og:image"}}) {
            if (!present) {
                missing += (missing.empty() ? "no " : ", ") + std::string(name);
            }
        }
        found.Add(Check::OgMissing, at, missing);
    }
    for (const JsonLdScript& script : page.jsonLd) {
        if (!script.valid) {
            found.Add(Check::JsonldInvalid, at, script.error);
        } else if (!script.typed) {
            found.Add(Check::JsonldNoType, at, "no @type");
        }
    }
    if (!page.insecureLoads.empty()) {
        found.Add(Check::MixedContent, at,
                  Listed(page.insecureLoads.size(), "http loads", page.insecureLoads),
                  page.insecureLoads.front());
    }
    if (AsciiStartsWithNoCase(at, "https://") && !page.hsts) {
        found.Add(Check::HstsMissing, at, "no Strict-Transport-Security header");
    }
    if (page.words < kThinWords) {
        found.Add(Check::ThinContent, at, std::to_string(page.words) + " words");
    }
    if (page.elements > kLargeDom) {
        found.Add(Check::DomLarge, at,
                  page.nestingCut ? "elements nested more than " + std::to_string(kMaxNesting) +
                                        " deep; only the part above them was read"
                                  : std::to_string(page.elements) + " elements");
    }
    if (page.headerCharset.empty() && page.metaCharset.empty()) {
        found.Add(Check::CharsetMissing, at, "no charset in Content-Type or a meta tag");
    }
    if (page.metaKeywords) {
        found.Add(Check::MetaKeywords, at, "<meta name=\"keywords\">");
    }
}

} // namespace

bool IsHreflangCode(std::string_view code) {
    if (AsciiEqualNoCase(code, "x-default")) {
        return true;
    }
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    while (true) {
        const std::size_t dash = code.find('-', start);
        parts.push_back(code.substr(start, dash == std::string_view::npos ? dash : dash - start));
        if (dash == std::string_view::npos) {
            break;
        }
        start = dash + 1;
    }
    if (parts.size() > 3 || parts[0].size() < 2 || parts[0].size() > 3 || !AllOf(parts[0], IsLetter)) {
        return false;
    }
    std::size_t i = 1;
    if (i < parts.size() && parts[i].size() == 4 && AllOf(parts[i], IsLetter)) {
        ++i; // script
    }
    if (i < parts.size() && ((parts[i].size() == 2 && AllOf(parts[i], IsLetter)) ||
                             (parts[i].size() == 3 && AllOf(parts[i], IsDigit)))) {
        ++i; // region
    }
    return i == parts.size();
}

std::vector<Finding> CheckPage(const PageFacts& page) {
    std::vector<Finding> findings;
    Collector found(findings);
    CheckAnswer(page, found);
    if (page.html) {
        CheckTitleAndDescription(page, found);
        CheckHeadings(page, found);
        CheckCanonical(page, found);
        CheckMarkup(page, found);
    }
    return findings;
}

} // namespace sendwell
