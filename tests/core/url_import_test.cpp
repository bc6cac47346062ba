// Address import from text files: which lines and tokens become addresses.
#include "core/urldb/url_database.h"
#include "core/urldb/url_import.h"
#include "tests/support/temp_dir.h"

#include <atomic>
#include <cstdint>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace sendwell {
namespace {

using Strings = std::vector<std::string>;

// The import of text in memory, checked against a streamed import in tiny blocks that keeps almost no
// line in memory, so that every line is taken apart across blocks and most are read again.
Strings Parse(const std::string& text) {
    const Strings whole = ParseImportText(text);
    for (const ImportLimits limits : {ImportLimits{1, 0}, ImportLimits{3, 2}, ImportLimits{7, 5}}) {
        TextImportSource source(text);
        Strings streamed;
        EXPECT_EQ(ImportAddresses(source, streamed, ImportControl{nullptr, {}, limits}), ImportEnd::Finished);
        EXPECT_EQ(streamed, whole) << "blocks of " << limits.blockBytes << ", lines up to "
                                   << limits.lineBytes;
    }
    return whole;
}

TEST(UrlImport, SingleAddressLinesAreTakenWhole) {
    EXPECT_EQ(Parse("www.a.b\nhttp://a.b/x\n"), (Strings{"www.a.b", "http://a.b/x"}));
    EXPECT_EQ(Parse("  http://a.b  http://c.d\t\n"), (Strings{"  http://a.b  http://c.d\t"}));
    EXPECT_EQ(Parse("a.b, c.d\nwwwsite\nWWW.A.B\nHTTP://x\n\n"), Strings{});
}

TEST(UrlImport, CommaLinesSplitIntoTokensAtSpacesAndCommas) {
    EXPECT_EQ(Parse("http://a.b, c.d\n"), (Strings{"http://a.b"}));
    EXPECT_EQ(Parse("http://a.b,www.c.d,,http://e.f\n"), (Strings{"http://a.b", "www.c.d", "http://e.f"}));
    EXPECT_EQ(Parse("wwwsite,http://a.b\n"), (Strings{"wwwsite", "http://a.b"}));
    EXPECT_EQ(Parse(" , ,www.x ,\thttp://y,"), (Strings{"www.x", "\thttp://y"}));
}

TEST(UrlImport, LineEndsAndLongLines) {
    EXPECT_EQ(Parse("www.a.b\r\nhttp://c.d"), (Strings{"www.a.b", "http://c.d"}));
    EXPECT_EQ(Parse("http://a\rb\n"), (Strings{"http://a\rb"}));

    const std::string long1 = "http://" + std::string(49999 - 7, 'x');
    const std::string long2 = "www." + std::string(120000, 'y');
    const Strings got = Parse(long1 + "\r\n" + long2 + "\n" + long1);
    ASSERT_EQ(got.size(), 3U);
    EXPECT_EQ(got[0], long1);
    EXPECT_EQ(got[1], long2);
    EXPECT_EQ(got[2], long1);
}

TEST(UrlImport, FileImportFeedsTheDatabaseAndMayBeRepeated) {
    test::TempDir dir;
    const auto file = dir / "list.txt";
    test::WriteFileBytes(file, "www.a.b\r\nskip me\r\nhttp://c.d,www.e.f");
    UrlDatabase db;
    for (int round = 0; round < 2; ++round) {
        for (std::string& address : ParseImportFile(file)) {
            db.AppendUrl(std::move(address));
        }
    }
    ASSERT_EQ(db.recordCount(), 6U);
    EXPECT_EQ(db.rows()[0].url, "http://www.a.b");
    EXPECT_EQ(db.rows()[1].url, "http://c.d");
    EXPECT_EQ(db.rows()[2].url, "http://www.e.f");
    EXPECT_EQ(db.rows()[5].number, "6");

    EXPECT_TRUE(ParseImportFile(dir / "no such file").empty());
    EXPECT_TRUE(ParseImportFile(dir.path()).empty());
}

// Files are read in blocks of 1 MiB; lines, and a CR LF pair, that straddle a block edge stay whole.
TEST(UrlImport, LinesAcrossReadBlocksStayWhole) {
    constexpr std::size_t kBlock = 1 << 20;
    std::string text;
    int n = 0;
    while (text.size() < 3 * kBlock) {
        const std::string id = std::to_string(n++);
        text += "http://site" + id + ".example/page,www.b" + id + ".example\r\n";
    }
    // A CR as the last byte of the first block, its LF the first of the second.
    std::string edge = "www.edge.example";
    std::size_t cut = text.find("\r\n", kBlock - 200);
    text.insert(cut + 2, std::string(kBlock - 1 - (cut + 2) - edge.size(), ' ') + edge + "\r\n");
    ASSERT_EQ(text.substr(kBlock - 1, 2), "\r\n");

    test::TempDir dir;
    test::WriteFileBytes(dir / "big.txt", text);
    EXPECT_EQ(ParseImportFile(dir / "big.txt"), ParseImportText(text));
    EXPECT_EQ(ParseImportFile(dir / "big.txt").size(), static_cast<std::size_t>(2 * n + 1));
}

// A line of any length costs a bounded number of reads: no rescanning of what was already read.
TEST(UrlImport, LongLinesAreReadAtMostThreeTimes) {
    class CountingSource : public TextImportSource {
    public:
        using TextImportSource::TextImportSource;
        std::size_t ReadAt(std::uint64_t offset, char* buffer, std::size_t size) override {
            const std::size_t n = TextImportSource::ReadAt(offset, buffer, size);
            read += n;
            return n;
        }
        std::uint64_t read = 0;
    };
    const std::string big(5000, 'x');
    const std::string text = "http://" + big + "\r\n" +                                   // one long address
                             big + "," + big + "www" + big + ",http://a, " + big + "\n" + // long tokens
                             big + big + "\n" +                                           // nothing to take
                             "www.short.example";
    CountingSource source(text);
    Strings got;
    ASSERT_EQ(ImportAddresses(source, got, ImportControl{nullptr, {}, ImportLimits{64, 100}}),
              ImportEnd::Finished);
    EXPECT_EQ(got, ParseImportText(text));
    EXPECT_EQ(got.size(), 4U);
    EXPECT_LE(source.read, 3 * text.size());
}

TEST(UrlImport, CancelledImportAddsNothing) {
    test::TempDir dir;
    std::string text;
    while (text.size() < 3 * (1 << 20)) {
        text += "http://site" + std::to_string(text.size()) + ".example/\n";
    }
    test::WriteFileBytes(dir / "big.txt", text);

    std::atomic<bool> stop{false};
    std::vector<std::uint64_t> reports;
    // Records the bytes done; with stopAtFirst, Cancel is pressed while the first block is read.
    struct Steps final : Progress {
        Steps(std::vector<std::uint64_t>& reports, std::atomic<bool>& stop, std::uint64_t size)
            : reports(reports), stop(stop), size(size) {}
        void SetStatusText(const std::string&) override {}
        void SetSteps(std::uint64_t done, std::uint64_t total) override {
            reports.push_back(done);
            EXPECT_EQ(total, size);
            if (stopAtFirst) {
                stop = true;
            }
        }
        std::vector<std::uint64_t>& reports;
        std::atomic<bool>& stop;
        std::uint64_t size;
        bool stopAtFirst = true;
    } steps(reports, stop, text.size());
    ImportControl control;
    control.stop = &stop;
    control.progress = &steps;
    Strings got{"left over"};
    EXPECT_EQ(ImportFile(dir / "big.txt", got, control), ImportEnd::Cancelled);
    EXPECT_TRUE(got.empty());
    EXPECT_EQ(reports, std::vector<std::uint64_t>{1 << 20});

    stop = false;
    steps.stopAtFirst = false;
    EXPECT_EQ(ImportFile(dir / "big.txt", got, control), ImportEnd::Finished);
    EXPECT_EQ(got, ParseImportText(text));
    EXPECT_EQ(reports.back(), text.size());
}

} // namespace
} // namespace sendwell
