#include "core/submit/submission_settings.h"

#include "core/base/program_settings.h"

#include <algorithm>

namespace sendwell {

SubmissionTimeouts ReadSubmissionLimits() {
    const ProgramSettings settings;
    SubmissionTimeouts timeouts;
    // Seconds beyond a day are taken as a day: libcurl's time limit is a long of milliseconds.
    if (const std::optional<long long> seconds = settings.RequestTimeoutSeconds()) {
        timeouts.total = std::chrono::seconds(std::min<long long>(*seconds, 86400));
    }
    if (const std::optional<std::uint64_t> bytes = settings.MaxAnswerBytes()) {
        timeouts.maxAnswerBytes = *bytes;
    }
    return timeouts;
}

} // namespace sendwell
