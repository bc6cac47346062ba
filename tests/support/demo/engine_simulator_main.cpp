// Plays all 26 engines on a loopback port until stopped, for trying a submission run by hand:
// it points the engine hosts of the current settings ($XDG_CONFIG_HOME) at itself.
//
//   sendwell-engine-simulator [delay-ms]
//
// Every engine answers a short thank-you page after the delay (default 250 ms, so the progress window
// can be watched); engine 4 answers with an error page and engine 9 with a 404, so the review shows the
// replacement notice too.
#include "core/submit/engine_catalogue.h"
#include "tests/support/engine_simulator.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

volatile std::sig_atomic_t g_stop = 0;

void OnSignal(int) {
    g_stop = 1;
}

} // namespace

int main(int argc, char** argv) {
    int delayMs = argc > 1 ? std::atoi(argv[1]) : 250;
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);

    sendwell::test::EngineSimulator engines;
    for (int position = 1; position <= sendwell::kEngineCount; ++position) {
        engines.AnswerSlowly(position, std::chrono::milliseconds(delayMs));
    }
    engines.AnswerErrorPage(4, "<H1>Internal Server Error</H1>");
    engines.AnswerNotFound(9);
    engines.PointEnginesHere();
    std::printf("Engine simulator on %s; engine hosts point here. Ctrl+C stops it.\n",
                engines.HostPort().c_str());
    std::fflush(stdout);

    while (g_stop == 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    std::printf("%zu requests answered.\n", engines.RequestCount());
    return 0;
}
