#include "gui/web/ping_command.h"

#include "core/web/status_check.h"
#include "gui/base/text_bytes.h"
#include "gui/web/wait_window.h"

#include <chrono>

namespace sendwell::gui {

void RunPingCommand(QWidget* parent, sendwell::Prompt& messages, const std::string& address,
                    int connectTimeoutSeconds) {
    // The user's proxy is deliberately not used: the default settings connect as the environment says.
    sendwell::TransferLimits limits;
    limits.connect = std::chrono::seconds(connectTimeoutSeconds);

    int code = -1;
    std::string statusText;
    try {
        RunBehindWaitWindow(
            parent, [&] { code = sendwell::CheckUrlStatus(address, statusText, {}, limits); },
            ToQString(sendwell::kContactingUrlText));
    } catch (...) {
        // Whatever went wrong still ends in the report, as a failure without a message of its own.
        code = -1;
        statusText = "Error: ";
    }
    messages.ShowMessage(sendwell::StatusReportText(code, statusText), sendwell::kStatusReportCaption);
}

} // namespace sendwell::gui
