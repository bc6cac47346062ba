#include "gui/audit/site_audit_window.h"

#include "core/audit/audit_history.h"
#include "core/audit/audit_summary.h"
#include "gui/base/background_work.h"
#include "gui/base/chart_view.h"
#include "gui/base/file_choice.h"
#include "gui/base/progress_relay.h"
#include "gui/base/result_table.h"
#include "gui/base/text_bytes.h"

#include <QBarCategoryAxis>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QHorizontalStackedBarSeries>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QSplitter>
#include <QTabWidget>
#include <QTableWidget>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QValueAxis>
#include <algorithm>
#include <climits>
#include <exception>
#include <unordered_map>

namespace sendwell::gui {

namespace {

// The same colours as the HTML report's chart, indexed by Severity.
const QColor kSeverityColours[] = {QColor(0x1f, 0x6f, 0xbf), QColor(0xd9, 0x82, 0x00),
                                   QColor(0xc6, 0x28, 0x28)};
constexpr int kProgressSteps = 1000;

// Where an item keeps what it stands for: a check, or an address's bytes (which may not be UTF-8).
constexpr int kCheckRole = Qt::UserRole;
constexpr int kAddressRole = Qt::UserRole + 1;

QString SeverityHeading(sendwell::Severity severity) {
    switch (severity) {
    case sendwell::Severity::Error:
        return QObject::tr("Errors");
    case sendwell::Severity::Warning:
        return QObject::tr("Warnings");
    case sendwell::Severity::Notice:
        break;
    }
    return QObject::tr("Notices");
}

QTableWidgetItem* NumberItem(long long value) {
    auto* item = new QTableWidgetItem();
    // A number as display data sorts as a number, not as text ("9" before "10").
    item->setData(Qt::DisplayRole, QVariant::fromValue(value));
    item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return item;
}

QTableWidgetItem* AddressItem(const std::string& address) {
    auto* item = new QTableWidgetItem(ToQString(address));
    item->setData(kAddressRole, QByteArray::fromStdString(address));
    return item;
}

QTableWidget* NewTable(QWidget* parent, const QString& name, const QStringList& headings) {
    QTableWidget* table = NewResultTable(parent, name, headings);
    table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 6);
    return table;
}

// Fills a table with rows at once; sorting while rows go in would move the row being filled.
template <typename Fill>
void Refill(QTableWidget* table, int rows, Fill fill) {
    const bool sorting = table->isSortingEnabled();
    table->setSortingEnabled(false);
    table->clearContents();
    table->setRowCount(rows);
    for (int r = 0; r < rows; ++r) {
        fill(r);
    }
    table->setSortingEnabled(sorting);
}

} // namespace

SiteAuditWindow::SiteAuditWindow(sendwell::Prompt& messages, sendwell::ConnectionSettings connection,
                                 QWidget* parent)
    : QDialog(parent), messages_(messages), connection_(std::move(connection)) {
    setWindowTitle(QString::fromLatin1(kSiteAuditCaption));
    setSizeGripEnabled(true);

    address_ = new QLineEdit(this);
    address_->setObjectName(QStringLiteral("auditAddress"));
    address_->setPlaceholderText(
        tr("http://www.example.com/ (several addresses: separate them with spaces)"));
    maxPages_ = new QSpinBox(this);
    maxPages_->setRange(1, 10'000'000);
    maxPages_->setValue(static_cast<int>(sendwell::kAuditDefaultMaxPages));
    maxPages_->setGroupSeparatorShown(true);
    maxDepth_ = new QSpinBox(this);
    maxDepth_->setRange(0, 1000);
    maxDepth_->setValue(sendwell::kAuditDefaultMaxDepth);
    external_ = new QCheckBox(tr("Check e&xternal links"), this);
    start_ = new QPushButton(tr("&Start"), this);
    start_->setDefault(true);
    connect(start_, &QPushButton::clicked, this, &SiteAuditWindow::start);

    auto* addressRow = new QHBoxLayout();
    auto* addressLabel = new QLabel(tr("&Addresses:"), this);
    addressLabel->setBuddy(address_);
    addressRow->addWidget(addressLabel);
    addressRow->addWidget(address_, 1);
    auto* optionsRow = new QHBoxLayout();
    auto* pagesLabel = new QLabel(tr("Max &pages:"), this);
    pagesLabel->setBuddy(maxPages_);
    auto* depthLabel = new QLabel(tr("Max &depth:"), this);
    depthLabel->setBuddy(maxDepth_);
    optionsRow->addWidget(pagesLabel);
    optionsRow->addWidget(maxPages_);
    optionsRow->addSpacing(12);
    optionsRow->addWidget(depthLabel);
    optionsRow->addWidget(maxDepth_);
    optionsRow->addSpacing(12);
    optionsRow->addWidget(external_);
    optionsRow->addStretch(1);
    optionsRow->addWidget(start_);

    // Checks: the groups on the left, the pages of the selected check on the right.
    checks_ = new QTreeWidget(this);
    checks_->setObjectName(QStringLiteral("auditChecks"));
    checks_->setHeaderLabels({tr("Check"), tr("Findings"), tr("Pages"), tr("Description")});
    checks_->setRootIsDecorated(true);
    checks_->setUniformRowHeights(true);
    checks_->setColumnWidth(CheckIdColumn, 170);
    checks_->setColumnWidth(CheckFindingsColumn, 60);
    checks_->setColumnWidth(CheckPagesColumn, 50);
    affected_ = NewTable(this, QStringLiteral("auditAffected"), {tr("Address"), tr("Detail"), tr("Related")});
    affected_->setColumnWidth(AffectedAddressColumn, 180);
    affected_->setColumnWidth(AffectedDetailColumn, 100);
    affected_->setSortingEnabled(true);
    affected_->sortByColumn(-1, Qt::AscendingOrder); // in the report's order until the user sorts
    auto* checksSplit = new QSplitter(Qt::Horizontal, this);
    checksSplit->addWidget(checks_);
    checksSplit->addWidget(affected_);
    checksSplit->setSizes({430, 430});

    pages_ = NewTable(this, QStringLiteral("auditPages"),
                      {tr("Address"), tr("Status"), tr("Depth"), tr("Time (ms)"), tr("Issues"), tr("Title")});
    pages_->setColumnWidth(PageAddressColumn, 280);
    for (int c : {PageStatusColumn, PageDepthColumn, PageTimeColumn, PageIssuesColumn}) {
        pages_->setColumnWidth(c, 64);
    }
    pages_->setSortingEnabled(true);
    pages_->sortByColumn(-1, Qt::AscendingOrder);

    chart_ = NewChartView(this, QStringLiteral("auditChart"));

    tabs_ = new QTabWidget(this);
    tabs_->addTab(checksSplit, tr("Checks"));
    tabs_->addTab(pages_, tr("Pages"));
    tabs_->addTab(chart_, tr("Chart"));

    // A page's own findings, for the page selected in either tab.
    pageFindingsLabel_ = new QLabel(tr("Select a page to see its findings."), this);
    pageFindings_ = NewTable(this, QStringLiteral("auditPageFindings"),
                             {tr("Severity"), tr("Check"), tr("Detail"), tr("Related")});
    pageFindings_->setColumnWidth(FindingSeverityColumn, 70);
    pageFindings_->setColumnWidth(FindingCheckColumn, 170);
    pageFindings_->setColumnWidth(FindingDetailColumn, 260);
    auto* pageBox = new QWidget(this);
    auto* pageLayout = new QVBoxLayout(pageBox);
    pageLayout->setContentsMargins(0, 0, 0, 0);
    pageLayout->addWidget(pageFindingsLabel_);
    pageLayout->addWidget(pageFindings_, 1);
    auto* resultsSplit = new QSplitter(Qt::Vertical, this);
    resultsSplit->addWidget(tabs_);
    resultsSplit->addWidget(pageBox);
    resultsSplit->setSizes({330, 150});

    progress_ = new QProgressBar(this);
    progress_->setRange(0, kProgressSteps);
    progress_->setValue(0);
    cancel_ = new QPushButton(tr("&Cancel"), this);
    cancel_->setEnabled(false);
    connect(cancel_, &QPushButton::clicked, this, &SiteAuditWindow::cancel);
    status_ = new QLabel(this);
    status_->setTextFormat(Qt::PlainText);
    export_ = new QPushButton(tr("&Export"), this);
    export_->setEnabled(false);
    auto* exportMenu = new QMenu(export_);
    const std::pair<QString, sendwell::AuditFormat> formats[] = {
        {tr("&HTML Report..."), sendwell::AuditFormat::Html},
        {tr("&CSV..."), sendwell::AuditFormat::Csv},
        {tr("&JSON..."), sendwell::AuditFormat::Json},
    };
    for (const auto& [text, format] : formats) {
        connect(exportMenu->addAction(text), &QAction::triggered, this,
                [this, format = format] { exportReport(format); });
    }
    export_->setMenu(exportMenu);
    auto* close = new QPushButton(tr("Cl&ose"), this);
    connect(close, &QPushButton::clicked, this, &QDialog::close);

    connect(checks_, &QTreeWidget::itemSelectionChanged, this, &SiteAuditWindow::ShowAffected);
    for (QTableWidget* table : {affected_, pages_}) {
        connect(table, &QTableWidget::itemSelectionChanged, this, [this, table] {
            const QList<QTableWidgetItem*> selected = table->selectedItems();
            if (selected.isEmpty()) {
                return;
            }
            const QTableWidgetItem* address = table->item(selected.constFirst()->row(), 0);
            ShowPageFindings(address->data(kAddressRole).toByteArray().toStdString());
        });
    }

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(addressRow);
    layout->addLayout(optionsRow);
    layout->addWidget(resultsSplit, 1);
    AddRunFoot(layout, progress_, cancel_, status_, export_, close);
    resize(860, 620);
}

SiteAuditWindow::~SiteAuditWindow() {
    // The work reports to this window: it must have ended before the window goes.
    if (stop_) {
        stop_->store(true);
    }
    if (task_) {
        try {
            task_->wait();
        } catch (...) {
            // The window is going; what the work threw has no one left to tell.
        }
    }
}

void SiteAuditWindow::setStarts(const std::vector<std::string>& addresses) {
    QStringList words;
    for (const std::string& address : addresses) {
        words << ToQString(address);
    }
    address_->setText(words.join(QLatin1Char(' ')));
}

void SiteAuditWindow::start() {
    if (task_) {
        return;
    }
    sendwell::AuditSetup setup;
    for (const QString& word :
         address_->text().split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts)) {
        setup.starts.push_back(ToBytes(word));
    }
    if (setup.starts.empty()) {
        status_->setText(tr("Type the address of a site to audit."));
        address_->setFocus();
        return;
    }
    setup.maxPages = static_cast<std::size_t>(maxPages_->value());
    setup.maxDepth = maxDepth_->value();
    setup.external = external_->isChecked();
    setup.connection = connection_;

    stop_ = std::make_shared<std::atomic<bool>>(false);
    relay_ = std::make_unique<ProgressRelay>(
        this, [this](const QString& text) { status_->setText(text); },
        [this](int step) { progress_->setValue(step); },
        [](std::uint64_t done, std::uint64_t total) {
            return total == 0 ? 0 : static_cast<int>(std::min(done, total) * kProgressSteps / total);
        });
    setup.stop = stop_.get();
    setup.progress = relay_.get();
    result_ = std::make_shared<sendwell::AuditReport>();
    historyNote_ = std::make_shared<std::string>();
    failure_.clear();

    progress_->setValue(0);
    cancel_->setEnabled(true);
    start_->setEnabled(false);
    export_->setEnabled(false);
    status_->setText(tr("Auditing..."));
    auto work = [setup, result = result_, stop = stop_, note = historyNote_] {
        *result = sendwell::RunAudit(setup);
        // The history is a record beside the report: when it cannot be written the report still stands.
        if (result->outcome.end != sendwell::Outcome::End::Failed) {
            if (const sendwell::Outcome recorded = sendwell::RecordAudit(*result); !recorded.ok()) {
                *note = recorded.text;
            }
        }
    };
    task_ = StartOffUiThread(std::move(work), this, [this] { RunEnded(); });
}

void SiteAuditWindow::RunEnded() {
    std::unique_ptr<BackgroundTask> task = std::move(task_);
    cancel_->setEnabled(false);
    start_->setEnabled(true);
    sendwell::AuditReport report;
    try {
        task->wait();
        report = std::move(*result_);
    } catch (const std::exception& e) {
        failure_ = tr("The audit could not run: %1").arg(ToQString(e.what()));
    }
    if (stop_->load() && report.outcome.ok()) {
        report.outcome.end = sendwell::Outcome::End::Cancelled;
    }
    showReport(std::move(report));
    if (!failure_.isEmpty()) {
        status_->setText(failure_);
    } else if (!historyNote_->empty()) {
        status_->setText(status_->text() + QStringLiteral(" ") + ToQString(*historyNote_));
    }
    emit finished();
}

void SiteAuditWindow::showReport(sendwell::AuditReport report) {
    report_ = std::move(report);
    ShowChecks();
    ShowPages();
    ShowChart();
    affected_->setRowCount(0);
    pageFindings_->setRowCount(0);
    pageFindingsLabel_->setText(tr("Select a page to see its findings."));
    if (!task_) {
        progress_->setValue(report_.outcome.cancelled() ? progress_->value() : kProgressSteps);
    }
    export_->setEnabled(!report_.pages.empty() || !report_.findings.empty());
    ShowStatus();
}

void SiteAuditWindow::ShowChecks() {
    checks_->clear();
    for (const sendwell::SeverityGroup& group : sendwell::GroupBySeverity(report_)) {
        if (group.checks.empty()) {
            continue;
        }
        auto* top = new QTreeWidgetItem(checks_);
        top->setText(CheckIdColumn, SeverityHeading(group.severity));
        top->setText(CheckFindingsColumn, QString::number(group.findings));
        top->setForeground(CheckIdColumn, kSeverityColours[static_cast<int>(group.severity)]);
        QFont bold = top->font(CheckIdColumn);
        bold.setBold(true);
        top->setFont(CheckIdColumn, bold);
        top->setFlags(top->flags() & ~Qt::ItemIsSelectable);
        for (const sendwell::CheckCount& count : group.checks) {
            const sendwell::CheckInfo& info = sendwell::InfoOf(count.check);
            auto* item = new QTreeWidgetItem(top);
            item->setText(CheckIdColumn, ToQString(info.id));
            item->setText(CheckFindingsColumn, QString::number(count.findings));
            item->setText(CheckPagesColumn, QString::number(count.pages));
            item->setText(CheckDescriptionColumn, ToQString(info.description));
            item->setToolTip(CheckDescriptionColumn, ToQString(info.description));
            item->setData(CheckIdColumn, kCheckRole, static_cast<int>(count.check));
        }
        top->setExpanded(true);
    }
}

void SiteAuditWindow::ShowAffected() {
    const QList<QTreeWidgetItem*> selected = checks_->selectedItems();
    const QVariant check =
        selected.isEmpty() ? QVariant() : selected.constFirst()->data(CheckIdColumn, kCheckRole);
    if (!check.isValid()) {
        affected_->setRowCount(0);
        return;
    }
    const std::vector<const sendwell::Finding*> findings =
        sendwell::FindingsOf(report_, static_cast<sendwell::Check>(check.toInt()));
    Refill(affected_, static_cast<int>(std::min<std::size_t>(findings.size(), INT_MAX)), [&](int r) {
        const sendwell::Finding& finding = *findings[static_cast<std::size_t>(r)];
        affected_->setItem(r, AffectedAddressColumn, AddressItem(finding.address));
        affected_->setItem(r, AffectedDetailColumn, new QTableWidgetItem(ToQString(finding.detail)));
        affected_->setItem(r, AffectedRelatedColumn, new QTableWidgetItem(ToQString(finding.related)));
    });
}

void SiteAuditWindow::ShowPages() {
    std::unordered_map<std::string_view, long long> issues;
    for (const sendwell::Finding& finding : report_.findings) {
        ++issues[finding.address];
    }
    Refill(pages_, static_cast<int>(std::min<std::size_t>(report_.pages.size(), INT_MAX)), [&](int r) {
        const sendwell::AuditPage& page = report_.pages[static_cast<std::size_t>(r)];
        pages_->setItem(r, PageAddressColumn, AddressItem(page.address));
        pages_->setItem(r, PageStatusColumn, NumberItem(page.status));
        pages_->setItem(r, PageDepthColumn, NumberItem(page.depth));
        pages_->setItem(r, PageTimeColumn, NumberItem(page.time.count()));
        const auto count = issues.find(page.address);
        pages_->setItem(r, PageIssuesColumn, NumberItem(count == issues.end() ? 0 : count->second));
        pages_->setItem(r, PageTitleColumn, new QTableWidgetItem(ToQString(page.title)));
    });
}

void SiteAuditWindow::ShowPageFindings(const std::string& address) {
    const std::vector<const sendwell::Finding*> findings = sendwell::FindingsAt(report_, address);
    pageFindingsLabel_->setText(findings.empty() ? tr("No findings at %1").arg(ToQString(address))
                                                 : tr("Findings at %1").arg(ToQString(address)));
    Refill(pageFindings_, static_cast<int>(std::min<std::size_t>(findings.size(), INT_MAX)), [&](int r) {
        const sendwell::Finding& finding = *findings[static_cast<std::size_t>(r)];
        auto* severity = new QTableWidgetItem(ToQString(sendwell::SeverityName(finding.severity())));
        severity->setForeground(kSeverityColours[static_cast<int>(finding.severity())]);
        pageFindings_->setItem(r, FindingSeverityColumn, severity);
        pageFindings_->setItem(r, FindingCheckColumn, new QTableWidgetItem(ToQString(finding.id())));
        pageFindings_->setItem(r, FindingDetailColumn, new QTableWidgetItem(ToQString(finding.detail)));
        pageFindings_->setItem(r, FindingRelatedColumn, new QTableWidgetItem(ToQString(finding.related)));
    });
}

void SiteAuditWindow::ShowChart() {
    const std::vector<sendwell::CategoryCount> categories = sendwell::CountByCategory(report_);
    auto* chart = new QChart();
    chart->setTitle(categories.empty() ? tr("No issues found") : tr("Issues by category"));
    chart->legend()->setAlignment(Qt::AlignBottom);
    if (!categories.empty()) {
        auto* series = new QHorizontalStackedBarSeries();
        QStringList names;
        // The bars read top to bottom in the table's order: a horizontal chart draws its first category
        // at the bottom.
        for (auto it = categories.rbegin(); it != categories.rend(); ++it) {
            names << ToQString(it->category);
        }
        std::size_t largest = 0;
        for (const sendwell::Severity severity : sendwell::kSeveritiesWorstFirst) {
            auto* set = new QBarSet(SeverityHeading(severity));
            set->setColor(kSeverityColours[static_cast<int>(severity)]);
            for (auto it = categories.rbegin(); it != categories.rend(); ++it) {
                *set << static_cast<qreal>(it->bySeverity[static_cast<std::size_t>(severity)]);
                largest = std::max(largest, it->total());
            }
            series->append(set);
        }
        chart->addSeries(series);
        auto* categoryAxis = new QBarCategoryAxis();
        categoryAxis->append(names);
        chart->addAxis(categoryAxis, Qt::AlignLeft);
        series->attachAxis(categoryAxis);
        auto* countAxis = new QValueAxis();
        countAxis->setRange(0, static_cast<qreal>(std::max<std::size_t>(largest, 1)));
        countAxis->setLabelFormat(QStringLiteral("%d"));
        countAxis->applyNiceNumbers();
        chart->addAxis(countAxis, Qt::AlignBottom);
        series->attachAxis(countAxis);
    }
    ReplaceChart(chart_, chart);
}

void SiteAuditWindow::ShowStatus() {
    QString text = ToQString(sendwell::SummaryLine(report_));
    if (report_.outcome.cancelled()) {
        text = tr("Cancelled: %1").arg(text);
    } else if (report_.outcome.end == sendwell::Outcome::End::Failed) {
        text = tr("The audit could not run: %1").arg(ToQString(report_.outcome.text));
    }
    if (report_.truncated) {
        text += tr(" (stopped at the page limit)");
    }
    status_->setText(text);
}

void SiteAuditWindow::cancel() {
    if (stop_) {
        stop_->store(true);
    }
    cancel_->setEnabled(false);
}

void SiteAuditWindow::exportReport(sendwell::AuditFormat format) {
    QString file;
    if (chooser_) {
        file = chooser_(this, format);
    } else {
        QString name = QStringLiteral("site-audit.html");
        QString filter = tr("HTML files (*.html *.htm);;All files (*)");
        if (format == sendwell::AuditFormat::Csv) {
            name = QStringLiteral("site-audit.csv");
            filter = tr("CSV files (*.csv);;All files (*)");
        } else if (format == sendwell::AuditFormat::Json) {
            name = QStringLiteral("site-audit.json");
            filter = tr("JSON files (*.json);;All files (*)");
        }
        file = QFileDialog::getSaveFileName(this, tr("Export"), name, filter);
    }
    if (file.isEmpty()) {
        return;
    }
    const std::string bytes = format == sendwell::AuditFormat::Html
                                  ? sendwell::WriteAuditHtml(report_)
                                  : sendwell::WriteAuditReport(report_, format);
    WriteExportFile(messages_, file, bytes, "The report", kSiteAuditCaption);
}

void SiteAuditWindow::done(int result) {
    // Close, Escape and the close box all end here.
    cancel();
    QDialog::done(result);
}

SiteAuditWindow* OpenSiteAudit(QWidget* parent, sendwell::Prompt& messages,
                               const std::vector<std::string>& starts,
                               const sendwell::ConnectionSettings& connection) {
    auto* window = new SiteAuditWindow(messages, connection, parent);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setStarts(starts);
    window->show();
    (starts.empty() ? static_cast<QWidget*>(window->addressEdit()) : window->startButton())->setFocus();
    return window;
}

} // namespace sendwell::gui
