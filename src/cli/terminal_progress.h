// The command line's Progress: one line of stderr redrawn in place, with a bar, the count of steps
// (requests of a run), the rate, the time left and the status text. Nothing at all when stderr is not a
// terminal, so that the mail of a cron job holds only the results.
#pragma once

#include "core/base/progress.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>

namespace sendwell::cli {

// "[#####.....]  12/78  1.5/s  0:44 left  label", cut to width columns. Rate and time left read "-"
// until a request is done.
std::string ProgressLine(std::size_t done, std::size_t total, double elapsedSeconds, std::string_view label,
                         std::size_t width);

class TerminalProgress : public Progress {
public:
    // enabled false: every call does nothing. Called on one thread at a time.
    TerminalProgress(std::ostream& err, bool enabled);
    // Whether stderr is a terminal.
    static bool StderrIsTerminal();

    // The label at the end of the line.
    void SetStatusText(const std::string& text) override;
    // A new total starts the clock for the rate and the time left.
    void SetSteps(std::uint64_t done, std::uint64_t total) override;
    // Erases the line, before other output on the terminal and at the end.
    void Clear();

private:
    void Draw();

    std::ostream& err_;
    bool enabled_;
    bool shown_ = false;
    bool started_ = false;
    std::size_t total_ = 0;
    std::size_t done_ = 0;
    std::string label_;
    std::chrono::steady_clock::time_point start_;
};

} // namespace sendwell::cli
