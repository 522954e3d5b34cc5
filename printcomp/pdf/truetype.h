#pragma once
// Builds a small TrueType font program from glyph outlines, to embed in a PDF. Whatever the
// source font is made of (TrueType, CFF or Type 1 outlines), the result holds only the glyphs a
// document uses, numbered densely from 1, so it stays small even for fonts of many thousand glyphs.

#include <QByteArray>
#include <QPainterPath>
#include <QString>

#include <vector>

namespace zendrik {

struct OutlineGlyph {
    QPainterPath path; // font units, y growing downwards (as Qt gives outlines)
    int advance = 0;   // font units
};

// A glyph in the font program's own form: its contours encoded for the glyf table, and what the
// other tables need of it. Font units, y growing upwards.
struct TrueTypeGlyph {
    QByteArray outline; // empty for a glyph without contours, which has no box either
    int xMin = 0;
    int yMin = 0;
    int xMax = 0;
    int yMax = 0;
    int points = 0;
    int contours = 0;
    int advance = 0;
};

struct TrueTypeMetrics {
    int unitsPerEm = 1000;
    int ascent = 800;  // font units above the baseline
    int descent = 200; // font units below the baseline, positive
    // What the naming and OS/2 tables say: strict readers want both.
    QString familyName = QStringLiteral("Font");
    QByteArray postScriptName = "Font";
    int weightClass = 400;
    bool bold = false;
    bool italic = false;
};

// Cubic curves are approximated by quadratic ones to within half a font unit, far below what a
// printer can show.
TrueTypeGlyph encodeTrueTypeGlyph(const OutlineGlyph& glyph);

// glyphs[0] becomes the .notdef glyph.
QByteArray buildTrueType(const std::vector<TrueTypeGlyph>& glyphs, const TrueTypeMetrics& metrics);
QByteArray buildTrueType(const std::vector<OutlineGlyph>& glyphs, const TrueTypeMetrics& metrics);

} // namespace zendrik
