// Address rules in one place: completion with "http://", the checks a fetchable address passes, the
// host of an address, its site root, the form-post split into server, object path and query.
//
// Completing an address has three rules, each kept because something relies on it:
//   CompleteAddress  - requests the user starts (page fetch, status check, installer download): the
//                      address is taken as it is when it starts with "http://" or "https://", in any
//                      letter case.
//   StoredUrl        - the URL database (Add, Import, sitemaps): "http://" or "https://" anywhere in the
//                      text, letter case counting; stored lists and their tests depend on it.
//   CompleteQueryAddress - the keyword research query page: only "http://" anywhere counts, as that
//                      feature has no secure variant.
// The hyperlink's rule (OpenTargetFor, core/base/open_address.h) decides among mail, file and web
// addresses before it puts "http://" in front, and lies below this layer.
//
// The host of an address has two rules:
//   UrlHost      - the host libcurl will contact, as typed (the loopback guard, the proxy bypass list,
//                  progress texts).
//   AddressHost  - the host an IndexNow request names: lower case, the scheme's own port dropped, and
//                  an address with "user@" refused, since the service keys submissions by that host.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace sendwell {

// True for an address that starts with "http://" or "https://" (any letter case).
bool IsHttpAddress(std::string_view address);
// "http://" in front of an address that does not start with "http://" or "https://" (any letter case).
std::string CompleteAddress(std::string_view address);
// True when the database would put "http://" in front of text: it holds neither "http://" nor
// "https://" anywhere (letter case counts).
bool StoredUrlNeedsScheme(std::string_view text);
// text as the database stores it: "http://" in front when StoredUrlNeedsScheme; "" stays "".
std::string StoredUrl(std::string_view text);
// "http://" in front of an address that holds no "http://" anywhere (letter case counts).
std::string CompleteQueryAddress(std::string_view address);
// True for an "https://" address.
bool IsSecureAddress(std::string_view address);
// True when url is an absolute http (or, when allowed, https) address with a host.
bool IsFetchableAddress(std::string_view url, bool allowHttps = true);

// The host part of an absolute URL ("http://h:1/x" -> "h"), without brackets for IPv6; "" if none.
std::string UrlHost(std::string_view url);
// The host of an http or https address ("" for any other): lower case, port kept, "user@" refused.
std::string AddressHost(std::string_view address);
// The host a user names as an address or a bare "name[:port]"; "" when neither gives one.
std::string SiteHost(std::string_view site);

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

// The server a form post goes to: the site root without its scheme, split into host and port (80 when
// none is given).
void FormPostServer(std::string_view address, std::string& host, int& port);

// reference as HTML reads it: without the blanks around it and the tabs and line breaks inside it.
std::string CleanReference(std::string_view reference);

// An absolute http or https address read once, that references resolve against as a browser resolves
// a link (the site audit's reading of pages).
class BaseAddress {
public:
    // An address that cannot be read leaves the base empty: nothing resolves against it.
    explicit BaseAddress(std::string_view url);
    ~BaseAddress();
    BaseAddress(BaseAddress&&) noexcept;
    BaseAddress& operator=(BaseAddress&&) noexcept;

    bool empty() const { return !url_; }

    // reference resolved: absolute, without its fragment, http or https only (mailto:, javascript:,
    // data: and unreadable references give nothing); the host in lower case and the scheme's own port
    // dropped, so that one page has one address. Blanks around the reference and tabs and line breaks
    // inside it are dropped first, as HTML does.
    std::optional<std::string> Resolve(std::string_view reference) const;

private:
    struct Handle;
    std::unique_ptr<Handle> url_;
};

// The parts of an absolute http or https address as they stand in it (blanks dropped as BaseAddress
// drops them); none when it cannot be read.
struct WebAddressParts {
    std::string scheme;
    std::string host;
    std::string port;                 // "" when the address names none
    std::string path;                 // "" when it has none
    std::optional<std::string> query; // without "?"
};
std::optional<WebAddressParts> ReadWebAddress(std::string_view url);

} // namespace sendwell
