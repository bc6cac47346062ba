#include "core/urldb/database_file.h"

#include "core/base/dates.h"
#include "core/base/unique_fd.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <optional>
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

} // namespace

fs::path SetAsideUnreadable(const fs::path& file) {
    return FirstFreeName(file, std::string(kUnreadableMark) + TimestampForName(),
                         [&file](const fs::path& to) { return RenameNoReplace(file, to); });
}

namespace {

// Copies the file's bytes to a new file at to (never replacing one), flushed to disk.
bool CopyToNewFile(const fs::path& from, const fs::path& to) {
    UniqueFd in(::open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (in.get() < 0) {
        return false;
    }
    UniqueFd out(::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
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
    return FirstFreeName(file, std::string(kKeptCopyMark) + TimestampForName(), [&file](const fs::path& to) {
        if (::linkat(AT_FDCWD, file.c_str(), AT_FDCWD, to.c_str(), AT_SYMLINK_FOLLOW) == 0) {
            return true;
        }
        if (errno == EEXIST) {
            return false;
        }
        return CopyToNewFile(file, to);
    });
}

// Lines of a file (or of a text in memory) read a piece at a time into one buffer, which stays in the
// cache while it is parsed: a line ends at a line feed, and a carriage return just before it, or at the
// very end of the file, is not part of it. fill(to, room) gives up to room bytes, 0 at the end and -1
// on a read error.
// The first line feed in the bytes, or null. Dates and counts are short lines, so the first 32 bytes
// are looked at eight at a time before memchr is called.
const char* FindLineFeed(const char* bytes, std::size_t size) {
    constexpr std::uint64_t kOnes = 0x0101010101010101ULL, kHighs = 0x8080808080808080ULL;
    std::size_t i = 0;
    for (; std::endian::native == std::endian::little && i + 8 <= size && i < 32; i += 8) {
        std::uint64_t word;
        std::memcpy(&word, bytes + i, 8);
        word ^= kOnes * '\n'; // a line feed becomes a zero byte
        // The lowest byte marked is exactly the first zero byte (bytes load little-end first).
        if (const std::uint64_t zero = (word - kOnes) & ~word & kHighs; zero != 0) {
            return bytes + i + static_cast<std::size_t>(__builtin_ctzll(zero)) / 8;
        }
    }
    return i < size ? static_cast<const char*>(std::memchr(bytes + i, '\n', size - i)) : nullptr;
}

template <typename Fill>
class PieceReader {
public:
    explicit PieceReader(Fill fill)
        : fill_(std::move(fill)), buffer_(new char[kSavePiece]), capacity_(kSavePiece) {}

    // The next line, valid until the next call; false at the end (or on a read error, see failed()).
    bool Next(std::string_view& line) {
        for (;;) {
            char* start = buffer_.get() + begin_;
            const std::size_t available = end_ - begin_;
            const char* lf = FindLineFeed(start, available);
            if (lf != nullptr || (ended_ && available > 0)) {
                std::size_t length = lf != nullptr ? static_cast<std::size_t>(lf - start) : available;
                begin_ += lf != nullptr ? length + 1 : length;
                if (length > 0 && start[length - 1] == '\r') {
                    --length;
                    crLfOnly_ = crLfOnly_ && lf != nullptr;
                } else {
                    crLfOnly_ = false;
                }
                line = std::string_view(start, length);
                return true;
            }
            if (ended_) {
                return false;
            }
            Refill(); // at the end, the next round hands out a last line without a line feed
        }
    }

    // Whether any byte follows the lines read so far.
    bool MoreBytes() {
        while (begin_ == end_ && !ended_) {
            Refill();
        }
        return begin_ < end_;
    }

    bool failed() const { return failed_; }
    bool crLfOnly() const { return crLfOnly_; }
    // Bytes handed out as lines so far.
    std::size_t consumed() const { return dropped_ + begin_; }
    bool sawNul() const { return sawNul_; }

private:
    // Keeps the unread part, at the front of the buffer, and reads more behind it; a line longer than
    // the buffer doubles it. False once the end is reached.
    bool Refill() {
        if (begin_ > 0) {
            std::memmove(buffer_.get(), buffer_.get() + begin_, end_ - begin_);
            end_ -= begin_;
            dropped_ += begin_;
            begin_ = 0;
        }
        if (end_ == capacity_) {
            std::unique_ptr<char[]> grown(new char[capacity_ * 2]);
            std::memcpy(grown.get(), buffer_.get(), end_);
            buffer_ = std::move(grown);
            capacity_ *= 2;
        }
        const long n = fill_(buffer_.get() + end_, capacity_ - end_);
        if (n <= 0) {
            failed_ = n < 0;
            ended_ = true;
            return false;
        }
        sawNul_ = sawNul_ || std::memchr(buffer_.get() + end_, '\0', static_cast<std::size_t>(n)) != nullptr;
        end_ += static_cast<std::size_t>(n);
        return true;
    }

    Fill fill_;
    std::unique_ptr<char[]> buffer_;
    std::size_t capacity_;
    std::size_t begin_ = 0, end_ = 0;
    std::size_t dropped_ = 0;
    bool ended_ = false, failed_ = false;
    bool crLfOnly_ = true, sawNul_ = false;
};

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
    // Replaces the rows and the e-mail address of db by those read from the lines; sizeHint is the
    // number of bytes expected. Returns whether anything was dropped or changed, or nothing at all on
    // a read error (db is then left alone).
    template <typename Fill>
    static std::optional<bool> Read(PieceReader<Fill>& in, std::size_t sizeHint, UrlDatabase& db) {
        UrlDatabase read;
        const bool altered = Parse(in, sizeHint, read);
        if (in.failed()) {
            return std::nullopt;
        }
        read.ascending_ = db.ascending_;
        read.Changed();
        db = std::move(read);
        return altered;
    }

    // Each address goes to the text store as it is read, which is sized for the whole file up front
    // and trimmed at the end, so the store holds the addresses only.
    template <typename Fill>
    static bool Parse(PieceReader<Fill>& in, std::size_t sizeHint, UrlDatabase& db) {
        bool altered = false;
        bool oddValue = false;
        db.text_.Reserve(sizeHint + 1);
        // Room for the rows is made once the first thousand show how long a record runs.
        constexpr std::size_t kSampleRows = 1024;
        db.rows_.reserve(kSampleRows);
        std::string_view line;
        if (!in.Next(line)) {
            return false;
        }
        for (;;) {
            if (line == kEndOfRecords) {
                if (in.Next(line)) {
                    db.email_.assign(line);
                }
                altered = altered || in.MoreBytes();
                break;
            }
            UrlDatabase::Row row;
            row.url = db.text_.Append(line);
            row.urlLength = static_cast<std::uint32_t>(line.size());
            row.number = static_cast<std::uint32_t>(db.rows_.size() + 1);
            // A record cut short by the end of the file keeps its address; what is missing reads as
            // never sent.
            if (in.Next(line)) {
                if (!line.empty()) {
                    bool exact = false;
                    row.lastSent = UrlDatabase::PackDateLine(line, exact);
                    altered = altered || (!exact && (row.lastSent == 0 || !PlainDate(line)));
                }
                if (in.Next(line)) {
                    oddValue = oddValue || !IsNumber(line);
                    row.submits = db.EncodeSubmits(line, 0);
                }
            }
            db.rows_.push_back(row);
            if (db.rows_.size() == kSampleRows && sizeHint > in.consumed()) {
                db.rows_.reserve(kSampleRows +
                                 (sizeHint - in.consumed()) / (in.consumed() / kSampleRows) * 21 / 20);
            }
            if (!in.Next(line)) {
                altered = true; // no end marker
                break;
            }
        }
        db.text_.Shrink(db.text_.size());
        if (db.rows_.capacity() > db.rows_.size() + db.rows_.size() / 8 + 16) {
            db.rows_.shrink_to_fit();
        }
        // Counts and NUL bytes are kept as read, so they only tell of a file in some other layout
        // (bare addresses, another encoding); a file this program wrote has CR LF on every line.
        return altered || ((oddValue || in.sawNul()) && !in.crLfOnly());
    }

    // Hands the file's bytes to emit a piece at a time.
    template <typename Emit>
    static bool Write(const UrlDatabase& db, const Emit& emit) {
        // Plain rows (an address, a date in the list form or none, a plain count) are put straight
        // into a buffer; anything else goes through AppendValue.
        constexpr std::size_t kPlainRowRoom = 2 + 10 + 2 + 10 + 2;
        std::string piece(kSavePiece + 64, '\0');
        std::size_t used = 0;
        auto flush = [&emit, &piece, &used] {
            const bool ok = emit(std::string_view(piece.data(), used));
            used = 0;
            return ok;
        };
        for (const UrlDatabase::Row& row : db.rows_) {
            const std::string_view url = db.text_.view(row.url, row.urlLength);
            const bool plain = ((row.lastSent | row.submits) & UrlDatabase::kOddValue) == 0 &&
                               (url.empty() || std::memchr(url.data(), '\n', url.size()) == nullptr);
            if (used + url.size() + kPlainRowRoom > piece.size() && used > 0 && !flush()) {
                return false;
            }
            if (!plain || url.size() + kPlainRowRoom > piece.size()) {
                std::string row_text;
                AppendValue(row_text, url);
                AppendValue(row_text, db.DecodeLastSent(row.lastSent));
                AppendValue(row_text, db.DecodeSubmits(row.submits));
                if (used + row_text.size() > piece.size() && used > 0 && !flush()) {
                    return false;
                }
                if (row_text.size() > piece.size()) {
                    if (!emit(std::string_view(row_text))) {
                        return false;
                    }
                } else {
                    std::memcpy(piece.data() + used, row_text.data(), row_text.size());
                    used += row_text.size();
                }
                continue;
            }
            char* out = piece.data() + used;
            if (!url.empty()) {
                std::memcpy(out, url.data(), url.size());
                out += url.size();
            }
            *out++ = '\r';
            *out++ = '\n';
            if (row.lastSent != 0) {
                UrlDatabase::FormatListDate(row.lastSent, out);
                out += 10;
            }
            *out++ = '\r';
            *out++ = '\n';
            out = std::to_chars(out, out + 10, row.submits).ptr;
            *out++ = '\r';
            *out++ = '\n';
            used = static_cast<std::size_t>(out - piece.data());
        }
        std::string tail;
        AppendValue(tail, kEndOfRecords);
        AppendValue(tail, db.email_);
        if (used + tail.size() > piece.size() && used > 0 && !flush()) {
            return false;
        }
        piece.replace(used, piece.size() - used, tail);
        return emit(std::string_view(piece.data(), used + tail.size()));
    }
};

std::string SerializeDatabase(const UrlDatabase& db) {
    std::string out;
    DatabaseFileAccess::Write(db, [&out](std::string_view piece) {
        out.append(piece);
        return true;
    });
    return out;
}

bool ParseDatabase(std::string_view bytes, UrlDatabase& db) {
    PieceReader in([&bytes](char* to, std::size_t room) {
        const std::size_t n = std::min(room, bytes.size());
        if (n > 0) {
            std::memcpy(to, bytes.data(), n);
        }
        bytes.remove_prefix(n);
        return static_cast<long>(n);
    });
    return DatabaseFileAccess::Read(in, bytes.size(), db).value_or(false);
}

LoadResult LoadDatabase(UrlDatabase& db, const fs::path& file) {
    db.Clear();
    LoadResult result;
    // Non-blocking so that a pipe put in the file's place cannot hang the program.
    UniqueFd fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat st {};
    if (fd.get() < 0 && (errno == ENOENT || errno == ENOTDIR)) {
        result.status = LoadStatus::Missing;
        return result;
    }
    std::optional<bool> altered;
    if (fd.get() >= 0 && ::fstat(fd.get(), &st) == 0 && S_ISREG(st.st_mode)) {
        PieceReader in([&fd](char* to, std::size_t room) {
            ssize_t n;
            do {
                n = ::read(fd.get(), to, room);
            } while (n < 0 && errno == EINTR);
            return static_cast<long>(n);
        });
        altered = DatabaseFileAccess::Read(in, static_cast<std::size_t>(st.st_size), db);
    }
    if (!altered) {
        result.status = LoadStatus::Unreadable;
        result.setAside = SetAsideUnreadable(file);
        return result;
    }
    result.status = LoadStatus::Loaded;
    result.altered = *altered;
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
