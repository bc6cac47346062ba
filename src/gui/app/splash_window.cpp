#include "gui/app/splash_window.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

namespace sendwell::gui {

// An owned window stays above its owner; window managers only promise that for stay-on-top windows.
SplashWindow::SplashWindow(QWidget* owner, const QSize& size)
    : QFrame(owner, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    setObjectName(QStringLiteral("splash"));
    setFrameStyle(QFrame::Box | QFrame::Plain);
    setLineWidth(1);
    auto* picture = new QLabel(this);
    picture->setPixmap(QPixmap(QStringLiteral(":/images/splash.png")));
    picture->setScaledContents(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(1, 1, 1, 1);
    layout->addWidget(picture);
    setFixedSize(size);
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->availableGeometry().center() - rect().center());
    }
}

void SplashWindow::showBriefly() {
    show();
    QTimer::singleShot(kShowMilliseconds, this, &QWidget::hide);
}

} // namespace sendwell::gui
