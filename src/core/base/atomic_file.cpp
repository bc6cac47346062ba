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

// RemoveStaleTempFiles for the file at target itself, whatever a link there points to.
void RemoveStaleTempFilesBeside(const fs::path& target) {
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

} // namespace

void RemoveStaleTempFiles(const fs::path& file) {
    RemoveStaleTempFilesBeside(ResolveTarget(file));
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

namespace {

// Writes bytes to a temporary file beside target and renames it over whatever is at target. With like,
// the new file gets like's owner, group and permission bits, as far as the process may give them.
bool ReplaceAt(const fs::path& target, std::string_view bytes, const FileWriter& writer,
               const struct stat* like) {
    static std::atomic<unsigned long> counter{0};

    fs::path dir = target.parent_path();
    if (dir.empty()) {
        dir = ".";
    }
    std::error_code ec;
    fs::create_directories(dir, ec);
    RemoveStaleTempFilesBeside(target);

    fs::path temp;
    int rawFd = -1;
    for (int attempt = 0; attempt < 100 && rawFd < 0; ++attempt) {
        temp = dir / (target.filename().string() + ".tmp-" + std::to_string(::getpid()) + "-" +
                      std::to_string(counter.fetch_add(1)));
        // Private until its owner and mode are set: nobody may open a copy of a private file meanwhile.
        rawFd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, like ? 0600 : 0666);
        if (rawFd < 0 && errno != EEXIST) {
            return false;
        }
    }
    if (rawFd < 0) {
        return false;
    }
    UniqueFd fd(rawFd);
    bool ok = true;
    if (like) {
        // Only root may give a file away; anyone may keep a group they belong to. What cannot be kept
        // becomes the process's own, without the set-id bit that went with it. Owner first: a change of
        // owner clears the set-id bits that the mode then puts back.
        if (::fchown(fd.get(), like->st_uid, like->st_gid) != 0 &&
            ::fchown(fd.get(), static_cast<uid_t>(-1), like->st_gid) != 0) {
            ok = errno == EPERM || errno == EINVAL;
        }
        struct stat now {};
        ok = ok && ::fstat(fd.get(), &now) == 0;
        mode_t mode = like->st_mode & 07777;
        if (now.st_uid != like->st_uid) {
            mode &= ~static_cast<mode_t>(S_ISUID);
        }
        if (now.st_gid != like->st_gid) {
            mode &= ~static_cast<mode_t>(S_ISGID);
        }
        ok = ok && ::fchmod(fd.get(), mode) == 0;
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

} // namespace

bool ReplaceFileAtomically(const fs::path& file, std::string_view bytes, const FileWriter& writer) {
    const fs::path target = ResolveTarget(file);
    struct stat old {};
    const bool keep = ::stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode);
    return ReplaceAt(target, bytes, writer, keep ? &old : nullptr);
}

bool WriteCopyAtomically(const fs::path& file, const fs::path& original, std::string_view bytes,
                         const FileWriter& writer) {
    struct stat like {};
    if (::stat(original.c_str(), &like) != 0 || !S_ISREG(like.st_mode)) {
        return false;
    }
    return ReplaceAt(file, bytes, writer, &like);
}

} // namespace sendwell
