// The main window's "P&ing" command: checks whether the web server of one address answers and shows
// its HTTP status in words.
#pragma once

#include "core/base/prompt.h"

#include <string>

class QWidget;

namespace sendwell::gui {

inline constexpr int kPingConnectTimeoutSeconds = 20;

// Sends one GET to address (the "Web URL" of the first selected row, "" when none is selected) behind
// the "Please Wait" window, then shows the "Web Site Status" report through messages. The request goes
// out without the user's proxy settings and runs off the UI thread, which keeps painting; parent and
// every other window take no input until the report appears. Returns once the report has been shown.
void RunPingCommand(QWidget* parent, sendwell::Prompt& messages, const std::string& address,
                    int connectTimeoutSeconds = kPingConnectTimeoutSeconds);

} // namespace sendwell::gui
