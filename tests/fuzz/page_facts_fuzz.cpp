// One page read and checked: whatever the bytes of its head and body, it ends without reading out of
// bounds, and the facts agree with each other and with where the page came from.
#include "core/audit/page_checks.h"
#include "core/audit/page_facts.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    sendwell::fuzz::Input input(data, size);
    sendwell::FetchResult result;
    result.url = "https://127.0.0.1:8443/dir/page";
    result.finalUrl = result.url;
    result.status = 200 + input.Byte() % 3 * 100;
    result.head = sendwell::fuzz::Lines(input.Text());
    result.body = std::string(input.Rest());
    const sendwell::SiteScope scope({result.url});

    const sendwell::PageFacts facts = sendwell::ReadPage(result, scope);
    FUZZ_CHECK(facts.words <= result.body.size());
    FUZZ_CHECK((facts.textHash == 0) == (facts.words == 0));
    FUZZ_CHECK(facts.canonicals.size() == facts.canonicalHrefs.size());
    for (const std::string& link : facts.internalLinks) {
        FUZZ_CHECK(scope.Contains(link) && link.find('#') == std::string::npos);
    }
    for (const std::string& link : facts.externalLinks) {
        FUZZ_CHECK(!scope.Contains(link));
    }
    for (const sendwell::Finding& finding : sendwell::CheckPage(facts)) {
        FUZZ_CHECK(finding.address == result.url);
    }
    return 0;
}
