// The submit command's exit code, from what the submit flow says happened.
#pragma once

namespace sendwell {
struct SubmitResult;
}

namespace sendwell::cli {

// 2 when a check refused the run, 130 when it was cancelled, 1 when a request or the worker failed,
// 0 otherwise.
int SubmitExitCode(const SubmitResult& result);

} // namespace sendwell::cli
