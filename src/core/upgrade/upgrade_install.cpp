#include "core/upgrade/upgrade_install.h"

#include "core/base/unique_fd.h"
#include "core/upgrade/installer_download.h"
#include "core/upgrade/upgrade_signature.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <system_error>
#include <unistd.h>

namespace sendwell {

namespace fs = std::filesystem;

namespace {

// A folder made for one install, that only this user may enter, removed with everything in it.
class PrivateFolder {
public:
    explicit PrivateFolder(const fs::path& parent) {
        std::error_code ec;
        fs::create_directories(parent, ec);
        std::string name = (parent / "upgrade-XXXXXX").string();
        if (::mkdtemp(name.data()) == nullptr) {
            error_ = Reason(parent, errno);
            return;
        }
        path_ = name;
        dir_ = ::open(name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (dir_ < 0) {
            error_ = Reason(path_, errno);
        }
    }
    ~PrivateFolder() {
        if (!path_.empty()) {
            if (dir_ >= 0) {
                ::close(dir_);
            }
            std::error_code ec;
            fs::remove_all(path_, ec);
        }
    }
    PrivateFolder(const PrivateFolder&) = delete;
    PrivateFolder& operator=(const PrivateFolder&) = delete;

    const fs::path& path() const { return path_; }
    // Why the folder or the last file asked for could not be made, as "<path>: <reason>".
    const std::string& error() const { return error_; }

    // A new file in the folder, opened for writing: never an existing file, never through a link.
    int Create(const char* name) {
        if (dir_ < 0) {
            return -1;
        }
        const int fd = ::openat(dir_, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, S_IRWXU);
        if (fd < 0) {
            error_ = Reason(path_ / name, errno);
        }
        return fd;
    }

    // The file open at writer, opened again for reading: a program cannot be started through a descriptor
    // that may still write it. -1 when name is no longer that file.
    int OpenForReading(const char* name, int writer) const {
        const int fd = ::openat(dir_, name, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        struct stat opened {};
        struct stat written {};
        if (fd >= 0 && ::fstat(fd, &opened) == 0 && ::fstat(writer, &written) == 0 &&
            opened.st_dev == written.st_dev && opened.st_ino == written.st_ino) {
            return fd;
        }
        if (fd >= 0) {
            ::close(fd);
        }
        return -1;
    }

private:
    static std::string Reason(const fs::path& path, int error) {
        return path.string() + ": " + std::generic_category().message(error);
    }

    fs::path path_;
    int dir_ = -1;
    std::string error_;
};

// Up to limit bytes of the file open at fd, from its start.
std::string ReadStart(int fd, std::size_t limit) {
    std::string bytes(limit, '\0');
    std::size_t got = 0;
    while (got < limit) {
        const ssize_t n = ::pread(fd, bytes.data() + got, limit - got, static_cast<off_t>(got));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    bytes.resize(got);
    return bytes;
}

// Whether one of keys signed exactly the bytes of the file open at fd.
bool SignedByAny(int fd, const std::string& signature, const std::vector<std::string>& keys) {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0) {
        return false;
    }
    const auto size = static_cast<std::size_t>(st.st_size);
    void* map = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    if (map == MAP_FAILED) {
        return false;
    }
    const std::string_view bytes(static_cast<const char*>(map), size);
    const bool verified = std::any_of(keys.begin(), keys.end(), [&](const std::string& key) {
        return SignatureVerifies(bytes, signature, key);
    });
    ::munmap(map, size);
    return verified;
}

// Starts the program open at fd with these arguments (the first is its name) and waits until it ends.
// The descriptor stays open in the program, so that the interpreter of a script reads the script
// through it. A program that cannot be started is passed over.
void RunAndWait(int fd, const std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    for (const std::string& a : arguments) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    const pid_t child = ::fork();
    if (child == 0) {
        // Only what is safe between fork and exec in a program with threads.
        ::fcntl(fd, F_SETFD, 0);
        ::fexecve(fd, argv.data(), environ);
        ::_exit(127);
    }
    if (child < 0) {
        return;
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
}

// The installed version's uninstaller, when the program's own install folder has one.
void RunUninstaller(const fs::path& installFolder) {
    if (installFolder.empty()) {
        return;
    }
    const fs::path uninstaller = installFolder / kUninstallerFile;
    UniqueFd fd(::open(uninstaller.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat st {};
    if (fd.get() >= 0 && ::fstat(fd.get(), &st) == 0 && S_ISREG(st.st_mode)) {
        RunAndWait(fd.get(), {uninstaller.string(), kUninstallerArgument});
    }
}

} // namespace

InstallOutcome InstallUpgrade(const InstallRequest& request, InstallHooks& hooks) {
    Prompt& messages = hooks.UserPrompt();
    if (std::none_of(request.keys.begin(), request.keys.end(), IsUsablePublicKey)) {
        messages.ShowMessage(kNoUpgradeKeyText, kAppCaption, MessageIcon::Warning);
        return InstallOutcome::NoKey;
    }
    const auto download = [&](const std::string& address, int target, bool showProgress) {
        DownloadJob job{address, request.connection, target, request.vendorHost};
        DownloadHooks downloadHooks;
        downloadHooks.progress = showProgress ? &hooks.DownloadProgress() : nullptr;
        downloadHooks.credentials = &messages;
        const DownloadResult result =
            DownloadFile(job, downloadHooks, [&hooks](const std::function<void()>& work) {
                hooks.RunOffThread(work, kDownloadingUpdateText);
            });
        if (!result.ok() && !result.outcome.text.empty()) {
            messages.ShowMessage(result.outcome.text, kAppCaption);
        }
        return result.ok();
    };

    PrivateFolder folder(request.downloadParent);
    UniqueFd writer(folder.Create(kInstallerFile));
    if (writer.get() < 0) {
        messages.ShowMessage(folder.error(), kAppCaption, MessageIcon::Warning);
        messages.ShowMessage(kDownloadFailedText, kAppCaption, MessageIcon::Information);
        return InstallOutcome::DownloadFailed;
    }
    UniqueFd installer(folder.OpenForReading(kInstallerFile, writer.get()));
    const bool downloaded = download(request.link, writer.get(), true);
    if (installer.get() < 0 || !writer.close() || !downloaded) {
        messages.ShowMessage(kDownloadFailedText, kAppCaption, MessageIcon::Information);
        return InstallOutcome::DownloadFailed;
    }

    std::string signature = request.signature;
    if (signature.empty()) {
        const std::string name = std::string(kInstallerFile) + kSignatureSuffix;
        UniqueFd sigWriter(folder.Create(name.c_str()));
        UniqueFd sigReader(sigWriter.get() < 0 ? -1 : folder.OpenForReading(name.c_str(), sigWriter.get()));
        if (sigReader.get() >= 0 && download(request.link + kSignatureSuffix, sigWriter.get(), false)) {
            signature = ReadStart(sigReader.get(), kSignatureBytes + 1);
        }
    }
    if (!SignedByAny(installer.get(), signature, request.keys)) {
        messages.ShowMessage(kUnverifiedDownloadText, kAppCaption, MessageIcon::Warning);
        return InstallOutcome::Unverified;
    }

    if (!hooks.SaveBeforeUninstall()) {
        return InstallOutcome::NotSaved;
    }
    const std::string installerName = (folder.path() / kInstallerFile).string();
    hooks.RunOffThread(
        [&] {
            RunUninstaller(request.installFolder);
            RunAndWait(installer.get(), {installerName, std::string()});
        },
        kRemovingOldVersionText);
    return InstallOutcome::Installed;
}

} // namespace sendwell
