#include "core/audit/audit_address.h"

#include "core/base/ascii_case.h"

#include <curl/curl.h>

namespace sendwell {

namespace {

struct CurlText {
    char* text = nullptr;
    ~CurlText() { curl_free(text); }
};

std::optional<std::string> Part(CURLU* url, CURLUPart part, unsigned flags = 0) {
    CurlText got;
    if (curl_url_get(url, part, &got.text, flags) != CURLUE_OK || got.text == nullptr) {
        return std::nullopt;
    }
    return std::string(got.text);
}

struct UrlDeleter {
    void operator()(CURLU* u) const noexcept { curl_url_cleanup(u); }
};
using UrlPtr = std::unique_ptr<CURLU, UrlDeleter>;

// HTML drops leading and trailing blanks of an address and any tab or line break inside it.
std::string CleanReference(std::string_view reference) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; };
    while (!reference.empty() && blank(reference.front())) {
        reference.remove_prefix(1);
    }
    while (!reference.empty() && blank(reference.back())) {
        reference.remove_suffix(1);
    }
    std::string out;
    out.reserve(reference.size());
    for (char c : reference) {
        if (c != '\t' && c != '\n' && c != '\r') {
            out += c;
        }
    }
    return out;
}

bool IsWebScheme(std::string_view scheme) {
    return AsciiEqualNoCase(scheme, "http") || AsciiEqualNoCase(scheme, "https");
}

UrlPtr ParseAbsolute(std::string_view url) {
    UrlPtr u(curl_url());
    if (!u ||
        curl_url_set(u.get(), CURLUPART_URL, CleanReference(url).c_str(), CURLU_URLENCODE) != CURLUE_OK) {
        return nullptr;
    }
    const std::optional<std::string> scheme = Part(u.get(), CURLUPART_SCHEME);
    if (!scheme || !IsWebScheme(*scheme)) {
        return nullptr;
    }
    return u;
}

} // namespace

struct BaseAddress::Handle {
    UrlPtr url;
};

BaseAddress::BaseAddress(std::string_view url) {
    if (UrlPtr u = ParseAbsolute(url)) {
        url_ = std::make_unique<Handle>(Handle{std::move(u)});
    }
}

BaseAddress::~BaseAddress() = default;
BaseAddress::BaseAddress(BaseAddress&&) noexcept = default;
BaseAddress& BaseAddress::operator=(BaseAddress&&) noexcept = default;

std::optional<std::string> BaseAddress::Resolve(std::string_view reference) const {
    if (!url_) {
        return std::nullopt;
    }
    const std::string cleaned = CleanReference(reference);
    // A reference of a fragment alone is the page itself; libcurl wants something to resolve.
    UrlPtr u(curl_url_dup(url_->url.get()));
    if (!u) {
        return std::nullopt;
    }
    if (!cleaned.empty() && cleaned.front() != '#') {
        // A scheme libcurl does not know (mailto:, javascript:) fails here or below; either way no link.
        if (curl_url_set(u.get(), CURLUPART_URL, cleaned.c_str(),
                         CURLU_URLENCODE | CURLU_NON_SUPPORT_SCHEME) != CURLUE_OK) {
            return std::nullopt;
        }
        const std::optional<std::string> linkScheme = Part(u.get(), CURLUPART_SCHEME);
        if (!linkScheme || !IsWebScheme(*linkScheme)) {
            return std::nullopt;
        }
    }
    curl_url_set(u.get(), CURLUPART_FRAGMENT, nullptr, 0);
    // One address, one spelling: the crawl knows a page by it.
    if (const std::optional<std::string> host = Part(u.get(), CURLUPART_HOST)) {
        curl_url_set(u.get(), CURLUPART_HOST, AsciiLower(*host).c_str(), 0);
    }
    const std::optional<std::string> scheme = Part(u.get(), CURLUPART_SCHEME);
    const std::optional<std::string> port = Part(u.get(), CURLUPART_PORT);
    if (scheme && port && ((*scheme == "http" && *port == "80") || (*scheme == "https" && *port == "443"))) {
        curl_url_set(u.get(), CURLUPART_PORT, nullptr, 0);
    }
    return Part(u.get(), CURLUPART_URL);
}

bool IsAbsoluteReference(std::string_view reference) {
    const std::string cleaned = CleanReference(reference);
    // RFC 3986: scheme = ALPHA *( ALPHA / DIGIT / "+" / "-" / "." ) followed by ":".
    if (cleaned.empty() || !((cleaned[0] | 0x20) >= 'a' && (cleaned[0] | 0x20) <= 'z')) {
        return false;
    }
    for (std::size_t i = 1; i < cleaned.size(); ++i) {
        const char c = cleaned[i];
        if (c == ':') {
            return true;
        }
        const bool letter = (c | 0x20) >= 'a' && (c | 0x20) <= 'z';
        if (!letter && !(c >= '0' && c <= '9') && c != '+' && c != '-' && c != '.') {
            return false;
        }
    }
    return false;
}

std::string OriginOf(std::string_view url) {
    const UrlPtr u = ParseAbsolute(url);
    if (!u) {
        return {};
    }
    const std::optional<std::string> scheme = Part(u.get(), CURLUPART_SCHEME);
    const std::optional<std::string> host = Part(u.get(), CURLUPART_HOST);
    if (!scheme || !host) {
        return {};
    }
    std::string origin = AsciiLower(*scheme) + "://" + AsciiLower(*host);
    // Without CURLU_DEFAULT_PORT libcurl gives the port only when the address names one.
    if (const std::optional<std::string> port = Part(u.get(), CURLUPART_PORT)) {
        const bool schemeOwn = (*scheme == "http" && *port == "80") || (*scheme == "https" && *port == "443");
        if (!schemeOwn) {
            origin += ":" + *port;
        }
    }
    return origin;
}

std::string SiteKeyOf(std::string_view url) {
    const std::string origin = OriginOf(url);
    const std::size_t start = origin.find("://");
    return start == std::string::npos ? std::string() : origin.substr(start + 3);
}

std::string PathAndQueryOf(std::string_view url) {
    const UrlPtr u = ParseAbsolute(url);
    if (!u) {
        return {};
    }
    std::string out = Part(u.get(), CURLUPART_PATH).value_or("/");
    if (out.empty()) {
        out = "/";
    }
    if (const std::optional<std::string> query = Part(u.get(), CURLUPART_QUERY)) {
        out += "?" + *query;
    }
    return out;
}

} // namespace sendwell
