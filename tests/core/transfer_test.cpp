// The transfer routine against a scripted loopback server: redirects by rule, the header lines per
// method, what reaches the sink, and the loopback guard at every request.
#include "core/web/curl_support.h"
#include "core/web/loopback_guard.h"
#include "core/web/proxy_rules.h"
#include "core/web/transfer.h"
#include "tests/support/http_test_server.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace sendwell {
namespace {

using test::HttpTestServer;
using test::Redirect;
using test::Response;
using test::ScriptedResponse;

class StringSink : public BodySink {
public:
    bool Begin(int status, const std::vector<std::string>& head) override {
        heads.push_back(std::to_string(status) + " " + FindHeader(head, "Content-Length").value_or(""));
        return !refuseHead;
    }
    bool Write(std::string_view bytes) override {
        if (refuse) {
            return false;
        }
        text.append(bytes);
        return true;
    }
    std::string failureText() const override { return refuse || refuseHead ? "the sink is full" : ""; }
    std::string text;
    std::vector<std::string> heads; // status and length of each head the sink was shown
    bool refuse = false;
    bool refuseHead = false;
};

const std::vector<std::string> kGetLines = {"Accept: text/*", "X-Kind: get", "Expect:"};
const std::vector<std::string> kPostLines = {"Accept:", "X-Kind: post",
                                             "Content-type: application/x-www-form-urlencoded", "Expect:"};

TransferSetup SetupWith(RedirectRule rule) {
    TransferSetup setup;
    setup.getHeaders = kGetLines;
    setup.postHeaders = kPostLines;
    setup.redirects = rule;
    setup.limits.connectBackoff = std::chrono::milliseconds(10);
    return setup;
}

class TransferTest : public ::testing::Test {
protected:
    TransferTest() {
        server_.Route("/final", Response(200, "final page"));
        server_.Route("/moved-relative", Redirect(302, "/final"));
        server_.Route("/moved-absolute", Redirect(301, server_.Url("/final")));
        server_.Route("/see-other", Redirect(303, "/final"));
        server_.Route("/temporary", Redirect(307, "/final"));
        server_.Route("/loop", Redirect(302, "/loop"));
        server_.Route("/to-https", Redirect(302, "https://127.0.0.1:1/final"));
    }
    HttpTestServer server_;
};

TEST_F(TransferTest, FollowsRedirectsByTheRuleAndSendsEachMethodsOwnLines) {
    struct Case {
        const char* name;
        RedirectRule rule;
        const char* path;
        bool post;
        std::vector<std::string> requests; // method and target, in order
        int status;
        int redirects;
        bool refused;
        const char* body; // what reached the sink
    };
    // clang-format off
    const Case cases[] = {
        {"none", RedirectRule::None(), "/moved-relative", false,
         {"GET /moved-relative"}, 302, 0, false, "moved\n"},
        {"browser, relative", RedirectRule::Browser(5), "/moved-relative", false,
         {"GET /moved-relative", "GET /final"}, 200, 1, false, "final page"},
        {"browser, 303 drops the body", RedirectRule::Browser(5), "/see-other", true,
         {"POST /see-other", "GET /final"}, 200, 1, false, "final page"},
        {"browser, 307 repeats the post", RedirectRule::Browser(5), "/temporary", true,
         {"POST /temporary", "POST /final"}, 200, 1, false, "final page"},
        {"browser, limit reached", RedirectRule::Browser(2), "/loop", false,
         {"GET /loop", "GET /loop", "GET /loop"}, 302, 2, false, "moved\n"},
        {"once to http, absolute", RedirectRule::OnceToHttp(), "/moved-absolute", false,
         {"GET /moved-absolute", "GET /final"}, 200, 1, false, "final page"},
        {"once to http, relative", RedirectRule::OnceToHttp(), "/moved-relative", false,
         {"GET /moved-relative"}, 302, 0, true, "moved\n"},
        {"once to http, https", RedirectRule::OnceToHttp(), "/to-https", false,
         {"GET /to-https"}, 302, 0, true, "moved\n"},
        {"once to http, 307 is an answer", RedirectRule::OnceToHttp(), "/temporary", false,
         {"GET /temporary"}, 307, 0, false, "moved\n"},
    };
    // clang-format on
    std::size_t seen = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HttpTransfer transfer(SetupWith(c.rule));
        ASSERT_TRUE(transfer.ready());
        StringSink sink;
        TransferRequest request;
        request.url = server_.Url(c.path);
        if (c.post) {
            request.postBody = "a=1&b=2";
        }
        request.sink = &sink;
        TransferResult result = transfer.Perform(request);
        EXPECT_TRUE(result.ok()) << result.error;
        EXPECT_EQ(result.status, c.status);
        EXPECT_EQ(result.redirects, c.redirects);
        EXPECT_EQ(result.redirectRefused, c.refused);
        EXPECT_EQ(sink.text, c.body);

        auto all = server_.Requests();
        std::vector<std::string> sent;
        for (std::size_t i = seen; i < all.size(); ++i) {
            const test::RecordedRequest& r = all[i];
            sent.push_back(r.method + " " + r.target);
            bool post = r.method == "POST";
            EXPECT_EQ(r.HeaderNames(),
                      post ? (std::vector<std::string>{"Host", "X-Kind", "Content-type", "Content-Length"})
                           : (std::vector<std::string>{"Host", "Accept", "X-Kind"}));
            EXPECT_EQ(r.body, post ? "a=1&b=2" : "");
        }
        seen = all.size();
        EXPECT_EQ(sent, c.requests);
    }
}

TEST_F(TransferTest, StopsAfterTheHeadsTheCallerWantsAndReportsTheSinksRefusal) {
    HttpTransfer transfer(SetupWith(RedirectRule::Browser(5)));
    StringSink sink;
    std::vector<std::pair<int, int>> heads;
    TransferRequest request;
    request.url = server_.Url("/moved-relative");
    request.sink = &sink;
    request.stopAfterHead = [&](int status, int redirects) {
        heads.emplace_back(status, redirects);
        return true;
    };
    TransferResult result = transfer.Perform(request);
    EXPECT_TRUE(result.ok()) << result.error;
    EXPECT_EQ(result.status, 200);
    EXPECT_EQ(result.Header("content-length"), "10");
    EXPECT_EQ(sink.text, "");
    EXPECT_EQ(heads, (std::vector<std::pair<int, int>>{{302, 0}, {200, 1}}));
    EXPECT_TRUE(sink.heads.empty());

    // The sink sees the final head only, before its body, and may refuse it.
    sink.refuseHead = true;
    request.stopAfterHead = {};
    result = transfer.Perform(request);
    EXPECT_EQ(result.code, CURLE_WRITE_ERROR);
    EXPECT_EQ(result.error, "the sink is full");
    EXPECT_EQ(sink.heads, std::vector<std::string>{"200 10"});
    EXPECT_EQ(sink.text, "");

    sink.refuseHead = false;
    sink.refuse = true;
    result = transfer.Perform(request);
    EXPECT_EQ(result.code, CURLE_WRITE_ERROR);
    EXPECT_EQ(result.error, "the sink is full");
}

// A refusal counts against the whole test run, so each one is made in a child process.
TEST_F(TransferTest, GuardChecksEveryRequestAndTheProxyBeforeAnyConnection) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // 0.0.0.0 is not a loopback name to the guard, yet reaches only this machine should the guard fail.
    server_.Route("/away", Redirect(302, "http://0.0.0.0:" + std::to_string(server_.port()) + "/final"));
    auto refused = [&](TransferSetup setup, const std::string& path) {
        HttpTransfer transfer(std::move(setup));
        TransferRequest request;
        request.url = server_.Url(path);
        TransferResult result = transfer.Perform(request);
        bool onlyFirst = server_.RequestCount() == (path == "/away" ? 1u : 0u);
        std::_Exit(result.error == kGuardRefusedText && result.status == 0 && onlyFirst ? 0 : 1);
    };
    EXPECT_EXIT(refused(SetupWith(RedirectRule::Browser(5)), "/away"), ::testing::ExitedWithCode(0), "");
    TransferSetup viaProxy = SetupWith(RedirectRule::None());
    viaProxy.connection.useProxy = true;
    viaProxy.connection.proxyName = "0.0.0.0:" + std::to_string(server_.port());
    EXPECT_EXIT(refused(viaProxy, "/final"), ::testing::ExitedWithCode(0), "");
    EXPECT_EQ(GuardRefusals(), 0);
}

// The guard's view of the environment's proxy: libcurl's order of variables, an empty one passed over.
TEST(GuardProxy, TakesTheEnvironmentsProxyInLibcurlsOrder) {
    struct Case {
        std::vector<std::pair<const char*, const char*>> set;
        std::string http, https;
    };
    const std::vector<Case> cases = {
        {{}, "", ""},
        {{{"http_proxy", "h:1"}, {"https_proxy", "s:1"}}, "h:1", "s:1"},
        {{{"HTTPS_PROXY", "S:1"}, {"ALL_PROXY", "A:1"}}, "A:1", "S:1"},
        {{{"http_proxy", ""}, {"all_proxy", "a:1"}, {"ALL_PROXY", "A:1"}}, "a:1", "a:1"},
        {{{"HTTP_PROXY", "ignored:1"}, {"https_proxy", ""}, {"ALL_PROXY", "A:1"}}, "A:1", "A:1"},
    };
    const char* names[] = {"http_proxy",  "https_proxy", "HTTP_PROXY",
                           "HTTPS_PROXY", "all_proxy",   "ALL_PROXY"};
    for (const Case& c : cases) {
        for (const char* name : names) {
            ::unsetenv(name);
        }
        for (const auto& [name, value] : c.set) {
            ::setenv(name, value, 1);
        }
        EXPECT_EQ(GuardProxyFor({}, "http://127.0.0.1/x"), c.http) << c.http;
        EXPECT_EQ(GuardProxyFor({}, "https://127.0.0.1/x"), c.https) << c.https;
    }
    for (const char* name : names) {
        ::unsetenv(name);
    }
}

TEST_F(TransferTest, SaysWhichCharacterOfAnAddressCannotBeSent) {
    HttpTransfer transfer(SetupWith(RedirectRule::None()));
    TransferRequest request;
    request.url = server_.Url("/a b");
    TransferResult result = transfer.Perform(request);
    EXPECT_FALSE(result.ok());
    EXPECT_EQ(result.error, "The address cannot be sent: it contains a space at position " +
                                std::to_string(server_.Url("/a").size() + 1) + ".");
    EXPECT_EQ(UnsendableText("object path", "/x\x7f"),
              "The object path cannot be sent: it contains a control character at position 3.");
    EXPECT_EQ(server_.RequestCount(), 0u);
}

// Each bound ends a request a hostile server would keep going, keeps what fit, and says why.
TEST_F(TransferTest, BoundsEndHostileAnswersWithTheirOwnTexts) {
    ScriptedResponse stall = Response(200, "never");
    stall.delayBeforeBody = std::chrono::minutes(5);
    ScriptedResponse drip = Response(200, std::string(1000, 'd'));
    drip.pieceSize = 1;
    drip.delayBetweenPieces = std::chrono::milliseconds(800);
    const std::string big(20000, 'b');
    const std::string longLine = "HTTP/1.1 200 OK\r\nX-Long: " + std::string(200 * 1024, 'h') + "\r\n\r\nx";
    std::string manyLines = "HTTP/1.1 200 OK\r\n";
    for (int i = 0; i < 5000; ++i) {
        manyLines += "X-Line-" + std::to_string(i) + ": " + std::string(80, 'v') + "\r\n";
    }
    manyLines += "\r\nx";

    struct Case {
        const char* name;
        ScriptedResponse response;
        std::chrono::milliseconds total;
        bool stopped;
        CURLcode code;
        std::string error;               // "" when the library's own text is fine
        std::optional<std::string> kept; // none: whatever dripped in before the end
    };
    const std::vector<Case> cases = {
        {"stall", stall, std::chrono::milliseconds(1000), false, CURLE_OPERATION_TIMEDOUT, "", ""},
        {"drip cancelled",
         drip,
         {},
         true,
         CURLE_ABORTED_BY_CALLBACK,
         std::string(kCancelledText),
         std::nullopt},
        {"finishes after the cancel", Response(200, "quick"), {}, true, CURLE_OK, "", "quick"},
        {"big body",
         Response(200, big),
         {},
         false,
         CURLE_WRITE_ERROR,
         AnswerCutText(4096),
         big.substr(0, 4096)},
        {"long header line",
         test::RawResponse(longLine),
         {},
         false,
         CURLE_OUT_OF_MEMORY,
         std::string(kHeadTooLargeText),
         ""},
        {"many header lines",
         test::RawResponse(manyLines),
         {},
         false,
         CURLE_WRITE_ERROR,
         std::string(kHeadTooLargeText),
         ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HttpTestServer server;
        server.Route("/p", c.response);
        std::atomic<bool> stop{c.stopped};
        TransferSetup setup = SetupWith(RedirectRule::None());
        setup.limits.total = c.total;
        setup.limits.maxBody = 4096;
        // Long enough for a loopback answer, short against the drip's 800 s.
        setup.limits.cancelGrace = std::chrono::milliseconds(c.code == CURLE_OK ? 60000 : 100);
        setup.stop = &stop;
        HttpTransfer transfer(std::move(setup));
        StringSink sink;
        TransferRequest request;
        request.url = server.Url("/p");
        request.sink = &sink;
        TransferResult result = transfer.Perform(request);
        EXPECT_EQ(result.code, c.code) << result.error;
        if (!c.error.empty()) {
            EXPECT_EQ(result.error, c.error);
        }
        if (c.kept) {
            EXPECT_EQ(sink.text, *c.kept);
        }
    }
}

} // namespace
} // namespace sendwell
