// The push button every window uses: a rounded outline over a soft 64-shade gradient, an orange inner
// border while the mouse is over it and a blue one while it has the focus, its text centred without
// the mnemonic marks (Alt and the marked letter still press it).
#pragma once

#include <QColor>
#include <QPushButton>

namespace sendwell::gui {

class PushButton : public QPushButton {
    Q_OBJECT
public:
    explicit PushButton(QWidget* parent = nullptr);
    PushButton(const QString& text, QWidget* parent = nullptr);

    bool hovered() const { return hover_; }
    // The text as drawn: every "&" removed.
    QString shownText() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void DrawInnerBorder(QPainter& painter, const QRect& inner) const;
    void DrawText(QPainter& painter, const QRect& inner) const;

    bool hover_ = false;
};

} // namespace sendwell::gui
