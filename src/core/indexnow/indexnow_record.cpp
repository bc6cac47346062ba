#include "core/indexnow/indexnow_record.h"

#include "core/base/dates.h"
#include "core/history/history_store.h"

#include <algorithm>
#include <vector>

namespace sendwell {

namespace fs = std::filesystem;

namespace {

IndexNowEntry EntryOf(const std::string& address, const SubmittedContent& content) {
    IndexNowEntry entry;
    entry.address = address;
    entry.accepted = ParseUtcTime(content.submitted).value_or(0);
    if (content.mark) {
        entry.etag = content.mark->etag;
        entry.lastModified = content.mark->lastModified;
        entry.hash = content.mark->hash;
    }
    return entry;
}

SubmittedContent ContentOf(const IndexNowEntry& entry) {
    SubmittedContent content;
    content.submitted = UtcTimeText(entry.accepted);
    if (!entry.etag.empty() || !entry.lastModified.empty() || !entry.hash.empty()) {
        content.mark = ContentMark{entry.etag, entry.lastModified, entry.hash};
    }
    return content;
}

} // namespace

IndexNowRecord::IndexNowRecord() = default;
IndexNowRecord::~IndexNowRecord() = default;

StateFileNote IndexNowRecord::Load(const fs::path& historyFile, const fs::path& jsonFile) {
    store_.reset();
    seen_.clear();
    recorded_.clear();
    historyFile_ = historyFile;
    jsonFile_ = jsonFile;
    std::string why;
    if (!historyFile.empty()) {
        HistoryStore::Opened opened = HistoryStore::Open(historyFile);
        store_ = std::move(opened.store);
        if (store_) {
            StateFileNote note = ImportOnce(jsonFile);
            if (store_) {
                return note;
            }
            why = note.error;
        } else {
            why = opened.outcome.text;
        }
    }
    StateFileNote note = json_.Load(jsonFile);
    if (!why.empty()) {
        const std::string fallback = "The history could not be used for IndexNow's record (" + why + "); " +
                                     jsonFile.string() + " was used instead.";
        note.warning = note.warning.empty() ? fallback : fallback + " " + note.warning;
    }
    return note;
}

StateFileNote IndexNowRecord::ImportOnce(const fs::path& jsonFile) {
    StateFileNote note;
    const HistoryRead<bool> imported = store_->IndexNowImported();
    if (imported.outcome.ok() && imported.value) {
        return note;
    }
    Outcome written = imported.outcome;
    if (written.ok()) {
        IndexNowState old;
        note = old.Read(jsonFile);
        if (!note.ok()) {
            // The history serves; the old record is taken in by a later run, as nothing is marked.
            return {note.error, {}};
        }
        std::vector<IndexNowEntry> entries;
        entries.reserve(old.entries().size());
        for (const auto& [address, content] : old.entries()) {
            entries.push_back(EntryOf(address, content));
        }
        written = store_->SetIndexNowEntries(entries);
        if (written.ok()) {
            written = store_->MarkIndexNowImported();
        }
    }
    if (!written.ok()) {
        store_.reset();
        return {{}, written.text};
    }
    return note;
}

StateFileNote IndexNowRecord::LastAccepted(std::optional<std::int64_t>& at) {
    at.reset();
    if (store_) {
        const HistoryRead<std::optional<std::int64_t>> last = store_->LastIndexNowAccepted();
        if (!last.outcome.ok()) {
            return {{}, last.outcome.text};
        }
        at = last.value;
        return {};
    }
    for (const auto& [address, content] : json_.entries()) {
        if (const std::optional<std::int64_t> submitted = ParseUtcTime(content.submitted)) {
            at = std::max(at.value_or(*submitted), *submitted);
        }
    }
    return {};
}

const SubmittedContent* IndexNowRecord::Find(const std::string& address) {
    if (!store_) {
        return json_.Find(address);
    }
    if (auto it = recorded_.find(address); it != recorded_.end()) {
        return &it->second;
    }
    auto [it, added] = seen_.try_emplace(address);
    if (added) {
        const HistoryRead<std::optional<IndexNowEntry>> read = store_->IndexNowEntryOf(address);
        if (read.outcome.ok() && read.value) {
            it->second = ContentOf(*read.value);
        }
    }
    // An address never accepted (or not readable now) has no submission time: it counts as new.
    return it->second.submitted.empty() ? nullptr : &it->second;
}

void IndexNowRecord::Record(const std::string& address, SubmittedContent entry) {
    if (!store_) {
        json_.Record(address, std::move(entry));
        return;
    }
    recorded_[address] = std::move(entry);
}

StateFileNote IndexNowRecord::Save() {
    if (!store_) {
        return json_.Save(jsonFile_);
    }
    std::vector<IndexNowEntry> entries;
    entries.reserve(recorded_.size());
    for (const auto& [address, content] : recorded_) {
        entries.push_back(EntryOf(address, content));
    }
    const Outcome written = store_->SetIndexNowEntries(entries);
    if (!written.ok()) {
        return {{},
                "IndexNow's record in " + historyFile_.string() + " could not be written: " + written.text};
    }
    for (auto& [address, content] : recorded_) {
        seen_[address] = std::move(content);
    }
    recorded_.clear();
    return {};
}

} // namespace sendwell
