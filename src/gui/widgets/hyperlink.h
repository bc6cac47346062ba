// A text that opens an address: drawn in link colours and underlined, with a pointing hand and the
// address as its tooltip; a click or Space opens the address, and a link once opened shows as visited.
#pragma once

#include "core/base/hyperlink_state.h"
#include "core/base/prompt.h"

#include <QColor>
#include <QLabel>
#include <QString>
#include <memory>

namespace sendwell::gui {

class AddressOpener;
class DialogPrompt;

class Hyperlink : public QLabel {
    Q_OBJECT
public:
    explicit Hyperlink(const QString& text = QString(), QWidget* parent = nullptr);
    ~Hyperlink() override;

    void setAddress(const QString& address) { address_ = address; }
    QString address() const { return address_; }
    // Behaviour bits (core/base/hyperlink_state.h); set them before attach.
    void setFlags(unsigned flags) { state_.setFlags(flags); }
    unsigned flags() const { return state_.flags(); }
    // Where opening goes and where a failure is told; by default the desktop and a message box.
    void setOpener(AddressOpener* opener);
    void setPrompt(sendwell::Prompt* messages) { messages_ = messages; }

    // Binds the link in its window at geometry: an empty address takes the text and an empty text the
    // address, the font takes the underline, an auto-sized link fits its text, the tooltip shows the
    // address.
    void attach(const QRect& geometry);

    const sendwell::HyperlinkState& state() const { return state_; }
    QColor textColour() const;

public slots:
    // Opens the address; a failure beeps and is told, a success makes the link visited.
    void followLink();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void FitToText();
    void ShowState();

    sendwell::HyperlinkState state_;
    QString address_;
    AddressOpener* opener_;
    sendwell::Prompt* messages_ = nullptr;
    std::unique_ptr<DialogPrompt> ownMessages_;
};

} // namespace sendwell::gui
