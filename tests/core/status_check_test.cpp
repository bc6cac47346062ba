// The web site status check against a scripted loopback server.
#include "core/web/network_lock.h"
#include "core/web/status_check.h"
#include "tests/support/http_test_server.h"
#include "tests/support/loopback_port.h"

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <gtest/gtest.h>
#include <mutex>
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

TEST(StatusCheck, DescribesEachStatusTheServerGives) {
    HttpTestServer server;
    server.SetHandler(
        [](const test::RecordedRequest& r) { return Response(std::stoi(r.Path().substr(1)), "body"); });
    const std::pair<int, const char*> cases[] = {
        {200, "Success: URL OK"},
        {204, "Success"},
        {299, "Success"},
        {300, "Information"},
        {301, "Information: Moved"},
        {303, "Information: Redirect Method"},
        {304, "Information"},
        {400, "Request Error: Unintelligble request"},
        {403, "Request Error"},
        {404, "Request Error: Requested URL not found"},
        {405, "Request Error: Server does not support requested method"},
        {500, "Server Error: Unknown server error"},
        {502, "Server Error"},
        {503, "Server Error: Server capacity reached"},
        {599, "Server Error"},
    };
    for (const auto& [status, text] : cases) {
        std::string statusText;
        EXPECT_EQ(CheckUrlStatus(server.HostPort() + "/" + std::to_string(status), statusText), status);
        EXPECT_EQ(statusText, text) << status;
    }
    EXPECT_EQ(server.RequestCount(), std::size(cases));
    EXPECT_EQ(server.Requests()[0].target, "/200");
}

TEST(StatusCheck, ReportsARedirectWithoutContactingItsTarget) {
    HttpTestServer server;
    HttpTestServer target;
    server.SetHandler(test::Always(test::Redirect(302, target.Url("/"))));
    std::string statusText;
    EXPECT_EQ(CheckUrlStatus(server.Url("/"), statusText), 302);
    EXPECT_EQ(statusText, "Information: Redirected");
    EXPECT_EQ(target.RequestCount(), 0u);
}

TEST(StatusCheck, ReportsAPasswordSiteWithoutAskingForAPassword) {
    HttpTestServer server;
    server.SetHandler(test::RequireBasicAuth("a", "b", test::Always(Response(200, "in"))));
    std::string statusText;
    EXPECT_EQ(CheckUrlStatus(server.Url("/"), statusText), 401);
    EXPECT_EQ(statusText, "Request Error: Access denied (password site)");
    EXPECT_EQ(server.RequestCount(), 1u);
}

TEST(StatusCheck, CallsStatusesOutsideTheHttpRangeUnknown) {
    HttpTestServer server;
    server.Route("/100", test::RawResponse("HTTP/1.1 100 Continue\r\n\r\n"));
    server.Route("/600", test::RawResponse("HTTP/1.1 600 Beyond\r\nContent-Length: 0\r\n\r\n"));
    server.Route("/199", test::RawResponse("HTTP/1.1 199 Odd\nContent-Length: 0\n\n"));
    for (int status : {100, 600, 199}) {
        std::string path(1, '/'); // not "/" + string: GCC 12 at -O3 warns there (-Wrestrict, GCC bug 105651)
        path += std::to_string(status);
        std::string statusText;
        EXPECT_EQ(CheckUrlStatus(server.Url(path), statusText), status);
        EXPECT_EQ(statusText, "Unknown Status") << status;
    }
    // An interim answer followed by the real one reports the real one.
    server.Route("/interim", test::RawResponse("HTTP/1.1 103 Early Hints\r\nLink: </a.css>\r\n\r\n"
                                               "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n"));
    std::string statusText;
    EXPECT_EQ(CheckUrlStatus(server.Url("/interim"), statusText), 404);
}

TEST(StatusCheck, StopsAfterTheHeadAndWorksOverTls) {
    HttpTestServer server(HttpTestServer::Options{.tls = true});
    ScriptedResponse broken = Response(200, "0123456789");
    broken.delayBeforeBody = 100ms;
    broken.dropAfterBodyBytes = 3; // a reader of the body would see a failed transfer
    server.SetHandler(test::Always(broken));
    ConnectionSettings connection;
    connection.caFile = server.CaFile().string();
    std::string statusText;
    EXPECT_EQ(CheckUrlStatus(server.Url("/"), statusText, connection), 200);
    EXPECT_EQ(statusText, "Success: URL OK");
    ASSERT_EQ(server.RequestCount(), 1u);
    EXPECT_EQ(server.Requests()[0].HeaderNames(), (std::vector<std::string>{"Host", "Accept", "User-Agent"}));
}

TEST(StatusCheck, ReportsFailuresWithoutAStatus) {
    std::string statusText;
    EXPECT_EQ(CheckUrlStatus("127.0.0.1:" + std::to_string(test::ClosedLoopbackPort()) + "/", statusText),
              -1);
    EXPECT_EQ(statusText.rfind("Error: ", 0), 0u);
    EXPECT_GT(statusText.size(), std::string("Error: ").size());
    EXPECT_NE(statusText, "Error: Invalid URL");

    EXPECT_EQ(CheckUrlStatus("http://127.0.0.1:99999/", statusText), -1);
    EXPECT_EQ(statusText, "Error: Invalid URL");
    EXPECT_EQ(CheckUrlStatus("", statusText), -1); // no row selected: the bare "http://"
    EXPECT_EQ(statusText, "Error: Invalid URL");

    // A server that hangs up without answering.
    HttpTestServer server;
    server.SetHandler(test::Always(test::RawResponse("")));
    EXPECT_EQ(CheckUrlStatus(server.Url("/"), statusText), -1);
    EXPECT_EQ(statusText.rfind("Error: ", 0), 0u);
    EXPECT_GT(statusText.size(), std::string("Error: ").size());
}

TEST(StatusCheck, DoesNotWaitForTheNetworkLock) {
    HttpTestServer server;
    server.SetHandler(test::Always(Response(200, "")));
    std::mutex m;
    std::condition_variable cv;
    bool holding = false;
    bool checked = false;
    bool heldThroughout = false;
    std::thread holder([&] {
        std::lock_guard network(NetworkLock());
        std::unique_lock lock(m);
        holding = true;
        cv.notify_all();
        heldThroughout = cv.wait_for(lock, 10s, [&] { return checked; });
    });
    {
        std::unique_lock lock(m);
        cv.wait(lock, [&] { return holding; });
    }
    std::string statusText;
    int code = CheckUrlStatus(server.Url("/"), statusText);
    {
        std::lock_guard lock(m);
        checked = true;
    }
    cv.notify_all();
    holder.join();
    EXPECT_EQ(code, 200);
    EXPECT_TRUE(heldThroughout);
}

TEST(StatusReport, HasTheTitleTheCodeAndTheText) {
    EXPECT_EQ(StatusReportText(404, StatusCodeText(404)),
              "Web Site Status Report\n\nCode 404\n\nRequest Error: Requested URL not found");
    EXPECT_EQ(StatusReportText(-1, "Error: Invalid URL"),
              "Web Site Status Report\n\nCode -1\n\nError: Invalid URL");
}

} // namespace
} // namespace sendwell
