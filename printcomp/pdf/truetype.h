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

// glyphs[0] becomes the .notdef glyph. Cubic curves are approximated by quadratic ones to within
// half a font unit, far below what a printer can show.
QByteArray buildTrueType(const std::vector<OutlineGlyph>& glyphs, const TrueTypeMetrics& metrics);

} // namespace zendrik
