#include "gui/app/application.h"

#include "core/base/settings.h"
#include "core/urldb/database_file.h"
#include "gui/app/main_window.h"
#include "gui/base/program_info.h"
#include "gui/app/single_instance.h"
#include "gui/base/message_box_sink.h"
#include "gui/base/text_bytes.h"

#include <QApplication>
#include <QFileInfo>

namespace sendwell::gui {

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
