#include "tests/gui/support/window_test_support.h"

#include "core/urldb/database_file.h"

#include <system_error>

namespace sendwell::test {

namespace fs = std::filesystem;

ScopedWorkingDirectory::ScopedWorkingDirectory(const fs::path& dir) : previous_(fs::current_path()) {
    fs::current_path(dir);
}

ScopedWorkingDirectory::~ScopedWorkingDirectory() {
    std::error_code ec;
    fs::current_path(previous_, ec);
}

namespace {

fs::path MakeFolder(const fs::path& folder) {
    fs::create_directories(folder);
    return folder;
}

} // namespace

ScratchWorld::ScratchWorld()
    : home_(root_.path()), programFolder_(MakeFolder(root_ / "program")), cwd_(programFolder_) {}

fs::path ScratchWorld::databaseFile() const {
    return sendwell::DefaultDatabasePath();
}

void ScratchWorld::writeDatabase(const std::string& bytes) const {
    fs::create_directories(databaseFile().parent_path());
    WriteFileBytes(databaseFile(), bytes);
}

std::string ScratchWorld::readDatabase() const {
    return ReadFileBytes(databaseFile());
}

std::string DatabaseBytes(const std::vector<std::vector<std::string>>& records, const std::string& email) {
    std::string bytes;
    for (const auto& record : records) {
        for (const std::string& field : record) {
            bytes += field + "\r\n";
        }
    }
    bytes += "EOS\r\n" + email + "\r\n";
    return bytes;
}

} // namespace sendwell::test
