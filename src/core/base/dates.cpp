#include "core/base/dates.h"

#include "core/base/numbers.h"

#include <cstdio>
#include <ctime>

namespace sendwell {

namespace {

bool IsLeapYear(long long y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

} // namespace

int DaysInMonth(long long month, long long year) {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

std::string LocalTimeText(const char* format) {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[64];
    std::size_t n = std::strftime(text, sizeof text, format, &local);
    return std::string(text, n);
}

std::string UtcTimeText() {
    return UtcTimeText(static_cast<std::int64_t>(std::time(nullptr)));
}

std::string UtcTimeText(std::int64_t secondsSinceEpoch) {
    const auto time = static_cast<std::time_t>(secondsSinceEpoch);
    std::tm utc{};
    gmtime_r(&time, &utc);
    char text[32];
    std::size_t n = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return std::string(text, n);
}

std::string TodayText() {
    return LocalTimeText("%m/%d/%Y");
}

std::string NormalizeDateLine(std::string_view line) {
    if (line.empty()) {
        return {};
    }
    // Month, day and year are the leading integers of the first three "/"-separated parts; a missing
    // part counts as 0 and so fails the check below.
    long long parts[3] = {0, 0, 0};
    for (long long& part : parts) {
        const std::size_t slash = line.find('/');
        part = LeadingInteger(line.substr(0, slash));
        if (slash == std::string_view::npos) {
            break;
        }
        line.remove_prefix(slash + 1);
    }
    const long long month = parts[0], day = parts[1], year = parts[2];
    if (month < 1 || month > 12 || year < 1 || year > 9999 || day < 1 || day > DaysInMonth(month, year)) {
        return {};
    }
    // Years below 1000 keep four digits, so the text reads back as the same date.
    char text[80];
    std::snprintf(text, sizeof text, "%02lld/%02lld/%04lld", month, day, year);
    return text;
}

} // namespace sendwell

namespace sendwell {

std::optional<std::int64_t> ParseUtcTime(std::string_view text) {
    std::tm utc{};
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    char tail = 0;
    const std::string copy(text);
    const int date = std::sscanf(copy.c_str(), "%4d-%2d-%2d%c", &year, &month, &day, &tail);
    if (date == 4) {
        if (tail != 'T' ||
            std::sscanf(copy.c_str() + 11, "%2d:%2d:%2d%c", &hour, &minute, &second, &tail) != 4 ||
            tail != 'Z' || copy.size() != 20) {
            return std::nullopt;
        }
    } else if (date != 3 || copy.size() != 10) {
        return std::nullopt;
    }
    if (month < 1 || month > 12 || day < 1 || day > DaysInMonth(month, year) || hour > 23 || minute > 59 ||
        second > 60) {
        return std::nullopt;
    }
    utc.tm_year = year - 1900;
    utc.tm_mon = month - 1;
    utc.tm_mday = day;
    utc.tm_hour = hour;
    utc.tm_min = minute;
    utc.tm_sec = second;
    return static_cast<std::int64_t>(timegm(&utc));
}

namespace {

// Reads exactly digits decimal digits at text[at] into value, moving at past them; false when they are
// not there.
bool Digits(std::string_view text, std::size_t& at, std::size_t digits, int& value) {
    if (text.size() < at + digits) {
        return false;
    }
    value = 0;
    for (std::size_t i = 0; i < digits; ++i) {
        const char c = text[at + i];
        if (c < '0' || c > '9') {
            return false;
        }
        value = value * 10 + (c - '0');
    }
    at += digits;
    return true;
}

bool Take(std::string_view text, std::size_t& at, char c) {
    if (at < text.size() && text[at] == c) {
        ++at;
        return true;
    }
    return false;
}

// "Thh:mm[:ss[.fraction]]" and its zone ("Z", "+hh:mm" or "-hh:mm") from text[at] on; offset: the
// zone's seconds east of UTC.
bool ReadW3cTimeOfDay(std::string_view text, std::size_t& at, std::tm& utc, std::int64_t& offset) {
    int hour = 0;
    int minute = 0;
    int second = 0;
    if (!Digits(text, at, 2, hour) || !Take(text, at, ':') || !Digits(text, at, 2, minute)) {
        return false;
    }
    if (Take(text, at, ':')) {
        if (!Digits(text, at, 2, second)) {
            return false;
        }
        if (Take(text, at, '.')) {
            const std::size_t fraction = at;
            while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
                ++at;
            }
            if (at == fraction) {
                return false;
            }
        }
    }
    if (hour > 23 || minute > 59 || second > 60) {
        return false;
    }
    utc.tm_hour = hour;
    utc.tm_min = minute;
    utc.tm_sec = second;
    offset = 0;
    if (Take(text, at, 'Z')) {
        return true;
    }
    const bool east = Take(text, at, '+');
    if (!east && !Take(text, at, '-')) {
        return false;
    }
    int zoneHours = 0;
    int zoneMinutes = 0;
    if (!Digits(text, at, 2, zoneHours) || !Take(text, at, ':') || !Digits(text, at, 2, zoneMinutes) ||
        zoneHours > 23 || zoneMinutes > 59) {
        return false;
    }
    offset = (zoneHours * 60 + zoneMinutes) * 60 * (east ? 1 : -1);
    return true;
}

} // namespace

std::optional<std::int64_t> ParseW3cTime(std::string_view text) {
    std::size_t at = 0;
    int year = 0;
    int month = 1;
    int day = 1;
    if (!Digits(text, at, 4, year)) {
        return std::nullopt;
    }
    bool wholeDate = false; // a time may follow a whole date only
    if (Take(text, at, '-')) {
        if (!Digits(text, at, 2, month)) {
            return std::nullopt;
        }
        if (Take(text, at, '-')) {
            if (!Digits(text, at, 2, day)) {
                return std::nullopt;
            }
            wholeDate = true;
        }
    }
    if (month < 1 || month > 12 || day < 1 || day > DaysInMonth(month, year)) {
        return std::nullopt;
    }
    std::tm utc{};
    utc.tm_year = year - 1900;
    utc.tm_mon = month - 1;
    utc.tm_mday = day;
    std::int64_t offset = 0;
    if (wholeDate && Take(text, at, 'T') && !ReadW3cTimeOfDay(text, at, utc, offset)) {
        return std::nullopt;
    }
    if (at != text.size()) {
        return std::nullopt;
    }
    return static_cast<std::int64_t>(timegm(&utc)) - offset;
}

} // namespace sendwell
