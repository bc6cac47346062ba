#include "gui/history/history_window.h"

#include "core/audit/audit_checks.h"
#include "core/base/paths.h"
#include "core/base/report_table.h"
#include "gui/base/background_work.h"
#include "gui/base/chart_view.h"
#include "gui/base/file_choice.h"
#include "gui/base/result_table.h"
#include "gui/base/text_bytes.h"
#include "gui/history/schedule_dialog.h"

#include <QBarCategoryAxis>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineSeries>
#include <QPushButton>
#include <QSplitter>
#include <QStackedBarSeries>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>
#include <QValueAxis>
#include <algorithm>

namespace sendwell::gui {

namespace {

QString TimeText(std::int64_t secondsSinceEpoch) {
    return QDateTime::fromSecsSinceEpoch(secondsSinceEpoch).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QTableWidgetItem* TextItem(const QString& text) {
    return new QTableWidgetItem(text);
}

QTableWidgetItem* NumberItem(long long value) {
    auto* item = new QTableWidgetItem();
    item->setData(Qt::DisplayRole, QVariant::fromValue(value));
    item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return item;
}

void FillRequests(QTableWidget* table, const std::vector<sendwell::RequestRecord>& requests) {
    table->setRowCount(0);
    table->setRowCount(static_cast<int>(requests.size()));
    for (int r = 0; r < table->rowCount(); ++r) {
        const sendwell::RequestRecord& request = requests[static_cast<std::size_t>(r)];
        table->setItem(r, HistoryWindow::AtColumn, TextItem(TimeText(request.at)));
        table->setItem(r, HistoryWindow::AddressColumn, TextItem(ToQString(request.address)));
        table->setItem(r, HistoryWindow::ChannelColumn, TextItem(ToQString(request.channel)));
        table->setItem(r, HistoryWindow::EndColumn,
                       TextItem(ToQString(std::string(sendwell::RequestEndName(request.end)))));
        table->setItem(r, HistoryWindow::HttpColumn, NumberItem(request.httpStatus));
        table->setItem(r, HistoryWindow::MillisColumn, NumberItem(request.millis));
        table->setItem(r, HistoryWindow::AnswerColumn, TextItem(ToQString(request.answerFile)));
        table->setItem(r, HistoryWindow::RequestRunColumn, NumberItem(request.run));
        if (request.end == sendwell::RequestEnd::Failed) {
            for (int c = 0; c < table->columnCount(); ++c) {
                table->item(r, c)->setForeground(Qt::darkRed);
            }
        }
    }
}

QColor SeverityColor(const std::string& severity) {
    if (severity == sendwell::SeverityName(sendwell::Severity::Error)) {
        return QColor(0xc6, 0x28, 0x28);
    }
    if (severity == sendwell::SeverityName(sendwell::Severity::Warning)) {
        return QColor(0xef, 0x8f, 0x00);
    }
    if (severity == sendwell::SeverityName(sendwell::Severity::Notice)) {
        return QColor(0x15, 0x65, 0xc0);
    }
    return Qt::gray;
}

// A count axis of chart from 0 to most, in whole numbers.
QValueAxis* CountAxis(QChart* chart, qint64 most, const QString& title) {
    auto* axis = new QValueAxis(chart);
    axis->setLabelFormat(QStringLiteral("%d"));
    axis->setRange(0, static_cast<qreal>(most));
    axis->setTitleText(title);
    return axis;
}

} // namespace

HistoryWindow::HistoryWindow(std::filesystem::path file, sendwell::Prompt& messages, QWidget* parent)
    : QDialog(parent), file_(std::move(file)), messages_(messages) {
    setWindowTitle(QString::fromLatin1(kHistoryCaption));
    setObjectName(QStringLiteral("historyWindow"));
    setSizeGripEnabled(true);
    setWindowFlags(windowFlags() | Qt::WindowMaximizeButtonHint);

    const QStringList requestHeadings = {tr("Time"), tr("Address"),   tr("Engine"),      tr("Outcome"),
                                         tr("HTTP"), tr("Time (ms)"), tr("Answer file"), tr("Run")};
    runs_ = NewResultTable(this, QStringLiteral("runsTable"),
                           {tr("Run"), tr("Kind"), tr("Started"), tr("Ended"), tr("Requests"), tr("Accepted"),
                            tr("Failed"), tr("State"), tr("Note")});
    runs_->setColumnWidth(RunIdColumn, 50);
    runs_->setColumnWidth(StartedColumn, 140);
    runs_->setColumnWidth(EndedColumn, 140);
    for (int c : {RequestsColumn, AcceptedColumn, FailedColumn}) {
        runs_->setColumnWidth(c, 70);
    }
    requests_ = NewResultTable(this, QStringLiteral("requestsTable"), requestHeadings);
    requests_->setColumnWidth(AtColumn, 140);
    requests_->setColumnWidth(AddressColumn, 260);
    requests_->setColumnHidden(RequestRunColumn, true); // the run is the one selected above
    timeline_ = NewResultTable(this, QStringLiteral("timelineTable"), requestHeadings);
    timeline_->setColumnWidth(AtColumn, 140);
    timeline_->setColumnWidth(AddressColumn, 260);
    timelineLabel_ = new QLabel(tr("Select a request to see its address across runs."), this);

    auto* timelinePage = new QWidget(this);
    auto* timelineLayout = new QVBoxLayout(timelinePage);
    timelineLayout->setContentsMargins(0, 0, 0, 0);
    timelineLayout->addWidget(timelineLabel_);
    timelineLayout->addWidget(timeline_, 1);

    outcomeChart_ = NewChartView(this, QStringLiteral("outcomeChart"));
    auditChart_ = NewChartView(this, QStringLiteral("auditChart"));

    tabs_ = new QTabWidget(this);
    tabs_->addTab(requests_, tr("&Requests"));
    tabs_->addTab(timelinePage, tr("Address &Timeline"));
    tabs_->addTab(outcomeChart_, tr("Accepted and &Failed"));
    tabs_->addTab(auditChart_, tr("&Audit Issues"));

    auto* splitter = new QSplitter(Qt::Vertical, this);
    splitter->addWidget(runs_);
    splitter->addWidget(tabs_);
    splitter->setStretchFactor(0, 2);
    splitter->setStretchFactor(1, 3);

    status_ = new QLabel(this);
    auto* reloadButton = new QPushButton(tr("Re&load"), this);
    export_ = new QPushButton(tr("&Export CSV..."), this);
    schedule_ = new QPushButton(tr("&Schedule..."), this);
    auto* close = new QPushButton(tr("Cl&ose"), this);
    connect(reloadButton, &QPushButton::clicked, this, &HistoryWindow::reload);
    connect(export_, &QPushButton::clicked, this, &HistoryWindow::exportCsv);
    connect(schedule_, &QPushButton::clicked, this, [this] {
        if (openSchedule_) {
            openSchedule_(this);
        }
    });
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    openSchedule_ = [](QWidget* parent) {
        ScheduleDialog dialog(parent);
        dialog.exec();
    };

    connect(runs_, &QTableWidget::itemSelectionChanged, this, &HistoryWindow::RunSelected);
    connect(requests_, &QTableWidget::itemSelectionChanged, this, &HistoryWindow::RequestSelected);

    auto* buttons = new QHBoxLayout();
    buttons->addWidget(status_, 1);
    buttons->addWidget(reloadButton);
    buttons->addWidget(export_);
    buttons->addWidget(schedule_);
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(splitter, 1);
    layout->addLayout(buttons);
    resize(900, 600);
}

void HistoryWindow::reload() {
    sendwell::HistorySnapshot snapshot;
    // Reading a long history takes a moment: the window paints meanwhile, and takes no clicks.
    RunOffUiThread([&] { snapshot = sendwell::ReadHistorySnapshot(file_); },
                   QEventLoop::ExcludeUserInputEvents);
    snapshot_ = std::move(snapshot);
    if (!snapshot_.keptAside.empty()) {
        messages_.ShowMessage("The history could not be read; it was kept as " +
                                  snapshot_.keptAside.string() + " and a new one begun.",
                              kHistoryCaption, sendwell::MessageIcon::Warning);
    }
    ShowRuns();
    ShowCharts();
    if (!snapshot_.outcome.ok()) {
        Problem(snapshot_.outcome);
    } else if (snapshot_.runs.empty()) {
        status_->setText(tr("No runs have been recorded yet."));
    } else {
        status_->setText(tr("%n run(s)", nullptr, static_cast<int>(snapshot_.runs.size())));
    }
    export_->setEnabled(!snapshot_.runs.empty());
}

void HistoryWindow::ShowRuns() {
    const QSignalBlocker quiet(runs_);
    runs_->setRowCount(0);
    runs_->setRowCount(static_cast<int>(snapshot_.runs.size()));
    for (int r = 0; r < runs_->rowCount(); ++r) {
        const sendwell::RunRecord& run = snapshot_.runs[static_cast<std::size_t>(r)];
        runs_->setItem(r, RunIdColumn, NumberItem(run.id));
        runs_->setItem(r, KindColumn, TextItem(ToQString(std::string(sendwell::RunKindName(run.kind)))));
        runs_->setItem(r, StartedColumn, TextItem(TimeText(run.started)));
        runs_->setItem(r, EndedColumn, TextItem(run.ended ? TimeText(*run.ended) : QString()));
        runs_->setItem(r, RequestsColumn, NumberItem(run.counts.requests));
        runs_->setItem(r, AcceptedColumn, NumberItem(run.counts.accepted));
        runs_->setItem(r, FailedColumn, NumberItem(run.counts.failed));
        runs_->setItem(r, StateColumn, TextItem(ToQString(std::string(sendwell::RunStateText(run)))));
        runs_->setItem(r, NoteColumn, TextItem(ToQString(run.note)));
    }
    requests_->setRowCount(0);
    shownRequests_.clear();
    if (runs_->rowCount() > 0) {
        runs_->selectRow(0);
    }
    RunSelected();
}

void HistoryWindow::ShowCharts() {
    // Accepted and failed requests of each run, over time.
    auto* outcome = new QChart();
    outcome->setTitle(tr("Accepted and failed requests per run"));
    auto* accepted = new QLineSeries(outcome);
    accepted->setName(tr("Accepted"));
    accepted->setColor(QColor(0x2e, 0x7d, 0x32));
    auto* failed = new QLineSeries(outcome);
    failed->setName(tr("Failed"));
    failed->setColor(QColor(0xc6, 0x28, 0x28));
    const std::vector<sendwell::RunPoint> points = sendwell::OutcomeSeries(snapshot_.runs);
    qint64 most = 1;
    for (const sendwell::RunPoint& point : points) {
        const auto x = static_cast<qreal>(point.at) * 1000.0;
        accepted->append(x, static_cast<qreal>(point.accepted));
        failed->append(x, static_cast<qreal>(point.failed));
        most = std::max<qint64>({most, point.accepted, point.failed});
    }
    for (QLineSeries* series : {accepted, failed}) {
        series->setPointsVisible(true); // a single run is a point, not a line
        outcome->addSeries(series);
    }
    auto* time = new QDateTimeAxis(outcome);
    time->setFormat(QStringLiteral("yyyy-MM-dd"));
    time->setTitleText(tr("Run started"));
    if (!points.empty()) {
        // A day either side, so that a single run or runs of one day stand inside the frame.
        time->setRange(QDateTime::fromSecsSinceEpoch(points.front().at - 86400),
                       QDateTime::fromSecsSinceEpoch(points.back().at + 86400));
    }
    QValueAxis* count = CountAxis(outcome, most, tr("Requests"));
    outcome->addAxis(time, Qt::AlignBottom);
    outcome->addAxis(count, Qt::AlignLeft);
    for (QLineSeries* series : {accepted, failed}) {
        series->attachAxis(time);
        series->attachAxis(count);
    }
    ReplaceChart(outcomeChart_, outcome);

    // Audit issues by severity, one stacked bar per audit.
    auto* audit = new QChart();
    audit->setTitle(tr("Audit issues by severity"));
    auto* bars = new QStackedBarSeries(audit);
    const std::vector<std::string_view> order = {sendwell::SeverityName(sendwell::Severity::Error),
                                                 sendwell::SeverityName(sendwell::Severity::Warning),
                                                 sendwell::SeverityName(sendwell::Severity::Notice)};
    for (const sendwell::SeveritySeries& series : sendwell::AuditSeverityChart(snapshot_.audits, order)) {
        auto* set = new QBarSet(ToQString(series.severity), bars);
        set->setColor(SeverityColor(series.severity));
        for (std::int64_t value : series.counts) {
            set->append(static_cast<qreal>(value));
        }
        bars->append(set);
    }
    audit->addSeries(bars);
    QStringList when;
    qint64 total = 1;
    for (const sendwell::AuditRunCounts& run : snapshot_.audits) {
        when << TimeText(run.started).left(16);
        qint64 sum = 0;
        for (const sendwell::AuditCount& c : run.counts) {
            sum += c.count;
        }
        total = std::max(total, sum);
    }
    auto* runsAxis = new QBarCategoryAxis(audit);
    runsAxis->append(when);
    QValueAxis* issues = CountAxis(audit, total, tr("Issues"));
    audit->addAxis(runsAxis, Qt::AlignBottom);
    audit->addAxis(issues, Qt::AlignLeft);
    bars->attachAxis(runsAxis);
    bars->attachAxis(issues);
    ReplaceChart(auditChart_, audit);
}

void HistoryWindow::RunSelected() {
    const QList<QTableWidgetItem*> chosen = runs_->selectedItems();
    if (chosen.isEmpty()) {
        return;
    }
    const std::int64_t run =
        runs_->item(chosen.front()->row(), RunIdColumn)->data(Qt::DisplayRole).toLongLong();
    sendwell::HistoryRead<std::vector<sendwell::RequestRecord>> read;
    RunOffUiThread([&] { read = sendwell::ReadRunRequests(file_, run); }, QEventLoop::ExcludeUserInputEvents);
    if (!read.outcome.ok()) {
        Problem(read.outcome);
    }
    shownRequests_ = std::move(read.value);
    const QSignalBlocker quiet(requests_);
    FillRequests(requests_, shownRequests_);
}

void HistoryWindow::RequestSelected() {
    const QList<QTableWidgetItem*> chosen = requests_->selectedItems();
    if (chosen.isEmpty()) {
        return;
    }
    const std::string address = shownRequests_.at(static_cast<std::size_t>(chosen.front()->row())).address;
    sendwell::HistoryRead<std::vector<sendwell::RequestRecord>> read;
    RunOffUiThread([&] { read = sendwell::ReadAddressTimeline(file_, address); },
                   QEventLoop::ExcludeUserInputEvents);
    if (!read.outcome.ok()) {
        Problem(read.outcome);
    }
    timelineLabel_->setText(tr("%1 across runs, oldest first:").arg(ToQString(address)));
    FillRequests(timeline_, read.value);
}

void HistoryWindow::Problem(const sendwell::Outcome& outcome) {
    status_->setText(tr("The history could not be read: %1").arg(ToQString(outcome.text)));
}

void HistoryWindow::exportCsv() {
    const QString file = ChooseExportFile(this, chooser_, tr("Export CSV"), QStringLiteral("history.csv"),
                                          tr("CSV files (*.csv);;All files (*)"));
    if (file.isEmpty()) {
        return;
    }
    const std::string csv =
        sendwell::WriteReport(sendwell::RunsTable(snapshot_.runs), sendwell::ReportFormat::Csv);
    WriteExportFile(messages_, file, csv, "The history", kHistoryCaption);
}

HistoryWindow* OpenHistoryWindow(QWidget* parent, sendwell::Prompt& messages) {
    auto* window = new HistoryWindow(sendwell::DefaultHistoryPath(), messages, parent);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->show();
    window->reload();
    return window;
}

} // namespace sendwell::gui
