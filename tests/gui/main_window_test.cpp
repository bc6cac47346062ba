// The main window as a user meets it: start-up, the enabling rules, Add/Remove/Import/sorting through
// the real widgets, closing in every way, and resizing.
#include "core/base/settings.h"
#include "core/sitemap/sitemap_reader.h"
#include "gui/app/about_dialog.h"
#include "gui/app/main_window.h"
#include "gui/app/splash_window.h"
#include "gui/base/control_ids.h"
#include "gui/sitemap/sitemap_commands.h"
#include "gui/urldb/url_list_model.h"
#include "gui/urldb/url_list_view.h"
#include "tests/gui/support/gui_test_env.h"
#include "tests/gui/support/started_window.h"
#include "tests/gui/support/window_test_support.h"

#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSizeGrip>
#include <QtTest>
#include <fstream>
#include <memory>

using sendwell::gui::MainWindow;
using sendwell::test::DatabaseBytes;
using sendwell::test::ScratchWorld;
namespace ids = sendwell::gui::ids;
namespace fs = std::filesystem;

namespace {

const int kSelectionButtons[] = {ids::kRemove, ids::kSubmit, ids::kPopularity, ids::kPing, ids::kAnalyze};
const int kAlwaysEnabled[] = {ids::kRank,    ids::kKeywords, ids::kAdvertise, ids::kImport, ids::kSubmitAll,
                              ids::kEngines, ids::kUpgrade,  ids::kHelp,      ids::kQuit};

std::unique_ptr<MainWindow> OpenWindow(ScratchWorld& world) {
    auto window = std::make_unique<sendwell::test::StartedWindow>(&world.messages);
    window->show();
    if (!QTest::qWaitForWindowExposed(window.get())) {
        return nullptr;
    }
    return window;
}

QStringList Column(const MainWindow& w, int column) {
    QStringList texts;
    const auto* model = w.listModel();
    for (int r = 0; r < model->rowCount(); ++r) {
        texts << model->index(r, column).data().toString();
    }
    return texts;
}

void ClickRow(MainWindow& w, int row, Qt::KeyboardModifiers modifiers = {}) {
    auto* list = w.list();
    const QRect cell = list->visualRect(w.listModel()->index(row, 1));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, modifiers, cell.center());
}

void ClickHeader(MainWindow& w, int column) {
    QHeaderView* header = w.list()->horizontalHeader();
    const QPoint at(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                    header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
}

void TypeAndAdd(MainWindow& w, const QString& text) {
    auto* address = qobject_cast<QLineEdit*>(w.control(ids::kAddressEdit));
    address->clear();
    QTest::keyClicks(address, text);
    if (w.button(ids::kAdd)->isEnabled()) {
        QTest::mouseClick(w.button(ids::kAdd), Qt::LeftButton);
    }
}

std::string FiveRecords() {
    return DatabaseBytes({{"http://one.example", "", "0"},
                          {"http://two.example", "03/05/2010", "4"},
                          {"http://three.example", "", "1"},
                          {"http://four.example", "", "0"},
                          {"http://five.example", "12/31/2009", "7"}},
                         "me@example.org");
}

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private slots:
    void firstStartShowsEmptyWindowQuietly() {
        ScratchWorld world;
        {
            auto w = OpenWindow(world);
            QVERIFY(w);
            QCOMPARE(w->listModel()->rowCount(), 0);
            QCOMPARE(qobject_cast<QLineEdit*>(w->control(ids::kEmailEdit))->text(), QString());
            QCOMPARE(w->windowTitle(), QStringLiteral("Sendwell! Pro"));
            QCOMPARE(qobject_cast<QLabel*>(w->control(ids::kHeaderLabel))->text(),
                     QStringLiteral("Sendwell! Pro v3.81\nProgrammed by Quenby"));
            QVERIFY(w->control(ids::kIcon)->isVisible());
            QVERIFY(w->button(ids::kUpgrade)->isVisible());
            QVERIFY(!w->button(ids::kAdd)->isEnabled());
            for (int id : kSelectionButtons) {
                QVERIFY2(!w->button(id)->isEnabled(), qPrintable(ids::ControlName(id)));
            }
            for (int id : kAlwaysEnabled) {
                QVERIFY2(w->button(id)->isEnabled(), qPrintable(ids::ControlName(id)));
            }
            QVERIFY(w->list()->backgroundPicture().isNull());
            QCOMPARE(w->connectionSettings().bufSize, 8096);
            QVERIFY(!w->connectionSettings().useProxy);
            QCOMPARE(w->programFolder(), world.programFolder());

            // The splash goes away by itself while the main window stays usable.
            QTRY_VERIFY_WITH_TIMEOUT(!w->splash()->isVisible(), 3000);
            QVERIFY(w->isVisible());

            QTest::mouseClick(w->button(ids::kQuit), Qt::LeftButton);
            QVERIFY(!w->isVisible());
        }
        QVERIFY(world.messages.shown.empty());
        // Closing without a resize leaves the window size unwritten.
        QVERIFY(!sendwell::ReadWindowSetting(sendwell::kWindowSizeSection, "CX"));
        QVERIFY(!sendwell::ReadWindowSetting(sendwell::kWindowSizeSection, "CY"));
        QCOMPARE(world.readDatabase(), DatabaseBytes({}, ""));
    }

    void connectionSettingsAreReadAtStartUp() {
        ScratchWorld world;
        QVERIFY(sendwell::WriteSetting(sendwell::kSettingsSection, "bProxyOn", "1"));
        QVERIFY(sendwell::WriteSetting(sendwell::kSettingsSection, "m_ProxyName", "127.0.0.1:3128"));
        QVERIFY(sendwell::WriteSetting(sendwell::kSettingsSection, "i_BufSize", "600"));
        auto w = OpenWindow(world);
        QVERIFY(w);
        QVERIFY(w->connectionSettings().useProxy);
        QCOMPARE(w->connectionSettings().proxyName, std::string("127.0.0.1:3128"));
        QCOMPARE(w->connectionSettings().bufSize, 600);
    }

    // Without a system menu to extend, the About item is on the window's context menu, with the export
    // and the status check of all addresses.
    void aboutBoxIsOfferedOnTheWindowsContextMenu() {
        ScratchWorld world;
        auto w = OpenWindow(world);
        QVERIFY(w);
        QStringList offered;
        QTimer::singleShot(0, [&] {
            if (QWidget* popup = QApplication::activePopupWidget()) {
                for (QAction* action : popup->actions()) {
                    offered << action->text();
                }
                popup->close();
            }
        });
        QWidget* header = w->control(ids::kHeaderLabel);
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), header->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(header, &event);
        QCOMPARE(offered, QStringList({"&About Sendwell! Pro...", "Export &Sitemap...",
                                       "Check All Addresses...", "Audit Site...", "History..."}));

        sendwell::gui::AboutDialog about(w.get());
        QCOMPARE(about.windowTitle(), QStringLiteral("About Sendwell! Pro"));
        QStringList texts;
        for (QLabel* label : about.findChildren<QLabel*>()) {
            texts << label->text();
        }
        QVERIFY(texts.contains(QStringLiteral("Sendwell! Pro v3.81")));
    }

    void listHasItsColumnsAndEveryControlItsId() {
        ScratchWorld world;
        auto w = OpenWindow(world);
        QVERIFY(w);
        const int ids[] = {ids::kHeaderLabel, ids::kIcon,      ids::kAddressPrompt, ids::kAddressEdit,
                           ids::kAdd,         ids::kRemove,    ids::kSubmit,        ids::kAnalyze,
                           ids::kPopularity,  ids::kPing,      ids::kRank,          ids::kKeywords,
                           ids::kAdvertise,   ids::kImport,    ids::kDatabaseList,  ids::kEmailLabel,
                           ids::kEmailEdit,   ids::kSubmitAll, ids::kEngines,       ids::kUpgrade,
                           ids::kHelp,        ids::kQuit};
        for (int id : ids) {
            QWidget* c = w->control(id);
            QVERIFY2(c != nullptr, qPrintable(ids::ControlName(id)));
            QVERIFY2(w->rect().contains(c->geometry()), qPrintable(ids::ControlName(id)));
        }
        QVERIFY(w->button(ids::kAdd)->isDefault());
        QCOMPARE(w->button(ids::kRemove)->text(), QStringLiteral("R&emove"));
        QCOMPARE(w->control(ids::kAddressEdit)->toolTip(),
                 QStringLiteral("Enter a web page address in the form: http://www.example.com"));

        const QStringList titles = {"#", "Web URL", "Last Sent", "# Submits"};
        const int widths[] = {20, 336, 100, 60};
        QHeaderView* header = w->list()->horizontalHeader();
        for (int c = 0; c < 4; ++c) {
            QCOMPARE(w->listModel()->headerData(c, Qt::Horizontal).toString(), titles[c]);
            QCOMPARE(header->sectionSize(c), widths[c]);
        }
        QCOMPARE(w->list()->selectionBehavior(), QAbstractItemView::SelectRows);
        QCOMPARE(w->list()->selectionMode(), QAbstractItemView::ExtendedSelection);
        const QPalette pal = w->list()->palette();
        QCOMPARE(pal.color(QPalette::Inactive, QPalette::Highlight),
                 pal.color(QPalette::Active, QPalette::Highlight));
    }

    void buttonsFollowAddressTextAndSelection() {
        ScratchWorld world;
        world.writeDatabase(FiveRecords());
        auto w = OpenWindow(world);
        QVERIFY(w);
        auto* address = qobject_cast<QLineEdit*>(w->control(ids::kAddressEdit));

        QTest::keyClicks(address, "w");
        QVERIFY(w->button(ids::kAdd)->isEnabled());
        QTest::keyClick(address, Qt::Key_Backspace);
        QVERIFY(!w->button(ids::kAdd)->isEnabled());

        ClickRow(*w, 2);
        for (int id : kSelectionButtons) {
            QVERIFY2(w->button(id)->isEnabled(), qPrintable(ids::ControlName(id)));
        }
        // A click into the empty space below the rows selects nothing.
        QWidget* viewport = w->list()->viewport();
        QTest::mouseClick(viewport, Qt::LeftButton, {}, QPoint(40, viewport->height() - 4));
        for (int id : kSelectionButtons) {
            QVERIFY2(!w->button(id)->isEnabled(), qPrintable(ids::ControlName(id)));
        }
    }

    void addTakesTheAddressFieldsText() {
        ScratchWorld world;
        auto w = OpenWindow(world);
        QVERIFY(w);
        auto* address = qobject_cast<QLineEdit*>(w->control(ids::kAddressEdit));

        TypeAndAdd(*w, "www.a.b");
        QCOMPARE(address->text(), QString());
        TypeAndAdd(*w, "https://a.b");
        TypeAndAdd(*w, "#www.c.d");
        TypeAndAdd(*w, "HTTP://A.B");
        TypeAndAdd(*w, "ab"); // too short: nothing happens, the text stays
        QCOMPARE(address->text(), QStringLiteral("ab"));
        QVERIFY(world.messages.shown.empty());

        TypeAndAdd(*w, "nodot");
        QCOMPARE(address->text(), QStringLiteral("nodot"));
        QCOMPARE(world.messages.shown.size(), std::size_t{1});
        QCOMPARE(world.messages.shown[0].caption, std::string("Invalid URL"));
        QCOMPARE(world.messages.shown[0].text,
                 std::string("Please enter a complete URL. An example is http://www.example.com"));

        TypeAndAdd(*w, "www.a.b"); // duplicates are allowed
        QCOMPARE(Column(*w, 1), QStringList({"http://www.a.b", "https://a.b", "http://www.c.d",
                                             "http://HTTP://A.B", "http://www.a.b"}));
        QCOMPARE(Column(*w, 0), QStringList({"1", "2", "3", "4", "5"}));
        QCOMPARE(Column(*w, 2), QStringList({"", "", "", "", ""}));
        QCOMPARE(Column(*w, 3), QStringList({"0", "0", "0", "0", "0"}));
    }

    void removeDeletesSelectedRowsAndRenumbers() {
        ScratchWorld world;
        world.writeDatabase(FiveRecords());
        auto w = OpenWindow(world);
        QVERIFY(w);
        QCOMPARE(qobject_cast<QLineEdit*>(w->control(ids::kEmailEdit))->text(),
                 QStringLiteral("me@example.org"));

        ClickRow(*w, 1);
        ClickRow(*w, 3, Qt::ControlModifier);
        QCOMPARE(w->selectedRows(), (std::vector<std::size_t>{1, 3}));
        QTest::mouseClick(w->button(ids::kRemove), Qt::LeftButton);

        QCOMPARE(Column(*w, 1),
                 QStringList({"http://one.example", "http://three.example", "http://five.example"}));
        QCOMPARE(Column(*w, 0), QStringList({"1", "2", "3"}));
        QCOMPARE(Column(*w, 3), QStringList({"0", "1", "7"}));
        QCOMPARE(w->selectedRows(), (std::vector<std::size_t>{0}));
        QVERIFY(w->button(ids::kRemove)->isEnabled());
        QVERIFY(world.messages.shown.empty());

        // Removing everything leaves nothing selected and the buttons off.
        w->list()->selectAll();
        QTest::mouseClick(w->button(ids::kRemove), Qt::LeftButton);
        QCOMPARE(w->listModel()->rowCount(), 0);
        QVERIFY(!w->button(ids::kRemove)->isEnabled());
    }

    void headerClicksSortWithOneSharedDirection() {
        ScratchWorld world;
        world.writeDatabase(DatabaseBytes(
            {{"http://b.example", "", "5"}, {"http://C.example", "", "3"}, {"http://a.example", "", "9"}},
            ""));
        auto w = OpenWindow(world);
        QVERIFY(w);
        ClickRow(*w, 1); // C.example

        ClickHeader(*w, 1);
        QCOMPARE(Column(*w, 1), QStringList({"http://a.example", "http://b.example", "http://C.example"}));
        QCOMPARE(Column(*w, 0), QStringList({"3", "1", "2"}));      // rows keep their labels
        QCOMPARE(w->selectedRows(), (std::vector<std::size_t>{2})); // the selection moves with its row

        ClickHeader(*w, 1);
        QCOMPARE(Column(*w, 1), QStringList({"http://C.example", "http://b.example", "http://a.example"}));
        QCOMPARE(w->selectedRows(), (std::vector<std::size_t>{0}));

        // "# Submits" reorders nothing but still turns the direction round, so "Web URL", "# Submits",
        // "Web URL" sorts ascending both times.
        ClickHeader(*w, 1);
        QCOMPARE(Column(*w, 1), QStringList({"http://a.example", "http://b.example", "http://C.example"}));
        ClickHeader(*w, 3);
        QCOMPARE(Column(*w, 1), QStringList({"http://a.example", "http://b.example", "http://C.example"}));
        ClickHeader(*w, 1);
        QCOMPARE(Column(*w, 1), QStringList({"http://a.example", "http://b.example", "http://C.example"}));
        QCOMPARE(Column(*w, 3), QStringList({"9", "5", "3"}));
        QVERIFY(world.messages.shown.empty());
    }

    void numberEditsAreDiscarded() {
        ScratchWorld world;
        world.writeDatabase(FiveRecords());
        auto w = OpenWindow(world);
        QVERIFY(w);
        const QModelIndex number = w->listModel()->index(0, 0);
        QVERIFY(w->listModel()->flags(number) & Qt::ItemIsEditable);
        QVERIFY(!(w->listModel()->flags(w->listModel()->index(0, 1)) & Qt::ItemIsEditable));
        w->list()->setCurrentIndex(number);
        w->list()->edit(number);
        auto* editor = w->list()->viewport()->findChild<QLineEdit*>();
        QVERIFY(editor != nullptr);
        editor->setText("42");
        QTest::keyClick(editor, Qt::Key_Return);
        QCOMPARE(Column(*w, 0), QStringList({"1", "2", "3", "4", "5"}));
    }

    void importAppendsAddressesFromTheChosenFile() {
        ScratchWorld world;
        auto w = OpenWindow(world);
        QVERIFY(w);
        const fs::path file = world.programFolder() / "list.txt";
        sendwell::test::WriteFileBytes(
            file, "www.a.b\r\nhttp://a.b,www.c.d,,http://e.f\nnothing here\nwwwsite,http://g.h");

        w->setImportFileChooser([](QWidget*) { return QString(); }); // cancelled
        QTest::mouseClick(w->button(ids::kImport), Qt::LeftButton);
        QCOMPARE(w->listModel()->rowCount(), 0);

        w->setImportFileChooser([&](QWidget*) { return QString::fromStdString(file.string()); });
        QTest::mouseClick(w->button(ids::kImport), Qt::LeftButton);
        QCOMPARE(Column(*w, 1), QStringList({"http://www.a.b", "http://a.b", "http://www.c.d", "http://e.f",
                                             "http://wwwsite", "http://g.h"}));
        QCOMPARE(Column(*w, 0), QStringList({"1", "2", "3", "4", "5", "6"}));
        QVERIFY(world.messages.shown.empty());
    }

    void importTakesASitemapAndExportWritesOne() {
        ScratchWorld world;
        auto w = OpenWindow(world);
        QVERIFY(w);
        TypeAndAdd(*w, "http://a.test/");
        const fs::path good = world.programFolder() / "sitemap.xml";
        const fs::path bad = world.programFolder() / "broken.xml";
        sendwell::test::WriteFileBytes(good, "<urlset><url><loc>http://a.test/</loc></url>"
                                             "<url><loc>http://b.test/</loc></url></urlset>");
        sendwell::test::WriteFileBytes(bad, "<urlset><url><loc>http://c.test/</loc>");
        for (const fs::path& file : {good, bad}) {
            w->setImportFileChooser([&](QWidget*) { return QString::fromStdString(file.string()); });
            QTest::mouseClick(w->button(ids::kImport), Qt::LeftButton);
        }
        QCOMPARE(Column(*w, 1), QStringList({"http://a.test/", "http://b.test/"}));
        QCOMPARE(world.messages.shown.size(), std::size_t{1});
        QVERIFY(world.messages.shown[0].text.find("broken.xml is not well-formed XML") != std::string::npos);

        const fs::path out = world.programFolder() / "out.xml";
        QVERIFY(sendwell::gui::RunSitemapExport(w.get(), w->database(), world.messages, [&](QWidget*) {
            return QString::fromStdString(out.string());
        }));
        QCOMPARE(sendwell::ReadSitemap(out.string()).addresses,
                 (std::vector<std::string>{"http://a.test/", "http://b.test/"}));
    }

    // A file of bare addresses loses every second one to the date slot: the user hears once where the
    // file as it was is kept, and that copy outlives the save.
    void alteredFileIsKeptAndTheUserToldOnce() {
        ScratchWorld world;
        const std::string bytes = "http://a.example\r\nhttp://b.example\r\nhttp://c.example\r\n";
        world.writeDatabase(bytes);
        auto w = OpenWindow(world);
        QVERIFY(w);
        QTRY_COMPARE(world.messages.shown.size(), std::size_t{1});
        const auto& message = world.messages.shown.front();
        QCOMPARE(message.caption, std::string("Sendwell! Pro"));
        const std::string copy = world.databaseFile().string() + ".bak-";
        const std::size_t at = message.text.find(copy);
        QVERIFY2(at != std::string::npos, message.text.c_str());
        const fs::path kept = message.text.substr(at, copy.size() + 15);
        QTest::mouseClick(w->button(ids::kQuit), Qt::LeftButton);
        QVERIFY(world.readDatabase() != bytes);
        QVERIFY(sendwell::test::ReadFileBytes(kept) == bytes);
        QCOMPARE(world.messages.shown.size(), std::size_t{1});
    }

    // Opening and closing must hand every stored text back unchanged, however long.
    void longAddressesAndEmailSurviveOpenAndClose() {
        ScratchWorld world;
        const std::string email = std::string(40000, 'm') + "@example.org";
        const std::string bytes =
            DatabaseBytes({{"http://" + std::string(60000, 'a') + ".example", "", "0"}}, email);
        world.writeDatabase(bytes);
        auto w = OpenWindow(world);
        QVERIFY(w);
        QTest::mouseClick(w->button(ids::kQuit), Qt::LeftButton);
        QVERIFY(world.readDatabase() == bytes);
    }

    // Quit, Escape and the close box all save the same bytes.
    void everyWayOfClosingSavesLikeQuit() {
        enum Way { kQuitButton, kEscape, kCloseBox };
        const std::string expected = DatabaseBytes({{"http://one.example", "", "0"},
                                                    {"http://two.example", "03/05/2010", "4"},
                                                    {"http://www.new.example", "", "0"}},
                                                   "me@example.org");
        for (Way way : {kQuitButton, kEscape, kCloseBox}) {
            ScratchWorld world;
            world.writeDatabase(
                DatabaseBytes({{"http://one.example", "", "0"}, {"http://two.example", "3/5/2010", "4"}},
                              "old@example.org"));
            auto w = OpenWindow(world);
            QVERIFY(w);
            TypeAndAdd(*w, "www.new.example");
            auto* email = qobject_cast<QLineEdit*>(w->control(ids::kEmailEdit));
            email->clear();
            QTest::keyClicks(email, "me@example.org");
            switch (way) {
            case kQuitButton:
                QTest::mouseClick(w->button(ids::kQuit), Qt::LeftButton);
                break;
            case kEscape:
                QTest::keyClick(w->control(ids::kAddressEdit), Qt::Key_Escape);
                break;
            case kCloseBox:
                QVERIFY(w->close());
                break;
            }
            QVERIFY(!w->isVisible());
            QCOMPARE(w->result(), int(QDialog::Rejected));
            QCOMPARE(world.readDatabase(), expected);
            QVERIFY(world.messages.shown.empty());
        }
    }

    void submitAllDoesNotCloseTheWindow() {
        ScratchWorld world;
        auto w = OpenWindow(world);
        QVERIFY(w);
        QTest::mouseClick(w->button(ids::kSubmitAll), Qt::LeftButton);
        QVERIFY(w->isVisible());
        QVERIFY(!fs::exists(world.databaseFile()));
    }

    void failedSaveIsReportedAndTheWindowStillCloses() {
        ScratchWorld world;
        // A file where the data folder should be: the data file can be neither read nor written.
        fs::create_directories(world.databaseFile().parent_path().parent_path());
        sendwell::test::WriteFileBytes(world.databaseFile().parent_path(), "in the way");
        auto w = OpenWindow(world);
        QVERIFY(w);
        QTest::mouseClick(w->button(ids::kQuit), Qt::LeftButton);
        QVERIFY(!w->isVisible());
        QCOMPARE(world.messages.shown.size(), std::size_t{1});
        QCOMPARE(world.messages.shown[0].caption, std::string("Sendwell! Pro"));
    }

    void anchoredControlsFollowTheWindowEdges() {
        ScratchWorld world;
        {
            auto w = OpenWindow(world);
            QVERIFY(w);
            const QSize start = w->size();
            QCOMPARE(start, w->creationSize());
            auto geometry = [&](int id) { return w->control(id)->geometry(); };
            const QRect address = geometry(ids::kAddressEdit), list = geometry(ids::kDatabaseList),
                        email = geometry(ids::kEmailEdit), add = geometry(ids::kAdd),
                        icon = geometry(ids::kIcon), submitAll = geometry(ids::kSubmitAll),
                        emailLabel = geometry(ids::kEmailLabel), help = geometry(ids::kHelp),
                        quit = geometry(ids::kQuit), header = geometry(ids::kHeaderLabel),
                        prompt = geometry(ids::kAddressPrompt);

            const int dx = 120, dy = 80;
            w->resize(start + QSize(dx, dy));
            QTRY_COMPARE(w->size(), start + QSize(dx, dy));
            QCOMPARE(geometry(ids::kAddressEdit), address.adjusted(0, 0, dx, 0));
            QCOMPARE(geometry(ids::kDatabaseList), list.adjusted(0, 0, dx, dy));
            QCOMPARE(geometry(ids::kEmailEdit), email.adjusted(0, 0, dx, 0).translated(0, dy));
            QCOMPARE(geometry(ids::kAdd), add.translated(dx, 0));
            QCOMPARE(geometry(ids::kIcon), icon.translated(dx, 0));
            QCOMPARE(geometry(ids::kSubmitAll), submitAll.translated(0, dy));
            QCOMPARE(geometry(ids::kEmailLabel), emailLabel.translated(0, dy));
            QCOMPARE(geometry(ids::kHelp), help.translated(dx, dy));
            QCOMPARE(geometry(ids::kQuit), quit.translated(dx, dy));
            QCOMPARE(geometry(ids::kHeaderLabel), header);
            QCOMPARE(geometry(ids::kAddressPrompt), prompt);
            auto* grip = w->findChild<QSizeGrip*>();
            QCOMPARE(grip->geometry().bottomRight(), w->rect().bottomRight());

            // Shrinking stops at the creation size less 100 x 43 pixels; the anchors still add up.
            w->resize(10, 10);
            const QSize smallest = start - QSize(100, 43);
            QTRY_COMPARE(w->size(), smallest);
            QCOMPARE(geometry(ids::kQuit), quit.translated(-100, -43));
            QCOMPARE(geometry(ids::kDatabaseList), list.adjusted(0, 0, -100, -43));
            QVERIFY(w->resizedByUser());
            QTest::mouseClick(w->button(ids::kQuit), Qt::LeftButton);
            QVERIFY(!sendwell::ReadWindowSetting(sendwell::kWindowSizeSection, "CX")); // only when destroyed
        }
        const auto cx = sendwell::ReadWindowSetting(sendwell::kWindowSizeSection, "CX");
        const auto cy = sendwell::ReadWindowSetting(sendwell::kWindowSizeSection, "CY");
        QVERIFY(cx && cy);
        QVERIFY(*cx > 0 && *cy > 0);
    }

    void startUpClearsOldAnswerPagesOnly() {
        ScratchWorld world;
        const fs::path store = world.programFolder() / "submitok";
        fs::create_directories(store);
        fs::create_directories(store / "kept.HTML");
        for (const char* name : {"a.example____1____Google.HTML", "b.HTML", "notes.txt", "HTML"}) {
            sendwell::test::WriteFileBytes(store / name, "x");
        }
        auto w = OpenWindow(world);
        QVERIFY(w);
        QVERIFY(!fs::exists(store / "a.example____1____Google.HTML"));
        QVERIFY(!fs::exists(store / "b.HTML"));
        QVERIFY(fs::exists(store / "notes.txt"));
        QVERIFY(fs::exists(store / "HTML"));
        QVERIFY(fs::is_directory(store / "kept.HTML"));
        QCOMPARE(fs::current_path(), world.programFolder());
    }

    void backgroundPictureSitsAtHalfWidthAndThirtyEightPercentHeight() {
        ScratchWorld world;
        QImage picture(40, 20, QImage::Format_RGB32);
        picture.fill(Qt::red);
        QVERIFY(
            picture.save(QString::fromStdString((world.programFolder() / "bkimage.bmp").string()), "BMP"));
        auto w = OpenWindow(world);
        QVERIFY(w);
        auto* list = w->list();
        QCOMPARE(list->backgroundPicture().size(), QSize(40, 20));
        const QSize area = list->viewport()->size();
        const QPoint at = list->backgroundPicturePosition();
        QCOMPARE(at.x(), qRound((area.width() - 40) * 0.5));
        QCOMPARE(at.y(), qRound((area.height() - 20) * 0.38));
        // Drawn once: the corners of the list stay plain.
        const QImage shot = list->viewport()->grab().toImage();
        QCOMPARE(QColor(shot.pixel(at + QPoint(20, 10))), QColor(Qt::red));
        QVERIFY(QColor(shot.pixel(2, 2)) != QColor(Qt::red));
        QVERIFY(QColor(shot.pixel(area.width() - 3, area.height() - 3)) != QColor(Qt::red));
    }
};

SENDWELL_GUI_TEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
