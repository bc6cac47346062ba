// The Help window: the program's name and version, a small local start page pointing to the online
// help, the vendor's e-mail and web addresses as links, and OK.
#pragma once

#include <QDialog>
#include <QString>

class QWebEngineView;

namespace sendwell::gui {

class AddressOpener;
class Hyperlink;
class PushButton;

class HelpWindow : public QDialog {
    Q_OBJECT
public:
    static constexpr int kBrowser = 1046;
    static constexpr int kEmailLink = 1001;
    static constexpr int kWebLink = 1081;
    static constexpr int kOk = 1;

    // The links open through opener (the desktop when null).
    explicit HelpWindow(QWidget* parent = nullptr, AddressOpener* opener = nullptr);

    QWebEngineView* browser() const { return browser_; }
    Hyperlink* emailLink() const { return email_; }
    Hyperlink* webLink() const { return web_; }
    PushButton* okButton() const { return ok_; }

    // The start page with the online help address filled in.
    static QString StartPage();

private:
    QWebEngineView* browser_ = nullptr;
    Hyperlink* email_ = nullptr;
    Hyperlink* web_ = nullptr;
    PushButton* ok_ = nullptr;
};

// The main window's Help command: the Help window, modal, until it is closed.
void ShowHelpWindow(QWidget* parent);

} // namespace sendwell::gui
