// "Check for Upgrade": asks whether to look for a newer version; OK starts the check, Close ends it.
#pragma once

#include <QDialog>

class QPushButton;

namespace sendwell::gui {

class CheckUpgradeDialog : public QDialog {
    Q_OBJECT
public:
    explicit CheckUpgradeDialog(QWidget* parent = nullptr);

    QPushButton* okButton() const { return ok_; }
    QPushButton* closeButton() const { return close_; }

    // After a check: OK is spent, and Enter now closes the dialog.
    void checkDone();

signals:
    void checkRequested();

private:
    QPushButton* ok_;
    QPushButton* close_;
};

} // namespace sendwell::gui
