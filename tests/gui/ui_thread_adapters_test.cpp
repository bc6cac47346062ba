// The windows' prompt and progress relay used from a worker: each box opens on the UI thread with the
// caption, text and icon it was given and hands the user's answer back; progress reaches its window in
// order and stops reaching it once the window is gone.
#include "gui/base/background_work.h"
#include "gui/base/dialog_prompt.h"
#include "gui/base/progress_relay.h"
#include "tests/gui/support/gui_test_env.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <QtTest>
#include <functional>

using sendwell::gui::DialogPrompt;
using sendwell::gui::ProgressRelay;
using sendwell::gui::RunOffUiThread;

namespace {

// Acts on each modal window as it opens, on the UI thread.
class OnModal : public QObject {
public:
    explicit OnModal(std::function<void(QWidget*)> act) : act_(std::move(act)) {
        connect(&timer_, &QTimer::timeout, this, [this] {
            QWidget* modal = QApplication::activeModalWidget();
            if (modal != nullptr && modal != last_) {
                last_ = modal;
                act_(modal);
            }
        });
        timer_.start(10);
    }

private:
    std::function<void(QWidget*)> act_;
    QTimer timer_;
    QPointer<QWidget> last_;
};

} // namespace

class UiThreadAdaptersTest : public QObject {
    Q_OBJECT
private slots:
    void promptsFromAWorkerOpenOnTheUiThreadAndAnswer() {
        QWidget window;
        DialogPrompt prompt(&window);
        QStringList seen;
        bool allOnUiThread = true;
        QThread* const ui = QThread::currentThread();
        OnModal answer([&](QWidget* modal) {
            allOnUiThread = allOnUiThread && modal->thread() == ui;
            if (auto* box = qobject_cast<QMessageBox*>(modal)) {
                seen << box->windowTitle() + "|" + box->text() + "|" + QString::number(box->icon());
                QAbstractButton* press =
                    box->defaultButton() != nullptr ? box->defaultButton() : box->button(QMessageBox::Ok);
                seen << press->text();
                press->click();
            } else if (auto* dialog = qobject_cast<QDialog*>(modal)) {
                dialog->findChild<QLineEdit*>(QStringLiteral("userEdit"))->setText(QStringLiteral("ann"));
                dialog->findChild<QLineEdit*>(QStringLiteral("passwordEdit"))
                    ->setText(QStringLiteral("secret"));
                dialog->accept();
            }
        });
        bool yes = false;
        std::optional<sendwell::Credentials> given;
        RunOffUiThread([&] {
            prompt.ShowMessage("The file was not written.", "Export Sitemap", sendwell::MessageIcon::Warning);
            yes = prompt.Confirm("A new upgrade is available.", "Upgrade");
            given = prompt.AskCredentials("http://127.0.0.1/private", "Members");
        });
        QVERIFY(allOnUiThread);
        QCOMPARE(
            seen,
            QStringList(
                {"Export Sitemap|The file was not written.|" + QString::number(QMessageBox::Warning), "OK",
                 "Upgrade|A new upgrade is available.|" + QString::number(QMessageBox::Question), "&Yes"}));
        QVERIFY(yes);
        QVERIFY(given.has_value());
        QCOMPARE(given->user, std::string("ann"));
        QCOMPARE(given->password, std::string("secret"));
    }

    void progressReachesItsWindowInOrderUntilTheWindowGoes() {
        auto* label = new QLabel;
        QStringList texts;
        QList<int> steps;
        ProgressRelay relay(
            label, [&](const QString& text) { texts << text; }, [&](int step) { steps << step; },
            [](std::uint64_t done, std::uint64_t total) { return static_cast<int>(done * 10 / total); });
        RunOffUiThread([&] {
            relay.SetStatusText("Connecting");
            for (std::uint64_t done = 0; done <= 100; ++done) {
                relay.SetSteps(done, 100); // eleven shown steps, each crossing once
            }
            sendwell::gui::InvokeOnUiThreadAndWait([&] { delete label; });
            relay.SetStatusText("Read 100 bytes");
            relay.SetSteps(0, 100);
        });
        QCOMPARE(texts, QStringList({"Connecting"}));
        QCOMPARE(steps, QList<int>({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
    }
};

SENDWELL_GUI_TEST_MAIN(UiThreadAdaptersTest)
#include "ui_thread_adapters_test.moc"
