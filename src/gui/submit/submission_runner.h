// Launch and wait: starts the submission worker on its own thread behind the progress window and keeps
// the UI thread's event loop running until the worker is done.
#pragma once

#include "core/submit/submission_run.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <mutex>

class QWidget;

namespace sendwell::gui {

class SubmitProgressDialog;

// The worker's SubmitProgress: every call is queued to the UI thread and applied to the progress
// window there, for as long as the window exists. Status texts are coalesced, so a long answer read
// line by line cannot flood the event queue.
class QueuedSubmitProgress : public QObject, public sendwell::SubmitProgress {
    Q_OBJECT
public:
    explicit QueuedSubmitProgress(SubmitProgressDialog* dialog);

    void SetAddressCount(int count) override;
    void SetCurrentRange(int maximum) override;
    void SetTotalRange(std::int64_t maximum) override;
    void StartAnimation() override;
    void ShowWindow(bool visible) override;
    void SetCaption(const std::string& caption) override;
    void SetAddress(const std::string& address) override;
    void SetCurrentPosition(int position) override;
    void SetEngine(const std::string& displayName) override;
    void Step() override;
    void SetStatusText(const std::string& text) override;

private:
    template <typename Apply>
    void Post(Apply apply);
    void FlushStatus();

    QPointer<SubmitProgressDialog> dialog_;
    std::mutex statusMutex_;
    std::string pendingStatus_;
    bool statusPosted_ = false;
};

struct RunOutcome {
    bool cancelled = false;
};

// Runs one submission over the job's addresses and returns when the worker has ended. The progress
// window is owned by owner while it exists and is gone when this returns.
RunOutcome RunSubmissionAndWait(QWidget* owner, const sendwell::SubmitJob& job);

// True while a run started by RunSubmissionAndWait is in progress (at most one at a time).
bool SubmissionInProgress();
// The running submission's progress window, or nullptr.
SubmitProgressDialog* ActiveProgressWindow();

} // namespace sendwell::gui
