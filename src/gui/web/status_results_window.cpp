#include "gui/web/status_results_window.h"

#include "core/base/report_table.h"
#include "core/history/status_history.h"
#include "gui/base/background_work.h"
#include "gui/base/desktop_notifier.h"
#include "gui/base/file_choice.h"
#include "gui/base/result_table.h"
#include "gui/base/text_bytes.h"

#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <climits>
#include <exception>

namespace sendwell::gui {

namespace {

QTableWidgetItem* NumberItem(long long value) {
    auto* item = new QTableWidgetItem();
    // A number as display data sorts as a number, not as text ("9" before "10").
    item->setData(Qt::DisplayRole, QVariant::fromValue(value));
    item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return item;
}

} // namespace

StatusResultsWindow::StatusResultsWindow(sendwell::Prompt& messages, QWidget* parent)
    : QDialog(parent), messages_(messages) {
    setWindowTitle(QString::fromLatin1(kCheckAllCaption));
    setSizeGripEnabled(true);

    table_ = new QTableWidget(0, 5, this);
    table_->setObjectName(QStringLiteral("statusTable"));
    table_->setHorizontalHeaderLabels(
        {tr("Address"), tr("Code"), tr("Status"), tr("Time (ms)"), tr("Redirected to")});
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->verticalHeader()->hide();
    table_->setWordWrap(false); // one line per address, however long its words

    table_->horizontalHeader()->setStretchLastSection(true);
    table_->setColumnWidth(AddressColumn, 240);
    table_->setColumnWidth(CodeColumn, 50);
    table_->setColumnWidth(TextColumn, 270);
    table_->setColumnWidth(TimeColumn, 70);
    table_->setSortingEnabled(true);
    table_->sortByColumn(-1, Qt::AscendingOrder); // in the order they come until the user sorts

    status_ = new QLabel(this);
    progress_ = new QProgressBar(this);
    cancel_ = new QPushButton(tr("&Cancel"), this);
    export_ = new QPushButton(tr("&Export CSV..."), this);
    export_->setEnabled(false);
    auto* close = new QPushButton(tr("Cl&ose"), this);
    connect(cancel_, &QPushButton::clicked, this, &StatusResultsWindow::cancel);
    connect(export_, &QPushButton::clicked, this, &StatusResultsWindow::exportCsv);
    connect(close, &QPushButton::clicked, this, &QDialog::close);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(table_, 1);
    AddRunFoot(layout, progress_, cancel_, status_, export_, close);
    resize(780, 440);
}

StatusResultsWindow::~StatusResultsWindow() {
    // The work posts to this window: it must have ended before the window goes.
    stop_->store(true);
    if (task_) {
        try {
            task_->wait();
        } catch (...) {
            // The window is going; what the work threw has no one left to tell.
        }
    }
}

void StatusResultsWindow::start(std::vector<std::string> addresses, sendwell::StatusRunSetup setup) {
    started_ = notifier_ ? notifier_->now() : std::chrono::steady_clock::now();
    total_ = addresses.size();
    progress_->setRange(0, static_cast<int>(std::min<std::size_t>(total_, INT_MAX)));
    progress_->setValue(0);
    cancel_->setEnabled(true);
    ShowCount();
    setup.stop = stop_.get();
    setup.progress = nullptr; // each row that comes moves the bar
    auto work = [this, addresses = std::move(addresses), setup, stop = stop_] {
        const sendwell::RecordedStatusCheck checked = sendwell::RunRecordedStatusCheck(
            addresses, setup, [this](std::size_t index, sendwell::StatusRow&& row) {
                QMetaObject::invokeMethod(
                    this, [this, index, row = std::move(row)]() mutable { AddRow(index, std::move(row)); },
                    Qt::QueuedConnection);
            });
        historyError_ = checked.historyError;
    };
    task_ = StartOffUiThread(std::move(work), this, [this] { RunEnded(); });
}

void StatusResultsWindow::AddRow(std::size_t index, sendwell::StatusRow row) {
    // Rows that come together go into the table together: a sorted table sorts once per batch rather
    // than once per row, which would stall the window on a long list.
    if (rows_.size() == shown_) {
        QMetaObject::invokeMethod(this, &StatusResultsWindow::ShowNewRows, Qt::QueuedConnection);
    }
    failed_ += row.failed() ? 1 : 0;
    rows_.emplace_back(index, std::move(row));
}

void StatusResultsWindow::ShowNewRows() {
    if (shown_ == rows_.size()) {
        return;
    }
    // Sorting while rows go in would move the row being filled.
    const bool sorting = table_->isSortingEnabled();
    table_->setSortingEnabled(false);
    for (; shown_ < rows_.size(); ++shown_) {
        const sendwell::StatusRow& row = rows_[shown_].second;
        const int at = table_->rowCount();
        table_->insertRow(at);
        table_->setItem(at, AddressColumn, new QTableWidgetItem(ToQString(row.address)));
        table_->setItem(at, CodeColumn, NumberItem(row.code));
        table_->setItem(at, TextColumn, new QTableWidgetItem(ToQString(row.text)));
        table_->setItem(at, TimeColumn, NumberItem(row.time.count()));
        table_->setItem(at, RedirectColumn, new QTableWidgetItem(ToQString(row.finalUrl)));
        if (row.failed()) {
            for (int c = AddressColumn; c <= RedirectColumn; ++c) {
                table_->item(at, c)->setForeground(Qt::darkRed);
            }
        }
    }
    table_->setSortingEnabled(sorting);
    progress_->setValue(static_cast<int>(std::min<std::size_t>(rows_.size(), INT_MAX)));
    export_->setEnabled(true);
    ShowCount();
}

void StatusResultsWindow::RunEnded() {
    ShowNewRows();
    std::unique_ptr<BackgroundTask> task = std::move(task_);
    cancelled_ = stop_->load();
    cancel_->setEnabled(false);
    try {
        task->wait();
        ShowCount();
    } catch (const std::exception& e) {
        status_->setText(tr("The check could not run: %1").arg(ToQString(e.what())));
    }
    if (notifier_) {
        const QString summary =
            QString::fromLatin1(kCheckAllCaption) + (cancelled_ ? tr(": cancelled") : tr(": done"));
        notifier_->WorkEndedSince(
            started_, summary, tr("%1 of %2 checked, %3 failed").arg(rows_.size()).arg(total_).arg(failed_));
    }
    emit finished();
}

void StatusResultsWindow::ShowCount() {
    const QString counts = tr("%1 of %2 checked, %3 failed").arg(rows_.size()).arg(total_).arg(failed_);
    if (task_) {
        status_->setText(counts);
    } else {
        status_->setText(cancelled_ ? tr("Cancelled: %1").arg(counts) : counts);
        if (!historyError_.empty()) {
            status_->setText(status_->text() + QStringLiteral(". ") + ToQString(historyError_));
        }
    }
}

void StatusResultsWindow::setNotifier(DesktopNotifier* notifier) {
    notifier_ = notifier;
}

void StatusResultsWindow::cancel() {
    stop_->store(true);
    cancel_->setEnabled(false);
}

void StatusResultsWindow::exportCsv() {
    const QString file = ChooseExportFile(this, chooser_, tr("Export CSV"), QStringLiteral("status.csv"),
                                          tr("CSV files (*.csv);;All files (*)"));
    if (file.isEmpty()) {
        return;
    }
    // The order the addresses were given, whatever the table's sort.
    std::vector<std::pair<std::size_t, sendwell::StatusRow>> ordered = rows_;
    std::stable_sort(ordered.begin(), ordered.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<sendwell::StatusRow> rows;
    rows.reserve(ordered.size());
    for (auto& entry : ordered) {
        rows.push_back(std::move(entry.second));
    }
    const std::string csv = sendwell::WriteReport(sendwell::StatusReport(rows), sendwell::ReportFormat::Csv);
    WriteExportFile(messages_, file, csv, "The results", kCheckAllCaption);
}

void StatusResultsWindow::done(int result) {
    // Close, Escape and the close box all end here.
    cancel();
    QDialog::done(result);
}

StatusResultsWindow* OpenStatusResults(QWidget* parent, sendwell::Prompt& messages,
                                       std::vector<std::string> addresses,
                                       const sendwell::ConnectionSettings& connection,
                                       DesktopNotifier* notifier) {
    auto* window = new StatusResultsWindow(messages, parent);
    window->setNotifier(notifier);
    window->setAttribute(Qt::WA_DeleteOnClose);
    sendwell::StatusRunSetup setup;
    setup.connection = connection;
    window->show();
    window->start(std::move(addresses), setup);
    return window;
}

} // namespace sendwell::gui
