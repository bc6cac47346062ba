// A heading label: its own font, taken from the dialog font, switchable to bold, on the button-face
// colour whatever the window around it uses.
#pragma once

#include <QColor>
#include <QFont>
#include <QLabel>
#include <QString>

namespace sendwell::gui {

class StyledLabel : public QLabel {
    Q_OBJECT
public:
    explicit StyledLabel(QWidget* parent = nullptr);
    StyledLabel(const QString& text, QWidget* parent = nullptr);

    // Weight 700 or 400 on the label's font description; the label is redrawn at once.
    void setBold(bool bold);

    // Blinking (of the text or of the background) is not used by any window; the label keeps its
    // fields so that a caller can build it, and never blinks.
    enum class BlinkMode { None, Text, Background };
    BlinkMode blinkMode() const { return blinkMode_; }

private:
    void ApplyFont();

    QColor textColour_;
    QColor background_;
    QColor alternateBackground_;
    QFont description_;
    QString savedText_;
    bool blinkOn_ = false;
    BlinkMode blinkMode_ = BlinkMode::None;
};

} // namespace sendwell::gui
