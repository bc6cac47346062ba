// The keyword research readers on any search answer: at most the allowed number of result addresses,
// each an http address, and a merged keyword list without repeats, short words or tag brackets.
#include "core/research/keyword_suggestion.h"
#include "tests/fuzz/fuzz_support.h"

#include <set>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    sendwell::fuzz::Input input(data, size);
    const std::string ownDomain(input.Text());
    const std::string_view page = input.Rest();

    const std::vector<std::string> results =
        sendwell::ResultAddresses(sendwell::fuzz::Lines(page), ownDomain);
    FUZZ_CHECK(results.size() <= static_cast<std::size_t>(sendwell::kMostResults));
    for (const std::string& address : results) {
        FUZZ_CHECK(address.find("http://") != std::string::npos);
    }

    sendwell::MergedKeywords keywords;
    keywords.Merge(page);
    keywords.Merge(page);
    std::set<std::string> seen;
    for (const std::string& word : keywords.words()) {
        FUZZ_CHECK(word.size() >= 3 && word.find_first_of("<>") == std::string::npos);
        FUZZ_CHECK(seen.insert(word).second);
    }
    return 0;
}
