// A hyperlink's behaviour apart from its window: which colour it shows, when a click or key follows
// it, and where an auto-sized link goes.
#pragma once

#include "core/base/button_gradient.h"

namespace sendwell {

// Behaviour bits of a hyperlink.
enum HyperlinkFlag : unsigned {
    kLinkUnderline = 0x01,
    kLinkHoverColour = 0x02,
    kLinkAutoSize = 0x04,
    kLinkOpenOnPress = 0x08,
    kLinkFocusOnClick = 0x10,
    kLinkNoHandCursor = 0x20,
    kLinkNoFocusColour = 0x40,
};
inline constexpr unsigned kDefaultLinkFlags = kLinkUnderline | kLinkAutoSize | kLinkFocusOnClick;

enum class LinkColour { Link, Visited, Hover, Focus };

// The colour every hyperlink of the program uses for a state.
Rgb LinkColourValue(LinkColour colour);

class HyperlinkState {
public:
    explicit HyperlinkState(unsigned flags = kDefaultLinkFlags) : flags_(flags) {}

    unsigned flags() const { return flags_; }
    void setFlags(unsigned flags) { flags_ = flags; }
    bool has(HyperlinkFlag flag) const { return (flags_ & flag) != 0; }

    bool over() const { return over_; }
    bool focused() const { return focused_; }
    bool visited() const { return visited_; }

    // Hover (when asked for) beats focus, focus beats visited.
    LinkColour colour() const;

    void pointerEntered() { over_ = true; }
    void pointerLeft() { over_ = false; }
    void focusGained() { focused_ = true; }
    void focusLost() {
        focused_ = false;
        over_ = false;
    }
    // Each returns true when the link is to be followed now.
    bool pressed();
    bool released(bool inside) const;
    // A successful open makes the link visited for good.
    void opened(bool success) { visited_ = visited_ || success; }

private:
    unsigned flags_;
    bool over_ = false;
    bool focused_ = false;
    bool visited_ = false;
};

struct IntRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool operator==(const IntRect&) const = default;
};

enum class TextAlign { Left, Centre, Right };

// Where an auto-sized link goes: a text-sized rectangle inside old, keeping the edge (or the middle)
// that the text's alignment names, and the vertical middle for vertically centred text, else the top.
// frameWidth and frameHeight (outer size minus client size) are added so borders stay.
IntRect FitLinkToText(const IntRect& old, int textWidth, int textHeight, TextAlign align,
                      bool centreVertically, int frameWidth, int frameHeight);

} // namespace sendwell
