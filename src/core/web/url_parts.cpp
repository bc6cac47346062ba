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

} // namespace sendwell
