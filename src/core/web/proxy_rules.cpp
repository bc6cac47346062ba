#include "core/web/proxy_rules.h"

#include "core/base/ascii_case.h"
#include "core/web/url_parts.h"

#include <array>
#include <cstdlib>
#include <span>

namespace sendwell {

namespace {

// '*' matches any run of characters; both sides already lower case.
bool GlobMatch(std::string_view pattern, std::string_view text) {
    std::size_t p = 0;
    std::size_t t = 0;
    std::size_t star = std::string_view::npos;
    std::size_t resume = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            resume = t;
        } else if (p < pattern.size() && pattern[p] == text[t]) {
            ++p;
            ++t;
        } else if (star != std::string_view::npos) {
            p = star + 1;
            t = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') {
        ++p;
    }
    return p == pattern.size();
}

} // namespace

bool BypassesProxy(std::string_view bypassList, std::string_view host) {
    std::string lowerHost = AsciiLower(host);
    if (lowerHost.empty()) {
        return false;
    }
    std::size_t at = 0;
    while (at < bypassList.size()) {
        std::size_t end = bypassList.find_first_of("; ,\t\r\n", at);
        if (end == std::string_view::npos) {
            end = bypassList.size();
        }
        std::string entry = AsciiLower(bypassList.substr(at, end - at));
        at = end + 1;
        if (entry.empty()) {
            continue;
        }
        if (entry == "<local>") {
            if (lowerHost.find('.') == std::string::npos && lowerHost.find(':') == std::string::npos) {
                return true;
            }
            continue;
        }
        for (std::string_view scheme : {"http://", "https://"}) {
            if (entry.compare(0, scheme.size(), scheme) == 0) {
                entry.erase(0, scheme.size());
            }
        }
        if (GlobMatch(entry, lowerHost)) {
            return true;
        }
    }
    return false;
}

std::string GuardProxyFor(const ConnectionSettings& connection, std::string_view url) {
    if (connection.useProxy) {
        return connection.proxyName;
    }
    // The environment's proxy as libcurl would pick it (no_proxy aside: the guard may be stricter): the
    // first of these that is set and not empty.
    static constexpr std::array<const char*, 4> kSecure{"https_proxy", "HTTPS_PROXY", "all_proxy",
                                                        "ALL_PROXY"};
    static constexpr std::array<const char*, 3> kPlain{"http_proxy", "all_proxy", "ALL_PROXY"};
    const std::span<const char* const> names =
        IsSecureAddress(url) ? std::span<const char* const>(kSecure) : std::span<const char* const>(kPlain);
    for (const char* name : names) {
        if (const char* value = std::getenv(name); value != nullptr && value[0] != '\0') {
            return value;
        }
    }
    return {};
}

} // namespace sendwell
