// The loopback test server itself: what it records, what it sends, and that it stops cleanly.
#include "core/web/curl_support.h"
#include "core/web/loopback_guard.h"
#include "tests/support/http_test_server.h"

#include <arpa/inet.h>
#include <chrono>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace sendwell::test {
namespace {

using namespace std::chrono_literals;

// Sends bytes to the server over a plain socket and reads until the server closes.
std::string Exchange(int port, const std::string& request) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(port));
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return "<connect failed>";
    }
    (void)!::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    std::string answer;
    char buf[4096];
    for (;;) {
        ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0) {
            break;
        }
        answer.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return answer;
}

size_t Collect(char* data, size_t size, size_t count, void* out) {
    static_cast<std::string*>(out)->append(data, size * count);
    return size * count;
}

TEST(HttpTestServer, RecordsRequestLineHeadersInOrderAndBody) {
    HttpTestServer server;
    server.Route("/form", Response(201, "made"));
    std::string answer = Exchange(server.port(), "POST /form?x=1 HTTP/1.1\r\nHost: h\r\nX-Lower: a \r\n"
                                                 "content-LENGTH: 5\r\n\r\nhello");
    EXPECT_EQ(answer, "HTTP/1.1 201 Created\r\nContent-Length: 4\r\nConnection: close\r\n\r\nmade");

    auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    const RecordedRequest& r = requests[0];
    EXPECT_EQ(r.method, "POST");
    EXPECT_EQ(r.target, "/form?x=1");
    EXPECT_EQ(r.Path(), "/form");
    EXPECT_EQ(r.version, "HTTP/1.1");
    EXPECT_EQ(r.HeaderNames(), (std::vector<std::string>{"Host", "X-Lower", "content-LENGTH"}));
    EXPECT_EQ(r.Header("x-lower"), "a");
    EXPECT_EQ(r.body, "hello");
    EXPECT_LE(r.arrived, r.completed);
    EXPECT_FALSE(r.secure);
}

TEST(HttpTestServer, AcceptsBareLineFeedsAndChunkedBodies) {
    HttpTestServer server;
    std::string answer = Exchange(server.port(), "PUT /c HTTP/1.0\nTransfer-Encoding: chunked\n\n"
                                                 "3\r\nabc\r\n2\r\nde\r\n0\r\n\r\n");
    EXPECT_EQ(answer.substr(0, 22), "HTTP/1.1 404 Not Found");
    ASSERT_EQ(server.RequestCount(), 1u);
    EXPECT_EQ(server.Requests()[0].body, "abcde");
    EXPECT_EQ(server.Requests()[0].version, "HTTP/1.0");
}

TEST(HttpTestServer, SendsScriptedFramingsLineEndsAndRawBytes) {
    HttpTestServer server;
    ScriptedResponse lf = Response(200, "x", {{"Connection", "keep-alive"}});
    lf.lineEnd = "\n";
    lf.framing = ScriptedResponse::Framing::CloseDelimited;
    server.Route("/lf", lf);
    ScriptedResponse chunked = Response(200, "abcdef");
    chunked.framing = ScriptedResponse::Framing::Chunked;
    chunked.pieceSize = 4;
    server.Route("/chunked", chunked);
    server.Route("/raw", RawResponse("HTTP/1.1 600 Odd\r\n\r\n"));
    ScriptedResponse noBody = Response(204, "ignored");
    noBody.framing = ScriptedResponse::Framing::NoBody;
    server.Route("/none", noBody);

    EXPECT_EQ(Exchange(server.port(), "GET /lf HTTP/1.1\r\n\r\n"),
              "HTTP/1.1 200 OK\nConnection: keep-alive\n\nx");
    EXPECT_EQ(Exchange(server.port(), "GET /chunked HTTP/1.1\r\n\r\n"),
              "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nConnection: "
              "close\r\n\r\n4\r\nabcd\r\n2\r\nef\r\n0\r\n\r\n");
    EXPECT_EQ(Exchange(server.port(), "GET /raw HTTP/1.1\r\n\r\n"), "HTTP/1.1 600 Odd\r\n\r\n");
    EXPECT_EQ(Exchange(server.port(), "GET /none HTTP/1.1\r\n\r\n"),
              "HTTP/1.1 204 No Content\r\nConnection: close\r\n\r\n");
}

TEST(HttpTestServer, DropsTheConnectionMidBody) {
    HttpTestServer server;
    ScriptedResponse r = Response(200, "0123456789");
    r.dropAfterBodyBytes = 4;
    server.SetHandler(Always(r));
    EXPECT_EQ(Exchange(server.port(), "GET / HTTP/1.1\r\n\r\n"),
              "HTTP/1.1 200 OK\r\nContent-Length: 10\r\nConnection: close\r\n\r\n0123");
}

TEST(HttpTestServer, BasicAuthBuilderAcceptsOnlyTheGivenCredentials) {
    HttpTestServer server;
    server.SetHandler(RequireBasicAuth("ann", "se:cret", Always(Response(200, "in"))));
    std::string denied = Exchange(server.port(), "GET / HTTP/1.1\r\n\r\n");
    EXPECT_NE(denied.find("401 Unauthorized"), std::string::npos);
    EXPECT_NE(denied.find("WWW-Authenticate: Basic realm=\"test\""), std::string::npos);
    std::string wrong = Exchange(server.port(), "GET / HTTP/1.1\r\nAuthorization: Basic " +
                                                    Base64Encode("ann:x") + "\r\n\r\n");
    EXPECT_NE(wrong.find("401"), std::string::npos);
    std::string allowed = Exchange(server.port(), "GET / HTTP/1.1\r\nAuthorization: Basic " +
                                                      Base64Encode("ann:se:cret") + "\r\n\r\n");
    EXPECT_NE(allowed.find("200 OK"), std::string::npos);
    auto creds = BasicCredentials(server.Requests().back());
    ASSERT_TRUE(creds);
    EXPECT_EQ(creds->first, "ann");
    EXPECT_EQ(creds->second, "se:cret");
}

TEST(HttpTestServer, ServesHttpsWithACertificateTheClientCanTrust) {
    HttpTestServer server(HttpTestServer::Options{.tls = true});
    server.SetHandler(Always(Response(200, "secret page")));
    ASSERT_FALSE(server.CaFile().empty());
    EXPECT_EQ(server.Url("/a").substr(0, 8), "https://");

    std::string url = server.Url("/a");
    ASSERT_TRUE(GuardAllows(url));
    CurlEasy handle = NewCurlHandle();
    std::string body;
    curl_easy_setopt(handle.get(), CURLOPT_URL, url.c_str());
    curl_easy_setopt(handle.get(), CURLOPT_CAINFO, server.CaFile().c_str());
    curl_easy_setopt(handle.get(), CURLOPT_WRITEFUNCTION, Collect);
    curl_easy_setopt(handle.get(), CURLOPT_WRITEDATA, &body);
    ASSERT_EQ(curl_easy_perform(handle.get()), CURLE_OK);
    EXPECT_EQ(body, "secret page");
    ASSERT_EQ(server.RequestCount(), 1u);
    EXPECT_TRUE(server.Requests()[0].secure);

    // Without the test CA the same server is not trusted.
    CurlEasy strict = NewCurlHandle();
    curl_easy_setopt(strict.get(), CURLOPT_URL, url.c_str());
    curl_easy_setopt(strict.get(), CURLOPT_CAINFO, "/dev/null");
    curl_easy_setopt(strict.get(), CURLOPT_WRITEFUNCTION, Collect);
    curl_easy_setopt(strict.get(), CURLOPT_WRITEDATA, &body);
    EXPECT_NE(curl_easy_perform(strict.get()), CURLE_OK);
}

TEST(HttpTestServer, ServesConnectionsConcurrentlyAndWaitsForRequests) {
    HttpTestServer server;
    ScriptedResponse slow = Response(200, "slow");
    slow.delayBeforeHead = 300ms;
    server.Route("/slow", slow);
    server.Route("/fast", Response(200, "fast"));

    std::string slowAnswer;
    std::thread t([&] { slowAnswer = Exchange(server.port(), "GET /slow HTTP/1.1\r\n\r\n"); });
    ASSERT_TRUE(server.WaitForRequests(1, 5s));
    std::string fastAnswer = Exchange(server.port(), "GET /fast HTTP/1.1\r\n\r\n");
    t.join();
    EXPECT_NE(fastAnswer.find("fast"), std::string::npos);
    EXPECT_NE(slowAnswer.find("slow"), std::string::npos);
    auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    // The fast request was answered while the slow one still waited.
    EXPECT_LT(requests[1].completed, requests[0].completed);
    EXPECT_EQ(server.ConnectionCount(), 2);
    EXPECT_FALSE(server.WaitForRequests(3, 10ms));
}

TEST(HttpTestServer, StopsPromptlyWithAClientWaitingAndAResponseDelayed) {
    auto started = std::chrono::steady_clock::now();
    int idleFd = -1;
    std::thread client;
    {
        HttpTestServer server;
        ScriptedResponse stalled = Response(200, "never");
        stalled.delayBeforeHead = 60s;
        server.SetHandler(Always(stalled));
        client = std::thread([port = server.port()] { Exchange(port, "GET / HTTP/1.1\r\n\r\n"); });
        // A second client that connects and says nothing.
        idleFd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = htons(static_cast<uint16_t>(server.port()));
        EXPECT_EQ(::connect(idleFd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
        EXPECT_TRUE(server.WaitForRequests(1, 5s));
    }
    client.join(); // ends because the server closed its connection
    ::close(idleFd);
    EXPECT_LT(std::chrono::steady_clock::now() - started, 10s);
}

} // namespace
} // namespace sendwell::test
