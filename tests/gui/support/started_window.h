// The main window as the program starts it: over a session of the world's database, loaded, with the
// start-up checks run. The session lives as long as the window.
#pragma once

#include "core/urldb/database_session.h"
#include "gui/app/application.h"
#include "gui/app/main_window.h"

namespace sendwell::test {

class StartedWindow : private sendwell::DatabaseSession, public sendwell::gui::MainWindow {
public:
    explicit StartedWindow(sendwell::Prompt* messages)
        : sendwell::DatabaseSession(), sendwell::gui::MainWindow(
                                           static_cast<sendwell::DatabaseSession&>(*this), messages) {
        sendwell::gui::StartWindow(*this, session());
    }

    sendwell::DatabaseSession& session() { return *this; }
};

} // namespace sendwell::test
