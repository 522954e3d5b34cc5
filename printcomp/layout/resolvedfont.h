#pragma once
// What Qt resolves a font to on the print device, asked once per font for the process.

#include "base/settings.h"
#include "layout/fontface.h"

#include <memory>

namespace zendrik {

struct ResolvedFont {
    std::shared_ptr<const FontFace> face; // Boxes when Qt has no usable font
    qreal pointSize = 0;                  // the size Qt opened the face at
    // Qt's vertical metrics, in points.
    qreal ascent = 0;
    qreal descent = 0;
    qreal lineHeight = 0; // never less than ascent + descent
    qreal averageCharWidth = 0;
};

// The face, size and metrics Qt gives `spec` on the print device (its underline aside). An
// application prints job after job in the same fonts, while Qt forgets the fonts no job holds once
// it has a few hundred open and finds them again through fontconfig: the answers are kept (a bounded
// number) until the fonts of the system or the application change.
ResolvedFont resolveFont(const FontSpec& spec);

} // namespace zendrik
