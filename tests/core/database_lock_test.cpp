// One writer of the URL database at a time.
#include "core/urldb/database_lock.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>
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
