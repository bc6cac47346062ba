#include "core/urldb/url_import.h"

#include "core/urldb/line_reader.h"
#include "core/urldb/url_database.h"
#include "core/web/url_parts.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_set>

namespace sendwell {

namespace {

bool Contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

bool IsSeparator(char c) {
    return c == ' ' || c == ',';
}

constexpr std::string_view kSeparators = " ,";

void ParseLine(std::string_view line, std::vector<std::string>& out) {
    if (!Contains(line, "www.") && !Contains(line, "http")) {
        return;
    }
    if (!Contains(line, ",")) {
        out.emplace_back(line); // taken whole, blanks and all
        return;
    }
    // Several addresses: tokens between runs of spaces and commas, each needing only "www" or "http".
    while (!line.empty()) {
        const std::size_t start = line.find_first_not_of(kSeparators);
        if (start == std::string_view::npos) {
            break;
        }
        line.remove_prefix(start);
        const std::size_t end = line.find_first_of(kSeparators);
        const std::string_view token = line.substr(0, end);
        if (Contains(token, "www") || Contains(token, "http")) {
            out.emplace_back(token);
        }
        line.remove_prefix(token.size());
    }
}

std::string_view WithoutFinalCr(std::string_view line) {
    if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }
    return line;
}

// Which of the import's marks a text holds, for a text that arrives in pieces: the last three bytes
// are kept so that a mark split between two pieces is still seen.
class MarkWatch {
public:
    void Add(std::string_view piece) {
        if (piece.empty()) {
            return;
        }
        char joined[6];
        std::memcpy(joined, tail_, tailSize_);
        const std::size_t head = std::min<std::size_t>(piece.size(), 3);
        std::memcpy(joined + tailSize_, piece.data(), head);
        Look(std::string_view(joined, tailSize_ + head));
        Look(piece);

        const std::size_t total = tailSize_ + piece.size();
        const std::size_t keep = std::min<std::size_t>(total, 3);
        char next[3];
        for (std::size_t i = 0; i < keep; ++i) {
            const std::size_t at = total - keep + i; // index into tail_ + piece
            next[i] = at < tailSize_ ? tail_[at] : piece[at - tailSize_];
        }
        std::memcpy(tail_, next, keep);
        tailSize_ = keep;
    }

    bool www = false;
    bool wwwDot = false;
    bool http = false;
    bool comma = false;

private:
    void Look(std::string_view text) {
        www = www || Contains(text, "www");
        wwwDot = wwwDot || Contains(text, "www.");
        http = http || Contains(text, "http");
        comma = comma || Contains(text, ",");
    }

    char tail_[3] = {};
    std::size_t tailSize_ = 0;
};

// One pass over the source. Lines that fit in memory go through ParseLine; a longer one is only
// watched for its marks, and read again afterwards when it turns out to hold addresses.
class Scanner {
public:
    Scanner(ImportSource& source, const ImportControl& control, std::vector<std::string>& out)
        : source_(source), control_(control), limits_(control.limits), out_(out) {
        limits_.blockBytes = std::max<std::size_t>(limits_.blockBytes, 1);
    }

    ImportEnd Run() {
        std::string block(limits_.blockBytes, '\0');
        const std::uint64_t size = source_.Size();
        std::uint64_t pos = 0;
        while (!failed_) {
            if (Stopped()) {
                return ImportEnd::Cancelled;
            }
            const std::size_t got = source_.ReadAt(pos, block.data(), block.size());
            if (got == 0) {
                break;
            }
            ScanBlock(std::string_view(block.data(), got), pos);
            pos += got;
            if (control_.progress != nullptr) {
                control_.progress->SetSteps(pos, size);
            }
        }
        if (cancelled_) {
            return ImportEnd::Cancelled;
        }
        if (!failed_) {
            EndLine(pos);
        }
        return Stopped() ? ImportEnd::Cancelled : ImportEnd::Finished;
    }

private:
    bool Stopped() {
        cancelled_ =
            cancelled_ || (control_.stop != nullptr && control_.stop->load(std::memory_order_relaxed));
        return cancelled_;
    }

    void ScanBlock(std::string_view data, std::uint64_t base) {
        std::size_t i = 0;
        while (i < data.size() && !failed_ && !cancelled_) {
            const void* lf = std::memchr(data.data() + i, '\n', data.size() - i);
            const std::size_t end =
                lf == nullptr ? data.size()
                              : static_cast<std::size_t>(static_cast<const char*>(lf) - data.data());
            const std::string_view piece = data.substr(i, end - i);
            if (lf == nullptr) {
                Hold(piece);
                return;
            }
            if (!longLine_ && carry_.empty()) {
                ParseLine(WithoutFinalCr(piece), out_); // the common case: the whole line is in the block
            } else {
                Hold(piece);
                EndLine(base + end);
            }
            lineStart_ = base + end + 1;
            i = end + 1;
        }
    }

    // Keeps the start of a line whose end is in a later block, or only its marks once it is too long.
    void Hold(std::string_view piece) {
        if (!longLine_ && carry_.size() + piece.size() <= limits_.lineBytes) {
            carry_.append(piece);
            return;
        }
        if (!longLine_) {
            longLine_ = true;
            watch_ = MarkWatch();
            lastByte_ = 0;
            Watch(carry_);
            std::string().swap(carry_);
        }
        Watch(piece);
    }

    void Watch(std::string_view piece) {
        watch_.Add(piece);
        if (!piece.empty()) {
            lastByte_ = piece.back();
        }
    }

    // The line that began at lineStart_ ends at offset end (its line feed, or the end of the text).
    void EndLine(std::uint64_t end) {
        if (!longLine_) {
            ParseLine(WithoutFinalCr(carry_), out_);
            carry_.clear();
            return;
        }
        longLine_ = false;
        if (lastByte_ == '\r') {
            --end;
        }
        if (!watch_.wwwDot && !watch_.http) {
            return;
        }
        if (!watch_.comma) {
            std::string line;
            if (ReadAgain(lineStart_, end, line)) {
                out_.push_back(std::move(line));
            }
            return;
        }
        SplitAgain(lineStart_, end);
    }

    // Appends the bytes [begin, end) to text; false when the source gave fewer or the import stopped.
    bool ReadAgain(std::uint64_t begin, std::uint64_t end, std::string& text) {
        text.reserve(text.size() + static_cast<std::size_t>(end - begin));
        while (begin < end) {
            if (Stopped()) {
                return false;
            }
            const std::size_t want =
                static_cast<std::size_t>(std::min<std::uint64_t>(end - begin, limits_.blockBytes));
            const std::size_t used = text.size();
            text.resize(used + want);
            const std::size_t got = source_.ReadAt(begin, text.data() + used, want);
            text.resize(used + got);
            if (got != want) {
                failed_ = true;
                return false;
            }
            begin += got;
        }
        return true;
    }

    // The tokens of a long line known to hold a mark. A token too long to keep is watched, then read
    // a third time if it holds "www" or "http".
    void SplitAgain(std::uint64_t begin, std::uint64_t end) {
        std::string buffer;
        std::string token;
        MarkWatch marks;
        bool tokenLong = false;
        std::uint64_t tokenStart = 0;
        std::uint64_t tokenEnd = 0;
        auto endToken = [&] {
            if (tokenEnd == tokenStart) {
                return;
            }
            if (marks.www || marks.http) {
                if (!tokenLong) {
                    out_.push_back(std::move(token));
                } else {
                    std::string again;
                    if (ReadAgain(tokenStart, tokenEnd, again)) {
                        out_.push_back(std::move(again));
                    }
                }
            }
            token.clear();
            marks = MarkWatch();
            tokenLong = false;
            tokenStart = tokenEnd = 0;
        };
        while (begin < end && !failed_) {
            if (!ReadAgain(begin, std::min<std::uint64_t>(end, begin + limits_.blockBytes), buffer)) {
                return;
            }
            const std::string_view data = buffer;
            std::size_t i = 0;
            while (i < data.size() && !failed_ && !cancelled_) {
                if (IsSeparator(data[i])) {
                    endToken();
                    ++i;
                    continue;
                }
                const std::size_t stop = std::min(data.find_first_of(kSeparators, i), data.size());
                const std::string_view run = data.substr(i, stop - i);
                if (tokenEnd == tokenStart) {
                    tokenStart = begin + i;
                }
                tokenEnd = begin + stop;
                marks.Add(run);
                if (!tokenLong && token.size() + run.size() <= limits_.lineBytes) {
                    token.append(run);
                } else if (!tokenLong) {
                    tokenLong = true;
                    std::string().swap(token);
                }
                i = stop;
            }
            begin += data.size();
            buffer.clear();
        }
        if (!failed_ && !cancelled_) {
            endToken();
        }
    }

    ImportSource& source_;
    const ImportControl& control_;
    ImportLimits limits_;
    std::vector<std::string>& out_;

    std::uint64_t lineStart_ = 0;
    std::string carry_;
    bool longLine_ = false;
    MarkWatch watch_;
    char lastByte_ = 0;
    bool failed_ = false;
    bool cancelled_ = false;
};

class FileImportSource : public ImportSource {
public:
    FileImportSource(int fd, std::uint64_t size) : fd_(fd), size_(size) {}
    std::size_t ReadAt(std::uint64_t offset, char* buffer, std::size_t size) override {
        std::size_t done = 0;
        while (done < size) {
            const ssize_t n = ::pread(fd_, buffer + done, size - done, static_cast<off_t>(offset + done));
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                break;
            }
            done += static_cast<std::size_t>(n);
        }
        return done;
    }
    std::uint64_t Size() const override { return size_; }

private:
    int fd_;
    std::uint64_t size_;
};

} // namespace

std::size_t TextImportSource::ReadAt(std::uint64_t offset, char* buffer, std::size_t size) {
    if (offset >= text_.size()) {
        return 0;
    }
    const std::size_t n = std::min<std::size_t>(size, text_.size() - static_cast<std::size_t>(offset));
    std::memcpy(buffer, text_.data() + offset, n);
    return n;
}

std::vector<std::string> ParseImportText(std::string_view text) {
    std::vector<std::string> addresses;
    LineReader reader(text);
    std::string_view line;
    while (reader.Next(line)) {
        ParseLine(line, addresses);
    }
    return addresses;
}

ImportEnd ImportAddresses(ImportSource& source, std::vector<std::string>& addresses,
                          const ImportControl& control) {
    const ImportEnd end = Scanner(source, control, addresses).Run();
    if (end == ImportEnd::Cancelled) {
        addresses.clear();
    }
    return end;
}

ImportEnd ImportFile(const std::filesystem::path& file, std::vector<std::string>& addresses,
                     const ImportControl& control) {
    addresses.clear();
    // Non-blocking, so that a pipe given as the file cannot hang the import; it is refused below.
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return ImportEnd::Finished;
    }
    ImportEnd end = ImportEnd::Finished;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        try {
            FileImportSource source(fd, static_cast<std::uint64_t>(st.st_size));
            end = ImportAddresses(source, addresses, control);
        } catch (const std::bad_alloc&) {
            addresses.clear(); // more than memory holds: import nothing rather than end the program
        }
    }
    ::close(fd);
    return end;
}

std::vector<std::string> ParseImportFile(const std::filesystem::path& file) {
    std::vector<std::string> addresses;
    ImportFile(file, addresses);
    return addresses;
}

std::vector<std::string> AddressesNotIn(const UrlDatabase& db, const std::vector<std::string>& addresses,
                                        std::size_t* skipped) {
    std::unordered_set<std::string_view> known;
    known.reserve(db.recordCount() + addresses.size());
    for (std::size_t row = 0; row < db.recordCount(); ++row) {
        known.insert(db.Url(row));
    }
    std::vector<std::string> fresh;
    fresh.reserve(addresses.size());
    std::size_t left = 0;
    for (const std::string& address : addresses) {
        std::string stored = StoredUrl(address);
        if (stored.empty() || known.count(stored) > 0) {
            ++left;
            continue;
        }
        fresh.push_back(std::move(stored));
        known.insert(fresh.back()); // fresh never grows past its reserve, so the view stays valid
    }
    if (skipped != nullptr) {
        *skipped = left;
    }
    return fresh;
}

} // namespace sendwell
