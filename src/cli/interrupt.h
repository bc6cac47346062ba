// Ctrl+C for the commands that may run long. While a scope lives, the first Ctrl+C sets the command's
// stop flag, which its loops and every transfer check, and says so on stderr; a second one ends the
// program at once. The command then ends as cancelled (exit code 130).
#pragma once

#include <atomic>
#include <csignal>

namespace sendwell::cli {

class InterruptScope {
public:
    explicit InterruptScope(std::atomic<bool>& stop);
    ~InterruptScope();
    InterruptScope(const InterruptScope&) = delete;
    InterruptScope& operator=(const InterruptScope&) = delete;

private:
    struct sigaction previous_ {};
};

// Whether Ctrl+C was pressed while a scope lived, at any time before now.
bool WasInterrupted();

} // namespace sendwell::cli
