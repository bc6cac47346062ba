// Launch and wait: starts the submission worker off the UI thread behind the progress window and keeps
// the UI thread's event loop running until the worker is done.
#pragma once

#include "core/submit/submission_run.h"
#include "gui/base/progress_relay.h"

#include <QPointer>

class QWidget;

namespace sendwell::gui {

class SubmitProgressDialog;

// The worker's SubmitProgress: every event is carried to the progress window on the UI thread, for as
// long as the window exists, through the windows' one progress relay.
class QueuedSubmitProgress : public sendwell::SubmitProgress {
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
    ProgressRelay relay_;
};

// Runs one submission over the job's addresses and returns what it did when the worker has ended. The
// progress window is owned by owner while it exists and is gone when this returns. What the worker
// threw is rethrown here, after the window is gone.
sendwell::RunTally RunSubmissionAndWait(QWidget* owner, const sendwell::SubmitJob& job);

// The running submission's progress window, or nullptr.
SubmitProgressDialog* ActiveProgressWindow();

} // namespace sendwell::gui
