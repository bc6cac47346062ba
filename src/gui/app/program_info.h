// The program's name, version and icon as the windows show them.
#pragma once

#include <QIcon>
#include <QString>

namespace sendwell::gui {

// The version number (core/base/program_version.h), as the header label and the About box show it.
QString VersionText();

// Icon 128: the program icon in every size shipped.
QIcon ProgramIcon();

// Registers the compiled-in resources (icons, pictures); needed once before any window is built,
// because the GUI is a static library.
void InitResources();

} // namespace sendwell::gui
