#pragma once
// Turns laid-out pages into PDF content. Decides nothing about layout or pagination.

#include "layout/fontmetrics.h"
#include "layout/layout.h"
#include "pdf/pdffont.h"

#include <QFont>
#include <QGlyphRun>
#include <QHash>
#include <QRawFont>

#include <array>
#include <vector>

namespace zendrik {

struct PaintResources {
    std::array<QFont, kFontRoles> fonts; // indexed by FontRole
    qreal unitsPerPoint = 1.0;           // device units per point
};

// Fonts of the settings, for output at the given resolution.
PaintResources paintResources(const std::array<FontSpec, kFontRoles>& fonts, int deviceDpi);

// The glyphs of one text run in its role's own font: glyph numbers of the font file and
// positions from the run's origin, in device units. Plain data, so another thread can make them.
struct RunGlyphs {
    QList<quint32> indexes;
    QList<QPointF> positions;
    bool ready = false; // false: the run needs Qt's full text layout when written
};
// One entry per run of a page, in the page's order.
using PageGlyphs = std::vector<RunGlyphs>;

// Shaped words, so that a word is shaped once per job rather than once per occurrence. One per
// thread: it shapes with that thread's font engines.
class GlyphCache {
public:
    explicit GlyphCache(const QPaintDevice* device, const PaintResources& resources);
    // The glyphs of a left-to-right run in the role's own font, or false when the run needs Qt's
    // full text layout (font fallback, right-to-left).
    bool glyphs(FontRole role, const QString& text, RunGlyphs& run);
    // The glyphs of every run of the page.
    PageGlyphs glyphsOf(const Page& page);

private:
    struct Word {
        QList<quint32> glyphs;
        QList<QPointF> positions; // from the word's start, baseline at 0
        qreal advance = 0;
        bool usable = false;
    };
    const Word& word(FontRole role, QStringView text);

    const QPaintDevice* device_;
    std::array<QFont, kFontRoles> fonts_;
    std::array<QRawFont, kFontRoles> rawFonts_;
    std::array<quint32, kFontRoles> spaceGlyph_{};
    std::array<bool, kFontRoles> dropSpaces_{};
    std::array<QHash<QString, Word>, kFontRoles> words_;
    Word scratch_;
};

// Writes pages as PDF content: the rules and the border, then every run as glyphs of the
// document's embedded fonts. Runs with ready glyphs are written as they are; the others are shaped
// here by Qt's text layout (font fallback, right-to-left and complex scripts). One per document,
// on the thread that writes it.
class PageContentWriter {
public:
    PageContentWriter(const PaintResources& resources, PdfFontSet& fonts);

    // The content of a page of the given height in points.
    QByteArray content(const Page& page, qreal pageHeight, const PageGlyphs* glyphs = nullptr);

private:
    struct Underline {
        QPointF from;
        qreal length;
        qreal thickness;
    };
    void writeRun(const TextRun& run, const RunGlyphs* ready);
    // Shows glyphs placed at `positions` from `origin`, in device units.
    void showGlyphs(const QRawFont& font, const quint32* glyphs, const QPointF* positions, qsizetype count,
                    QPointF origin, bool underline, qreal roleSize);

    const PaintResources& resources_;
    PdfFontSet& fonts_;
    PrintResolutionDevice device_;
    std::array<QFont, kFontRoles> deviceFonts_;
    std::array<QRawFont, kFontRoles> rawFonts_;
    QByteArray out_;
    PdfFont* currentFont_ = nullptr;
    qreal currentSize_ = 0;
    std::vector<Underline> underlines_;
};

} // namespace zendrik
