#include "core/submit/submission_settings.h"

#include "core/base/settings.h"

#include <algorithm>

namespace sendwell {

namespace {

long long PositiveSetting(std::string_view name) {
    const std::string text = ReadSetting(kSettingsSection, name);
    return text.empty() ? 0 : LeadingInteger(text);
}

} // namespace

SubmissionTimeouts ReadSubmissionLimits() {
    SubmissionTimeouts timeouts;
    // Seconds beyond a day are taken as a day: libcurl's time limit is a long of milliseconds.
    if (long long seconds = PositiveSetting("i_RequestTimeout"); seconds > 0) {
        timeouts.total = std::chrono::seconds(std::min<long long>(seconds, 86400));
    }
    if (long long bytes = PositiveSetting("i_MaxAnswerBytes"); bytes > 0) {
        timeouts.maxAnswerBytes = static_cast<std::uint64_t>(bytes);
    }
    return timeouts;
}

} // namespace sendwell
