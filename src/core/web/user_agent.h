// The User-Agent lines the program sends, one constant per use. The page fetch, the status check, the
// sitemap reader and both submission paths send the same browser-like line; the keyword research's
// query page names the program. (The installer download names the vendor's host, made per download.)
#pragma once

namespace sendwell {

inline constexpr const char* kUserAgentHeader = "User-Agent: Microsoft Internet Explorer";
inline constexpr const char* kQueryUserAgentHeader = "User-Agent: URL Submitter by Quenby";

} // namespace sendwell
