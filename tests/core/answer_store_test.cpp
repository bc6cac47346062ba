#include "core/results/answer_store.h"
#include "tests/support/temp_dir.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace sendwell {
namespace {

namespace fs = std::filesystem;
using test::ReadFileBytes;
using test::TempDir;
using test::WriteFileBytes;

std::string Expected(const std::string& site, std::uint64_t counter, const std::string& store) {
    return site + "____" + std::to_string(counter) + "____" + store + ".HTML";
}

TEST(AnswerStore, NamesCarrySiteCounterAndStoreNameWithoutSpaces) {
    TempDir dir;
    std::uint64_t n = NextAnswerCounter();
    std::string first = NameAnswerFile("http://www.a.b/x.html", "Any Engine", dir.path());
    EXPECT_EQ(first, dir.path().string() + "/submitok/" + Expected("www.a.b", n, "AnyEngine"));
    EXPECT_TRUE(fs::is_directory(dir / "submitok"));
    // The same address and engine again: a new counter, so a second file.
    std::string second = NameAnswerFile("http://www.a.b/x.html", "Any Engine", dir.path());
    EXPECT_EQ(fs::path(second).filename(), Expected("www.a.b", n + 1, "AnyEngine"));
    EXPECT_EQ(NextAnswerCounter(), n + 2);
}

TEST(AnswerStore, SitePieceDropsTheSchemeOrTheFirstTwoCharacters) {
    EXPECT_EQ(AnswerSitePiece("http://www.a.b/x.html"), "www.a.b");
    EXPECT_EQ(AnswerSitePiece("https://www.a.b"), "www.a.b");
    EXPECT_EQ(AnswerSitePiece("www.a.b"), "w.a.b"); // no ":" at all: the first two characters go
    EXPECT_EQ(AnswerSitePiece("www.a.b/x/y"), "w.a.b");
    EXPECT_EQ(AnswerSitePiece("x"), "");
    // A port's ":" cannot stay in a file name that must also be safe to hand on as a local address.
    EXPECT_EQ(AnswerSitePiece("http://127.0.0.1:8080/a"), "127.0.0.1_8080");
}

TEST(AnswerStore, HostileAddressesNeverNameAFileOutsideTheStore) {
    TempDir dir;
    fs::path store = fs::weakly_canonical(dir / "submitok");
    const std::vector<std::string> hostile = {
        "http:///../../etc/passwd",
        "http:////..",
        "http://..",
        "..",
        "....",
        "http://a\\..\\..\\b/",
        std::string("http://a\0/../b", 14),
        "x:/..:/..:/..:/tmp/owned",
        "http://../../../../tmp/owned/",
        "http://a\r\nb/",
        "http://" + std::string(400, 'h') + "/x",
        "/",
        "",
    };
    for (const std::string& address : hostile) {
        std::string path = NameAnswerFile(address, "Store Name", dir.path());
        fs::path p(path);
        std::string name = p.filename().string();
        EXPECT_EQ(fs::weakly_canonical(p.parent_path()), store) << address;
        EXPECT_EQ(name.find('/'), std::string::npos) << address;
        EXPECT_EQ(name.find(".."), std::string::npos) << address;
        EXPECT_EQ(name.find('\0'), std::string::npos) << address;
        EXPECT_LE(name.size(), 255u) << address;
        // The name is one writable file in the store.
        WriteFileBytes(p, "x");
        EXPECT_EQ(ReadFileBytes(store / name), "x") << address;
    }
    std::size_t files = 0;
    for (const auto& entry : fs::recursive_directory_iterator(dir.path())) {
        if (entry.path() != dir / "submitok") {
            EXPECT_EQ(entry.path().parent_path(), dir / "submitok") << entry.path();
            ++files;
        }
    }
    EXPECT_EQ(files, hostile.size());
}

// A name that is not UTF-8 cannot be shown and opened again by the review, nor can half a character.
TEST(AnswerStore, NamesAreAlwaysWellFormedUtf8) {
    EXPECT_EQ(AnswerSitePiece("http://caf\xe9.test/"), "caf_.test");
    EXPECT_EQ(AnswerSitePiece("http://b\xc3\xbc"
                              "cher.test/"),
              "b\xc3\xbc"
              "cher.test");
    EXPECT_EQ(AnswerSitePiece("http://a\xed\xa0\x80z/"), "a___z"); // an encoded surrogate
    TempDir dir;
    std::string longHost;
    for (int i = 0; i < 200; ++i) {
        longHost += "\xc3\xa9"; // two bytes each, so a cut at any byte may fall inside one
    }
    for (std::size_t extra = 0; extra < 2; ++extra) {
        fs::path name =
            fs::path(NameAnswerFile("http://" + std::string(extra, 'x') + longHost + "/", "E", dir.path()))
                .filename();
        std::string bytes = name.string();
        EXPECT_LE(bytes.size(), 255u);
        std::size_t pairs = 0;
        while (pairs * 2 + extra + 1 < bytes.size() && bytes.compare(extra + pairs * 2, 2, "\xc3\xa9") == 0) {
            ++pairs;
        }
        EXPECT_EQ(bytes.substr(extra + pairs * 2, 4), "____") << "a character was cut in two";
    }
}

TEST(AnswerStore, ListingSplitsNamesAndKeepsNamingOrder) {
    TempDir dir;
    // Enough names for counters of several digits.
    std::vector<std::string> paths;
    while (NextAnswerCounter() < 12) {
        paths.push_back(NameAnswerFile("http://warm.up/", "Warm Up", dir.path()));
    }
    std::uint64_t n = NextAnswerCounter();
    std::string a = NameAnswerFile("http://www.site.com/x", "Scrub The Web", dir.path());
    std::string b = NameAnswerFile("http://127.0.0.1:81/", "Hotbot UK", dir.path());
    std::string c = NameAnswerFile("http://www.site.com/x", "Scrub The Web", dir.path());
    for (const std::string& p : {a, b, c}) {
        WriteFileBytes(p, "<html></html>");
    }
    WriteFileBytes(dir / "submitok" / "notes.txt", "foreign");
    WriteFileBytes(dir / "submitok" / "plain.HTML", "no separator");

    std::vector<StoredAnswer> list = ListStoredAnswers(dir.path());
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].site, "www.site.com");
    EXPECT_EQ(list[0].storeName, "ScrubTheWeb");
    EXPECT_EQ(list[0].counter, n);
    EXPECT_EQ(list[0].path, a);
    EXPECT_EQ(list[1].site, "127.0.0.1_81");
    EXPECT_EQ(list[1].storeName, "HotbotUK");
    EXPECT_EQ(list[1].path, b);
    EXPECT_EQ(list[2].path, c);
    EXPECT_EQ(list[2].counter, n + 2);
}

TEST(AnswerStore, ListingReadsASitePieceThatHoldsUnderscores) {
    TempDir dir;
    std::string p = NameAnswerFile("http://a::::b/", "Engine", dir.path());
    WriteFileBytes(p, "x");
    std::vector<StoredAnswer> list = ListStoredAnswers(dir.path());
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].site, "a____b");
    EXPECT_EQ(list[0].storeName, "Engine");
}

TEST(AnswerStore, MissingStoreListsNothing) {
    TempDir dir;
    EXPECT_TRUE(ListStoredAnswers(dir.path()).empty());
    ClearAnswerStore(dir.path()); // nothing to clear is fine
    ClearAnswerStoreAtStartup(dir.path());
    EXPECT_FALSE(fs::exists(dir / "submitok"));
}

TEST(AnswerStore, ReviewClearingRemovesAnswersFolderAndFailureLog) {
    TempDir dir;
    WriteFileBytes(NameAnswerFile("http://a.b/", "X", dir.path()), "1");
    WriteFileBytes(NameAnswerFile("http://a.b/", "Y", dir.path()), "2");
    AppendFailureRecord(dir.path(), {"error", "The URL was x"});
    ASSERT_TRUE(fs::exists(dir / "msg_dump.txt"));
    ClearAnswerStore(dir.path());
    EXPECT_FALSE(fs::exists(dir / "submitok"));
    EXPECT_FALSE(fs::exists(dir / "msg_dump.txt"));
}

TEST(AnswerStore, ReviewClearingKeepsAFolderWithForeignFiles) {
    TempDir dir;
    WriteFileBytes(NameAnswerFile("http://a.b/", "X", dir.path()), "1");
    WriteFileBytes(dir / "submitok" / "keep.txt", "mine");
    WriteFileBytes(dir / "submitok" / "hand made.html", "case-blind match");
    ClearAnswerStore(dir.path());
    EXPECT_EQ(ReadFileBytes(dir / "submitok" / "keep.txt"), "mine");
    EXPECT_FALSE(fs::exists(dir / "submitok" / "hand made.html"));
    EXPECT_TRUE(ListStoredAnswers(dir.path()).empty());
}

TEST(AnswerStore, StartUpClearingTakesOnlyTheAnswers) {
    TempDir dir;
    WriteFileBytes(NameAnswerFile("http://a.b/", "X", dir.path()), "1");
    AppendFailureRecord(dir.path(), {"error"});
    ClearAnswerStoreAtStartup(dir.path());
    EXPECT_TRUE(fs::is_directory(dir / "submitok"));
    EXPECT_TRUE(fs::is_empty(dir / "submitok"));
    EXPECT_EQ(ReadFileBytes(dir / "msg_dump.txt"), "error\r\n");
}

} // namespace
} // namespace sendwell
