#include "core/submit/submission_settings.h"

#include "core/base/program_settings.h"
#include "core/web/page_fetcher.h"

namespace sendwell {

SubmissionTimeouts ReadSubmissionLimits() {
    SubmissionTimeouts timeouts;
    timeouts.total = ReadRequestLimits().total;
    if (const std::optional<std::uint64_t> bytes = ProgramSettings().MaxAnswerBytes()) {
        timeouts.maxAnswerBytes = *bytes;
    }
    return timeouts;
}

} // namespace sendwell
