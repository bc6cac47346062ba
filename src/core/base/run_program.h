// Runs another program and waits for it: no shell in between, so no argument is ever read as shell
// text. For the few tools the program drives (systemctl, systemd-analyze).
#pragma once

#include "core/base/outcome.h"

#include <string>
#include <vector>

namespace sendwell {

// Runs argv[0] (looked up on PATH) with argv, its output and errors kept. Ok when it exited 0; Failed
// otherwise, the text saying why ("<program> is not installed", or its first error line).
struct ProgramRun {
    Outcome outcome;
    std::string output; // what it wrote to standard output and standard error, at most 64 KiB
};
ProgramRun RunProgram(const std::vector<std::string>& argv);

// Whether a program of that name is found on PATH.
bool ProgramOnPath(const std::string& name);

} // namespace sendwell
