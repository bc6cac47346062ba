// Launch and wait: starts the submission worker off the UI thread behind the progress window and keeps
// the UI thread's event loop running until the worker is done.
#pragma once

#include "core/base/coalesced_text.h"
#include "core/submit/submission_run.h"

#include <QObject>
#include <QPointer>

class QWidget;

namespace sendwell::gui {

class SubmitProgressDialog;

// The worker's SubmitProgress: every event is queued to the UI thread and handed to the progress
// window there, for as long as the window exists. Status texts are coalesced, so a long answer read
// line by line cannot flood the event queue.
class QueuedSubmitProgress : public QObject, public sendwell::SubmitProgress {
    Q_OBJECT
public:
    explicit QueuedSubmitProgress(SubmitProgressDialog* dialog);

    void RunStarted(std::size_t addressCount, int engineCount) override;
    void AddressStarted(std::size_t index, std::size_t count, const std::string& address) override;
    void EngineStarted(const std::string& displayName) override;
    void RequestDone() override;
    void RunEnded() override;
    void SetStatusText(const std::string& text) override;

private:
    template <typename Apply>
    void Post(Apply apply);

    QPointer<SubmitProgressDialog> dialog_;
    sendwell::CoalescedText status_;
};

// Runs one submission over the job's addresses and returns what it did when the worker has ended. The
// progress window is owned by owner while it exists and is gone when this returns. What the worker
// threw is rethrown here, after the window is gone.
sendwell::RunTally RunSubmissionAndWait(QWidget* owner, const sendwell::SubmitJob& job);

// The running submission's progress window, or nullptr.
SubmitProgressDialog* ActiveProgressWindow();

} // namespace sendwell::gui
