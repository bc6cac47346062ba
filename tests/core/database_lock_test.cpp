// One writer of the URL database at a time.
#include "core/urldb/database_lock.h"
#include "tests/support/temp_dir.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

namespace sendwell {
namespace {

TEST(DatabaseLock, ASecondWriterIsRefusedAndToldWhoHoldsTheDatabaseUntilItIsReleased) {
    test::TempDir dir;
    const auto file = dir / "new-folder" / "linkroll2.dat";
    DatabaseLock window;
    ASSERT_EQ(window.TryAcquire(file, kWindowHolder), LockResult::Acquired);
    EXPECT_TRUE(std::filesystem::exists(DatabaseLockPath(file)));

    DatabaseLock command;
    EXPECT_EQ(command.TryAcquire(file, kCommandLineHolder), LockResult::Busy);
    EXPECT_EQ(command.holderName(), kWindowHolder);
    EXPECT_EQ(command.holderPid(), static_cast<long>(::getpid()));
    EXPECT_FALSE(command.held());

    window.Release();
    EXPECT_EQ(command.TryAcquire(file, kCommandLineHolder), LockResult::Acquired);
    EXPECT_EQ(window.TryAcquire(file, kWindowHolder), LockResult::Busy);
    EXPECT_EQ(window.holderName(), kCommandLineHolder);
}

TEST(DatabaseLock, TheHolderIsNamedOnlyWhenItsLineNamesARunningProcess) {
    test::TempDir dir;
    const auto file = dir / "linkroll2.dat";
    const std::string self = std::to_string(::getpid());
    const struct {
        std::string line;
        std::string_view name; // as a refused process reads it
    } cases[] = {
        {"sendwell " + self + "\n", kWindowHolder},
        {"", ""},                     // the holder has not written yet
        {"sendwell 999999999\n", ""}, // left by a holder that has ended
        {"sendwell-cli " + self, kCommandLineHolder},
    };
    for (const auto& c : cases) {
        test::WriteFileBytes(DatabaseLockPath(file), c.line);
        const int fd = ::open(DatabaseLockPath(file).c_str(), O_RDWR);
        ASSERT_EQ(::flock(fd, LOCK_EX), 0);
        DatabaseLock refused;
        EXPECT_EQ(refused.TryAcquire(file, kCommandLineHolder), LockResult::Busy) << c.line;
        EXPECT_EQ(refused.holderName(), c.name) << c.line;
        ::close(fd);
    }

    // A new holder's line replaces a longer one whole.
    test::WriteFileBytes(DatabaseLockPath(file), "sendwell-cli 123456789 and more left behind\n");
    DatabaseLock holder;
    ASSERT_EQ(holder.TryAcquire(file, kWindowHolder), LockResult::Acquired);
    EXPECT_EQ(test::ReadFileBytes(DatabaseLockPath(file)), "sendwell " + self + "\n");
}

TEST(DatabaseLock, ALockThatCannotBeCreatedFailsWithAReason) {
    test::TempDir dir;
    test::WriteFileBytes(dir / "file", "not a folder");
    DatabaseLock lock;
    EXPECT_EQ(lock.TryAcquire(dir / "file" / "linkroll2.dat", kCommandLineHolder), LockResult::Failed);
    EXPECT_FALSE(lock.error().empty());
    EXPECT_FALSE(lock.held());
}

} // namespace
} // namespace sendwell
