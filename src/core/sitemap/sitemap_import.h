// Importing a sitemap into the URL database, one routine for the window and the command line. The
// sitemap is read first, away from the database, since fetching may take a while (the window reads off
// the UI thread, the command line before it locks the file); then the addresses the database lacks are
// chosen, each once, in the form the database stores them. A sitemap that cannot be read, or a read
// that was cancelled, adds nothing.
#pragma once

#include "core/base/connection_settings.h"
#include "core/sitemap/sitemap_reader.h"

#include <atomic>
#include <cstddef>
#include <string>
#include <vector>

namespace sendwell {

class UrlDatabase;

struct SitemapImport {
    SitemapRead read;
    std::vector<std::string> toAdd; // chosen by ChooseSitemapAdditions, in the order read
    std::size_t skipped = 0;        // addresses read but already in the database or repeated
};

// Reads source (a local file, or an http or https address); stop, set from another thread, cancels.
SitemapImport ReadSitemapImport(const std::string& source, const ConnectionSettings& connection,
                                const std::atomic<bool>* stop = nullptr);

// Chooses into sitemap.toAdd the addresses read that db lacks; none when the read did not finish.
void ChooseSitemapAdditions(SitemapImport& sitemap, const UrlDatabase& db);

} // namespace sendwell
