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

    // The content of a page of the given height in points; valid until the next call. With
    // `pageNumberForm`, the page's number is a form the page's resources name /PN.
    const pdf::Bytes& content(const Page& page, qreal pageHeight, bool pageNumberForm = false);
    // Resources entries for the external objects the last content drew ("/Im1 8 0 R"), but /PN.
    const QByteArray& xobjects() const { return xobjects_; }
    // What draws `run` alone, in the coordinates of a page's text (a form's content).
    const pdf::Bytes& runContent(const TextRun& run);

private:
    struct Underline {
        QPointF from;
        qreal length;
        qreal thickness;
    };
    struct Picture {
        QByteArray name;
        int object;
        QRectF box; // device units
    };
    void writeText(const QList<TextRun>& runs);
    void writeRun(const TextRun& run);
    void writeGlyphs(const TextRun& run, const GlyphRun& glyphs, QPointF origin, const std::vector<quint32>* starts,
                     quint32 textEnd);
    void selectFont(PdfFont& font, qreal size);

    PdfFontSet& fonts_;
    std::array<bool, kFontRoles> underline_;
    pdf::Bytes out_;
    QByteArray xobjects_;
    PdfFont* currentFont_ = nullptr;
    qreal currentSize_ = 0;
    std::vector<Underline> underlines_;
    std::vector<Picture> pictures_;
};

} // namespace zendrik
