// The upgrade page reader on any lines: it returns, and a signature it keeps is always the 64 bytes an
// Ed25519 signature has (it decides, with a trusted key, whether a downloaded installer may run).
#include "core/upgrade/upgrade_page.h"
#include "core/upgrade/upgrade_signature.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::string> lines =
        sendwell::fuzz::Lines(std::string_view(reinterpret_cast<const char*>(data), size));
    sendwell::UpgradeAnnouncement announced;
    sendwell::ReadUpgradePage(lines, announced);
    FUZZ_CHECK(announced.signature.empty() || announced.signature.size() == sendwell::kSignatureBytes);
    FUZZ_CHECK(announced.link.size() <= size && announced.description.size() <= size + lines.size());
    // Each line is also read as a key, as the settings file's would be: it only has to return.
    for (const std::string& line : lines) {
        (void)sendwell::IsUsablePublicKey(line);
    }
    return 0;
}
