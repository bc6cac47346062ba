// Status texts of the status session: the formatting table and the texts of a real request.
#include "core/web/curl_support.h"
#include "core/web/loopback_guard.h"
#include "core/web/status_session.h"
#include "tests/support/http_test_server.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace sendwell {
namespace {

using ::testing::ElementsAre;

class RecordingSink : public Progress {
public:
    void SetStatusText(const std::string& text) override {
        std::lock_guard lock(mutex_);
        texts_.push_back(text);
    }
    std::vector<std::string> texts() const {
        std::lock_guard lock(mutex_);
        return texts_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> texts_;
};

TEST(StatusText, FormatsEveryKnownStatusAndKeepsTheTextFor40And70) {
    EXPECT_EQ(FormatStatusText(10, "www.example.org"), "Resolving name for www.example.org");
    EXPECT_EQ(FormatStatusText(11, std::string("10.0.0.1\0junk", 13)), "Resolved name for 10.0.0.1");
    EXPECT_EQ(FormatStatusText(20), "Connecting to socket address ");
    EXPECT_EQ(FormatStatusText(21), "Connected to socket address");
    EXPECT_EQ(FormatStatusText(30), "Sending request...");
    EXPECT_EQ(FormatStatusText(31), "Request sent");
    EXPECT_EQ(FormatStatusText(40), std::nullopt);
    EXPECT_EQ(FormatStatusText(41), "Response received");
    EXPECT_EQ(FormatStatusText(50), "Closing the connection to the server");
    EXPECT_EQ(FormatStatusText(51), "Connection to the server closed");
    EXPECT_EQ(FormatStatusText(60), "");
    EXPECT_EQ(FormatStatusText(70), std::nullopt);
    EXPECT_EQ(FormatStatusText(100, std::string_view("\x01\0\0\0\xFE\xCA\0\0", 8)), "Request complete");
    EXPECT_EQ(FormatStatusText(42), "Unknown status: 42");
    EXPECT_EQ(FormatStatusText(0), "Unknown status: 0");
}

size_t Collect(char* data, size_t size, size_t count, void* out) {
    static_cast<std::string*>(out)->append(data, size * count);
    return size * count;
}

TEST(StatusSession, ReportsTheStagesOfARequestAndLeavesTheBodyToTheCaller) {
    test::HttpTestServer server;
    server.SetHandler(test::Always(test::Response(200, "body")));
    RecordingSink sink;
    std::string body;
    std::string url = server.Url("/x");
    ASSERT_TRUE(GuardAllows(url));
    {
        CurlEasy handle = NewCurlHandle();
        StatusSession session(sink);
        session.Attach(handle.get());
        curl_easy_setopt(handle.get(), CURLOPT_URL, url.c_str());
        curl_easy_setopt(handle.get(), CURLOPT_WRITEFUNCTION, Collect);
        curl_easy_setopt(handle.get(), CURLOPT_WRITEDATA, &body);
        ASSERT_EQ(curl_easy_perform(handle.get()), CURLE_OK);
    }
    EXPECT_EQ(body, "body");
    std::vector<std::string> texts = sink.texts();
    EXPECT_THAT(texts,
                ElementsAre("", "Resolving name for 127.0.0.1", "Resolved name for 127.0.0.1",
                            "Connecting to socket address ", "Connected to socket address",
                            "Sending request...", "Request sent", "Response received",
                            "Closing the connection to the server", "Connection to the server closed"));
}

TEST(StatusSession, NamesTheHostWhileResolvingAndStaysSilentWithoutASink) {
    test::HttpTestServer server;
    std::string url = "http://localhost:" + std::to_string(server.port()) + "/";
    ASSERT_TRUE(GuardAllows(url));
    RecordingSink sink;
    CurlEasy handle = NewCurlHandle();
    {
        StatusSession session;
        session.Attach(handle.get());
        session.SetStatusSink(&sink);
        curl_easy_setopt(handle.get(), CURLOPT_URL, url.c_str());
        curl_easy_setopt(handle.get(), CURLOPT_IPRESOLVE, CURL_IPRESOLVE_V4);
        curl_easy_setopt(handle.get(), CURLOPT_WRITEFUNCTION, Collect);
        std::string body;
        curl_easy_setopt(handle.get(), CURLOPT_WRITEDATA, &body);
        ASSERT_EQ(curl_easy_perform(handle.get()), CURLE_OK);
        session.SetStatusSink(nullptr);
        session.Report(kStatusRequestSent); // dropped
    }
    std::vector<std::string> texts = sink.texts();
    ASSERT_GE(texts.size(), 3u);
    EXPECT_EQ(texts[0], "Resolving name for localhost");
    EXPECT_EQ(texts[1], "Resolved name for localhost");
    EXPECT_EQ(texts[2], "Connecting to socket address ");
}

// A server that leaves the connection open must not leave libcurl holding a socket whose close would call
// back into a session that is gone: the connection is closed within the transfer.
TEST(StatusSession, ConnectionLeftOpenByTheServerIsClosedBeforeTheSessionGoes) {
    test::HttpTestServer server;
    server.SetHandler(test::Always(test::Response(200, "body", {{"Connection", "keep-alive"}})));
    RecordingSink sink;
    std::string url = server.Url("/x");
    ASSERT_TRUE(GuardAllows(url));
    CurlEasy handle = NewCurlHandle();
    auto session = std::make_unique<StatusSession>(sink);
    session->Attach(handle.get());
    curl_easy_setopt(handle.get(), CURLOPT_URL, url.c_str());
    curl_easy_setopt(handle.get(), CURLOPT_WRITEFUNCTION, Collect);
    std::string body;
    curl_easy_setopt(handle.get(), CURLOPT_WRITEDATA, &body);
    ASSERT_EQ(curl_easy_perform(handle.get()), CURLE_OK);
    EXPECT_EQ(body, "body");
    std::vector<std::string> texts = sink.texts();
    ASSERT_GE(texts.size(), 2u);
    EXPECT_EQ(texts[texts.size() - 2], "Closing the connection to the server");
    EXPECT_EQ(texts.back(), "Connection to the server closed");
    session.reset();
    handle.reset(); // no connection left whose close could reach the freed session
    EXPECT_EQ(sink.texts().size(), texts.size());
}

} // namespace
} // namespace sendwell
