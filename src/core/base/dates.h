// Dates and times as the program writes them: the list's "Last Sent" form "%m/%d/%Y", local times for
// file names, and UTC times for records that programs read.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace sendwell {

// Today's local date as "%m/%d/%Y".
std::string TodayText();
// The current local time in a strftime format (at most 63 characters of result).
std::string LocalTimeText(const char* format);
// The current time in UTC as ISO 8601, "YYYY-MM-DDTHH:MM:SSZ", for records that programs read.
std::string UtcTimeText();
std::string UtcTimeText(std::int64_t secondsSinceEpoch);
// "YYYY-MM-DD" (its start) or "YYYY-MM-DDTHH:MM:SSZ", in UTC, as seconds since the epoch; none for
// anything else or a date that does not exist.
std::optional<std::int64_t> ParseUtcTime(std::string_view text);
// A sitemap's <lastmod> (W3C date and time: "YYYY", "YYYY-MM", "YYYY-MM-DD", or a date with "Thh:mm",
// optional seconds and fractions, and "Z" or "+hh:mm"/"-hh:mm") as seconds since the epoch, a date
// alone at its start in UTC; none for anything else.
std::optional<std::int64_t> ParseW3cTime(std::string_view text);

// Days of a month (1 to 12) of the Gregorian calendar.
int DaysInMonth(long long month, long long year);

// The "Last Sent" text for a date line as read from the file: a valid date is written "%m/%d/%Y",
// anything else gives "".
std::string NormalizeDateLine(std::string_view line);

} // namespace sendwell
