// Submit All, Submit and the list's double-click through the real windows against the engine
// simulator: what is sent, what the progress window shows, cancelling, the review and the marking.
#include "core/base/dates.h"
#include "core/base/settings.h"
#include "core/results/answer_store.h"
#include "core/submit/engine_catalogue.h"
#include "core/submit/submit_commands.h"
#include "core/urldb/url_database.h"
#include "gui/app/main_window.h"
#include "gui/base/control_ids.h"
#include "gui/submit/submit_controller.h"
#include "gui/submit/submit_progress_dialog.h"
#include "gui/urldb/url_list_model.h"
#include "gui/urldb/url_list_view.h"
#include "gui/widgets/sound_player.h"
#include "tests/gui/support/gui_test_env.h"
#include "tests/gui/support/started_window.h"
#include "tests/gui/support/window_test_support.h"
#include "tests/support/engine_simulator.h"

#include <QApplication>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <memory>

using sendwell::gui::MainWindow;
using sendwell::gui::SubmitProgressDialog;
using sendwell::test::DatabaseBytes;
using sendwell::test::EngineSimulator;
using sendwell::test::ScratchWorld;
namespace ids = sendwell::gui::ids;
namespace fs = std::filesystem;

namespace {

class RecordingSounds : public sendwell::gui::SoundPlayer {
public:
    void Play(int id) override { played.push_back(id); }
    std::vector<int> played;
};

// Watches the run's progress window from the UI thread: captions and the bars as last seen. It hooks
// the window when it is shown, before the run's first address can set a caption.
class ProgressWatcher : public QObject {
public:
    ProgressWatcher() {
        connect(&timer_, &QTimer::timeout, this, [this] { Poll(); });
        timer_.start(1);
        qApp->installEventFilter(this);
    }

    QStringList captions;
    int currentValue = -1, currentMaximum = -1, totalValue = -1, totalMaximum = -1;
    std::function<void(SubmitProgressDialog&)> onEachPoll;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show) {
            if (auto* dialog = qobject_cast<SubmitProgressDialog*>(watched)) {
                Hook(dialog);
            }
        }
        return false;
    }

private:
    void Poll() {
        SubmitProgressDialog* dialog = sendwell::gui::ActiveProgressWindow();
        if (dialog == nullptr) {
            return;
        }
        Hook(dialog);
        if (onEachPoll) {
            onEachPoll(*dialog);
        }
    }

    void Hook(SubmitProgressDialog* dialog) {
        if (dialog != hooked_) {
            hooked_ = dialog;
            connect(dialog, &QWidget::windowTitleChanged, this, [this](const QString& t) { captions << t; });
            auto* current = dialog->findChild<QProgressBar*>(QStringLiteral("id1049"));
            auto* total = dialog->findChild<QProgressBar*>(QStringLiteral("id1012"));
            connect(current, &QProgressBar::valueChanged, this, [this, current](int v) {
                currentValue = v;
                currentMaximum = current->maximum();
            });
            connect(total, &QProgressBar::valueChanged, this, [this, total](int v) {
                totalValue = v;
                totalMaximum = total->maximum();
            });
        }
    }

    QTimer timer_;
    QPointer<SubmitProgressDialog> hooked_;
};

struct RunWorld {
    ScratchWorld world;
    EngineSimulator engines;
    RecordingSounds sounds;
    std::unique_ptr<MainWindow> window;
    int reviews = 0;
    std::size_t answersAtReview = 0;

    explicit RunWorld(const std::string& databaseBytes) {
        engines.PointEnginesHere();
        sendwell::WriteSetting(sendwell::kSettingsSection, "m_bFirstTimeNotice", "1");
        world.writeDatabase(databaseBytes);
        window = std::make_unique<sendwell::test::StartedWindow>(&world.messages);
        window->setSoundPlayer(&sounds);
        auto& submit = window->submitController();
        submit.setReviewOpener([this](const fs::path& folder) {
            ++reviews;
            answersAtReview = sendwell::ListStoredAnswers(folder).size();
        });
        submit.setJobAdjuster([](sendwell::SubmitJob& job) {
            job.timeouts.connect = job.timeouts.send = job.timeouts.receive = job.timeouts.dataReceive =
                std::chrono::milliseconds(1500);
            job.timeouts.connectBackoff = std::chrono::milliseconds(10);
        });
        window->show();
    }

    QString cell(int row, int column) const {
        return window->listModel()->index(row, column).data().toString();
    }
    void click(int id) { QTest::mouseClick(window->button(id), Qt::LeftButton); }
};

std::string Rows(const std::vector<std::string>& urls, const std::string& email = "me@example.org") {
    std::vector<std::vector<std::string>> records;
    for (const auto& u : urls) {
        records.push_back({u, "", "3"});
    }
    return DatabaseBytes(records, email);
}

QString Today() {
    return QString::fromStdString(sendwell::TodayText());
}

// A held answer must not run into the time-outs RunWorld shortens.
void LengthenTimeouts(RunWorld& run) {
    run.window->submitController().setJobAdjuster([](sendwell::SubmitJob& job) {
        job.timeouts.connect = std::chrono::milliseconds(1500);
        job.timeouts.send = job.timeouts.receive = job.timeouts.dataReceive = std::chrono::minutes(2);
        job.timeouts.connectBackoff = std::chrono::milliseconds(10);
    });
}

void EnableOnly(int position) {
    for (const auto& engine : sendwell::EngineCatalogue()) {
        sendwell::WriteSetting(sendwell::kSettingsSection, engine.flagName,
                               engine.position == position ? "1" : "0");
    }
}

} // namespace

class SubmissionRunWindowTest : public QObject {
    Q_OBJECT

private slots:
    void submitAllSendsEveryRowToEveryEngineAndMarksThem() {
        RunWorld run(Rows({"http://one.test/", "http://two.test/", "http://three.test/"}));
        ProgressWatcher watcher;
        run.click(ids::kSubmitAll);

        std::vector<int> expected;
        for (int row = 0; row < 3; ++row) {
            for (int e = 1; e <= sendwell::kEngineCount; ++e) {
                expected.push_back(e);
            }
        }
        QCOMPARE(run.engines.EnginesRequested(), expected);
        QCOMPARE(watcher.captions, QStringList({"Submitting Web Sites 1/3", "Submitting Web Sites 2/3",
                                                "Submitting Web Sites 3/3"}));
        QCOMPARE(watcher.currentValue, 26);
        QCOMPARE(watcher.currentMaximum, 26);
        QCOMPARE(watcher.totalValue, 78);
        QCOMPARE(watcher.totalMaximum, 78);
        QCOMPARE(run.reviews, 1);
        QCOMPARE(run.answersAtReview, std::size_t(78));
        QCOMPARE(run.sounds.played,
                 (std::vector<int>{sendwell::gui::kSoundSubmitStart, sendwell::gui::kSoundSubmitEnd}));
        for (int r = 0; r < 3; ++r) {
            QCOMPARE(run.cell(r, 2), Today());
            QCOMPARE(run.cell(r, 3), QStringLiteral("4"));
        }
        QVERIFY(sendwell::gui::ActiveProgressWindow() == nullptr);
        QVERIFY(run.world.messages.shown.empty());
    }

    void onlyEnabledEnginesAreAskedAndTheBarsStillFill() {
        RunWorld run(Rows({"http://one.test/", "http://two.test/"}));
        EnableOnly(2);
        ProgressWatcher watcher;
        run.click(ids::kSubmitAll);
        QCOMPARE(run.engines.EnginesRequested(), (std::vector<int>{2, 2}));
        QCOMPARE(watcher.totalValue, 52);
        QCOMPARE(watcher.totalMaximum, 52);
        QCOMPARE(watcher.currentValue, 26);
    }

    void cancelStopsAfterTheRequestInProgressAndStillReviewsAndMarks() {
        RunWorld run(Rows({"http://one.test/", "http://two.test/"}));
        // The fifth answer waits for the cancel, however slowly this thread gets to it.
        run.engines.HoldAnswers(5);
        LengthenTimeouts(run);
        ProgressWatcher watcher;
        bool cancelled = false;
        watcher.onEachPoll = [&](SubmitProgressDialog& dialog) {
            // The window shows on the run's first event, which may still be queued behind this poll.
            if (!cancelled && run.engines.RequestCount() >= 5 && dialog.isVisible()) {
                cancelled = true;
                QTest::keyClick(&dialog, Qt::Key_Return); // Enter is no way to cancel
                QVERIFY(!dialog.stopRequested());
                auto* cancel = dialog.findChild<QPushButton*>(QStringLiteral("id1013"));
                QTest::mouseClick(cancel, Qt::LeftButton);
                QVERIFY(!cancel->isEnabled());
                QVERIFY(dialog.isVisible()); // the window stays until the worker is done
                run.engines.ReleaseHeldAnswers();
            }
        };
        run.click(ids::kSubmitAll);

        QVERIFY(cancelled);
        QCOMPARE(run.engines.EnginesRequested(), (std::vector<int>{1, 2, 3, 4, 5}));
        QVERIFY(run.engines.server().WaitForCompleted(5));
        QCOMPARE(run.reviews, 1);
        QCOMPARE(run.answersAtReview, std::size_t(5));
        QCOMPARE(run.sounds.played.back(), sendwell::gui::kSoundSubmitEnd);
        QCOMPARE(run.cell(0, 3), QStringLiteral("4"));
        QCOMPARE(run.cell(1, 3), QStringLiteral("4"));
    }

    void submitAllChecksTheEmailAndTheListFirst() {
        {
            RunWorld run(Rows({"http://one.test/"}, ""));
            run.click(ids::kSubmitAll);
            QCOMPARE(run.world.messages.shown.size(), std::size_t(1));
            QCOMPARE(run.world.messages.shown[0].text, std::string(sendwell::kEmptyEmailText));
            QVERIFY(run.sounds.played.empty());
            auto* email = qobject_cast<QLineEdit*>(run.window->control(ids::kEmailEdit));
            QTest::keyClicks(email, "nobody");
            run.click(ids::kSubmitAll);
            QCOMPARE(run.world.messages.shown.back().text,
                     std::string("Please enter a valid email address, in the form ") +
                         sendwell::kExampleEmail);
            QCOMPARE(run.engines.RequestCount(), std::size_t(0));
        }
        {
            // The start sound comes before the empty-list check.
            RunWorld run(DatabaseBytes({}, "@"));
            run.click(ids::kSubmitAll);
            QCOMPARE(run.sounds.played, std::vector<int>{sendwell::gui::kSoundSubmitStart});
            QCOMPARE(run.world.messages.shown.back().caption, std::string(sendwell::kNoUrlsCaption));
            QCOMPARE(run.reviews, 0);
        }
    }

    void firewallTipIsShownOnceBeforeTheFirstSubmission() {
        RunWorld run(Rows({"http://one.test/"}));
        EnableOnly(2);
        sendwell::WriteSetting(sendwell::kSettingsSection, "m_bFirstTimeNotice", "yes");
        run.click(ids::kSubmitAll);
        run.click(ids::kSubmitAll);
        QCOMPARE(run.world.messages.shown.size(), std::size_t(1));
        QCOMPARE(run.world.messages.shown[0].text, std::string(sendwell::kFirewallTipText));
        QCOMPARE(run.world.messages.shown[0].caption, std::string("Sendwell!"));
        QCOMPARE(run.world.messages.shown[0].icon, sendwell::MessageIcon::Information);
        QCOMPARE(sendwell::ReadSetting(sendwell::kSettingsSection, "m_bFirstTimeNotice"), std::string("1"));
        QCOMPARE(run.engines.RequestCount(), std::size_t(2));
    }

    void submitSendsOnlyTheSelectedRowsAndMarksThem() {
        RunWorld run(Rows({"http://one.test/", "http://two.test/", "http://three.test/", "http://four.test/",
                           "http://five.test/"},
                          ""));
        EnableOnly(2);
        run.window->list()->selectRows({3, 1});
        run.click(ids::kSubmit);
        std::vector<sendwell::test::EngineRequestRecord> requests = run.engines.Requests();
        QCOMPARE(requests.size(), std::size_t(2));
        QVERIFY(requests[0].target.find("two.test") != std::string::npos);
        QVERIFY(requests[1].target.find("four.test") != std::string::npos);
        for (int r = 0; r < 5; ++r) {
            bool sent = r == 1 || r == 3;
            QCOMPARE(run.cell(r, 3), sent ? QStringLiteral("4") : QStringLiteral("3"));
            QCOMPARE(run.cell(r, 2), sent ? Today() : QString());
        }
        QCOMPARE(run.reviews, 1);
    }

    void equalRowsAreSubmittedOnceAndBothMarked() {
        RunWorld run(Rows({"http://same.test/", "http://other.test/", "http://same.test/"}));
        EnableOnly(2);
        run.window->list()->selectRows({0});
        emit run.window->list()->listDoubleClicked();
        QCOMPARE(run.engines.RequestCount(), std::size_t(1));
        QCOMPARE(run.cell(0, 3), QStringLiteral("4"));
        QCOMPARE(run.cell(1, 3), QStringLiteral("3"));
        QCOMPARE(run.cell(2, 3), QStringLiteral("4"));
        // A double-click shows no firewall tip, even when it was never shown.
        QVERIFY(run.world.messages.shown.empty());
    }

    void doubleClickIgnoresTheFirewallTipAndEmptyEmail() {
        RunWorld run(Rows({"http://one.test/"}, ""));
        EnableOnly(1);
        sendwell::WriteSetting(sendwell::kSettingsSection, "m_bFirstTimeNotice", "0");
        run.window->list()->selectRows({0});
        emit run.window->list()->listDoubleClicked();
        QVERIFY(run.world.messages.shown.empty());
        std::vector<sendwell::test::EngineRequestRecord> requests = run.engines.Requests();
        QCOMPARE(requests.size(), std::size_t(1));
        // The empty e-mail address is sent as an empty value.
        QVERIFY(requests[0].target.find("&EMail=") + 7 == requests[0].target.size());
    }

    void aSecondRunCannotStartWhileOneIsInProgress() {
        RunWorld run(Rows({"http://one.test/"}));
        EnableOnly(3);
        run.engines.HoldAnswers(3);
        LengthenTimeouts(run);
        ProgressWatcher watcher;
        int attempts = 0;
        watcher.onEachPoll = [&](SubmitProgressDialog&) {
            if (attempts == 0 && run.engines.RequestCount() == 1) {
                ++attempts;
                run.click(ids::kSubmitAll);
                run.window->list()->selectRows({0});
                run.click(ids::kSubmit);
                emit run.window->list()->listDoubleClicked();
                QTest::keyClick(run.window.get(), Qt::Key_Escape); // cancels rather than closes
                QVERIFY(run.window->isVisible());
                run.engines.ReleaseHeldAnswers();
            }
        };
        run.click(ids::kSubmitAll);
        QCOMPARE(attempts, 1);
        QCOMPARE(run.engines.RequestCount(), std::size_t(1));
        QCOMPARE(run.reviews, 1);
        QVERIFY(run.window->isVisible());
    }
};

SENDWELL_GUI_TEST_MAIN(SubmissionRunWindowTest)
#include "submission_run_test.moc"
