// The one way to run work off the UI thread: the work gets a thread of its own while the UI thread
// keeps handling events (painting, timers, the user's clicks) until the work has ended. And its
// counterpart, the one way for that work to come back to the UI thread and wait there.
#pragma once

#include <QEventLoop>
#include <exception>
#include <functional>
#include <memory>
#include <thread>

class QObject;

namespace sendwell::gui {

// Runs work on a thread of its own and returns when it has ended. Meanwhile the calling (UI) thread's
// event loop runs, so whatever work posts to it is handled in order, and all of it before this
// returns. flags limit what the UI thread handles meanwhile (with ExcludeUserInputEvents: painting,
// timers and queued calls, while clicks and keys wait until the work is done). work must not touch
// widgets. An exception thrown by work is rethrown here, on the UI thread. Without a thread to be had
// the work runs right here, and the windows freeze until it ends.
void RunOffUiThread(const std::function<void()>& work,
                    QEventLoop::ProcessEventsFlags flags = QEventLoop::AllEvents);

// Work started on a thread of its own while the UI thread goes on with whatever comes (see
// StartOffUiThread). Destroying a task waits for its work to end.
class BackgroundTask {
public:
    BackgroundTask() = default;
    ~BackgroundTask();
    BackgroundTask(const BackgroundTask&) = delete;
    BackgroundTask& operator=(const BackgroundTask&) = delete;

    // Waits for the work to end (at once when it has) and rethrows what it threw.
    void wait();

private:
    friend std::unique_ptr<BackgroundTask> StartOffUiThread(std::function<void()> work, QObject* context,
                                                            std::function<void()> ended);
    std::thread thread_;
    std::exception_ptr failure_;
};

// Starts work on a thread of its own and returns at once. When the work has ended, ended is called on
// context's thread (not at all once context is gone). work must not touch widgets. Without a thread to
// be had the work runs right here before this returns.
std::unique_ptr<BackgroundTask> StartOffUiThread(std::function<void()> work, QObject* context,
                                                 std::function<void()> ended);

// Runs work on the UI thread and returns when it has ended: for work off the UI thread that needs the
// user (a message box, a question, a password). Called on the UI thread, which is where work runs
// when RunOffUiThread found no thread to be had, or with no application, it runs work right here. An
// exception thrown by work is rethrown to the caller.
void InvokeOnUiThreadAndWait(const std::function<void()>& work);

} // namespace sendwell::gui
