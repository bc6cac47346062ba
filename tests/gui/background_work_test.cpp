// Work off the UI thread coming back to it: it runs there while the worker waits, an exception reaches
// the worker, and on the UI thread itself (where work runs when no thread could be had) it runs at once
// instead of waiting for itself.
#include "gui/base/background_work.h"
#include "tests/gui/support/gui_test_env.h"

#include <QThread>
#include <QtTest>
#include <stdexcept>

using sendwell::gui::InvokeOnUiThreadAndWait;
using sendwell::gui::RunOffUiThread;

namespace {

class BackgroundWorkTest : public QObject {
    Q_OBJECT
private slots:
    void workFromAWorkerRunsOnTheUiThreadWhileTheWorkerWaits() {
        QThread* const ui = QThread::currentThread();
        QThread* worker = nullptr;
        QThread* ranOn = nullptr;
        bool doneBeforeReturn = false;
        QString caught;
        RunOffUiThread([&] {
            worker = QThread::currentThread();
            int value = 0;
            InvokeOnUiThreadAndWait([&] {
                ranOn = QThread::currentThread();
                value = 42;
            });
            doneBeforeReturn = value == 42;
            try {
                InvokeOnUiThreadAndWait([] { throw std::runtime_error("refused"); });
            } catch (const std::runtime_error& e) {
                caught = QString::fromUtf8(e.what());
            }
        });
        QVERIFY(worker != ui);
        QCOMPARE(ranOn, ui);
        QVERIFY(doneBeforeReturn);
        QCOMPARE(caught, QStringLiteral("refused"));
    }

    void onTheUiThreadTheWorkRunsAtOnce() {
        bool ran = false;
        InvokeOnUiThreadAndWait([&] { ran = true; });
        QVERIFY(ran);
    }
};

} // namespace

SENDWELL_GUI_TEST_MAIN(BackgroundWorkTest)
#include "background_work_test.moc"
