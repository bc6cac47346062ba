// The Schedule dialog: the program's scheduled runs (systemd user timers of ours), adding one (a name,
// when, and the command line program's arguments) and removing one. Where systemctl does not answer,
// it shows the crontab line to use instead.
#pragma once

#include <QDialog>
#include <filesystem>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace sendwell::gui {

inline constexpr const char* kScheduleCaption = "Schedule";

class ScheduleDialog : public QDialog {
    Q_OBJECT
public:
    enum Column { NameColumn, EveryColumn, CommandColumn };

    // folder holds the units (the user's own unit folder unless a test says otherwise); program is the
    // command line program the units run.
    explicit ScheduleDialog(QWidget* parent = nullptr, std::filesystem::path folder = {},
                            std::filesystem::path program = {});

    QTableWidget* table() const { return table_; }
    QLineEdit* nameEdit() const { return name_; }
    QComboBox* everyBox() const { return every_; }
    QLineEdit* commandEdit() const { return command_; }
    QPushButton* addButton() const { return add_; }
    QPushButton* removeButton() const { return remove_; }
    // What the last add or remove did, or why it could not be done.
    QLabel* noteLabel() const { return note_; }

    void addSchedule();
    void removeSelected();
    void reload();

private:
    void Say(const QString& text, bool problem);

    std::filesystem::path folder_;
    std::filesystem::path program_;
    QTableWidget* table_ = nullptr;
    QLineEdit* name_ = nullptr;
    QComboBox* every_ = nullptr;
    QLineEdit* command_ = nullptr;
    QPushButton* add_ = nullptr;
    QPushButton* remove_ = nullptr;
    QLabel* note_ = nullptr;
};

} // namespace sendwell::gui
