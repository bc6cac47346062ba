#include "core/urldb/database_file.h"

#include "core/base/settings.h"
#include "core/urldb/line_reader.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <fcntl.h>

namespace sendwell {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kEndOfRecords = "EOS";
constexpr std::string_view kLineEnd = "\r\n";

void AppendLine(std::string& out, std::string_view value) {
    const std::size_t start = out.size();
    out.append(value);
    if (value.find('\n') != std::string_view::npos) {
        for (std::size_t i = start; i < out.size(); ++i) {
            if (out[i] == '\n') {
                out[i] = ' ';
            }
        }
    }
    out.append(kLineEnd);
}

std::string TimestampForName() {
    return LocalTimeText("%Y%m%d-%H%M%S");
}

// Renames without replacing anything already at the new name.
bool RenameNoReplace(const fs::path& from, const fs::path& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return true;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return false;
    }
    std::error_code ec;
    if (fs::exists(fs::symlink_status(to, ec))) {
        errno = EEXIST;
        return false;
    }
    return ::rename(from.c_str(), to.c_str()) == 0;
}

// Moves an unreadable data file out of the way so that no later save replaces it; "" when it stays.
fs::path SetAside(const fs::path& file) {
    const std::string base = file.string() + ".unreadable-" + TimestampForName();
    for (int n = 1; n <= 100; ++n) {
        fs::path candidate = n == 1 ? fs::path(base) : fs::path(base + "-" + std::to_string(n));
        if (RenameNoReplace(file, candidate)) {
            return candidate;
        }
        if (errno != EEXIST) {
            break;
        }
    }
    return {};
}

} // namespace

fs::path DefaultDatabasePath() {
    return DataHome() / "Sendwell" / "linkroll2.dat";
}

std::string SerializeDatabase(const UrlDatabase& db) {
    std::size_t total = kEndOfRecords.size() + db.email().size() + 2 * kLineEnd.size();
    for (const UrlRecord& r : db.rows()) {
        total += r.url.size() + r.lastSent.size() + r.submits.size() + 3 * kLineEnd.size();
    }
    std::string out;
    out.reserve(total);
    for (const UrlRecord& r : db.rows()) {
        AppendLine(out, r.url);
        AppendLine(out, r.lastSent);
        AppendLine(out, r.submits);
    }
    AppendLine(out, kEndOfRecords);
    AppendLine(out, db.email());
    return out;
}

void ParseDatabase(std::string_view bytes, UrlDatabase& db) {
    LineReader reader(bytes);
    std::string_view line;
    if (!reader.Next(line)) {
        return;
    }
    db.Reserve(db.recordCount() + static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), '\n')) / 3);
    for (;;) {
        if (line == kEndOfRecords) {
            if (reader.Next(line)) {
                db.setEmail(std::string(line));
            }
            return;
        }
        // A record cut short by the end of the file keeps its address; what is missing reads as
        // never sent.
        std::string url(line);
        std::string lastSent;
        std::string submits = "0";
        if (reader.Next(line)) {
            lastSent = NormalizeDateLine(line);
            if (reader.Next(line)) {
                submits.assign(line);
            }
        }
        db.AppendLoaded(std::move(url), std::move(lastSent), std::move(submits));
        if (!reader.Next(line)) {
            return;
        }
    }
}

LoadResult LoadDatabase(UrlDatabase& db, const fs::path& file) {
    db.Clear();
    LoadResult result;
    std::string bytes;
    switch (ReadWholeFile(file, bytes)) {
    case ReadStatus::Missing:
        result.status = LoadStatus::Missing;
        return result;
    case ReadStatus::Unreadable:
        result.status = LoadStatus::Unreadable;
        result.setAside = SetAside(file);
        return result;
    case ReadStatus::Ok:
        break;
    }
    ParseDatabase(bytes, db);
    result.status = LoadStatus::Loaded;
    return result;
}

bool SaveDatabaseWith(const UrlDatabase& db, const fs::path& file, const FileWriter& writer) {
    return ReplaceFileAtomically(file, SerializeDatabase(db), writer);
}

bool SaveDatabase(const UrlDatabase& db, const fs::path& file) {
    return SaveDatabaseWith(db, file, WriteAllToFd);
}

} // namespace sendwell
