// The meta-tag writer on any page: a written tag is found again by the same rule that decides whether a
// page has one, and a page with no place for a tag comes back unchanged.
#include "core/meta/meta_writer.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    sendwell::fuzz::Input input(data, size);
    const auto mode = static_cast<sendwell::InsertMode>(input.Byte() % 3);
    // A tag name is one word; the program only writes KEYWORDS and DESCRIPTION.
    const std::string name = input.Byte() % 2 == 0 ? "KEYWORDS" : "DESCRIPTION";
    const std::string content(input.Text());
    const std::string_view page = input.Rest();

    const sendwell::RewrittenPage rewritten = sendwell::RewriteMetaTag(page, name, content, mode);
    switch (rewritten.change) {
    case sendwell::TagChange::Written:
        FUZZ_CHECK(sendwell::HasMetaTag(rewritten.text, name));
        break;
    case sendwell::TagChange::NoPlace:
        FUZZ_CHECK(rewritten.text == page);
        break;
    case sendwell::TagChange::Dropped:
        break;
    }
    return 0;
}
