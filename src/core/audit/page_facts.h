// What the audit reads from one fetched page: the facts its checks need, taken from the answer's head
// and from the HTML as a browser parses it. The parse tree is gone when ReadPage returns; a crawl keeps
// the few facts the cross-page checks need (see SiteFacts), not these.
#pragma once

#include "core/web/fetch_engine.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sendwell {

// The sites a crawl keeps to. A link to one of them is internal; the http and https forms of a host
// count as one site.
class SiteScope {
public:
    SiteScope() = default;
    explicit SiteScope(const std::vector<std::string>& startAddresses);
    void Add(std::string_view address);
    bool Contains(std::string_view address) const;

private:
    std::vector<std::string> keys_; // SiteKeyOf each start; a crawl has few
};

struct PageImage {
    std::string src; // resolved, or as written when it cannot be
    bool hasAlt = false;
    std::size_t altLength = 0; // in characters
};

struct HreflangLink {
    std::string code; // as written ("en-GB", "x-default")
    std::string href; // as written
    std::string url;  // resolved; "" when it cannot be
};

struct JsonLdScript {
    bool valid = false; // the text is JSON
    bool typed = false; // every item names an @type
    std::string error;  // why it is not JSON
};

struct PageFacts {
    // The answer.
    std::string url;      // as asked
    std::string finalUrl; // that answered; the asked one when none did
    bool answered = false;
    int status = 0;
    std::string failure; // why no answer came
    std::vector<FetchHop> chain;
    bool redirectLoop = false;
    std::chrono::microseconds firstByte{0};
    bool html = false; // the body is read as HTML (a 2xx answer of an HTML type, or of none)
    bool hsts = false;
    std::string headerCanonical; // of a "Link: <…>; rel=canonical" header, resolved
    bool headerNoindex = false;  // X-Robots-Tag says noindex (or none)
    std::string headerCharset;   // of Content-Type

    // The HTML.
    std::vector<std::string> titles;         // text, blanks collapsed
    std::vector<std::string> descriptions;   // content of <meta name=description>
    std::vector<std::string> canonicalHrefs; // of <link rel=canonical>, as written
    std::vector<std::string> canonicals;     // the same resolved ("" where one cannot be)
    bool metaNoindex = false;                // <meta name=robots> says noindex (or none)
    std::vector<int> headings;               // levels 1 to 6 in document order
    std::vector<PageImage> images;
    bool viewport = false;
    bool lang = false; // <html lang> is there and not empty
    std::vector<HreflangLink> hreflangs;
    bool ogTitle = false;
    bool ogDescription = false;
    bool ogImage = false;
    std::vector<JsonLdScript> jsonLd;
    std::vector<std::string> insecureLoads; // http images, scripts, style sheets, frames of an https page
    std::string metaCharset;
    bool metaKeywords = false;
    std::size_t words = 0;      // of visible text
    std::size_t elements = 0;   // in the parsed document
    bool nestingCut = false;    // the markup nests too deep (or a tag is huge): only the part before was read
    std::uint64_t textHash = 0; // of visible text with blanks collapsed; 0 when there is none

    // <a href> and <area href> targets, resolved, without fragment, each once, in order.
    std::vector<std::string> internalLinks;
    std::vector<std::string> externalLinks;

    bool noindex() const { return metaNoindex || headerNoindex; }
    // The canonical the page names, resolved: the HTML's first, else the header's; "" when none.
    std::string canonical() const;
};

// Elements nested deeper than this end the part of a page that is read.
inline constexpr int kMaxNesting = 2048;

// Reads one fetch result; scope decides which links are internal. Any bytes are safe.
PageFacts ReadPage(const FetchResult& result, const SiteScope& scope);

// Characters of UTF-8 text (bytes that do not continue a sequence).
std::size_t CharacterCount(std::string_view text);

} // namespace sendwell
