#include "core/submit/submission_settings.h"

#include "core/base/settings.h"
#include "core/web/page_fetcher.h"

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
    timeouts.total = ReadRequestLimits().total;
    if (long long bytes = PositiveSetting("i_MaxAnswerBytes"); bytes > 0) {
        timeouts.maxAnswerBytes = static_cast<std::uint64_t>(bytes);
    }
    return timeouts;
}

} // namespace sendwell
