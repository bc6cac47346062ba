// The meta scanner on two pages in a row (its half-matches carry over): whatever the bytes, it returns
// without reading out of bounds. Unfinished content is carried into every later call, so a value may
// repeat text read by earlier calls, but never more than all the calls together have read.
#include "core/meta/meta_scanner.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    sendwell::fuzz::Input input(data, size);
    const std::string name(input.Text());
    const std::string tag(input.Text());
    const std::string_view rest = input.Rest();
    const std::size_t cut = rest.empty() ? 0 : input.Byte() % (rest.size() + 1);
    const std::vector<std::string> first = sendwell::fuzz::Lines(rest.substr(0, cut));
    const std::vector<std::string> second = sendwell::fuzz::Lines(rest.substr(cut));

    const std::size_t bound = 2 * 5 * size; // two pages, five calls each
    sendwell::MetaScanner scanner;
    for (const auto* page : {&first, &second}) {
        FUZZ_CHECK(scanner.GetTitle(*page).size() <= bound);
        FUZZ_CHECK(scanner.GetTagText(*page, page, tag).size() <= bound);
        FUZZ_CHECK(scanner.GetKeywords(*page).size() <= bound);
        FUZZ_CHECK(scanner.GetDescription(*page).size() <= bound);
        FUZZ_CHECK(scanner.GetMetaContent(*page, name).size() <= bound);
    }
    return 0;
}
