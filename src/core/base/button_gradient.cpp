#include "core/base/button_gradient.h"

#include <algorithm>

namespace sendwell {

Rgb ButtonGradientColour(int index, bool hover, bool emphasised) {
    const int i = std::clamp(index, 0, kButtonGradientShades - 1);
    const int redGreenStep = hover ? 4 : 3;
    int blueStep = 5;
    if (emphasised) {
        blueStep = hover ? 3 : 4;
    }
    const int redGreen = 255 - i / redGreenStep;
    return {redGreen, redGreen, 255 - i / blueStep};
}

int ButtonGradientIndex(int y, int innerHeight) {
    const int last = kButtonGradientShades - 1;
    if (innerHeight <= 0 || y < 0) {
        return y < 0 ? 0 : last;
    }
    const long long index = static_cast<long long>(y) * last / innerHeight;
    return static_cast<int>(std::min<long long>(index, last));
}

} // namespace sendwell
