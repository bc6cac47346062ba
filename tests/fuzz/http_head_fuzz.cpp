// Answer heads and the addresses they name: any status line gives a status of three digits or none,
// a head read line by line keeps no line ends or blank lines, header values come back trimmed, a Retry-After
// value never asks for a negative wait, and the host rules never hand back more than the address held.
#include "core/web/fetch_engine.h"
#include "core/web/http_head.h"
#include "core/web/url_parts.h"
#include "tests/fuzz/fuzz_support.h"

#include <string>
#include <vector>

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    sendwell::fuzz::Input input(data, size);
    const std::string_view name = input.Text();
    std::vector<std::string> head;
    sendwell::HeadReader reader;
    for (std::string_view line = input.Text(); !line.empty(); line = input.Text()) {
        head.emplace_back(line);
        const int status = sendwell::StatusOfLine(line);
        FUZZ_CHECK(status >= 0 && status <= 999);
        if (reader.Take(line) == sendwell::HeadReader::Step::Complete) {
            FUZZ_CHECK(reader.status() >= 0 && reader.status() <= 999);
            for (const std::string& kept : reader.head()) {
                FUZZ_CHECK(!kept.empty() && kept.back() != '\r' && kept.back() != '\n');
            }
        }
    }
    if (const std::optional<std::string> value = sendwell::FindHeader(head, name)) {
        FUZZ_CHECK(value->empty() || (!IsBlank(value->front()) && !IsBlank(value->back()) &&
                                      value->back() != '\r' && value->back() != '\n'));
    }
    (void)sendwell::ChallengeRealm(head);
    if (const auto wait = sendwell::RetryAfterDelay(name, 1445412450)) {
        FUZZ_CHECK(wait->count() >= 0);
    }

    const std::string_view address = input.Rest();
    FUZZ_CHECK(sendwell::UrlHost(address).size() <= address.size());
    FUZZ_CHECK(sendwell::AddressHost(address).size() <= address.size());
    std::string host;
    int port = 0;
    sendwell::FormPostServer(address, host, port);
    FUZZ_CHECK(host.size() <= address.size() && port >= 1 && port <= 65535);
    return 0;
}
