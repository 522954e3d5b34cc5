#pragma once
// Draws laid-out pages with QPainter: the glyphs layout shaped, in the same faces and with the same
// made-up bold and italic, underlines, hollow boxes, colour bitmaps, rules and border as the PDF
// writer writes them. Decides nothing about layout or pagination.

#include "layout/layout.h"

#include <QHash>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <array>

namespace zendrik {

// Keeps the outlines and pictures of the glyphs it has drawn; one per thread.
class PagePainter {
public:
    // `underline` says per FontRole whether its runs are underlined.
    explicit PagePainter(const std::array<bool, kFontRoles>& underline);

    // Draws `page` with `painter`, whose coordinates are pixels at `dpi` from the sheet's top left.
    void paint(QPainter& painter, const Page& page, qreal dpi);
    // The whole sheet (`paper` points, as sheetSize gives it) at `dpi`: white paper with the page
    // on it. Null when a picture of that size cannot be had.
    QImage render(const Page& page, const QSizeF& paper, qreal dpi);

private:
    struct Picture {
        QImage image;
        QRectF box; // font units from the glyph's origin, y downwards
    };
    void paintRun(QPainter& painter, const TextRun& run, qreal scale);
    const QPainterPath& outline(const FontFace& face, quint32 glyph);
    const Picture& picture(const FontFace& face, quint32 glyph);

    std::array<bool, kFontRoles> underline_;
    QHash<QPair<quint64, quint32>, QPainterPath> outlines_;
    QHash<QPair<quint64, quint32>, Picture> pictures_;
};

} // namespace zendrik
