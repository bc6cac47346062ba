// The History window: past runs newest first with their counts, the selected run's requests, the
// selected request's address across runs, a chart of accepted and failed requests per run and one of
// audit issues by severity per audit, and the runs written out as CSV.
#pragma once

#include "core/base/prompt.h"
#include "core/history/history_view.h"
#include "gui/base/file_choice.h"

#include <QDialog>
#include <QString>
#include <filesystem>
#include <functional>

class QChartView;
class QLabel;
class QPushButton;
class QTabWidget;
class QTableWidget;

namespace sendwell::gui {

inline constexpr const char* kHistoryCaption = "History";

class HistoryWindow : public QDialog {
    Q_OBJECT
public:
    enum RunColumn {
        RunIdColumn,
        KindColumn,
        StartedColumn,
        EndedColumn,
        RequestsColumn,
        AcceptedColumn,
        FailedColumn,
        StateColumn,
        NoteColumn
    };
    enum RequestColumn {
        AtColumn,
        AddressColumn,
        ChannelColumn,
        EndColumn,
        HttpColumn,
        MillisColumn,
        AnswerColumn,
        RequestRunColumn
    };
    enum Tab { RequestsTab, TimelineTab, OutcomeChartTab, AuditChartTab };

    HistoryWindow(std::filesystem::path file, sendwell::Prompt& messages, QWidget* parent = nullptr);

    // Reads the history again (off the UI thread) and shows it, the newest run selected.
    void reload();

    QTableWidget* runsTable() const { return runs_; }
    QTableWidget* requestsTable() const { return requests_; }
    QTableWidget* timelineTable() const { return timeline_; }
    QTabWidget* tabs() const { return tabs_; }
    QChartView* outcomeChart() const { return outcomeChart_; }
    QChartView* auditChart() const { return auditChart_; }
    QLabel* statusLabel() const { return status_; }
    QPushButton* exportButton() const { return export_; }
    QPushButton* scheduleButton() const { return schedule_; }
    const sendwell::HistorySnapshot& snapshot() const { return snapshot_; }

    // Picks the file Export CSV writes; tests replace the file dialog.
    void setExportFileChooser(FileChooser chooser) { chooser_ = std::move(chooser); }
    // Opens the Schedule dialog; tests replace it.
    void setScheduleOpener(std::function<void(QWidget* parent)> opener) { openSchedule_ = std::move(opener); }

    void exportCsv();

private:
    void ShowRuns();
    void ShowCharts();
    void RunSelected();
    void RequestSelected();
    void Problem(const sendwell::Outcome& outcome);

    std::filesystem::path file_;
    sendwell::Prompt& messages_;
    sendwell::HistorySnapshot snapshot_;
    std::vector<sendwell::RequestRecord> shownRequests_;

    QTableWidget* runs_ = nullptr;
    QTableWidget* requests_ = nullptr;
    QTableWidget* timeline_ = nullptr;
    QLabel* timelineLabel_ = nullptr;
    QTabWidget* tabs_ = nullptr;
    QChartView* outcomeChart_ = nullptr;
    QChartView* auditChart_ = nullptr;
    QLabel* status_ = nullptr;
    QPushButton* export_ = nullptr;
    QPushButton* schedule_ = nullptr;
    FileChooser chooser_;
    std::function<void(QWidget* parent)> openSchedule_;
};

// The whole command: the history beside the database in a window that deletes itself when closed.
HistoryWindow* OpenHistoryWindow(QWidget* parent, sendwell::Prompt& messages);

} // namespace sendwell::gui
