// The small "Please Wait" window that stands in front of a command while it contacts the web: an image
// and a line of text (a second line, such as the address being checked, goes below it), no buttons. The
// status check, the meta-tag analysis and the keyword suggestion show it.
#pragma once

#include <QDialog>
#include <QString>
#include <functional>

class QLabel;

namespace sendwell::gui {

inline constexpr const char* kPleaseWaitCaption = "Please Wait";
inline constexpr const char* kDefaultWaitText = "Contacting URL";

class WaitWindow : public QDialog {
    Q_OBJECT
public:
    explicit WaitWindow(QWidget* owner, const QString& text = QString::fromUtf8(kDefaultWaitText),
                        const QString& caption = QString::fromUtf8(kPleaseWaitCaption));

    QString text() const;
    void setText(const QString& text);

    // Shows the window and lets it paint before returning, so that it is on screen even when the
    // caller blocks the UI thread next.
    void showAndPaint();

public slots:
    // Escape does nothing: the command that opened the window ends the wait, not the user.
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QLabel* image_ = nullptr;
    QLabel* text_ = nullptr;
};

// Runs work on a thread of its own behind a wait window owned by owner, and returns when work has
// ended and the window is gone. Meanwhile the UI thread keeps handling events (painting, timers), and
// the window is application-modal, so the user can start nothing else. work must not touch widgets.
// An exception thrown by work is rethrown here, after the window is gone.
void RunBehindWaitWindow(QWidget* owner, const std::function<void()>& work,
                         const QString& text = QString::fromUtf8(kDefaultWaitText),
                         const QString& caption = QString::fromUtf8(kPleaseWaitCaption));

} // namespace sendwell::gui
