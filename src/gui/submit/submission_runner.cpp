#include "gui/submit/submission_runner.h"

#include "gui/base/text_bytes.h"
#include "gui/submit/submit_progress_dialog.h"

#include <QEventLoop>
#include <QMetaObject>
#include <system_error>
#include <thread>

namespace sendwell::gui {

namespace {

QPointer<SubmitProgressDialog> g_activeWindow;
bool g_running = false;

} // namespace

QueuedSubmitProgress::QueuedSubmitProgress(SubmitProgressDialog* dialog) : dialog_(dialog) {}

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
    Post([count](SubmitProgressDialog& d) { d.setAddressCount(count); });
}

void QueuedSubmitProgress::SetCurrentRange(int maximum) {
    Post([maximum](SubmitProgressDialog& d) { d.setCurrentRange(maximum); });
}

void QueuedSubmitProgress::SetTotalRange(std::int64_t maximum) {
    Post([maximum](SubmitProgressDialog& d) { d.setTotalRange(maximum); });
}

void QueuedSubmitProgress::StartAnimation() {
    Post([](SubmitProgressDialog& d) { d.startAnimation(); });
}

void QueuedSubmitProgress::ShowWindow(bool visible) {
    Post([visible](SubmitProgressDialog& d) { d.setVisible(visible); });
}

void QueuedSubmitProgress::SetCaption(const std::string& caption) {
    Post([text = ToQString(caption)](SubmitProgressDialog& d) { d.setWindowTitle(text); });
}

void QueuedSubmitProgress::SetAddress(const std::string& address) {
    Post([text = ToQString(address)](SubmitProgressDialog& d) { d.setAddress(text); });
}

void QueuedSubmitProgress::SetCurrentPosition(int position) {
    Post([position](SubmitProgressDialog& d) { d.setCurrentPosition(position); });
}

void QueuedSubmitProgress::SetEngine(const std::string& displayName) {
    Post([text = ToQString(displayName)](SubmitProgressDialog& d) { d.setEngine(text); });
}

void QueuedSubmitProgress::Step() {
    Post([](SubmitProgressDialog& d) { d.step(); });
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
    auto* dialog = new SubmitProgressDialog(owner);
    dialog->setAttribute(Qt::WA_DeleteOnClose, false);
    QueuedSubmitProgress progress(dialog);
    sendwell::RunFlags flags;
    flags.stop.store(false);
    flags.finished.store(false);

    g_running = true;
    g_activeWindow = dialog;

    QEventLoop wait;
    QObject::connect(dialog, &SubmitProgressDialog::cancelRequested, &wait, [&] {
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

SubmitProgressDialog* ActiveProgressWindow() {
    return g_activeWindow;
}

} // namespace sendwell::gui
