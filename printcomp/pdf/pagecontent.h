#pragma once
// Turns laid-out pages into PDF content: writes the glyphs layout shaped, and never shapes again.
// Decides nothing about layout or pagination.

#include "layout/layout.h"
#include "pdf/pdffont.h"

#include <array>
#include <vector>

namespace zendrik {

// Writes pages as PDF content: the rules and the border, then every run's glyphs in the document's
// embedded fonts, each line in the order it reads, with the text each glyph stands for. One per
// document, on the thread that writes it.
class PageContentWriter {
public:
    // `underline` says per FontRole whether its runs are underlined.
    PageContentWriter(PdfFontSet& fonts, const std::array<bool, kFontRoles>& underline);

    // The content of a page of the given height in points.
    QByteArray content(const Page& page, qreal pageHeight);

private:
    struct Underline {
        QPointF from;
        qreal length;
        qreal thickness;
    };
    struct Picture {
        QByteArray name;
        QRectF box; // device units
    };
    void writeRun(const TextRun& run);
    void writeGlyphs(const TextRun& run, const GlyphRun& glyphs, QPointF origin, const std::vector<quint32>& starts);
    void selectFont(PdfFont& font, qreal size);

    PdfFontSet& fonts_;
    std::array<bool, kFontRoles> underline_;
    QByteArray out_;
    PdfFont* currentFont_ = nullptr;
    qreal currentSize_ = 0;
    std::vector<Underline> underlines_;
    std::vector<Picture> pictures_;
};

} // namespace zendrik
