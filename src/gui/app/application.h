// The program's start-up and shutdown around the main window.
#pragma once

class QApplication;

namespace sendwell::gui {

// What must happen before the application object exists: the web engine's and Qt's process-wide
// switches, and the data file's reading started on a thread of its own.
void PrepareProcess();

// Runs the program: the main window, modally, until it closes. Returns the process exit code.
int RunApplication(QApplication& app);

} // namespace sendwell::gui
