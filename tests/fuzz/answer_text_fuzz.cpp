// Stored answers: the script disabling and the error-page scan give the same result whether the answer
// arrives whole or in pieces of any size.
#include "core/submit/answer_text.h"
#include "tests/fuzz/fuzz_support.h"

#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    sendwell::fuzz::Input input(data, size);
    std::vector<std::size_t> cuts;
    for (std::uint8_t n = input.Byte() % 16; n > 0; --n) {
        cuts.push_back(1 + input.Byte() % 32);
    }
    const std::string_view text = input.Rest();

    sendwell::ScriptDisabler disabler;
    sendwell::ErrorMarkerScan scan;
    std::string streamed;
    std::string_view rest = text;
    for (std::size_t i = 0; !rest.empty(); ++i) {
        const std::string_view piece = rest.substr(0, cuts.empty() ? rest.size() : cuts[i % cuts.size()]);
        disabler.Feed(piece, streamed);
        scan.Feed(piece);
        rest.remove_prefix(piece.size());
    }
    disabler.Finish(streamed);

    FUZZ_CHECK(streamed == sendwell::DisableScripts(text));
    FUZZ_CHECK(scan.found() == sendwell::LooksLikeErrorPage(text));
    return 0;
}
