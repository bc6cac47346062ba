// Sitemap import and export: every form of sitemap is read, a bad one imports nothing, limits warn.
#include "core/sitemap/sitemap_import.h"
#include "core/sitemap/sitemap_reader.h"
#include "core/sitemap/sitemap_writer.h"
#include "core/urldb/url_database.h"
#include "core/urldb/url_import.h"
#include "tests/support/http_test_server.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>
#include <string>
#include <utility>
#include <vector>
#include <zlib.h>

namespace sendwell {
namespace {

using Strings = std::vector<std::string>;

std::string Gzip(const std::string& text) {
    z_stream z{};
    deflateInit2(&z, Z_BEST_SPEED, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&z, text.size()) + 32, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    z.avail_in = static_cast<uInt>(text.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

std::string Urlset(const Strings& locs) {
    std::string xml =
        "<?xml version=\"1.0\"?>\n<urlset xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">";
    for (const std::string& loc : locs) {
        xml += "<url><loc>" + loc + "</loc></url>";
    }
    return xml + "</urlset>";
}

std::string Index(const Strings& locs) {
    std::string xml = "<sitemapindex xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">";
    for (const std::string& loc : locs) {
        xml += "<sitemap><loc>" + loc + "</loc></sitemap>";
    }
    return xml + "</sitemapindex>";
}

using FileList = std::vector<std::pair<std::string, std::string>>; // name, bytes; the first is read

struct Files {
    test::TempDir dir;
    std::string Put(const FileList& files) {
        for (const auto& [name, bytes] : files) {
            std::filesystem::create_directories((dir / name).parent_path());
            test::WriteFileBytes(dir / name, bytes);
        }
        return (dir / files.front().first).string();
    }
};

TEST(SitemapReader, ReadsEveryFormOfLocalSitemap) {
    const struct {
        const char* what;
        FileList files;
        Strings addresses;
    } cases[] = {
        {"plain, loc blanks trimmed, entities and CDATA",
         {{"a.xml",
           Urlset({"  http://a.test/1\n", "http://a.test/?x=1&amp;y=2", "<![CDATA[http://a.test/c]]>"})}},
         {"http://a.test/1", "http://a.test/?x=1&y=2", "http://a.test/c"}},
        {"prefixed namespace and other elements",
         {{"a.xml", "\xEF\xBB\xBF<sm:urlset xmlns:sm=\"http://www.sitemaps.org/schemas/sitemap/0.9\">"
                    "<sm:url><sm:lastmod>2024-01-01</sm:lastmod><sm:loc>http://a.test/p</sm:loc></sm:url>"
                    "<sm:url><sm:loc> </sm:loc></sm:url></sm:urlset>"}},
         {"http://a.test/p"}},
        {"gzip found by its bytes, whatever the name",
         {{"a.xml", Gzip(Urlset({"http://a.test/z"}))}},
         {"http://a.test/z"}},
        {"gzip members joined",
         {{"a.xml.gz", Gzip(Urlset({"http://a.test/1"})) + Gzip(" ")}},
         {"http://a.test/1"}},
        {"index: relative children, one compressed, one naming the index again",
         {{"index.xml", Index({"one.xml", "sub/two.xml.gz", "index.xml"})},
          {"one.xml", Urlset({"http://a.test/1"})},
          {"sub/two.xml.gz", Gzip(Index({"three.xml"}))},
          {"sub/three.xml", Urlset({"http://a.test/3"})}},
         {"http://a.test/1", "http://a.test/3"}},
        {"robots.txt: Sitemap lines in any case, other lines ignored",
         {{"robots.txt", "User-agent: *\r\nDisallow: /x\r\nSITEMAP: one.xml\r\n  sitemap:two.xml # c\r\n"},
          {"one.xml", Urlset({"http://a.test/1"})},
          {"two.xml", Urlset({"http://a.test/2"})}},
         {"http://a.test/1", "http://a.test/2"}},
    };
    for (const auto& c : cases) {
        Files files;
        const SitemapRead read = ReadSitemap(files.Put(c.files));
        EXPECT_TRUE(read.ok()) << c.what << ": " << read.outcome.text;
        EXPECT_EQ(read.addresses, c.addresses) << c.what;
        EXPECT_TRUE(read.warnings.empty()) << c.what;
    }
}

TEST(SitemapReader, AddressesWithControlCharactersOrBrokenUtf8AreLeftOutAndCounted) {
    const Strings locs = {"https://a.test/plain",
                          "https://a.test/caf\xC3\xA9",   // UTF-8 é: kept
                          "https://a.test/\x1B[2J",       // escape sequence
                          "https://a.test/&#27;[31m",     // the same as a character reference
                          "https://a.test/a&#10;b",       // line feed inside
                          "https://a.test/\x7F",          // DEL
                          "https://a.test/\xC2\x9B[2J",   // C1 control (CSI) in UTF-8
                          "https://a.test/\xFF",          // not UTF-8
                          "https://a.test/\xC3",          // cut-off sequence
                          "https://a.test/\xE0\x80\xAF",  // overlong "/"
                          "https://a.test/\xED\xA0\x80"}; // surrogate
    Files files;
    const SitemapRead read = ReadSitemap(files.Put({{"a.xml", Urlset(locs)}}));
    ASSERT_TRUE(read.ok()) << read.outcome.text;
    EXPECT_EQ(read.addresses, (Strings{"https://a.test/plain", "https://a.test/caf\xC3\xA9"}));
    EXPECT_EQ(
        read.warnings,
        Strings{"9 addresses were left out: they hold control characters or bytes that are not UTF-8."});
}

TEST(SitemapReader, FailuresNameTheFileAndImportNothing) {
    const struct {
        const char* what;
        FileList files;
        const char* errorPart;
    } cases[] = {
        {"broken XML", {{"a.xml", "<urlset><url><loc>http://a.test/</loc></url>"}}, "not well-formed XML"},
        {"other root", {{"a.xml", "<html><body/></html>"}}, "root element is <html>"},
        {"robots.txt without Sitemap lines", {{"robots.txt", "User-agent: *\n"}}, "\"Sitemap:\""},
        {"gzip cut short", {{"a.xml.gz", Gzip(Urlset({"http://a.test/1"})).substr(0, 20)}}, "cut short"},
        {"one bad child after a good one",
         {{"index.xml", Index({"good.xml", "bad.xml"})},
          {"good.xml", Urlset({"http://a.test/1"})},
          {"bad.xml", "<urlset><url>"}},
         "bad.xml is not well-formed"},
        {"missing child", {{"index.xml", Index({"gone.xml"})}}, "gone.xml was not found"},
    };
    for (const auto& c : cases) {
        Files files;
        const SitemapRead read = ReadSitemap(files.Put(c.files));
        EXPECT_EQ(read.outcome.end, Outcome::End::Failed) << c.what;
        EXPECT_NE(read.outcome.text.find(c.errorPart), std::string::npos)
            << c.what << ": " << read.outcome.text;
        EXPECT_TRUE(read.addresses.empty()) << c.what;
    }
}

TEST(SitemapReader, OverTheProtocolLimitsIsReadWithAWarningButABombEnds) {
    Strings many;
    for (int i = 0; i <= 50000; ++i) {
        many.push_back("http://a.test/" + std::to_string(i));
    }
    Files files;
    const SitemapRead big = ReadSitemap(files.Put({{"big.xml.gz", Gzip(Urlset(many))}}));
    ASSERT_TRUE(big.ok()) << big.outcome.text;
    EXPECT_EQ(big.addresses.size(), 50001U);
    ASSERT_EQ(big.warnings.size(), 1U);
    EXPECT_NE(big.warnings[0].find("50001 addresses"), std::string::npos) << big.warnings[0];

    // Ten megabytes of blanks packed small, read under a one-megabyte budget.
    SitemapOptions options;
    options.limits.totalBytes = 1 << 20;
    const SitemapRead bomb =
        ReadSitemap(files.Put({{"bomb.xml.gz", Gzip(Urlset({}) + std::string(10 << 20, ' '))}}), options);
    EXPECT_EQ(bomb.outcome.end, Outcome::End::Failed);
    EXPECT_NE(bomb.outcome.text.find("uncompresses to more than 1 MB"), std::string::npos)
        << bomb.outcome.text;

    // A small file whose parsed tree would be many times its size.
    std::string empties;
    for (int i = 0; i < 100000; ++i) {
        empties += "<a/>";
    }
    options.limits.treeBytes = 1 << 20;
    const SitemapRead tree =
        ReadSitemap(files.Put({{"tree.xml", "<urlset>" + empties + "</urlset>"}}), options);
    EXPECT_EQ(tree.outcome.end, Outcome::End::Failed);
    EXPECT_NE(tree.outcome.text.find("too large to read in memory"), std::string::npos) << tree.outcome.text;
}

TEST(SitemapReader, FollowsAnIndexOverHttpsAndFailsOnAnErrorAnswer) {
    test::HttpTestServer server(test::HttpTestServer::Options{true});
    server.Route("/index.xml", test::Response(200, Index({server.Url("/a.xml"), server.Url("/b.xml.gz")})));
    server.Route("/a.xml", test::Response(200, Urlset({"https://site.test/a"})));
    server.Route("/b.xml.gz", test::Response(200, Gzip(Urlset({"https://site.test/b"}))));
    server.Route("/robots.txt", test::Response(200, "Sitemap: " + server.Url("/index.xml") + "\n" +
                                                        "Sitemap: " + server.Url("/missing.xml") + "\n"));
    SitemapOptions options;
    options.connection.caFile = server.CaFile().string();

    const SitemapRead read = ReadSitemap(server.Url("/index.xml"), options);
    ASSERT_TRUE(read.ok()) << read.outcome.text;
    EXPECT_EQ(read.addresses, (Strings{"https://site.test/a", "https://site.test/b"}));

    const SitemapRead robots = ReadSitemap(server.Url("/robots.txt"), options);
    EXPECT_EQ(robots.outcome.end, Outcome::End::Failed);
    EXPECT_EQ(robots.outcome.text, server.Url("/missing.xml") + " answered 404 instead of the sitemap.");
    EXPECT_TRUE(robots.addresses.empty());
}

TEST(SitemapImport, AddressesAlreadyListedOrRepeatedAreSkipped) {
    UrlDatabase db;
    db.AppendUrl("http://a.test/");
    std::size_t skipped = 0;
    EXPECT_EQ(AddressesNotIn(db, {"a.test/", "http://b.test/", "http://a.test/", "b.test/", "www.c.test"},
                             &skipped),
              (Strings{"http://b.test/", "http://www.c.test"}));
    EXPECT_EQ(skipped, 3U);
}

TEST(SitemapImport, ChoosesWhatTheDatabaseLacksAndNothingFromAFailedRead) {
    UrlDatabase db;
    db.AppendUrl("http://a.test/");
    Files files;
    SitemapImport good = ReadSitemapImport(
        files.Put({{"a.xml", Urlset({"http://a.test/", "http://b.test/", "http://b.test/"})}}), {});
    ChooseSitemapAdditions(good, db);
    EXPECT_EQ(good.toAdd, (Strings{"http://b.test/"}));
    EXPECT_EQ(good.skipped, 2U);

    SitemapImport bad = ReadSitemapImport((files.dir / "gone.xml").string(), {});
    bad.read.addresses = {"http://c.test/"}; // whatever a failed read holds is not added
    ChooseSitemapAdditions(bad, db);
    EXPECT_TRUE(bad.toAdd.empty());
    EXPECT_EQ(bad.skipped, 0U);
}

TEST(SitemapExport, WritesEachAddressOnceAndReadsBackTheSame) {
    UrlDatabase db;
    db.AppendLoaded("http://a.test/?x=1&y=<2>", "03/05/2024", "1");
    db.AppendLoaded("http://b.test/\x01\xC3\xA9\xFF", "", "0");
    db.AppendLoaded("http://a.test/?x=1&y=<2>", "11/20/2025", "2");
    db.AppendLoaded("http://c.test/", "", "0");
    test::TempDir dir;
    const SitemapExport written = ExportSitemap(db, dir / "sitemap.xml");
    ASSERT_TRUE(written.ok()) << written.outcome.text;
    EXPECT_EQ(written.addresses, 3U);

    const std::string xml = test::ReadFileBytes(dir / "sitemap.xml");
    EXPECT_NE(xml.find("<urlset xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">"), std::string::npos);
    EXPECT_NE(xml.find("<loc>http://a.test/?x=1&amp;y=&lt;2&gt;</loc>\n    <lastmod>2025-11-20</lastmod>"),
              std::string::npos);
    EXPECT_EQ(xml.find("<lastmod>", xml.find("b.test")), std::string::npos); // no date known for b or c

    const SitemapRead read = ReadSitemap((dir / "sitemap.xml").string());
    ASSERT_TRUE(read.ok()) << read.outcome.text;
    EXPECT_EQ(read.addresses,
              (Strings{"http://a.test/?x=1&y=<2>", "http://b.test/%01\xC3\xA9%FF", "http://c.test/"}));
    EXPECT_EQ(SitemapDate("13/01/2024"), "");
}

} // namespace
} // namespace sendwell
