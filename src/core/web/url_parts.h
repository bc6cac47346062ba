// Pieces of a request address: completion with "http://", the checks a fetchable address passes, its
// site root, the form-post split into object path and query, and a "host:port" split.
#pragma once

#include <string>
#include <string_view>

namespace sendwell {

// True for an address that starts with "http://" or "https://" (any letter case).
bool IsHttpAddress(std::string_view address);
// "http://" in front of an address that does not start with "http://" or "https://" (any letter case).
std::string CompleteAddress(std::string_view address);
// True for an "https://" address.
bool IsSecureAddress(std::string_view address);
// True when url is an absolute http (or, when allowed, https) address with a host.
bool IsFetchableAddress(std::string_view url, bool allowHttps = true);

// The address up to, not including, the first "/" that is neither its first character nor preceded by
// ":" or "/" ("http://host/x" -> "http://host"). An address without such a slash is returned whole.
std::string GetSiteRoot(std::string_view address);
// The same as a view into address.
std::string_view SiteRootOf(std::string_view address);

struct ObjectAndQuery {
    std::string objectPath;
    std::string query;
};
// Splits a form-post address: the object path starts at the first "/" at or after the first "." and
// runs to the last "?"; the query is what follows that "?". No "." or no such "/": both empty.
ObjectAndQuery SplitObjectAndQuery(std::string_view address);

// Splits "host:port" into its parts; without a valid port the whole text is the host and port is
// fallbackPort.
void SplitHostPort(std::string_view hostAndPort, int fallbackPort, std::string& host, int& port);

} // namespace sendwell
