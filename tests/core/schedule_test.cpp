// Scheduled runs: the units made for each way of saying when, read back and (where systemd's own
// checker is installed) verified by it; remove takes exactly its own units away; nothing of the
// user's is replaced. systemctl is kept off PATH so no test touches the user's real timers.
#include "core/base/run_program.h"
#include "core/schedule/schedule.h"
#include "tests/support/temp_dir.h"

#include <cstdlib>
#include <gtest/gtest.h>

namespace sendwell {
namespace {

namespace fs = std::filesystem;

// PATH holds only systemd-analyze (when the machine has it), never systemctl.
class ScheduleTest : public ::testing::Test {
protected:
    void SetUp() override {
        oldPath_ = std::getenv("PATH") != nullptr ? std::getenv("PATH") : "";
        hasAnalyze_ = ProgramOnPath("systemd-analyze");
        fs::create_directories(bin_.path());
        for (const char* folder : {"/usr/bin", "/bin"}) {
            std::error_code ec;
            if (hasAnalyze_ && !fs::exists(bin_ / "systemd-analyze") &&
                fs::exists(fs::path(folder) / "systemd-analyze")) {
                fs::create_symlink(fs::path(folder) / "systemd-analyze", bin_ / "systemd-analyze", ec);
            }
        }
        ::setenv("PATH", bin_.path().c_str(), 1);
    }
    void TearDown() override { ::setenv("PATH", oldPath_.c_str(), 1); }

    // Whether systemd's checker works here at all (it needs a usable manager environment).
    bool CanVerify() {
        if (!hasAnalyze_) {
            return false;
        }
        test::WriteFileBytes(units_ / "probe.service", "[Service]\nType=oneshot\nExecStart=/bin/true\n");
        const bool ok =
            RunProgram({"systemd-analyze", "verify", (units_ / "probe.service").string()}).outcome.ok();
        fs::remove(units_ / "probe.service");
        return ok;
    }

    test::TempDir bin_;
    test::TempDir units_;
    std::string oldPath_;
    bool hasAnalyze_ = false;
};

TEST_F(ScheduleTest, UnitsForEachFormReadBackAndVerify) {
    const bool verify = CanVerify();
    const std::vector<std::string> command = {"indexnow",  "submit",
                                              "--sitemap", "https://a.test/site map.xml",
                                              "--note",    "50% \"done\" $HOME \\x;"};
    for (const char* every : {"daily", "weekly", "Mon *-*-* 03:00:00", "*-*-* 04:30"}) {
        SCOPED_TRACE(every);
        const ScheduledRun run{"nightly", every, command};
        const ScheduleChange change = AddSchedule(run, units_.path(), "/bin/true");
        ASSERT_TRUE(change.outcome.ok()) << change.outcome.text;
        EXPECT_FALSE(change.enabled);
        EXPECT_NE(change.note.find("systemctl --user does not answer"), std::string::npos);

        const std::vector<ScheduledRun> listed = ListSchedules(units_.path());
        ASSERT_EQ(listed.size(), 1u);
        EXPECT_EQ(listed[0].name, "nightly");
        EXPECT_EQ(listed[0].every, every);
        EXPECT_EQ(listed[0].command, command);
        if (verify) {
            const ProgramRun check =
                RunProgram({"systemd-analyze", "verify", (units_ / TimerUnitName("nightly")).string(),
                            (units_ / ServiceUnitName("nightly")).string()});
            EXPECT_TRUE(check.outcome.ok()) << check.output;
        }
    }
}

TEST_F(ScheduleTest, CronLinesForNamedTimesOnly) {
    const ScheduledRun daily{"d", "daily", {"status", "--all"}};
    EXPECT_EQ(CrontabLine(daily, "/usr/bin/sendwell-cli"),
              "0 0 * * * '/usr/bin/sendwell-cli' 'status' '--all'");
    const ScheduledRun percent{"w", "weekly", {"it's 5%"}};
    EXPECT_EQ(CrontabLine(percent, "/p"), "0 0 * * 1 '/p' 'it'\\''s 5\\%'");
    EXPECT_FALSE(CrontabLine({"c", "Mon *-*-* 03:00", {"status"}}, "/p").has_value());
}

TEST_F(ScheduleTest, RefusesWhatCouldNotBeAUnitOfOurs) {
    const ScheduledRun cases[] = {
        {"", "daily", {"status"}},
        {"has space", "daily", {"status"}},
        {"../escape", "daily", {"status"}},
        {"ok", "daily\nExecStartPre=/bin/sh", {"status"}},
        {"ok", "daily", {}},
        {"ok", "daily", {"a\nb"}},
    };
    for (const ScheduledRun& run : cases) {
        SCOPED_TRACE(run.name + "|" + run.every);
        EXPECT_FALSE(AddSchedule(run, units_.path(), "/bin/true").outcome.ok());
    }
    if (hasAnalyze_) {
        EXPECT_FALSE(AddSchedule({"ok", "someday", {"status"}}, units_.path(), "/bin/true").outcome.ok());
    }
    EXPECT_TRUE(fs::is_empty(units_.path()));
}

TEST_F(ScheduleTest, RemoveTakesExactlyItsOwnUnitsAndAddReplacesNoneOfTheUsers) {
    ASSERT_TRUE(AddSchedule({"weekly-audit", "weekly", {"status", "--all"}}, units_.path(), "/bin/true")
                    .outcome.ok());
    ASSERT_TRUE(
        AddSchedule({"other", "daily", {"status", "--all"}}, units_.path(), "/bin/true").outcome.ok());
    test::WriteFileBytes(units_ / "mine.service", "[Service]\nExecStart=/bin/true\n");
    const std::string usersOwn = "[Timer]\nOnCalendar=daily\n";
    test::WriteFileBytes(units_ / TimerUnitName("users"), usersOwn);

    EXPECT_FALSE(AddSchedule({"users", "weekly", {"status"}}, units_.path(), "/bin/true").outcome.ok());
    EXPECT_EQ(test::ReadFileBytes(units_ / TimerUnitName("users")), usersOwn);
    EXPECT_FALSE(RemoveSchedule("users", units_.path()).outcome.ok());
    EXPECT_FALSE(RemoveSchedule("missing", units_.path()).outcome.ok());

    ASSERT_TRUE(RemoveSchedule("weekly-audit", units_.path()).outcome.ok());
    std::vector<std::string> left;
    for (const fs::directory_entry& entry : fs::directory_iterator(units_.path())) {
        left.push_back(entry.path().filename().string());
    }
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"mine.service", "sendwell-other.service",
                                              "sendwell-other.timer", "sendwell-users.timer"}));
    ASSERT_EQ(ListSchedules(units_.path()).size(), 1u);
}

} // namespace
} // namespace sendwell
