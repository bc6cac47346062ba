#include "cli/interrupt.h"

#include <unistd.h>

namespace sendwell::cli {

namespace {

std::atomic<std::atomic<bool>*> g_stop{nullptr};
std::atomic<bool> g_interrupted{false};

extern "C" void OnInterrupt(int) {
    g_interrupted.store(true);
    if (std::atomic<bool>* stop = g_stop.load()) {
        stop->store(true);
    }
    static const char text[] =
        "\nsendwell-cli: cancelling after the request in progress (Ctrl+C again ends at once)\n";
    (void)!::write(STDERR_FILENO, text, sizeof text - 1);
}

} // namespace

InterruptScope::InterruptScope(std::atomic<bool>& stop) {
    g_stop.store(&stop);
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND;
    ::sigaction(SIGINT, &action, &previous_);
}

InterruptScope::~InterruptScope() {
    ::sigaction(SIGINT, &previous_, nullptr);
    g_stop.store(nullptr);
}

bool WasInterrupted() {
    return g_interrupted.load();
}

} // namespace sendwell::cli
