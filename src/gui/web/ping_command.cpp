#include "gui/web/ping_command.h"

#include "gui/base/text_bytes.h"
#include "core/web/page_fetcher.h"
#include "core/web/status_check.h"
#include "gui/web/wait_window.h"

namespace sendwell::gui {

void RunPingCommand(QWidget* parent, sendwell::MessageSink& messages, const std::string& address,
                    int connectTimeoutSeconds) {
    // Only the connection settings matter here; the user's proxy is deliberately not copied in.
    sendwell::PageFetcher connection;
    connection.connectTimeout = connectTimeoutSeconds;

    int code = -1;
    std::string statusText;
    try {
        RunBehindWaitWindow(
            parent, [&] { code = sendwell::CheckUrlStatus(address, statusText, connection); },
            ToQString(sendwell::kContactingUrlText));
    } catch (...) {
        // Whatever went wrong still ends in the report, as a failure without a message of its own.
        code = -1;
        statusText = "Error: ";
    }
    messages.ShowMessage(sendwell::StatusReportText(code, statusText), sendwell::kStatusReportCaption);
}

} // namespace sendwell::gui
