#include "gui/app/database_preload.h"

#include <future>
#include <mutex>
#include <optional>
#include <system_error>
#include <utility>

namespace sendwell::gui {

namespace {

struct Preload {
    std::filesystem::path file;
    std::future<std::pair<sendwell::UrlDatabase, sendwell::LoadResult>> result;
};

std::mutex g_mutex;
std::optional<Preload> g_preload;

} // namespace

void StartLoadingDatabase(const std::filesystem::path& file) {
    std::lock_guard lock(g_mutex);
    try {
        g_preload = Preload{file, std::async(std::launch::async, [file] {
                                std::pair<sendwell::UrlDatabase, sendwell::LoadResult> read;
                                read.second = sendwell::LoadDatabase(read.first, file);
                                return read;
                            })};
    } catch (const std::system_error&) {
        g_preload.reset();
    }
}

sendwell::LoadResult LoadDatabaseForWindow(sendwell::UrlDatabase& db, const std::filesystem::path& file) {
    std::optional<Preload> preload;
    {
        std::lock_guard lock(g_mutex);
        preload.swap(g_preload);
    }
    if (preload && preload->file == file) {
        auto [read, result] = preload->result.get();
        db.Clear();
        db = std::move(read);
        return result;
    }
    return sendwell::LoadDatabase(db, file);
}

} // namespace sendwell::gui
