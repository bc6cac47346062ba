#include "core/audit/audit_checks.h"

#include <array>

namespace sendwell {

namespace {

using enum Check;
using enum Severity;

constexpr std::array kChecks{
    CheckInfo{HttpError, "http-error", Error, "The page answers 4xx or 5xx, or not at all"},
    CheckInfo{RedirectChain, "redirect-chain", Warning, "More than one redirect to reach the page"},
    CheckInfo{RedirectLoop, "redirect-loop", Error, "The page's redirects lead in a circle"},
    CheckInfo{LinksToRedirect, "links-to-redirect", Notice,
              "An internal link points at an address that redirects"},
    CheckInfo{BrokenLink, "broken-link", Error, "A link's target answers 4xx or 5xx, or not at all"},
    CheckInfo{TitleMissing, "title-missing", Error, "The page has no title"},
    CheckInfo{TitleEmpty, "title-empty", Error, "The page's title is empty"},
    CheckInfo{TitleMultiple, "title-multiple", Warning, "The page has more than one title"},
    CheckInfo{TitleShort, "title-short", Warning, "The title has fewer than 20 characters"},
    CheckInfo{TitleLong, "title-long", Warning, "The title has more than 60 characters"},
    CheckInfo{TitleDuplicate, "title-duplicate", Warning, "The same title is on two or more pages"},
    CheckInfo{DescriptionMissing, "description-missing", Warning, "The page has no meta description"},
    CheckInfo{DescriptionMultiple, "description-multiple", Warning,
              "The page has more than one meta description"},
    CheckInfo{DescriptionShort, "description-short", Notice, "The description has fewer than 70 characters"},
    CheckInfo{DescriptionLong, "description-long", Warning, "The description has more than 160 characters"},
    CheckInfo{DescriptionDuplicate, "description-duplicate", Warning,
              "The same description is on two or more pages"},
    CheckInfo{H1Missing, "h1-missing", Warning, "The page has no h1 heading"},
    CheckInfo{H1Multiple, "h1-multiple", Notice, "The page has more than one h1 heading"},
    CheckInfo{HeadingSkip, "heading-skip", Notice, "A heading level jumps by more than one"},
    CheckInfo{CanonicalMissing, "canonical-missing", Notice, "The page names no canonical address"},
    CheckInfo{CanonicalRelative, "canonical-relative", Warning, "The canonical address is relative"},
    CheckInfo{CanonicalMultiple, "canonical-multiple", Error,
              "The page names more than one canonical address"},
    CheckInfo{CanonicalConflict, "canonical-conflict", Error,
              "The Link header and the HTML name different canonical addresses"},
    CheckInfo{CanonicalBroken, "canonical-broken", Error, "The canonical address answers other than 200"},
    CheckInfo{Noindex, "noindex", Warning, "A robots meta tag or X-Robots-Tag says noindex"},
    CheckInfo{RobotsBlocked, "robots-blocked", Warning, "robots.txt disallows a linked or listed page"},
    CheckInfo{ImgAltMissing, "img-alt-missing", Warning, "An image has no alt text"},
    CheckInfo{ImgAltLong, "img-alt-long", Notice, "An image's alt text has more than 100 characters"},
    CheckInfo{ViewportMissing, "viewport-missing", Warning, "The page has no viewport meta tag"},
    CheckInfo{LangMissing, "lang-missing", Notice, "The html element has no lang"},
    CheckInfo{HreflangInvalid, "hreflang-invalid", Warning,
              "An hreflang is not a language(-region) code or x-default"},
    CheckInfo{HreflangRelative, "hreflang-relative", Warning, "An hreflang address is relative"},
    CheckInfo{HreflangNoReturn, "hreflang-no-return", Warning, "An hreflang target does not link back"},
    CheckInfo{HreflangNoXDefault, "hreflang-no-x-default", Notice, "The hreflang links have no x-default"},
    CheckInfo{OgMissing, "og-missing", Notice, "No og:title, og:description or og:image"},
    CheckInfo{JsonldInvalid, "jsonld-invalid", Error, "A JSON-LD script is not JSON"},
    CheckInfo{JsonldNoType, "jsonld-no-type", Warning, "A JSON-LD script has no @type"},
    CheckInfo{MixedContent, "mixed-content", Error,
              "An https page loads an http image, script, style sheet or frame"},
    CheckInfo{HttpOnly, "http-only", Warning,
              "Pages are served over http and the https form does not answer"},
    CheckInfo{HstsMissing, "hsts-missing", Notice, "An https page without Strict-Transport-Security"},
    CheckInfo{ThinContent, "thin-content", Notice, "Fewer than 200 words of visible text"},
    CheckInfo{DomLarge, "dom-large", Notice, "More than 1,500 elements"},
    CheckInfo{SlowResponse, "slow-response", Warning, "Time to first byte over 800 ms"},
    CheckInfo{CharsetMissing, "charset-missing", Notice,
              "No charset in the Content-Type header or a meta tag"},
    CheckInfo{MetaKeywords, "meta-keywords", Notice, "A keywords meta tag, which search engines ignore"},
    CheckInfo{DuplicateContent, "duplicate-content", Warning,
              "The same visible text at two addresses without a canonical between them"},
    CheckInfo{DeepPage, "deep-page", Notice, "More than 4 clicks from the start"},
    CheckInfo{OrphanPage, "orphan-page", Notice, "Listed in the sitemap, linked from no crawled page"},
    CheckInfo{SitemapListsError, "sitemap-lists-error", Warning,
              "The sitemap lists a page that answers an error"},
    CheckInfo{SitemapListsNoindex, "sitemap-lists-noindex", Warning, "The sitemap lists a noindex page"},
    CheckInfo{SitemapListsRedirect, "sitemap-lists-redirect", Warning,
              "The sitemap lists an address that redirects"},
    CheckInfo{SitemapListsNonCanonical, "sitemap-lists-non-canonical", Warning,
              "The sitemap lists a page whose canonical is another address"},
    CheckInfo{SitemapListsBlocked, "sitemap-lists-blocked", Warning,
              "The sitemap lists a page that robots.txt disallows"},
    CheckInfo{RobotsTxtMissing, "robots-txt-missing", Notice, "The site has no robots.txt"},
    CheckInfo{RobotsTxtError, "robots-txt-error", Error, "robots.txt answers 5xx or not at all"},
    CheckInfo{SitemapMissing, "sitemap-missing", Notice, "No sitemap in robots.txt and none at /sitemap.xml"},
};

constexpr bool InCheckOrder() {
    for (std::size_t i = 0; i < kChecks.size(); ++i) {
        if (static_cast<std::size_t>(kChecks[i].check) != i) {
            return false;
        }
    }
    return kChecks.size() == static_cast<std::size_t>(SitemapMissing) + 1;
}
static_assert(InCheckOrder(), "the check table lists every check once, in the order of Check");

} // namespace

std::string_view SeverityName(Severity severity) {
    switch (severity) {
    case Notice:
        return "notice";
    case Warning:
        return "warning";
    case Error:
        return "error";
    }
    return "error";
}

std::optional<Severity> SeverityNamed(std::string_view name) {
    for (Severity s : {Notice, Warning, Error}) {
        if (SeverityName(s) == name) {
            return s;
        }
    }
    return std::nullopt;
}

std::span<const CheckInfo> AllChecks() {
    return kChecks;
}

const CheckInfo& InfoOf(Check check) {
    return kChecks[static_cast<std::size_t>(check)];
}

std::optional<Check> CheckWithId(std::string_view id) {
    for (const CheckInfo& info : kChecks) {
        if (info.id == id) {
            return info.check;
        }
    }
    return std::nullopt;
}

std::string_view CategoryOf(Check check) {
    switch (check) {
    case HttpError:
    case RedirectChain:
    case RedirectLoop:
        return "Answers";
    case LinksToRedirect:
    case BrokenLink:
    case DeepPage:
    case OrphanPage:
        return "Links";
    case TitleMissing:
    case TitleEmpty:
    case TitleMultiple:
    case TitleShort:
    case TitleLong:
    case TitleDuplicate:
        return "Titles";
    case DescriptionMissing:
    case DescriptionMultiple:
    case DescriptionShort:
    case DescriptionLong:
    case DescriptionDuplicate:
        return "Descriptions";
    case H1Missing:
    case H1Multiple:
    case HeadingSkip:
        return "Headings";
    case CanonicalMissing:
    case CanonicalRelative:
    case CanonicalMultiple:
    case CanonicalConflict:
    case CanonicalBroken:
        return "Canonicals";
    case Noindex:
    case RobotsBlocked:
        return "Indexing";
    case ImgAltMissing:
    case ImgAltLong:
        return "Images";
    case ViewportMissing:
        return "Mobile";
    case LangMissing:
    case HreflangInvalid:
    case HreflangRelative:
    case HreflangNoReturn:
    case HreflangNoXDefault:
        return "Languages";
    case OgMissing:
        return "Social";
    case JsonldInvalid:
    case JsonldNoType:
        return "Structured data";
    case MixedContent:
    case HttpOnly:
    case HstsMissing:
        return "Security";
    case ThinContent:
    case DomLarge:
    case CharsetMissing:
    case MetaKeywords:
    case DuplicateContent:
        return "Content";
    case SlowResponse:
        return "Speed";
    case SitemapListsError:
    case SitemapListsNoindex:
    case SitemapListsRedirect:
    case SitemapListsNonCanonical:
    case SitemapListsBlocked:
    case SitemapMissing:
        return "Sitemaps";
    case RobotsTxtMissing:
    case RobotsTxtError:
        return "robots.txt";
    }
    return "Content";
}

} // namespace sendwell
