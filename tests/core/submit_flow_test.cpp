// The submit flow with every window replaced by a recorder: the order of checks, sounds, tip, run,
// review and marking, the refusal of a second run, and a worker that fails.
#include "core/submit/submit_commands.h"
#include "core/submit/submit_flow.h"

#include <algorithm>
#include <functional>
#include <gtest/gtest.h>
#include <stdexcept>
#include <string>
#include <vector>

namespace sendwell {
namespace {

// Every piece the flow talks to, logging each call in one sequence.
class Recorder : public SubmitSource,
                 public Prompt,
                 public RunSounds,
                 public SubmitSettings,
                 public SubmissionLauncher,
                 public RunReview {
public:
    void TakeFields() override {
        log.push_back("fields");
        db.setEmail(typedEmail);
    }
    const UrlDatabase& Database() const override { return db; }
    void MarkAllSubmitted(std::string_view) override { log.push_back("mark all"); }
    void MarkSubmittedAddresses(const std::vector<std::string>& addresses, std::string_view) override {
        std::string entry = "mark";
        for (const std::string& a : addresses) {
            entry += " " + a;
        }
        log.push_back(entry);
    }
    void ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon) override {
        log.push_back("message " + caption + ": " + text);
        lastIcon = icon;
    }
    void Play(RunSound sound) override {
        log.push_back(sound == RunSound::Started ? "sound start" : "sound end");
    }
    RunSettings Current() const override { return settings; }
    bool FirstTimeNoticeDue() const override { return tipDue; }
    void RecordFirstTimeNoticeShown() override { tipDue = false; }
    RunTally RunAndWait(const SubmitJob& job) override {
        std::string entry = "run " + job.email;
        for (const std::string& a : job.addresses) {
            entry += " " + a;
        }
        log.push_back(entry);
        lastJob = job;
        if (duringRun) {
            duringRun();
        }
        return tally;
    }
    void ShowRunInProgress() override { log.push_back("bring forward"); }
    void Open(const std::filesystem::path& folder) override { log.push_back("review " + folder.string()); }

    UrlDatabase db;
    std::string typedEmail = "me@example.test";
    RunSettings settings;
    bool tipDue = false;
    std::function<void()> duringRun;
    std::vector<std::string> log;
    SubmitJob lastJob;
    RunTally tally;
    MessageIcon lastIcon = MessageIcon::None;
};

class SubmitFlowTest : public ::testing::Test {
protected:
    SubmitFlowTest() {
        for (const char* url : {"http://one.test/", "http://two.test/", "http://three.test/"}) {
            r.db.AppendUrl(url);
        }
        r.settings.programFolder = "/prog";
        r.settings.connection.useProxy = true;
        r.settings.connection.proxyName = "127.0.0.1:3128";
        r.settings.connection.bufSize = 4096;
    }

    Recorder r;
    SubmitFlow flow{{r, r, r, r, r, r}};
    const std::string tip = std::string("message ") + kFirewallTipCaption + ": " + kFirewallTipText;
};

TEST_F(SubmitFlowTest, SubmitAllRunsEveryRowThenReviewsAndMarksAll) {
    r.tipDue = true;
    flow.SubmitAll();
    EXPECT_EQ(r.log, (std::vector<std::string>{
                         "fields", "sound start", tip,
                         "run me@example.test http://one.test/ http://two.test/ http://three.test/",
                         "sound end", "review /prog", "mark all"}));
    EXPECT_TRUE(r.lastJob.connection.useProxy);
    EXPECT_EQ(r.lastJob.connection.proxyName, "127.0.0.1:3128");
    EXPECT_EQ(r.lastJob.connection.bufSize, 4096);
    EXPECT_EQ(r.lastJob.programFolder, std::filesystem::path("/prog"));

    // The tip comes once only.
    r.log.clear();
    flow.SubmitAll();
    EXPECT_EQ(r.log.size(), 6u);
    EXPECT_FALSE(flow.RunInProgress());
}

TEST_F(SubmitFlowTest, SubmitAllStopsAtTheFirstFailedCheck) {
    struct Case {
        std::string email;
        bool emptyList;
        std::vector<std::string> log;
    };
    const std::string app = std::string("message ") + kAppCaption + ": ";
    const std::vector<Case> cases = {
        {"", false, {"fields", app + kEmptyEmailText}},
        {"nobody", false, {"fields", app + InvalidEmailText()}},
        // The start sound comes before the empty-list check; a lone "@" passes the e-mail checks.
        {"@", true, {"fields", "sound start", std::string("message ") + kNoUrlsCaption + ": " + kNoUrlsText}},
    };
    for (const Case& c : cases) {
        Recorder fresh;
        fresh.typedEmail = c.email;
        if (!c.emptyList) {
            fresh.db.AppendUrl("http://one.test/");
        }
        SubmitFlow checked({fresh, fresh, fresh, fresh, fresh, fresh});
        checked.SubmitAll();
        EXPECT_EQ(fresh.log, c.log) << "e-mail \"" << c.email << "\"";
    }
}

TEST_F(SubmitFlowTest, SelectedRowsGoInRowOrderAndOnlyTheButtonShowsTheTip) {
    r.tipDue = true;
    r.typedEmail = "";
    flow.SubmitDoubleClickedRows({2, 0});
    EXPECT_EQ(r.log, (std::vector<std::string>{"sound start", "fields",
                                               "run  http://one.test/ http://three.test/", "sound end",
                                               "review /prog", "mark http://one.test/ http://three.test/"}));

    r.log.clear();
    flow.SubmitRows({1});
    EXPECT_EQ(r.log.front(), tip);
    EXPECT_EQ(r.log.back(), "mark http://two.test/");

    // Nothing selected: the button still shows a due tip, then nothing happens; a double-click does nothing.
    r.log.clear();
    r.tipDue = true;
    flow.SubmitRows({});
    flow.SubmitDoubleClickedRows({});
    EXPECT_EQ(r.log, std::vector<std::string>{tip});
}

TEST_F(SubmitFlowTest, ACommandDuringARunOnlyBringsTheRunForward) {
    bool runningInside = false;
    r.duringRun = [&] {
        runningInside = flow.RunInProgress();
        flow.SubmitAll();
        flow.SubmitRows({0});
        flow.SubmitDoubleClickedRows({0});
    };
    flow.SubmitAll();
    EXPECT_TRUE(runningInside);
    EXPECT_EQ(std::count(r.log.begin(), r.log.end(), "bring forward"), 3);
    EXPECT_EQ(std::count_if(r.log.begin(), r.log.end(),
                            [](const std::string& e) { return e.rfind("run", 0) == 0; }),
              1);
    EXPECT_FALSE(flow.RunInProgress());
}

TEST_F(SubmitFlowTest, AFailedWorkerEndsLikeAnyRunWithTheFailureShown) {
    r.duringRun = [] { throw std::runtime_error("No space left on device"); };
    flow.SubmitRows({0});
    ASSERT_EQ(r.log.size(), 7u);
    EXPECT_EQ(r.log[3], "sound end");
    EXPECT_EQ(std::vector<std::string>(r.log.begin() + 4, r.log.end()),
              (std::vector<std::string>{std::string("message ") + kAppCaption + ": " +
                                            RunFailedText("No space left on device"),
                                        "review /prog", "mark http://one.test/"}));
    EXPECT_EQ(r.lastIcon, MessageIcon::Error);
    EXPECT_FALSE(flow.RunInProgress());
}

TEST_F(SubmitFlowTest, AHistoryThatCouldNotBeWrittenIsSaidOnceAndTheRunEndsAsUsual) {
    r.tally.requests = 26;
    r.tally.historyError = "The history could not be written: disk full";
    const SubmitResult result = flow.SubmitRows({0});
    EXPECT_EQ(result.run.requests, 26u);
    EXPECT_TRUE(result.error.empty());
    EXPECT_EQ(std::vector<std::string>(r.log.begin() + 4, r.log.end()),
              (std::vector<std::string>{std::string("message ") + kAppCaption + ": " + r.tally.historyError,
                                        "review /prog", "mark http://one.test/"}));
    EXPECT_EQ(r.lastIcon, MessageIcon::Warning);
}

} // namespace
} // namespace sendwell
