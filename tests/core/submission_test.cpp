#include "core/base/progress.h"
#include "core/base/settings.h"
#include "core/results/answer_store.h"
#include "core/submit/answer_text.h"
#include "core/submit/engine_catalogue.h"
#include "core/submit/submission_run.h"
#include "core/submit/submission_settings.h"
#include "core/web/url_parts.h"
#include "tests/support/engine_simulator.h"
#include "tests/support/http_test_server.h"
#include "tests/support/loopback_port.h"
#include "tests/support/temp_dir.h"

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <filesystem>
#include <gtest/gtest.h>
#include <mutex>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace sendwell {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::EngineSimulator;
using test::HttpTestServer;
using test::ReadFileBytes;
using test::RecordedRequest;
using test::Response;
using test::ScriptedResponse;
using test::TempDir;

class RecordingSink : public Progress {
public:
    void SetStatusText(const std::string& text) override {
        std::lock_guard<std::mutex> lock(mutex_);
        texts_.push_back(text);
    }
    std::vector<std::string> texts() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return texts_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> texts_;
};

std::vector<std::string> LogLines(const fs::path& folder) {
    std::string log = ReadFileBytes(folder / "msg_dump.txt");
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < log.size()) {
        std::size_t end = log.find("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(log.substr(start) + "<no CR LF>");
            break;
        }
        lines.push_back(log.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

// Sends one request and, as a run does, writes its failure record; returns the result text.
std::string Send(const SubmissionRequest& request, const SubmissionContext& context) {
    Outcome outcome = SendSubmission(request, context);
    AppendFailureRecord(context.programFolder, outcome.failureLines);
    return outcome.text;
}

class SubmissionTest : public ::testing::Test {
protected:
    SubmissionTest() {
        context_.programFolder = dir_.path();
        context_.status = &sink_;
        context_.timeouts.connect = 2000ms;
        context_.timeouts.send = context_.timeouts.receive = context_.timeouts.dataReceive = 1000ms;
        context_.timeouts.connectBackoff = 10ms;
    }

    std::string Plain(const std::string& address) {
        SubmissionRequest r;
        r.address = address;
        r.answerFile = answerFile_.string();
        return Send(r, context_);
    }
    std::string Form(const std::string& address) {
        SubmissionRequest r;
        r.address = address;
        r.method = SubmitMethod::FormPost;
        r.answerFile = answerFile_.string();
        return Send(r, context_);
    }
    std::string Answer() const { return ReadFileBytes(answerFile_); }

    TempDir dir_;
    fs::path answerFile_ = dir_ / "answer.HTML";
    RecordingSink sink_;
    SubmissionContext context_;
    HttpTestServer server_;
};

TEST_F(SubmissionTest, PlainRequestSendsExactlyItsOwnHeaders) {
    server_.Route("/addurl", Response(200, "thanks"));
    std::string address = server_.Url("/addurl?q=http://www.x.com/&dq=thanks");
    EXPECT_EQ(Plain(address), "OK");
    auto requests = server_.Requests();
    ASSERT_EQ(requests.size(), 1u);
    const RecordedRequest& r = requests[0];
    EXPECT_EQ(r.method, "GET");
    EXPECT_EQ(r.target, "/addurl?q=http://www.x.com/&dq=thanks");
    EXPECT_EQ(r.HeaderNames(), (std::vector<std::string>{"Host", "Accept", "User-Agent", "Referer"}));
    EXPECT_EQ(r.Header("Accept"), "text/*");
    EXPECT_EQ(r.Header("User-Agent"), "Microsoft Internet Explorer");
    EXPECT_EQ(r.Header("Referer"), "http://" + server_.HostPort());
    EXPECT_EQ(Answer(), "thanks");
    EXPECT_FALSE(fs::exists(dir_ / "msg_dump.txt"));
}

TEST_F(SubmissionTest, FormPostSendsTheQueryAsBodyOverHttp10) {
    server_.Route("/main.php", Response(200, "posted"));
    std::string address = server_.Url("/main.php?URL=http://www.x.com/&Email=a@b.c&SubButton=Submit");
    EXPECT_EQ(Form(address), "");
    auto requests = server_.Requests();
    ASSERT_EQ(requests.size(), 1u);
    const RecordedRequest& r = requests[0];
    EXPECT_EQ(r.method, "POST");
    EXPECT_EQ(r.target, "/main.php");
    EXPECT_EQ(r.version, "HTTP/1.0");
    EXPECT_EQ(r.body, "URL=http://www.x.com/&Email=a@b.c&SubButton=Submit");
    EXPECT_EQ(r.HeaderNames(), (std::vector<std::string>{"Host", "User-Agent", "Accept-Language",
                                                         "Content-type", "Content-Length"}));
    EXPECT_EQ(r.Header("Content-type"), "application/x-www-form-urlencoded");
    EXPECT_EQ(r.Header("Accept-Language"), "en-us");
    EXPECT_EQ(r.Header("User-Agent"), "Microsoft Internet Explorer");
    EXPECT_EQ(Answer(), "posted\r\n");
    // The library's own progress reaches the status line on this path, each stage in its order.
    auto texts = sink_.texts();
    auto at = texts.begin();
    for (const char* stage : {"Connected to socket address", "Sending request...", "Request sent",
                              "Response received", "Closing the connection to the server"}) {
        at = std::find(at, texts.end(), stage);
        EXPECT_NE(at, texts.end()) << stage;
    }
}

TEST_F(SubmissionTest, QuestionMarkInTheAddressMovesTheFormSplit) {
    server_.Route("/main.php", Response(200, "posted"));
    EXPECT_EQ(Form(server_.Url("/main.php?URL=http://www.x.com/a?b=1&Email=m")), "");
    auto requests = server_.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].target, "/main.php?URL=http://www.x.com/a");
    EXPECT_EQ(requests[0].body, "b=1&Email=m");
}

TEST_F(SubmissionTest, AnswerIsStoredWithoutLineFeedsAndProgressCountsCarriageReturns) {
    server_.Route("/p", Response(200, "a\r\nb\r\nc"));
    EXPECT_EQ(Plain(server_.Url("/p")), "OK");
    EXPECT_EQ(Answer(), "a\rb\rc");
    auto texts = sink_.texts();
    ASSERT_FALSE(texts.empty());
    EXPECT_EQ(texts.front(), "Connecting");
    EXPECT_EQ(texts.back(), "Read 5 bytes");
}

TEST_F(SubmissionTest, LowerCaseScriptsAreDisabledEvenWhenSplitAcrossPiecesAndLines) {
    ScriptedResponse r = Response(200, "<script>a()</script><SCRIPT>b()</SCRIPT>\n<scr\nipt>c()</scri\npt>");
    r.pieceSize = 3;
    server_.Route("/p", r);
    EXPECT_EQ(Plain(server_.Url("/p")), "OK");
    EXPECT_EQ(Answer(), "<!-->a()--><SCRIPT>b()</SCRIPT><!-->c()-->");
}

TEST_F(SubmissionTest, ErrorMarkersInAnyCaseReplaceTheAnswer) {
    const std::vector<std::string> pages = {"<H1>Internal Server Error</H1>",
                                            "<h1>NOT FOUND</H1>",
                                            "The Page Requested Was Not Found",
                                            "ERROR 1004",
                                            "x Not Found</Strong>",
                                            "<b>not found</B>"};
    for (const std::string& page : pages) {
        ScriptedResponse r = Response(404, "<html>\r\n" + page + "\r\n</html>");
        r.pieceSize = 5; // markers arrive cut into pieces
        server_.Route("/p", r);
        EXPECT_EQ(Plain(server_.Url("/p")), "OK") << page;
        EXPECT_EQ(Answer(), "<BR><HR><font face=verdana size=2>Web site URL submitted</font>\r\n") << page;
    }
    server_.Route("/f.asp", Response(200, "x<h1>Not Found</h1>"));
    EXPECT_EQ(Form(server_.Url("/f.asp?a=b")), "");
    EXPECT_EQ(Answer(), "<BR><HR><font face=verdana size=2>Web site URL submitted</font>\r\n");
    // A marker cut by a line break counts too: the stored text has no line feeds.
    server_.Route("/p", Response(200, "not fou\nnd</h1>"));
    EXPECT_EQ(Plain(server_.Url("/p")), "OK");
    EXPECT_EQ(Answer(), "<BR><HR><font face=verdana size=2>Web site URL submitted</font>\r\n");
    EXPECT_FALSE(fs::exists(dir_ / "msg_dump.txt"));
}

TEST_F(SubmissionTest, RefusedConnectionGivesTheLibraryMessageAndAFourLineRecord) {
    context_.connection.bufSize = 20000;
    std::string address = "http://127.0.0.1:" + std::to_string(test::ClosedLoopbackPort()) + "/addurl?q=x";
    std::string result = Plain(address);
    EXPECT_NE(result, "OK");
    EXPECT_NE(result.find("onnect"), std::string::npos) << result;
    EXPECT_FALSE(fs::exists(answerFile_));
    EXPECT_EQ(LogLines(dir_.path()), (std::vector<std::string>{result, "The URL was " + address,
                                                               "The Filename was " + answerFile_.string(),
                                                               "The BufSize was 15000"}));
}

TEST_F(SubmissionTest, FailedFormPostLogsThreeLinesAndStillWritesItsFile) {
    std::string hostPort = "127.0.0.1:" + std::to_string(test::ClosedLoopbackPort());
    EXPECT_EQ(Form("http://" + hostPort + "/main.php?URL=x"), "");
    std::vector<std::string> lines = LogLines(dir_.path());
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_FALSE(lines[0].empty());
    EXPECT_EQ(lines[1], "The server was 127.0.0.1");
    EXPECT_EQ(lines[2], "The process was /main.php");
    EXPECT_EQ(Answer(), "\r\n");
}

TEST_F(SubmissionTest, UnsendableCharactersBecomeAResultTextNotARequest) {
    server_.Route("/p", Response(200, "x"));
    std::string spaced = server_.Url("/p?url=http://my site.com/");
    std::string result = Plain(spaced);
    EXPECT_NE(result.find("space"), std::string::npos) << result;
    std::string control = server_.Url("/p?url=a\r\nX-Injected: 1");
    EXPECT_NE(Plain(control).find("control character"), std::string::npos);
    EXPECT_EQ(Form(server_.Url("/p?url=a b")), "");     // a space in a form body is fine
    EXPECT_EQ(Form(server_.Url("/p?u=x/y z?q=1")), ""); // but not in its object path
    EXPECT_EQ(server_.RequestCount(), 1u);
    std::vector<std::string> lines = LogLines(dir_.path());
    ASSERT_EQ(lines.size(), 4u + 4u + 3u);
    EXPECT_EQ(lines[1], "The URL was " + spaced);
    EXPECT_EQ(lines[8].substr(0, 32), "The object path cannot be sent: ");
}

TEST_F(SubmissionTest, FixedSpacesGoOutEncodedWhileTheLoggedAddressKeepsThem) {
    server_.Route("/p", Response(200, "x"));
    SubmissionRequest r;
    r.address = server_.Url("/p?a=1&submit=Add page");
    r.wireAddress = server_.Url("/p?a=1&submit=Add%20page");
    r.answerFile = answerFile_.string();
    EXPECT_EQ(Send(r, context_), "OK");
    ASSERT_EQ(server_.RequestCount(), 1u);
    EXPECT_EQ(server_.Requests()[0].target, "/p?a=1&submit=Add%20page");
}

TEST_F(SubmissionTest, DroppedAnswerKeepsWhatArrivedAndIsLogged) {
    ScriptedResponse r = Response(200, "first\r\n" + std::string(5000, 'y'));
    r.dropAfterBodyBytes = 7;
    server_.Route("/p", r);
    std::string result = Plain(server_.Url("/p"));
    EXPECT_NE(result, "OK");
    EXPECT_EQ(Answer(), "first\r");
    EXPECT_EQ(LogLines(dir_.path()).size(), 4u);
}

TEST_F(SubmissionTest, SilentServerTimesOutWithoutARetry) {
    ScriptedResponse r = Response(200, "late");
    r.delayBeforeHead = 5000ms;
    server_.Route("/p", r);
    std::string result = Plain(server_.Url("/p"));
    EXPECT_NE(result, "OK");
    EXPECT_EQ(server_.RequestCount(), 1u); // the connection was made: no second attempt
    EXPECT_FALSE(fs::exists(answerFile_));
    EXPECT_EQ(LogLines(dir_.path())[0], result);
}

TEST_F(SubmissionTest, UnwritableAnswerFileIsReportedLikeALibraryError) {
    server_.Route("/p", Response(200, "x"));
    answerFile_ = dir_ / "no-such-folder" / "a.HTML";
    std::string result = Plain(server_.Url("/p"));
    EXPECT_NE(result.find("Cannot create the answer file"), std::string::npos) << result;
    EXPECT_EQ(LogLines(dir_.path()).size(), 4u);
}

TEST_F(SubmissionTest, RedirectIsFollowedAndOnlyTheFinalPageStored) {
    server_.Route("/a", test::Redirect(302, "/b"));
    server_.Route("/b", Response(200, "final"));
    EXPECT_EQ(Plain(server_.Url("/a")), "OK");
    EXPECT_EQ(Answer(), "final");
    auto requests = server_.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].target, "/b");
}

TEST_F(SubmissionTest, PlainRequestThroughTheProxySendsOnlyItsOwnHeaders) {
    server_.SetHandler(test::Always(Response(200, "via proxy")));
    context_.connection.useProxy = true;
    context_.connection.proxyName = server_.HostPort();
    std::string address = "http://127.0.0.1:" + std::to_string(test::ClosedLoopbackPort()) + "/addurl?q=x";
    EXPECT_EQ(Plain(address), "OK");
    auto requests = server_.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].target, address);
    EXPECT_EQ(requests[0].HeaderNames(),
              (std::vector<std::string>{"Host", "Accept", "User-Agent", "Referer"}));
    EXPECT_EQ(Answer(), "via proxy");
}

TEST_F(SubmissionTest, ProxyBypassListTakesLocalNamesAndWildcardsAtEveryHop) {
    server_.Route("/a", Response(200, "direct a"));
    server_.Route("/b", Response(200, "direct b"));
    HttpTestServer proxy;
    proxy.SetHandler(
        test::Always(test::Redirect(302, "http://localhost:" + std::to_string(server_.port()) + "/b")));
    context_.connection.useProxy = true;
    context_.connection.proxyName = proxy.HostPort();
    context_.connection.proxyBypass = "*.example.org;<local>";
    // 127.0.0.1 is not on the list, the host without a dot the proxy sends us to is.
    EXPECT_EQ(Plain(server_.Url("/a")), "OK");
    EXPECT_EQ(Answer(), "direct b");
    ASSERT_EQ(proxy.RequestCount(), 1u);
    EXPECT_EQ(proxy.Requests()[0].target, server_.Url("/a"));
    ASSERT_EQ(server_.RequestCount(), 1u);
    EXPECT_EQ(server_.Requests()[0].target, "/b");

    context_.connection.proxyBypass = "10.0.0.1 127.0.0.*";
    EXPECT_EQ(Plain(server_.Url("/a")), "OK");
    EXPECT_EQ(Answer(), "direct a");
    EXPECT_EQ(proxy.RequestCount(), 1u);
    EXPECT_EQ(server_.RequestCount(), 2u);
}

TEST_F(SubmissionTest, FormPostFollowsARedirectWithAGetAndStoresTheFinalPage) {
    server_.Route("/cgi/add.php", test::Redirect(302, "done.html?id=7"));
    server_.Route("/cgi/done.html", Response(200, "thank you"));
    EXPECT_EQ(Form(server_.Url("/cgi/add.php?URL=http://www.x.com/&Email=a@b.c")), "");
    auto requests = server_.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].method, "POST");
    const RecordedRequest& r = requests[1];
    EXPECT_EQ(r.method, "GET");
    EXPECT_EQ(r.target, "/cgi/done.html?id=7");
    EXPECT_EQ(r.version, "HTTP/1.0");
    EXPECT_EQ(r.body, "");
    EXPECT_EQ(r.HeaderNames(), (std::vector<std::string>{"Host", "Accept", "User-Agent", "Accept-Language"}));
    EXPECT_EQ(Answer(), "thank you\r\n");
    EXPECT_FALSE(fs::exists(dir_ / "msg_dump.txt"));

    // 307 asks for the same request again, body and all.
    server_.Route("/cgi/add.php", test::Redirect(307, "/cgi/again.php"));
    server_.Route("/cgi/again.php", Response(200, "posted again"));
    EXPECT_EQ(Form(server_.Url("/cgi/add.php?URL=y")), "");
    requests = server_.Requests();
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_EQ(requests[3].method, "POST");
    EXPECT_EQ(requests[3].body, "URL=y");
    EXPECT_EQ(Answer(), "posted again\r\n");

    // A loop ends after five redirects as a failure; no redirect page is stored as the answer.
    server_.Route("/cgi/loop.php", test::Redirect(303, "/cgi/loop.php"));
    EXPECT_EQ(Form(server_.Url("/cgi/loop.php?URL=z")), "");
    EXPECT_EQ(server_.RequestCount(), 4u + 6u);
    EXPECT_EQ(Answer(), "\r\n");
    EXPECT_EQ(LogLines(dir_.path()),
              (std::vector<std::string>{"Maximum (5) redirects followed", "The server was 127.0.0.1",
                                        "The process was /cgi/loop.php"}));
}

TEST_F(SubmissionTest, FormPostRedirectedToADeadServerLogsTheOriginalRequest) {
    server_.Route("/main.php", test::Redirect(302, "http://127.0.0.1:" +
                                                       std::to_string(test::ClosedLoopbackPort()) + "/x"));
    EXPECT_EQ(Form(server_.Url("/main.php?URL=x")), "");
    EXPECT_EQ(server_.RequestCount(), 1u);
    std::vector<std::string> lines = LogLines(dir_.path());
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_NE(lines[0].find("onnect"), std::string::npos) << lines[0];
    EXPECT_EQ(lines[1], "The server was 127.0.0.1");
    EXPECT_EQ(lines[2], "The process was /main.php");
    EXPECT_EQ(Answer(), "\r\n");
}

TEST_F(SubmissionTest, GarbageAnswerIsALibraryError) {
    server_.Route("/p", test::RawResponse("\x01\x02 nonsense\r\n\r\n"));
    std::string result = Plain(server_.Url("/p"));
    EXPECT_NE(result, "OK");
    EXPECT_FALSE(result.empty());
    EXPECT_EQ(LogLines(dir_.path()).size(), 4u);
}

// The text rules, checked on their own.
TEST_F(SubmissionTest, CutAndCancelledAnswersAreLoggedAndKeepWhatWasRead) {
    context_.timeouts.maxAnswerBytes = 4096;
    server_.Route("/big", Response(200, std::string(20000, 'b')));
    const std::string cut = AnswerCutText(4096);
    EXPECT_EQ(Plain(server_.Url("/big")), cut);
    EXPECT_EQ(Answer(), std::string(4096, 'b'));
    EXPECT_EQ(Form(server_.Url("/big?x=1")), "");
    EXPECT_EQ(Answer(), std::string(4096, 'b') + "\r\n");

    ScriptedResponse drip = Response(200, std::string(1000, 'd'));
    drip.pieceSize = 1;
    drip.delayBetweenPieces = 800ms;
    server_.Route("/drip", drip);
    std::atomic<bool> stop{true};
    context_.stop = &stop;
    context_.timeouts.cancelGrace = 100ms;
    EXPECT_EQ(Plain(server_.Url("/drip")), kCancelledText);

    std::vector<std::string> lines = LogLines(dir_.path());
    ASSERT_EQ(lines.size(), 4u + 3u + 4u);
    EXPECT_EQ(lines[0], cut);
    EXPECT_EQ(lines[4], cut);
    EXPECT_EQ(lines[7], kCancelledText);
}

TEST(SubmissionLimits, SettingsReplaceTheDefaultsOnlyWithPositiveNumbers) {
    TempDir dir;
    test::ScopedXdgHome home(dir / "home");
    SubmissionTimeouts defaults;
    EXPECT_EQ(ReadSubmissionLimits().total, defaults.total);
    EXPECT_EQ(defaults.total, 60s);
    EXPECT_EQ(defaults.maxAnswerBytes, 10485760u);
    for (const char* bad : {"0", "-5", "many"}) {
        WriteSetting(kSettingsSection, "i_RequestTimeout", bad);
        WriteSetting(kSettingsSection, "i_MaxAnswerBytes", bad);
        EXPECT_EQ(ReadSubmissionLimits().total, defaults.total) << bad;
        EXPECT_EQ(ReadSubmissionLimits().maxAnswerBytes, defaults.maxAnswerBytes) << bad;
    }
    WriteSetting(kSettingsSection, "i_RequestTimeout", "15");
    WriteSetting(kSettingsSection, "i_MaxAnswerBytes", "2048");
    EXPECT_EQ(ReadSubmissionLimits().total, 15s);
    EXPECT_EQ(ReadSubmissionLimits().maxAnswerBytes, 2048u);
}

TEST(AnswerText, SiteRootAndFormSplit) {
    EXPECT_EQ(GetSiteRoot("http://h.com/a/b"), "http://h.com");
    EXPECT_EQ(GetSiteRoot("http://h.com"), "http://h.com");
    EXPECT_EQ(GetSiteRoot("/x/y"), "/x");
    EXPECT_EQ(GetSiteRoot("http://h:81//x"), "http://h:81");
    ObjectAndQuery s = SplitObjectAndQuery("http://h.com/a.asp?x=1?y=2");
    EXPECT_EQ(s.objectPath, "/a.asp?x=1");
    EXPECT_EQ(s.query, "y=2");
    s = SplitObjectAndQuery("http://h.com/a.asp");
    EXPECT_EQ(s.objectPath, "/a.asp");
    EXPECT_EQ(s.query, "");
    s = SplitObjectAndQuery("http://localhost/a?x=www.b.c/d");
    EXPECT_EQ(s.objectPath, ""); // the split starts at the first "." of the whole address
    EXPECT_EQ(s.query, "x=www.b.c/d");
    EXPECT_EQ(SplitObjectAndQuery("http://localhost/a").objectPath, "");
    EXPECT_EQ(SplitObjectAndQuery("http://h.com").objectPath, "");
}

TEST(AnswerText, StreamingConversionMatchesWholeTextAtEveryCut) {
    const std::string text = "a<script>b</script>c<scrip<script</script</script>><SCRIPT><<script";
    const std::string whole = DisableScripts(text);
    EXPECT_EQ(whole, "a<!-->b-->c<scrip<!--</script-->><SCRIPT><<!--");
    for (std::size_t cut = 0; cut <= text.size(); ++cut) {
        ScriptDisabler d;
        std::string out;
        d.Feed(std::string_view(text).substr(0, cut), out);
        d.Feed(std::string_view(text).substr(cut), out);
        d.Finish(out);
        EXPECT_EQ(out, whole) << cut;
    }
    for (std::string_view marker : kErrorMarkers) {
        std::string page = "xx" + std::string(marker) + "yy";
        for (std::size_t cut = 0; cut <= page.size(); ++cut) {
            ErrorMarkerScan scan;
            scan.Feed(std::string_view(page).substr(0, cut));
            scan.Feed(std::string_view(page).substr(cut));
            EXPECT_TRUE(scan.found()) << page << " cut at " << cut;
        }
    }
    // In any letter case, and across pieces shorter than the tail kept between them.
    ErrorMarkerScan byteWise;
    for (char c : std::string_view("xx The Page Requested Was NOT FOUND yy")) {
        byteWise.Feed(std::string_view(&c, 1));
    }
    EXPECT_TRUE(byteWise.found());
    EXPECT_FALSE(LooksLikeErrorPage("not found</h2> error 104 internal server error"));
}

// A whole run's worth of requests against the simulated engines, as the submission worker makes them.
class EngineRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        engines_.PointEnginesHere();
        context_.programFolder = dir_.path();
        context_.timeouts.send = context_.timeouts.receive = context_.timeouts.dataReceive = 1000ms;
        context_.timeouts.connectBackoff = 10ms;
    }

    // Submits one address to every enabled engine; returns the result texts by position (unset: skipped).
    std::vector<std::string> SubmitToAll(const std::string& address, const std::string& email) {
        std::vector<std::string> results(kEngineCount + 1, "<skipped>");
        for (const EngineEntry& engine : EngineCatalogue()) {
            if (!EngineEnabled(engine)) {
                continue;
            }
            EngineRequest request = BuildEngineRequest(engine, address, email);
            std::string file = NameAnswerFile(address, engine.storeName, dir_.path());
            results[static_cast<std::size_t>(engine.position)] =
                Send(MakeSubmissionRequest(request, file), context_);
        }
        return results;
    }

    TempDir dir_;
    test::ScopedXdgHome home_{dir_ / "home"};
    EngineSimulator engines_;
    SubmissionContext context_;
};

TEST_F(EngineRunTest, OneAddressReachesAllTwentySixEnginesAndLeavesTheirAnswers) {
    engines_.AnswerNotFound(2);
    engines_.AnswerErrorPage(5, "<h1>Internal Server Error</h1>");
    engines_.AnswerDroppingMidBody(9);
    engines_.AnswerDroppingMidBody(24);
    std::vector<std::string> results = SubmitToAll("http://www.my-site.com/", "me@my-site.com");

    std::vector<int> order;
    for (int n = 1; n <= kEngineCount; ++n) {
        order.push_back(n);
    }
    EXPECT_EQ(engines_.EnginesRequested(), order);
    for (int n : {1, 2, 5, 13, 14, 25}) {
        EXPECT_EQ(results[static_cast<std::size_t>(n)], "OK") << n;
    }
    EXPECT_NE(results[9], "OK");
    for (int n : {10, 11, 15, 24, 26}) {
        EXPECT_EQ(results[static_cast<std::size_t>(n)], "") << n;
    }

    auto requests = engines_.Requests();
    ASSERT_EQ(requests.size(), 26u);
    EXPECT_EQ(requests[6].target,
              "/client/www/cgi-bin/request_bot.cgi?url=http://www.my-site.com/&redirect=http://" +
                  engines_.HostPort() + "/help/webmasters/successful.html&submit=Archive%20My%20Site");
    EXPECT_EQ(requests[13].target, "//cgi-bin/submit?url=http://www.my-site.com/&email=me@my-site.com");
    EXPECT_EQ(requests[12].target.substr(0, 16), "/List_Your_Site/");
    EXPECT_EQ(requests[24].target.substr(0, 16), "/List_your_Site/");
    EXPECT_EQ(requests[9].method, "POST");
    EXPECT_EQ(requests[9].body, "URL=http://www.my-site.com/&Email=me@my-site.com&SubButton=Submit");
    EXPECT_EQ(requests[25].target, "/submit/Done.asp");
    EXPECT_EQ(requests[25].body, "URL=http://www.my-site.com/");

    std::vector<StoredAnswer> answers = ListStoredAnswers(dir_.path());
    ASSERT_EQ(answers.size(), 26u);
    for (std::size_t i = 0; i < answers.size(); ++i) {
        const EngineEntry& engine = EngineAt(static_cast<int>(i) + 1);
        std::string store;
        for (char c : engine.storeName) {
            if (c != ' ') {
                store.push_back(c);
            }
        }
        EXPECT_EQ(answers[i].site, "www.my-site.com");
        EXPECT_EQ(answers[i].storeName, store);
    }
    const std::string replaced = "<BR><HR><font face=verdana size=2>Web site URL submitted</font>\r\n";
    EXPECT_EQ(ReadFileBytes(answers[1].path), replaced);
    EXPECT_EQ(ReadFileBytes(answers[4].path), replaced);
    EXPECT_EQ(ReadFileBytes(answers[0].path), "<html><head><title>Thank you</title></head>\r<body>Thank you "
                                              "for submitting to Sympatico.</body></html>\r");
    EXPECT_EQ(ReadFileBytes(answers[25].path), EngineSimulator::DefaultPage(26) + "\r\n");

    std::vector<std::string> lines = LogLines(dir_.path());
    ASSERT_EQ(lines.size(), 4u + 3u);
    EXPECT_EQ(lines[1],
              "The URL was " + BuildRequestAddress(EngineAt(9), "http://www.my-site.com/", "me@my-site.com"));
    EXPECT_EQ(lines[2], "The Filename was " + answers[8].path);
    EXPECT_EQ(lines[5], "The server was 127.0.0.1");
    EXPECT_EQ(lines[6], "The process was /cgi-bin/search/search.pl");
}

TEST_F(EngineRunTest, DisabledEnginesAreSkippedAndBrokenOnesLeaveNoAnswer) {
    WriteSetting(kSettingsSection, EngineAt(13).flagName, "0");
    WriteSetting(kSettingsSection, EngineAt(20).flagName, "0");
    WriteSetting(kSettingsSection, EngineAt(6).flagName, "-");
    engines_.AnswerGarbage(12);
    std::vector<std::string> results = SubmitToAll("http://a.b/", "m@a.b");
    std::vector<int> requested = engines_.EnginesRequested();
    EXPECT_EQ(requested.size(), 24u);
    EXPECT_EQ(std::count(requested.begin(), requested.end(), 13), 0);
    EXPECT_EQ(std::count(requested.begin(), requested.end(), 20), 0);
    EXPECT_EQ(std::count(requested.begin(), requested.end(), 25), 1);
    EXPECT_EQ(results[13], "<skipped>");
    EXPECT_NE(results[12], "OK");
    EXPECT_EQ(ListStoredAnswers(dir_.path()).size(), 23u); // engine 12's answer never arrived
    EXPECT_EQ(LogLines(dir_.path()).size(), 4u);
}

} // namespace
} // namespace sendwell
