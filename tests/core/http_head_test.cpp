// The head reader both transfer paths share: which lines make up the head an answer is judged by.
#include "core/web/http_head.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace sendwell {
namespace {

struct Fed {
    int completes = 0;
    HeadReader::Step last = HeadReader::Step::More;
};

Fed Feed(HeadReader& reader, const std::vector<std::string>& lines) {
    Fed fed;
    for (const std::string& line : lines) {
        fed.last = reader.Take(line);
        fed.completes += fed.last == HeadReader::Step::Complete ? 1 : 0;
    }
    return fed;
}

TEST(HeadReader, KeepsTheLastCompleteHeadOfEachTry) {
    struct Case {
        const char* name;
        std::vector<std::string> lines; // as libcurl hands them over
        int completes;
        int status;
        std::vector<std::string> head;
    };
    const std::vector<Case> cases = {
        {"an interim head, then the real one",
         {"HTTP/1.1 100 Continue\r\n", "\r\n", "HTTP/1.1 200 OK\r\n", "Content-Length: 2\r\n", "\r\n"},
         2,
         200,
         {"Content-Length: 2"}},
        {"trailers after the body are passed over",
         {"HTTP/1.1 200 OK\r\n", "Transfer-Encoding: chunked\r\n", "\r\n", "Checksum: abc\r\n", "\r\n"},
         1,
         200,
         {"Transfer-Encoding: chunked"}},
        {"a head still arriving leaves the last complete one",
         {"HTTP/1.1 301 Moved\r\n", "Location: /b\r\n", "\r\n", "HTTP/1.1 200 OK\r\n", "Server: x\r\n"},
         1,
         301,
         {"Location: /b"}},
        {"bare line feeds", {"HTTP/1.0 404 Gone\n", "A: b\n", "\n"}, 1, 404, {"A: b"}},
        {"lines before any status line", {"Stray: 1\r\n", "\r\n"}, 0, 0, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HeadReader reader;
        EXPECT_EQ(Feed(reader, c.lines).completes, c.completes);
        EXPECT_EQ(reader.status(), c.status);
        EXPECT_EQ(reader.head(), c.head);
        EXPECT_FALSE(reader.tooLarge());
    }
}

TEST(HeadReader, BoundsEachHeadAndForgetsItAllOnReset) {
    // Line ends do not count; the bound is per head, so a long interim head does not eat into the next.
    const std::string half(kMaxHeadBytes / 2, 'a');
    const std::vector<std::string> full = {"HTTP/1.1 200 OK\r\n", "A:" + half.substr(2) + "\r\n",
                                           "B:" + half.substr(2) + "\r\n"};
    HeadReader reader;
    std::vector<std::string> interim = full;
    interim[0] = "HTTP/1.1 103 Early Hints\r\n";
    interim.emplace_back("\r\n");
    ASSERT_EQ(Feed(reader, interim).completes, 1);
    EXPECT_EQ(Feed(reader, full).last, HeadReader::Step::More);
    EXPECT_FALSE(reader.tooLarge());
    EXPECT_EQ(reader.Take("C\r\n"), HeadReader::Step::TooLarge);
    EXPECT_TRUE(reader.tooLarge());
    EXPECT_EQ(reader.status(), 103);

    reader.Reset();
    EXPECT_FALSE(reader.tooLarge());
    EXPECT_EQ(reader.status(), 0);
    EXPECT_TRUE(reader.head().empty());
    EXPECT_EQ(reader.Take("Trailer: after the reset\r\n"), HeadReader::Step::More);
    EXPECT_TRUE(reader.head().empty());
}

} // namespace
} // namespace sendwell
