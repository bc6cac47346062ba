// Answer file names: whatever the address, the file lies directly inside the answer store, its name
// fits the file system (255 bytes) and is well-formed UTF-8, and the review reads the site and the
// engine back from it.
#include "core/results/answer_store.h"
#include "core/submit/engine_catalogue.h"
#include "tests/fuzz/fuzz_support.h"

#include <fstream>

namespace {

bool WellFormedUtf8(std::string_view s) {
    for (std::size_t i = 0; i < s.size();) {
        const auto lead = static_cast<unsigned char>(s[i]);
        std::size_t length = lead < 0x80 ? 1 : (lead & 0xE0) == 0xC0 ? 2 : (lead & 0xF0) == 0xE0 ? 3 : 4;
        if ((lead >= 0x80 && lead < 0xC2) || lead > 0xF4 || i + length > s.size()) {
            return false;
        }
        std::uint32_t code = length == 1 ? lead : lead & (0x7F >> length);
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(s[i + k]);
            if ((next & 0xC0) != 0x80) {
                return false;
            }
            code = (code << 6) | (next & 0x3F);
        }
        const std::uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < least[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
            return false;
        }
        i += length;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    sendwell::fuzz::Input input(data, size);
    const auto& engine = sendwell::EngineCatalogue()[input.Byte() % sendwell::kEngineCount];
    const std::string_view address = input.Rest();
    const std::filesystem::path program = sendwell::fuzz::ScratchFolder();
    sendwell::fuzz::EmptyFolder(program);

    const std::filesystem::path file = sendwell::NameAnswerFile(address, engine.storeName, program);
    const std::string name = file.filename().string();
    FUZZ_CHECK(file.parent_path() == sendwell::AnswerStorePath(program));
    FUZZ_CHECK(!name.empty() && name != "." && name != "..");
    FUZZ_CHECK(name.size() <= 255);
    FUZZ_CHECK(WellFormedUtf8(name));
    FUZZ_CHECK(name.find('\0') == std::string::npos);

    // The answer is written under that name; the review lists it with what was sent where.
    FUZZ_CHECK(std::ofstream(file).good());
    const std::vector<sendwell::StoredAnswer> stored = sendwell::ListStoredAnswers(program);
    FUZZ_CHECK(stored.size() == 1 && stored[0].path == file.string());
    const std::string site = sendwell::AnswerSitePiece(address);
    FUZZ_CHECK(site.compare(0, stored[0].site.size(), stored[0].site) == 0);
    std::string storeName(engine.storeName);
    std::erase(storeName, ' ');
    FUZZ_CHECK(stored[0].storeName == storeName);
    return 0;
}
