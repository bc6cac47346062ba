// IndexNow against the loopback HTTPS server: the key and its file, the request as the endpoint
// receives it, the split, every answer, backing off on 429, leaving unchanged content out, the record of
// it kept safe, and a time limit on every request.
#include "core/base/dates.h"
#include "core/history/history_store.h"
#include "core/indexnow/changed_pages.h"
#include "core/indexnow/content_state.h"
#include "core/indexnow/indexnow_key.h"
#include "core/indexnow/indexnow_submit.h"
#include "core/results/answer_store.h"
#include "core/sitemap/sitemap_reader.h"
#include "core/submit/submission_run.h"
#include "tests/support/http_test_server.h"
#include "tests/support/loopback_port.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>
#include <mutex>
#include <nlohmann/json.hpp>
#include <thread>

namespace sendwell {
namespace {

using test::HttpTestServer;
using test::Response;

const std::string kKey = "0123456789abcdef0123456789abcdef";

class Recorder : public IndexNowReport {
public:
    void SetStatusText(const std::string& text) override {
        statuses.push_back(text);
        if (stopOn && text.find(*stopOn) != std::string::npos) {
            stop->store(true);
        }
    }
    void Answered(const IndexNowAnswer& answer) override { outcomes.push_back(answer); }
    std::vector<std::string> statuses;
    std::vector<IndexNowAnswer> outcomes;
    std::optional<std::string> stopOn;
    std::atomic<bool>* stop = nullptr;
};

class IndexNowTest : public ::testing::Test {
protected:
    IndexNowTest() : server_(HttpTestServer::Options{.tls = true}) {
        job_.settings.key = kKey;
        job_.settings.endpoint = server_.HostPort();
        job_.connection.caFile = server_.CaFile().string();
        job_.programFolder = dir_.path();
        job_.statePath = dir_ / "indexnow-state.json";
        job_.stop = &stop_;
        job_.force = true;
    }

    std::vector<test::RecordedRequest> Posts() const {
        std::vector<test::RecordedRequest> posts;
        for (const auto& r : server_.Requests()) {
            if (r.method == "POST") {
                posts.push_back(r);
            }
        }
        return posts;
    }

    IndexNowSummary Submit(const std::vector<std::string>& addresses) {
        recorder_ = Recorder{};
        recorder_.stop = &stop_;
        return RunIndexNowAlone(addresses, job_, recorder_);
    }

    test::TempDir dir_;
    HttpTestServer server_;
    std::atomic<bool> stop_{false};
    IndexNowJob job_;
    Recorder recorder_;
};

TEST(IndexNowKeyTest, KeysFollowTheRulesAndGeneratedOnesFitThem) {
    const struct {
        std::string key;
        bool valid;
    } cases[] = {{"abcdEF-9", true},   {std::string(128, 'a'), true},
                 {"abcdEF9", false},   {std::string(129, 'a'), false},
                 {"abcd_efgh", false}, {"abcd efgh", false},
                 {"abcdéfgh", false},  {"", false}};
    for (const auto& c : cases) {
        EXPECT_EQ(IsValidIndexNowKey(c.key), c.valid) << c.key;
        EXPECT_EQ(KeyRuleText(c.key).empty(), c.valid) << c.key;
    }
    const std::string a = GenerateIndexNowKey();
    EXPECT_EQ(a.size(), 32u);
    EXPECT_EQ(a.find_first_not_of("0123456789abcdef"), std::string::npos);
    EXPECT_NE(a, GenerateIndexNowKey());
}

TEST(IndexNowKeyTest, KeyFileHoldsExactlyTheKeyAndRefusesBadKeys) {
    test::TempDir dir;
    const auto file = WriteKeyFile(dir.path(), kKey);
    EXPECT_EQ(file, dir / (kKey + ".txt"));
    EXPECT_EQ(test::ReadFileBytes(file), kKey);
    EXPECT_TRUE(WriteKeyFile(dir.path(), "../../etc/x").empty());
    EXPECT_EQ(KeyFileAddress("example.com", kKey, ""), "https://example.com/" + kKey + ".txt");
    EXPECT_EQ(KeyFileAddress("example.com", kKey, "/keys/k.txt"), "https://example.com/keys/k.txt");
    EXPECT_EQ(KeyFileAddress("example.com", kKey, "https://cdn.example/k.txt"), "https://cdn.example/k.txt");
}

TEST_F(IndexNowTest, KeyFileCheckTellsServedMissingAndWrongContent) {
    server_.Route("/served.txt", Response(200, kKey));
    server_.Route("/newline.txt", Response(200, kKey + "\n"));
    server_.Route("/other.txt", Response(200, "something else"));
    const struct {
        std::string path;
        KeyFileCheck::Verdict verdict;
        int status;
        std::string says;
    } cases[] = {{"/served.txt", KeyFileCheck::Verdict::Served, 200, "serves exactly the key"},
                 {"/missing.txt", KeyFileCheck::Verdict::Missing, 404, "is missing: the site answered 404"},
                 {"/newline.txt", KeyFileCheck::Verdict::WrongContent, 200, "remove the line break"},
                 {"/other.txt", KeyFileCheck::Verdict::WrongContent, 200, "does not hold exactly the key."}};
    for (const auto& c : cases) {
        const KeyFileCheck check = CheckKeyFile(server_.Url(c.path), kKey, job_.connection);
        EXPECT_EQ(check.verdict, c.verdict) << c.path;
        EXPECT_EQ(check.status, c.status) << c.path;
        EXPECT_NE(check.text.find(c.says), std::string::npos) << check.text;
    }
    TransferLimits once;
    once.connectRetries = 0;
    const KeyFileCheck refused =
        CheckKeyFile("https://127.0.0.1:" + std::to_string(test::ClosedLoopbackPort()) + "/k.txt", kKey,
                     job_.connection, once);
    EXPECT_EQ(refused.verdict, KeyFileCheck::Verdict::Unreachable);
    EXPECT_NE(refused.text.find("could not be fetched"), std::string::npos);
}

TEST(IndexNowGroupingTest, AddressesGroupByHostAndOnlyHttpAddressesCount) {
    const AddressGrouping g =
        GroupByHost({"https://Example.com/a", "ftp://example.com/b", "http://example.com:80/c",
                     "https://other.org:8443/d", "https://user@example.com/e", "example.com/f",
                     "HTTPS://EXAMPLE.COM:443"});
    ASSERT_EQ(g.groups.size(), 2u);
    EXPECT_EQ(g.groups[0].host, "example.com");
    EXPECT_EQ(g.groups[0].addresses,
              (std::vector<std::string>{"https://Example.com/a", "http://example.com:80/c",
                                        "HTTPS://EXAMPLE.COM:443"}));
    EXPECT_EQ(g.groups[1].host, "other.org:8443");
    EXPECT_EQ(SiteHost("Example.com:8443"), "example.com:8443");
    EXPECT_EQ(SiteHost("ftp://example.com"), "");
    EXPECT_EQ(g.skipped, (std::vector<std::string>{"ftp://example.com/b", "https://user@example.com/e",
                                                   "example.com/f"}));
}

TEST_F(IndexNowTest, OnePostPerHostCarriesTheJsonBodyAndItsContentType) {
    server_.Route("/indexnow", Response(200));
    const std::string site = server_.Url("/");
    const IndexNowSummary summary =
        Submit({site + "a", "mailto:x@example.com", "https://localhost:1/b", site + "c?q=1"});
    EXPECT_EQ(summary.sent, 3u);
    EXPECT_EQ(summary.skipped, 1u);
    const auto posts = Posts();
    ASSERT_EQ(posts.size(), 2u);
    const auto body = nlohmann::json::parse(posts[0].body);
    EXPECT_EQ(posts[0].Path(), "/indexnow");
    EXPECT_EQ(posts[0].Header("Content-Type"), "application/json; charset=utf-8");
    EXPECT_EQ(body, (nlohmann::json{{"host", server_.HostPort()},
                                    {"key", kKey},
                                    {"keyLocation", site + kKey + ".txt"},
                                    {"urlList", {site + "a", site + "c?q=1"}}}));
    EXPECT_EQ(nlohmann::json::parse(posts[1].body)["host"], "localhost:1");
}

TEST_F(IndexNowTest, MoreThanTenThousandAddressesAreSplit) {
    server_.Route("/indexnow", Response(202));
    std::vector<std::string> addresses;
    for (int i = 0; i < 10001; ++i) {
        addresses.push_back("https://example.com/" + std::to_string(i));
    }
    EXPECT_EQ(Submit(addresses).sent, 10001u);
    const auto posts = Posts();
    ASSERT_EQ(posts.size(), 2u);
    EXPECT_EQ(nlohmann::json::parse(posts[0].body)["urlList"].size(), 10000u);
    EXPECT_EQ(nlohmann::json::parse(posts[1].body)["urlList"], nlohmann::json({"https://example.com/10000"}));
}

TEST_F(IndexNowTest, EveryAnswerIsStoredInPlainWordsAndFailuresAreLogged) {
    const struct {
        int status;
        std::string text;
        bool failed;
    } cases[] = {{200, "submitted", false},
                 {202, "received, key check pending", false},
                 {400, "bad request", true},
                 {403, "key not valid: the key file was not found or does not hold the key", true},
                 {422, "addresses do not belong to the host, or the key does not fit the rules", true},
                 {503, "unexpected answer 503", true}};
    // Each record opens with the answer in plain words.
    auto records = [&] {
        const std::string log = test::ReadFileBytes(FailureLogPath(dir_.path()));
        std::size_t count = log.rfind("IndexNow: ", 0) == 0 ? 1 : 0;
        for (std::size_t at = log.find("\r\nIndexNow: "); at != std::string::npos;
             at = log.find("\r\nIndexNow: ", at + 1)) {
            ++count;
        }
        return count;
    };
    std::size_t failures = records();
    for (const auto& c : cases) {
        server_.Route("/indexnow", Response(c.status, "endpoint says <" + std::to_string(c.status) + ">"));
        const IndexNowSummary summary = Submit({"https://example.com/"});
        ASSERT_EQ(recorder_.outcomes.size(), 1u);
        const IndexNowAnswer& answer = recorder_.outcomes[0];
        EXPECT_EQ(answer.outcome.httpStatus, c.status);
        EXPECT_EQ(answer.outcome.text, c.text);
        EXPECT_EQ(!answer.outcome.ok(), c.failed);
        EXPECT_EQ(summary.failedRequests, c.failed ? 1u : 0u);
        EXPECT_EQ(records() - failures, c.failed ? 1u : 0u) << c.status;
        failures = records();
        EXPECT_NE(test::ReadFileBytes(answer.answerFile).find("endpoint says &lt;"), std::string::npos);
    }
    const auto stored = ListStoredAnswers(dir_.path());
    ASSERT_EQ(stored.size(), std::size(cases));
    EXPECT_EQ(stored[0].storeName, "IndexNow");
    EXPECT_NE(test::ReadFileBytes(FailureLogPath(dir_.path())).find("IndexNow: bad request"),
              std::string::npos);
}

TEST_F(IndexNowTest, TooManyRequestsBacksOffWhenShortAndStopsOtherwise) {
    std::mutex mutex;
    std::vector<test::ScriptedResponse> script;
    server_.SetHandler([&](const test::RecordedRequest&) {
        std::lock_guard lock(mutex);
        if (script.empty()) {
            return Response(200);
        }
        test::ScriptedResponse next = script.front();
        script.erase(script.begin());
        return next;
    });
    std::vector<std::string> twoRequests;
    for (int i = 0; i < 10001; ++i) {
        twoRequests.push_back("https://example.com/" + std::to_string(i));
    }
    const struct {
        std::vector<test::HeaderList> answers429;
        std::size_t posts;
        bool throttled;
    } cases[] = {
        {{{{"Retry-After", "0"}}, {{"Retry-After", "1"}}}, 4, false}, // waited, sent again, both sent
        {{{{"Retry-After", "3600"}}}, 1, true},                       // too long: the rest is not sent
        {{{}}, 1, true},                                              // no Retry-After at all
        {{{{"Retry-After", "Wed, 21 Oct 2026 07:28:00 GMT"}}}, 1, true},
    };
    std::size_t before = 0;
    for (const auto& c : cases) {
        {
            std::lock_guard lock(mutex);
            script.clear();
            for (const auto& headers : c.answers429) {
                script.push_back(Response(429, "", headers));
            }
        }
        const IndexNowSummary summary = Submit(twoRequests);
        EXPECT_EQ(Posts().size() - before, c.posts);
        EXPECT_EQ(summary.throttled, c.throttled);
        EXPECT_EQ(summary.sent, c.throttled ? 0u : 10001u);
        before = Posts().size();
    }

    // The stop flag ends a wait the endpoint asked for.
    {
        std::lock_guard lock(mutex);
        script = {Response(429, "", {{"Retry-After", "60"}})};
    }
    recorder_ = Recorder{};
    recorder_.stop = &stop_;
    recorder_.stopOn = "asks to wait 60 s";
    const IndexNowSummary summary = RunIndexNowAlone({"https://example.com/"}, job_, recorder_);
    EXPECT_TRUE(summary.stopped);
    EXPECT_EQ(Posts().size() - before, 1u);
}

TEST_F(IndexNowTest, UnchangedContentIsLeftOutUnlessForced) {
    std::mutex mutex;
    test::HeaderList validators = {{"ETag", "\"v1\""}};
    std::string content = "page one";
    server_.Route("/indexnow", Response(200));
    server_.Route("/refused", Response(403));
    server_.SetHandler([&](const test::RecordedRequest&) {
        std::lock_guard lock(mutex);
        return Response(200, content, validators);
    });
    auto change = [&](test::HeaderList h, std::string c) {
        std::lock_guard lock(mutex);
        validators = std::move(h);
        content = std::move(c);
    };
    const std::vector<std::string> page = {server_.Url("/page")};
    const struct {
        const char* what;
        std::function<void()> before;
        bool force;
        std::size_t sent;
    } steps[] = {
        {"first time", [] {}, false, 1},
        {"same ETag",
         [&] {
             change({{"ETag", "\"v1\""}}, "changed body");
         },
         false, 0},
        {"new ETag",
         [&] {
             change({{"ETag", "\"v2\""}}, "changed body");
         },
         false, 1},
        {"forced", [] {}, true, 1},
        {"after a forced run the content is looked at again", [] {}, false, 1},
        {"no validators, same body", [&] { change({}, "plain"); }, false, 1},
        {"no validators, same body again", [] {}, false, 0},
        {"no validators, new body", [&] { change({}, "plain 2"); }, false, 1},
    };
    for (const auto& step : steps) {
        step.before();
        job_.force = step.force;
        const IndexNowSummary summary = Submit(page);
        EXPECT_EQ(summary.sent, step.sent) << step.what;
        EXPECT_EQ(summary.unchanged, 1 - step.sent) << step.what;
    }
    IndexNowState saved;
    EXPECT_TRUE(saved.Load(job_.statePath).ok());
    EXPECT_NE(saved.Find(page[0]), nullptr);

    // A refused submission records nothing: the address goes again next time.
    change({{"ETag", "\"v3\""}}, "x");
    job_.settings.endpoint = server_.Url("/refused");
    EXPECT_EQ(Submit(page).sent, 0u);
    job_.settings.endpoint = server_.HostPort();
    EXPECT_EQ(Submit(page).sent, 1u);
}

// The requests of the only run of kind in file, and that run.
std::pair<RunRecord, std::vector<RequestRecord>> OnlyRun(const std::filesystem::path& file, RunKind kind) {
    HistoryStore::Opened opened = HistoryStore::Open(file);
    EXPECT_TRUE(opened.store) << opened.outcome.text;
    if (!opened.store) {
        return {};
    }
    std::vector<RunRecord> runs;
    for (RunRecord& run : opened.store->Runs().value) {
        if (run.kind == kind) {
            runs.push_back(std::move(run));
        }
    }
    EXPECT_EQ(runs.size(), 1u);
    if (runs.size() != 1) {
        return {};
    }
    return {runs[0], opened.store->Requests(runs[0].id).value};
}

TEST_F(IndexNowTest, TheRecordMovesIntoTheHistoryOnceAndTheJsonFileIsLeftAsItIs) {
    std::mutex mutex;
    std::string etag = "\"v1\"";
    server_.Route("/indexnow", Response(200));
    server_.SetHandler([&](const test::RecordedRequest&) {
        std::lock_guard lock(mutex);
        return Response(200, "body", {{"ETag", etag}});
    });
    const std::string page = server_.Url("/page");
    const std::string old =
        R"({"addresses":{")" + page +
        R"(":{"submitted":"2026-01-02T03:04:05Z","etag":"\"v1\"","lastModified":"","sha256":""}}})";
    test::WriteFileBytes(job_.statePath, old);
    job_.historyFile = dir_ / "history.sqlite";
    job_.force = false;

    // Taken in: the page is the same as when the old record saw it accepted.
    IndexNowSummary summary = Submit({page});
    EXPECT_EQ(summary.unchanged, 1u);
    EXPECT_EQ(summary.stateWarning, "");
    // Only once: what the old file says later is not read again.
    test::WriteFileBytes(job_.statePath, R"({"addresses":{}})");
    EXPECT_EQ(Submit({page}).unchanged, 1u);
    {
        std::lock_guard lock(mutex);
        etag = "\"v2\"";
    }
    summary = Submit({page});
    EXPECT_EQ(summary.sent, 1u);
    EXPECT_TRUE(summary.historyError.empty()) << summary.historyError;
    EXPECT_EQ(Submit({page}).unchanged, 1u);
    EXPECT_EQ(test::ReadFileBytes(job_.statePath), R"({"addresses":{}})");

    HistoryStore::Opened opened = HistoryStore::Open(job_.historyFile);
    ASSERT_TRUE(opened.store);
    const std::optional<IndexNowEntry> entry = opened.store->IndexNowEntryOf(page).value;
    ASSERT_TRUE(entry.has_value());
    EXPECT_EQ(entry->etag, "\"v2\"");
    EXPECT_GT(opened.store->LastIndexNowAccepted().value.value_or(0), *ParseUtcTime("2026-01-02T03:04:05Z"));
    // Four runs of its own, one with a request.
    const std::vector<RunRecord> runs = opened.store->Runs().value;
    ASSERT_EQ(runs.size(), 4u);
    std::vector<RequestRecord> requests;
    for (const RunRecord& run : runs) {
        EXPECT_EQ(run.kind, RunKind::IndexNow);
        if (run.counts.requests > 0) {
            EXPECT_EQ(run.counts.accepted, 1);
            requests = opened.store->Requests(run.id).value;
        }
    }
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].address, page);
    EXPECT_EQ(requests[0].channel, "IndexNow");
    EXPECT_EQ(requests[0].end, RequestEnd::Accepted);
    EXPECT_EQ(requests[0].httpStatus, 200);
    EXPECT_FALSE(requests[0].answerFile.empty());
}

TEST_F(IndexNowTest, AHistoryThatCannotBeOpenedLeavesTheJsonRecordInUse) {
    server_.Route("/indexnow", Response(200));
    server_.SetHandler([](const test::RecordedRequest&) { return Response(200, "same body"); });
    test::WriteFileBytes(dir_ / "blocker", "a file where the history's folder would be");
    job_.historyFile = dir_ / "blocker" / "history.sqlite";
    job_.force = false;
    const std::vector<std::string> page = {server_.Url("/page")};
    IndexNowSummary summary = Submit(page);
    EXPECT_EQ(summary.sent, 1u);
    EXPECT_TRUE(summary.stateError.empty()) << summary.stateError;
    EXPECT_NE(summary.stateWarning.find(job_.statePath.string() + " was used instead"), std::string::npos)
        << summary.stateWarning;
    EXPECT_EQ(summary.historyError.rfind("The history could not be written: ", 0), 0u)
        << summary.historyError;
    IndexNowState saved;
    ASSERT_TRUE(saved.Load(job_.statePath).ok());
    EXPECT_NE(saved.Find(page[0]), nullptr);
    EXPECT_EQ(Submit(page).unchanged, 1u);
}

TEST(ChangedPages, OnlyAddressesWhoseLastmodIsLaterThanTheTimeAreChosen) {
    const std::string sitemap = R"(<?xml version="1.0" encoding="UTF-8"?>
<urlset xmlns="http://www.sitemaps.org/schemas/sitemap/0.9">
 <url><loc>https://a.test/old</loc><lastmod>2026-05-01</lastmod></url>
 <url><loc>https://a.test/same-day</loc><lastmod>2026-06-01</lastmod></url>
 <url><loc>https://a.test/new</loc><lastmod> 2026-06-02T09:30:00+02:00 </lastmod></url>
 <url><loc>https://a.test/none</loc></url>
 <url><loc>https://a.test/unreadable</loc><lastmod>yesterday</lastmod></url>
</urlset>)";
    const SitemapRead read = ReadSitemapBytes(sitemap, "sitemap.xml");
    ASSERT_TRUE(read.ok()) << read.outcome.text;
    ASSERT_EQ(read.lastModified.size(), read.addresses.size());
    EXPECT_EQ(read.lastModified[2], "2026-06-02T09:30:00+02:00");

    const std::vector<std::string> all = read.addresses;
    const struct {
        const char* since;
        std::vector<std::string> chosen;
    } cases[] = {
        // A day alone counts as the whole day; no readable lastmod leaves it to the page check.
        {"2026-06-01T12:00:00Z", {all[1], all[2], all[3], all[4]}},
        // 09:30 at +02:00 is 07:30 UTC.
        {"2026-06-02T07:30:00Z", {all[3], all[4]}},
        {"2026-06-02T07:29:59Z", {all[2], all[3], all[4]}},
        {"2026-04-30", all},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(AddressesChangedSince(read, ParseW3cTime(c.since)), c.chosen) << c.since;
    }
    EXPECT_EQ(AddressesChangedSince(read, std::nullopt), all); // nothing accepted yet
}

TEST(ChangedPages, SinceIsADateOrTheLastAcceptedSubmission) {
    test::TempDir dir;
    const std::filesystem::path history = dir / "history.sqlite";
    const std::filesystem::path json = dir / "indexnow-state.json";
    EXPECT_EQ(ResolveChangedSince("2026-06-01", history, json).since, ParseUtcTime("2026-06-01"));
    const ChangedSince bad = ResolveChangedSince("June", history, json);
    EXPECT_TRUE(bad.badText);
    EXPECT_FALSE(bad.error.empty());
    EXPECT_EQ(ResolveChangedSince(kLastRunWord, history, json).since, std::nullopt);
    // The old record counts until it is taken in, as it is by the look-up itself.
    test::WriteFileBytes(json, R"({"addresses":{"https://a.test/":{"submitted":"2026-03-04T05:06:07Z"}}})");
    for (const char* suffix : {"", "-wal", "-shm"}) {
        std::filesystem::remove(std::filesystem::path(history).concat(suffix));
    }
    EXPECT_EQ(ResolveChangedSince(kLastRunWord, history, json).since, ParseUtcTime("2026-03-04T05:06:07Z"));
    {
        HistoryStore::Opened opened = HistoryStore::Open(history);
        ASSERT_TRUE(opened.store);
        const IndexNowEntry later{"https://b.test/", "", "", "", *ParseUtcTime("2026-07-01")};
        ASSERT_TRUE(opened.store->SetIndexNowEntries({&later, 1}).ok());
    }
    EXPECT_EQ(ResolveChangedSince(kLastRunWord, history, json).since, ParseUtcTime("2026-07-01"));
}

TEST(W3cTime, TheSitemapDateFormsReadAndOthersDoNot) {
    const struct {
        const char* text;
        std::optional<const char*> utc;
    } cases[] = {
        {"2026", "2026-01-01"},
        {"2026-06", "2026-06-01"},
        {"2026-06-02", "2026-06-02"},
        {"2026-06-02T09:30Z", "2026-06-02T09:30:00Z"},
        {"2026-06-02T09:30:15.25Z", "2026-06-02T09:30:15Z"},
        {"2026-06-02T00:30:00-01:00", "2026-06-02T01:30:00Z"},
        {"2026-02-30", std::nullopt},
        {"2026-06-02T09:30", std::nullopt}, // a time needs its zone
        {"2026-06-02T25:00Z", std::nullopt},
        {"2026T10:00Z", std::nullopt},
        {"2026-06-02 09:30Z", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ParseW3cTime(c.text), c.utc ? ParseUtcTime(*c.utc) : std::nullopt) << c.text;
    }
}

TEST_F(IndexNowTest, EveryRequestEndsAtItsTimeLimitWhileTheServerTrickles) {
    // The head itself trickles: no answer ever arrives whole.
    test::ScriptedResponse trickle =
        test::RawResponse("HTTP/1.1 200 OK\r\nX-Filler: " + std::string(4000, 'x') + "\r\n\r\n");
    trickle.pieceSize = 4;
    trickle.delayBetweenPieces = std::chrono::milliseconds(200); // fast enough for the stall limit
    server_.SetHandler(test::Always(trickle));
    TransferLimits limits;
    limits.total = std::chrono::seconds(1);
    job_.limits = limits;
    const struct {
        const char* what;
        std::function<std::string()> run; // why it failed, "" when it did not
    } cases[] = {
        {"sitemap fetch",
         [&] {
             SitemapOptions options;
             options.connection = job_.connection;
             options.requests = limits;
             const SitemapRead read = ReadSitemap(server_.Url("/sitemap.xml"), options);
             return read.outcome.end == Outcome::End::Failed ? read.outcome.text : std::string();
         }},
        {"key-file check",
         [&] {
             const KeyFileCheck check = CheckKeyFile(server_.Url("/k.txt"), kKey, job_.connection, limits);
             return check.verdict == KeyFileCheck::Verdict::Served ? std::string() : check.text;
         }},
        {"content check",
         [&] {
             return FetchContentMark(server_.Url("/page"), job_.connection, limits, nullptr)
                        ? std::string()
                        : std::string("no mark");
         }},
        {"submission",
         [&] {
             const IndexNowSummary summary = Submit({"https://site.test/a"});
             return summary.failedRequests == 1 ? recorder_.outcomes.at(0).outcome.text : std::string();
         }},
    };
    for (const auto& c : cases) {
        const auto start = std::chrono::steady_clock::now();
        const std::string failure = c.run();
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10)) << c.what;
        EXPECT_FALSE(failure.empty()) << c.what;
    }
}

// The record of what was accepted: never overwritten when it cannot be read, never silently unsaved.
TEST_F(IndexNowTest, ARecordThatCannotBeReadIsKeptAsideOrReported) {
    const std::filesystem::path state = job_.statePath;
    const std::string intact = R"({"addresses": {"https://a.test/": {"submitted": "2026-01-01T00:00:00Z"}}})";
    const struct {
        const char* what;
        std::function<void()> make;
        bool keptAside; // else an error, and the thing in the way stays as it is
    } cases[] = {
        {"garbage", [&] { test::WriteFileBytes(state, "not json at all"); }, true},
        {"cut short", [&] { test::WriteFileBytes(state, intact.substr(0, intact.size() / 2)); }, true},
        {"brackets alone", [&] { test::WriteFileBytes(state, std::string(1000, '[')); }, true},
        {"over the size bound", [&] { test::WriteFileBytes(state, intact + std::string(2000, ' ')); }, true},
        {"a folder", [&] { std::filesystem::create_directories(state / "inside"); }, false},
    };
    for (const auto& c : cases) {
        std::filesystem::remove_all(dir_.path());
        std::filesystem::create_directories(dir_.path());
        c.make();
        const std::string before =
            std::filesystem::is_regular_file(state) ? test::ReadFileBytes(state) : std::string();
        IndexNowState loaded;
        const StateFileNote note = loaded.Load(state, 2048);
        EXPECT_EQ(note.ok(), c.keptAside) << c.what << ": " << note.error;
        EXPECT_EQ(loaded.Find("https://a.test/"), nullptr) << c.what;
        std::vector<std::filesystem::path> aside;
        for (const auto& entry : std::filesystem::directory_iterator(dir_.path())) {
            if (entry.path().filename().string().starts_with("indexnow-state.json.unreadable-")) {
                aside.push_back(entry.path());
            }
        }
        if (c.keptAside) {
            ASSERT_EQ(aside.size(), 1u) << c.what;
            EXPECT_EQ(test::ReadFileBytes(aside[0]), before) << c.what;
            EXPECT_NE(note.warning.find(aside[0].string()), std::string::npos) << note.warning;
        } else {
            EXPECT_TRUE(aside.empty()) << c.what;
            EXPECT_TRUE(std::filesystem::is_directory(state / "inside")) << c.what;
        }
    }

    // A run with a folder in the way still submits, and says that nothing was recorded.
    server_.Route("/indexnow", Response(200));
    const IndexNowSummary summary = Submit({"https://site.test/a"});
    EXPECT_EQ(summary.sent, 1u);
    EXPECT_NE(summary.stateError.find("is a folder"), std::string::npos) << summary.stateError;
    ASSERT_EQ(recorder_.outcomes.size(), 1u);
    EXPECT_FALSE(recorder_.outcomes[0].outcome.ok());
    EXPECT_NE(recorder_.outcomes[0].outcome.text.find("is a folder"), std::string::npos);

    // A record that would outgrow the bound is not saved over the one there.
    std::filesystem::remove_all(state);
    IndexNowState grown;
    ASSERT_TRUE(grown.Load(state, 200).ok());
    grown.Record(std::string(300, 'a'), {"now", std::nullopt});
    EXPECT_NE(grown.Save(state, 200).error.find("would grow past 200 bytes"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(state));
}

TEST(IndexNowState, TwoRunsSavingAtOnceKeepEveryRecord) {
    test::TempDir dir;
    const std::filesystem::path state = dir / "indexnow-state.json";
    constexpr int kEach = 20;
    auto run = [&state](const std::string& site) {
        IndexNowState mine;
        ASSERT_TRUE(mine.Load(state).ok());
        for (int i = 0; i < kEach; ++i) {
            mine.Record("https://" + site + "/" + std::to_string(i), {"now", std::nullopt});
            ASSERT_TRUE(mine.Save(state).ok());
        }
    };
    std::thread first(run, "one.test");
    std::thread second(run, "two.test");
    first.join();
    second.join();
    IndexNowState both;
    ASSERT_TRUE(both.Load(state).ok());
    for (const char* site : {"one.test", "two.test"}) {
        for (int i = 0; i < kEach; ++i) {
            EXPECT_NE(both.Find("https://" + std::string(site) + "/" + std::to_string(i)), nullptr)
                << site << " " << i;
        }
    }
}

// A run that includes IndexNow reports it after the engines as one more engine.
class RunEvents : public SubmitProgress {
public:
    void RunStarted(std::size_t, int) override {}
    void AddressStarted(std::size_t, std::size_t, const std::string&) override {}
    void EngineStarted(const std::string& name) override { engines.push_back(name); }
    void RequestAnswered(const RequestOutcome& outcome) override { answered.push_back(outcome); }
    void RequestDone() override {}
    void RunEnded() override {}
    void SetStatusText(const std::string&) override {}
    std::vector<std::string> engines;
    std::vector<RequestOutcome> answered;
};

TEST_F(IndexNowTest, ARunIncludingIndexNowSendsItsAddressesThere) {
    server_.Route("/indexnow", Response(422));
    server_.SetHandler([](const test::RecordedRequest&) { return Response(200, "page"); });
    SubmitJob job;
    job.addresses = {server_.Url("/a")};
    job.connection = job_.connection;
    job.programFolder = dir_.path();
    job.engines.emplace(); // no engine of the catalogue
    job.indexNow = job_.settings;
    job.indexNowState = job_.statePath;
    job.historyFile = dir_ / "history.sqlite";
    RunEvents events;
    RunFlags flags;
    RunSubmissionWorker(job, events, flags);
    // The engine run's history holds IndexNow's request, per address.
    const auto [run, requests] = OnlyRun(job.historyFile, RunKind::Engines);
    EXPECT_EQ(run.counts.requests, 1);
    EXPECT_EQ(run.counts.failed, 1);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].address, server_.Url("/a"));
    EXPECT_EQ(requests[0].channel, "IndexNow");
    EXPECT_EQ(requests[0].end, RequestEnd::Failed);
    EXPECT_EQ(requests[0].httpStatus, 422);
    EXPECT_EQ(events.engines, std::vector<std::string>{"IndexNow"});
    ASSERT_EQ(events.answered.size(), 1u);
    EXPECT_EQ(events.answered[0].engineName, "IndexNow");
    EXPECT_EQ(events.answered[0].result,
              "addresses do not belong to the host, or the key does not fit the rules");
    EXPECT_TRUE(events.answered[0].failed);
    // The run writes IndexNow's failure record as it writes an engine's.
    EXPECT_EQ(
        test::ReadFileBytes(FailureLogPath(dir_.path()))
            .rfind("IndexNow: addresses do not belong to the host, or the key does not fit the rules\r\n", 0),
        0u);
    EXPECT_EQ(Posts().size(), 1u);
}

} // namespace
} // namespace sendwell
