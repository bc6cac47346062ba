// The program's start-up and shutdown around the main window.
#pragma once

class QApplication;

namespace sendwell {
class DatabaseSession;
}

namespace sendwell::gui {

class MainWindow;

// What must happen before the application object exists: the web engine's and Qt's process-wide
// switches, and the data file's reading started on a thread of its own.
void PrepareProcess();

// The start-up decisions around a new main window: the database loaded into its list (taking over a
// load started by PrepareProcess), the notice about an altered file once the window is up, the upgrade
// check when one is due, and the stored engine answers of the last run removed.
void StartWindow(MainWindow& window, sendwell::DatabaseSession& session);

// Runs the program: the main window, modally, until it closes. Returns the process exit code.
int RunApplication(QApplication& app);

} // namespace sendwell::gui
