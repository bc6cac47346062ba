// The one way to run work off the UI thread: the work gets a thread of its own while the UI thread
// keeps handling events (painting, timers, the user's clicks) until the work has ended. And its
// counterpart, the one way for that work to come back to the UI thread and wait there.
#pragma once

#include <QEventLoop>
#include <functional>

namespace sendwell::gui {

// Runs work on a thread of its own and returns when it has ended. Meanwhile the calling (UI) thread's
// event loop runs, so whatever work posts to it is handled in order, and all of it before this
// returns. flags limit what the UI thread handles meanwhile (with ExcludeUserInputEvents: painting,
// timers and queued calls, while clicks and keys wait until the work is done). work must not touch
// widgets. An exception thrown by work is rethrown here, on the UI thread. Without a thread to be had
// the work runs right here, and the windows freeze until it ends.
void RunOffUiThread(const std::function<void()>& work,
                    QEventLoop::ProcessEventsFlags flags = QEventLoop::AllEvents);

// Runs work on the UI thread and returns when it has ended: for work off the UI thread that needs the
// user (a message box, a question, a password). Called on the UI thread, which is where work runs
// when RunOffUiThread found no thread to be had, or with no application, it runs work right here. An
// exception thrown by work is rethrown to the caller.
void InvokeOnUiThreadAndWait(const std::function<void()>& work);

} // namespace sendwell::gui
