// What the last successful IndexNow submission of each address saw of its content, so that an address
// whose content has not changed is not sent again. Kept as a small JSON file beside the database.
#pragma once

#include "core/base/connection_settings.h"
#include "core/base/paths.h"
#include "core/web/transfer.h"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace sendwell {

class Progress;

// The content an address showed: its validators and a SHA-256 of its body (lower-case hex).
struct ContentMark {
    std::string etag;
    std::string lastModified;
    std::string hash;
};

// The strongest evidence both marks have decides: the ETag, else Last-Modified, else the body's hash.
bool SameContent(const ContentMark& before, const ContentMark& now);

// The marks of addresses, fetched side by side through the concurrent fetch engine within its bounds in
// all and per host (limits gives the connect and total time of each request, and the answer bytes when
// it names a bound). An address without a whole 2xx answer maps to none; when stopped, the addresses not
// fetched yet are missing. progress, when given, hears done/total.
std::map<std::string, std::optional<ContentMark>>
FetchContentMarks(const std::vector<std::string>& addresses, const ConnectionSettings& connection,
                  const TransferLimits& limits, const std::atomic<bool>* stop, Progress* progress = nullptr);

// The mark of one address, as FetchContentMarks.
std::optional<ContentMark> FetchContentMark(const std::string& address, const ConnectionSettings& connection,
                                            const TransferLimits& limits, const std::atomic<bool>* stop);

struct SubmittedContent {
    std::string submitted; // UTC time of the submission, "YYYY-MM-DDTHH:MM:SSZ"
    std::optional<ContentMark> mark;
};

// A record file larger than this is not read: a damaged one could otherwise take many times its size
// in memory. A record that would grow past it is not saved.
inline constexpr std::uint64_t kMaxIndexNowStateBytes = 64ULL * 1024 * 1024;

// How a load or save of the record file went. A warning leaves the work done (a damaged file was kept
// aside); an error says why nothing could be read or saved.
struct StateFileNote {
    std::string warning;
    std::string error;
    bool ok() const { return error.empty(); }
};

// Loads and saves hold an advisory lock (flock) on "<file>.lock", so that two runs at once keep each
// other's records.
class IndexNowState {
public:
    // Reads the file into this (empty) state. A missing file gives an empty state. A file that cannot
    // be read as the record (damaged, cut short, larger than maxBytes) is moved aside to
    // "<file>.unreadable-<date>" with a warning, and the state starts empty; anything else (a folder in
    // its place, a file that cannot be moved aside) is an error, the state empty.
    StateFileNote Load(const std::filesystem::path& file, std::uint64_t maxBytes = kMaxIndexNowStateBytes);
    // Reads the file as Load does, but leaves a damaged one where it is (with a warning): for taking the
    // record in elsewhere without changing it.
    StateFileNote Read(const std::filesystem::path& file, std::uint64_t maxBytes = kMaxIndexNowStateBytes);
    // Adds the addresses recorded since the load to the file as it is now and replaces it, so records
    // another run saved meanwhile stay. An error leaves the file as it was.
    StateFileNote Save(const std::filesystem::path& file, std::uint64_t maxBytes = kMaxIndexNowStateBytes);

    const SubmittedContent* Find(const std::string& address) const;
    void Record(const std::string& address, SubmittedContent entry);
    const std::map<std::string, SubmittedContent>& entries() const { return entries_; }

private:
    std::map<std::string, SubmittedContent> entries_;
    std::map<std::string, SubmittedContent> recorded_; // since the load, for the next save
};

} // namespace sendwell
