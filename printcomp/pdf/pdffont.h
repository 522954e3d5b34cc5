#pragma once
// The fonts of a PDF document: each face a document uses is embedded once, with only its glyphs
// that appear, and a map from those glyphs back to the text they stand for.

#include "pdf/pdfwriter.h"

#include <QHash>
#include <QRawFont>

#include <memory>
#include <vector>

namespace zendrik {

class PdfFont {
public:
    PdfFont(const QRawFont& font, int objectNumber, int index);

    // The two-byte code that shows a glyph (numbered as in the face) in this font, given on first
    // use in the order glyphs appear.
    quint16 code(quint32 glyph) {
        if (glyph < codes_.size() && (codes_[glyph] != 0 || glyph == 0))
            return codes_[glyph];
        return addGlyph(glyph);
    }
    // The advance of a code, in thousandths of the font size, as the PDF states it.
    int width(quint16 code) const { return widths_[code]; }

    // A regular face standing in for a bold one: its glyphs are drawn with an outline stroke.
    bool syntheticBold() const { return syntheticBold_; }

    int objectNumber() const { return object_; }
    const QByteArray& resourceName() const { return resourceName_; }
    // Writes the font program, its metrics and the map back to text.
    void write(PdfWriter& pdf) const;

private:
    quint16 addGlyph(quint32 glyph);
    QByteArray toUnicodeMap() const;

    QRawFont em_; // one pixel per font unit: outlines and advances in font units
    int unitsPerEm_;
    bool boxes_ = false;
    bool syntheticBold_ = false;
    std::vector<quint16> codes_;  // by glyph number of the face; 0: not used yet (but glyph 0)
    std::vector<quint32> glyphs_; // by code; code 0 is the face's glyph 0
    std::vector<int> advances_;   // by code, font units
    std::vector<int> widths_;     // by code, thousandths of the size
    int object_;
    QByteArray resourceName_;
    QByteArray baseName_;
};

// The fonts of one document, found by the fonts Qt shapes with. One per document, used on the
// thread that writes it.
class PdfFontSet {
public:
    explicit PdfFontSet(PdfWriter& pdf) : pdf_(pdf) {}

    PdfFont& fontFor(const QRawFont& font);
    // Writes every font; then resources() names them for the pages.
    void writeFonts() const;
    QByteArray resources() const;

private:
    PdfWriter& pdf_;
    QHash<QRawFont, PdfFont*> byEngine_;
    QHash<QByteArray, PdfFont*> byFace_;
    std::vector<std::unique_ptr<PdfFont>> fonts_;
};

} // namespace zendrik
