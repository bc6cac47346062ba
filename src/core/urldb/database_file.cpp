#include "core/urldb/database_file.h"

#include "core/base/settings.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sendwell {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kEndOfRecords = "EOS";
constexpr std::string_view kLineEnd = "\r\n";
// The save hands the writer pieces of about this size.
constexpr std::size_t kSavePiece = 1 << 20;

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

// Tries place(candidate) on file + suffix, then file + suffix + "-2", ... while the name is taken.
template <typename Place>
fs::path FirstFreeName(const fs::path& file, const std::string& suffix, const Place& place) {
    const std::string base = file.string() + suffix;
    for (int n = 1; n <= 100; ++n) {
        fs::path candidate = n == 1 ? fs::path(base) : fs::path(base + "-" + std::to_string(n));
        if (place(candidate)) {
            return candidate;
        }
        if (errno != EEXIST) {
            break;
        }
    }
    return {};
}

// Moves an unreadable data file out of the way so that no later save replaces it; "" when it stays.
fs::path SetAside(const fs::path& file) {
    return FirstFreeName(file, ".unreadable-" + TimestampForName(),
                         [&file](const fs::path& to) { return RenameNoReplace(file, to); });
}

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

// Copies the file's bytes to a new file at to (never replacing one), flushed to disk.
bool CopyToNewFile(const fs::path& from, const fs::path& to) {
    Fd in(::open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (in.get() < 0) {
        return false;
    }
    Fd out(::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (out.get() < 0) {
        return false;
    }
    std::string buffer(kSavePiece, '\0');
    bool ok = true;
    for (;;) {
        const ssize_t n = ::read(in.get(), buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        if (!WriteAllToFd(out.get(), std::string_view(buffer.data(), static_cast<std::size_t>(n)))) {
            ok = false;
            break;
        }
    }
    ok = ok && ::fsync(out.get()) == 0;
    if (!ok) {
        const int error = errno;
        ::unlink(to.c_str());
        errno = error == EEXIST ? EIO : error; // a failed copy must not read as a taken name
    }
    return ok;
}

// Keeps the file as it is now under a new name beside it: a second link to it where the file system
// allows one (the save then renames a new file over the old name and the link keeps the old bytes),
// else a copy. "" when neither could be made.
fs::path KeepCopy(const fs::path& file) {
    return FirstFreeName(file, ".bak-" + TimestampForName(), [&file](const fs::path& to) {
        if (::linkat(AT_FDCWD, file.c_str(), AT_FDCWD, to.c_str(), AT_SYMLINK_FOLLOW) == 0) {
            return true;
        }
        if (errno == EEXIST) {
            return false;
        }
        return CopyToNewFile(file, to);
    });
}

// Reads a regular file whole into a text store of its size.
ReadStatus ReadFileInto(const fs::path& file, TextStore& out) {
    out.Clear();
    // Non-blocking so that a pipe put in the file's place cannot hang the program.
    Fd fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0) {
        return (errno == ENOENT || errno == ENOTDIR) ? ReadStatus::Missing : ReadStatus::Unreadable;
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return ReadStatus::Unreadable;
    }
    // The size is only a hint: the file may grow while it is read.
    std::size_t capacity = static_cast<std::size_t>(st.st_size) + 1;
    out.Reserve(capacity);
    std::size_t used = 0;
    for (;;) {
        if (used == capacity) {
            capacity *= 2;
            out.Reserve(capacity);
        }
        const ssize_t n = ::read(fd.get(), out.data() + used, capacity - used);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            out.Clear();
            return ReadStatus::Unreadable;
        }
        if (n == 0) {
            break;
        }
        used += static_cast<std::size_t>(n);
    }
    out.SetSize(used); // the reader gives back what it does not keep
    return ReadStatus::Ok;
}

// Month, day and year as digits between two "/": a date that loads as the same date in the list form
// (3/5/2010 as 03/05/2010) when it is one.
bool PlainDate(std::string_view text) {
    int parts = 1;
    bool digit = false;
    for (char c : text) {
        if (c == '/' && digit && parts < 3) {
            ++parts;
            digit = false;
        } else if (c >= '0' && c <= '9') {
            digit = true;
        } else {
            return false;
        }
    }
    return parts == 3 && digit;
}

bool IsNumber(std::string_view text) {
    if (!text.empty() && text.front() == '-') {
        text.remove_prefix(1);
    }
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

void AppendValue(std::string& out, std::string_view value) {
    const std::size_t start = out.size();
    out.append(value);
    if (!value.empty() && std::memchr(value.data(), '\n', value.size()) != nullptr) {
        std::replace(out.begin() + static_cast<std::ptrdiff_t>(start), out.end(), '\n', ' ');
    }
    out.append(kLineEnd);
}

} // namespace

// Reads and writes the rows in their compact form, so that neither the load nor the save makes a
// string per value.
class DatabaseFileAccess {
public:
    // Replaces the rows and the e-mail address of db by those read from the file's bytes.
    static bool Adopt(TextStore bytes, UrlDatabase& db) {
        UrlDatabase read;
        read.text_ = std::move(bytes);
        const bool altered = Parse(read);
        read.ascending_ = db.ascending_;
        read.Changed();
        db = std::move(read);
        return altered;
    }

    // db is empty and its text store holds the file's bytes. Each address is moved to the front of the
    // store as it is read, so the store ends up holding the addresses only and keeps no second copy of
    // the file. Returns whether anything was dropped or changed.
    static bool Parse(UrlDatabase& db) {
        char* const base = db.text_.data();
        const std::size_t size = db.text_.size();
        std::size_t pos = 0;
        std::size_t kept = 0;
        bool crLfOnly = true;
        bool altered = false;
        bool oddValue = size > 0 && std::memchr(base, '\0', size) != nullptr;

        // A line ends at a line feed; a carriage return just before it, or at the very end of the
        // file, is not part of it.
        auto next = [&](std::string_view& line) {
            if (pos >= size) {
                return false;
            }
            char* start = base + pos;
            // Dates and counts are short lines: look at their few bytes before calling memchr.
            const void* lf = nullptr;
            const std::size_t near = std::min<std::size_t>(16, size - pos);
            for (std::size_t i = 0; i < near; ++i) {
                if (start[i] == '\n') {
                    lf = start + i;
                    break;
                }
            }
            if (lf == nullptr && near < size - pos) {
                lf = std::memchr(start + near, '\n', size - pos - near);
            }
            std::size_t length =
                lf == nullptr ? size - pos : static_cast<std::size_t>(static_cast<const char*>(lf) - start);
            pos += lf == nullptr ? length : length + 1;
            if (length > 0 && start[length - 1] == '\r') {
                --length;
                crLfOnly = crLfOnly && lf != nullptr;
            } else {
                crLfOnly = false;
            }
            line = std::string_view(start, length);
            return true;
        };

        // Records run about 60 bytes; the rows are trimmed to size at the end.
        db.rows_.reserve(size / 48 + 16);
        std::string_view line;
        if (!next(line)) {
            return false;
        }
        for (;;) {
            if (line == kEndOfRecords) {
                if (next(line)) {
                    db.email_.assign(line);
                }
                altered = altered || pos < size;
                break;
            }
            UrlDatabase::Row row;
            if (line.data() != base + kept && !line.empty()) {
                std::memmove(base + kept, line.data(), line.size());
            }
            row.url = kept;
            row.urlLength = static_cast<std::uint32_t>(line.size());
            kept += line.size();
            row.number = static_cast<std::uint32_t>(db.rows_.size() + 1);
            // A record cut short by the end of the file keeps its address; what is missing reads as
            // never sent.
            if (next(line)) {
                if (!line.empty()) {
                    bool exact = false;
                    row.lastSent = UrlDatabase::PackDateLine(line, exact);
                    altered = altered || (!exact && (row.lastSent == 0 || !PlainDate(line)));
                }
                if (next(line)) {
                    oddValue = oddValue || !IsNumber(line);
                    row.submits = db.EncodeSubmits(line, 0);
                }
            }
            db.rows_.push_back(row);
            if (!next(line)) {
                altered = true; // no end marker
                break;
            }
        }
        db.text_.Shrink(kept);
        if (db.rows_.capacity() > db.rows_.size() + db.rows_.size() / 8 + 16) {
            db.rows_.shrink_to_fit();
        }
        // Counts and NUL bytes are kept as read, so they only tell of a file in some other layout
        // (bare addresses, another encoding); a file this program wrote has CR LF on every line.
        return altered || (oddValue && !crLfOnly);
    }

    // Hands the file's bytes to emit a piece at a time.
    template <typename Emit>
    static bool Write(const UrlDatabase& db, const Emit& emit) {
        std::string piece;
        piece.reserve(kSavePiece + 256);
        char number[24];
        for (const UrlDatabase::Row& row : db.rows_) {
            AppendValue(piece, db.text_.view(row.url, row.urlLength));
            if (row.lastSent != 0 && (row.lastSent & UrlDatabase::kOddValue) == 0) {
                const std::string date = db.DecodeLastSent(row.lastSent);
                piece.append(date).append(kLineEnd);
            } else {
                AppendValue(piece, row.lastSent == 0 ? std::string_view()
                                                     : db.odd_[row.lastSent & ~UrlDatabase::kOddValue]);
            }
            if ((row.submits & UrlDatabase::kOddValue) == 0) {
                const auto end = std::to_chars(number, number + sizeof number, row.submits).ptr;
                piece.append(number, end).append(kLineEnd);
            } else {
                AppendValue(piece, db.odd_[row.submits & ~UrlDatabase::kOddValue]);
            }
            if (piece.size() >= kSavePiece) {
                if (!emit(std::string_view(piece))) {
                    return false;
                }
                piece.clear();
            }
        }
        AppendValue(piece, kEndOfRecords);
        AppendValue(piece, db.email_);
        return emit(std::string_view(piece));
    }
};

fs::path DefaultDatabasePath() {
    return DataHome() / "Sendwell" / "linkroll2.dat";
}

std::string SerializeDatabase(const UrlDatabase& db) {
    std::string out;
    DatabaseFileAccess::Write(db, [&out](std::string_view piece) {
        out.append(piece);
        return true;
    });
    return out;
}

bool ParseDatabase(std::string_view bytes, UrlDatabase& db) {
    TextStore store;
    store.Append(bytes);
    return DatabaseFileAccess::Adopt(std::move(store), db);
}

LoadResult LoadDatabase(UrlDatabase& db, const fs::path& file) {
    db.Clear();
    LoadResult result;
    TextStore bytes;
    switch (ReadFileInto(file, bytes)) {
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
    result.altered = DatabaseFileAccess::Adopt(std::move(bytes), db);
    result.status = LoadStatus::Loaded;
    if (result.altered) {
        result.keptCopy = KeepCopy(file);
    }
    return result;
}

std::string LoadNoticeText(const LoadResult& result, const fs::path& file) {
    if (result.status != LoadStatus::Loaded || !result.altered) {
        return {};
    }
    const std::string name = file.filename().string();
    if (result.keptCopy.empty()) {
        return "Part of " + name +
               " could not be read as it was written, and no copy of it could be "
               "made. Quitting will save the list as it is shown now.";
    }
    return "Part of " + name + " could not be read as it was written. The file as it was is kept as " +
           result.keptCopy.string() + ".";
}

bool SaveDatabaseWith(const UrlDatabase& db, const fs::path& file, const FileWriter& writer) {
    // The bytes are made a piece at a time while they are written, so a save never holds a second
    // copy of the database in memory.
    return ReplaceFileAtomically(file, {}, [&db, &writer](int fd, std::string_view) {
        return DatabaseFileAccess::Write(db,
                                         [fd, &writer](std::string_view piece) { return writer(fd, piece); });
    });
}

bool SaveDatabase(const UrlDatabase& db, const fs::path& file) {
    return SaveDatabaseWith(db, file, WriteAllToFd);
}

} // namespace sendwell
