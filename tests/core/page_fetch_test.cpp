// The page fetch against a scripted loopback server: the request it sends, the lines it returns, and
// the answers it acts on (401, redirects) or refuses.
#include "core/web/network_lock.h"
#include "core/web/page_fetcher.h"
#include "core/web/proxy_rules.h"
#include "tests/support/http_test_server.h"
#include "tests/support/loopback_port.h"

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace sendwell {
namespace {

using namespace std::chrono_literals;
using test::HttpTestServer;
using test::Response;
using test::ScriptedResponse;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

class StubPrompt : public Prompt {
public:
    explicit StubPrompt(std::optional<Credentials> answer) : answer_(std::move(answer)) {}
    void ShowMessage(const std::string&, const std::string&, MessageIcon) override {}
    std::optional<Credentials> AskCredentials(const std::string& address, const std::string& realm) override {
        ++calls;
        lastAddress = address;
        lastRealm = realm;
        return answer_;
    }
    int calls = 0;
    std::string lastAddress, lastRealm;

private:
    std::optional<Credentials> answer_;
};

TEST(PageFetch, PutsHttpInFrontAndSendsExactlyTheFixedHeaderBlock) {
    HttpTestServer server;
    server.Route("/path", Response(200, "one\ntwo\n"));
    PageFetcher fetcher;
    const LineList* page = fetcher.FetchPage(server.HostPort() + "/path?q=1").page;
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page, &fetcher.lines);
    EXPECT_THAT(*page, ElementsAre("one", "two"));

    ASSERT_EQ(server.RequestCount(), 1u);
    const test::RecordedRequest r = server.Requests()[0];
    EXPECT_EQ(r.method, "GET");
    EXPECT_EQ(r.target, "/path?q=1");
    EXPECT_EQ(r.version, "HTTP/1.1");
    EXPECT_THAT(r.HeaderNames(), ElementsAre("Host", "Accept", "User-Agent"));
    EXPECT_EQ(r.Header("Host"), server.HostPort());
    EXPECT_EQ(r.Header("Accept"), "text/*");
    EXPECT_EQ(r.Header("User-Agent"), "Microsoft Internet Explorer");
    EXPECT_EQ(r.body, "");
}

TEST(PageFetch, FetchesHttpsOverVerifiedTls) {
    HttpTestServer server(HttpTestServer::Options{.tls = true});
    server.SetHandler(test::Always(Response(200, "secure\r\n")));
    PageFetcher fetcher;
    fetcher.connection.caFile = server.CaFile().string();
    const LineList* page = fetcher.FetchPage(server.Url("/s")).page;
    ASSERT_NE(page, nullptr);
    EXPECT_THAT(*page, ElementsAre("secure"));
    ASSERT_EQ(server.RequestCount(), 1u);
    EXPECT_TRUE(server.Requests()[0].secure);

    // The system's store does not know the test certificate: a failed request, not a page.
    PageFetcher untrusting;
    page = untrusting.FetchPage(server.Url("/s")).page;
    ASSERT_NE(page, nullptr);
    EXPECT_THAT(*page, IsEmpty());
    EXPECT_EQ(server.RequestCount(), 1u);
}

TEST(PageFetch, SplitsBodiesAtLineFeedsAndDropsEveryCarriageReturn) {
    HttpTestServer server;
    server.Route("/crlf", Response(200, "a\r\nb\r\n\r\nlast"));
    server.Route("/lf", Response(200, "x\ny\n"));
    server.Route("/inner-cr", Response(200, "p\rq\r\n"));
    server.Route("/blank", Response(200, "\n"));
    server.Route("/empty", Response(200, ""));
    ScriptedResponse pieces = Response(200, "first\r\nsecond\r\nthird");
    pieces.framing = ScriptedResponse::Framing::Chunked;
    pieces.pieceSize = 6; // cuts between CR and LF
    pieces.delayBetweenPieces = 5ms;
    server.Route("/pieces", pieces);
    ScriptedResponse lfHead = Response(200, "bare\nhead\n");
    lfHead.lineEnd = "\n";
    lfHead.framing = ScriptedResponse::Framing::CloseDelimited;
    server.Route("/lf-head", lfHead);

    PageFetcher fetcher;
    auto fetch = [&](const char* path) {
        const LineList* page = fetcher.FetchPage(server.Url(path)).page;
        return page == nullptr ? LineList{"<none>"} : *page;
    };
    EXPECT_THAT(fetch("/crlf"), ElementsAre("a", "b", "", "last"));
    EXPECT_THAT(fetch("/lf"), ElementsAre("x", "y"));
    EXPECT_THAT(fetch("/inner-cr"), ElementsAre("pq"));
    EXPECT_THAT(fetch("/blank"), ElementsAre(""));
    EXPECT_THAT(fetch("/empty"), IsEmpty());
    EXPECT_THAT(fetch("/pieces"), ElementsAre("first", "second", "third"));
    EXPECT_THAT(fetch("/lf-head"), ElementsAre("bare", "head"));
}

TEST(PageFetch, KeepsTheBodyOfErrorAnswers) {
    HttpTestServer server;
    server.Route("/missing", Response(404, "<h1>Not Found</h1>\r\nsorry\r\n"));
    server.Route("/broken", Response(500, "oops"));
    server.Route("/temp", test::Redirect(307, server.Url("/elsewhere")));
    PageFetcher fetcher;
    ASSERT_NE(fetcher.FetchPage(server.Url("/missing")).page, nullptr);
    EXPECT_THAT(fetcher.lines, ElementsAre("<h1>Not Found</h1>", "sorry"));
    ASSERT_NE(fetcher.FetchPage(server.Url("/broken")).page, nullptr);
    EXPECT_THAT(fetcher.lines, ElementsAre("oops"));
    // 307 is not one of the redirects that are followed: its own body is the page.
    ASSERT_NE(fetcher.FetchPage(server.Url("/temp")).page, nullptr);
    EXPECT_THAT(fetcher.lines, ElementsAre("moved"));
    EXPECT_EQ(server.RequestCount(), 3u);
}

TEST(PageFetch, FollowsOneRedirectToAnAbsoluteHttpAddress) {
    HttpTestServer server;
    HttpTestServer target;
    target.Route("/landing", Response(200, "arrived\n"));
    for (int status : {301, 302, 303}) {
        server.Route("/r" + std::to_string(status), test::Redirect(status, target.Url("/landing")));
    }
    // The Location header is found by name, not inside another header's name.
    server.Route("/content-location",
                 Response(302, "", {{"Content-Location", "/nowhere"}, {"location", target.Url("/landing")}}));
    PageFetcher fetcher;
    for (const char* path : {"/r301", "/r302", "/r303", "/content-location"}) {
        const LineList* page = fetcher.FetchPage(server.Url(path)).page;
        ASSERT_NE(page, nullptr) << path;
        EXPECT_THAT(*page, ElementsAre("arrived")) << path;
    }
    ASSERT_EQ(target.RequestCount(), 4u);
    EXPECT_THAT(target.Requests()[0].HeaderNames(), ElementsAre("Host", "Accept", "User-Agent"));
}

TEST(PageFetch, RefusesRedirectsItCannotFollow) {
    HttpTestServer server;
    HttpTestServer secure(HttpTestServer::Options{.tls = true});
    server.Route("/relative", test::Redirect(302, "/landing"));
    server.Route("/landing", Response(200, "should not be read"));
    server.Route("/to-https", test::Redirect(302, secure.Url("/landing")));
    server.Route("/no-location", Response(302, "moved"));
    server.Route("/chain", test::Redirect(301, server.Url("/chain2")));
    server.Route("/chain2", test::Redirect(302, server.Url("/landing")));
    server.Route("/to-404", test::Redirect(303, server.Url("/gone")));
    server.Route("/gone", Response(404, "gone"));

    for (const char* path : {"/relative", "/to-https", "/no-location", "/chain", "/to-404"}) {
        PageFetcher fetcher;
        fetcher.connection.caFile = secure.CaFile().string();
        EXPECT_EQ(fetcher.FetchPage(server.Url(path)).page, nullptr) << path;
        EXPECT_THAT(fetcher.lines, IsEmpty()) << path;
    }
    EXPECT_EQ(secure.RequestCount(), 0u);
    std::vector<std::string> paths;
    for (const auto& r : server.Requests()) {
        paths.push_back(r.target);
    }
    // The chain's second redirect is requested but not followed; /landing is never reached.
    EXPECT_THAT(paths, ElementsAre("/relative", "/to-https", "/no-location", "/chain", "/chain2", "/to-404",
                                   "/gone"));
}

TEST(PageFetch, AsksForCredentialsOnceAndSendsThem) {
    HttpTestServer server;
    server.SetHandler(
        test::RequireBasicAuth("ann", "p:w d", test::Always(Response(200, "welcome\n")), "members"));
    StubPrompt prompt(Credentials{"ann", "p:w d"});
    PageFetcher fetcher;
    fetcher.credentialsPrompt = &prompt;
    const LineList* page = fetcher.FetchPage(server.HostPort() + "/club").page;
    ASSERT_NE(page, nullptr);
    EXPECT_THAT(*page, ElementsAre("welcome"));
    EXPECT_EQ(prompt.calls, 1);
    EXPECT_EQ(prompt.lastRealm, "members");
    EXPECT_EQ(prompt.lastAddress, server.Url("/club"));

    auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_FALSE(requests[0].Header("Authorization"));
    auto sent = test::BasicCredentials(requests[1]);
    ASSERT_TRUE(sent);
    EXPECT_EQ(sent->first, "ann");
    EXPECT_EQ(sent->second, "p:w d");
    EXPECT_THAT(requests[1].HeaderNames(), ElementsAre("Host", "Authorization", "Accept", "User-Agent"));
}

TEST(PageFetch, ReadsWhateverComesBackAfterTheOnePasswordRetry) {
    HttpTestServer server;
    server.SetHandler(test::RequireBasicAuth("ann", "right", test::Always(Response(200, "in"))));
    for (std::optional<Credentials> answer :
         {std::optional<Credentials>(Credentials{"ann", "wrong"}), std::optional<Credentials>()}) {
        StubPrompt prompt(answer);
        PageFetcher fetcher;
        fetcher.credentialsPrompt = &prompt;
        const LineList* page = fetcher.FetchPage(server.Url("/")).page;
        ASSERT_NE(page, nullptr);
        EXPECT_THAT(*page, ElementsAre("<html><body><h1>401 Unauthorized</h1></body></html>"));
        EXPECT_EQ(prompt.calls, 1);
    }
    auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_TRUE(requests[1].Header("Authorization"));
    // After a cancel the request is still sent once more, without credentials.
    EXPECT_FALSE(requests[3].Header("Authorization"));
}

TEST(PageFetch, DoesNotCarryCredentialsAcrossARedirect) {
    HttpTestServer server;
    HttpTestServer other;
    other.SetHandler(test::Always(Response(200, "other site")));
    server.SetHandler(
        test::RequireBasicAuth("ann", "pw", test::Always(test::Redirect(302, other.Url("/x")))));
    StubPrompt prompt(Credentials{"ann", "pw"});
    PageFetcher fetcher;
    fetcher.credentialsPrompt = &prompt;
    const LineList* page = fetcher.FetchPage(server.Url("/")).page;
    ASSERT_NE(page, nullptr);
    EXPECT_THAT(*page, ElementsAre("other site"));
    ASSERT_EQ(other.RequestCount(), 1u);
    EXPECT_FALSE(other.Requests()[0].Header("Authorization"));
}

TEST(PageFetch, ReturnsTheCompleteLinesReadBeforeAFailure) {
    HttpTestServer server;
    ScriptedResponse dropped = Response(200, "one\ntwo\nthree\n");
    dropped.dropAfterBodyBytes = 10; // "one\ntwo\nth"
    server.SetHandler(test::Always(dropped));
    PageFetcher fetcher;
    const LineList* page = fetcher.FetchPage(server.Url("/")).page;
    ASSERT_NE(page, nullptr);
    EXPECT_THAT(*page, ElementsAre("one", "two"));

    // Nobody listening: a list with nothing in it, after the one retry.
    auto started = std::chrono::steady_clock::now();
    page = fetcher.FetchPage("127.0.0.1:" + std::to_string(test::ClosedLoopbackPort()) + "/").page;
    ASSERT_NE(page, nullptr);
    EXPECT_THAT(*page, IsEmpty());
    EXPECT_GE(std::chrono::steady_clock::now() - started, 1s);
}

TEST(PageFetch, GivesUpOnAServerThatStopsSending) {
    HttpTestServer server;
    ScriptedResponse stalled = Response(200, "never sent\n");
    stalled.delayBeforeBody = 60s;
    server.SetHandler(test::Always(stalled));
    PageFetcher fetcher;
    fetcher.limits.stall = 1s;
    const LineList* page = fetcher.FetchPage(server.Url("/")).page;
    ASSERT_NE(page, nullptr);
    EXPECT_THAT(*page, IsEmpty());
}

TEST(PageFetch, AnswersNoneForAddressesThatAreNotHttp) {
    HttpTestServer server;
    PageFetcher fetcher;
    EXPECT_EQ(fetcher.FetchPage("http://").page, nullptr);
    EXPECT_EQ(fetcher.FetchPage("http://127.0.0.1:99999/").page, nullptr);
    EXPECT_EQ(fetcher.FetchPage("").page, nullptr);
    // Upper-case schemes are schemes too, not host names.
    server.SetHandler(test::Always(Response(200, "ok")));
    EXPECT_NE(fetcher.FetchPage("HTTP://" + server.HostPort() + "/").page, nullptr);
    EXPECT_EQ(server.RequestCount(), 1u);
}

TEST(PageFetch, FetchesFromTwoThreadsNeverOverlap) {
    HttpTestServer server;
    ScriptedResponse slow = Response(200, "slow page\n");
    slow.framing = ScriptedResponse::Framing::CloseDelimited; // the client is done only when we close
    slow.delayBeforeBody = 150ms;
    server.SetHandler(test::Always(slow));

    auto fetchTwice = [&] {
        for (int i = 0; i < 2; ++i) {
            PageFetcher fetcher;
            const LineList* page = fetcher.FetchPage(server.Url("/")).page;
            EXPECT_NE(page, nullptr);
        }
    };
    std::thread a(fetchTwice);
    std::thread b(fetchTwice);
    a.join();
    b.join();

    auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 4u);
    std::sort(requests.begin(), requests.end(),
              [](const auto& x, const auto& y) { return x.arrived < y.arrived; });
    for (std::size_t i = 1; i < requests.size(); ++i) {
        EXPECT_GE(requests[i].arrived, requests[i - 1].completed) << "request " << i << " overlapped";
    }
}

TEST(PageFetch, WaitsForTheNetworkLock) {
    HttpTestServer server;
    server.SetHandler(test::Always(Response(200, "ok")));
    std::atomic<bool> done{false};
    std::unique_lock held(NetworkLock());
    std::thread fetch([&] {
        PageFetcher fetcher;
        fetcher.FetchPage(server.Url("/"));
        done = true;
    });
    EXPECT_FALSE(server.WaitForRequests(1, 200ms));
    EXPECT_FALSE(done);
    held.unlock();
    EXPECT_TRUE(server.WaitForRequests(1, 10s));
    fetch.join();
    EXPECT_TRUE(done);
}

TEST(PageFetch, GoesThroughTheProxyUnlessTheBypassListNamesTheHost) {
    HttpTestServer proxy;
    proxy.SetHandler(test::Always(Response(200, "via proxy")));
    HttpTestServer site;
    site.SetHandler(test::Always(Response(200, "direct")));

    PageFetcher fetcher;
    fetcher.connection.useProxy = true;
    fetcher.connection.proxyName = proxy.HostPort();
    fetcher.connection.proxyBypass = "*.example.org;<local>";
    ASSERT_NE(fetcher.FetchPage(site.Url("/page")).page, nullptr);
    EXPECT_THAT(fetcher.lines, ElementsAre("via proxy"));
    ASSERT_EQ(proxy.RequestCount(), 1u);
    test::RecordedRequest r = proxy.Requests()[0];
    EXPECT_EQ(r.target, site.Url("/page"));
    EXPECT_THAT(r.HeaderNames(), ElementsAre("Host", "Accept", "User-Agent"));

    // "<local>": a host name without a dot goes direct.
    ASSERT_NE(fetcher.FetchPage("localhost:" + std::to_string(site.port()) + "/").page, nullptr);
    EXPECT_THAT(fetcher.lines, ElementsAre("direct"));

    fetcher.connection.proxyBypass = "10.0.0.1 127.0.0.*";
    ASSERT_NE(fetcher.FetchPage(site.Url("/")).page, nullptr);
    EXPECT_THAT(fetcher.lines, ElementsAre("direct"));

    // Proxy switched on without a name: a direct connection.
    fetcher.connection.proxyName.clear();
    fetcher.connection.proxyBypass.clear();
    ASSERT_NE(fetcher.FetchPage(site.Url("/")).page, nullptr);
    EXPECT_THAT(fetcher.lines, ElementsAre("direct"));
    EXPECT_EQ(proxy.RequestCount(), 1u);
}

TEST(ProxyBypass, MatchesNamesWildcardsAndLocalHosts) {
    EXPECT_TRUE(BypassesProxy("*.example.com", "www.Example.com"));
    EXPECT_FALSE(BypassesProxy("*.example.com", "example.com"));
    EXPECT_TRUE(BypassesProxy("a.b; intranet ,c.d", "intranet"));
    EXPECT_FALSE(BypassesProxy("a.b;c.d", "b"));
    EXPECT_TRUE(BypassesProxy("<local>", "printer"));
    EXPECT_FALSE(BypassesProxy("<local>", "printer.lan"));
    EXPECT_FALSE(BypassesProxy("<local>", "::1"));
    EXPECT_TRUE(BypassesProxy("192.168.*", "192.168.4.1"));
    EXPECT_TRUE(BypassesProxy("http://www.x.org", "www.x.org"));
    EXPECT_TRUE(BypassesProxy("*", "anything"));
    EXPECT_FALSE(BypassesProxy("", "anything"));
}

TEST(AddressCompletion, AddsHttpOnlyWithoutAScheme) {
    EXPECT_EQ(CompleteAddress("www.a.com/x"), "http://www.a.com/x");
    EXPECT_EQ(CompleteAddress("https://a"), "https://a");
    EXPECT_EQ(CompleteAddress("HTTP://a"), "HTTP://a");
    EXPECT_EQ(CompleteAddress("a.com/?to=http://b"), "http://a.com/?to=http://b");
    EXPECT_EQ(CompleteAddress(""), "http://");
    EXPECT_TRUE(IsSecureAddress("Https://a"));
    EXPECT_FALSE(IsSecureAddress("http://a/https://"));
}

// The database and the query page keep rules of their own; the same texts show where they part.
TEST(AddressCompletion, TheDatabaseAndTheQueryPageLookForASchemeAnywhere) {
    const struct {
        const char* text;
        const char* request; // CompleteAddress
        const char* stored;  // StoredUrl
        const char* query;   // CompleteQueryAddress
    } cases[] = {
        {"www.a.b", "http://www.a.b", "http://www.a.b", "http://www.a.b"},
        {"HTTP://A.B", "HTTP://A.B", "http://HTTP://A.B", "http://HTTP://A.B"},
        {"https://a.b", "https://a.b", "https://a.b", "http://https://a.b"},
        {"a.b/?to=http://c", "http://a.b/?to=http://c", "a.b/?to=http://c", "a.b/?to=http://c"},
        {"", "http://", "", "http://"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CompleteAddress(c.text), c.request) << c.text;
        EXPECT_EQ(StoredUrl(c.text), c.stored) << c.text;
        EXPECT_EQ(CompleteQueryAddress(c.text), c.query) << c.text;
    }
}

TEST(AddressParts, FormPostServerIsTheSiteRootsHostAndPort) {
    const struct {
        const char* address;
        const char* host;
        int port;
    } cases[] = {
        {"http://h.com/cgi/a.asp?x=1", "h.com", 80},
        {"http://h.com:8080/a.asp?x=1", "h.com", 8080},
        {"h.com:81/a", "h.com", 81},
        {"http://h.com:99999/a", "h.com:99999", 80},
    };
    for (const auto& c : cases) {
        std::string host;
        int port = 0;
        FormPostServer(c.address, host, port);
        EXPECT_EQ(host, c.host) << c.address;
        EXPECT_EQ(port, c.port) << c.address;
    }
}

} // namespace
} // namespace sendwell
