// The upgrade page reader on any lines: it returns, and a digest it keeps is always 64 lower-case hex
// digits (it decides whether a downloaded installer may run).
#include "core/upgrade/upgrade_page.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::string> lines =
        sendwell::fuzz::Lines(std::string_view(reinterpret_cast<const char*>(data), size));
    sendwell::UpgradeAnnouncement announced;
    sendwell::ReadUpgradePage(lines, announced);
    FUZZ_CHECK(announced.sha256.empty() || announced.sha256.size() == 64);
    for (char c : announced.sha256) {
        FUZZ_CHECK((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'));
    }
    FUZZ_CHECK(announced.link.size() <= size && announced.description.size() <= size + lines.size());
    return 0;
}
