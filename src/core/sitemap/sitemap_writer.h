// The URL database as a sitemap file, for search engines and for other tools that read sitemaps.
#pragma once

#include "core/base/outcome.h"

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

namespace sendwell {

class UrlDatabase;

// The sitemap of db: one <url> per distinct address in list order, its <lastmod> the latest "Last
// Sent" date of its rows when one is known. Bytes XML cannot carry (control characters, bytes that are
// not UTF-8) are percent-encoded, as an address would have them. count, when given, is set to the
// number of <url> entries.
std::string SitemapXml(const UrlDatabase& db, std::size_t* count = nullptr);

// The date "%m/%d/%Y" as "YYYY-MM-DD"; "" for any other text.
std::string SitemapDate(std::string_view listDate);

struct SitemapExport {
    Outcome outcome;     // failed: its text says why the file was not written
    std::string warning; // written anyway: more addresses than one sitemap may hold
    std::size_t addresses = 0;

    bool ok() const { return outcome.ok(); }
};

// Writes SitemapXml(db) to file through the atomic writer: a failure leaves an old file as it was.
SitemapExport ExportSitemap(const UrlDatabase& db, const std::filesystem::path& file);

} // namespace sendwell
