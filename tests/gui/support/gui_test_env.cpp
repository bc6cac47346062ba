#include "tests/gui/support/gui_test_env.h"

#include "core/web/loopback_guard.h"

#include <QCoreApplication>
#include <cstdio>
#include <cstdlib>

namespace sendwell::test {

void PrepareGuiTestProcess() {
    // Tests and CI run as root without a display; the web engine needs these before it starts.
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
    setenv("QTWEBENGINE_CHROMIUM_FLAGS",
           "--disable-background-networking --disable-component-update --disable-sync --no-first-run", 0);
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    sendwell::SetLoopbackOnly(true);
}

int FinishGuiTestProcess(int rc) {
    if (sendwell::GuardRefusals() != 0) {
        std::fprintf(stderr, "FAILED: %ld request(s) tried to leave the loopback interface\n",
                     sendwell::GuardRefusals());
        return 1;
    }
    return rc;
}

} // namespace sendwell::test
