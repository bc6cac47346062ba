#include "gui/base/dialog_layout.h"

#include <QFontMetrics>
#include <QString>

namespace sendwell::gui {

namespace {

// Integer scaling that rounds halves away from zero, so layouts match at every font size.
int ScaleRounded(int value, int numerator, int denominator) {
    const long long product = static_cast<long long>(value) * numerator;
    const long long half = denominator / 2;
    return static_cast<int>(product >= 0 ? (product + half) / denominator : (product - half) / denominator);
}

} // namespace

DialogUnits::DialogUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    const int width =
        metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    baseX_ = (width / 26 + 1) / 2;
    baseY_ = metrics.height();
    if (baseX_ < 1) {
        baseX_ = 1;
    }
    if (baseY_ < 1) {
        baseY_ = 1;
    }
}

int DialogUnits::x(int du) const {
    return ScaleRounded(du, baseX_, 4);
}

int DialogUnits::y(int du) const {
    return ScaleRounded(du, baseY_, 8);
}

QRect DialogUnits::rect(int left, int top, int width, int height) const {
    return QRect(x(left), y(top), x(width), y(height));
}

QSize DialogUnits::size(int width, int height) const {
    return QSize(x(width), y(height));
}

QFont DialogFont() {
    QFont font;
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"),
                      QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"),
                      QStringLiteral("DejaVu Sans")});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(8);
    return font;
}

void AnchorLayout::add(QWidget* widget, int flags) {
    if (widget != nullptr && flags != 0) {
        anchors_.push_back({widget, flags});
    }
}

bool AnchorLayout::clientResized(const QSize& size) {
    if (!last_) {
        last_ = size;
        return false;
    }
    const int dx = size.width() - last_->width();
    const int dy = size.height() - last_->height();
    last_ = size;
    if (dx == 0 && dy == 0) {
        return false;
    }
    for (const Anchor& anchor : anchors_) {
        if (anchor.widget.isNull()) {
            continue;
        }
        QRect r = anchor.widget->geometry();
        // Stretching wins over moving on the same axis.
        if (anchor.flags & kStretchX) {
            r.setRight(r.right() + dx);
        } else if (anchor.flags & kMoveX) {
            r.translate(dx, 0);
        }
        if (anchor.flags & kStretchY) {
            r.setBottom(r.bottom() + dy);
        } else if (anchor.flags & kMoveY) {
            r.translate(0, dy);
        }
        anchor.widget->setGeometry(r);
        anchor.widget->update();
    }
    return true;
}

} // namespace sendwell::gui
