// Addresses from sitemaps: a sitemap file (plain or gzip-compressed), a sitemap index with the sitemaps
// it names, or a robots.txt whose "Sitemap:" lines name them. Local files are read from disk, http and
// https addresses through the one transfer routine. A read is all or nothing: any sitemap that cannot
// be had or understood ends it with an error and no addresses.
#pragma once

#include "core/base/connection_settings.h"
#include "core/base/outcome.h"
#include "core/web/transfer.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sendwell {

// What search engines accept in one sitemap; more is still read, with a warning.
inline constexpr std::size_t kSitemapMaxAddresses = 50000;
inline constexpr std::uint64_t kSitemapMaxBytes = 50ULL * 1024 * 1024;

struct SitemapLimits {
    // Uncompressed bytes read in all, over every file of one read: a compressed file that would grow
    // past this (a "zip bomb") ends the read instead of filling memory.
    std::uint64_t totalBytes = 1ULL << 30;
    // Memory for the parsed tree of one file, which may take many times the file's size: a file of
    // millions of empty elements ends the read instead of the program.
    std::size_t treeBytes = std::size_t{1} << 30;
    int maxDepth = 4;             // indexes within indexes followed at most
    std::size_t maxFiles = 10000; // sitemaps read at most; the rest are left out with a warning
};

struct SitemapOptions {
    ConnectionSettings connection; // for http and https sources
    SitemapLimits limits;
    TransferLimits requests; // each fetch's bounds; a sitemap that is still arriving at the time limit fails
    const std::atomic<bool>* stop = nullptr; // set from another thread to cancel
};

struct SitemapRead {
    // Failed (its text says why nothing was read) until the read has finished.
    Outcome outcome = Outcome::Failed({});
    // Every <loc> of every sitemap, blanks trimmed, in order; one holding a control character or bytes
    // that are not UTF-8 is left out, with a warning counting them.
    std::vector<std::string> addresses;
    // Each address's <lastmod> as written, blanks trimmed; "" when it has none. Parallel to addresses.
    std::vector<std::string> lastModified;
    std::vector<std::string> warnings; // read anyway: over the limits, sitemaps or addresses left out

    bool ok() const { return outcome.ok(); }
};

// Reads source: a local path, or an http or https address. A source whose text is not XML is read as
// a robots.txt. Children of a local index may be paths relative to the index's folder.
SitemapRead ReadSitemap(const std::string& source, const SitemapOptions& options = {});

// The same for bytes already in memory (gzip-compressed or not), named name in messages; children of
// an index are not followed but counted as addresses of nothing: only the bytes are checked.
SitemapRead ReadSitemapBytes(std::string_view bytes, const std::string& name,
                             const SitemapLimits& limits = {});

// Whether a local file should go to the sitemap reader rather than the text import: compressed, XML
// with a sitemap root, or named robots.txt.
bool LooksLikeSitemapFile(const std::string& path);

} // namespace sendwell
