#include "core/base/settings.h"

#include "core/base/atomic_file.h"
#include "core/base/numbers.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>
#include <vector>

namespace sendwell {

namespace fs = std::filesystem;

namespace {

// A value of this many bytes or more does not fit the read buffer and reads as missing.
constexpr std::size_t kReadBufferBytes = 1000;

// Written at the top of a settings file when the program creates it.
constexpr std::string_view kNewFileHeader =
    "# Sendwell! Pro settings. One value per line as name=value: the first \"=\" ends the name and\n"
    "# everything after it, spaces included, is the value. Lines starting with # or ; are comments.\n";

bool HasLineBreak(std::string_view s) {
    return std::any_of(s.begin(), s.end(), [](char c) { return c == '\r' || c == '\n'; });
}

bool ValidSection(std::string_view section) {
    return !section.empty() && !HasLineBreak(section) && section.find('/') == std::string_view::npos &&
           section != "." && section != "..";
}

bool ValidName(std::string_view name) {
    return !name.empty() && !HasLineBreak(name) && name.find('=') == std::string_view::npos &&
           name.front() != '[' && name.front() != '#' && name.front() != ';';
}

// One line of a settings file as it lies in the file: its text ends at a line feed, and a carriage
// return just before the line feed belongs to the line end. A last line may have no line end.
struct FileLine {
    std::size_t begin = 0; // where the text starts in the file
    std::string_view text;
    std::string_view end; // "\r\n", "\n" or ""
};

std::vector<FileLine> SplitLines(std::string_view content) {
    std::vector<FileLine> lines;
    std::size_t at = 0;
    while (at < content.size()) {
        const std::size_t lf = content.find('\n', at);
        FileLine line;
        line.begin = at;
        if (lf == std::string_view::npos) {
            line.text = content.substr(at);
            at = content.size();
        } else {
            const bool cr = lf > at && content[lf - 1] == '\r';
            line.text = content.substr(at, lf - at - (cr ? 1 : 0));
            line.end = content.substr(lf - (cr ? 1 : 0), cr ? 2 : 1);
            at = lf + 1;
        }
        lines.push_back(line);
    }
    return lines;
}

bool IsComment(std::string_view line) {
    return !line.empty() && (line.front() == '#' || line.front() == ';');
}

// "[name]" -> name. Blanks and carriage returns after the bracket are tolerated, for hand-edited files.
bool ParseHeader(std::string_view line, std::string_view& name) {
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t' || line.back() == '\r')) {
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

// Every value of a file by section and name; the first entry of a name in its section wins.
using ValueTable = SettingsValueTable;

// Sets key to the table's key of section/name; neither may hold a line feed.
void SetTableKey(std::string& key, std::string_view section, std::string_view name) {
    key.assign(section).append("\n").append(name);
}

ValueTable ParseValues(std::string_view content) {
    ValueTable table;
    std::string_view section;
    bool inSection = false;
    for (const FileLine& line : SplitLines(content)) {
        std::string_view header, key, value;
        if (ParseHeader(line.text, header)) {
            section = header;
            inSection = true;
        } else if (inSection && ParseEntry(line.text, key, value)) {
            std::string tableKey;
            SetTableKey(tableKey, section, key);
            table.emplace(std::move(tableKey), std::string(value));
        }
    }
    return table;
}

// The line end a new line gets: the file's own (that of its first line), "\n" for a new file.
std::string_view LineEndStyle(const std::vector<FileLine>& lines) {
    for (const FileLine& line : lines) {
        if (!line.end.empty()) {
            return line.end;
        }
    }
    return "\n";
}

// The line end to give a last line that has none, so that it reads as before: a text ending in a
// carriage return keeps it only when CR LF follows.
std::string_view EndFor(const FileLine& line, std::string_view style) {
    return !line.text.empty() && line.text.back() == '\r' ? std::string_view("\r\n") : style;
}

// The file's bytes with section/name set to value. Only the value's own line changes (or a new line
// is inserted after the section's last entry, or a new section appended); every other byte, line ends
// included, stays as it was.
std::string WithValue(std::string_view content, std::string_view section, std::string_view name,
                      std::string_view value) {
    const std::vector<FileLine> lines = SplitLines(content);
    std::string entry;
    entry.reserve(name.size() + 1 + value.size());
    entry.append(name).append("=").append(value);

    std::size_t replaced = std::string_view::npos;
    std::size_t lastInSection = std::string_view::npos;
    bool inSection = false;
    for (std::size_t i = 0; i < lines.size() && replaced == std::string_view::npos; ++i) {
        std::string_view header, key, val;
        if (ParseHeader(lines[i].text, header)) {
            inSection = header == section;
            if (inSection && lastInSection == std::string_view::npos) {
                lastInSection = i;
            }
        } else if (inSection && ParseEntry(lines[i].text, key, val)) {
            lastInSection = i;
            if (key == name) {
                replaced = i;
            }
        }
    }

    std::string out;
    out.reserve(content.size() + entry.size() + section.size() + kNewFileHeader.size() + 8);
    if (lines.empty()) {
        out.append(kNewFileHeader).append("[").append(section).append("]\n").append(entry).push_back('\n');
        return out;
    }
    const std::string_view style = LineEndStyle(lines);
    if (replaced != std::string_view::npos) {
        const FileLine& line = lines[replaced];
        out.append(content.substr(0, line.begin)).append(entry);
        out.append(content.substr(line.begin + line.text.size()));
        return out;
    }
    if (lastInSection != std::string_view::npos) {
        const FileLine& line = lines[lastInSection];
        const std::size_t after = line.begin + line.text.size() + line.end.size();
        out.append(content.substr(0, after));
        if (line.end.empty()) {
            out.append(EndFor(line, style));
        }
        out.append(entry).append(style).append(content.substr(after));
        return out;
    }
    out.append(content);
    const FileLine& last = lines.back();
    if (last.end.empty()) {
        out.append(EndFor(last, style));
    }
    if (!last.text.empty()) {
        out.append(style); // a blank line before the new section
    }
    out.append("[").append(section).append("]").append(style).append(entry).append(style);
    return out;
}

// Parsed settings files, so that reading a value from an unchanged file costs one stat. A file is
// known by its identity; any change to it (a write through the store, another copy of the program, a
// hand edit) gives it a new one. Writes through the store also drop the entry at once.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    std::int64_t modifiedSeconds = 0;
    long modifiedNanoseconds = 0;
    bool operator==(const FileIdentity&) const = default;
};

FileIdentity IdentityOf(const struct stat& st) {
    return {st.st_dev, st.st_ino, st.st_size, static_cast<std::int64_t>(st.st_mtim.tv_sec),
            st.st_mtim.tv_nsec};
}

// A file changed again within the clock tick of its last change can keep all of its identity, so a
// file modified this recently is read afresh every time.
constexpr std::int64_t kSettledSeconds = 2;

struct CachedFile {
    FileIdentity identity;
    std::shared_ptr<const ValueTable> values;
};

std::mutex g_cacheMutex;
std::unordered_map<std::string, CachedFile> g_cache;

void ForgetFile(const std::string& file) {
    std::lock_guard lock(g_cacheMutex);
    g_cache.erase(file);
}

// The values of file as they are now: from the cache while the file keeps its identity (one stat), else
// read and parsed afresh. Null when the file is missing or unreadable.
std::shared_ptr<const ValueTable> ReadValues(const std::string& file) {
    struct stat before {};
    if (::stat(file.c_str(), &before) != 0 || !S_ISREG(before.st_mode)) {
        ForgetFile(file);
        return nullptr;
    }
    const FileIdentity identity = IdentityOf(before);
    {
        std::lock_guard lock(g_cacheMutex);
        auto it = g_cache.find(file);
        if (it != g_cache.end() && it->second.identity == identity) {
            return it->second.values;
        }
    }
    std::string content;
    if (ReadWholeFile(file, content) != ReadStatus::Ok) {
        return nullptr;
    }
    auto values = std::make_shared<const ValueTable>(ParseValues(content));

    struct stat after {};
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    const bool unchanged = ::stat(file.c_str(), &after) == 0 && IdentityOf(after) == identity;
    const bool settled = now.tv_sec - before.st_mtim.tv_sec >= kSettledSeconds;
    std::lock_guard lock(g_cacheMutex);
    if (unchanged && settled) {
        g_cache[file] = CachedFile{identity, values};
    } else {
        g_cache.erase(file);
    }
    return values;
}

// The value of section/name in values, or null. Valid while values lives.
const std::string* FindValue(const ValueTable* values, std::string_view section, std::string_view name) {
    if (values == nullptr) {
        return nullptr;
    }
    // One key buffer per thread: a lookup makes no allocation of its own.
    thread_local std::string key;
    SetTableKey(key, section, name);
    auto found = values->find(key);
    return found == values->end() ? nullptr : &found->second;
}

std::optional<std::string> ReadValue(const std::string& file, std::string_view section,
                                     std::string_view name) {
    const std::shared_ptr<const ValueTable> values = ReadValues(file);
    const std::string* value = FindValue(values.get(), section, name);
    return value == nullptr ? std::nullopt : std::optional<std::string>(*value);
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
    const fs::path lockPath = SettingsLockFile(file);
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
    ForgetFile(file.string());
    ::close(lockFd); // releases the lock
    return ok;
}

} // namespace

SettingsSnapshot::SettingsSnapshot(std::string_view section) : section_(section) {
    if (ValidSection(section)) {
        values_ = ReadValues(SettingsFileText(section));
    }
}

SettingsSnapshot::~SettingsSnapshot() = default;

std::string_view SettingsSnapshot::Read(std::string_view name) const {
    const std::string* value = FindValue(values_.get(), section_, name);
    if (value == nullptr || value->size() >= kReadBufferBytes || *value == "-") {
        return {};
    }
    return *value;
}

int SettingsSnapshot::Flag(std::string_view name) const {
    const std::string_view text = Read(name);
    return text == "0" ? 0 : text == "1" ? 1 : -1;
}

bool WriteSetting(std::string_view section, std::string_view name, std::string_view text) {
    if (!ValidSection(section)) {
        return false;
    }
    return WriteValue(SettingsFileFor(section), section, name, text);
}

std::string ReadSetting(std::string_view section, std::string_view name) {
    return std::string(SettingsSnapshot(section).Read(name));
}

int ReadFlag(std::string_view section, std::string_view name) {
    return SettingsSnapshot(section).Flag(name);
}

bool WriteWindowSetting(std::string_view subsection, std::string_view name, int value) {
    return WriteValue(ProfileFile(), subsection, name, std::to_string(value));
}

std::optional<int> ReadWindowSetting(std::string_view subsection, std::string_view name) {
    if (!ValidSection(subsection)) {
        return std::nullopt;
    }
    std::optional<std::string> text = ReadValue(ProfileFile().string(), subsection, name);
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
