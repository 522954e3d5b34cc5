#pragma once
// How output draws what layout placed, in one place for every back end (the PDF, the preview), so
// that they draw alike: line widths, the made-up bold and italic, the underline.

#include "layout/fontface.h"

#include <QByteArray>

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
    const QByteArray post = face.table("post");
    const auto signed16 = [&](qsizetype at) {
        return at + 2 <= post.size() ? qint16((quint8(post[at]) << 8) | quint8(post[at + 1])) : 0;
    };
    const qreal scale = size / face.unitsPerEm();
    // The table gives the line's top.
    qreal thickness = signed16(10) * scale;
    qreal position = -signed16(8) * scale + thickness / 2;
    if (post.isEmpty() || thickness <= 0) {
        position = size / 10;
        thickness = size / 20;
    }
    return Underline{std::max<qreal>(1, position), std::max<qreal>(1, thickness)};
}

} // namespace zendrik::drawing
