// The start-up picture: a captionless window with a thin frame, centred on the screen, hidden again
// shortly after the main window opens (never destroyed before its owner).
#pragma once

#include <QFrame>

namespace sendwell::gui {

class SplashWindow : public QFrame {
    Q_OBJECT
public:
    static constexpr int kShowMilliseconds = 1000;

    // size: the window size in pixels (240 x 135 dialog units of the owner's font).
    SplashWindow(QWidget* owner, const QSize& size);

    // Shows the window and hides it again after kShowMilliseconds, without waiting.
    void showBriefly();
};

} // namespace sendwell::gui
