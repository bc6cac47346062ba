// The program's name, version and icon as the windows show them.
#pragma once

#include "core/base/program_version.h"

#include <QIcon>
#include <QString>

namespace sendwell::gui {

// The version number, as the header label and the About box show it ("3.81").
using sendwell::kProgramVersion;
QString VersionText();

// Icon 128: the program icon in every size shipped.
QIcon ProgramIcon();

// Registers the compiled-in resources (icons, pictures); needed once before any window is built,
// because the GUI is a static library.
void InitResources();

} // namespace sendwell::gui
