// Addresses as the audit reads them: links resolve through BaseAddress (core/web), and these name the
// site an address belongs to.
#pragma once

#include "core/web/url_parts.h"

#include <string>
#include <string_view>

namespace sendwell {

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
