// Text put into HTML or XML: every report and stored page that holds outside text (addresses, titles,
// server answers) escapes it here, so that no byte of it can open markup or break the file for a parser.
#pragma once

#include <string>
#include <string_view>

namespace sendwell {

// Text as character data or a quoted attribute value: & < > " ' as references, line breaks and tabs as
// references (an attribute keeps them), and bytes that are not UTF-8 and characters XML does not allow
// (most control characters) as U+FFFD.
std::string MarkupEscaped(std::string_view text);

} // namespace sendwell
