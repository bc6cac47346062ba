// The About box: program icon, name and version, credit text, OK.
#pragma once

#include <QDialog>

namespace sendwell::gui {

class AboutDialog : public QDialog {
    Q_OBJECT
public:
    explicit AboutDialog(QWidget* parent = nullptr);
};

} // namespace sendwell::gui
