// Import: streamed in blocks of any size, with any limit on the line kept in memory, the addresses are
// those of the whole text parsed at once, and no byte is read more than three times.
#include "core/urldb/url_import.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

class CountingSource : public sendwell::TextImportSource {
public:
    using TextImportSource::TextImportSource;
    std::size_t ReadAt(std::uint64_t offset, char* buffer, std::size_t size) override {
        const std::size_t n = TextImportSource::ReadAt(offset, buffer, size);
        read += n;
        return n;
    }
    std::uint64_t read = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    sendwell::fuzz::Input input(data, size);
    sendwell::ImportControl control;
    control.limits.blockBytes = 1 + input.Byte() % 64;
    control.limits.lineBytes = input.Byte() % 64;
    const std::string_view text = input.Rest();

    CountingSource source(text);
    std::vector<std::string> streamed;
    FUZZ_CHECK(sendwell::ImportAddresses(source, streamed, control) == sendwell::ImportEnd::Finished);
    FUZZ_CHECK(streamed == sendwell::ParseImportText(text));
    FUZZ_CHECK(source.read <= 3 * text.size());
    return 0;
}
