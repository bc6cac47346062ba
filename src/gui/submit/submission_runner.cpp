#include "gui/submit/submission_runner.h"

#include "gui/base/background_work.h"
#include "gui/base/text_bytes.h"
#include "gui/submit/submit_progress_dialog.h"

namespace sendwell::gui {

namespace {

QPointer<SubmitProgressDialog> g_activeWindow;

} // namespace

QueuedSubmitProgress::QueuedSubmitProgress(SubmitProgressDialog* dialog)
    : dialog_(dialog), relay_(dialog, [dialog](const QString& text) { dialog->setStatus(text); }) {}

template <typename Apply>
void QueuedSubmitProgress::Post(Apply apply) {
    relay_.Post([this, apply = std::move(apply)] { apply(*dialog_); });
}

void QueuedSubmitProgress::RunStarted(std::size_t addressCount, int engineCount) {
    Post([addressCount, engineCount](SubmitProgressDialog& d) { d.runStarted(addressCount, engineCount); });
}

void QueuedSubmitProgress::AddressStarted(std::size_t index, std::size_t count, const std::string& address) {
    Post([index, count, text = ToQString(address)](SubmitProgressDialog& d) {
        d.addressStarted(index, count, text);
    });
}

void QueuedSubmitProgress::EngineStarted(const std::string& displayName) {
    Post([text = ToQString(displayName)](SubmitProgressDialog& d) { d.engineStarted(text); });
}

void QueuedSubmitProgress::RequestDone() {
    Post([](SubmitProgressDialog& d) { d.requestDone(); });
}

void QueuedSubmitProgress::RunEnded() {
    Post([](SubmitProgressDialog& d) { d.runEnded(); });
}

void QueuedSubmitProgress::SetStatusText(const std::string& text) {
    relay_.SetStatusText(text);
}

sendwell::RunTally RunSubmissionAndWait(QWidget* owner, const sendwell::SubmitJob& job) {
    auto* dialog = new SubmitProgressDialog(owner);
    dialog->setAttribute(Qt::WA_DeleteOnClose, false);
    QueuedSubmitProgress progress(dialog);
    sendwell::RunFlags flags;
    QObject::connect(dialog, &SubmitProgressDialog::cancelRequested, dialog,
                     [&flags] { flags.stop.store(true); });
    g_activeWindow = dialog;

    // However the worker ends; the window may already have gone with its owner.
    struct Cleanup {
        QPointer<SubmitProgressDialog> dialog;
        ~Cleanup() {
            delete dialog.data();
            g_activeWindow = nullptr;
        }
    } cleanup{dialog};
    sendwell::RunTally tally;
    RunOffUiThread([&] { tally = sendwell::RunSubmissionWorker(job, progress, flags); });
    return tally;
}

SubmitProgressDialog* ActiveProgressWindow() {
    return g_activeWindow;
}

} // namespace sendwell::gui
