// The submission worker against the engine simulator: order of requests, progress reports, engine
// flags and cancelling between requests.
#include "core/base/hosts.h"
#include "core/base/settings.h"
#include "core/results/answer_store.h"
#include "core/submit/engine_catalogue.h"
#include "core/submit/submission_run.h"
#include "tests/support/engine_simulator.h"
#include "tests/support/loopback_port.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>
#include <mutex>
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

TEST_F(SubmissionRunTest, EmptyListStartsAndEndsTheRunWithoutRequests) {
    RecordingProgress progress;
    RunFlags flags;
    RunSubmissionWorker(Job({}), progress, flags);
    EXPECT_EQ(engines_.RequestCount(), 0u);
    EXPECT_EQ(progress.Events(), (std::vector<std::string>{"start 0x26", "end"}));
    EXPECT_TRUE(flags.finished.load());
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
    RunSubmissionWorker(job, progress, flags);

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

// Hostile answers, one engine each, in one run: each ends within the run's bounds and is logged, what
// it left on disk stays under the answer cap, and every other engine's answer arrives whole.
TEST_F(SubmissionRunTest, HostileAnswersEndWithinTheirBoundsAndSpareTheOtherEngines) {
    test::ScriptedResponse stall = test::Response(200, "never");
    stall.delayBeforeBody = std::chrono::minutes(5);
    std::string headers = "HTTP/1.1 200 OK\r\n";
    while (headers.size() < (4u << 20)) {
        headers += "X-Filler: " + std::string(100, 'f') + "\r\n";
    }
    headers += "\r\nbody";
    const std::string huge(20u << 20, 'h');
    WriteSetting(kSettingsSection, HostSettingName(EngineHostKey(2)),
                 "127.0.0.1:" + std::to_string(test::ClosedLoopbackPort())); // refused
    const std::vector<std::pair<int, test::ScriptedResponse>> hostile = {
        {4, stall},
        {5, Drip()},
        {6, test::Response(200, huge)},
        {8, test::RawResponse("HTTP/1.1 two hundred\r\n\r\n")},
        {10, test::Response(200, huge)}, // form posts
        {11, Drip()},
        {12, test::RawResponse(headers)},
    };
    for (const auto& [engine, answer] : hostile) {
        engines_.AnswerWith(engine, answer);
    }
    engines_.AnswerDroppingMidBody(3);
    engines_.AnswerGarbage(9);
    const std::string oddBytes("nul\0and\xff\xfe bytes", 15);
    engines_.AnswerWith(13, test::Response(200, oddBytes));
    RecordingProgress progress;
    RunFlags flags;
    SubmitJob job = Job({"http://one.test/"});
    job.timeouts.total = std::chrono::milliseconds(2000);
    job.timeouts.maxAnswerBytes = 8192;
    RunSubmissionWorker(job, progress, flags);

    std::vector<int> failed;
    for (const RequestOutcome& outcome : progress.Outcomes()) {
        if (outcome.failed) {
            failed.push_back(outcome.engine);
        }
    }
    EXPECT_EQ(failed, (std::vector<int>{2, 3, 4, 5, 6, 8, 9, 10, 11, 12}));
    std::string log = test::ReadFileBytes(dir_ / "msg_dump.txt");
    for (int engine : failed) {
        EXPECT_NE(log.find(test::EngineSimulator::EnginePath(engine)), std::string::npos) << engine;
    }
    EXPECT_NE(log.find(AnswerCutText(8192)), std::string::npos);
    EXPECT_NE(log.find(kHeadTooLargeText), std::string::npos);
    std::size_t complete = 0;
    std::size_t oddBytesKept = 0;
    for (const StoredAnswer& answer : ListStoredAnswers(dir_.path())) {
        std::string text = test::ReadFileBytes(answer.path);
        EXPECT_LE(text.size(), 8192u + 2u) << answer.path;
        complete += text.find("Thank you for submitting") != std::string::npos ? 1 : 0;
        oddBytesKept += text == oddBytes ? 1 : 0;
    }
    EXPECT_EQ(complete, 15u);
    EXPECT_EQ(oddBytesKept, 1u);
}

} // namespace
} // namespace sendwell
