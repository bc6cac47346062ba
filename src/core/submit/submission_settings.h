// The request bounds of a submission run that the user can set in the settings file.
#pragma once

#include "core/submit/submission_run.h"

namespace sendwell {

// The defaults with "i_RequestTimeout" (whole seconds a request may take) and "i_MaxAnswerBytes"
// (bytes of an answer kept) applied; a value that is missing or not a positive number keeps the default.
SubmissionTimeouts ReadSubmissionLimits();

} // namespace sendwell
