#include "core/urldb/database_session.h"

#include <utility>

namespace sendwell {

DatabaseSession::DatabaseSession(std::filesystem::path file) : file_(std::move(file)) {}

const LoadResult& DatabaseSession::Load(const Loader& loader) {
    loaded_ = loader ? loader(db_, file_) : LoadDatabase(db_, file_);
    return loaded_;
}

std::string DatabaseSession::SaveFailureText() const {
    return "The URL database could not be saved to " + file_.string() + ".";
}

} // namespace sendwell
