// The meta scanner on small pages: titles, KEYWORDS and DESCRIPTION contents, and the half-matched
// state it carries from one page to the next.
#include "core/meta/meta_scanner.h"

#include <gtest/gtest.h>

namespace sendwell {
namespace {

struct MetaCase {
    const char* what;
    LineList page;
    const char* name;
    const char* value;
};

TEST(MetaScanner, ReadsMetaContentTheWayTheExamplesShow) {
    const MetaCase cases[] = {
        {"one line", {R"(<META NAME="keywords" CONTENT="seo, web tools">)"}, "KEYWORDS", "seo, web tools"},
        {"mixed case, page's case kept",
         {R"(<MeTa NaMe="KeyWords" CoNtEnT="Mixed,CASE">)"},
         "KEYWORDS",
         "Mixed,CASE"},
        {"quotes removed", {R"(<meta name="description" content="a "b" c">)"}, "DESCRIPTION", "a b c"},
        {"CONTENT on the next line, nothing with = before",
         {"<head>", R"(<meta name="description")", R"(content="Split tag">)"},
         "DESCRIPTION",
         "Split tag"},
        {"keywords split after NAME",
         {"<head>", R"(<meta name="keywords")", R"(content="x,y">)"},
         "KEYWORDS",
         "x,y"},
        {"an earlier line with = is taken instead",
         {R"(<link rel="home">)", R"(<meta name="description")", R"(content="Lost">)"},
         "DESCRIPTION",
         "home"},
        {"CONTENT before NAME", {R"(<meta content="a,b" name="keywords">)"}, "KEYWORDS", ""},
        {"another name", {R"(<meta name="author" content="Me">)"}, "KEYWORDS", ""},
        {"content over two lines, each without its last character",
         {R"(<meta name="keywords" content="alpha,beta,)", R"(gamma">)"},
         "KEYWORDS",
         "alpha,betagamma"},
        {"no tag", {"<html>", "<body>text</body>"}, "KEYWORDS", ""},
        {"empty list", {}, "KEYWORDS", ""},
    };
    for (const MetaCase& c : cases) {
        MetaScanner scanner;
        EXPECT_EQ(scanner.GetMetaContent(c.page, c.name), c.value) << c.what;
    }
}

TEST(MetaScanner, FindsTheTitleOnOneLineOrSplitAndKeepsItsCase) {
    const struct {
        const char* what;
        LineList page;
        const char* title;
    } cases[] = {
        {"one line", {"<html><title>My Page</title>"}, "My Page"},
        {"three lines joined without a separator", {"<TITLE>", "My Page", "</TITLE>"}, "My Page"},
        {"mixed case", {"<TiTlE>Case Kept</tItLe>"}, "Case Kept"},
        {"attributes stay in front without their first character",
         {"<title lang=en>Hi</title>"},
         "lang=en>Hi"},
        {"unclosed, finished by the next tag", {"<title>Open Title", "<body>"}, "Open Title"},
        {"no title", {"<html>", "<body>x</body>"}, ""},
        {"empty element", {"<title></title>"}, ""},
        {"closing word only", {"see /title here"}, ""},
        {"closing word before an unfinished opening", {"/title <title"}, ""},
        {"empty page", {}, ""},
    };
    for (const auto& c : cases) {
        MetaScanner scanner;
        EXPECT_EQ(scanner.GetTitle(c.page), c.title) << c.what;
    }
}

TEST(MetaScanner, TheWholePageSearchReadsTheFetchedPageWhateverListIsWalked) {
    MetaScanner scanner;
    const LineList fetched = {"<title>Fetched</title>"};
    const LineList other = {"<title>Other</title>"};
    EXPECT_EQ(scanner.GetTagText(fetched, &other, "TITLE"), "Fetched");
    EXPECT_EQ(scanner.GetTagText(fetched, nullptr, "TITLE"), "Fetched");
    // Nothing to walk, nothing found.
    const LineList none;
    EXPECT_EQ(scanner.GetTagText(fetched, &none, "TITLE"), "");
}

TEST(MetaScanner, HalfMatchedTagsCarryIntoTheNextPage) {
    MetaScanner carried;
    EXPECT_EQ(carried.GetTitle(LineList{"<title>Unfinished"}), "");
    EXPECT_EQ(carried.GetTitle(LineList{"<p>x</p>"}), "Unfinished");

    EXPECT_EQ(carried.GetKeywords(LineList{"<html>", R"(<meta name="keywords")"}), "");
    const LineList second = {R"(content="from, page two">)"};
    EXPECT_EQ(carried.GetKeywords(second), "from, page two");

    MetaScanner fresh;
    EXPECT_EQ(fresh.GetKeywords(second), "");
    EXPECT_EQ(fresh.GetTitle(LineList{"<p>x</p>"}), "");
}

TEST(MetaScanner, AFailedNameClearsTheCarriedState) {
    MetaScanner scanner;
    EXPECT_EQ(scanner.GetKeywords(LineList{"<html>", R"(<meta name="robots")"}), "");
    EXPECT_EQ(scanner.GetKeywords(LineList{R"(content="never">)"}), "");
    EXPECT_EQ(scanner.GetKeywords(LineList{R"(<meta name="keywords" content="later">)"}), "later");
}

} // namespace
} // namespace sendwell
