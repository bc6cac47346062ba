// The submission worker against the engine simulator: order of requests, progress reports, engine
// flags and cancelling between requests.
#include "core/base/hosts.h"
#include "core/base/paths.h"
#include "core/base/settings.h"
#include "core/history/history_store.h"
#include "core/results/answer_store.h"
#include "core/submit/engine_catalogue.h"
#include "core/submit/submission_run.h"
#include "tests/support/engine_simulator.h"
#include "tests/support/loopback_port.h"
#include "tests/support/temp_dir.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <mutex>
#include <optional>
#include <thread>

namespace sendwell {
namespace {

// Records what the worker reports, as the progress window would receive it.
class RecordingProgress : public SubmitProgress {
public:
    void RunStarted(std::size_t addresses, int engines) override {
        Add("start " + std::to_string(addresses) + "x" + std::to_string(engines));
    }
    void AddressStarted(std::size_t index, std::size_t count, const std::string& address) override {
        Add("address " + std::to_string(index) + "/" + std::to_string(count) + " " + address);
    }
    void EngineStarted(const std::string& name) override { Add("engine " + name); }
    void RunEnded() override { Add("end"); }
    void RequestDone() override {
        std::lock_guard lock(mutex_);
        ++steps_;
    }
    void SetStatusText(const std::string& text) override {
        std::lock_guard lock(mutex_);
        lastStatus_ = text;
        historyNotes_ += text.rfind("The history could not be written: ", 0) == 0 ? 1 : 0;
    }
    int historyNotes() const {
        std::lock_guard lock(mutex_);
        return historyNotes_;
    }
    void RequestAnswered(const RequestOutcome& outcome) override {
        std::lock_guard lock(mutex_);
        outcomes_.push_back(outcome);
    }
    std::vector<RequestOutcome> Outcomes() const {
        std::lock_guard lock(mutex_);
        return outcomes_;
    }

    std::vector<std::string> EventsStartingWith(const std::string& prefix) const {
        std::lock_guard lock(mutex_);
        std::vector<std::string> out;
        for (const auto& e : events_) {
            if (e.rfind(prefix, 0) == 0) {
                out.push_back(e);
            }
        }
        return out;
    }
    std::vector<std::string> Events() const {
        std::lock_guard lock(mutex_);
        return events_;
    }
    int steps() const {
        std::lock_guard lock(mutex_);
        return steps_;
    }

private:
    void Add(std::string e) {
        std::lock_guard lock(mutex_);
        events_.push_back(std::move(e));
    }
    mutable std::mutex mutex_;
    std::vector<std::string> events_;
    std::string lastStatus_;
    std::vector<RequestOutcome> outcomes_;
    int steps_ = 0;
    int historyNotes_ = 0;
};

class SubmissionRunTest : public ::testing::Test {
protected:
    void SetUp() override { engines_.PointEnginesHere(); }

    SubmitJob Job(std::vector<std::string> addresses) {
        SubmitJob job;
        job.addresses = std::move(addresses);
        job.email = "me@example.test";
        job.programFolder = dir_.path();
        job.timeouts.connect = std::chrono::milliseconds(2000);
        job.timeouts.send = job.timeouts.receive = job.timeouts.dataReceive = std::chrono::milliseconds(2000);
        job.timeouts.connectBackoff = std::chrono::milliseconds(10);
        return job;
    }

    test::TempDir dir_;
    test::ScopedXdgHome home_{dir_ / "home"};
    test::EngineSimulator engines_;
};

TEST_F(SubmissionRunTest, EveryAddressGoesToEveryEngineInCatalogueOrder) {
    RecordingProgress progress;
    RunFlags flags;
    RunSubmissionWorker(Job({"http://one.test/", "http://two.test/", "http://three.test/"}), progress, flags);

    std::vector<int> expected;
    for (int row = 0; row < 3; ++row) {
        for (int e = 1; e <= kEngineCount; ++e) {
            expected.push_back(e);
        }
    }
    EXPECT_EQ(engines_.EnginesRequested(), expected);
    std::vector<test::EngineRequestRecord> requests = engines_.Requests();
    ASSERT_EQ(requests.size(), 78u);
    EXPECT_NE(requests[0].target.find("one.test"), std::string::npos);
    EXPECT_NE(requests[26].target.find("two.test"), std::string::npos);
    // The last engine posts a form: the address travels in the body.
    EXPECT_NE(requests[77].body.find("three.test"), std::string::npos);

    EXPECT_EQ(progress.EventsStartingWith("address "),
              (std::vector<std::string>{"address 1/3 http://one.test/", "address 2/3 http://two.test/",
                                        "address 3/3 http://three.test/"}));
    EXPECT_EQ(progress.steps(), 78);
    std::vector<std::string> events = progress.Events();
    ASSERT_GE(events.size(), 2u);
    EXPECT_EQ(events.front(), "start 3x26");
    EXPECT_EQ(events.back(), "end");
    EXPECT_TRUE(flags.stop.load());
    EXPECT_TRUE(flags.finished.load());
    EXPECT_EQ(ListStoredAnswers(dir_.path()).size(), 78u);
}

TEST_F(SubmissionRunTest, DisabledEnginesAreSkippedButStillStepTheBars) {
    for (const EngineEntry& engine : EngineCatalogue()) {
        WriteSetting(kSettingsSection, engine.flagName, engine.position == 2 ? "1" : "0");
    }
    RecordingProgress progress;
    RunFlags flags;
    RunSubmissionWorker(Job({"http://one.test/", "http://two.test/"}), progress, flags);

    EXPECT_EQ(engines_.EnginesRequested(), (std::vector<int>{2, 2}));
    EXPECT_EQ(progress.steps(), 52);
    EXPECT_EQ(progress.EventsStartingWith("engine "),
              (std::vector<std::string>{"engine Google", "engine Google"}));
}

TEST_F(SubmissionRunTest, AJobsOwnEngineChoiceReplacesTheFlags) {
    WriteSetting(kSettingsSection, EngineAt(5).flagName, "0");
    SubmitJob job = Job({"http://one.test/"});
    job.engines.emplace();
    job.engines->set(4).set(25); // engines 5 and 26
    RecordingProgress progress;
    RunFlags flags;
    RunSubmissionWorker(job, progress, flags);
    EXPECT_EQ(engines_.EnginesRequested(), (std::vector<int>{5, 26}));
    EXPECT_EQ(progress.steps(), 26);
}

// Another run (or IndexNow) writing the failure log while a request is in progress says nothing about
// that request: a plain request and a form post that succeed stay successful.
TEST_F(SubmissionRunTest, ARequestThatSucceedsWhileAnotherThreadLogsAFailureIsNotMarkedFailed) {
    for (int position : {1, 26}) {
        SCOPED_TRACE(position);
        SubmitJob job = Job({"http://one.test/"});
        job.engines.emplace();
        job.engines->set(static_cast<std::size_t>(position - 1));
        engines_.HoldAnswers(position);
        RecordingProgress progress;
        RunFlags flags;
        RunTally tally;
        const std::size_t before = engines_.RequestCount();
        std::thread worker([&] { tally = RunSubmissionWorker(job, progress, flags); });
        const bool asked = engines_.server().WaitForRequests(before + 1);
        AppendFailureRecord(dir_.path(), {"another run's failure", "The URL was http://elsewhere.test/"});
        engines_.ReleaseHeldAnswers();
        worker.join();
        ASSERT_TRUE(asked);

        std::vector<RequestOutcome> outcomes = progress.Outcomes();
        ASSERT_EQ(outcomes.size(), 1u);
        EXPECT_FALSE(outcomes[0].failed);
        EXPECT_EQ(tally.requests, 1u);
        EXPECT_EQ(tally.failed, 0u);
        EXPECT_FALSE(tally.cancelled);
    }
}

TEST_F(SubmissionRunTest, EmptyListStartsAndEndsTheRunWithoutRequests) {
    RecordingProgress progress;
    RunFlags flags;
    RunSubmissionWorker(Job({}), progress, flags);
    EXPECT_EQ(engines_.RequestCount(), 0u);
    EXPECT_EQ(progress.Events(), (std::vector<std::string>{"start 0x26", "end"}));
    EXPECT_TRUE(flags.finished.load());
}

TEST_F(SubmissionRunTest, AHistoryThatCannotBeWrittenNeitherStopsNorFailsTheRun) {
    test::WriteFileBytes(dir_ / "blocker", "a file where the history's folder would be");
    RecordingProgress progress;
    RunFlags flags;
    SubmitJob job = Job({"http://one.test/", "http://two.test/"});
    job.engines.emplace().set(0); // engine 1 alone
    job.historyFile = dir_ / "blocker" / "history.sqlite";
    const RunTally tally = RunSubmissionWorker(job, progress, flags);
    EXPECT_EQ(tally.requests, 2u);
    EXPECT_EQ(tally.failed, 0u);
    EXPECT_EQ(tally.historyError.rfind("The history could not be written: ", 0), 0u) << tally.historyError;
    EXPECT_EQ(progress.historyNotes(), 1);
    EXPECT_EQ(engines_.RequestCount(), 2u);
}

TEST_F(SubmissionRunTest, CancelLetsTheCurrentRequestFinishAndSendsNothingMore) {
    engines_.AnswerSlowly(5, std::chrono::milliseconds(300));
    RecordingProgress progress;
    RunFlags flags;
    SubmitJob job = Job({"http://one.test/", "http://two.test/"});
    std::thread worker([&] { RunSubmissionWorker(job, progress, flags); });

    ASSERT_TRUE(engines_.server().WaitForRequests(5));
    flags.stop.store(true); // the user presses Cancel while engine 5 is answering
    worker.join();

    EXPECT_EQ(engines_.EnginesRequested(), (std::vector<int>{1, 2, 3, 4, 5}));
    EXPECT_TRUE(engines_.server().WaitForCompleted(5));
    EXPECT_EQ(progress.steps(), 4);
    EXPECT_TRUE(flags.finished.load());
    // The answer of the request in progress when Cancel came is kept.
    EXPECT_EQ(ListStoredAnswers(dir_.path()).size(), 5u);
}

TEST_F(SubmissionRunTest, FailingEnginesAreLoggedAndTheOthersAnswersKept) {
    WriteSetting(kSettingsSection, HostSettingName(EngineHostKey(2)),
                 "127.0.0.1:" + std::to_string(test::ClosedLoopbackPort())); // nobody listens
    engines_.AnswerDroppingMidBody(3);
    engines_.AnswerGarbage(4);
    engines_.AnswerSlowly(6, std::chrono::milliseconds(3000)); // beyond the shortened time-outs
    engines_.AnswerGarbage(10);                                // a form post: its result text is empty
    RecordingProgress progress;
    RunFlags flags;
    SubmitJob job = Job({"http://one.test/"});
    job.timeouts.receive = job.timeouts.dataReceive = job.timeouts.send = std::chrono::milliseconds(1000);
    const RunTally tally = RunSubmissionWorker(job, progress, flags);
    EXPECT_EQ(tally.requests, 26u);
    EXPECT_EQ(tally.failed, 5u);

    // Every engine but the unreachable one was asked, and the run went on after each failure.
    EXPECT_EQ(engines_.RequestCount(), 25u);
    EXPECT_TRUE(flags.finished.load());
    // Each request reports its outcome, the form post's failure included.
    std::vector<int> failed;
    std::vector<RequestOutcome> outcomes = progress.Outcomes();
    ASSERT_EQ(outcomes.size(), 26u);
    for (const RequestOutcome& outcome : outcomes) {
        if (outcome.failed) {
            failed.push_back(outcome.engine);
        }
        EXPECT_EQ(outcome.address, "http://one.test/");
        EXPECT_EQ(outcome.engineName, EngineAt(outcome.engine).displayName);
        EXPECT_NE(outcome.answerFile.find(std::string(EngineAt(outcome.engine).storeName).substr(0, 4)),
                  std::string::npos);
    }
    EXPECT_EQ(failed, (std::vector<int>{2, 3, 4, 6, 10}));
    std::string log = test::ReadFileBytes(dir_ / "msg_dump.txt");
    for (int failing : {2, 3, 4, 6}) {
        std::string path = test::EngineSimulator::EnginePath(failing);
        EXPECT_NE(log.find("The URL was http://127.0.0.1:"), std::string::npos);
        EXPECT_NE(log.find(path + "?"), std::string::npos) << "no record for engine " << failing;
    }
    // Every engine that answered properly left its whole answer.
    std::size_t complete = 0;
    for (const StoredAnswer& answer : ListStoredAnswers(dir_.path())) {
        if (test::ReadFileBytes(answer.path).find("Thank you for submitting") != std::string::npos) {
            ++complete;
        }
    }
    EXPECT_EQ(complete, 21u);

    // The history holds the run, and each request as the progress heard it.
    HistoryStore::Opened opened = HistoryStore::Open(DefaultHistoryPath());
    ASSERT_TRUE(opened.store) << opened.outcome.text;
    const std::vector<RunRecord> runs = opened.store->Runs().value;
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].kind, RunKind::Engines);
    EXPECT_TRUE(runs[0].ended.has_value());
    EXPECT_FALSE(runs[0].cancelled);
    EXPECT_EQ(runs[0].counts.requests, 26);
    EXPECT_EQ(runs[0].counts.accepted, 21);
    EXPECT_EQ(runs[0].counts.failed, 5);
    const std::vector<RequestRecord> requests = opened.store->Requests(runs[0].id).value;
    ASSERT_EQ(requests.size(), outcomes.size());
    for (std::size_t i = 0; i < requests.size(); ++i) {
        EXPECT_EQ(requests[i].address, "http://one.test/");
        EXPECT_EQ(requests[i].channel, outcomes[i].engineName);
        EXPECT_EQ(requests[i].answerFile, outcomes[i].answerFile);
        EXPECT_EQ(requests[i].end, outcomes[i].failed ? RequestEnd::Failed : RequestEnd::Accepted);
    }
    EXPECT_EQ(requests[0].httpStatus, 200); // engine 1 answered whole
    EXPECT_EQ(requests[1].httpStatus, 0);   // nobody listens for engine 2
}

test::ScriptedResponse Drip() {
    test::ScriptedResponse drip = test::Response(200, std::string(1000, 'd'));
    drip.pieceSize = 1;
    drip.delayBetweenPieces = std::chrono::milliseconds(800);
    return drip;
}

TEST_F(SubmissionRunTest, CancelEndsADrippingRequestAfterTheGraceAndLogsIt) {
    engines_.AnswerWith(1, Drip());
    RecordingProgress progress;
    RunFlags flags;
    SubmitJob job = Job({"http://one.test/"});
    job.timeouts.cancelGrace = std::chrono::milliseconds(100);
    std::thread worker([&] { RunSubmissionWorker(job, progress, flags); });
    ASSERT_TRUE(engines_.server().WaitForRequests(1));
    flags.stop.store(true);
    worker.join();

    std::vector<RequestOutcome> outcomes = progress.Outcomes();
    ASSERT_EQ(outcomes.size(), 1u);
    EXPECT_EQ(outcomes[0].result, kCancelledText);
    EXPECT_TRUE(outcomes[0].failed);
    EXPECT_EQ(test::ReadFileBytes(dir_ / "msg_dump.txt").substr(0, kCancelledText.size()), kCancelledText);
}

// One hostile engine per row while every other engine answers normally: the run ends within its
// bounds, the hostile request is logged with a text that says what went wrong (or, for odd bytes, its
// answer is kept byte for byte), no stored answer grows past the cap, and every other answer is whole.
TEST_F(SubmissionRunTest, EachHostileEngineIsBoundedAndLoggedWhileTheOthersAnswerWhole) {
    constexpr std::uint64_t kCap = 8192;
    const std::string oddBytes("nul\0and\xff\xfe bytes", 15);
    test::ScriptedResponse stall = test::Response(200, "never");
    stall.delayBeforeBody = std::chrono::minutes(5);
    test::ScriptedResponse drip = test::Response(200, std::string(1000, 'd'));
    drip.pieceSize = 1;
    drip.delayBetweenPieces = std::chrono::milliseconds(100); // fast enough for any stall limit
    test::ScriptedResponse reset = test::Response(200, std::string(4000, 'r'));
    reset.dropAfterBodyBytes = 1000;
    reset.resetOnDrop = true;
    test::ScriptedResponse hugeHead = test::Response(200, "body");
    hugeHead.fillerHeadBytes = 100u << 20;
    struct Row {
        const char* name;
        int engine;                                   // plain requests and form posts take turns
        std::optional<test::ScriptedResponse> answer; // none: nobody listens at the engine's port
        std::string logged;                           // "": no failure, the answer is stored as sent
        // Each row's bounds leave room for nothing but its own fault to end a request, so that a slow
        // machine cannot change which limit speaks.
        std::chrono::milliseconds stall{10000};
        std::chrono::milliseconds total{30000};
    };
    using std::chrono::milliseconds;
    const Row rows[] = {
        {"refused", 2, std::nullopt, "Failed to connect"},
        {"reset mid-body", 10, reset, "Connection reset by peer"},
        {"stall", 3, stall, "Operation too slow", milliseconds(1000)},
        {"drip", 11, drip, "Operation timed out", milliseconds(10000), milliseconds(1500)},
        {"20 MB body", 4, test::Response(200, std::string(20u << 20, 'h')), AnswerCutText(kCap)},
        {"garbage status line", 26, test::RawResponse("HTTP/1.1 two hundred\r\n\r\n"),
         "Unsupported HTTP version in response"},
        {"redirect loop", 5, test::Redirect(302, test::EngineSimulator::EnginePath(5)),
         "Maximum (5) redirects followed"},
        {"100 MB of headers", 15, hugeHead, std::string(kHeadTooLargeText)},
        {"NUL and invalid UTF-8, plain", 6, test::Response(200, oddBytes), ""},
        {"NUL and invalid UTF-8, form", 24, test::Response(200, oddBytes), ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        test::TempDir folder;
        test::ScopedXdgHome home(folder / "home");
        test::EngineSimulator engines;
        engines.PointEnginesHere();
        if (row.answer) {
            engines.AnswerWith(row.engine, *row.answer);
        } else {
            WriteSetting(kSettingsSection, HostSettingName(EngineHostKey(row.engine)),
                         "127.0.0.1:" + std::to_string(test::ClosedLoopbackPort()));
        }
        RecordingProgress progress;
        RunFlags flags;
        SubmitJob job = Job({"http://one.test/"});
        job.programFolder = folder.path();
        job.timeouts.receive = job.timeouts.dataReceive = job.timeouts.send = row.stall;
        job.timeouts.total = row.total;
        job.timeouts.maxAnswerBytes = kCap;
        RunSubmissionWorker(job, progress, flags);

        EXPECT_TRUE(flags.finished.load());
        std::vector<RequestOutcome> outcomes = progress.Outcomes();
        ASSERT_EQ(outcomes.size(), static_cast<std::size_t>(kEngineCount));
        const bool formPost = EngineAt(row.engine).method == SubmitMethod::FormPost;
        for (const RequestOutcome& outcome : outcomes) {
            std::string stored = test::ReadFileBytes(outcome.answerFile);
            EXPECT_LE(stored.size(), kCap + 2) << outcome.engine;
            if (outcome.engine != row.engine) {
                EXPECT_FALSE(outcome.failed) << outcome.engine;
                EXPECT_NE(stored.find("Thank you for submitting to " +
                                      std::string(EngineAt(outcome.engine).displayName) + "."),
                          std::string::npos)
                    << outcome.engine;
            } else if (row.logged.empty()) {
                EXPECT_FALSE(outcome.failed);
                EXPECT_EQ(stored, formPost ? oddBytes + "\r\n" : oddBytes);
            } else {
                EXPECT_TRUE(outcome.failed);
            }
        }
        std::string log = test::ReadFileBytes(folder / "msg_dump.txt");
        if (row.logged.empty()) {
            EXPECT_EQ(log, "");
        } else {
            EXPECT_NE(log.find(test::EngineSimulator::EnginePath(row.engine)), std::string::npos) << log;
            EXPECT_NE(log.find(row.logged), std::string::npos) << log;
        }
    }
}

} // namespace
} // namespace sendwell
