// The shared widgets as they show on screen: the push button's pixels in each state, its mnemonic,
// the hyperlink's clicks, keys, failures and fitting, the bold heading, and the Help window.
#include "core/base/open_address.h"
#include "core/base/settings.h"
#include "gui/base/dialog_layout.h"
#include "gui/widgets/help_window.h"
#include "gui/widgets/hyperlink.h"
#include "gui/widgets/push_button.h"
#include "gui/widgets/styled_label.h"
#include "tests/gui/support/gui_test_env.h"
#include "tests/gui/support/recording_opener.h"
#include "tests/gui/support/window_test_support.h"
#include "tests/support/temp_dir.h"

#include <QAccessible>
#include <QApplication>
#include <QLineEdit>
#include <QSignalSpy>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <QtTest>
#include <memory>

using sendwell::gui::Hyperlink;
using sendwell::gui::PushButton;
using sendwell::gui::StyledLabel;

namespace {

// A window with a button and a line edit that can take the focus away from it.
struct ButtonHost {
    QWidget window;
    QLineEdit* other = new QLineEdit(&window);
    PushButton* button;

    explicit ButtonHost(const QString& text) : button(new PushButton(text, &window)) {
        window.resize(200, 60);
        other->setGeometry(100, 10, 80, 20);
        button->setGeometry(10, 10, 80, 30);
        window.show();
        window.activateWindow();
        other->setFocus();
    }
    bool active() { return QTest::qWaitForWindowActive(&window); }
    bool exposed() { return QTest::qWaitForWindowExposed(&window); }
    QImage image() const { return button->grab().toImage(); }
};

QColor Pixel(const QImage& image, int x, int y) {
    return image.pixelColor(x, y);
}

// Bounding box of the dark pixels inside the outline: the text.
QRect DarkPixels(const QImage& image) {
    QRect box;
    for (int y = 2; y < image.height() - 2; ++y) {
        for (int x = 2; x < image.width() - 2; ++x) {
            if (qGray(image.pixel(x, y)) < 100) {
                box |= QRect(x, y, 1, 1);
            }
        }
    }
    return box;
}

const QColor kHoverLeft(250, 196, 88);
const QColor kHoverBottom(229, 151, 0);
const QColor kFocusLeft(153, 198, 252);

} // namespace

class WidgetsTest : public QObject {
    Q_OBJECT

private slots:
    void buttonStatesShowInItsPixels() {
        ButtonHost host(QStringLiteral("&Save"));
        QVERIFY(host.active());
        const int h = 30;
        // Plain: no inner border, the last gradient row at the darkest plain shade.
        QImage plain = host.image();
        QCOMPARE(Pixel(plain, 2, h / 2), Pixel(plain, 8, h / 2));
        QCOMPARE(Pixel(plain, 8, h - 3), QColor(234, 234, 243));
        QVERIFY(Pixel(plain, 8, 3).lightness() > Pixel(plain, 8, h - 3).lightness());
        QCOMPARE(Pixel(plain, 40, 0), QColor(Qt::black)); // the outline

        QTest::mouseMove(host.button, QPoint(40, 15));
        QVERIFY(host.button->hovered());
        QImage hover = host.image();
        QCOMPARE(Pixel(hover, 2, h / 2), kHoverLeft);
        QCOMPARE(Pixel(hover, 8, h - 3), kHoverBottom);
        QCOMPARE(Pixel(hover, 8, h - 4), QColor(240, 240, 243));

        host.button->setFocus();
        QCOMPARE(Pixel(host.image(), 2, h / 2), kHoverLeft); // the mouse still over it
        QTest::mouseMove(host.other);
        QVERIFY(!host.button->hovered());
        QImage focus = host.image();
        QCOMPARE(Pixel(focus, 2, h / 2), kFocusLeft);
        QCOMPARE(Pixel(focus, 8, h - 4), QColor(234, 234, 240));

        host.other->setFocus();
        host.button->setEnabled(false);
        QImage disabled = host.image();
        QVERIFY(DarkPixels(disabled).isNull()); // no black text
        bool grey = false;
        bool white = false;
        for (int x = 20; x < 60; ++x) {
            for (int y = 8; y < 22; ++y) {
                grey = grey || Pixel(disabled, x, y) == QColor(128, 128, 128);
                white = white || Pixel(disabled, x, y) == QColor(255, 255, 255);
            }
        }
        QVERIFY(grey && white);
        QCOMPARE(Pixel(disabled, 8, h - 3), QColor(234, 234, 243));
    }

    void pressingShiftsTheTextAndAmpersandsAreNotDrawn() {
        ButtonHost marked(QStringLiteral("&Save"));
        ButtonHost plain(QStringLiteral("Save"));
        QVERIFY(marked.exposed() && plain.exposed());
        QCOMPARE(marked.image(), plain.image());

        const QRect up = DarkPixels(marked.image());
        marked.button->setDown(true);
        const QRect down = DarkPixels(marked.image());
        QVERIFY(!up.isNull());
        QCOMPARE(down, up.translated(1, 1));
    }

    void mnemonicStillPressesTheButtonAndItsNameIsItsText() {
        ButtonHost host(QStringLiteral("&Save"));
        QVERIFY(host.active());
        QSignalSpy clicked(host.button, &QPushButton::clicked);
        QTest::keyClick(&host.window, Qt::Key_S, Qt::AltModifier);
        QVERIFY(host.button->isDown() || !clicked.isEmpty()); // a shortcut presses, then clicks shortly after
        QVERIFY(!clicked.isEmpty() || clicked.wait());
        QCOMPARE(clicked.count(), 1);
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(host.button);
        QVERIFY(accessible != nullptr);
        QCOMPARE(accessible->text(QAccessible::Name), QStringLiteral("Save"));
    }

    void buttonIsCrispAtDoubleDensity() {
        ButtonHost host(QStringLiteral("OK"));
        QVERIFY(host.active());
        QTest::mouseMove(host.button, QPoint(40, 15));
        QVERIFY(host.button->hovered());
        QImage dense(host.button->size() * 2, QImage::Format_ARGB32_Premultiplied);
        dense.setDevicePixelRatio(2);
        dense.fill(Qt::transparent);
        host.button->render(&dense);
        // Middle of the left edge: two device pixels of outline, then the orange border, each edge sharp.
        const int y = 30;
        QCOMPARE(Pixel(dense, 0, y), QColor(Qt::black));
        QCOMPARE(Pixel(dense, 1, y), QColor(Qt::black));
        for (int x = 2; x < 8; ++x) {
            QCOMPARE(Pixel(dense, x, y), kHoverLeft);
        }
        QVERIFY(Pixel(dense, 8, y) != kHoverLeft);
    }

    void linkOpensOnReleaseAfterAPressInsideAndThenShowsVisited() {
        sendwell::test::RecordingOpener opener;
        QWidget window;
        auto* other = new QLineEdit(&window);
        other->setGeometry(0, 60, 80, 20);
        auto* link = new Hyperlink(QStringLiteral("http://127.0.0.1:9/page"), &window);
        link->setOpener(&opener);
        link->attach(QRect(10, 10, 300, 20));
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        other->setFocus();

        QCOMPARE(link->toolTip(), QStringLiteral("http://127.0.0.1:9/page"));
        QCOMPARE(link->cursor().shape(), Qt::PointingHandCursor);
        QCOMPARE(link->textColour(), QColor(0, 0, 255));

        QTest::mousePress(link, Qt::LeftButton, {}, QPoint(5, 5));
        QVERIFY(opener.opened.isEmpty());
        QTest::mouseRelease(link, Qt::LeftButton, {}, QPoint(5, 300)); // let go outside
        QVERIFY(opener.opened.isEmpty());
        QTest::mouseClick(link, Qt::LeftButton, {}, QPoint(5, 5));
        QCOMPARE(opener.opened, QStringList{QStringLiteral("http://127.0.0.1:9/page")});
        QVERIFY(link->hasFocus());
        QCOMPARE(link->textColour(), QColor(0, 128, 128));
        QTest::keyClick(link, Qt::Key_Space);
        QCOMPARE(opener.opened.size(), 2);
        other->setFocus();
        QCOMPARE(link->textColour(), QColor(128, 0, 128));
    }

    void failedOpenIsToldAndLeavesTheLinkUnvisited() {
        sendwell::test::RecordingOpener opener;
        opener.answer = {false, sendwell::kOpenNoAssociation};
        sendwell::test::RecordingMessages messages;
        Hyperlink link(QStringLiteral("support@127.0.0.1"));
        link.setOpener(&opener);
        link.setPrompt(&messages);
        link.attach(QRect(0, 0, 200, 20));
        link.followLink();
        QCOMPARE(opener.opened, QStringList{QStringLiteral("support@127.0.0.1")});
        QCOMPARE(messages.shown.size(), std::size_t(1));
        QCOMPARE(messages.shown[0].text, sendwell::OpenFailureText(sendwell::kOpenNoAssociation));
        QCOMPARE(messages.shown[0].caption, std::string("Sendwell! Pro"));
        QCOMPARE(messages.shown[0].icon, sendwell::MessageIcon::Warning);
        QVERIFY(!link.state().visited());
    }

    void attachFillsTextOrAddressAndFitsTheText() {
        QWidget window;
        window.setFont(sendwell::gui::DialogFont());
        auto* fromAddress = new Hyperlink(QString(), &window);
        fromAddress->setAddress(QStringLiteral("http://127.0.0.1/a"));
        fromAddress->attach(QRect(10, 10, 300, 40));
        QCOMPARE(fromAddress->text(), QStringLiteral("http://127.0.0.1/a"));
        QVERIFY(fromAddress->font().underline());
        const QSize text = fromAddress->fontMetrics().size(0, fromAddress->text());
        QCOMPARE(fromAddress->geometry(), QRect(QPoint(10, 10), text));

        auto* right = new Hyperlink(QStringLiteral("127.0.0.1"), &window);
        right->setAlignment(Qt::AlignRight | Qt::AlignTop);
        right->setFlags(sendwell::kLinkAutoSize); // no underline
        right->attach(QRect(10, 60, 300, 40));
        QCOMPARE(right->address(), QStringLiteral("127.0.0.1"));
        QVERIFY(!right->font().underline());
        QCOMPARE(right->geometry().right(), 309);
    }

    void boldHeadingTurnsBackToTheNormalWeightOnButtonFace() {
        QWidget window;
        QFont heavy = window.font();
        heavy.setWeight(QFont::Black);
        window.setFont(heavy);
        QPalette dark = window.palette();
        dark.setColor(QPalette::Window, QColor(10, 40, 10));
        window.setPalette(dark);
        auto* label = new StyledLabel(QStringLiteral("Yahoo!"), &window);
        label->setGeometry(0, 0, 100, 20);
        window.resize(120, 40);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        QCOMPARE(label->font().weight(), QFont::Normal);
        label->setBold(true);
        QCOMPARE(label->font().weight(), QFont::Bold);
        label->setBold(false);
        QCOMPARE(label->font().weight(), QFont::Normal);
        QCOMPARE(label->font().family(), sendwell::gui::DialogFont().family());
        QCOMPARE(label->grab().toImage().pixelColor(99, 19), QPalette().color(QPalette::Button));
    }

    void helpWindowShowsItsStartPageAndTheVendorsLinks() {
        sendwell::test::TempDir dir;
        sendwell::test::ScopedXdgHome home(dir.path());
        QVERIFY(sendwell::WriteSetting(sendwell::kSettingsSection, "Host.Vendor", "127.0.0.1:9"));
        QVERIFY(sendwell::WriteSetting(sendwell::kSettingsSection, "Host.VendorMail", "mail.test"));
        sendwell::test::RecordingOpener opener;
        sendwell::gui::HelpWindow help(nullptr, &opener);

        QCOMPARE(help.windowTitle(), QStringLiteral("Sendwell! Pro Help"));
        bool version = false;
        for (QLabel* label : help.findChildren<QLabel*>()) {
            version = version || label->text() == QStringLiteral("Sendwell! Pro v3.81");
        }
        QVERIFY(version);
        QCOMPARE(help.emailLink()->text(), QStringLiteral("support@mail.test"));
        QCOMPARE(help.emailLink()->address(), QStringLiteral("support@mail.test"));
        QCOMPARE(help.webLink()->address(), QStringLiteral("http://127.0.0.1:9"));
        QVERIFY(sendwell::gui::HelpWindow::StartPage().contains(
            QStringLiteral("<a href=\"http://127.0.0.1:9/help/sendwell_help.html\">Open Online Help</a>")));

        QSignalSpy loaded(help.browser(), &QWebEngineView::loadFinished);
        help.show();
        QVERIFY(loaded.wait(20000) || !loaded.isEmpty());
        QVERIFY(loaded.first().first().toBool());
        QCOMPARE(help.browser()->title(), QStringLiteral("Sendwell! Help"));

        help.webLink()->followLink();
        QCOMPARE(opener.opened, QStringList{QStringLiteral("http://127.0.0.1:9")});
        QTest::mouseClick(help.okButton(), Qt::LeftButton);
        QCOMPARE(help.result(), int(QDialog::Accepted));
    }
};

SENDWELL_GUI_TEST_MAIN(WidgetsTest)
#include "widgets_test.moc"
