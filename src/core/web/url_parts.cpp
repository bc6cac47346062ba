#include "core/web/url_parts.h"

#include "core/base/ascii_case.h"
#include "core/base/char_sets.h"

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

std::string CleanReference(std::string_view reference) {
    return WithoutAny(TrimAny(reference, kHtmlSpace), "\t\n\r");
}

namespace {

struct CurlText {
    char* text = nullptr;
    ~CurlText() { curl_free(text); }
};

std::optional<std::string> Part(CURLU* url, CURLUPart part) {
    CurlText got;
    if (curl_url_get(url, part, &got.text, 0) != CURLUE_OK || got.text == nullptr) {
        return std::nullopt;
    }
    return std::string(got.text);
}

using UrlPtr = std::unique_ptr<CURLU, CurlUrlDeleter>;

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

std::optional<WebAddressParts> ReadWebAddress(std::string_view url) {
    const UrlPtr u = ParseAbsolute(url);
    if (!u) {
        return std::nullopt;
    }
    std::optional<std::string> scheme = Part(u.get(), CURLUPART_SCHEME);
    std::optional<std::string> host = Part(u.get(), CURLUPART_HOST);
    if (!scheme || !host) {
        return std::nullopt;
    }
    WebAddressParts parts;
    parts.scheme = std::move(*scheme);
    parts.host = std::move(*host);
    // Without CURLU_DEFAULT_PORT libcurl gives the port only when the address names one.
    parts.port = Part(u.get(), CURLUPART_PORT).value_or("");
    parts.path = Part(u.get(), CURLUPART_PATH).value_or("");
    parts.query = Part(u.get(), CURLUPART_QUERY);
    return parts;
}

} // namespace sendwell
