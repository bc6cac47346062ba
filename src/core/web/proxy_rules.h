// Which proxy a request goes through: the user's bypass list, and the proxy the loopback guard checks.
#pragma once

#include "core/base/connection_settings.h"

#include <string>
#include <string_view>

namespace sendwell {

// True when host matches an entry of a proxy bypass list. Entries are separated by ";", "," or blanks;
// "*" is a wildcard for any run of characters, "<local>" matches host names without a dot, and a
// leading "http://" or "https://" of an entry is ignored. Matching ignores ASCII letter case.
bool BypassesProxy(std::string_view bypassList, std::string_view host);

// The proxy a request to url goes through under connection ("" for none), for the loopback guard.
std::string GuardProxyFor(const ConnectionSettings& connection, std::string_view url);

} // namespace sendwell
