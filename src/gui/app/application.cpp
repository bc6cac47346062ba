#include "app/application.h"

#include "app/main_window.h"
#include "app/message_box_sink.h"
#include "app/program_info.h"
#include "app/settings.h"
#include "app/text_bytes.h"

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

    MessageBoxSink messages;
    {
        MainWindow window(&messages);
        messages.setParent(&window);
        window.exec();
    }
    return 0;
}

} // namespace sendwell::gui
