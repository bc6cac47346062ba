// The History window over a store the test fills: runs newest first, a run's requests, an address across
// runs, both charts and the CSV export; an empty or damaged history; the Schedule dialog writing and
// removing units in a scratch folder with no systemctl to be found; the main window's action.
#include "core/history/history_store.h"
#include "gui/history/history_window.h"
#include "gui/history/schedule_dialog.h"
#include "tests/gui/support/gui_test_env.h"
#include "tests/gui/support/started_window.h"
#include "tests/gui/support/window_test_support.h"
#include "tests/support/temp_dir.h"

#include <QAbstractBarSeries>
#include <QAction>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QtTest>
#include <cstdlib>

using sendwell::gui::HistoryWindow;
using sendwell::gui::ScheduleDialog;
namespace fs = std::filesystem;

namespace {

sendwell::RequestRecord Request(const std::string& address, sendwell::RequestEnd end, std::int64_t at) {
    sendwell::RequestRecord request;
    request.address = address;
    request.channel = "Engine A";
    request.end = end;
    request.httpStatus = end == sendwell::RequestEnd::Accepted ? 200 : 503;
    request.at = at;
    return request;
}

// Two engine runs a day apart and an audit between them.
void FillHistory(const fs::path& file) {
    using sendwell::RequestEnd;
    const std::int64_t day = 1'780'000'000;
    {
        sendwell::HistoryRecorder run(file, sendwell::RunKind::Engines, day);
        run.Add(Request("http://a.test/", RequestEnd::Accepted, day + 1));
        run.Add(Request("http://b.test/", RequestEnd::Failed, day + 2));
        QVERIFY(run.Finish(day + 3, false, {2, 1, 1}).ok());
    }
    {
        sendwell::HistoryRecorder audit(file, sendwell::RunKind::Audit, day + 3600);
        auto opened = sendwell::HistoryStore::Open(file);
        const std::vector<sendwell::AuditCount> counts = {{"title-missing", "error", 3},
                                                          {"h1-missing", "warning", 2}};
        QVERIFY(opened.store->AddAudit(audit.runId(), counts, {}).ok());
        QVERIFY(audit.Finish(day + 3700, false, {}).ok());
    }
    {
        sendwell::HistoryRecorder run(file, sendwell::RunKind::Engines, day + 86400);
        run.Add(Request("http://a.test/", RequestEnd::Accepted, day + 86401));
        QVERIFY(run.Finish(day + 86402, false, {1, 1, 0}).ok());
    }
}

QStringList Column(const QTableWidget* table, int column) {
    QStringList out;
    for (int r = 0; r < table->rowCount(); ++r) {
        out << table->item(r, column)->text();
    }
    return out;
}

// Puts only an empty folder on PATH for as long as it lives: no systemctl answers.
class ScopedEmptyPath {
public:
    ScopedEmptyPath() : old_(std::getenv("PATH") != nullptr ? std::getenv("PATH") : "") {
        ::setenv("PATH", bin_.path().c_str(), 1);
    }
    ~ScopedEmptyPath() { ::setenv("PATH", old_.c_str(), 1); }

private:
    std::string old_;
    sendwell::test::TempDir bin_;
};

} // namespace

class HistoryWindowTest : public QObject {
    Q_OBJECT

private slots:
    void runsRequestsTimelineChartsAndExport() {
        sendwell::test::TempDir dir;
        const fs::path file = dir / "history.sqlite";
        FillHistory(file);
        sendwell::test::RecordingMessages messages;
        HistoryWindow window(file, messages);
        window.show();
        window.reload();

        QTableWidget* runs = window.runsTable();
        QCOMPARE(Column(runs, HistoryWindow::KindColumn), QStringList({"engines", "audit", "engines"}));
        QCOMPARE(Column(runs, HistoryWindow::FailedColumn), QStringList({"0", "0", "1"}));
        QCOMPARE(window.statusLabel()->text(), QStringLiteral("3 run(s)"));

        // The newest run is selected with its requests; the oldest has two, one failed.
        QCOMPARE(window.requestsTable()->rowCount(), 1);
        runs->selectRow(2);
        QCOMPARE(Column(window.requestsTable(), HistoryWindow::AddressColumn),
                 QStringList({"http://a.test/", "http://b.test/"}));
        QCOMPARE(Column(window.requestsTable(), HistoryWindow::EndColumn),
                 QStringList({"accepted", "failed"}));

        // A request's address across both runs that sent it, oldest first.
        window.requestsTable()->selectRow(0);
        QCOMPARE(Column(window.timelineTable(), HistoryWindow::HttpColumn), QStringList({"200", "200"}));
        QCOMPARE(Column(window.timelineTable(), HistoryWindow::RequestRunColumn).size(), 2);

        // Accepted/failed: a point per engine run; audit: one stacked bar of each severity.
        const QList<QAbstractSeries*> lines = window.outcomeChart()->chart()->series();
        QCOMPARE(lines.size(), 2);
        auto* accepted = qobject_cast<QLineSeries*>(lines[0]);
        auto* failed = qobject_cast<QLineSeries*>(lines[1]);
        QCOMPARE(accepted->count(), 2);
        QCOMPARE(failed->at(0).y(), 1.0);
        QCOMPARE(failed->at(1).y(), 0.0);
        QVERIFY(failed->at(0).x() < failed->at(1).x());
        auto* bars = qobject_cast<QAbstractBarSeries*>(window.auditChart()->chart()->series().value(0));
        QVERIFY(bars != nullptr);
        QStringList severities;
        for (QBarSet* set : bars->barSets()) {
            severities << set->label() + "=" + QString::number(set->at(0));
        }
        QCOMPARE(severities, QStringList({"error=3", "warning=2", "notice=0"}));

        const fs::path csv = dir / "out.csv";
        window.setExportFileChooser([&](QWidget*) { return QString::fromStdString(csv.string()); });
        QTest::mouseClick(window.exportButton(), Qt::LeftButton);
        const QStringList lines2 = QString::fromStdString(sendwell::test::ReadFileBytes(csv)).split("\r\n");
        QCOMPARE(lines2.size(), 5); // heading, three runs, and the last line's end
        QVERIFY(lines2[0].startsWith("run,kind,started"));
        QVERIFY(lines2[3].contains(",engines,") && lines2[3].contains(",finished,2,1,1,"));

        // An unwritable place (beneath a file) is said, and nothing is left half-written.
        window.setExportFileChooser(
            [&](QWidget*) { return QString::fromStdString((file / "x.csv").string()); });
        window.exportCsv();
        QCOMPARE(messages.shown.size(), std::size_t{1});
        QCOMPARE(messages.shown[0].caption, std::string("History"));
    }

    void screenshot() {
        const char* shots = std::getenv("SENDWELL_SCREENSHOT_DIR");
        if (shots == nullptr) {
            QSKIP(
                "The README's picture, taken by hand: SENDWELL_SCREENSHOT_DIR=docs ctest -R history_window.");
        }
        // Two weeks of sample runs: a submission a day and an audit every few days.
        sendwell::test::TempDir dir;
        const fs::path file = dir / "history.sqlite";
        const std::int64_t start = 1'780'000'000;
        for (std::int64_t d = 0; d < 14; ++d) {
            const std::int64_t at = start + d * 86400;
            sendwell::HistoryRecorder run(
                file, d % 3 == 0 ? sendwell::RunKind::IndexNow : sendwell::RunKind::Engines, at);
            const std::int64_t failed = (d * 7) % 5;
            for (std::int64_t i = 0; i < 24; ++i) {
                run.Add(Request("https://www.example.com/page-" + std::to_string(i) + ".html",
                                i < failed ? sendwell::RequestEnd::Failed : sendwell::RequestEnd::Accepted,
                                at + i));
            }
            QVERIFY(run.Finish(at + 40, false, {24, 24 - failed, failed}).ok());
            if (d % 4 == 1) {
                sendwell::HistoryRecorder audit(file, sendwell::RunKind::Audit, at + 3600);
                const std::vector<sendwell::AuditCount> counts = {{"broken-link", "error", 9 - d / 2},
                                                                  {"title-long", "warning", 14 - d / 3},
                                                                  {"h1-missing", "notice", 6}};
                QVERIFY(sendwell::HistoryStore::Open(file).store->AddAudit(audit.runId(), counts, {}).ok());
                QVERIFY(audit.Finish(at + 3700, false, {}).ok());
            }
        }
        sendwell::test::RecordingMessages messages;
        HistoryWindow window(file, messages);
        window.resize(900, 620);
        window.show();
        window.reload();
        window.tabs()->setCurrentIndex(HistoryWindow::OutcomeChartTab);
        QVERIFY(window.grab().save(QString::fromLocal8Bit(shots) + QStringLiteral("/history-window.png")));
    }

    void anEmptyOrDamagedHistoryIsSaidAndNeverCreated() {
        sendwell::test::TempDir dir;
        const fs::path file = dir / "history.sqlite";
        sendwell::test::RecordingMessages messages;
        HistoryWindow window(file, messages);
        window.reload();
        QCOMPARE(window.runsTable()->rowCount(), 0);
        QCOMPARE(window.statusLabel()->text(), QStringLiteral("No runs have been recorded yet."));
        QVERIFY(!window.exportButton()->isEnabled());
        QVERIFY(!fs::exists(file));

        sendwell::test::WriteFileBytes(file, std::string(2048, 'z'));
        window.reload();
        QCOMPARE(messages.shown.size(), std::size_t{1});
        QVERIFY(messages.shown[0].text.find("it was kept as") != std::string::npos);
        QCOMPARE(window.runsTable()->rowCount(), 0);
    }

    void theScheduleDialogAddsListsAndRemovesUnitsAndShowsTheCrontabLine() {
        ScopedEmptyPath noSystemctl;
        sendwell::test::TempDir dir;
        const fs::path units = dir / "units";
        ScheduleDialog dialog(nullptr, units, "/opt/sendwell/sendwell-cli");
        QCOMPARE(dialog.table()->rowCount(), 0);

        // Refused before anything is written: a bad name, an open quote.
        const std::pair<QString, QString> refused[] = {{"no spaces", "audit"}, {"ok", "audit 'open"}};
        for (const auto& [name, command] : refused) {
            dialog.nameEdit()->setText(name);
            dialog.commandEdit()->setText(command);
            dialog.addSchedule();
            QVERIFY(!dialog.noteLabel()->text().isEmpty());
            QVERIFY(!fs::exists(units / "sendwell-ok.timer"));
        }

        dialog.nameEdit()->setText("nightly");
        dialog.everyBox()->setCurrentText("daily");
        dialog.commandEdit()->setText("indexnow submit --sitemap 'https://a.test/s.xml'");
        QTest::mouseClick(dialog.addButton(), Qt::LeftButton);
        QVERIFY(fs::exists(units / "sendwell-nightly.service"));
        QVERIFY(fs::exists(units / "sendwell-nightly.timer"));
        QVERIFY2(dialog.noteLabel()->text().contains("crontab"), qPrintable(dialog.noteLabel()->text()));
        QVERIFY(dialog.noteLabel()->text().contains("/opt/sendwell/sendwell-cli"));
        QCOMPARE(Column(dialog.table(), ScheduleDialog::NameColumn), QStringList({"nightly"}));
        QCOMPARE(Column(dialog.table(), ScheduleDialog::CommandColumn),
                 QStringList({"indexnow submit --sitemap https://a.test/s.xml"}));

        QVERIFY(!dialog.removeButton()->isEnabled());
        dialog.table()->selectRow(0);
        QTest::mouseClick(dialog.removeButton(), Qt::LeftButton);
        QCOMPARE(dialog.table()->rowCount(), 0);
        QVERIFY(!fs::exists(units / "sendwell-nightly.service"));
        QVERIFY(!fs::exists(units / "sendwell-nightly.timer"));
    }

    void theMainWindowOpensOneHistoryWindowByItsAction() {
        sendwell::test::ScratchWorld world;
        sendwell::test::StartedWindow mainWindow(&world.messages);
        QCOMPARE(mainWindow.historyAction()->shortcut(), QKeySequence(QStringLiteral("Ctrl+Shift+H")));
        for (int i = 0; i < 2; ++i) {
            mainWindow.historyAction()->trigger();
        }
        const QList<HistoryWindow*> windows = mainWindow.findChildren<HistoryWindow*>();
        QCOMPARE(windows.size(), 1);
        QVERIFY(windows[0]->isVisible());
        QCOMPARE(windows[0]->statusLabel()->text(), QStringLiteral("No runs have been recorded yet."));
        windows[0]->close();
    }
};

SENDWELL_GUI_TEST_MAIN(HistoryWindowTest)
#include "history_window_test.moc"
