#include "core/audit/audit_address.h"

#include "core/base/ascii_case.h"

namespace sendwell {

bool IsAbsoluteReference(std::string_view reference) {
    const std::string cleaned = CleanReference(reference);
    // RFC 3986: scheme = ALPHA *( ALPHA / DIGIT / "+" / "-" / "." ) followed by ":".
    if (cleaned.empty() || !IsAsciiLetter(cleaned[0])) {
        return false;
    }
    for (std::size_t i = 1; i < cleaned.size(); ++i) {
        const char c = cleaned[i];
        if (c == ':') {
            return true;
        }
        if (!IsAsciiLetter(c) && !(c >= '0' && c <= '9') && c != '+' && c != '-' && c != '.') {
            return false;
        }
    }
    return false;
}

std::string OriginOf(std::string_view url) {
    const std::optional<WebAddressParts> parts = ReadWebAddress(url);
    if (!parts) {
        return {};
    }
    std::string origin = AsciiLower(parts->scheme) + "://" + AsciiLower(parts->host);
    const bool schemeOwn = (parts->scheme == "http" && parts->port == "80") ||
                           (parts->scheme == "https" && parts->port == "443");
    if (!parts->port.empty() && !schemeOwn) {
        origin += ":" + parts->port;
    }
    return origin;
}

std::string SiteKeyOf(std::string_view url) {
    const std::string origin = OriginOf(url);
    const std::size_t start = origin.find("://");
    return start == std::string::npos ? std::string() : origin.substr(start + 3);
}

std::string PathAndQueryOf(std::string_view url) {
    const std::optional<WebAddressParts> parts = ReadWebAddress(url);
    if (!parts) {
        return {};
    }
    std::string out = parts->path.empty() ? "/" : parts->path;
    if (parts->query) {
        out += "?" + *parts->query;
    }
    return out;
}

} // namespace sendwell
