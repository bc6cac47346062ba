// One writer of the URL database at a time. A process that may save linkroll2.dat holds an advisory
// lock (flock) on linkroll2.dat.lock beside it for as long as it may save; the data file itself is
// replaced by rename on every save, so it cannot carry the lock. The holder writes its program name
// and process id into the lock file, so that a process refused can say who holds it.
#pragma once

#include "core/base/paths.h"

#include <filesystem>
#include <string>
#include <string_view>

namespace sendwell {

// The names the two front ends hold the lock under.
inline constexpr std::string_view kWindowHolder = "sendwell";
inline constexpr std::string_view kCommandLineHolder = "sendwell-cli";

enum class LockResult {
    Acquired,
    Busy,  // another process holds it; holderName()/holderPid() say which, when it said
    Failed // the lock file cannot be created or locked; error() says why
};

class DatabaseLock {
public:
    DatabaseLock() = default;
    ~DatabaseLock() { Release(); }
    DatabaseLock(const DatabaseLock&) = delete;
    DatabaseLock& operator=(const DatabaseLock&) = delete;

    // Tries once, without waiting; creates the folder and the lock file when missing.
    LockResult TryAcquire(const std::filesystem::path& databaseFile, std::string_view holderName);
    void Release();
    bool held() const { return fd_ >= 0; }

    // After Busy: the holder as it wrote itself into the lock file; "" and 0 when it has not yet, or
    // the line there names a process that has ended.
    const std::string& holderName() const { return holderName_; }
    long holderPid() const { return holderPid_; }
    // After Failed: the system's reason.
    const std::string& error() const { return error_; }

private:
    int fd_ = -1;
    std::string holderName_;
    long holderPid_ = 0;
    std::string error_;
};

} // namespace sendwell
