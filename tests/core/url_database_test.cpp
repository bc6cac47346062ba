// The database list's commands: Add, Remove, marking submissions, header-click sorting, date reading.
#include "core/base/ascii_case.h"
#include "core/base/dates.h"
#include "core/urldb/add_command.h"
#include "core/urldb/url_database.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

namespace sendwell {
namespace {

std::vector<std::string> Column(const UrlDatabase& db, std::string UrlRecord::*cell) {
    std::vector<std::string> out;
    for (const UrlRecord& r : db.rows()) {
        out.push_back(r.*cell);
    }
    return out;
}
std::vector<std::string> Urls(const UrlDatabase& db) {
    return Column(db, &UrlRecord::url);
}

UrlDatabase WithUrls(const std::vector<std::string>& urls) {
    UrlDatabase db;
    for (const std::string& u : urls) {
        db.AppendLoaded(u, "", "0");
    }
    return db;
}

using Strings = std::vector<std::string>;

TEST(UrlDatabaseAdd, FollowsTheAddressFieldRules) {
    UrlDatabase db;
    EXPECT_EQ(AddCommand(db, "ab"), AddOutcome::Nothing);
    EXPECT_EQ(AddCommand(db, "abc"), AddOutcome::InvalidUrl);
    EXPECT_EQ(AddCommand(db, "\xc3\xa9."), AddOutcome::Nothing); // two characters in three bytes
    EXPECT_EQ(db.recordCount(), 0U);

    EXPECT_EQ(AddCommand(db, "www.a.b"), AddOutcome::Appended);
    EXPECT_EQ(AddCommand(db, "https://a.b"), AddOutcome::Appended);
    EXPECT_EQ(AddCommand(db, "see http://a.b"), AddOutcome::Appended);
    EXPECT_EQ(AddCommand(db, "HTTP://A.B"), AddOutcome::Appended);
    EXPECT_EQ(AddCommand(db, "#www.a.b"), AddOutcome::Appended);
    EXPECT_EQ(AddCommand(db, "www.a.b"), AddOutcome::Appended);
    EXPECT_EQ(Urls(db), (Strings{"http://www.a.b", "https://a.b", "see http://a.b", "http://HTTP://A.B",
                                 "http://www.a.b", "http://www.a.b"}));
    EXPECT_EQ(Column(db, &UrlRecord::number), (Strings{"1", "2", "3", "4", "5", "6"}));
    EXPECT_EQ(Column(db, &UrlRecord::lastSent), Strings(6, ""));
    EXPECT_EQ(Column(db, &UrlRecord::submits), Strings(6, "0"));

    EXPECT_FALSE(db.AppendUrl(""));
    EXPECT_EQ(db.recordCount(), 6U);
}

TEST(UrlDatabaseRemove, DeletesTheSelectionAndRenumbers) {
    UrlDatabase db = WithUrls({"u1", "u2", "u3", "u4", "u5"});
    EXPECT_EQ(db.RemoveSelected({3, 1, 3, 99}), 0);
    EXPECT_EQ(Urls(db), (Strings{"u1", "u3", "u5"}));
    EXPECT_EQ(Column(db, &UrlRecord::number), (Strings{"1", "2", "3"}));

    EXPECT_EQ(db.RemoveSelected({}), 0);
    EXPECT_EQ(db.recordCount(), 3U);
    EXPECT_EQ(db.RemoveSelected({0, 1, 2}), -1);
    EXPECT_EQ(db.recordCount(), 0U);
}

TEST(UrlDatabaseMark, CountsOneMoreAndDatesToday) {
    UrlDatabase db;
    db.AppendLoaded("http://a", "", "7");
    db.AppendLoaded("http://b", "01/01/2001", "");
    db.AppendLoaded("http://c", "", "12 times");
    db.MarkSubmitted(0, "03/05/2010");
    db.MarkSubmitted(1, "03/05/2010");
    db.MarkSubmitted(2, "03/05/2010");
    db.MarkSubmitted(3, "03/05/2010"); // no such row: ignored
    EXPECT_EQ(Column(db, &UrlRecord::submits), (Strings{"8", "1", "13"}));
    EXPECT_EQ(Column(db, &UrlRecord::lastSent), Strings(3, "03/05/2010"));
}

TEST(UrlDatabaseMark, SingleUrlRunMarksEveryExactlyEqualRowOnce) {
    UrlDatabase db = WithUrls({"http://a.b", "http://A.B", "http://a.b", "http://c.d"});
    db.MarkSubmittedAddresses({"http://a.b", "http://a.b", "http://x.y"}, "12/31/2020");
    EXPECT_EQ(Column(db, &UrlRecord::submits), (Strings{"1", "0", "1", "0"}));
    EXPECT_EQ(Column(db, &UrlRecord::lastSent), (Strings{"12/31/2020", "", "12/31/2020", ""}));
}

TEST(UrlDatabaseSort, WebUrlIgnoresCaseAndAlternatesDirection) {
    UrlDatabase db = WithUrls({"http://b", "http://C", "http://a", "HTTP://B"});
    // The returned order names each new row's old index, so a view can carry its selection along.
    EXPECT_EQ(db.SortByColumn(1), (std::vector<std::uint32_t>{2, 0, 3, 1}));
    EXPECT_EQ(Urls(db), (Strings{"http://a", "http://b", "HTTP://B", "http://C"}));
    EXPECT_FALSE(db.sortAscending());
    EXPECT_EQ(db.SortByColumn(1), (std::vector<std::uint32_t>{3, 1, 2, 0}));
    EXPECT_EQ(Urls(db), (Strings{"http://C", "http://b", "HTTP://B", "http://a"}));
    // Sorting moves rows but leaves their numbers as they were.
    EXPECT_EQ(Column(db, &UrlRecord::number), (Strings{"2", "1", "4", "3"}));
}

TEST(UrlDatabaseSort, SubmitsHeaderOnlyFlipsTheSharedDirection) {
    UrlDatabase db = WithUrls({"c", "a", "b"});
    db.SortByColumn(1);
    EXPECT_EQ(Urls(db), (Strings{"a", "b", "c"}));
    EXPECT_TRUE(db.SortByColumn(3).empty());
    EXPECT_EQ(Urls(db), (Strings{"a", "b", "c"}));
    EXPECT_TRUE(db.sortAscending());
    db.SortByColumn(1);
    EXPECT_EQ(Urls(db), (Strings{"a", "b", "c"}));
    db.SortByColumn(7); // no such column: nothing happens
    EXPECT_FALSE(db.sortAscending());
}

TEST(UrlDatabaseSort, FoldsToLowerCaseSoPunctuationSortsBeforeLetters) {
    UrlDatabase db = WithUrls({"aB", "a_", "A["});
    db.SortByColumn(1);
    EXPECT_EQ(Urls(db), (Strings{"A[", "a_", "aB"}));
}

// Every text with its rows sorted by a plain case-folding comparison: the order either sort must give.
void ExpectPlainCaseFoldingOrder(const std::vector<std::string>& urls) {
    auto foldedLess = [](const std::string& a, const std::string& b) {
        const std::string fa = AsciiLower(a), fb = AsciiLower(b);
        return std::lexicographical_compare(fa.begin(), fa.end(), fb.begin(), fb.end(), [](char x, char y) {
            return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
        });
    };
    std::vector<std::string> expected = urls;
    std::stable_sort(expected.begin(), expected.end(), foldedLess);

    UrlDatabase db = WithUrls(urls);
    db.SortByColumn(1);
    EXPECT_EQ(Urls(db), expected);

    db = WithUrls(urls);
    db.SortByColumn(3);
    db.SortByColumn(1); // descending
    std::vector<std::string> descending = urls;
    std::stable_sort(descending.begin(), descending.end(),
                     [&foldedLess](const std::string& a, const std::string& b) { return foldedLess(b, a); });
    EXPECT_EQ(Urls(db), descending);
}

TEST(UrlDatabaseSort, MatchesAPlainCaseFoldingSortOnAwkwardTexts) {
    // Long shared prefixes, differences far into the text, prefixes of each other, bytes above 0x7f.
    std::mt19937 rng(7);
    const std::string alphabet = "aAbB_[\x80\xff/.";
    std::vector<std::string> urls;
    for (int i = 0; i < 3000; ++i) {
        std::string u = "http://www.same-prefix.example/";
        const std::size_t extra = rng() % 14;
        for (std::size_t k = 0; k < extra; ++k) {
            u.push_back(alphabet[rng() % alphabet.size()]);
        }
        urls.push_back(u);
    }
    ExpectPlainCaseFoldingOrder(urls);

    // Enough rows to be sorted in two parts side by side, on a few sites spelled in either case.
    const char* const sites[] = {"http://www.same-prefix.example/", "HTTPS://WWW.SAME-PREFIX.EXAMPLE/",
                                 "https://a.example/", "http://"};
    urls.clear();
    for (int i = 0; i < 150000; ++i) {
        std::string u = sites[rng() % std::size(sites)];
        const std::size_t extra = rng() % 20;
        for (std::size_t k = 0; k < extra; ++k) {
            u.push_back(alphabet[rng() % alphabet.size()]);
        }
        urls.push_back(u);
    }
    ExpectPlainCaseFoldingOrder(urls);
}

TEST(UrlDatabaseSort, PlannedSortKeepsChangesMadeBeforeItIsApplied) {
    UrlDatabase db = WithUrls({"c", "a", "b"});
    UrlDatabase::SortPlan plan = db.PlanSort(1);
    db.MarkSubmitted(0, "03/05/2010"); // "c", while the sort was being worked out
    EXPECT_EQ(db.ApplySort(std::move(plan)), (std::vector<std::uint32_t>{1, 2, 0}));
    EXPECT_EQ(Urls(db), (Strings{"a", "b", "c"}));
    EXPECT_EQ(Column(db, &UrlRecord::submits), (Strings{"0", "0", "1"}));
    EXPECT_FALSE(db.sortAscending());
}

TEST(UrlDatabaseSort, NumberColumnComparesAsText) {
    UrlDatabase db = WithUrls({"r1", "r2", "r3", "r4", "r5", "r6", "r7", "r8", "r9", "r10", "r11"});
    db.SortByColumn(0);
    EXPECT_EQ(Column(db, &UrlRecord::number),
              (Strings{"1", "10", "11", "2", "3", "4", "5", "6", "7", "8", "9"}));

    // As many rows as are sorted in two parts side by side.
    db = WithUrls(Strings(150000, "r"));
    db.SortByColumn(0);
    Strings expected = Column(db, &UrlRecord::number);
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(Column(db, &UrlRecord::number), expected);
}

TEST(UrlDatabaseSort, LastSentSortsByLeadingNumberKeepingEqualRowsInOrder) {
    UrlDatabase db;
    db.AppendLoaded("u1", "12/01/2001", "0");
    db.AppendLoaded("u2", "03/05/2010", "0");
    db.AppendLoaded("u3", "", "0");
    db.AppendLoaded("u4", "03/01/1999", "0");
    db.AppendLoaded("u5", "1,1k00", "0"); // 1100 once "," and "k" are gone
    db.SortByColumn(2);
    EXPECT_EQ(Urls(db), (Strings{"u3", "u2", "u4", "u1", "u5"}));
    db.SortByColumn(2);
    EXPECT_EQ(Urls(db), (Strings{"u5", "u1", "u2", "u4", "u3"}));

    // Keys far apart are compared rather than counted, with the same result.
    db.AppendLoaded("u6", "70000/1/1", "0");
    db.AppendLoaded("u7", "-5", "0");
    db.SortByColumn(2);
    EXPECT_EQ(Urls(db), (Strings{"u7", "u3", "u2", "u4", "u1", "u5", "u6"}));
    db.SortByColumn(2);
    EXPECT_EQ(Urls(db), (Strings{"u6", "u5", "u1", "u2", "u4", "u3", "u7"}));
}

TEST(DateLine, ValidDatesAreWrittenInTheListForm) {
    EXPECT_EQ(NormalizeDateLine("3/5/2010"), "03/05/2010");
    EXPECT_EQ(NormalizeDateLine("03/05/2010"), "03/05/2010");
    EXPECT_EQ(NormalizeDateLine(" 3/05x/2010 and more/ignored"), "03/05/2010");
    EXPECT_EQ(NormalizeDateLine("2/29/2000"), "02/29/2000");
    EXPECT_EQ(NormalizeDateLine("2/29/2024"), "02/29/2024");
    EXPECT_EQ(NormalizeDateLine("12/31/9999"), "12/31/9999");
    EXPECT_EQ(NormalizeDateLine("3/5/10"), "03/05/0010");
}

TEST(DateLine, InvalidDatesGiveAnEmptyText) {
    for (const char* line :
         {"", "13/1/2010", "0/1/2010", "2/30/2010", "2/29/1900", "2/29/2023", "4/31/2010", "1/1/10000",
          "1/1/0", "1/1/-5", "letters", "3/5", "3", "99999999999999999999/1/2000"}) {
        EXPECT_EQ(NormalizeDateLine(line), "") << line;
    }
}

} // namespace
} // namespace sendwell
