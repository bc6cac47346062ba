// The concurrent fetch engine against loopback servers on 127.0.0.1 and 127.0.0.2 (two hosts): its
// bounds as the servers count them, the retry rules, redirects, the size bound and cancel.
#include "core/base/progress.h"
#include "core/web/fetch_engine.h"
#include "core/web/transfer.h"
#include "tests/support/http_test_server.h"
#include "tests/support/loopback_port.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <map>
#include <thread>

namespace sendwell {
namespace {

using test::HttpTestServer;
using test::Response;
using test::ScriptedResponse;
using namespace std::chrono_literals;

FetchSetup WithLimits(FetchLimits limits = {}) {
    FetchSetup setup;
    setup.limits = limits;
    return setup;
}

std::vector<FetchResult> FetchAll(FetchSetup setup, const std::vector<std::string>& urls) {
    FetchEngine engine(std::move(setup));
    for (std::size_t i = 0; i < urls.size(); ++i) {
        engine.Add({urls[i], true, i});
    }
    std::vector<FetchResult> results;
    const FetchSummary summary = engine.Run([&](FetchResult&& r) { results.push_back(std::move(r)); });
    EXPECT_EQ(summary.delivered, results.size());
    return results;
}

struct StepsSeen : Progress {
    void SetStatusText(const std::string& line) override { text = line; }
    void SetSteps(std::uint64_t d, std::uint64_t t) override {
        EXPECT_LE(d, t);
        done = d;
        total = t;
    }
    std::uint64_t done = 0;
    std::uint64_t total = 0;
    std::string text;
};

ScriptedResponse Delayed(ScriptedResponse response, std::chrono::milliseconds delay) {
    response.delayBeforeHead = delay;
    return response;
}

TEST(FetchEngineTest, OpenRequestsStayWithinTheBoundsInAllAndPerHost) {
    auto all = std::make_shared<test::OpenRequestCount>();
    HttpTestServer one("127.0.0.1", all);
    HttpTestServer two("127.0.0.2", all);
    for (HttpTestServer* server : {&one, &two}) {
        server->SetHandler(test::Always(Delayed(Response(200, "ok"), 40ms)));
    }
    std::vector<std::string> urls;
    for (int i = 0; i < 20; ++i) {
        urls.push_back(one.Url("/" + std::to_string(i)));
        urls.push_back(two.Url("/" + std::to_string(i)));
    }
    FetchLimits limits;
    limits.concurrency = 8;
    limits.perHost = 4;
    StepsSeen progress;
    FetchSetup setup = WithLimits(limits);
    setup.progress = &progress;
    const std::vector<FetchResult> results = FetchAll(std::move(setup), urls);
    EXPECT_EQ(progress.done, 40u);
    EXPECT_EQ(progress.total, 40u);
    EXPECT_NE(progress.text.find("40 of 40"), std::string::npos) << progress.text;

    ASSERT_EQ(results.size(), 40u);
    for (const FetchResult& r : results) {
        EXPECT_TRUE(r.outcome.ok()) << r.url << ": " << r.outcome.text;
        EXPECT_EQ(r.status, 200);
        EXPECT_EQ(r.body, "ok");
        EXPECT_EQ(r.finalUrl, r.url);
    }
    EXPECT_LE(one.openRequests().peak(), 4);
    EXPECT_LE(two.openRequests().peak(), 4);
    EXPECT_LE(all->peak(), 8);
    EXPECT_GT(all->peak(), 1); // side by side, not one after another

    // A bound in all below the one per host holds too.
    limits.concurrency = 2;
    auto few = std::make_shared<test::OpenRequestCount>();
    HttpTestServer three("127.0.0.1", few);
    three.SetHandler(test::Always(Delayed(Response(200), 20ms)));
    EXPECT_EQ(FetchAll(WithLimits(limits), std::vector<std::string>(10, three.Url("/"))).size(), 10u);
    EXPECT_LE(few->peak(), 2);
}

TEST(FetchEngineTest, ConnectionsAreKeptAndReusedWithinAHost) {
    for (const bool readBody : {true, false}) {
        SCOPED_TRACE(readBody ? "pages" : "heads");
        HttpTestServer server;
        server.KeepConnections();
        server.SetHandler(test::Always(Response(200, std::string(1000, 'x'))));
        FetchEngine engine(WithLimits());
        for (int i = 0; i < 24; ++i) {
            engine.Add({server.Url("/" + std::to_string(i)), readBody});
        }
        int answered = 0;
        engine.Run([&](FetchResult&& r) {
            EXPECT_EQ(r.status, 200) << r.outcome.text;
            EXPECT_EQ(r.body.size(), readBody ? 1000u : 0u);
            ++answered;
        });
        EXPECT_EQ(answered, 24);
        EXPECT_LE(server.ConnectionCount(), 4); // one per request open at once, no more
    }
}

TEST(FetchEngineTest, RetriesWhatTheServerAsksToRetryAndNothingElse) {
    const auto pastDate = "Tue, 01 Jan 2019 00:00:00 GMT";
    const struct {
        const char* what;
        std::vector<ScriptedResponse> answers;
        int status;
        int tries;
        std::chrono::milliseconds atLeastBetween; // between the first try and the last
    } cases[] = {
        {"429 with a short Retry-After",
         {Response(429, "", {{"Retry-After", "1"}}), Response(200, "page")},
         200,
         2,
         1000ms},
        {"429 asking for an hour is final",
         {Response(429, "", {{"Retry-After", "3600"}}), Response(200)},
         429,
         1,
         0ms},
        {"503 twice, then an answer on the third try",
         {Response(503, "", {{"Retry-After", "0"}}), Response(503, "", {{"Retry-After", pastDate}}),
          Response(200)},
         200,
         3,
         0ms},
        {"503 without Retry-After: 1 s, then 2 s, then the third answer is final",
         {Response(503)},
         503,
         3,
         3000ms},
        {"404 is an answer, not tried again", {Response(404), Response(200)}, 404, 1, 0ms},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        HttpTestServer server;
        server.SetHandler(test::InTurn(c.answers));
        const std::vector<FetchResult> results = FetchAll(WithLimits(), {server.Url("/page")});
        ASSERT_EQ(results.size(), 1u);
        const FetchResult& r = results[0];
        EXPECT_TRUE(r.outcome.ok()) << r.outcome.text;
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.tries, c.tries);
        const auto requests = server.Requests();
        ASSERT_EQ(requests.size(), static_cast<std::size_t>(c.tries));
        EXPECT_GE(requests.back().arrived - requests.front().arrived, c.atLeastBetween);
    }
}

TEST(FetchEngineTest, ARefusedConnectionIsTriedThreeTimesThenFails) {
    const std::string url = "http://127.0.0.1:" + std::to_string(test::ClosedLoopbackPort()) + "/";
    const std::vector<FetchResult> results = FetchAll(WithLimits(), {url});
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].outcome.end, Outcome::End::Failed);
    EXPECT_EQ(results[0].status, 0);
    EXPECT_EQ(results[0].tries, 3);
    EXPECT_FALSE(results[0].outcome.text.empty());
    EXPECT_GE(results[0].elapsed, 3s); // waited 1 s and 2 s
}

TEST(FetchEngineTest, OneHostWaitingDoesNotHoldUpAnother) {
    HttpTestServer slow("127.0.0.1", nullptr);
    HttpTestServer other("127.0.0.2", nullptr);
    slow.SetHandler(test::InTurn({Response(429, "", {{"Retry-After", "2"}}), Response(200)}));
    other.SetHandler(test::Always(Response(200)));
    std::vector<std::string> urls = {slow.Url("/")};
    for (int i = 0; i < 12; ++i) {
        urls.push_back(other.Url("/" + std::to_string(i)));
    }
    const std::vector<FetchResult> results = FetchAll(WithLimits(), urls);
    ASSERT_EQ(results.size(), 13u);
    // Results come as they complete: the host that asked to wait finishes last.
    EXPECT_EQ(results.back().url, slow.Url("/"));
    EXPECT_EQ(results.back().status, 200);
    EXPECT_EQ(results.back().tries, 2);
}

TEST(FetchEngineTest, FollowsRedirectsKeepingTheChainAndFailsLoopsAndLongChains) {
    HttpTestServer one("127.0.0.1", nullptr);
    HttpTestServer two("127.0.0.2", nullptr);
    one.Route("/a", test::Redirect(301, "/b?x=1"));      // relative
    one.Route("/b", test::Redirect(302, two.Url("/c"))); // to another host
    two.Route("/c", test::Redirect(307, "d"));           // relative to the folder
    two.Route("/d", Response(200, "here"));
    one.Route("/loop1", test::Redirect(302, "/loop2"));
    one.Route("/loop2", test::Redirect(302, "/loop1"));
    one.Route("/long", test::Redirect(302, "/long1"));
    one.Route("/long1", test::Redirect(302, "/long2"));
    one.Route("/long2", test::Redirect(302, "/long3"));
    one.Route("/long3", Response(200));
    one.Route("/nowhere", Response(301)); // no Location: the redirect is the answer

    FetchLimits limits;
    limits.maxRedirects = 2;
    FetchEngine engine(WithLimits(limits));
    for (const char* path : {"/loop1", "/long", "/nowhere"}) {
        engine.Add({one.Url(path)});
    }
    std::map<std::string, FetchResult> results;
    engine.Run([&](FetchResult&& r) { results[r.url] = std::move(r); });
    const FetchResult& loop = results.at(one.Url("/loop1"));
    EXPECT_EQ(loop.outcome.end, Outcome::End::Failed);
    EXPECT_NE(loop.outcome.text.find("loop"), std::string::npos) << loop.outcome.text;
    EXPECT_EQ(loop.chain.size(), 1u);
    EXPECT_EQ(loop.finalUrl, one.Url("/loop2"));
    const FetchResult& longChain = results.at(one.Url("/long"));
    EXPECT_EQ(longChain.outcome.end, Outcome::End::Failed);
    EXPECT_EQ(longChain.outcome.text, "Maximum (2) redirects followed");
    const FetchResult& nowhere = results.at(one.Url("/nowhere"));
    EXPECT_TRUE(nowhere.outcome.ok());
    EXPECT_EQ(nowhere.status, 301);
    EXPECT_TRUE(nowhere.chain.empty());

    // The status check's kind of job: heads only, the chain across both hosts kept.
    FetchEngine headsOnly(WithLimits());
    headsOnly.Add({one.Url("/a"), /*readBody=*/false, 7});
    std::vector<FetchResult> chained;
    headsOnly.Run([&](FetchResult&& r) { chained.push_back(std::move(r)); });
    ASSERT_EQ(chained.size(), 1u);
    const FetchResult& r = chained[0];
    EXPECT_TRUE(r.outcome.ok()) << r.outcome.text;
    EXPECT_EQ(r.tag, 7u);
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(r.finalUrl, two.Url("/d"));
    EXPECT_EQ(r.body, "");
    ASSERT_EQ(r.chain.size(), 3u);
    EXPECT_EQ(r.chain[0].url, one.Url("/a"));
    EXPECT_EQ(r.chain[0].status, 301);
    EXPECT_EQ(r.chain[1].url, one.Url("/b?x=1"));
    EXPECT_EQ(r.chain[1].status, 302);
    EXPECT_EQ(r.chain[2].url, two.Url("/c"));
    EXPECT_EQ(r.chain[2].status, 307);
}

TEST(FetchEngineTest, AHugeAnswerStopsAtTheSizeBound) {
    HttpTestServer server;
    ScriptedResponse huge = Response(200, "start");
    huge.fillerBodyBytes = 2ULL << 30; // 2 GB, made as it is sent
    server.SetHandler(test::Always(huge));
    FetchLimits limits;
    limits.maxBody = 1 << 20;
    const std::vector<FetchResult> results = FetchAll(WithLimits(limits), {server.Url("/")});
    ASSERT_EQ(results.size(), 1u);
    const FetchResult& r = results[0];
    EXPECT_EQ(r.outcome.end, Outcome::End::Failed);
    EXPECT_EQ(r.outcome.text, AnswerCutText(limits.maxBody));
    EXPECT_TRUE(r.bodyCut);
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(r.body.size(), limits.maxBody);
    EXPECT_EQ(r.body.substr(0, 5), "start");
}

TEST(FetchEngineTest, StopEndsEveryTransferInFlightAndDropsTheRest) {
    HttpTestServer server;
    server.SetHandler(test::Always(Delayed(Response(200), std::chrono::minutes(5))));
    std::atomic<bool> stop{false};
    FetchSetup setup = WithLimits();
    setup.stop = &stop;
    FetchEngine engine(std::move(setup));
    for (int i = 0; i < 20; ++i) {
        engine.Add({server.Url("/" + std::to_string(i))});
    }
    std::thread canceller([&] {
        server.WaitForRequests(4);
        stop.store(true);
    });
    std::vector<FetchResult> results;
    const FetchSummary summary = engine.Run([&](FetchResult&& r) { results.push_back(std::move(r)); });
    canceller.join();
    EXPECT_TRUE(summary.cancelled);
    EXPECT_EQ(results.size(), 4u); // the open ones; the 16 waiting are dropped
    for (const FetchResult& r : results) {
        EXPECT_TRUE(r.outcome.cancelled());
    }
}

TEST(FetchEngineTest, JobsAddedWhileRunningAreFetchedAndBadAddressesFail) {
    HttpTestServer server;
    server.SetHandler(test::Always(Response(200)));
    FetchEngine engine(WithLimits());
    engine.Add({server.Url("/first"), true, 1});
    engine.Add({"not an address", true, 2});
    std::vector<std::uint64_t> tags;
    engine.Run([&](FetchResult&& r) {
        tags.push_back(r.tag);
        if (r.tag == 1) {
            engine.Add({server.Url("/found"), true, 3});
        } else if (r.tag == 2) {
            EXPECT_EQ(r.outcome.end, Outcome::End::Failed);
        }
    });
    std::sort(tags.begin(), tags.end());
    EXPECT_EQ(tags, (std::vector<std::uint64_t>{1, 2, 3}));
}

// A caller with work on other threads keeps the run open through between, which may add jobs; Wake
// from another thread has it called.
TEST(FetchEngineTest, BetweenKeepsTheRunOpenUntilOtherThreadsAreDone) {
    HttpTestServer server;
    server.SetHandler(test::Always(Response(200)));
    FetchEngine engine(WithLimits());
    engine.Add({server.Url("/first"), true, 1});
    std::atomic<bool> found{false};
    std::thread worker;
    bool added = false;
    std::vector<std::uint64_t> tags;
    engine.Run(
        [&](FetchResult&& r) {
            tags.push_back(r.tag);
            if (r.tag == 1) {
                // What a worker makes of the first answer comes back while nothing is open.
                worker = std::thread([&] {
                    found = true;
                    engine.Wake();
                });
            }
        },
        [&] {
            if (found && !added) {
                added = true;
                engine.Add({server.Url("/found"), true, 2});
            }
            return !added;
        });
    worker.join();
    EXPECT_EQ(tags, (std::vector<std::uint64_t>{1, 2}));
}

TEST(FetchEngineTest, RetryAfterReadsSecondsAndDates) {
    const std::time_t now = 1445412450; // Wed, 21 Oct 2015 07:27:30 GMT
    const struct {
        const char* value;
        std::optional<long long> seconds;
    } cases[] = {
        {"1", 1},
        {" 120 ", 120},
        {"0", 0},
        {"Wed, 21 Oct 2015 07:28:00 GMT", 30},
        {"Wednesday, 21-Oct-15 07:28:00 GMT", 30},
        {"Wed, 21 Oct 2015 07:00:00 GMT", 0}, // gone by
        {"99999999999999999999999", std::chrono::seconds::max().count()},
        {"", std::nullopt},
        {"-1", std::nullopt},
        {"1.5", std::nullopt},
        {"soon", std::nullopt},
        {"12 apples", std::nullopt},
    };
    for (const auto& c : cases) {
        const std::optional<std::chrono::seconds> delay = RetryAfterDelay(c.value, now);
        EXPECT_EQ(delay ? std::optional<long long>(delay->count()) : std::nullopt, c.seconds) << c.value;
    }
}

} // namespace
} // namespace sendwell
