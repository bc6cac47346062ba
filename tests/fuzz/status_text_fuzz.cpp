// Status texts: any status code with any status information gives a text without a NUL byte, and the
// report for any HTTP status names it.
#include "core/web/status_check.h"
#include "core/web/status_session.h"
#include "tests/fuzz/fuzz_support.h"

#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    sendwell::fuzz::Input input(data, size);
    unsigned long code = 0;
    if (const std::string_view bytes = input.Take(sizeof code); !bytes.empty()) {
        std::memcpy(&code, bytes.data(), bytes.size());
    }
    const auto status = static_cast<int>(static_cast<std::uint32_t>(code));
    const std::string_view info = input.Rest();

    if (const std::optional<std::string> text = sendwell::FormatStatusText(code, info)) {
        FUZZ_CHECK(text->find('\0') == std::string::npos);
    }
    if (const std::optional<std::string> text = sendwell::FormatStatusText(code % 128, info)) {
        FUZZ_CHECK(text->find('\0') == std::string::npos);
    }
    const std::string words = sendwell::StatusCodeText(status);
    const std::string report = sendwell::StatusReportText(status, words);
    FUZZ_CHECK(report.find("\n\nCode " + std::to_string(status) + "\n\n" + words) != std::string::npos);
    return 0;
}
