#include "gui/app/application.h"

#include "core/base/settings.h"
#include "core/urldb/database_file.h"
#include "gui/app/database_preload.h"
#include "gui/app/main_window.h"
#include "gui/app/single_instance.h"
#include "gui/base/message_box_sink.h"
#include "gui/base/program_info.h"
#include "gui/base/text_bytes.h"

#include <QApplication>
#include <QFileInfo>
#include <QLoggingCategory>
#include <cstdlib>
#include <unistd.h>

namespace sendwell::gui {

void PrepareProcess() {
    // The web engine refuses to start its sandbox as root and would take the program down with it the
    // first time a page is shown; as root, run it without.
    if (::geteuid() == 0) {
        setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
    }
    // The review's web view shares GL contexts with the widgets; this must precede the application.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    // The web engine describes its graphics set-up on every start; QT_LOGGING_RULES can bring it back.
    QLoggingCategory::setFilterRules(QStringLiteral("qt.webenginecontext.info=false"));
    // Needs only the environment, and runs while Qt starts.
    StartLoadingDatabase(sendwell::DefaultDatabasePath());
}

int RunApplication(QApplication& app) {
    InitResources();
    // The per-program settings area is named after the running program's file.
    const QString name = QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
    if (!name.isEmpty()) {
        sendwell::SetProgramName(ToBytes(name));
    }
    app.setWindowIcon(ProgramIcon());
    app.setApplicationDisplayName(QString());

    // The lock outlives the window, whose end saves the database.
    sendwell::DatabaseLock lock;
    const std::filesystem::path databaseFile = sendwell::DefaultDatabasePath();
    SingleInstance instance(SingleInstance::KeyFor(databaseFile));
    if (ClaimDatabase(instance, lock, databaseFile) != StartDecision::Run) {
        return 0;
    }

    MessageBoxSink messages;
    {
        MainWindow window(&messages);
        messages.setParent(&window);
        QObject::connect(&instance, &SingleInstance::activationRequested, &window, [&window] {
            window.showNormal();
            window.raise();
            window.activateWindow();
        });
        window.exec();
    }
    return 0;
}

} // namespace sendwell::gui
