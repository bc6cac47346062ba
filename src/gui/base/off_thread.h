// Long work off the UI thread while the UI thread keeps answering.
#pragma once

#include <QEventLoop>
#include <functional>

namespace sendwell::gui {

// Runs work on a thread of its own and returns when it has ended. Meanwhile the UI thread keeps
// handling events as flags allow (with ExcludeUserInputEvents: painting, timers and queued calls, while
// clicks and keys wait until the work is done). work must not touch widgets. An exception thrown by work
// is rethrown here. Without a thread to be had, work runs here and the windows wait for it.
void RunOffUiThread(const std::function<void()>& work,
                    QEventLoop::ProcessEventsFlags flags = QEventLoop::AllEvents);

} // namespace sendwell::gui
