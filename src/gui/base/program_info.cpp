#include "gui/base/program_info.h"

#include "core/base/program_version.h"

// Q_INIT_RESOURCE must be expanded outside any namespace.
static void InitSendwellResources() {
    Q_INIT_RESOURCE(resources);
}

namespace sendwell::gui {

QString VersionText() {
    return QString::fromLatin1(sendwell::kVersionText);
}

QIcon ProgramIcon() {
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        icon.addFile(QStringLiteral(":/icons/sendwell-%1.png").arg(size), QSize(size, size));
    }
    return icon;
}

void InitResources() {
    static const bool done = [] {
        InitSendwellResources();
        return true;
    }();
    (void)done;
}

} // namespace sendwell::gui
