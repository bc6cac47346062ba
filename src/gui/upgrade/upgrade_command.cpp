#include "gui/upgrade/upgrade_command.h"

#include "core/base/paths.h"
#include "gui/base/background_work.h"
#include "gui/base/progress_relay.h"
#include "gui/base/text_bytes.h"
#include "gui/upgrade/check_upgrade_dialog.h"
#include "gui/web/wait_window.h"

#include <QCoreApplication>
#include <system_error>

namespace sendwell::gui {

namespace {

class WindowInstallHooks : public sendwell::InstallHooks {
public:
    WindowInstallHooks(QWidget* owner, sendwell::Prompt& prompt, std::function<bool()> save)
        : owner_(owner), prompt_(prompt), save_(std::move(save)),
          progress_(owner, [owner](const QString& text) {
              for (WaitWindow* window : owner->findChildren<WaitWindow*>(Qt::FindDirectChildrenOnly)) {
                  window->setText(text);
              }
          }) {}

    void RunOffThread(const std::function<void()>& work, const std::string& text) override {
        RunBehindWaitWindow(owner_, work, ToQString(text), QString::fromUtf8(sendwell::kUpgradingCaption));
    }
    sendwell::Progress& DownloadProgress() override { return progress_; }
    bool SaveBeforeUninstall() override { return save_(); }
    sendwell::Prompt& UserPrompt() override { return prompt_; }

private:
    QWidget* owner_;
    sendwell::Prompt& prompt_;
    std::function<bool()> save_;
    ProgressRelay progress_;
};

} // namespace

UpgradeCommand::UpgradeCommand(QWidget* window, sendwell::Prompt& messages,
                               SaveBeforeInstall saveBeforeInstall)
    : QObject(window), window_(window), messages_(messages), saveBeforeInstall_(std::move(saveBeforeInstall)),
      endProgram_([] { QCoreApplication::exit(0); }), installFolder_(sendwell::ProgramInstallFolder()) {}

UpgradeCommand::~UpgradeCommand() {
    checker_.SaveCheckDate();
}

bool UpgradeCommand::CheckDue() {
    return checker_.CheckDue();
}

void UpgradeCommand::Run() {
    checker_.Prepare();
    CheckUpgradeDialog dialog(window_);
    connect(&dialog, &CheckUpgradeDialog::checkRequested, this, [this, &dialog] { Check(dialog); });
    dialog.exec();
}

void UpgradeCommand::Check(CheckUpgradeDialog& dialog) {
    checker_.fetcher.credentialsPrompt = &messages_;
    sendwell::Outcome fetched;
    try {
        RunBehindWaitWindow(
            &dialog, [this, &fetched] { fetched = checker_.FetchUpgradePage(); },
            QString::fromUtf8(sendwell::kCheckingText), QString::fromUtf8(sendwell::kCheckingCaption));
    } catch (...) {
        // A check that could not run reads as a page without lines.
    }
    checker_.fetcher.credentialsPrompt = nullptr;
    if (!fetched.ok() && !fetched.text.empty()) {
        messages_.ShowMessage(fetched.text, sendwell::kAppCaption);
    }
    checker_.MarkChecked();

    const sendwell::UpgradeChecker::Verdict verdict = checker_.Decide();
    if (!verdict.offer) {
        messages_.ShowMessage(verdict.text, verdict.caption);
        dialog.checkDone();
        return;
    }
    if (!messages_.Confirm(verdict.text, verdict.caption)) {
        dialog.reject();
        return;
    }
    WindowInstallHooks hooks(&dialog, messages_, [this] {
        checker_.SaveCheckDate();
        return saveBeforeInstall_ ? saveBeforeInstall_() : true;
    });
    if (sendwell::InstallUpgrade(checker_.InstallRequestFor(installFolder_), hooks) ==
        sendwell::InstallOutcome::Installed) {
        dialog.reject();
        endProgram_();
        return;
    }
    dialog.checkDone();
}

} // namespace sendwell::gui
