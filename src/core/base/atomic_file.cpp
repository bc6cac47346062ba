#include "core/base/atomic_file.h"

#include "core/base/unique_fd.h"

#include <atomic>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace sendwell {

namespace fs = std::filesystem;

namespace {

fs::path ResolveTarget(const fs::path& file) {
    std::error_code ec;
    if (fs::is_symlink(file, ec)) {
        fs::path resolved = fs::weakly_canonical(file, ec);
        if (!ec) {
            return resolved;
        }
    }
    return file;
}

void SyncFolder(const fs::path& dir) {
    UniqueFd d(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (d.get() >= 0) {
        ::fsync(d.get());
    }
}

constexpr std::string_view kTempMarker = ".tmp-";
// A save takes seconds at most; a temporary file this old is stale even if its pid is in use again.
constexpr std::time_t kStaleAfterSeconds = 24 * 60 * 60;

bool AllDigits(std::string_view s) {
    return !s.empty() && s.find_first_not_of("0123456789") == std::string_view::npos;
}

// The writer's pid when name is "<base>.tmp-<pid>-<n>", as ReplaceFileAtomically names its temporary
// files, else 0.
pid_t TempFileWriter(std::string_view name, std::string_view base) {
    if (name.size() <= base.size() + kTempMarker.size() || name.substr(0, base.size()) != base ||
        name.substr(base.size(), kTempMarker.size()) != kTempMarker) {
        return 0;
    }
    name.remove_prefix(base.size() + kTempMarker.size());
    const std::size_t dash = name.find('-');
    if (dash == std::string_view::npos || !AllDigits(name.substr(0, dash)) ||
        !AllDigits(name.substr(dash + 1))) {
        return 0;
    }
    pid_t pid = 0;
    const auto [end, ec] = std::from_chars(name.data(), name.data() + dash, pid);
    return ec == std::errc() && end == name.data() + dash ? pid : 0;
}

bool ProcessGone(pid_t pid) {
    return ::kill(pid, 0) != 0 && errno == ESRCH;
}

} // namespace

void RemoveStaleTempFiles(const fs::path& file) {
    const fs::path target = ResolveTarget(file);
    fs::path dir = target.parent_path();
    if (dir.empty()) {
        dir = ".";
    }
    const std::string base = target.filename().string();
    DIR* folder = ::opendir(dir.c_str());
    if (folder == nullptr) {
        return;
    }
    const std::time_t now = std::time(nullptr);
    const pid_t self = ::getpid();
    while (const dirent* entry = ::readdir(folder)) {
        const std::string_view name = entry->d_name;
        const pid_t writer = TempFileWriter(name, base);
        if (writer <= 0) {
            continue;
        }
        struct stat st {};
        // Only regular files: this program never makes anything else under such a name.
        if (::fstatat(::dirfd(folder), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(st.st_mode)) {
            continue;
        }
        // Our own pid may be a save in progress on another thread; its failures clean up after themselves.
        const bool old = now - st.st_mtime > kStaleAfterSeconds;
        if (old || (writer != self && ProcessGone(writer))) {
            ::unlinkat(::dirfd(folder), entry->d_name, 0);
        }
    }
    ::closedir(folder);
}

ReadStatus ReadWholeFile(const fs::path& file, std::string& out) {
    out.clear();
    // Non-blocking so that a pipe put in the file's place cannot hang the program.
    UniqueFd fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0) {
        return (errno == ENOENT || errno == ENOTDIR) ? ReadStatus::Missing : ReadStatus::Unreadable;
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return ReadStatus::Unreadable;
    }
    // One read per block straight into the result; the size is only a hint, the file may change.
    std::size_t used = 0;
    std::size_t capacity = static_cast<std::size_t>(st.st_size) + 1;
    out.resize(capacity);
    for (;;) {
        if (used == capacity) {
            capacity = capacity * 2;
            out.resize(capacity);
        }
        ssize_t n = ::read(fd.get(), out.data() + used, capacity - used);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            out.clear();
            return ReadStatus::Unreadable;
        }
        if (n == 0) {
            break;
        }
        used += static_cast<std::size_t>(n);
    }
    out.resize(used);
    return ReadStatus::Ok;
}

bool WriteAllToFd(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

bool ReplaceFileAtomically(const fs::path& file, std::string_view bytes, const FileWriter& writer) {
    static std::atomic<unsigned long> counter{0};

    const fs::path target = ResolveTarget(file);
    fs::path dir = target.parent_path();
    if (dir.empty()) {
        dir = ".";
    }
    std::error_code ec;
    fs::create_directories(dir, ec);
    RemoveStaleTempFiles(target);

    struct stat old {};
    const bool keepMode = ::stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode);

    fs::path temp;
    int rawFd = -1;
    for (int attempt = 0; attempt < 100 && rawFd < 0; ++attempt) {
        temp = dir / (target.filename().string() + ".tmp-" + std::to_string(::getpid()) + "-" +
                      std::to_string(counter.fetch_add(1)));
        rawFd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (rawFd < 0 && errno != EEXIST) {
            return false;
        }
    }
    if (rawFd < 0) {
        return false;
    }
    UniqueFd fd(rawFd);
    bool ok = true;
    if (keepMode) {
        ok = ::fchmod(fd.get(), old.st_mode & 07777) == 0;
    }
    ok = ok && writer(fd.get(), bytes);
    ok = ok && ::fsync(fd.get()) == 0;
    ok = fd.close() && ok;
    ok = ok && ::rename(temp.c_str(), target.c_str()) == 0;
    if (!ok) {
        ::unlink(temp.c_str());
        return false;
    }
    // Makes the rename itself survive a crash.
    SyncFolder(dir);
    return true;
}

} // namespace sendwell
