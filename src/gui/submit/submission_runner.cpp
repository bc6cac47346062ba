#include "submit/submission_runner.h"

#include "app/text_bytes.h"
#include "submit/submit_progress_dialog.h"

#include <QEventLoop>
#include <QMetaObject>
#include <system_error>
#include <thread>

namespace sendwell::gui {

namespace {

QPointer<CSubmitProgressDlg> g_activeWindow;
bool g_running = false;

} // namespace

QueuedSubmitProgress::QueuedSubmitProgress(CSubmitProgressDlg* dialog) : dialog_(dialog) {}

template <typename Apply>
void QueuedSubmitProgress::Post(Apply apply) {
    QMetaObject::invokeMethod(
        this,
        [this, apply = std::move(apply)] {
            if (dialog_ != nullptr) {
                apply(*dialog_);
            }
        },
        Qt::QueuedConnection);
}

void QueuedSubmitProgress::SetAddressCount(int count) {
    Post([count](CSubmitProgressDlg& d) { d.setAddressCount(count); });
}

void QueuedSubmitProgress::SetCurrentRange(int maximum) {
    Post([maximum](CSubmitProgressDlg& d) { d.setCurrentRange(maximum); });
}

void QueuedSubmitProgress::SetTotalRange(std::int64_t maximum) {
    Post([maximum](CSubmitProgressDlg& d) { d.setTotalRange(maximum); });
}

void QueuedSubmitProgress::StartAnimation() {
    Post([](CSubmitProgressDlg& d) { d.startAnimation(); });
}

void QueuedSubmitProgress::ShowWindow(bool visible) {
    Post([visible](CSubmitProgressDlg& d) { d.setVisible(visible); });
}

void QueuedSubmitProgress::SetCaption(const std::string& caption) {
    Post([text = ToQString(caption)](CSubmitProgressDlg& d) { d.setWindowTitle(text); });
}

void QueuedSubmitProgress::SetAddress(const std::string& address) {
    Post([text = ToQString(address)](CSubmitProgressDlg& d) { d.setAddress(text); });
}

void QueuedSubmitProgress::SetCurrentPosition(int position) {
    Post([position](CSubmitProgressDlg& d) { d.setCurrentPosition(position); });
}

void QueuedSubmitProgress::SetEngine(const std::string& displayName) {
    Post([text = ToQString(displayName)](CSubmitProgressDlg& d) { d.setEngine(text); });
}

void QueuedSubmitProgress::Step() {
    Post([](CSubmitProgressDlg& d) { d.step(); });
}

void QueuedSubmitProgress::SetStatusText(const std::string& text) {
    {
        std::lock_guard lock(statusMutex_);
        pendingStatus_ = text;
        if (statusPosted_) {
            return; // the queued flush will show the newest text
        }
        statusPosted_ = true;
    }
    QMetaObject::invokeMethod(
        this, [this] { FlushStatus(); }, Qt::QueuedConnection);
}

void QueuedSubmitProgress::FlushStatus() {
    QString text;
    {
        std::lock_guard lock(statusMutex_);
        text = ToQString(pendingStatus_);
        statusPosted_ = false;
    }
    if (dialog_ != nullptr) {
        dialog_->setStatus(text);
    }
}

RunOutcome RunSubmissionAndWait(QWidget* owner, const sendwell::SubmitJob& job) {
    RunOutcome outcome;
    auto* dialog = new CSubmitProgressDlg(owner);
    dialog->setAttribute(Qt::WA_DeleteOnClose, false);
    QueuedSubmitProgress progress(dialog);
    sendwell::RunFlags flags;
    flags.stop.store(false);
    flags.finished.store(false);

    g_running = true;
    g_activeWindow = dialog;

    QEventLoop wait;
    QObject::connect(dialog, &CSubmitProgressDlg::cancelRequested, &wait, [&] {
        outcome.cancelled = true;
        flags.stop.store(true);
    });

    // The worker's last message, queued behind all its updates, ends the wait.
    auto work = [&] {
        sendwell::RunSubmissionWorker(job, progress, flags);
        QMetaObject::invokeMethod(
            &wait, [&wait] { wait.quit(); }, Qt::QueuedConnection);
    };
    std::thread worker;
    try {
        worker = std::thread(work);
    } catch (const std::system_error&) {
        // No thread to be had: the run still happens, with the window frozen until it ends.
        work();
    }
    wait.exec();
    if (worker.joinable()) {
        worker.join();
    }

    delete dialog;
    g_activeWindow = nullptr;
    g_running = false;
    return outcome;
}

bool SubmissionInProgress() {
    return g_running;
}

CSubmitProgressDlg* ActiveProgressWindow() {
    return g_activeWindow;
}

} // namespace sendwell::gui
