// Addresses as the audit reads them, on libcurl's URL API: links resolved against a page (and its
// <base href>) with the fragment dropped, and the parts that name a site.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace sendwell {

// An absolute address that references are resolved against.
class BaseAddress {
public:
    // An address libcurl cannot read leaves the base empty: nothing resolves against it.
    explicit BaseAddress(std::string_view url);
    ~BaseAddress();
    BaseAddress(BaseAddress&&) noexcept;
    BaseAddress& operator=(BaseAddress&&) noexcept;

    bool empty() const { return !url_; }

    // reference resolved as a browser resolves a link: absolute, without its fragment, http or https only
    // (mailto:, javascript:, data: and unreadable references give nothing); the host in lower case and
    // the scheme's own port dropped, so that one page has one address.
    std::optional<std::string> Resolve(std::string_view reference) const;

private:
    struct Handle;
    std::unique_ptr<Handle> url_;
};

// True when reference names its own scheme ("https://x/", "//x/" counts as relative).
bool IsAbsoluteReference(std::string_view reference);

// "scheme://host[:port]" of an address, scheme and host lower case, a default port dropped; "" when the
// address cannot be read.
std::string OriginOf(std::string_view url);
// The site an address belongs to, the same for its http and https forms: "host" or "host:port" for a
// port that is not the scheme's own; "" when the address cannot be read.
std::string SiteKeyOf(std::string_view url);
// The path and query as they stand in the address ("/" when it has no path); "" when unreadable.
std::string PathAndQueryOf(std::string_view url);

} // namespace sendwell
