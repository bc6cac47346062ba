#include "core/indexnow/content_state.h"

#include "core/base/atomic_file.h"
#include "core/base/sha256.h"
#include "core/urldb/database_file.h"
#include "core/web/fetch_engine.h"
#include "core/web/page_fetcher.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <nlohmann/json.hpp>
#include <sys/file.h>
#include <unistd.h>

namespace sendwell {

namespace fs = std::filesystem;

namespace {

std::string Text(const nlohmann::json& object, const char* name) {
    auto it = object.find(name);
    return it != object.end() && it->is_string() ? it->get<std::string>() : std::string();
}

std::string ErrnoText() {
    return std::strerror(errno);
}

std::string SizeText(std::uint64_t bytes) {
    constexpr std::uint64_t kMegabyte = 1024 * 1024;
    return bytes % kMegabyte == 0 ? std::to_string(bytes / kMegabyte) + " MB"
                                  : std::to_string(bytes) + " bytes";
}

// Whether arrays and objects nest deeper than limit (brackets within strings do not count). The
// record nests three deep; a file of brackets alone would take many times its size once parsed.
bool NestedDeeperThan(std::string_view text, int limit) {
    int depth = 0;
    bool inString = false;
    bool escaped = false;
    for (const char c : text) {
        if (inString) {
            if (escaped) {
                escaped = false;
            } else if (c == '\\') {
                escaped = true;
            } else if (c == '"') {
                inString = false;
            }
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > limit) {
                return true;
            }
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return false;
}

// An exclusive advisory lock on "<file>.lock" for as long as it lives, as the settings store takes.
class StateLock {
public:
    explicit StateLock(const fs::path& file) {
        const fs::path path = fs::path(file).concat(".lock");
        std::error_code ec;
        if (path.has_parent_path()) {
            fs::create_directories(path.parent_path(), ec);
        }
        fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        int rc = -1;
        if (fd_ >= 0) {
            do {
                rc = ::flock(fd_, LOCK_EX);
            } while (rc != 0 && errno == EINTR);
        }
        if (rc != 0) {
            error_ = "The IndexNow record " + file.string() + " cannot be locked (" + path.string() +
                     "): " + ErrnoText() + ".";
        }
    }
    ~StateLock() {
        if (fd_ >= 0) {
            ::close(fd_); // releases the lock; the file stays, as the database's does
        }
    }
    StateLock(const StateLock&) = delete;
    StateLock& operator=(const StateLock&) = delete;
    const std::string& error() const { return error_; }

private:
    int fd_ = -1;
    std::string error_;
};

// Fills entries from the record's text; false when the text is not the record.
bool ParseRecords(const std::string& text, std::map<std::string, SubmittedContent>& entries) {
    if (NestedDeeperThan(text, 3)) {
        return false;
    }
    const nlohmann::json document = nlohmann::json::parse(text, nullptr, false);
    if (!document.is_object() || !document.contains("addresses") || !document["addresses"].is_object()) {
        return false;
    }
    for (const auto& [address, entry] : document["addresses"].items()) {
        if (!entry.is_object()) {
            continue;
        }
        SubmittedContent content;
        content.submitted = Text(entry, "submitted");
        ContentMark mark{Text(entry, "etag"), Text(entry, "lastModified"), Text(entry, "sha256")};
        if (!mark.etag.empty() || !mark.lastModified.empty() || !mark.hash.empty()) {
            content.mark = mark;
        }
        entries[address] = std::move(content);
    }
    return true;
}

// Reads the record file into entries (left empty unless it reads whole); see IndexNowState::Load. A
// damaged file is moved aside only when setAside says so; else it is left as it is, with a warning.
StateFileNote ReadRecords(const fs::path& file, std::uint64_t maxBytes,
                          std::map<std::string, SubmittedContent>& entries, bool setAside = true) {
    entries.clear();
    StateFileNote note;
    std::error_code ec;
    const fs::file_status status = fs::status(file, ec);
    if (status.type() == fs::file_type::not_found) {
        return note;
    }
    if (status.type() == fs::file_type::directory) {
        note.error = file.string() + " is a folder, not the IndexNow record; move it away so that the record "
                                     "can be kept.";
        return note;
    }
    if (status.type() != fs::file_type::regular) {
        note.error = file.string() + " is not a regular file, so the IndexNow record cannot be kept there.";
        return note;
    }
    std::string damage;
    std::string text;
    if (const std::uintmax_t size = fs::file_size(file, ec); !ec && size > maxBytes) {
        damage = "it is larger than " + SizeText(maxBytes);
    } else if (ReadWholeFile(file, text) != ReadStatus::Ok) {
        note.error = "The IndexNow record " + file.string() + " cannot be read: " + ErrnoText() + ".";
        return note;
    } else if (text.size() > maxBytes) {
        damage = "it is larger than " + SizeText(maxBytes);
    } else if (!ParseRecords(text, entries)) {
        damage = "it is not the record's JSON, or it is cut short";
    }
    if (damage.empty()) {
        return note;
    }
    entries.clear();
    if (!setAside) {
        note.warning = "The IndexNow record " + file.string() + " could not be read (" + damage +
                       "); it was left as it is.";
        return note;
    }
    const fs::path aside = SetAsideUnreadable(file);
    if (aside.empty()) {
        note.error = "The IndexNow record " + file.string() + " cannot be read (" + damage +
                     ") nor moved aside: " + ErrnoText() + ".";
        return note;
    }
    note.warning = "The IndexNow record " + file.string() + " could not be read (" + damage +
                   "); it was kept as " + aside.string() + " and a new record was started.";
    return note;
}

// The record as the file holds it.
std::string RecordText(const std::map<std::string, SubmittedContent>& entries) {
    nlohmann::json addresses = nlohmann::json::object();
    for (const auto& [address, content] : entries) {
        nlohmann::json entry = {{"submitted", content.submitted}};
        if (content.mark) {
            entry["etag"] = content.mark->etag;
            entry["lastModified"] = content.mark->lastModified;
            entry["sha256"] = content.mark->hash;
        }
        addresses[address] = std::move(entry);
    }
    const nlohmann::json document = {{"addresses", std::move(addresses)}};
    // Addresses and validators are whatever the servers and the database held: never fail on bytes that
    // are not UTF-8.
    return document.dump(1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

} // namespace

bool SameContent(const ContentMark& before, const ContentMark& now) {
    if (!before.etag.empty() && !now.etag.empty()) {
        return before.etag == now.etag;
    }
    if (!before.lastModified.empty() && !now.lastModified.empty()) {
        return before.lastModified == now.lastModified;
    }
    return !before.hash.empty() && before.hash == now.hash;
}

std::map<std::string, std::optional<ContentMark>>
FetchContentMarks(const std::vector<std::string>& addresses, const ConnectionSettings& connection,
                  const TransferLimits& limits, const std::atomic<bool>* stop, Progress* progress) {
    FetchSetup setup;
    setup.connection = connection;
    setup.limits = ReadFetchLimits();
    setup.limits.connect = limits.connect;
    setup.limits.total = limits.total;
    if (limits.maxBody != 0) {
        setup.limits.maxBody = limits.maxBody;
    }
    setup.headers = PageRequestSetup(connection, limits).getHeaders;
    setup.stop = stop;
    setup.progress = progress;
    FetchEngine engine(std::move(setup));
    for (std::size_t i = 0; i < addresses.size(); ++i) {
        engine.Add({addresses[i], /*readBody=*/true, i});
    }
    std::map<std::string, std::optional<ContentMark>> marks;
    engine.Run([&](FetchResult&& result) {
        std::optional<ContentMark>& mark = marks[result.url];
        // A page longer than the bound has no whole content to compare: it counts as changed.
        if (!result.outcome.ok() || result.status < 200 || result.status > 299 || result.bodyCut) {
            return;
        }
        Sha256 sha;
        sha.Update(result.body);
        std::optional<std::string> hash = sha.Finish();
        if (!hash) {
            return;
        }
        mark = ContentMark{FindHeader(result.head, "ETag").value_or(""),
                           FindHeader(result.head, "Last-Modified").value_or(""), std::move(*hash)};
    });
    return marks;
}

std::optional<ContentMark> FetchContentMark(const std::string& address, const ConnectionSettings& connection,
                                            const TransferLimits& limits, const std::atomic<bool>* stop) {
    auto marks = FetchContentMarks({address}, connection, limits, stop);
    auto it = marks.find(address);
    return it != marks.end() ? std::move(it->second) : std::nullopt;
}

StateFileNote IndexNowState::Load(const fs::path& file, std::uint64_t maxBytes) {
    entries_.clear();
    recorded_.clear();
    StateLock lock(file);
    if (!lock.error().empty()) {
        return {{}, lock.error()};
    }
    return ReadRecords(file, maxBytes, entries_);
}

StateFileNote IndexNowState::Read(const fs::path& file, std::uint64_t maxBytes) {
    entries_.clear();
    recorded_.clear();
    StateLock lock(file);
    if (!lock.error().empty()) {
        return {{}, lock.error()};
    }
    return ReadRecords(file, maxBytes, entries_, /*setAside=*/false);
}

StateFileNote IndexNowState::Save(const fs::path& file, std::uint64_t maxBytes) {
    StateLock lock(file);
    if (!lock.error().empty()) {
        return {{}, lock.error()};
    }
    // The file as it is now, which another run may have saved to since the load.
    std::map<std::string, SubmittedContent> merged;
    StateFileNote note = ReadRecords(file, maxBytes, merged);
    if (!note.ok()) {
        return note;
    }
    if (!note.warning.empty()) {
        merged = entries_; // it was damaged meanwhile: what this run read stays
    }
    for (const auto& [address, content] : recorded_) {
        merged[address] = content;
    }
    const std::string text = RecordText(merged);
    if (text.size() > maxBytes) {
        note.error = "The IndexNow record would grow past " + SizeText(maxBytes) + "; " + file.string() +
                     " was left as it was.";
        return note;
    }
    if (!ReplaceFileAtomically(file, text)) {
        note.error = "The IndexNow record " + file.string() + " could not be written: " + ErrnoText() + ".";
        return note;
    }
    entries_ = std::move(merged);
    recorded_.clear();
    return note;
}

const SubmittedContent* IndexNowState::Find(const std::string& address) const {
    auto it = entries_.find(address);
    return it == entries_.end() ? nullptr : &it->second;
}

void IndexNowState::Record(const std::string& address, SubmittedContent entry) {
    recorded_[address] = entry;
    entries_[address] = std::move(entry);
}

} // namespace sendwell
