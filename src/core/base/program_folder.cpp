#include "core/base/program_folder.h"

#include "core/base/settings.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <system_error>
#include <unistd.h>

namespace sendwell {

namespace fs = std::filesystem;

namespace {

// Permission bits say too little (root ignores them; a read-only mount does not show in them), so
// try what the program will do: create a file.
bool CanCreateFilesIn(const fs::path& folder) {
    const std::string probe = (folder / (".sendwell-probe-" + std::to_string(::getpid()))).string();
    int fd;
    do {
        fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        return false;
    }
    ::close(fd);
    ::unlink(probe.c_str());
    return true;
}

bool SameFolder(const fs::path& a, const fs::path& b) {
    std::error_code ec;
    return !a.empty() && !b.empty() && fs::equivalent(a, b, ec) && !ec;
}

} // namespace

fs::path ChooseProgramFolder(const fs::path& workingDir, const fs::path& home, const fs::path& dataFolder) {
    if (!workingDir.empty() && !SameFolder(workingDir, home) && CanCreateFilesIn(workingDir)) {
        return workingDir;
    }
    std::error_code ec;
    fs::create_directories(dataFolder, ec);
    if (!dataFolder.empty() && fs::is_directory(dataFolder, ec)) {
        return dataFolder;
    }
    return workingDir;
}

fs::path ProgramFolder() {
    std::error_code ec;
    fs::path working = fs::current_path(ec);
    if (ec) {
        working.clear();
    }
    const char* home = std::getenv("HOME");
    return ChooseProgramFolder(working, home != nullptr ? fs::path(home) : fs::path(),
                               DataHome() / "Sendwell");
}

fs::path ProgramInstallFolder() {
    std::error_code ec;
    const fs::path executable = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::path() : executable.parent_path();
}

} // namespace sendwell
