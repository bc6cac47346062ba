#include "core/base/settings.h"

#include "core/base/atomic_file.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <mutex>
#include <pwd.h>
#include <sys/file.h>
#include <unistd.h>
#include <vector>

namespace sendwell {

namespace fs = std::filesystem;

namespace {

// A value of this many bytes or more does not fit the read buffer and reads as missing.
constexpr std::size_t kReadBufferBytes = 1000;
constexpr int kDefaultBufSize = 8096;

// Written at the top of a settings file when the program creates it.
constexpr std::string_view kNewFileHeader =
    "# Sendwell! Pro settings. One value per line as name=value: the first \"=\" ends the name and\n"
    "# everything after it, spaces included, is the value. Lines starting with # or ; are comments.\n";

std::mutex g_programNameMutex;
std::string g_programName = "sendwell";

bool HasLineBreak(std::string_view s) {
    return s.find_first_of("\r\n") != std::string_view::npos;
}

bool ValidSection(std::string_view section) {
    return !section.empty() && !HasLineBreak(section) && section.find('/') == std::string_view::npos &&
           section != "." && section != "..";
}

bool ValidName(std::string_view name) {
    return !name.empty() && !HasLineBreak(name) && name.find('=') == std::string_view::npos &&
           name.front() != '[' && name.front() != '#' && name.front() != ';';
}

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

// One line of a settings file, split at the first line feed; a CR before it is not part of the line.
std::vector<std::string_view> SplitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        std::size_t lf = text.find('\n');
        std::string_view line = text.substr(0, lf);
        if (lf != std::string_view::npos && !line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        lines.push_back(line);
        text.remove_prefix(lf == std::string_view::npos ? text.size() : lf + 1);
    }
    return lines;
}

bool IsComment(std::string_view line) {
    return !line.empty() && (line.front() == '#' || line.front() == ';');
}

// "[name]" (blanks after the bracket tolerated, for hand-edited files) -> name.
bool ParseHeader(std::string_view line, std::string_view& name) {
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) {
        line.remove_suffix(1);
    }
    if (line.size() < 2 || line.front() != '[' || line.back() != ']') {
        return false;
    }
    name = line.substr(1, line.size() - 2);
    return true;
}

bool ParseEntry(std::string_view line, std::string_view& name, std::string_view& value) {
    if (IsComment(line) || (!line.empty() && line.front() == '[')) {
        return false;
    }
    std::size_t eq = line.find('=');
    if (eq == std::string_view::npos) {
        return false;
    }
    name = line.substr(0, eq);
    value = line.substr(eq + 1);
    return true;
}

std::optional<std::string> LookUp(std::string_view content, std::string_view section, std::string_view name) {
    bool inSection = false;
    for (std::string_view line : SplitLines(content)) {
        std::string_view header, key, value;
        if (ParseHeader(line, header)) {
            inSection = header == section;
        } else if (inSection && ParseEntry(line, key, value) && key == name) {
            return std::string(value);
        }
    }
    return std::nullopt;
}

// The file's text with section/name set to value; every other line is kept as it was. The first
// entry of the name wins on reading, so later duplicates are dropped when it is replaced.
std::string WithValue(std::string_view content, std::string_view section, std::string_view name,
                      std::string_view value) {
    std::vector<std::string_view> lines = SplitLines(content);
    std::string entry;
    entry.reserve(name.size() + 1 + value.size());
    entry.append(name).append("=").append(value);

    std::vector<bool> drop(lines.size(), false);
    std::size_t replaced = std::string_view::npos;
    std::size_t lastInSection = std::string_view::npos;
    bool inSection = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::string_view header, key, val;
        if (ParseHeader(lines[i], header)) {
            inSection = header == section;
            if (inSection && lastInSection == std::string_view::npos) {
                lastInSection = i;
            }
        } else if (inSection && ParseEntry(lines[i], key, val)) {
            lastInSection = i;
            if (key == name) {
                if (replaced == std::string_view::npos) {
                    replaced = i;
                } else {
                    drop[i] = true;
                }
            }
        }
    }

    std::string out;
    out.reserve(content.size() + entry.size() + section.size() + kNewFileHeader.size() + 8);
    if (lines.empty()) {
        out.append(kNewFileHeader);
    }
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (drop[i]) {
            continue;
        }
        out.append(i == replaced ? std::string_view(entry) : lines[i]).push_back('\n');
        if (replaced == std::string_view::npos && i == lastInSection) {
            out.append(entry).push_back('\n');
        }
    }
    if (lastInSection == std::string_view::npos) {
        if (!lines.empty() && !lines.back().empty()) {
            out.push_back('\n');
        }
        out.append("[").append(section).append("]\n").append(entry).push_back('\n');
    }
    return out;
}

std::optional<std::string> ReadValue(const fs::path& file, std::string_view section, std::string_view name) {
    std::string content;
    if (ReadWholeFile(file, content) != ReadStatus::Ok) {
        return std::nullopt;
    }
    return LookUp(content, section, name);
}

// Read-modify-write under an exclusive lock on "<file>.lock", so a concurrent writer in another copy
// of the program re-reads our value before writing its own instead of dropping it.
bool WriteValue(const fs::path& file, std::string_view section, std::string_view name,
                std::string_view value) {
    if (!ValidSection(section) || !ValidName(name) || HasLineBreak(value)) {
        return false;
    }
    std::error_code ec;
    fs::create_directories(file.parent_path(), ec);
    const fs::path lockPath = fs::path(file).concat(".lock");
    int lockFd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (lockFd < 0) {
        return false;
    }
    int rc;
    do {
        rc = ::flock(lockFd, LOCK_EX);
    } while (rc != 0 && errno == EINTR);
    bool ok = false;
    if (rc == 0) {
        std::string content;
        // An unreadable file is left alone rather than replaced by one holding only our value.
        if (ReadWholeFile(file, content) != ReadStatus::Unreadable) {
            ok = ReplaceFileAtomically(file, WithValue(content, section, name, value));
        }
    }
    ::close(lockFd); // releases the lock
    return ok;
}

} // namespace

fs::path ConfigHome() {
    return XdgDir("XDG_CONFIG_HOME", ".config");
}

fs::path DataHome() {
    return XdgDir("XDG_DATA_HOME", ".local/share");
}

fs::path SettingsFileFor(std::string_view section) {
    return ConfigHome() / (std::string(section) + ".conf");
}

fs::path ProfileFile() {
    return ConfigHome() / std::string(kFrameworkMaker) / (ProgramName() + ".conf");
}

bool WriteSetting(std::string_view section, std::string_view name, std::string_view text) {
    if (!ValidSection(section)) {
        return false;
    }
    return WriteValue(SettingsFileFor(section), section, name, text);
}

std::string ReadSetting(std::string_view section, std::string_view name) {
    if (!ValidSection(section)) {
        return {};
    }
    std::optional<std::string> value = ReadValue(SettingsFileFor(section), section, name);
    if (!value || value->size() >= kReadBufferBytes || *value == "-") {
        return {};
    }
    return std::move(*value);
}

int ReadFlag(std::string_view section, std::string_view name) {
    const std::string text = ReadSetting(section, name);
    if (text == "0") {
        return 0;
    }
    if (text == "1") {
        return 1;
    }
    return -1;
}

long long LeadingInteger(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        const int digit = text[i] - '0';
        if (value > (LLONG_MAX - digit) / 10) {
            return negative ? LLONG_MIN : LLONG_MAX;
        }
        value = value * 10 + digit;
    }
    return negative ? -value : value;
}

bool ReadBoolSetting(std::string_view name, bool defaultValue) {
    const std::string text = ReadSetting(kSettingsSection, name);
    if (text == "0") {
        return false;
    }
    if (text == "1") {
        return true;
    }
    return defaultValue;
}

int ReadBufSizeSetting() {
    const std::string text = ReadSetting(kSettingsSection, "i_BufSize");
    if (text.empty()) {
        return kDefaultBufSize;
    }
    const long long value = LeadingInteger(text);
    return (value > 500 && value < 10000) ? static_cast<int>(value) : kDefaultBufSize;
}

std::string ReadTextSetting(std::string_view name) {
    return ReadSetting(kSettingsSection, name);
}

bool EngineFlagEnabled(std::string_view flagName) {
    return ReadFlag(kSettingsSection, flagName) != 0;
}

bool EngineFlagChecked(std::string_view flagName) {
    return ReadFlag(kSettingsSection, flagName) != 0;
}

ConnectionSettings ReadConnectionSettings() {
    ConnectionSettings s;
    s.useProxy = ReadBoolSetting("bProxyOn", false);
    s.proxyName = ReadTextSetting("m_ProxyName");
    s.proxyBypass = ReadTextSetting("m_ProxyBypass");
    s.bufSize = ReadBufSizeSetting();
    return s;
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

bool WriteWindowSetting(std::string_view subsection, std::string_view name, int value) {
    return WriteValue(ProfileFile(), subsection, name, std::to_string(value));
}

std::optional<int> ReadWindowSetting(std::string_view subsection, std::string_view name) {
    if (!ValidSection(subsection)) {
        return std::nullopt;
    }
    std::optional<std::string> text = ReadValue(ProfileFile(), subsection, name);
    if (!text || text->empty()) {
        return std::nullopt;
    }
    std::string_view digits = *text;
    if (digits.front() == '-' || digits.front() == '+') {
        digits.remove_prefix(1);
    }
    if (digits.empty() || digits.find_first_not_of("0123456789") != std::string_view::npos) {
        return std::nullopt;
    }
    const long long value = LeadingInteger(*text);
    if (value < INT_MIN || value > INT_MAX) {
        return std::nullopt;
    }
    return static_cast<int>(value);
}

} // namespace sendwell
