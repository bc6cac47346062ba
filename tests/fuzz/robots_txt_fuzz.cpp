// robots.txt: any bytes are read, and the answers keep their fixed points: robots.txt itself is always
// allowed, the same question gets the same answer, an unreachable one disallows all.
#include "core/audit/robots_txt.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    sendwell::fuzz::Input input(data, size);
    const std::string path(input.Text());
    const std::string_view text = input.Rest();
    const sendwell::RobotsTxt robots = sendwell::RobotsTxt::Parse(text);
    FUZZ_CHECK(robots.Allows("/robots.txt"));
    const bool allowed = robots.Allows(path);
    FUZZ_CHECK(robots.Allows(path) == allowed);
    FUZZ_CHECK(robots.sitemaps().size() <= text.size());
    FUZZ_CHECK(path == "robots.txt" || !sendwell::RobotsTxt::Unreachable().Allows("/" + path));

    return 0;
}
