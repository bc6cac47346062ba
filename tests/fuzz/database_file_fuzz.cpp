// The data file: whatever the bytes, loading, saving and loading again gives the same database, and
// saving that gives the same bytes.
#include "core/urldb/database_file.h"
#include "tests/fuzz/fuzz_support.h"

#include <fstream>

namespace {

namespace fs = std::filesystem;
using sendwell::UrlDatabase;

std::string FileBytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool SameDatabase(const UrlDatabase& a, const UrlDatabase& b) {
    if (a.email() != b.email() || a.recordCount() != b.recordCount()) {
        return false;
    }
    for (std::size_t i = 0; i < a.recordCount(); ++i) {
        const sendwell::UrlRecord& x = a.rows()[i];
        const sendwell::UrlRecord& y = b.rows()[i];
        if (x.number != y.number || x.url != y.url || x.lastSent != y.lastSent || x.submits != y.submits) {
            return false;
        }
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const fs::path folder = sendwell::fuzz::ScratchFolder();
    sendwell::fuzz::EmptyFolder(folder);
    const fs::path file = folder / "linkroll2.dat";
    {
        std::ofstream out(file, std::ios::binary);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }

    UrlDatabase first;
    FUZZ_CHECK(sendwell::LoadDatabase(first, file).status == sendwell::LoadStatus::Loaded);
    FUZZ_CHECK(sendwell::SaveDatabase(first, file));
    const std::string saved = FileBytes(file);

    UrlDatabase second;
    FUZZ_CHECK(sendwell::LoadDatabase(second, file).status == sendwell::LoadStatus::Loaded);
    FUZZ_CHECK(SameDatabase(first, second));
    FUZZ_CHECK(sendwell::SaveDatabase(second, file));
    FUZZ_CHECK(FileBytes(file) == saved);
    return 0;
}
