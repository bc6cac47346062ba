// The push buttons' background: 64 shades from near white at the top to a light grey-blue at the
// bottom, a little warmer while the mouse is over the button and a little bluer while it is focused,
// pressed or the default button.
#pragma once

namespace sendwell {

struct Rgb {
    int red = 0;
    int green = 0;
    int blue = 0;
    bool operator==(const Rgb&) const = default;
};

inline constexpr int kButtonGradientShades = 64;

// Shade index (0..63) of a button whose mouse-over and emphasis states are given.
Rgb ButtonGradientColour(int index, bool hover, bool emphasised);

// The shade of the row at y (counted from the button's top edge) of an inner area innerHeight rows
// high: y * 63 / innerHeight, never past the last shade, so a short button still ends on shade 63.
int ButtonGradientIndex(int y, int innerHeight);

} // namespace sendwell
