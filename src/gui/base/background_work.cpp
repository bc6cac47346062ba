#include "gui/base/background_work.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QMetaObject>
#include <QThread>
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
    auto body = [&] {
        guarded();
        // Queued behind everything work posted; ends the wait on the UI thread.
        QMetaObject::invokeMethod(
            &wait, [&wait] { wait.quit(); }, Qt::QueuedConnection);
    };
    std::thread worker;
    try {
        worker = std::thread(body);
    } catch (const std::system_error&) {
        body();
    }
    wait.exec(flags);
    if (worker.joinable()) {
        // Normally at once; longer only when the application quit the loop early.
        worker.join();
    }
    if (failure) {
        std::rethrow_exception(failure);
    }
}

void InvokeOnUiThreadAndWait(const std::function<void()>& work) {
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr || QThread::currentThread() == app->thread()) {
        work(); // waiting for ourselves would never end
        return;
    }
    std::exception_ptr failure;
    QMetaObject::invokeMethod(
        app,
        [&] {
            try {
                work();
            } catch (...) {
                failure = std::current_exception();
            }
        },
        Qt::BlockingQueuedConnection);
    if (failure) {
        std::rethrow_exception(failure);
    }
}

} // namespace sendwell::gui
