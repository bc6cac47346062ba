// Reading numbers out of stored and typed text.
#pragma once

#include <string_view>

namespace sendwell {

// The leading decimal integer of a text, as the callers' conversion rules take it: optional leading
// blanks, an optional sign, then digits; 0 when there are none. Saturates instead of overflowing.
long long LeadingInteger(std::string_view text);

} // namespace sendwell
