// "Site Audit": a crawl of whole sites from the URL list's rows or typed addresses, in a window of its
// own. While it crawls, a progress bar with Cancel; then the checks that found something grouped by
// severity, the pages a selected check found, a selected page's own findings, a chart of issues by
// category and severity, and Export as an HTML report, CSV or JSON. Closing the window cancels.
#pragma once

#include "core/audit/audit_report.h"
#include "core/base/connection_settings.h"
#include "core/base/prompt.h"

#include <QDialog>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTableWidget;
class QTabWidget;
class QTreeWidget;

QT_BEGIN_NAMESPACE
class QChartView;
QT_END_NAMESPACE

namespace sendwell::gui {

class BackgroundTask;
class ProgressRelay;

inline constexpr const char* kSiteAuditCaption = "Site Audit";

class SiteAuditWindow : public QDialog {
    Q_OBJECT
public:
    enum CheckColumn { CheckIdColumn, CheckFindingsColumn, CheckPagesColumn, CheckDescriptionColumn };
    enum AffectedColumn { AffectedAddressColumn, AffectedDetailColumn, AffectedRelatedColumn };
    enum PageColumn {
        PageAddressColumn,
        PageStatusColumn,
        PageDepthColumn,
        PageTimeColumn,
        PageIssuesColumn,
        PageTitleColumn
    };
    enum FindingColumn {
        FindingSeverityColumn,
        FindingCheckColumn,
        FindingDetailColumn,
        FindingRelatedColumn
    };
    enum Tab { ChecksTab, PagesTab, ChartTab };

    SiteAuditWindow(sendwell::Prompt& messages, sendwell::ConnectionSettings connection,
                    QWidget* parent = nullptr);
    ~SiteAuditWindow() override;

    // The addresses to start from, shown in the field (one per whitespace-separated word).
    void setStarts(const std::vector<std::string>& addresses);
    // Crawls from the field's addresses with the options shown, off the UI thread.
    void start();
    // Shows a finished report: what start() does when the crawl ends, and a way to show one without it.
    void showReport(sendwell::AuditReport report);
    bool running() const { return task_ != nullptr; }
    const sendwell::AuditReport& report() const { return report_; }

    QLineEdit* addressEdit() const { return address_; }
    QSpinBox* maxPagesBox() const { return maxPages_; }
    QSpinBox* maxDepthBox() const { return maxDepth_; }
    QCheckBox* externalBox() const { return external_; }
    QPushButton* startButton() const { return start_; }
    QPushButton* cancelButton() const { return cancel_; }
    QPushButton* exportButton() const { return export_; }
    QProgressBar* progressBar() const { return progress_; }
    QLabel* statusLabel() const { return status_; }
    QTabWidget* tabs() const { return tabs_; }
    QTreeWidget* checkTree() const { return checks_; }
    QTableWidget* affectedTable() const { return affected_; }
    QTableWidget* pagesTable() const { return pages_; }
    QTableWidget* pageFindingsTable() const { return pageFindings_; }
    QChartView* chartView() const { return chart_; }

    // Picks the file Export writes in format; an empty text cancels. Tests replace the file dialog.
    using ExportFileChooser = std::function<QString(QWidget* parent, sendwell::AuditFormat format)>;
    void setExportFileChooser(ExportFileChooser chooser) { chooser_ = std::move(chooser); }

    void cancel();
    void exportReport(sendwell::AuditFormat format);
    void done(int result) override;

signals:
    // The crawl has ended: done, cancelled or failed.
    void finished();

private:
    void RunEnded();
    void ShowChecks();
    void ShowPages();
    void ShowChart();
    void ShowAffected();
    void ShowPageFindings(const std::string& address);
    void ShowStatus();

    sendwell::Prompt& messages_;
    sendwell::ConnectionSettings connection_;
    sendwell::AuditReport report_;
    QString failure_; // what the crawl threw, if it did

    QLineEdit* address_ = nullptr;
    QSpinBox* maxPages_ = nullptr;
    QSpinBox* maxDepth_ = nullptr;
    QCheckBox* external_ = nullptr;
    QPushButton* start_ = nullptr;
    QTabWidget* tabs_ = nullptr;
    QTreeWidget* checks_ = nullptr;
    QTableWidget* affected_ = nullptr;
    QTableWidget* pages_ = nullptr;
    QTableWidget* pageFindings_ = nullptr;
    QLabel* pageFindingsLabel_ = nullptr;
    QChartView* chart_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QLabel* status_ = nullptr;
    QPushButton* export_ = nullptr;
    ExportFileChooser chooser_;

    // Shared with the work, which may still be running while the window goes.
    std::shared_ptr<std::atomic<bool>> stop_;
    std::unique_ptr<ProgressRelay> relay_;
    std::shared_ptr<std::string> historyNote_ = std::make_shared<std::string>(); // set off the UI thread
    std::shared_ptr<sendwell::AuditReport> result_;                              // filled by the work
    std::unique_ptr<BackgroundTask> task_;
};

// The whole command: a window for the given start addresses (possibly none: the user types them) that
// deletes itself when closed. The crawl starts when the user presses Start.
SiteAuditWindow* OpenSiteAudit(QWidget* parent, sendwell::Prompt& messages,
                               const std::vector<std::string>& starts,
                               const sendwell::ConnectionSettings& connection);

} // namespace sendwell::gui
