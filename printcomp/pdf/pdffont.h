#pragma once
// The fonts of a PDF document: each face a document uses is embedded once, with only its glyphs
// that appear, and a map from those glyphs back to the text shaping made them from.

#include "layout/fontface.h"
#include "pdf/pdfwriter.h"

#include <QHash>
#include <QImage>
#include <QRectF>

#include <memory>
#include <vector>

namespace zendrik {

class PdfFont {
public:
    PdfFont(std::shared_ptr<const FontFace> face, int objectNumber, int index);

    // The two-byte code that shows a glyph (numbered as in the face) in this font, given on first
    // use in the order glyphs appear.
    quint16 code(quint32 glyph) {
        if (glyph < codes_.size() && (codes_[glyph] != 0 || glyph == 0))
            return codes_[glyph];
        return addGlyph(glyph);
    }
    // The advance of a code, in thousandths of the font size, as the PDF states it.
    int width(quint16 code) const { return widths_[code]; }

    // Records that the glyphs `codes` (as they stand, left to right) are one cluster standing for
    // `text`. `order` receives the order that reads as the text: the glyph of each character in
    // the character's place. True when the map back to text then says exactly `text`; false when
    // it cannot (a glyph stands for other text elsewhere, or for no character of its own), and the
    // text must be given with the glyphs. With `trailing` (right-to-left text), a glyph standing
    // for several characters stands for the first of them only, and `trailing` receives by glyph
    // the characters after it, to be shown with textCode(): readers that take a glyph's text in
    // the order its glyph runs (MuPDF) and those that reverse it (pdf.js, poppler) then agree.
    bool mapCluster(const quint16* codes, qsizetype count, QStringView text, std::vector<int>& order,
                    std::vector<QString>* trailing = nullptr);
    // A code that draws nothing, does not advance and stands for `text`; 0 when the font is full.
    quint16 textCode(const QString& text);
    // mapCluster for one glyph standing for one character of the Basic Multilingual Plane.
    bool mapCharacter(quint16 code, char16_t c) {
        if (c != 0 && singles_[code] == c)
            return true;
        std::vector<int> order;
        return mapCluster(&code, 1, QStringView(&c, 1), order);
    }

    const FontFace& face() const { return *face_; }
    int objectNumber() const { return object_; }
    const QByteArray& resourceName() const { return resourceName_; }
    // Writes the font program, its metrics and the map back to text.
    void write(PdfWriter& pdf) const;

private:
    static constexpr quint32 kNoGlyph = UINT32_MAX; // in glyphs_: a code of text alone
    quint16 addGlyph(quint32 glyph);
    QByteArray toUnicodeMap() const;
    QByteArray descriptor(const QRectF& box, int fileObject) const;

    std::shared_ptr<const FontFace> face_;
    int unitsPerEm_;
    std::vector<quint16> codes_;    // by glyph number of the face; 0: not used yet (but glyph 0)
    std::vector<quint32> glyphs_;   // by code; code 0 is the face's glyph 0
    std::vector<int> advances_;     // by code, font units
    std::vector<int> widths_;       // by code, thousandths of the size
    std::vector<QString> text_;     // by code; null while no text is known
    std::vector<char16_t> singles_; // by code: the one character it stands for, or 0
    QHash<QString, quint16> textCodes_;
    int object_;
    QByteArray resourceName_;
    QByteArray baseName_;
};

// A colour bitmap glyph as an image of the document.
struct PdfImage {
    QByteArray resourceName;
    int objectNumber = 0;
    QRectF box; // font units from the glyph's origin, y downwards
};

// The fonts and glyph images of one document. One per document, used on the thread that writes it.
class PdfFontSet {
public:
    explicit PdfFontSet(PdfWriter& pdf) : pdf_(pdf) {}

    PdfFont& fontFor(const std::shared_ptr<const FontFace>& face);
    // The picture of a bitmap glyph, written into the document on first use; null when it has none.
    const PdfImage* imageFor(const FontFace& face, quint32 glyph);
    // Writes every font; then fonts() and images() name them and the images, as dictionaries.
    void writeFonts() const;
    QByteArray fonts() const;
    QByteArray images() const;

private:
    PdfWriter& pdf_;
    QHash<const FontFace*, PdfFont*> byFace_;
    std::vector<std::unique_ptr<PdfFont>> fonts_;
    QHash<QPair<const FontFace*, quint32>, std::shared_ptr<PdfImage>> images_;
    std::vector<std::pair<QByteArray, int>> imageObjects_;
};

} // namespace zendrik
