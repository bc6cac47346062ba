// robots.txt: the examples of RFC 9309 as a table, the groups and the matching rules, and what an
// answer's status means for the whole site.
#include "core/audit/robots_txt.h"
#include "core/web/fetch_engine.h"

#include <gtest/gtest.h>
#include <string>

namespace sendwell {
namespace {

struct MatchCase {
    const char* robots;
    const char* agent;
    const char* path;
    bool allowed;
};

// The RFC's simple example (section 5.1): one group for everyone, one for foobot, one shared by barbot
// and bazbot, and an empty one for quxbot.
constexpr const char* kSimpleExample = "User-Agent: *\n"
                                       "Disallow: *.gif$\n"
                                       "Disallow: /example/\n"
                                       "Allow: /publications/\n"
                                       "\n"
                                       "User-Agent: foobot\n"
                                       "Disallow:/\n"
                                       "Allow:/example/page.html\n"
                                       "Allow:/example/allowed.gif\n"
                                       "\n"
                                       "User-Agent: barbot\n"
                                       "User-Agent: bazbot\n"
                                       "Disallow: /example/page.html\n"
                                       "\n"
                                       "User-Agent: quxbot\n";

// The longest match example (section 5.2).
constexpr const char* kLongestMatch = "User-Agent: foobot\n"
                                      "Allow: /example/page/\n"
                                      "Disallow: /example/page/disallowed.gif\n";

// Groups of the same agent merge (section 2.2.1).
constexpr const char* kMerged = "user-agent: ExampleBot\ndisallow: /foo\ndisallow: /bar\n\n"
                                "user-agent: ExampleBot\ndisallow: /baz\n";

TEST(RobotsTxt, FollowsTheExamplesOfTheStandard) {
    const MatchCase cases[] = {
        {kSimpleExample, "foobot", "/example/page.html", true},
        {kSimpleExample, "foobot", "/example/allowed.gif", true},
        {kSimpleExample, "foobot", "/example/other.html", false},
        {kSimpleExample, "foobot", "/", false},
        {kSimpleExample, "barbot", "/example/page.html", false},
        {kSimpleExample, "bazbot", "/example/page.html", false},
        {kSimpleExample, "barbot", "/example/image.gif", true}, // its own group, not "*"
        {kSimpleExample, "quxbot", "/example/page.html", true}, // an empty group allows all
        {kSimpleExample, "otherbot", "/image.gif", false},
        {kSimpleExample, "otherbot", "/image.gif?x=1", true}, // "$" ends the match
        {kSimpleExample, "otherbot", "/example/page.html", false},
        {kSimpleExample, "otherbot", "/publications/", true},
        {kSimpleExample, "otherbot", "/index.html", true},
        {kLongestMatch, "foobot", "/example/page/", true},
        {kLongestMatch, "foobot", "/example/page/disallowed.gif", false},
        {kMerged, "ExampleBot", "/foo", false},
        {kMerged, "ExampleBot", "/baz/x", false},
        {kMerged, "ExampleBot", "/qux", true},
        // Product tokens compare without letter case.
        {kMerged, "examplebot", "/bar", false},
        // Percent-encoding: an encoded unreserved character is the character, non-ASCII octets are
        // compared encoded whichever way either side wrote them (section 2.2.2).
        {"user-agent: *\ndisallow: /foo/bar/baz\n", "x", "/foo/bar/%62%61%7A", false},
        {"user-agent: *\ndisallow: /foo/bar/%62%61%7a\n", "x", "/foo/bar/baz", false},
        {"user-agent: *\ndisallow: /foo/bar/\xE3\x83\x84\n", "x", "/foo/bar/%E3%83%84", false},
        {"user-agent: *\ndisallow: /foo/bar/%e3%83%84\n", "x", "/foo/bar/\xE3\x83\x84", false},
        {"user-agent: *\ndisallow: /a%2Fb\n", "x", "/a/b", true}, // an encoded "/" stays encoded
        // Special characters (section 2.2.3).
        {"user-agent: *\ndisallow: /*.php$\n", "x", "/folder/filename.php", false},
        {"user-agent: *\ndisallow: /*.php$\n", "x", "/filename.php?parameters", true},
        {"user-agent: *\ndisallow: /*.php$\n", "x", "/filename.php5", true},
        {"user-agent: *\ndisallow: /*.php$\n", "x", "/windows.PHP", true},
        {"user-agent: *\ndisallow: /fish*\n", "x", "/fish.html", false},
        {"user-agent: *\ndisallow: /fish*\n", "x", "/Fish.asp", true},
        {"user-agent: *\ndisallow: /*\n", "x", "/", false},
        {"user-agent: *\ndisallow: /a/*/c$\n", "x", "/a/b/b/c", false},
        {"user-agent: *\ndisallow: /a/*/c$\n", "x", "/a/b/c/d", true},
        // Ties go to Allow, whichever comes first; "Disallow:" with nothing disallows nothing.
        {"user-agent: *\ndisallow: /page\nallow: /page\n", "x", "/page", true},
        {"user-agent: *\nallow: /page\ndisallow: /page\n", "x", "/page", true},
        {"user-agent: *\ndisallow:\n", "x", "/anything", true},
        // Rules before any user-agent line belong to no group; /robots.txt is always allowed.
        {"disallow: /\nuser-agent: *\nallow: /x\n", "x", "/y", true},
        {"user-agent: *\ndisallow: /\n", "x", "/robots.txt", true},
        // Comments, CR line ends, a byte order mark and blanks around the colon.
        {"\xEF\xBB\xBFUser-agent: * # all\r\nDisallow : /private # keep out\r\n", "x", "/private/a", false},
        // Our own token, written with a version, wins over "*".
        {"user-agent: *\ndisallow: /\n\nuser-agent: Sendwell/3\nallow: /\n", "Sendwell", "/a", true},
    };
    for (const MatchCase& c : cases) {
        EXPECT_EQ(RobotsTxt::Parse(c.robots, c.agent).Allows(c.path), c.allowed)
            << c.agent << " " << c.path << " under\n"
            << c.robots;
    }
}

TEST(RobotsTxt, AnAnswersStatusDecidesForTheWholeSite) {
    struct Case {
        bool answered;
        int status;
        RobotsTxt::Source source;
        bool allowed;
    };
    const Case cases[] = {
        {true, 200, RobotsTxt::Source::Read, false},       {true, 404, RobotsTxt::Source::Unavailable, true},
        {true, 403, RobotsTxt::Source::Unavailable, true}, {true, 503, RobotsTxt::Source::Unreachable, false},
        {false, 0, RobotsTxt::Source::Unreachable, false},
    };
    for (const Case& c : cases) {
        FetchResult result;
        result.url = "http://127.0.0.1:1/robots.txt";
        result.status = c.status;
        result.outcome = c.answered ? Outcome::Succeeded() : Outcome::Failed("Couldn't connect to server");
        result.body = "User-agent: *\nDisallow: /private\n";
        const RobotsTxt robots = RobotsTxt::FromFetch(result);
        EXPECT_EQ(robots.source(), c.source) << c.status;
        EXPECT_EQ(robots.AllowsUrl("http://127.0.0.1:1/private/page"), c.allowed) << c.status;
        EXPECT_TRUE(robots.AllowsUrl("http://127.0.0.1:1/robots.txt"));
    }
}

TEST(RobotsTxt, ReadsAtMost500KiBAndCollectsSitemaps) {
    std::string text = "Sitemap: http://127.0.0.1/a.xml\nUser-agent: *\nSITEMAP:http://127.0.0.1/b.xml\n";
    while (text.size() < kRobotsTxtMaxBytes - 20) {
        text += "Allow: /filler\n";
    }
    // The last line inside the bound is cut short: its shorter pattern must not count.
    text += "Disallow: /keep-this-path-out-of-the-first-500-kib\nDisallow: /late\n";
    const RobotsTxt robots = RobotsTxt::Parse(text);
    EXPECT_TRUE(robots.Allows("/keep"));
    EXPECT_TRUE(robots.Allows("/late"));
    EXPECT_EQ(robots.sitemaps(),
              (std::vector<std::string>{"http://127.0.0.1/a.xml", "http://127.0.0.1/b.xml"}));
}

TEST(RobotsTxt, ManyStarsStayQuick) {
    std::string pattern = "/";
    for (int i = 0; i < 20000; ++i) {
        pattern += "a*";
    }
    const RobotsTxt robots = RobotsTxt::Parse("user-agent: *\ndisallow: " + pattern + "b\n");
    EXPECT_TRUE(robots.Allows("/" + std::string(2000, 'a')));
    const RobotsTxt short_ = RobotsTxt::Parse("user-agent: *\ndisallow: /*a*a*a*a*a*a*a*a*a*a*b\n");
    EXPECT_TRUE(short_.Allows("/" + std::string(4000, 'a')));
}

TEST(RobotsTxt, AddressOfASitesRobotsTxt) {
    EXPECT_EQ(RobotsTxtAddress("HTTPS://Example.TEST:443/a/b?c#d"), "https://example.test/robots.txt");
    EXPECT_EQ(RobotsTxtAddress("http://127.0.0.1:8080/x"), "http://127.0.0.1:8080/robots.txt");
    EXPECT_EQ(RobotsTxtAddress("not an address"), "");
}

} // namespace
} // namespace sendwell
