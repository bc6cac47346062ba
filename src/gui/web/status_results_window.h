// "Check All Addresses": the bulk status check of the URL list's addresses in a window of its own. Rows
// come into a sortable table as their answers do, a progress bar with Cancel stands below it, and the
// results can be saved as CSV. Closing the window cancels what is still going.
#pragma once

#include "core/base/connection_settings.h"
#include "core/base/prompt.h"
#include "core/web/status_run.h"
#include "gui/base/file_choice.h"

#include <QDialog>
#include <QPointer>
#include <QString>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QLabel;
class QProgressBar;
class QPushButton;
class QTableWidget;

namespace sendwell::gui {

class BackgroundTask;
class DesktopNotifier;

inline constexpr const char* kCheckAllCaption = "Check All Addresses";

class StatusResultsWindow : public QDialog {
    Q_OBJECT
public:
    enum Column { AddressColumn, CodeColumn, TextColumn, TimeColumn, RedirectColumn };

    StatusResultsWindow(sendwell::Prompt& messages, QWidget* parent = nullptr);
    ~StatusResultsWindow() override;

    // Checks addresses off the UI thread, each row shown as it arrives.
    void start(std::vector<std::string> addresses, sendwell::StatusRunSetup setup);
    bool running() const { return task_ != nullptr; }

    QTableWidget* table() const { return table_; }
    QProgressBar* progressBar() const { return progress_; }
    QPushButton* cancelButton() const { return cancel_; }
    QPushButton* exportButton() const { return export_; }
    QLabel* statusLabel() const { return status_; }

    // Picks the file Export CSV writes; tests replace the file dialog.
    void setExportFileChooser(FileChooser chooser) { chooser_ = std::move(chooser); }

    // Tells the desktop when a long check ends in the background; none: nothing is told.
    void setNotifier(DesktopNotifier* notifier);

    void cancel();
    void exportCsv();
    void done(int result) override;

signals:
    // The run has ended: every address checked, or cancelled.
    void finished();

private:
    void AddRow(std::size_t index, sendwell::StatusRow row);
    void ShowNewRows();
    void RunEnded();
    void ShowCount();

    sendwell::Prompt& messages_;
    QTableWidget* table_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QLabel* status_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QPushButton* export_ = nullptr;
    FileChooser chooser_;

    std::vector<std::pair<std::size_t, sendwell::StatusRow>> rows_; // as they came, with their index
    std::size_t shown_ = 0;                                         // rows_ in the table
    std::size_t total_ = 0;
    std::size_t failed_ = 0;
    bool cancelled_ = false;
    // Set by the work before it ends; read once it has.
    std::string historyError_;
    // Shared with the work, which may still post a row while the window goes.
    std::shared_ptr<std::atomic<bool>> stop_ = std::make_shared<std::atomic<bool>>(false);
    std::unique_ptr<BackgroundTask> task_;
    QPointer<DesktopNotifier> notifier_;
    std::chrono::steady_clock::time_point started_;
};

// The whole command: a window for addresses (the list's rows, or its selected rows) that deletes itself
// when closed.
StatusResultsWindow* OpenStatusResults(QWidget* parent, sendwell::Prompt& messages,
                                       std::vector<std::string> addresses,
                                       const sendwell::ConnectionSettings& connection,
                                       DesktopNotifier* notifier = nullptr);

} // namespace sendwell::gui
