// The "Ra&nk" command: the user's keywords put into the search addresses of fourteen engines, whose
// result pages the results window shows. The program itself fetches nothing here.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace sendwell {

inline constexpr const char* kRankKeywordsCaption = "Enter Search Keywords";
inline constexpr const char* kRankKeywordsText =
    "Enter search engine keywords that should show your web page in the listing.";
inline constexpr const char* kRankResultsCaption = "Search Engine Check Results";
inline constexpr const char* kRankResultsText = "Select a search engine to view results.";

struct RankEngine {
    std::string name;
    std::string address;
};

// The edit field's first text: the address without its first seven characters ("http://"); "" for an
// address that short.
std::string RankKeywordsPrefill(std::string_view lastSelectedAddress);

// The fourteen engines in list order, each with its search address for keywords (inserted unchanged;
// the browser encodes what an address cannot carry).
std::vector<RankEngine> RankEngines(std::string_view keywords);

// Deletes the files some engines' pages leave in folder; other files stay, failures are ignored.
void DeleteRankLeftovers(const std::filesystem::path& folder);

} // namespace sendwell
