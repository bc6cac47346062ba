#include "cli/database_access.h"

#include "cli/command.h"

#include <nlohmann/json.hpp>
#include <optional>

namespace sendwell::cli {

namespace {

// Names the holder only when it said who it is.
std::string LockRefusal(const DatabaseLock& lock) {
    if (lock.holderName() == kCommandLineHolder) {
        return "the URL database is being changed by another sendwell-cli command (process " +
               std::to_string(lock.holderPid()) + "); try again when it has finished";
    }
    if (lock.holderName() == kWindowHolder) {
        return kOpenInWindowText;
    }
    return "the URL database is in use by another program; try again when it has finished";
}

// The digits of "#N" or "N"; nothing for any other text.
std::optional<std::string_view> RowDigits(std::string_view name) {
    if (!name.empty() && name.front() == '#') {
        name.remove_prefix(1);
    }
    if (name.empty() || name.find_first_not_of("0123456789") != std::string_view::npos) {
        return std::nullopt;
    }
    return name;
}

// The address as the Add command would store it.
std::string StoredForm(const std::string& text) {
    UrlDatabase scratch;
    scratch.AppendUrl(text);
    return scratch.recordCount() == 1 ? scratch.rows()[0].url : text;
}

} // namespace

DatabaseAccess::DatabaseAccess(Mode mode) {
    if (mode == Mode::Write) {
        switch (session_.Lock(kCommandLineHolder)) {
        case LockResult::Acquired:
            break;
        case LockResult::Busy:
            throw CommandFailure(kExitData, LockRefusal(session_.lock()));
        case LockResult::Failed:
            throw CommandFailure(kExitData,
                                 "the URL database cannot be locked for writing: " + session_.lock().error());
        }
    }
    const LoadResult& loaded = session_.Load();
    if (loaded.status == LoadStatus::Unreadable) {
        std::string text = "the URL database " + file().string() + " could not be read";
        if (!loaded.setAside.empty()) {
            text += "; it was moved aside to " + loaded.setAside.string();
        }
        throw CommandFailure(kExitData, text);
    }
}

void DatabaseAccess::Save() {
    if (!session_.Save()) {
        throw CommandFailure(kExitData, "the URL database could not be saved to " + file().string() +
                                            "; the file is as it was before");
    }
}

std::vector<std::size_t> RowsNamed(const UrlDatabase& db, const std::vector<std::string>& names,
                                   bool allMatches) {
    std::vector<std::size_t> rows;
    for (const std::string& name : names) {
        if (const std::optional<std::string_view> digits = RowDigits(name)) {
            const std::size_t number = digits->size() <= 18 ? std::stoull(std::string(*digits)) : 0;
            if (number < 1 || number > db.recordCount()) {
                throw CommandFailure(kExitUsage, "there is no row " + name + " in the URL database (it has " +
                                                     std::to_string(db.recordCount()) + " rows)");
            }
            rows.push_back(number - 1);
            continue;
        }
        const std::size_t before = rows.size();
        for (const std::string& candidate : {name, StoredForm(name)}) {
            for (std::size_t i = 0; i < db.recordCount() && (allMatches || rows.size() == before); ++i) {
                if (db.rows()[i].url == candidate) {
                    rows.push_back(i);
                }
            }
            if (rows.size() != before) {
                break;
            }
        }
        if (rows.size() == before) {
            throw CommandFailure(kExitUsage, "\"" + name + "\" is not in the URL database");
        }
    }
    return rows;
}

bool IsRowNumber(std::string_view name) {
    return RowDigits(name).has_value();
}

nlohmann::json RowJson(const UrlDatabase& db, std::size_t row) {
    const UrlRecord& record = db.rows()[row];
    return {{"number", row + 1},
            {"url", record.url},
            {"last_sent", record.lastSent},
            {"submits", record.submits}};
}

void RequireAllOrAddresses(bool all, const std::vector<std::string>& targets, const std::string& verb) {
    if (all == !targets.empty()) {
        throw CommandFailure(kExitUsage, "give either --all or the addresses to " + verb);
    }
}

std::vector<std::string> AddressesNamed(const std::vector<std::string>& targets, bool all) {
    std::optional<DatabaseAccess> access;
    std::vector<std::string> out;
    if (all) {
        access.emplace(DatabaseAccess::Mode::Read);
        for (const auto& row : access->db().rows()) {
            out.push_back(row.url);
        }
        if (out.empty()) {
            throw CommandFailure(kExitUsage, "the URL database holds no addresses");
        }
        return out;
    }
    for (const std::string& target : targets) {
        if (!IsRowNumber(target)) {
            out.push_back(target);
            continue;
        }
        if (!access) {
            access.emplace(DatabaseAccess::Mode::Read);
        }
        out.push_back(access->db().rows()[RowsNamed(access->db(), {target}, false).front()].url);
    }
    return out;
}

} // namespace sendwell::cli
