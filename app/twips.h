#pragma once
// Window geometry is designed in twips (1/1440 inch). At 96 dpi fifteen twips make one
// device-independent pixel, so layouts stay right on high-DPI screens.

#include <QRect>
#include <cmath>

namespace demo {

inline constexpr int kTwipsPerPixel = 15;

inline int twipsToPixels(int twips) {
    return static_cast<int>(std::lround(static_cast<double>(twips) / kTwipsPerPixel));
}

inline QRect twipsToPixelRect(int left, int top, int width, int height) {
    return QRect(twipsToPixels(left), twipsToPixels(top), twipsToPixels(width), twipsToPixels(height));
}

} // namespace demo
