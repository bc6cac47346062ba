#include "gui/app/application.h"

#include "core/base/settings.h"
#include "core/results/answer_store.h"
#include "core/urldb/database_session.h"
#include "gui/app/database_preload.h"
#include "gui/app/main_window.h"
#include "gui/app/single_instance.h"
#include "gui/base/dialog_prompt.h"
#include "gui/base/program_info.h"
#include "gui/base/text_bytes.h"
#include "gui/upgrade/upgrade_command.h"
#include "gui/urldb/url_list_model.h"

#include <QApplication>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QTimer>
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

void StartWindow(MainWindow& window, sendwell::DatabaseSession& session) {
    window.listModel()->resetWith(
        [&session](sendwell::UrlDatabase&) { session.Load(LoadDatabaseForWindow); });
    window.showLoadedFields();
    // Told once, when the window is up: where the file as it was before this load is kept.
    if (const std::string notice = session.LoadNotice(); !notice.empty()) {
        QTimer::singleShot(0, &window, [&window, notice] {
            window.messages().ShowMessage(notice, sendwell::kAppCaption, sendwell::MessageIcon::Information);
        });
    }
    if (window.upgradeCommand().CheckDue()) {
        window.OnUpgrade();
    }
    sendwell::ClearAnswerStoreAtStartup(window.programFolder());
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

    // The session and its lock outlive the window, whose end saves the database.
    sendwell::DatabaseSession session;
    SingleInstance instance(SingleInstance::KeyFor(session.file()));
    if (ClaimDatabase(instance, session.lock(), session.file()) != StartDecision::Run) {
        return 0;
    }

    DialogPrompt messages;
    {
        MainWindow window(session, &messages);
        messages.setParent(&window);
        StartWindow(window, session);
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
