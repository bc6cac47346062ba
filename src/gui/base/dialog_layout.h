// Dialog-unit conversion and edge anchoring for the absolutely positioned windows.
#pragma once

#include <QFont>
#include <QPointer>
#include <QRect>
#include <QSize>
#include <QWidget>
#include <optional>
#include <vector>

namespace sendwell::gui {

// Converts dialog units to pixels the way dialog templates are laid out: horizontal base unit from the
// average width of the 52 letters, vertical base unit from the font height; x * baseX / 4, y * baseY / 8.
class DialogUnits {
public:
    explicit DialogUnits(const QFont& font);
    DialogUnits(int baseX, int baseY) : baseX_(baseX), baseY_(baseY) {}

    int baseX() const { return baseX_; }
    int baseY() const { return baseY_; }
    int x(int du) const;
    int y(int du) const;
    QRect rect(int x, int y, int width, int height) const;
    QSize size(int width, int height) const;

private:
    int baseX_;
    int baseY_;
};

// The main window's font: MS Sans Serif 8 pt, or the closest sans-serif face installed.
QFont DialogFont();

// Keeps controls attached to the right and bottom edges as the window changes size.
class AnchorLayout {
public:
    enum Flag { kMoveX = 1, kMoveY = 2, kStretchX = 4, kStretchY = 8 };

    void add(QWidget* widget, int flags);
    // Applies the change against the previous client size. The first call only records the size.
    // Returns true when controls were moved (i.e. a real size change after the first one).
    bool clientResized(const QSize& size);
    void reset() { last_.reset(); }

private:
    struct Anchor {
        QPointer<QWidget> widget;
        int flags;
    };
    std::vector<Anchor> anchors_;
    std::optional<QSize> last_;
};

} // namespace sendwell::gui
