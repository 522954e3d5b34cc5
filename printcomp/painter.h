#pragma once
// Paints a laid-out page. Stateless: decides nothing about layout or pagination.

#include "layout.h"

#include <QFont>
#include <QGlyphRun>
#include <QHash>
#include <QPainter>
#include <QRawFont>

#include <array>

namespace zendrik {

struct PaintResources {
    std::array<QFont, kFontRoles> fonts; // indexed by FontRole
    qreal unitsPerPoint = 1.0;           // device units per point
};

// Fonts of the settings, for a painter on a device of the given resolution.
PaintResources paintResources(const Settings& settings, int deviceDpi);

// Shaped words, so that a word is shaped once per job rather than once per occurrence. Belongs
// to the painting thread: the glyphs refer to that thread's font engines.
class GlyphCache {
public:
    explicit GlyphCache(const QPaintDevice* device, const PaintResources& resources);
    // The glyphs of a left-to-right run in the role's own font, or false when the run needs Qt's
    // full text layout (font fallback, right-to-left).
    bool glyphs(FontRole role, const QString& text, QGlyphRun& run);

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
    std::array<QHash<QString, Word>, kFontRoles> words_;
    Word scratch_;
};

// With a cache, runs of cached words are drawn as glyph runs; otherwise each run is shaped.
void paintPage(QPainter& painter, const Page& page, const PaintResources& resources, GlyphCache* cache = nullptr);

} // namespace zendrik
