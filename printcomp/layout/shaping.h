#pragma once
// Text shaped with HarfBuzz in the faces Qt resolves: a paragraph is split into items of one
// direction, script and face (the role's own, or a fallback for characters it lacks), and each
// item is shaped whole. Widths for line breaking and the glyphs drawn both come from here.

#include "base/settings.h"
#include "layout/fontface.h"

#include <QHash>
#include <QString>

#include <array>
#include <memory>
#include <mutex>
#include <vector>

namespace zendrik {

// The faces of a job: each role's own and the fallbacks found for characters it lacks. Shared by
// every thread of the job.
class FontSet {
public:
    explicit FontSet(const std::array<FontSpec, kFontRoles>& fonts);

    const std::shared_ptr<const FontFace>& primary(FontRole role) const { return roles_[size_t(role)].face; }
    // The size of the role's font in points.
    qreal pointSize(FontRole role) const { return roles_[size_t(role)].pointSize; }
    // The face Qt would draw `c` with in the role's font; Boxes when no font has it.
    std::shared_ptr<const FontFace> faceFor(FontRole role, char32_t c) const;

private:
    struct Role {
        QFont font;
        std::shared_ptr<const FontFace> face;
        qreal pointSize = 10;
    };
    std::array<Role, kFontRoles> roles_;
    mutable std::mutex mutex_;
    mutable QHash<quint64, std::shared_ptr<const FontFace>> fallbacks_;
};

struct ShapedGlyph {
    quint32 id = 0;
    quint32 cluster = 0; // index in the text of the first character it stands for
    float advance = 0;   // points
    float xOffset = 0;   // points, from the pen
    float yOffset = 0;   // points, upwards
    const FontFace* face = nullptr;
};

struct ShapedItem {
    qsizetype start = 0;
    qsizetype end = 0;
    quint8 level = 0; // bidi embedding level: odd is right to left
    size_t firstGlyph = 0;
    size_t lastGlyph = 0; // one past; the item's glyphs in visual order
};

struct ShapedText {
    QString text;
    bool rightToLeft = false;           // the paragraph's direction
    std::vector<ShapedItem> items;      // in logical order
    std::vector<ShapedGlyph> glyphs;    // item by item
    std::vector<double> clusterAdvance; // per character: its cluster's advance on the cluster's first one
    std::vector<std::shared_ptr<const FontFace>> faces; // keeps the glyphs' faces alive
    int boxedCharacters = 0;                            // characters no font has
};

// Shapes `text` (a paragraph or a piece of one; tabs shaped as spaces) in the role's font.
ShapedText shapeText(const FontSet& fonts, FontRole role, const QString& text);

} // namespace zendrik
