#include "gui/base/off_thread.h"

#include <QMetaObject>
#include <exception>
#include <system_error>
#include <thread>

namespace sendwell::gui {

void RunOffUiThread(const std::function<void()>& work, QEventLoop::ProcessEventsFlags flags) {
    std::exception_ptr failure;
    auto guarded = [&] {
        try {
            work();
        } catch (...) {
            failure = std::current_exception();
        }
    };

    QEventLoop wait;
    std::thread worker;
    try {
        worker = std::thread([&] {
            guarded();
            // Queued behind everything work may have posted; ends the wait on the UI thread.
            QMetaObject::invokeMethod(
                &wait, [&wait] { wait.quit(); }, Qt::QueuedConnection);
        });
    } catch (const std::system_error&) {
        guarded();
    }
    if (worker.joinable()) {
        wait.exec(flags);
        // Normally at once; longer only when the application quit the loop early.
        worker.join();
    }
    if (failure) {
        std::rethrow_exception(failure);
    }
}

} // namespace sendwell::gui
