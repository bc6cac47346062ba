#include "core/web/url_parts.h"

#include "core/base/ascii_case.h"

#include <algorithm>
#include <curl/curl.h>
#include <memory>

namespace sendwell {

namespace {

struct CurlUrlDeleter {
    void operator()(CURLU* u) const noexcept { curl_url_cleanup(u); }
};

std::string UrlPart(CURLU* url, CURLUPart part) {
    char* text = nullptr;
    if (curl_url_get(url, part, &text, 0) != CURLUE_OK || text == nullptr) {
        return {};
    }
    std::string out(text);
    curl_free(text);
    return out;
}

} // namespace

bool IsHttpAddress(std::string_view address) {
    return AsciiStartsWithNoCase(address, "http://") || AsciiStartsWithNoCase(address, "https://");
}

std::string CompleteAddress(std::string_view address) {
    if (IsHttpAddress(address)) {
        return std::string(address);
    }
    return "http://" + std::string(address);
}

bool StoredUrlNeedsScheme(std::string_view text) {
    return text.find("http://") == std::string_view::npos && text.find("https://") == std::string_view::npos;
}

std::string StoredUrl(std::string_view text) {
    if (text.empty() || !StoredUrlNeedsScheme(text)) {
        return std::string(text);
    }
    std::string full = "http://";
    full.append(text);
    return full;
}

std::string CompleteQueryAddress(std::string_view address) {
    if (address.find("http://") != std::string_view::npos) {
        return std::string(address);
    }
    return "http://" + std::string(address);
}

bool IsSecureAddress(std::string_view address) {
    return AsciiStartsWithNoCase(address, "https://");
}

bool IsFetchableAddress(std::string_view url, bool allowHttps) {
    std::unique_ptr<CURLU, CurlUrlDeleter> parsed(curl_url());
    if (!parsed || curl_url_set(parsed.get(), CURLUPART_URL, std::string(url).c_str(), 0) != CURLUE_OK) {
        return false;
    }
    const std::string scheme = AsciiLower(UrlPart(parsed.get(), CURLUPART_SCHEME));
    if (scheme != "http" && !(allowHttps && scheme == "https")) {
        return false;
    }
    return !UrlPart(parsed.get(), CURLUPART_HOST).empty();
}

std::string UrlHost(std::string_view url) {
    std::size_t schemeEnd = url.find("://");
    std::string_view rest = schemeEnd == std::string_view::npos ? url : url.substr(schemeEnd + 3);
    // A plain loop: find_first_of looks each character up in the set with a call of its own.
    const auto end =
        std::find_if(rest.begin(), rest.end(), [](char c) { return c == '/' || c == '?' || c == '#'; });
    std::string_view authority = rest.substr(0, static_cast<std::size_t>(end - rest.begin()));
    if (std::size_t at = authority.rfind('@'); at != std::string_view::npos) {
        authority = authority.substr(at + 1);
    }
    if (authority.starts_with('[')) {
        std::size_t close = authority.find(']');
        return std::string(
            authority.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
    }
    std::size_t colon = authority.find(':');
    return std::string(authority.substr(0, colon));
}

std::string AddressHost(std::string_view address) {
    const std::size_t schemeEnd = address.find("://");
    if (schemeEnd == std::string_view::npos) {
        return {};
    }
    const std::string scheme = AsciiLower(address.substr(0, schemeEnd));
    if (scheme != "http" && scheme != "https") {
        return {};
    }
    const std::string_view rest = address.substr(schemeEnd + 3);
    std::string host = AsciiLower(rest.substr(0, rest.find_first_of("/?#")));
    if (host.empty() || host.find('@') != std::string::npos ||
        std::any_of(host.begin(), host.end(), [](char c) { return static_cast<unsigned char>(c) <= ' '; })) {
        return {};
    }
    // The scheme's own port names the same host as none.
    const std::string defaultPort = scheme == "https" ? ":443" : ":80";
    if (host.size() > defaultPort.size() && host.ends_with(defaultPort)) {
        host.resize(host.size() - defaultPort.size());
    }
    return host.front() == ':' ? std::string() : host;
}

std::string SiteHost(std::string_view site) {
    std::string host = AddressHost(site);
    return host.empty() && site.find("://") == std::string_view::npos
               ? AddressHost("https://" + std::string(site))
               : host;
}

std::string_view SiteRootOf(std::string_view address) {
    for (std::size_t i = 1; i < address.size(); ++i) {
        if (address[i] == '/' && address[i - 1] != ':' && address[i - 1] != '/') {
            return address.substr(0, i);
        }
    }
    return address;
}

std::string GetSiteRoot(std::string_view address) {
    return std::string(SiteRootOf(address));
}

ObjectAndQuery SplitObjectAndQuery(std::string_view address) {
    std::size_t dot = address.find('.');
    if (dot == std::string_view::npos) {
        return {};
    }
    std::size_t slash = address.find('/', dot);
    if (slash == std::string_view::npos) {
        return {};
    }
    std::size_t question = address.rfind('?');
    if (question == std::string_view::npos) {
        return {std::string(address.substr(slash)), {}};
    }
    // A last "?" before that "/" leaves an empty object path and the query after the "?".
    std::size_t objectLength = question > slash ? question - slash : 0;
    return {std::string(address.substr(slash, objectLength)), std::string(address.substr(question + 1))};
}

void SplitHostPort(std::string_view hostAndPort, int fallbackPort, std::string& host, int& port) {
    host = std::string(hostAndPort);
    port = fallbackPort;
    std::size_t colon = hostAndPort.rfind(':');
    if (colon == std::string_view::npos || hostAndPort.find(':') != colon) {
        return; // no port, or an IPv6 address without one
    }
    std::string_view digits = hostAndPort.substr(colon + 1);
    if (digits.empty() || digits.size() > 5 ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return;
    }
    int value = std::stoi(std::string(digits));
    if (value < 1 || value > 65535) {
        return;
    }
    host = std::string(hostAndPort.substr(0, colon));
    port = value;
}

void FormPostServer(std::string_view address, std::string& host, int& port) {
    std::string_view root = SiteRootOf(address);
    if (std::size_t scheme = root.find("://"); scheme != std::string_view::npos) {
        root.remove_prefix(scheme + 3);
    }
    SplitHostPort(root, 80, host, port);
}

} // namespace sendwell
