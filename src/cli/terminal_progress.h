// A submission run's progress on a terminal: one line of stderr redrawn in place, with a bar, the count
// of requests, the rate and the time left. Nothing at all when stderr is not a terminal, so that the
// mail of a cron job holds only the results.
#pragma once

#include <chrono>
#include <cstddef>
#include <ostream>
#include <string>
#include <string_view>

namespace sendwell::cli {

// "[#####.....]  12/78  1.5/s  0:44 left  label", cut to width columns. Rate and time left read "-"
// until a request is done.
std::string ProgressLine(std::size_t done, std::size_t total, double elapsedSeconds, std::string_view label,
                         std::size_t width);

class TerminalProgress {
public:
    // enabled false: every call does nothing.
    TerminalProgress(std::ostream& err, bool enabled);
    // Whether stderr is a terminal.
    static bool StderrIsTerminal();

    void Start(std::size_t total);
    void Update(std::size_t done, std::string_view label);
    // Erases the line, before other output on the terminal and at the end.
    void Clear();

private:
    void Draw();

    std::ostream& err_;
    bool enabled_;
    bool shown_ = false;
    std::size_t total_ = 0;
    std::size_t done_ = 0;
    std::string label_;
    std::chrono::steady_clock::time_point start_;
};

} // namespace sendwell::cli
