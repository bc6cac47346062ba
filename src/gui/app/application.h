// The program's start-up and shutdown around the main window.
#pragma once

class QApplication;

namespace sendwell::gui {

// Runs the program: the main window, modally, until it closes. Returns the process exit code.
int RunApplication(QApplication& app);

} // namespace sendwell::gui
