#include "core/urldb/database_lock.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <system_error>
#include <unistd.h>

namespace sendwell {

namespace fs = std::filesystem;

namespace {

std::string SystemError(std::string_view what, const fs::path& file) {
    return std::string(what) + " " + file.string() + ": " + std::strerror(errno);
}

// "name pid" as the holder wrote it; a half-written or foreign content leaves both unknown.
void ReadHolder(int fd, std::string& name, long& pid) {
    char buffer[256];
    const ssize_t got = ::pread(fd, buffer, sizeof buffer - 1, 0);
    name.clear();
    pid = 0;
    if (got <= 0) {
        return;
    }
    std::string_view text(buffer, static_cast<std::size_t>(got));
    text = text.substr(0, text.find('\n'));
    const std::size_t space = text.rfind(' ');
    if (space == std::string_view::npos || space == 0) {
        return;
    }
    long value = 0;
    for (char c : text.substr(space + 1)) {
        if (c < '0' || c > '9' || value > 1'000'000'000) {
            return;
        }
        value = value * 10 + (c - '0');
    }
    // A line left by a holder that has ended names nobody: the new holder has not written its own yet.
    if (value <= 0 || (::kill(static_cast<pid_t>(value), 0) != 0 && errno != EPERM)) {
        return;
    }
    name.assign(text.substr(0, space));
    pid = value;
}

} // namespace

LockResult DatabaseLock::TryAcquire(const fs::path& databaseFile, std::string_view holderName) {
    Release();
    holderName_.clear();
    holderPid_ = 0;
    error_.clear();

    const fs::path file = DatabaseLockPath(databaseFile);
    std::error_code ec;
    if (file.has_parent_path()) {
        fs::create_directories(file.parent_path(), ec);
    }
    // Close-on-exec: a program started from here must not keep the lock after this process ends.
    int fd;
    do {
        fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        error_ = SystemError("cannot open", file);
        return LockResult::Failed;
    }
    int rc;
    do {
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        const bool busy = errno == EWOULDBLOCK;
        if (busy) {
            ReadHolder(fd, holderName_, holderPid_);
        } else {
            error_ = SystemError("cannot lock", file);
        }
        ::close(fd);
        return busy ? LockResult::Busy : LockResult::Failed;
    }
    // Who holds it, for the next one refused; the lock does not depend on this being written. Written
    // over the last holder's line and then cut to length, so that a reader never finds the file empty.
    const std::string who = std::string(holderName) + " " + std::to_string(::getpid()) + "\n";
    if (::pwrite(fd, who.data(), who.size(), 0) == static_cast<ssize_t>(who.size())) {
        (void)!::ftruncate(fd, static_cast<off_t>(who.size()));
    }
    fd_ = fd;
    return LockResult::Acquired;
}

void DatabaseLock::Release() {
    if (fd_ < 0) {
        return;
    }
    // The file stays: removing it would let a process that opened it just before lock a file nobody
    // else can see any more.
    ::close(fd_);
    fd_ = -1;
}

} // namespace sendwell
