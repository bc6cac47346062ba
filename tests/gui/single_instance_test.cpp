// One window per URL database: a second start hands over to the first, which is asked to come forward.
#include "gui/app/single_instance.h"
#include "tests/gui/support/gui_test_env.h"
#include "tests/support/temp_dir.h"

#include <QApplication>
#include <QSignalSpy>
#include <QtTest>
#include <optional>

using sendwell::gui::ClaimDatabase;
using sendwell::gui::SingleInstance;
using sendwell::gui::StartDecision;

class SingleInstanceTest : public QObject {
    Q_OBJECT

private slots:
    void aSecondStartHandsOverToTheRunningWindow() {
        sendwell::test::TempDir dir;
        const std::filesystem::path database = dir / "linkroll2.dat";
        const QString key = SingleInstance::KeyFor(database);

        std::optional<SingleInstance> first(std::in_place, key);
        std::optional<sendwell::DatabaseLock> firstLock(std::in_place);
        QCOMPARE(ClaimDatabase(*first, *firstLock, database), StartDecision::Run);
        QVERIFY(firstLock->held());
        QSignalSpy activated(&*first, &SingleInstance::activationRequested);

        SingleInstance second(key);
        sendwell::DatabaseLock secondLock;
        QCOMPARE(ClaimDatabase(second, secondLock, database), StartDecision::HandedOver);
        QVERIFY(!secondLock.held());
        QVERIFY(activated.wait());

        // A window of another database is no one to hand over to.
        SingleInstance other(SingleInstance::KeyFor(dir / "elsewhere" / "linkroll2.dat"));
        QVERIFY(!other.HandOverToRunningWindow());

        // Once the first window has gone, the next start runs.
        first.reset();
        firstLock.reset();
        SingleInstance third(key);
        sendwell::DatabaseLock thirdLock;
        QCOMPARE(ClaimDatabase(third, thirdLock, database), StartDecision::Run);
    }
};

SENDWELL_GUI_TEST_MAIN(SingleInstanceTest)
#include "single_instance_test.moc"
