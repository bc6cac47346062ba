// The main window's "Analy&ze" command: the meta tags of one page, with one line of advice.
#pragma once

#include "core/base/connection_settings.h"
#include "core/base/prompt.h"

#include <string>

class QWidget;

namespace sendwell::gui {

// Fetches address (the "Web URL" of the last selected row, "" when none is selected) with the user's
// proxy settings behind a wait window, off the UI thread, then shows "META Keywords Found" or says
// through messages why not. Returns once the user has closed what was shown.
void RunAnalyzeCommand(QWidget* parent, sendwell::Prompt& messages, const std::string& address,
                       const sendwell::ConnectionSettings& settings, int connectTimeoutSeconds = 20);

} // namespace sendwell::gui
