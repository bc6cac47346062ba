#include "gui/base/background_work.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QMetaObject>
#include <QThread>
#include <exception>
#include <system_error>
#include <thread>
#include <utility>

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

BackgroundTask::~BackgroundTask() {
    if (thread_.joinable()) {
        thread_.join();
    }
}

void BackgroundTask::wait() {
    if (thread_.joinable()) {
        thread_.join();
    }
    if (std::exception_ptr failure = std::exchange(failure_, nullptr)) {
        std::rethrow_exception(failure);
    }
}

std::unique_ptr<BackgroundTask> StartOffUiThread(std::function<void()> work, QObject* context,
                                                 std::function<void()> ended) {
    auto task = std::make_unique<BackgroundTask>();
    // The thread writes failure_ and the UI thread reads it only after joining the thread.
    auto body = [work = std::move(work), ended = std::move(ended), context, failure = &task->failure_] {
        try {
            work();
        } catch (...) {
            *failure = std::current_exception();
        }
        QMetaObject::invokeMethod(context, ended, Qt::QueuedConnection);
    };
    try {
        task->thread_ = std::thread(body);
    } catch (const std::system_error&) {
        body();
    }
    return task;
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
