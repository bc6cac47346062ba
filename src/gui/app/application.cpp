#include "gui/app/application.h"

#include "gui/app/main_window.h"
#include "gui/base/message_box_sink.h"
#include "gui/base/program_info.h"
#include "core/base/settings.h"
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

    MessageBoxSink messages;
    {
        MainWindow window(&messages);
        messages.setParent(&window);
        window.exec();
    }
    return 0;
}

} // namespace sendwell::gui
