// Where IndexNow keeps what it last had accepted of each address: the run history, which took in the
// old JSON record once, or that JSON record itself when the history cannot be opened, so that the
// unchanged-content check still works.
#pragma once

#include "core/indexnow/content_state.h"

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace sendwell {

class HistoryStore;

class IndexNowRecord {
public:
    IndexNowRecord();
    ~IndexNowRecord();
    IndexNowRecord(const IndexNowRecord&) = delete;
    IndexNowRecord& operator=(const IndexNowRecord&) = delete;

    // Opens historyFile (empty: none) and, the first time, copies jsonFile's entries into it, leaving
    // jsonFile as it is. Without a history the JSON file is loaded as IndexNowState::Load does; the
    // note's warning then says why the history was not used.
    StateFileNote Load(const std::filesystem::path& historyFile, const std::filesystem::path& jsonFile);

    const SubmittedContent* Find(const std::string& address);
    void Record(const std::string& address, SubmittedContent entry);
    // When an address was last accepted; none when none ever was. A failed read is an error.
    StateFileNote LastAccepted(std::optional<std::int64_t>& at);
    // Writes what was recorded since the last save.
    StateFileNote Save();

    bool inHistory() const { return store_ != nullptr; }

private:
    StateFileNote ImportOnce(const std::filesystem::path& jsonFile);

    std::unique_ptr<HistoryStore> store_;
    std::filesystem::path historyFile_;
    IndexNowState json_;
    std::filesystem::path jsonFile_;
    std::map<std::string, SubmittedContent> seen_;     // looked up in the history, found or not
    std::map<std::string, SubmittedContent> recorded_; // since the last save
};

} // namespace sendwell
