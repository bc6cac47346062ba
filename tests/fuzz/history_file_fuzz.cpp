// The run history file: whatever bytes are in its place, opening it either takes it (and every run and
// request in it reads, and a new run can be written) or moves it aside byte for byte and starts anew.
#include "core/history/history_store.h"
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
    const fs::path file = folder / "history.sqlite";
    std::ofstream(file, std::ios::binary) << bytes;

    sendwell::HistoryStore::Opened opened = sendwell::HistoryStore::Open(file);
    FUZZ_CHECK(opened.store != nullptr);
    if (!opened.keptAside.empty()) {
        FUZZ_CHECK(FileBytes(opened.keptAside) == bytes);
    }
    sendwell::HistoryStore& store = *opened.store;
    // Reading a damaged page fails the read, never the process.
    const auto runs = store.Runs();
    for (const sendwell::RunRecord& r : runs.value) {
        (void)store.Requests(r.id);
        (void)store.AuditFindings(r.id);
    }
    (void)store.LastIndexNowAccepted();
    (void)store.BeginRun(sendwell::RunKind::Audit, 1);
    fs::remove_all(folder);
    return 0;
}
