#include "core/sitemap/sitemap_import.h"

#include "core/urldb/url_import.h"
#include "core/web/page_fetcher.h"

namespace sendwell {

SitemapImport ReadSitemapImport(const std::string& source, const ConnectionSettings& connection,
                                const std::atomic<bool>* stop) {
    SitemapOptions options;
    options.connection = connection;
    options.requests = ReadRequestLimits();
    options.stop = stop;
    SitemapImport sitemap;
    sitemap.read = ReadSitemap(source, options);
    return sitemap;
}

void ChooseSitemapAdditions(SitemapImport& sitemap, const UrlDatabase& db) {
    sitemap.toAdd.clear();
    sitemap.skipped = 0;
    if (sitemap.read.ok()) {
        sitemap.toAdd = AddressesNotIn(db, sitemap.read.addresses, &sitemap.skipped);
    }
}

} // namespace sendwell
