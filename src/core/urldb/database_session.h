// The URL database as a front end holds it for as long as it runs: the lock, the load with what to say
// about an altered file, and the saves. The window's application and each command-line command own one.
#pragma once

#include "core/urldb/database_file.h"
#include "core/urldb/database_lock.h"
#include "core/urldb/url_database.h"

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace sendwell {

class DatabaseSession {
public:
    explicit DatabaseSession(std::filesystem::path file = DefaultDatabasePath());

    // Takes the lock under the holder's name; see DatabaseLock::TryAcquire.
    LockResult Lock(std::string_view holderName) { return lock_.TryAcquire(file_, holderName); }
    DatabaseLock& lock() { return lock_; }

    // Fills the database from the file, through loader when one is given (a load started earlier).
    using Loader = std::function<LoadResult(UrlDatabase& db, const std::filesystem::path& file)>;
    const LoadResult& Load(const Loader& loader = {});
    const LoadResult& loaded() const { return loaded_; }
    // What to tell the user once about the load; "" when there is nothing to say.
    std::string LoadNotice() const { return LoadNoticeText(loaded_, file_); }

    // Writes the database; false when the file could not be written, the old one then stays intact.
    bool Save() const { return SaveDatabase(db_, file_); }
    // What to say when Save failed.
    std::string SaveFailureText() const;

    UrlDatabase& db() { return db_; }
    const UrlDatabase& db() const { return db_; }
    const std::filesystem::path& file() const { return file_; }

private:
    std::filesystem::path file_;
    DatabaseLock lock_;
    UrlDatabase db_;
    LoadResult loaded_;
};

} // namespace sendwell
