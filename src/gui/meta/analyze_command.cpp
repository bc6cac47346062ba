#include "gui/meta/analyze_command.h"

#include "core/meta/meta_analysis.h"
#include "gui/base/text_bytes.h"
#include "gui/meta/meta_findings_dialog.h"
#include "gui/meta/program_scanner.h"
#include "gui/web/wait_window.h"

#include <exception>

namespace sendwell::gui {

namespace {

class AnalysisWindowsOnScreen : public sendwell::AnalysisWindows {
public:
    explicit AnalysisWindowsOnScreen(QWidget* parent) : parent_(parent) {}

    void FetchBehindWaitWindow(const std::string& address, const std::function<void()>& fetch) override {
        RunBehindWaitWindow(parent_, fetch,
                            QString::fromUtf8(sendwell::kCheckingPageText) + u'\n' + ToQString(address),
                            QString());
    }

    void ShowFindings(const sendwell::MetaFindings& findings, const std::string& advice) override {
        MetaFindingsDialog dialog(findings, advice, parent_);
        dialog.exec();
    }

private:
    QWidget* parent_;
};

} // namespace

void RunAnalyzeCommand(QWidget* parent, sendwell::Prompt& messages, const std::string& address,
                       const sendwell::ConnectionSettings& settings, int connectTimeoutSeconds) {
    AnalysisWindowsOnScreen windows(parent);
    try {
        sendwell::AnalyzeMetaTags(address, settings, ProgramMetaScanner(), messages, windows,
                                  connectTimeoutSeconds);
    } catch (const std::exception&) {
        // Out of memory on a huge page, say: the page then has no findings to show.
        messages.ShowMessage(sendwell::kNoMetaTagsText, sendwell::kMetaCaption,
                             sendwell::MessageIcon::Information);
    }
}

} // namespace sendwell::gui
