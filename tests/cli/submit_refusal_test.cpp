// Every reason the submit flow refuses a run ends the command with exit code 2, whatever the front
// end's pieces said or did on the way.
#include "cli/submit_exit.h"
#include "core/submit/submit_flow.h"

#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace sendwell {
namespace {

// The pieces the flow talks to; a run only counts that it was asked for.
class Parts : public SubmitSource,
              public Prompt,
              public RunSounds,
              public SubmitSettings,
              public SubmissionLauncher,
              public RunReview {
public:
    void TakeFields() override { db.setEmail(email); }
    const UrlDatabase& Database() const override { return db; }
    void MarkAllSubmitted(std::string_view) override {}
    void MarkSubmittedAddresses(const std::vector<std::string>&, std::string_view) override {}
    void ShowMessage(const std::string&, const std::string&, MessageIcon) override {}
    void Play(RunSound) override {}
    RunSettings Current() const override { return {}; }
    bool FirstTimeNoticeDue() const override { return false; }
    void RecordFirstTimeNoticeShown() override {}
    RunTally RunAndWait(const SubmitJob&) override {
        ++runs;
        if (duringRun) {
            duringRun();
        }
        return {};
    }
    void ShowRunInProgress() override {}
    void Open(const std::filesystem::path&) override {}

    UrlDatabase db;
    std::string email = "me@example.test";
    std::function<void()> duringRun;
    int runs = 0;
};

TEST(SubmitRefusal, EachRefusalReasonEndsTheCommandWithExitCodeTwo) {
    struct Case {
        SubmitRefusal reason;
        std::string email;
        std::vector<std::string> rows;
        std::function<SubmitResult(SubmitFlow&)> command;
    };
    const auto all = [](SubmitFlow& flow) { return flow.SubmitAll(); };
    const std::vector<Case> cases = {
        {SubmitRefusal::EmptyEmail, "", {"http://a.test/"}, all},
        {SubmitRefusal::InvalidEmail, "nobody", {"http://a.test/"}, all},
        {SubmitRefusal::NoAddresses, "me@example.test", {}, all},
        {SubmitRefusal::NothingSelected,
         "me@example.test",
         {"http://a.test/"},
         [](SubmitFlow& flow) { return flow.SubmitRows({}); }},
    };
    for (const Case& c : cases) {
        Parts parts;
        parts.email = c.email;
        for (const std::string& row : c.rows) {
            parts.db.AppendUrl(row);
        }
        SubmitFlow flow({parts, parts, parts, parts, parts, parts});
        const SubmitResult result = c.command(flow);
        EXPECT_EQ(result.refused, c.reason) << c.email;
        EXPECT_FALSE(result.ran());
        EXPECT_EQ(parts.runs, 0);
        EXPECT_EQ(cli::SubmitExitCode(result), 2) << c.email;
    }

    // A command that comes while a run is in progress is refused for that reason; the run itself ends
    // as a run does.
    Parts parts;
    parts.db.AppendUrl("http://a.test/");
    SubmitFlow flow({parts, parts, parts, parts, parts, parts});
    std::vector<SubmitResult> during;
    parts.duringRun = [&] {
        during.push_back(flow.SubmitAll());
        during.push_back(flow.SubmitRows({0}));
        during.push_back(flow.SubmitDoubleClickedRows({0}));
    };
    const SubmitResult outer = flow.SubmitAll();
    ASSERT_EQ(during.size(), 3u);
    for (const SubmitResult& refused : during) {
        EXPECT_EQ(refused.refused, SubmitRefusal::RunInProgress);
        EXPECT_EQ(cli::SubmitExitCode(refused), 2);
    }
    EXPECT_TRUE(outer.ran());
    EXPECT_EQ(cli::SubmitExitCode(outer), 0);
    EXPECT_EQ(parts.runs, 1);
}

} // namespace
} // namespace sendwell
