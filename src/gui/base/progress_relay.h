// The windows' Progress: work on any thread reports through it, and each call is carried to a window
// on the UI thread, in order, for as long as that window exists. Status texts are coalesced and only a
// change of the shown step crosses, so a busy worker cannot flood the event queue.
#pragma once

#include "core/base/coalesced_text.h"
#include "core/base/progress.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>

namespace sendwell::gui {

class ProgressRelay : public sendwell::Progress {
public:
    using ShowText = std::function<void(const QString& text)>;
    using ShowStep = std::function<void(int step)>;
    using StepOf = std::function<int(std::uint64_t done, std::uint64_t total)>;

    // Create on the UI thread. showText and showStep show progress in window (an empty one shows
    // nothing of its kind); stepOf makes the step shown for done of total (done itself without one).
    // window may go at any time, and the calls for it are then dropped.
    ProgressRelay(QObject* window, ShowText showText, ShowStep showStep = {}, StepOf stepOf = {});
    ProgressRelay(const ProgressRelay&) = delete;
    ProgressRelay& operator=(const ProgressRelay&) = delete;

    void SetStatusText(const std::string& text) override;
    void SetSteps(std::uint64_t done, std::uint64_t total) override;

    // Any other work for the window, carried in order with the reports above.
    void Post(std::function<void()> apply);

private:
    QPointer<QObject> window_;
    ShowText showText_;
    ShowStep showStep_;
    StepOf stepOf_;
    QObject context_; // lives on the UI thread; its queued calls go with it
    sendwell::CoalescedText status_;
    std::atomic<int> lastStep_{-1};
};

} // namespace sendwell::gui
