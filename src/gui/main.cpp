#include "gui/app/application.h"

#include <QApplication>
#include <QLoggingCategory>
#include <cstdlib>
#include <unistd.h>

int main(int argc, char** argv) {
    // The web engine refuses to start its sandbox as root and would take the program down with it the
    // first time a page is shown; as root, run it without.
    if (::geteuid() == 0) {
        setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
    }
    // The review's web view shares GL contexts with the widgets; this must precede the application.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    // The web engine describes its graphics set-up on every start; QT_LOGGING_RULES can bring it back.
    QLoggingCategory::setFilterRules(QStringLiteral("qt.webenginecontext.info=false"));
    QApplication app(argc, argv);
    return sendwell::gui::RunApplication(app);
}
