#pragma once
// How output draws what layout placed, in one place for every back end (the PDF, the preview), so
// that they draw alike: line widths, the made-up bold and italic, the underline.

#include "layout/fontface.h"

#include <algorithm>

namespace zendrik::drawing {

inline constexpr qreal kRuleWidth = 0.5;    // points
inline constexpr qreal kBorderWidth = 0.75; // points
// Stroke width of glyphs made bold, in ems: as much wider as Qt's emboldening makes glyphs on screen.
inline constexpr qreal kSyntheticBoldStroke = 1.0 / 24;
// The slant of italics made up from an upright face, as FreeType (and so Qt) slants them.
inline constexpr qreal kSyntheticSlant = 0x366A / 65536.0;

struct Underline {
    qreal position; // of the line's middle, below the baseline
    qreal thickness;
};

// The underline of text in `face` at `size` device units (PrintResolutionDevice) an em: from the
// font's post table, where FreeType (and so Qt) draws it; at least one device unit each.
inline Underline underline(const FontFace& face, qreal size) {
    const qreal scale = size / face.unitsPerEm();
    // The font gives the line's top.
    qreal thickness = face.underlineThickness() * scale;
    qreal position = face.underlineTop() * scale + thickness / 2;
    if (thickness <= 0) {
        position = size / 10;
        thickness = size / 20;
    }
    return Underline{std::max<qreal>(1, position), std::max<qreal>(1, thickness)};
}

} // namespace zendrik::drawing
