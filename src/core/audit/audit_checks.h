// The site audit's checks: one table of stable ids, severities and short descriptions that every output
// prints, and the finding a check yields. Ids never change once released: reports and scripts key on them.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace sendwell {

enum class Severity { Notice, Warning, Error };

// "notice", "warning", "error".
std::string_view SeverityName(Severity severity);
std::optional<Severity> SeverityNamed(std::string_view name);

// In the order of the table that outputs print.
enum class Check {
    HttpError,
    RedirectChain,
    RedirectLoop,
    LinksToRedirect,
    BrokenLink,
    TitleMissing,
    TitleEmpty,
    TitleMultiple,
    TitleShort,
    TitleLong,
    TitleDuplicate,
    DescriptionMissing,
    DescriptionMultiple,
    DescriptionShort,
    DescriptionLong,
    DescriptionDuplicate,
    H1Missing,
    H1Multiple,
    HeadingSkip,
    CanonicalMissing,
    CanonicalRelative,
    CanonicalMultiple,
    CanonicalConflict,
    CanonicalBroken,
    Noindex,
    RobotsBlocked,
    ImgAltMissing,
    ImgAltLong,
    ViewportMissing,
    LangMissing,
    HreflangInvalid,
    HreflangRelative,
    HreflangNoReturn,
    HreflangNoXDefault,
    OgMissing,
    JsonldInvalid,
    JsonldNoType,
    MixedContent,
    HttpOnly,
    HstsMissing,
    ThinContent,
    DomLarge,
    SlowResponse,
    CharsetMissing,
    MetaKeywords,
    DuplicateContent,
    DeepPage,
    OrphanPage,
    SitemapListsError,
    SitemapListsNoindex,
    SitemapListsRedirect,
    SitemapListsNonCanonical,
    SitemapListsBlocked,
    RobotsTxtMissing,
    RobotsTxtError,
    SitemapMissing,
};

struct CheckInfo {
    Check check;
    std::string_view id; // "title-missing"
    Severity severity;
    std::string_view description;
};

// Every check, in the order of Check.
std::span<const CheckInfo> AllChecks();
const CheckInfo& InfoOf(Check check);
std::optional<Check> CheckWithId(std::string_view id);

// The group a check belongs to in charts and summaries: "Answers", "Links", "Titles", "Descriptions",
// "Headings", "Canonicals", "Indexing", "Images", "Mobile", "Languages", "Social", "Structured data",
// "Security", "Content", "Speed", "Sitemaps", "robots.txt".
std::string_view CategoryOf(Check check);

// What a check found at one address. detail says what exactly (the title that is too long, the status
// that came); related names a second address where there is one (the page linked to, the other page
// with the same title), else it is empty.
struct Finding {
    Check check;
    std::string address;
    std::string detail;
    std::string related;

    std::string_view id() const { return InfoOf(check).id; }
    Severity severity() const { return InfoOf(check).severity; }
};

} // namespace sendwell
