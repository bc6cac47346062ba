#include "core/base/hyperlink_state.h"

namespace sendwell {

Rgb LinkColourValue(LinkColour colour) {
    switch (colour) {
    case LinkColour::Visited:
        return {128, 0, 128};
    case LinkColour::Hover:
        return {255, 0, 0};
    case LinkColour::Focus:
        return {0, 128, 128};
    case LinkColour::Link:
        break;
    }
    return {0, 0, 255};
}

LinkColour HyperlinkState::colour() const {
    if (over_ && has(kLinkHoverColour)) {
        return LinkColour::Hover;
    }
    if (focused_ && !has(kLinkNoFocusColour)) {
        return LinkColour::Focus;
    }
    return visited_ ? LinkColour::Visited : LinkColour::Link;
}

bool HyperlinkState::pressed() {
    focused_ = true;
    return has(kLinkOpenOnPress);
}

bool HyperlinkState::released(bool inside) const {
    // Letting go elsewhere takes the click back, as with a push button.
    return inside && focused_ && !has(kLinkOpenOnPress);
}

IntRect FitLinkToText(const IntRect& old, int textWidth, int textHeight, TextAlign align,
                      bool centreVertically, int frameWidth, int frameHeight) {
    IntRect r{old.x, old.y, textWidth, textHeight};
    if (centreVertically) {
        r.y = old.y + (old.height - textHeight) / 2;
    }
    if (align == TextAlign::Centre) {
        r.x = old.x + (old.width - textWidth) / 2;
    } else if (align == TextAlign::Right) {
        r.x = old.x + old.width - textWidth;
    }
    r.width += frameWidth;
    r.height += frameHeight;
    return r;
}

} // namespace sendwell
