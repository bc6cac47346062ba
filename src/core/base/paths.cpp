#include "core/base/paths.h"

#include "core/base/settings.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <mutex>
#include <optional>
#include <pwd.h>
#include <string>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace sendwell {

namespace fs = std::filesystem;

namespace {

std::mutex g_programNameMutex;
std::string g_programName = "sendwell";

fs::path HomeDir() {
    if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') {
        return home;
    }
    std::vector<char> buf(16384);
    passwd pw{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &pw, buf.data(), buf.size(), &found) == 0 && found != nullptr &&
        found->pw_dir != nullptr && found->pw_dir[0] == '/') {
        return found->pw_dir;
    }
    return "/";
}

fs::path XdgDir(const char* variable, const char* fallbackBelowHome) {
    if (const char* v = std::getenv(variable); v != nullptr && v[0] == '/') {
        return v;
    }
    return HomeDir() / fallbackBelowHome;
}

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

fs::path ConfigHome() {
    return XdgDir("XDG_CONFIG_HOME", ".config");
}

fs::path DataHome() {
    return XdgDir("XDG_DATA_HOME", ".local/share");
}

fs::path DataFolder() {
    return DataHome() / "Sendwell";
}

const std::string& SettingsFileText(std::string_view section) {
    struct Known {
        bool made = false;
        std::optional<std::string> config, home; // the variables it was made from
        std::string section;
        std::string file;
    };
    thread_local Known known;
    auto same = [](const char* now, const std::optional<std::string>& then) {
        return now == nullptr ? !then.has_value() : then.has_value() && *then == now;
    };
    const char* config = std::getenv("XDG_CONFIG_HOME");
    // HOME plays no part while XDG_CONFIG_HOME is an absolute path.
    const char* home = config != nullptr && config[0] == '/' ? nullptr : std::getenv("HOME");
    if (known.made && section == known.section && same(config, known.config) && same(home, known.home)) {
        return known.file;
    }
    known.file = ConfigHome().string();
    if (known.file.empty() || known.file.back() != '/') {
        known.file += '/';
    }
    known.file.append(section).append(".conf");
    known.section = section;
    known.config = config == nullptr ? std::nullopt : std::optional<std::string>(config);
    known.home = home == nullptr ? std::nullopt : std::optional<std::string>(home);
    known.made = true;
    return known.file;
}

fs::path SettingsFileFor(std::string_view section) {
    return SettingsFileText(section);
}

fs::path SettingsFile() {
    return SettingsFileFor(kSettingsSection);
}

fs::path SettingsLockFile(const fs::path& settingsFile) {
    return fs::path(settingsFile).concat(".lock");
}

fs::path ProfileFile() {
    return ConfigHome() / std::string(kFrameworkMaker) / (ProgramName() + ".conf");
}

void SetProgramName(std::string_view name) {
    // The name becomes a file name; anything that is not one keeps the default.
    if (name.empty() || name.find('/') != std::string_view::npos || name == "." || name == "..") {
        name = "sendwell";
    }
    std::lock_guard lock(g_programNameMutex);
    g_programName = std::string(name);
}

std::string ProgramName() {
    std::lock_guard lock(g_programNameMutex);
    return g_programName;
}

fs::path DefaultDatabasePath() {
    return DataFolder() / "linkroll2.dat";
}

fs::path DatabaseLockPath(const fs::path& databaseFile) {
    return fs::path(databaseFile).concat(".lock");
}

fs::path DefaultIndexNowStatePath() {
    return DefaultDatabasePath().parent_path() / "indexnow-state.json";
}

fs::path DefaultHistoryPath() {
    return DefaultDatabasePath().parent_path() / "history.sqlite";
}

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
    return ChooseProgramFolder(working, home != nullptr ? fs::path(home) : fs::path(), DataFolder());
}

fs::path ProgramInstallFolder() {
    std::error_code ec;
    const fs::path executable = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::path() : executable.parent_path();
}

fs::path AnswerStorePath(const fs::path& programFolder) {
    return programFolder / "submitok";
}

fs::path FailureLogPath(const fs::path& programFolder) {
    return programFolder / kFailureLogName;
}

fs::path BackgroundPicturePath(const fs::path& programFolder) {
    return programFolder / "bkimage.bmp";
}

fs::path UpgradeDownloadParent() {
    return DataFolder();
}

fs::path PageBackupPath(const fs::path& page) {
    fs::path backup = page;
    backup += "_OLD";
    return backup;
}

} // namespace sendwell
