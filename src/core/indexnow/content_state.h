// What the last successful IndexNow submission of each address saw of its content, so that an address
// whose content has not changed is not sent again. Kept as a small JSON file beside the database.
#pragma once

#include "core/base/connection_settings.h"
#include "core/base/paths.h"
#include "core/web/transfer.h"

#include <atomic>
#include <filesystem>
#include <map>
#include <optional>
#include <string>

namespace sendwell {

// The content an address showed: its validators and a SHA-256 of its body (lower-case hex).
struct ContentMark {
    std::string etag;
    std::string lastModified;
    std::string hash;
};

// The strongest evidence both marks have decides: the ETag, else Last-Modified, else the body's hash.
bool SameContent(const ContentMark& before, const ContentMark& now);

// One GET of address through the transfer routine; none when no 2xx answer came whole.
std::optional<ContentMark> FetchContentMark(const std::string& address, const ConnectionSettings& connection,
                                            const TransferLimits& limits, const std::atomic<bool>* stop);

struct SubmittedContent {
    std::string submitted; // UTC time of the submission, "YYYY-MM-DDTHH:MM:SSZ"
    std::optional<ContentMark> mark;
};

class IndexNowState {
public:
    // A missing or unreadable file gives an empty state: every address counts as changed.
    static IndexNowState Load(const std::filesystem::path& file);
    // Replaces the file whole; false when it could not be written.
    bool Save(const std::filesystem::path& file) const;

    const SubmittedContent* Find(const std::string& address) const;
    void Record(const std::string& address, SubmittedContent entry);

private:
    std::map<std::string, SubmittedContent> entries_;
};

} // namespace sendwell
