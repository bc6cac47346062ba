// Sitemap reading: any bytes, compressed or not, end in addresses or an error within a small budget,
// never both; each address has its <lastmod>, which reads as a time or as none; and whatever was read
// exports as a sitemap that reads back whole.
#include "core/base/dates.h"
#include "core/indexnow/changed_pages.h"
#include "core/sitemap/sitemap_reader.h"
#include "core/sitemap/sitemap_writer.h"
#include "core/urldb/url_database.h"
#include "tests/fuzz/fuzz_support.h"

#include <set>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    sendwell::SitemapLimits limits;
    limits.totalBytes = 4 << 20;
    limits.treeBytes = 64 << 20;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const sendwell::SitemapRead read = sendwell::ReadSitemapBytes(bytes, "fuzz.xml", limits);
    if (!read.ok()) {
        FUZZ_CHECK(!read.outcome.text.empty() && read.addresses.empty());
        return 0;
    }
    FUZZ_CHECK(read.lastModified.size() == read.addresses.size());
    for (const std::string& lastmod : read.lastModified) {
        (void)sendwell::ParseW3cTime(lastmod);
    }
    FUZZ_CHECK(sendwell::AddressesChangedSince(read, 0).size() <= read.addresses.size());
    sendwell::UrlDatabase db;
    std::set<std::string> distinct;
    for (const std::string& address : read.addresses) {
        FUZZ_CHECK(!address.empty());
        db.AppendLoaded(address, "", "0");
        distinct.insert(address);
    }
    const sendwell::SitemapRead again = sendwell::ReadSitemapBytes(sendwell::SitemapXml(db), "export.xml");
    FUZZ_CHECK(again.ok());
    FUZZ_CHECK(again.addresses.size() <= distinct.size());
    return 0;
}
