// The "&Popularity" and "Ad&vertise" commands: addresses of outside services the desktop opens.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace sendwell {

inline constexpr const char* kNothingToCheckCaption = "Nothing to Check";
inline constexpr const char* kNothingToCheckText = "Select a web page URL to check the popularity";
inline constexpr const char* kPromotionCaption = "Additional Promotion";
inline constexpr const char* kPromotionText =
    "Promote your URL to the following additional search engine repositories:";
// The vendor's number at its partner sign-up service.
inline constexpr const char* kPartnerNumber = "1001";

// The popularity report for address (unchanged, not encoded); none when no row is selected ("").
std::optional<std::string> PopularityAddress(const std::string& address);

struct PromotionService {
    std::string heading;
    std::string description;
    std::string button;
    std::string address;
};

// The four services, in the order of their descriptions on screen and their buttons left to right.
std::vector<PromotionService> PromotionServices();

} // namespace sendwell
