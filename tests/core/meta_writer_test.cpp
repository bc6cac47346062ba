// The meta-tag writer: tokens, the tag test, the rewrite in each mode, and the Save flow on real files
// with scripted answers for its windows, including the ways a save can fail.
#include "core/meta/meta_save.h"
#include "core/meta/meta_writer.h"
#include "tests/support/temp_dir.h"

#include <algorithm>
#include <filesystem>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <iterator>
#include <sys/stat.h>
#include <unistd.h>

namespace sendwell {
namespace {

namespace fs = std::filesystem;
using test::ReadFileBytes;
using test::TempDir;
using test::WriteFileBytes;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

struct Shown {
    std::string text;
    MessageIcon icon;
};

class Script : public MetaSaveWindows, public Prompt {
public:
    std::optional<fs::path> target;
    std::vector<std::optional<InsertMode>> modes; // one answer per showing of "Inserting New Keywords"
    std::vector<bool> confirms;                   // one answer per cancel question, true for Yes
    std::optional<std::string> description;       // the edited text; none cancels

    int modeAsked = 0;
    int confirmAsked = 0;
    std::vector<std::string> offered;
    std::vector<Shown> shown;

    std::optional<fs::path> ChooseTargetPage() override { return target; }
    std::optional<InsertMode> ChooseInsertMode() override { return modes.at(modeAsked++); }
    bool ConfirmCancelSaving() override { return confirms.at(confirmAsked++); }
    std::optional<std::string> EditDescription(const std::string& current) override {
        offered.push_back(current);
        return description;
    }
    void ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon) override {
        EXPECT_EQ(caption, "Sendwell!");
        shown.push_back({text, icon});
    }
};

void Save(Script& script, const std::string& keywords, const FileWriter& writer = WriteAllToFd) {
    MetaScanner scanner;
    SaveMetaTags(keywords, script, script, scanner, writer);
}

std::vector<std::string> Tokens(std::string_view text) {
    std::vector<std::string> tokens;
    TokenReader reader(text);
    for (std::string t = reader.ReadToken(); !t.empty(); t = reader.ReadToken()) {
        tokens.push_back(t);
    }
    return tokens;
}

TEST(MetaWriter, ReadsTagsAndTextRunsAsTokens) {
    EXPECT_THAT(Tokens("<a href=x>text\nmore<b>"), ElementsAre("<a href=x>", "text\nmore", "<b>"));
    EXPECT_THAT(Tokens("x>y<a<b>tail"), ElementsAre("x>", "y", "<a<b>", "tail"));
    EXPECT_THAT(Tokens("<unclosed"), ElementsAre("<unclosed"));
    EXPECT_THAT(Tokens(""), ElementsAre());
}

TEST(MetaWriter, FindsATagAfterMetaAndNameInAnyCase) {
    EXPECT_TRUE(HasMetaTag(R"(<meta name="KeyWords" content="a">)", "Keywords"));
    EXPECT_TRUE(HasMetaTag("<meta x><p>name keywords</p>", "Keywords"));
    EXPECT_FALSE(HasMetaTag(R"(<name keywords meta>)", "Keywords"));
    EXPECT_FALSE(HasMetaTag(R"(<meta keywords name="author">)", "Keywords"));
    // The stage is never reset: the word anywhere after META and NAME counts.
    EXPECT_TRUE(HasMetaTag(R"(<meta name="author" content="x"><p>keywords</p>)", "Keywords"));
}

TEST(MetaWriter, ReplacesOrInsertsTheTag) {
    const std::string keywords = "<HEAD>\n<META NAME=\"keywords\" CONTENT=\"a,b\">\n</HEAD>";
    const struct {
        const char* what;
        std::string page;
        const char* name;
        InsertMode mode;
        std::string result;
        TagChange change;
    } cases[] = {
        {"before", keywords, "Keywords", InsertMode::Before,
         "<HEAD>\n<META NAME=\"KEYWORDS\" CONTENT=\"c,d,a,b\">\n\n</HEAD>", TagChange::Written},
        {"after", keywords, "Keywords", InsertMode::After,
         "<HEAD>\n<META NAME=\"KEYWORDS\" CONTENT=\"a,b,c,d\">\n\n</HEAD>", TagChange::Written},
        {"replace", keywords, "Keywords", InsertMode::Replace,
         "<HEAD>\n<META NAME=\"KEYWORDS\" CONTENT=\"c,d\">\n\n</HEAD>", TagChange::Written},
        {"phrases come back as single words", R"(<meta name="keywords" content="web tools, seo">)",
         "Keywords", InsertMode::After, "<META NAME=\"KEYWORDS\" CONTENT=\"web,tools,seo,c,d\">\n",
         TagChange::Written},
        {"a description's words are joined by blanks", R"(<meta name=description content="Old,  text">)",
         "Description", InsertMode::After, "<META NAME=\"DESCRIPTION\" CONTENT=\"Old text c,d\">\n",
         TagChange::Written},
        {"a tag without CONTENT is dropped", "<head><meta name=keywords></head>", "Keywords",
         InsertMode::Replace, "<head></head>", TagChange::Dropped},
        {"inserted after HEAD", "<html><head>\n</head>", "Keywords", InsertMode::After,
         "<html><head><META NAME=\"Keywords\" CONTENT=\"c,d\">\n\n</head>", TagChange::Written},
        {"a new HEAD after HTML", "<html>\n<body>", "Keywords", InsertMode::After,
         "<html>\n<HEAD>\n<META NAME=\"Keywords\" CONTENT=\"c,d\">\n\n</HEAD>\n\n<body>", TagChange::Written},
        {"neither HEAD nor HTML", "<p>just text</p>", "Keywords", InsertMode::After, "<p>just text</p>",
         TagChange::NoPlace},
    };
    for (const auto& c : cases) {
        const RewrittenPage page = RewriteMetaTag(c.page, c.name, "c,d", c.mode);
        EXPECT_EQ(page.text, c.result) << c.what;
        EXPECT_EQ(page.change, c.change) << c.what;
    }
}

TEST(MetaWriter, ReplacesOnlyMetaElementsOfTheNameAndKeepsEveryOtherByte) {
    const std::string description = R"(<meta name="description" content="Choose keywords wisely">)";
    const std::string paragraph = "<p>Our metadata team names the best keywords.</p>\n";
    const std::string inserted = "<META NAME=\"Keywords\" CONTENT=\"c,d\">\n";
    const struct {
        const char* what;
        std::string page;
        std::string result;
    } cases[] = {
        {"no keywords tag: the description and the text stay",
         "<head>\n" + description + "\n</head>\n" + paragraph,
         "<head>" + inserted + "\n" + description + "\n</head>\n" + paragraph},
        {"only the keywords tag changes",
         "<head><meta name=\"keywords\" content=\"a\">" + description + "</head>\n" + paragraph,
         "<head><META NAME=\"KEYWORDS\" CONTENT=\"a,c,d\">\n" + description + "</head>\n" + paragraph},
        {"content first", R"(<meta content="a,b" name="keywords">)",
         "<META NAME=\"KEYWORDS\" CONTENT=\"a,b,c,d\">\n"},
        {"single quotes", "<meta name='keywords' content='a, b'>",
         "<META NAME=\"KEYWORDS\" CONTENT=\"a,b,c,d\">\n"},
        {"unquoted, any case, other attributes, self-closed", "<META Content=a,b lang=en NAME=KeyWords />x",
         "<META NAME=\"KEYWORDS\" CONTENT=\"a,b,c,d\">\nx"},
        {"a quoted \">\" belongs to the tag", R"(<meta name="keywords" content="a>b">rest)",
         "<META NAME=\"KEYWORDS\" CONTENT=\"a,b,c,d\">\nrest"},
        {"an unclosed quote does not swallow what follows",
         "<head><meta name=\"keywords\" content=\"a>\n<p>text</p>",
         "<head><META NAME=\"KEYWORDS\" CONTENT=\"a,c,d\">\n\n<p>text</p>"},
        {"comments and scripts hold no tags",
         "<head><!-- <meta name=\"keywords\" content=\"old\"> --><script>s='<meta name=keywords "
         "content=x>'</script>",
         "<head>" + inserted +
             "<!-- <meta name=\"keywords\" content=\"old\"> --><script>s='<meta name=keywords "
             "content=x>'</script>"},
        {"other elements and other names",
         "<head><metadata name=keywords><meta name=\"keywords x\" content=y><meta property=keywords "
         "content=z>",
         "<head>" + inserted +
             "<metadata name=keywords><meta name=\"keywords x\" content=y><meta property=keywords "
             "content=z>"},
    };
    for (const auto& c : cases) {
        const RewrittenPage page = RewriteMetaTag(c.page, "Keywords", "c,d", InsertMode::After);
        EXPECT_EQ(page.text, c.result) << c.what;
        EXPECT_EQ(page.change, TagChange::Written) << c.what;
    }
}

TEST(MetaSave, ANewPageGetsTheTemplateWithDescriptionThenKeywordsAfterHead) {
    TempDir dir;
    Script script;
    script.target = dir / "new.html";
    script.description = "All about widgets";
    Save(script, "c,d");

    EXPECT_EQ(ReadFileBytes(dir / "new.html"),
              "<!-- Web page meta tags created with Tagwright!, http://www.sendwellpro.example -->\n"
              "<HTML>\n"
              "<HEAD><META NAME=\"Description\" CONTENT=\"All about widgets\">\n"
              "<META NAME=\"Keywords\" CONTENT=\"c,d\">\n"
              "\n"
              "</HEAD>\n"
              "<B>The meta tags are in the body of this web page.</B><BR>\n"
              "To view them, simply click VIEW->SOURCE.<BR>\n"
              "Replace this text with your own web page text.\n"
              "</HTML>\n");
    EXPECT_FALSE(fs::exists(dir / "new.html_OLD"));
    EXPECT_EQ(script.modeAsked, 0);
    EXPECT_THAT(script.offered, ElementsAre(""));
    ASSERT_EQ(script.shown.size(), 1u);
    EXPECT_EQ(script.shown[0].text, "Meta tags were updated successfully. The new web page was saved as:\n" +
                                        (dir / "new.html").string());
}

TEST(MetaSave, BacksUpThePageLineByLineAndKeepsItsLineEnds) {
    const struct {
        const char* what;
        std::string page;
        std::string backup;
        bool crlf;
    } cases[] = {
        {"LF, last line unended", "<head>\nbody", "<head>\nbody\n", false},
        {"CR LF", "<head>\r\nbody\r\n", "<head>\r\nbody\r\n", true},
        {"mostly CR LF", "<head>\r\none\r\ntwo\n", "<head>\r\none\r\ntwo\r\n", true},
        {"mostly LF", "<head>\none\ntwo\r\n", "<head>\none\ntwo\n", false},
    };
    for (const auto& c : cases) {
        TempDir dir;
        const fs::path page = dir / "index.html";
        WriteFileBytes(page, c.page);
        Script script;
        script.target = page;
        Save(script, "k");

        EXPECT_EQ(ReadFileBytes(dir / "index.html_OLD"), c.backup) << c.what;
        const std::string written = ReadFileBytes(page);
        EXPECT_THAT(written, HasSubstr("<META NAME=\"Keywords\" CONTENT=\"k\">")) << c.what;
        const std::size_t crlf = [&] {
            std::size_t n = 0;
            for (std::size_t i = written.find("\r\n"); i != std::string::npos;
                 i = written.find("\r\n", i + 1)) {
                ++n;
            }
            return n;
        }();
        const std::size_t lf = static_cast<std::size_t>(std::count(written.begin(), written.end(), '\n'));
        EXPECT_EQ(crlf, c.crlf ? lf : 0u) << c.what;
        ASSERT_EQ(script.shown.size(), 1u) << c.what;
        EXPECT_EQ(script.shown[0].text,
                  "Meta tags were updated successfully. A backup of your original web page "
                  "was saved as:\n" +
                      (dir / "index.html_OLD").string());
        EXPECT_EQ(script.shown[0].icon, MessageIcon::Information);
    }
}

TEST(MetaSave, CancellingTheModeAsksAgainUntilYesThenStillOffersTheDescription) {
    TempDir dir;
    const fs::path page = dir / "p.html";
    WriteFileBytes(page, "<head><meta name=\"keywords\" content=\"a,b\">\n"
                         "<meta name=\"description\" content=\"Old\">\n</head>\n");
    Script script;
    script.target = page;
    script.modes = {std::nullopt, std::nullopt};
    script.confirms = {false, true};
    script.description = "New";
    Save(script, "c,d");

    EXPECT_EQ(script.modeAsked, 2);
    EXPECT_EQ(script.confirmAsked, 2);
    EXPECT_THAT(script.offered, ElementsAre("Old"));
    EXPECT_EQ(ReadFileBytes(page), "<head><meta name=\"keywords\" content=\"a,b\">\n"
                                   "<META NAME=\"DESCRIPTION\" CONTENT=\"New\">\n\n</head>\n");
    EXPECT_TRUE(script.shown.empty());
}

TEST(MetaSave, APageThatCannotBeReadOrWrittenStopsTheSaveAndIsLeftAlone) {
    TempDir dir;
    const fs::path page = dir / "locked.html";
    WriteFileBytes(page, "<head></head>\n");
    WriteFileBytes(dir / "locked.html_OLD", "older backup\n");
    ASSERT_EQ(::chmod(page.c_str(), 0444), 0);
    fs::create_directory(dir / "folder.html");

    const struct {
        fs::path target;
        const char* says;
    } cases[] = {
        {page, "The web page is read-only, so nothing was saved:\n"},
        {dir / "folder.html", "The web page could not be read, so nothing was saved:\n"},
    };
    for (const auto& c : cases) {
        Script script;
        script.target = c.target;
        Save(script, "k");
        ASSERT_EQ(script.shown.size(), 1u);
        EXPECT_EQ(script.shown[0].text, c.says + c.target.string());
        EXPECT_EQ(script.shown[0].icon, MessageIcon::Warning);
        EXPECT_TRUE(script.offered.empty());
    }
    EXPECT_EQ(ReadFileBytes(page), "<head></head>\n");
    EXPECT_EQ(ReadFileBytes(dir / "locked.html_OLD"), "older backup\n");
    EXPECT_FALSE(fs::exists(dir / "folder.html_OLD"));
}

TEST(MetaSave, APageWithoutHeadOrHtmlIsReportedAndLeftAlone) {
    TempDir dir;
    const fs::path page = dir / "bare.html";
    WriteFileBytes(page, "<p>only a paragraph</p>\n");
    WriteFileBytes(dir / "bare.html_OLD", "older backup\n");
    Script script;
    script.target = page;
    script.description = "D";
    Save(script, "k");

    EXPECT_EQ(ReadFileBytes(page), "<p>only a paragraph</p>\n");
    EXPECT_EQ(ReadFileBytes(dir / "bare.html_OLD"), "older backup\n");
    ASSERT_EQ(script.shown.size(), 1u);
    EXPECT_EQ(script.shown[0].text,
              "No meta tags were saved.\n\n"
              "The Keywords tag was not added: the web page has neither a <HEAD> nor an <HTML> tag.\n\n"
              "The Description tag was not added: the web page has neither a <HEAD> nor an <HTML> tag.\n\n"
              "The web page was left unchanged.");
    EXPECT_EQ(script.shown[0].icon, MessageIcon::Warning);
}

TEST(MetaSave, AFailureBeforeTheRenameLeavesTheOldPage) {
    TempDir dir;
    const fs::path page = dir / "p.html";
    WriteFileBytes(page, "<head></head>\n");
    // The backup goes through; the page's new bytes all reach the temporary file, then the process
    // "dies" before the rename.
    int calls = 0;
    auto writer = [&](int fd, std::string_view bytes) { return WriteAllToFd(fd, bytes) && ++calls == 1; };
    Script script;
    script.target = page;
    Save(script, "k", writer);

    EXPECT_EQ(ReadFileBytes(page), "<head></head>\n");
    EXPECT_EQ(ReadFileBytes(dir / "p.html_OLD"), "<head></head>\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2);
    EXPECT_TRUE(script.offered.empty());
    ASSERT_EQ(script.shown.size(), 1u);
    EXPECT_EQ(script.shown[0].text,
              "No meta tags were saved.\n\nThe web page could not be written:\n" + page.string() +
                  "\n\nA backup of your original web page was saved as:\n" + (dir / "p.html_OLD").string());
}

TEST(MetaSave, LongLinesTokensAndPathsGoThroughWhole) {
    TempDir dir;
    fs::path folder = dir.path();
    while (folder.string().size() < 300) {
        folder /= std::string(60, 'd');
    }
    fs::create_directories(folder);
    const fs::path page = folder / "long.html";
    const std::string longLine(150000, 'x');
    WriteFileBytes(page, "<head>\n" + longLine + "\n");
    const std::string keywords(120000, 'k');
    Script script;
    script.target = page;
    script.description = std::string(100001, 'd');
    Save(script, keywords);

    EXPECT_EQ(ReadFileBytes(page), "<head><META NAME=\"Description\" CONTENT=\"" + *script.description +
                                       "\">\n<META NAME=\"Keywords\" CONTENT=\"" + keywords + "\">\n\n" +
                                       longLine + "\n");
    EXPECT_EQ(ReadFileBytes(folder / "long.html_OLD"), "<head>\n" + longLine + "\n");
    ASSERT_EQ(script.shown.size(), 1u);
    EXPECT_EQ(script.shown[0].icon, MessageIcon::Information);
}

struct FileInfo {
    uid_t uid;
    gid_t gid;
    mode_t mode;
};

FileInfo InfoOf(const fs::path& file) {
    struct stat st {};
    EXPECT_EQ(::lstat(file.c_str(), &st), 0) << file;
    EXPECT_TRUE(S_ISREG(st.st_mode)) << file;
    return {st.st_uid, st.st_gid, static_cast<mode_t>(st.st_mode & 07777)};
}

TEST(MetaSave, ThePageAndItsBackupKeepThePagesOwnerGroupAndMode) {
    const bool root = ::geteuid() == 0;
    const struct {
        const char* what;
        mode_t mode;
        bool otherOwner; // only root may save a page it does not own and keep its owner
    } cases[] = {
        {"private", 0600, false},
        {"group-readable", 0640, false},
        {"another user's private page", 0600, true},
    };
    for (const auto& c : cases) {
        if (c.otherOwner && !root) {
            continue;
        }
        TempDir dir;
        const fs::path page = dir / "p.html";
        WriteFileBytes(page, "<head></head>\n");
        // An older backup that anyone could read: the new one must not stay that open.
        WriteFileBytes(dir / "p.html_OLD", "older backup\n");
        ASSERT_EQ(::chmod((dir / "p.html_OLD").c_str(), 0644), 0);
        if (c.otherOwner) {
            ASSERT_EQ(::chown(page.c_str(), 4242, 4343), 0);
        }
        ASSERT_EQ(::chmod(page.c_str(), c.mode), 0);
        const FileInfo before = InfoOf(page);
        Script script;
        script.target = page;
        Save(script, "k");

        ASSERT_THAT(ReadFileBytes(page), HasSubstr("CONTENT=\"k\"")) << c.what;
        EXPECT_EQ(ReadFileBytes(dir / "p.html_OLD"), "<head></head>\n") << c.what;
        for (const fs::path& file : {page, dir / "p.html_OLD"}) {
            const FileInfo after = InfoOf(file);
            EXPECT_EQ(after.uid, before.uid) << c.what << ' ' << file;
            EXPECT_EQ(after.gid, before.gid) << c.what << ' ' << file;
            EXPECT_EQ(after.mode, c.mode) << c.what << ' ' << file;
        }
    }
}

TEST(MetaSave, ALinkPlantedAsTheBackupIsReplacedNotWrittenThrough) {
    const struct {
        const char* what;
        bool targetExists;
    } cases[] = {
        {"a link to another file", true},
        {"a link to nothing yet", false},
    };
    for (const auto& c : cases) {
        TempDir dir;
        const fs::path page = dir / "p.html";
        const fs::path victim = dir / "victim.txt";
        WriteFileBytes(page, "<head></head>\n");
        ASSERT_EQ(::chmod(page.c_str(), 0600), 0);
        if (c.targetExists) {
            WriteFileBytes(victim, "not yours\n");
        }
        fs::create_symlink(victim, dir / "p.html_OLD");
        Script script;
        script.target = page;
        Save(script, "k");

        EXPECT_EQ(ReadFileBytes(dir / "p.html_OLD"), "<head></head>\n") << c.what;
        EXPECT_EQ(InfoOf(dir / "p.html_OLD").mode, 0600u) << c.what;
        if (c.targetExists) {
            EXPECT_EQ(ReadFileBytes(victim), "not yours\n") << c.what;
        } else {
            EXPECT_FALSE(fs::exists(victim)) << c.what;
        }
        ASSERT_EQ(script.shown.size(), 1u) << c.what;
        EXPECT_EQ(script.shown[0].icon, MessageIcon::Information) << c.what;
    }
}

} // namespace
} // namespace sendwell
