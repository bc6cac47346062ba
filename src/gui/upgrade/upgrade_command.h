// The main window's "&Upgrade" command and the start-up check behind it. Owns the upgrade checker for
// the whole program run; the date of the last check is stored when the command object goes away with
// the main window.
#pragma once

#include "core/base/prompt.h"
#include "core/upgrade/upgrade_checker.h"

#include <QObject>
#include <QString>
#include <filesystem>
#include <functional>
#include <memory>

class QWidget;

namespace sendwell::gui {

class CheckUpgradeDialog;

class UpgradeCommand : public QObject {
    Q_OBJECT
public:
    // Saves what the user has entered (the URL database) before an installer replaces the program;
    // false when that failed, and the install then runs nothing.
    using SaveBeforeInstall = std::function<bool()>;
    // window parents the dialogs and owns this object; messages shows the message boxes and the
    // offer's question, and asks for a password when the vendor's server wants one.
    UpgradeCommand(QWidget* window, sendwell::Prompt& messages, SaveBeforeInstall saveBeforeInstall);
    ~UpgradeCommand() override;

    // Start-up: whether the automatic check is due now.
    bool CheckDue();
    // Shows "Check for Upgrade" and returns when it has closed (or the program is ending).
    void Run();

    sendwell::UpgradeChecker& checker() { return checker_; }
    // Replace the end of the program (tests record instead).
    void setEndProgram(std::function<void()> endProgram) { endProgram_ = std::move(endProgram); }
    // Where the installed program's uninstaller is looked for; the executable's folder unless replaced.
    void setInstallFolder(std::filesystem::path folder) { installFolder_ = std::move(folder); }

private:
    void Check(CheckUpgradeDialog& dialog);

    QWidget* window_;
    sendwell::Prompt& messages_;
    SaveBeforeInstall saveBeforeInstall_;
    std::function<void()> endProgram_;
    std::filesystem::path installFolder_;
    sendwell::UpgradeChecker checker_;
};

} // namespace sendwell::gui
