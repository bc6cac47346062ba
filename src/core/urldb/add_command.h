// The Add command: what the address field's text does to the list, the same for the window's Add
// button and the command line's "add".
#pragma once

#include "core/urldb/url_database.h"

#include <string_view>

namespace sendwell {

// What the Add command asks the front end to do.
enum class AddOutcome {
    Nothing,    // 2 characters or fewer
    InvalidUrl, // no "." -> show the "Invalid URL" message, keep the field's text
    Appended    // row appended; empty the address field
};

// The Add command's answer to a text without a dot.
inline constexpr const char* kInvalidUrlText =
    "Please enter a complete URL. An example is http://www.example.com";
inline constexpr const char* kInvalidUrlCaption = "Invalid URL";

// Whether the text would be appended, and what to say otherwise; changes nothing.
AddOutcome CheckAddText(std::string_view addressText);

// The Add button's logic on the address field's text.
AddOutcome AddCommand(UrlDatabase& db, std::string_view addressText);

} // namespace sendwell
