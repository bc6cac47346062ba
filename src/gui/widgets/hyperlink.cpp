#include "gui/widgets/hyperlink.h"

#include "core/base/open_address.h"
#include "gui/base/address_opener.h"
#include "gui/base/dialog_prompt.h"

#include <QApplication>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPalette>

namespace sendwell::gui {

Hyperlink::Hyperlink(const QString& text, QWidget* parent)
    : QLabel(text, parent), opener_(&DesktopOpener()), ownMessages_(std::make_unique<DialogPrompt>(this)) {
    setTextFormat(Qt::PlainText);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setFocusPolicy(Qt::NoFocus);
    ShowState();
}

Hyperlink::~Hyperlink() = default;

void Hyperlink::setOpener(AddressOpener* opener) {
    opener_ = opener != nullptr ? opener : &DesktopOpener();
}

void Hyperlink::attach(const QRect& geometry) {
    if (address_.isEmpty()) {
        address_ = text();
    }
    if (text().isEmpty()) {
        setText(address_);
    }
    QFont linkFont = font();
    linkFont.setUnderline(state_.has(sendwell::kLinkUnderline));
    setFont(linkFont);
    setGeometry(geometry);
    if (state_.has(sendwell::kLinkAutoSize)) {
        FitToText();
    }
    if (!state_.has(sendwell::kLinkNoHandCursor)) {
        setCursor(Qt::PointingHandCursor);
    } else {
        unsetCursor();
    }
    setFocusPolicy(state_.has(sendwell::kLinkFocusOnClick) ? Qt::ClickFocus : Qt::NoFocus);
    setToolTip(address_);
}

void Hyperlink::FitToText() {
    const QSize textSize = fontMetrics().size(0, text());
    const Qt::Alignment align = alignment();
    sendwell::TextAlign horizontal = sendwell::TextAlign::Left;
    if (align & Qt::AlignHCenter) {
        horizontal = sendwell::TextAlign::Centre;
    } else if (align & Qt::AlignRight) {
        horizontal = sendwell::TextAlign::Right;
    }
    const QRect old = geometry();
    const QRect client = contentsRect();
    const sendwell::IntRect fitted = sendwell::FitLinkToText(
        {old.x(), old.y(), old.width(), old.height()}, textSize.width(), textSize.height(), horizontal,
        (align & Qt::AlignVCenter) != 0, old.width() - client.width(), old.height() - client.height());
    setGeometry(fitted.x, fitted.y, fitted.width, fitted.height);
}

QColor Hyperlink::textColour() const {
    const sendwell::Rgb c = sendwell::LinkColourValue(state_.colour());
    return QColor(c.red, c.green, c.blue);
}

void Hyperlink::ShowState() {
    QPalette colours = palette();
    colours.setColor(QPalette::WindowText, textColour());
    setPalette(colours);
}

void Hyperlink::followLink() {
    const OpenResult result = opener_->open(address_);
    if (!result.opened) {
        QApplication::beep();
        sendwell::Prompt& messages = messages_ != nullptr ? *messages_ : *ownMessages_;
        messages.ShowMessage(sendwell::OpenFailureText(result.failureCode), sendwell::kAppCaption,
                             sendwell::MessageIcon::Warning);
        return;
    }
    state_.opened(true);
    ShowState();
}

void Hyperlink::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QLabel::mousePressEvent(event);
        return;
    }
    const bool follow = state_.pressed();
    ShowState();
    if (follow) {
        followLink();
    }
}

void Hyperlink::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QLabel::mouseReleaseEvent(event);
        return;
    }
    if (state_.released(rect().contains(event->position().toPoint()))) {
        followLink();
    }
}

void Hyperlink::enterEvent(QEnterEvent* event) {
    state_.pointerEntered();
    ShowState();
    QLabel::enterEvent(event);
}

void Hyperlink::leaveEvent(QEvent* event) {
    state_.pointerLeft();
    ShowState();
    QLabel::leaveEvent(event);
}

void Hyperlink::focusInEvent(QFocusEvent* event) {
    state_.focusGained();
    ShowState();
    QLabel::focusInEvent(event);
}

void Hyperlink::focusOutEvent(QFocusEvent* event) {
    state_.focusLost();
    ShowState();
    QLabel::focusOutEvent(event);
}

void Hyperlink::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Space && !event->isAutoRepeat()) {
        followLink();
        return;
    }
    QLabel::keyPressEvent(event);
}

} // namespace sendwell::gui
