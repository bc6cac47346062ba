#include "core/upgrade/upgrade_date.h"

#include "core/base/numbers.h"

#include <ctime>
#include <vector>

namespace sendwell {

namespace chr = std::chrono;

namespace {

constexpr std::size_t kMaxStoredBytes = 100;

} // namespace

LocalTime LocalNow() {
    std::time_t t = std::time(nullptr);
    std::tm local{};
    if (localtime_r(&t, &local) == nullptr) {
        return LocalTime(chr::seconds(t));
    }
    chr::local_days day = chr::local_days(chr::year(local.tm_year + 1900) /
                                          chr::month(static_cast<unsigned>(local.tm_mon + 1)) /
                                          chr::day(static_cast<unsigned>(local.tm_mday)));
    return day + chr::hours(local.tm_hour) + chr::minutes(local.tm_min) + chr::seconds(local.tm_sec);
}

chr::year_month_day DayOf(LocalTime time) {
    return chr::year_month_day(chr::floor<chr::days>(time));
}

std::string FormatUpgradeDate(const chr::year_month_day& day) {
    return std::to_string(static_cast<unsigned>(day.month())) + " " +
           std::to_string(static_cast<unsigned>(day.day())) + " " +
           std::to_string(static_cast<int>(day.year()));
}

std::optional<chr::year_month_day> ParseUpgradeDate(std::string_view text) {
    if (text.size() >= kMaxStoredBytes) {
        return std::nullopt;
    }
    std::vector<long long> parts;
    std::size_t at = 0;
    while (parts.size() < 3 && at < text.size()) {
        std::size_t end = text.find(' ', at);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        if (end > at) {
            parts.push_back(LeadingInteger(text.substr(at, end - at)));
        }
        at = end + 1;
    }
    if (parts.size() < 3) {
        return std::nullopt;
    }
    const long long month = parts[0], day = parts[1], year = parts[2];
    if (month < 1 || month > 12 || day < 1 || day > 31 || year < 1 || year > 9999) {
        return std::nullopt;
    }
    chr::year_month_day date{chr::year(static_cast<int>(year)), chr::month(static_cast<unsigned>(month)),
                             chr::day(static_cast<unsigned>(day))};
    if (!date.ok()) {
        return std::nullopt;
    }
    return date;
}

UpgradeDue UpgradeDueAt(std::string_view storedText, LocalTime now) {
    std::optional<chr::year_month_day> stored = ParseUpgradeDate(storedText);
    if (!stored) {
        return {false, DayOf(now)};
    }
    const LocalTime checked = chr::local_days(*stored) + chr::hours(1) + chr::minutes(1) + chr::seconds(1);
    // Whole days, the fraction cut off (a stored day in the future counts as no days).
    const auto days = chr::duration_cast<chr::days>(now - checked).count();
    if (days >= kUpgradeIntervalDays) {
        return {true, DayOf(now)};
    }
    return {false, *stored};
}

} // namespace sendwell
