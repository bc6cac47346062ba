// The Import command's progress window: the UI keeps running while the file is read, the window shows
// how far the reading got, and Cancel adds nothing, even when the reading had just finished.
#include "gui/urldb/import_command.h"
#include "gui/urldb/url_list_model.h"
#include "tests/gui/support/gui_test_env.h"

#include <QApplication>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <future>
#include <memory>

using sendwell::ImportControl;
using sendwell::ImportEnd;
using sendwell::gui::RunImportCommand;
using sendwell::gui::UrlListModel;

class ImportCommandTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        owner_ = std::make_unique<QWidget>();
        owner_->show();
        QVERIFY(QTest::qWaitForWindowExposed(owner_.get()));
    }

    void cleanup() {
        QVERIFY(owner_->findChildren<QProgressDialog*>().isEmpty());
        QCOMPARE(QApplication::activeModalWidget(), nullptr);
        owner_.reset();
    }

    void readsOffTheUiThreadAndAppendsOnlyWhenNotCancelled_data() {
        QTest::addColumn<bool>("cancel");
        QTest::newRow("finished") << false;
        QTest::newRow("cancelled") << true;
    }

    void readsOffTheUiThreadAndAppendsOnlyWhenNotCancelled() {
        QFETCH(bool, cancel);
        // The reader finds two addresses, reports half the file read, and holds until the UI lets it
        // go; then it reports success whatever happened, as one that was just done would.
        std::promise<void> release;
        std::shared_future<void> released = release.get_future().share();
        bool stopSeen = false;
        auto reader = [&](const std::filesystem::path&, std::vector<std::string>& out,
                          const ImportControl& c) {
            out = {"www.a.example", "http://b.example"};
            c.progress->SetSteps(1, 2);
            released.wait();
            stopSeen = c.stop->load();
            return ImportEnd::Finished;
        };

        struct Seen {
            bool modal = false;
            QString title;
        } seen;
        bool releasedYet = false;
        QTimer timer;
        timer.setInterval(10);
        connect(&timer, &QTimer::timeout, this, [&] {
            auto* window = owner_->findChild<QProgressDialog*>(QStringLiteral("importProgress"));
            if (releasedYet || window == nullptr || window->value() != window->maximum() / 2) {
                return;
            }
            seen.modal = window->isVisible() && QApplication::activeModalWidget() == window;
            seen.title = window->windowTitle();
            if (cancel) {
                QTest::mouseClick(window->findChild<QPushButton*>(), Qt::LeftButton);
            }
            releasedYet = true;
            release.set_value();
        });
        timer.start();

        sendwell::UrlDatabase db;
        UrlListModel model(db);
        const std::size_t added = RunImportCommand(owner_.get(), model, "list.txt", reader);
        timer.stop();
        if (!releasedYet) {
            release.set_value();
        }

        QVERIFY(releasedYet);
        QVERIFY(seen.modal);
        QCOMPARE(seen.title, QString("Import"));
        QCOMPARE(stopSeen, cancel);
        QCOMPARE(added, cancel ? 0U : 2U);
        QCOMPARE(model.rowCount(), cancel ? 0 : 2);
    }

private:
    std::unique_ptr<QWidget> owner_;
};

SENDWELL_GUI_TEST_MAIN(ImportCommandTest)
#include "import_command_test.moc"
