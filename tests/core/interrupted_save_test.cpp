// Saves cut short by a killed process: the file stays whole, and the next save sweeps up what the dead
// writer left behind without touching anything else.
#include "core/base/atomic_file.h"
#include "core/urldb/database_file.h"
#include "tests/support/temp_dir.h"

#include <chrono>
#include <csignal>
#include <gtest/gtest.h>
#include <iostream>
#include <random>
#include <set>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace sendwell {
namespace {

namespace fs = std::filesystem;
using test::ReadFileBytes;
using test::WriteFileBytes;

std::set<std::string> Names(const fs::path& dir) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

pid_t DeadPid() {
    const pid_t child = ::fork();
    if (child == 0) {
        ::_exit(0);
    }
    ::waitpid(child, nullptr, 0);
    return child;
}

TEST(InterruptedSave, OnlyStaleTempFilesOfTheSameFileAreRemoved) {
    test::TempDir dir;
    const std::string dead = std::to_string(DeadPid());
    const std::string live = std::to_string(::getppid());
    const std::string self = std::to_string(::getpid());
    struct Case {
        std::string name;
        bool removed;
    };
    const std::vector<Case> cases = {
        {"data.dat.tmp-" + dead + "-0", true},
        {"data.dat.tmp-" + dead + "-17", true},
        {"data.dat.tmp-" + live + "-3", false},
        {"data.dat.tmp-" + self + "-4", false},
        {"data.dat.tmp-" + live + "-5.old", false}, // made old below, but not our naming
        {"data.dat.tmp-" + dead, false},
        {"data.dat.tmp-" + dead + "-", false},
        {"data.dat.tmp-x" + dead + "-1", false},
        {"data.dat.tmp--1", false},
        {"data.dat.bak-" + dead + "-1", false},
        {"other.dat.tmp-" + dead + "-1", false},
        {"xdata.dat.tmp-" + dead + "-1", false},
    };
    for (const Case& c : cases) {
        WriteFileBytes(dir / c.name, "x");
    }
    // Older than a day: stale whoever holds the pid now.
    const std::string oldLive = "data.dat.tmp-" + live + "-9";
    WriteFileBytes(dir / oldLive, "x");
    for (const std::string& name : {oldLive, "data.dat.tmp-" + live + "-5.old"}) {
        fs::last_write_time(dir / name, fs::file_time_type::clock::now() - std::chrono::hours(49));
    }
    // Our naming on something that is not a regular file: never ours.
    fs::create_directory(dir / ("data.dat.tmp-" + dead + "-2"));
    fs::create_symlink(dir / "data.dat", dir / ("data.dat.tmp-" + dead + "-6"));

    ASSERT_TRUE(ReplaceFileAtomically(dir / "data.dat", "new"));

    const std::set<std::string> left = Names(dir.path());
    for (const Case& c : cases) {
        EXPECT_EQ(left.count(c.name), c.removed ? 0U : 1U) << c.name;
    }
    EXPECT_EQ(left.count(oldLive), 0U);
    EXPECT_EQ(left.count("data.dat.tmp-" + dead + "-2"), 1U);
    EXPECT_EQ(left.count("data.dat.tmp-" + dead + "-6"), 1U);
    EXPECT_EQ(ReadFileBytes(dir / "data.dat"), "new");
}

UrlDatabase Database(char tag, std::size_t rows) {
    UrlDatabase db;
    for (std::size_t i = 0; i < rows; ++i) {
        db.AppendUrl("http://" + std::string(1, tag) + std::to_string(i) + ".example/some/page");
    }
    db.setEmail(std::string(1, tag) + "@example.org");
    return db;
}

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr int kKills = 6; // a sanitizer makes every save many times slower; the plain build kills often
#else
constexpr int kKills = 30;
#endif

// A child saves two large databases in turn until it is killed at a random moment: whatever the
// moment, the file holds one of them whole, and the parent's next save leaves no temporary file.
TEST(InterruptedSave, KilledSaverLeavesTheOldOrTheNewFileAndTheNextSaveSweepsUp) {
    test::TempDir dir;
    const fs::path file = dir / "linkroll2.dat";
    const UrlDatabase first = Database('a', 100000);
    const UrlDatabase second = Database('b', 100000);
    ASSERT_TRUE(SaveDatabase(second, file));
    const std::string secondBytes = ReadFileBytes(file);
    ASSERT_TRUE(SaveDatabase(first, file));
    const std::string firstBytes = ReadFileBytes(file);

    std::mt19937 random(std::random_device{}());
    int tempFilesLeft = 0;
    for (int kill = 0; kill < kKills; ++kill) {
        int ready[2];
        ASSERT_EQ(::pipe(ready), 0);
        const pid_t parent = ::getpid();
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGKILL); // never outlives a test that was stopped
            if (::getppid() != parent) {
                ::_exit(1);
            }
            ::close(ready[0]);
            // Times one save once the pages copied after the fork are paid for, and hands it over.
            SaveDatabase(second, file);
            const auto started = std::chrono::steady_clock::now();
            SaveDatabase(first, file);
            const long long micros = std::chrono::duration_cast<std::chrono::microseconds>(
                                         std::chrono::steady_clock::now() - started)
                                         .count();
            (void)!::write(ready[1], &micros, sizeof micros);
            for (;;) {
                SaveDatabase(second, file);
                SaveDatabase(first, file);
            }
        }
        ::close(ready[1]);
        long long saveMicros = 0;
        ASSERT_EQ(::read(ready[0], &saveMicros, sizeof saveMicros), static_cast<ssize_t>(sizeof saveMicros));
        ::close(ready[0]);
        // Anywhere in the next two saves, so that every stage of one is hit now and then.
        std::this_thread::sleep_for(
            std::chrono::microseconds(std::uniform_int_distribution<long long>(0, 2 * saveMicros)(random)));
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);

        const std::string bytes = ReadFileBytes(file);
        ASSERT_TRUE(bytes == firstBytes || bytes == secondBytes) << "kill " << kill << ": " << bytes.size();
        tempFilesLeft += static_cast<int>(Names(dir.path()).size()) - 1;

        ASSERT_TRUE(SaveDatabase(kill % 2 == 0 ? first : second, file));
        ASSERT_EQ(Names(dir.path()), std::set<std::string>{"linkroll2.dat"}) << "kill " << kill;
    }
    std::cout << "[          ] " << tempFilesLeft << " of " << kKills << " kills left a temporary file\n";
}

} // namespace
} // namespace sendwell
