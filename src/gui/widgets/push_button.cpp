#include "gui/widgets/push_button.h"

#include "core/base/button_gradient.h"

#include <QEnterEvent>
#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QPen>
#include <cmath>

namespace sendwell::gui {

namespace {

// Width of the ring between the outline and the gradient.
constexpr int kEdge = 2;
// Corner ellipses of the outline are 10 x 10.
constexpr qreal kCornerRadius = 5.0;

struct BorderPens {
    QPen left, top, right, bottom;
};

QPen BorderPen(int width, QColor colour) {
    QPen pen(colour, width);
    pen.setCapStyle(Qt::FlatCap);
    return pen;
}

const BorderPens& HoverPens() {
    static const BorderPens pens{BorderPen(3, QColor(250, 196, 88)), BorderPen(2, QColor(252, 210, 121)),
                                 BorderPen(3, QColor(251, 202, 106)), BorderPen(2, QColor(229, 151, 0))};
    return pens;
}

const BorderPens& FocusPens() {
    static const BorderPens pens{BorderPen(3, QColor(153, 198, 252)), BorderPen(2, QColor(162, 201, 255)),
                                 BorderPen(3, QColor(162, 189, 252)), BorderPen(2, QColor(162, 201, 255))};
    return pens;
}

QFont TextFont() {
    QFont font;
    font.setFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"),
                      QStringLiteral("DejaVu Sans")});
    font.setStyleHint(QFont::SansSerif);
    // A character cell 14 pixels high.
    font.setPixelSize(12);
    return font;
}

QColor ToColor(const sendwell::Rgb& c) {
    return QColor(c.red, c.green, c.blue);
}

} // namespace

PushButton::PushButton(QWidget* parent) : QPushButton(parent) {}

PushButton::PushButton(const QString& text, QWidget* parent) : QPushButton(text, parent) {}

QString PushButton::shownText() const {
    QString shown = text();
    shown.remove(QLatin1Char('&'));
    return shown;
}

void PushButton::enterEvent(QEnterEvent* event) {
    hover_ = true;
    update();
    QPushButton::enterEvent(event);
}

void PushButton::leaveEvent(QEvent* event) {
    hover_ = false;
    update();
    QPushButton::leaveEvent(event);
}

void PushButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const bool focused = hasFocus();
    const bool emphasised = focused || isDown() || isDefault();

    // The corners outside the outline stay the parent's; inside it the ring is white.
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(QPen(Qt::black, 1));
    painter.setBrush(Qt::white);
    painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), kCornerRadius, kCornerRadius);
    painter.setRenderHint(QPainter::Antialiasing, false);

    const QRect inner = rect().adjusted(kEdge, kEdge, -kEdge, -kEdge);
    if (inner.isEmpty()) {
        return;
    }

    // One shade per device row, so the gradient stays smooth on a high-density screen.
    const qreal ratio = painter.deviceTransform().m22() > 0 ? painter.deviceTransform().m22() : 1.0;
    const int left = static_cast<int>(std::lround(inner.left() * ratio));
    const int right = static_cast<int>(std::lround((inner.right() + 1) * ratio));
    const int top = static_cast<int>(std::lround(inner.top() * ratio));
    const int bottom = static_cast<int>(std::lround((inner.bottom() + 1) * ratio));
    painter.save();
    painter.scale(1.0 / ratio, 1.0 / ratio);
    for (int y = top; y < bottom; ++y) {
        const int shade = sendwell::ButtonGradientIndex(y, bottom - top);
        painter.fillRect(QRect(left, y, right - left, 1),
                         ToColor(sendwell::ButtonGradientColour(shade, hover_, emphasised)));
    }
    painter.restore();

    if (focused || hover_) {
        DrawInnerBorder(painter, inner);
    }
    DrawText(painter, inner);
}

void PushButton::DrawInnerBorder(QPainter& painter, const QRect& inner) const {
    const BorderPens& pens = (hasFocus() && !hover_) ? FocusPens() : HoverPens();
    // Right and bottom as exclusive edges; odd-width lines sit on pixel centres.
    const qreal l = inner.left();
    const qreal t = inner.top();
    const qreal r = inner.right() + 1;
    const qreal b = inner.bottom() + 1;
    painter.setPen(pens.left);
    painter.drawLine(QLineF(l + 0.5, b - 3, l + 0.5, t + 2));
    painter.setPen(pens.right);
    painter.drawLine(QLineF(r - 0.5, b - 3, r - 0.5, t + 2));
    painter.setPen(pens.top);
    painter.drawLine(QLineF(l + 2, t, r - 2, t));
    painter.setPen(pens.bottom);
    painter.drawLine(QLineF(l + 2, b, r - 2, b));
}

void PushButton::DrawText(QPainter& painter, const QRect& inner) const {
    const QString shown = shownText();
    const QFont font = TextFont();
    const QFontMetrics metrics(font);
    const int width = metrics.horizontalAdvance(shown);
    const int height = metrics.height();
    const int centreX = (inner.left() + inner.right() + 1) / 2;
    const int centreY = (inner.top() + inner.bottom() + 1) / 2;
    QRect box(centreX - width / 2, centreY - height / 2, width, height);
    if (isDown()) {
        box.translate(1, 1);
    }
    painter.setFont(font);
    const int flags = Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine | Qt::TextDontClip;
    if (!isEnabled()) {
        // Embossed: a white copy one pixel down and right under the grey text.
        painter.setPen(QColor(255, 255, 255));
        painter.drawText(box.translated(1, 1), flags, shown);
        painter.setPen(QColor(128, 128, 128));
    } else {
        painter.setPen(Qt::black);
    }
    painter.drawText(box, flags, shown);
}

} // namespace sendwell::gui
