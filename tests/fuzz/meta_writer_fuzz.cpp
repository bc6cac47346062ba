// The meta-tag writer on any page: a written tag is found again by the same rule that decides whether a
// page has one, a page with no place for a tag comes back unchanged, and a replacement touches nothing
// but META tags of the name: every other token of the page comes back as it was.
#include "core/base/ascii_case.h"
#include "core/meta/meta_writer.h"
#include "tests/fuzz/fuzz_support.h"

#include <set>

namespace {

// Where the reader's tokens start, and the end of the page.
std::set<std::size_t> TokenBounds(std::string_view page) {
    std::set<std::size_t> bounds{0, page.size()};
    sendwell::TokenReader reader(page);
    std::size_t at = 0;
    for (std::string token = reader.ReadToken(); !token.empty(); token = reader.ReadToken()) {
        FUZZ_CHECK(page.substr(at, token.size()) == token);
        at += token.size();
        bounds.insert(at);
    }
    FUZZ_CHECK(at == page.size());
    return bounds;
}

bool ContainsNoCase(std::string_view text, std::string_view word) {
    for (std::size_t i = 0; i + word.size() <= text.size(); ++i) {
        if (sendwell::AsciiStartsWithNoCase(text.substr(i), word)) {
            return true;
        }
    }
    return false;
}

void CheckReplacement(std::string_view page, const std::string& name,
                      const sendwell::RewrittenPage& rewritten) {
    const std::set<std::size_t> bounds = TokenBounds(page);
    const std::string linePrefix = "<META NAME=\"" + name + "\" CONTENT=\"";
    std::string expected;
    std::size_t copied = 0;
    bool anyLine = false;
    for (const sendwell::ReplacedTag& tag : rewritten.replaced) {
        // Whole tokens, in order, each a META tag naming the name somewhere.
        FUZZ_CHECK(tag.offset >= copied && tag.length > 0 && tag.offset + tag.length <= page.size());
        FUZZ_CHECK(bounds.count(tag.offset) == 1 && bounds.count(tag.offset + tag.length) == 1);
        const std::string_view replaced = page.substr(tag.offset, tag.length);
        FUZZ_CHECK(sendwell::AsciiStartsWithNoCase(replaced, "<meta"));
        FUZZ_CHECK(replaced.size() == 5 || replaced[5] == ' ' || replaced[5] == '\t' || replaced[5] == '\n' ||
                   replaced[5] == '\r' || replaced[5] == '\f' || replaced[5] == '/' || replaced[5] == '>');
        FUZZ_CHECK(ContainsNoCase(replaced, name));
        FUZZ_CHECK(tag.line.empty() || tag.line.starts_with(linePrefix));
        anyLine = anyLine || !tag.line.empty();
        expected += page.substr(copied, tag.offset - copied);
        expected += tag.line;
        copied = tag.offset + tag.length;
    }
    expected += page.substr(copied);
    FUZZ_CHECK(rewritten.text == expected);
    FUZZ_CHECK(rewritten.change == (anyLine ? sendwell::TagChange::Written : sendwell::TagChange::Dropped));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    sendwell::fuzz::Input input(data, size);
    const auto mode = static_cast<sendwell::InsertMode>(input.Byte() % 3);
    // A tag name is one word; the program only writes KEYWORDS and DESCRIPTION.
    const std::string name = input.Byte() % 2 == 0 ? "KEYWORDS" : "DESCRIPTION";
    const std::string content(input.Text());
    const std::string_view page = input.Rest();

    const sendwell::RewrittenPage rewritten = sendwell::RewriteMetaTag(page, name, content, mode);
    if (!rewritten.replaced.empty()) {
        CheckReplacement(page, name, rewritten);
    }
    switch (rewritten.change) {
    case sendwell::TagChange::Written:
        FUZZ_CHECK(sendwell::HasMetaTag(rewritten.text, name));
        break;
    case sendwell::TagChange::NoPlace:
        FUZZ_CHECK(rewritten.text == page);
        break;
    case sendwell::TagChange::Dropped:
        FUZZ_CHECK(!rewritten.replaced.empty());
        break;
    }
    return 0;
}
