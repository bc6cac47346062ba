// The one way to run work off the UI thread: the work gets a thread of its own while the UI thread
// keeps handling events (painting, timers, the user's clicks) until the work has ended.
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

} // namespace sendwell::gui
