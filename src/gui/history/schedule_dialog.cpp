#include "gui/history/schedule_dialog.h"

#include "core/base/paths.h"
#include "core/schedule/command_words.h"
#include "core/schedule/schedule.h"
#include "gui/base/background_work.h"
#include "gui/base/text_bytes.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace sendwell::gui {

ScheduleDialog::ScheduleDialog(QWidget* parent, std::filesystem::path folder, std::filesystem::path program)
    : QDialog(parent), folder_(folder.empty() ? sendwell::UserUnitFolder() : std::move(folder)),
      program_(program.empty() ? sendwell::ProgramInstallFolder() / "sendwell-cli" : std::move(program)) {
    setWindowTitle(QString::fromLatin1(kScheduleCaption));
    setObjectName(QStringLiteral("scheduleDialog"));
    setSizeGripEnabled(true);

    table_ = new QTableWidget(0, 3, this);
    table_->setObjectName(QStringLiteral("scheduleTable"));
    table_->setHorizontalHeaderLabels({tr("Name"), tr("Every"), tr("Command")});
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->setColumnWidth(NameColumn, 120);
    table_->setColumnWidth(EveryColumn, 140);

    name_ = new QLineEdit(this);
    name_->setMaxLength(64);
    name_->setPlaceholderText(QStringLiteral("nightly"));
    every_ = new QComboBox(this);
    every_->setEditable(true); // or a calendar expression, "Mon *-*-* 06:00"
    every_->addItems({QStringLiteral("daily"), QStringLiteral("weekly")});
    command_ = new QLineEdit(this);
    command_->setPlaceholderText(QStringLiteral("indexnow submit --all"));
    auto* form = new QFormLayout();
    form->addRow(tr("&Name:"), name_);
    form->addRow(tr("&Every:"), every_);
    form->addRow(tr("sendwell-cli &command:"), command_);

    note_ = new QLabel(this);
    note_->setWordWrap(true);
    note_->setTextInteractionFlags(Qt::TextSelectableByMouse); // the crontab line is there to be copied

    add_ = new QPushButton(tr("&Add"), this);
    remove_ = new QPushButton(tr("&Remove"), this);
    auto* close = new QPushButton(tr("Cl&ose"), this);
    connect(add_, &QPushButton::clicked, this, &ScheduleDialog::addSchedule);
    connect(remove_, &QPushButton::clicked, this, &ScheduleDialog::removeSelected);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    connect(table_, &QTableWidget::itemSelectionChanged, this,
            [this] { remove_->setEnabled(!table_->selectedItems().isEmpty()); });

    auto* buttons = new QHBoxLayout();
    buttons->addWidget(add_);
    buttons->addWidget(remove_);
    buttons->addStretch(1);
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(table_, 1);
    layout->addLayout(form);
    layout->addWidget(note_);
    layout->addLayout(buttons);
    resize(640, 420);
    reload();
}

void ScheduleDialog::reload() {
    const std::vector<sendwell::ScheduledRun> runs = sendwell::ListSchedules(folder_);
    table_->setRowCount(0);
    table_->setRowCount(static_cast<int>(runs.size()));
    for (int r = 0; r < table_->rowCount(); ++r) {
        const sendwell::ScheduledRun& run = runs[static_cast<std::size_t>(r)];
        table_->setItem(r, NameColumn, new QTableWidgetItem(ToQString(run.name)));
        table_->setItem(r, EveryColumn, new QTableWidgetItem(ToQString(run.every)));
        table_->setItem(r, CommandColumn,
                        new QTableWidgetItem(ToQString(sendwell::JoinCommandWords(run.command))));
    }
    remove_->setEnabled(false);
}

void ScheduleDialog::addSchedule() {
    sendwell::ScheduledRun run;
    run.name = ToBytes(name_->text().trimmed());
    run.every = ToBytes(every_->currentText().trimmed());
    const std::optional<std::vector<std::string>> words =
        sendwell::SplitCommandWords(ToBytes(command_->text()));
    if (!words) {
        Say(tr("The command has a quote that is not closed."), true);
        return;
    }
    run.command = *words;
    if (const std::string problem = sendwell::ScheduleProblem(run); !problem.empty()) {
        Say(ToQString(problem), true);
        return;
    }
    sendwell::ScheduleChange change;
    // systemctl may take a moment to answer, or not answer at all until its own time-out.
    RunOffUiThread([&] { change = sendwell::AddSchedule(run, folder_, program_); },
                   QEventLoop::ExcludeUserInputEvents);
    reload();
    if (!change.outcome.ok()) {
        Say(ToQString(change.outcome.text), true);
    } else if (!change.note.empty()) {
        Say(ToQString(change.note), false);
    } else {
        Say(tr("Scheduled %1 (%2, enabled).")
                .arg(ToQString(run.name), ToQString(sendwell::TimerUnitName(run.name))),
            false);
    }
}

void ScheduleDialog::removeSelected() {
    const QList<QTableWidgetItem*> chosen = table_->selectedItems();
    if (chosen.isEmpty()) {
        return;
    }
    const std::string name = ToBytes(table_->item(chosen.front()->row(), NameColumn)->text());
    sendwell::ScheduleChange change;
    RunOffUiThread([&] { change = sendwell::RemoveSchedule(name, folder_); },
                   QEventLoop::ExcludeUserInputEvents);
    reload();
    if (!change.outcome.ok()) {
        Say(ToQString(change.outcome.text), true);
    } else {
        Say(change.note.empty() ? tr("Removed %1.").arg(ToQString(name)) : ToQString(change.note), false);
    }
}

void ScheduleDialog::Say(const QString& text, bool problem) {
    note_->setStyleSheet(problem ? QStringLiteral("color: #b00020;") : QString());
    note_->setText(text);
}

} // namespace sendwell::gui
