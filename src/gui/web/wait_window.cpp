#include "gui/web/wait_window.h"

#include "gui/base/background_work.h"
#include "gui/base/dialog_layout.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QLabel>
#include <QPixmap>
#include <QPointer>

namespace sendwell::gui {

namespace {

constexpr int kWidthDu = 150;
constexpr int kHeightDu = 36;
constexpr int kLineDu = 10;

} // namespace

WaitWindow::WaitWindow(QWidget* owner, const QString& text, const QString& caption) : QDialog(owner) {
    setObjectName(QStringLiteral("waitWindow"));
    // A title bar without a close box: there is nothing for the user to do here but wait.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setWindowTitle(caption);
    setFont(DialogFont());
    setModal(false);
    DialogUnits du(font());
    setFixedSize(du.size(kWidthDu, kHeightDu));

    image_ = new QLabel(this);
    image_->setObjectName(QStringLiteral("waitImage"));
    image_->setPixmap(QPixmap(QStringLiteral(":/images/wait.png")));
    image_->setAlignment(Qt::AlignCenter);
    image_->setGeometry(du.rect(7, 7, 22, 22));

    text_ = new QLabel(this);
    text_->setObjectName(QStringLiteral("waitText"));
    text_->setTextFormat(Qt::PlainText);
    setText(text);
}

QString WaitWindow::text() const {
    return text_->text();
}

void WaitWindow::setText(const QString& text) {
    // One line sits beside the image; each further line (an address below the text) adds a line's height.
    const int extraLines = static_cast<int>(text.count(u'\n'));
    DialogUnits du(font());
    setFixedSize(du.size(kWidthDu, kHeightDu + kLineDu * extraLines));
    text_->setGeometry(du.rect(36, extraLines > 0 ? 9 : 13, kWidthDu - 43, kLineDu * (extraLines + 1)));
    text_->setText(text);
}

void WaitWindow::showAndPaint() {
    show();
    // Only the window system's show and paint events; a click now must not start another command.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    if (isVisible()) {
        repaint();
    }
}

void WaitWindow::reject() {}

void WaitWindow::closeEvent(QCloseEvent* event) {
    event->ignore();
}

void RunBehindWaitWindow(QWidget* owner, const std::function<void()>& work, const QString& text,
                         const QString& caption) {
    // Owned by owner, so it goes if owner does; the pointer then turns null.
    QPointer<WaitWindow> window = new WaitWindow(owner, text, caption);
    window->setWindowModality(Qt::ApplicationModal);
    window->showAndPaint();
    try {
        RunOffUiThread(work);
    } catch (...) {
        delete window.data();
        throw;
    }
    delete window.data();
}

} // namespace sendwell::gui
