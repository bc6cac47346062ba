#include "app/startup_tasks.h"

#include <string>
#include <system_error>

namespace sendwell::gui {

namespace fs = std::filesystem;

bool UpgradeCheckDue() {
    return false;
}

int DeleteOldAnswerPages(const fs::path& programFolder) {
    const fs::path folder = programFolder / "submitok";
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) {
        return 0;
    }
    int deleted = 0;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        // Answer pages are always written with this extension; anything else belongs to the user.
        if (name.size() < 5 || name.compare(name.size() - 5, 5, ".HTML") != 0) {
            continue;
        }
        std::error_code statError;
        if (!it->is_regular_file(statError)) {
            continue;
        }
        std::error_code removeError;
        if (fs::remove(it->path(), removeError)) {
            ++deleted;
        }
    }
    return deleted;
}

} // namespace sendwell::gui
