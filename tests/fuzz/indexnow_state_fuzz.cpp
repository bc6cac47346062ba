// The IndexNow record file: whatever bytes are in its place, a load either reads them (and a save then
// gives back the same records), or moves the file aside byte for byte with a warning; nothing is lost.
#include "core/indexnow/content_state.h"
#include "tests/fuzz/fuzz_support.h"

#include <fstream>

namespace {

namespace fs = std::filesystem;

std::string FileBytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    static unsigned long run = 0;
    const fs::path folder = sendwell::fuzz::ScratchFolder() / std::to_string(run++);
    fs::create_directories(folder);
    const fs::path file = folder / "indexnow-state.json";
    std::ofstream(file, std::ios::binary) << bytes;

    // A small bound, so that the size rule is met as often as the others.
    constexpr std::uint64_t kBound = 4096;
    sendwell::IndexNowState state;
    const sendwell::StateFileNote loaded = state.Load(file, kBound);
    FUZZ_CHECK(loaded.ok());
    if (!loaded.warning.empty()) {
        FUZZ_CHECK(!fs::exists(file));
        std::size_t aside = 0;
        for (const auto& entry : fs::directory_iterator(folder)) {
            if (entry.path().filename().string().starts_with("indexnow-state.json.unreadable-")) {
                FUZZ_CHECK(FileBytes(entry.path()) == bytes);
                ++aside;
            }
        }
        FUZZ_CHECK(aside == 1);
    } else {
        FUZZ_CHECK(bytes.size() <= kBound);
        // A record that read whole saves and reads back as the same record.
        state.Record("https://fuzz.test/", {"2026-01-01T00:00:00Z", std::nullopt});
        const sendwell::StateFileNote saved = state.Save(file, 1 << 20);
        FUZZ_CHECK(saved.ok() && saved.warning.empty());
        sendwell::IndexNowState again;
        FUZZ_CHECK(again.Load(file, 1 << 20).warning.empty());
        FUZZ_CHECK(again.Find("https://fuzz.test/") != nullptr);
    }
    fs::remove_all(folder);
    return 0;
}
