#include "gui/upgrade/upgrade_command.h"

#include "core/base/paths.h"
#include "gui/base/background_work.h"
#include "gui/base/text_bytes.h"
#include "gui/upgrade/check_upgrade_dialog.h"
#include "gui/web/password_dialog.h"
#include "gui/web/wait_window.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QPointer>
#include <QThread>
#include <system_error>

namespace sendwell::gui {

namespace {

// Message boxes for the download thread: shown on the UI thread, the caller waiting for the answer.
class AnyThreadMessages : public sendwell::MessageSink {
public:
    explicit AnyThreadMessages(sendwell::MessageSink& inner) : inner_(inner) {}

    void ShowMessage(const std::string& text, const std::string& caption,
                     sendwell::MessageIcon icon) override {
        InvokeOnUiThreadAndWait([&] { inner_.ShowMessage(text, caption, icon); });
    }

private:
    sendwell::MessageSink& inner_;
};

class WindowInstallHooks : public sendwell::InstallHooks {
public:
    WindowInstallHooks(QWidget* owner, sendwell::MessageSink& messages, std::function<bool()> save)
        : owner_(owner), messages_(messages), credentials_(owner), save_(std::move(save)) {}

    void RunOffThread(const std::function<void()>& work, const std::string& text) override {
        RunBehindWaitWindow(owner_, work, ToQString(text), QString::fromUtf8(sendwell::kUpgradingCaption));
    }

    void ShowProgress(const std::string& text) override {
        // The window belongs to the UI thread; the text goes there in order with every other update.
        QPointer<QWidget> owner = owner_;
        QMetaObject::invokeMethod(
            owner_,
            [owner, text = ToQString(text)] {
                if (owner) {
                    for (WaitWindow* window : owner->findChildren<WaitWindow*>(Qt::FindDirectChildrenOnly)) {
                        window->setText(text);
                    }
                }
            },
            Qt::QueuedConnection);
    }

    bool SaveBeforeUninstall() override { return save_(); }

    sendwell::MessageSink& Messages() override { return messages_; }
    sendwell::CredentialsPrompt* Credentials() override { return &credentials_; }

private:
    QWidget* owner_;
    sendwell::MessageSink& messages_;
    sendwell::DialogCredentialsPrompt credentials_;
    std::function<bool()> save_;
};

bool AskYesNo(QWidget* parent, const QString& caption, const QString& text) {
    QMessageBox box(QMessageBox::Question, caption, text, QMessageBox::Yes | QMessageBox::No, parent);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

} // namespace

UpgradeCommand::UpgradeCommand(QWidget* window, sendwell::MessageSink& messages,
                               SaveBeforeInstall saveBeforeInstall)
    : QObject(window), window_(window), messages_(messages),
      anyThreadMessages_(std::make_unique<AnyThreadMessages>(messages)),
      saveBeforeInstall_(std::move(saveBeforeInstall)), question_(AskYesNo),
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
    sendwell::DialogCredentialsPrompt credentials(&dialog);
    checker_.fetcher.credentialsPrompt = &credentials;
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
    if (!question_(&dialog, ToQString(verdict.caption), ToQString(verdict.text))) {
        dialog.reject();
        return;
    }
    WindowInstallHooks hooks(&dialog, *anyThreadMessages_, [this] {
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
