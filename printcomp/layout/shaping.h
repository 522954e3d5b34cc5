#pragma once
// Text shaped with HarfBuzz in the faces Qt resolves: a paragraph is split into items of one
// direction, script and face (the role's own, or a fallback for characters it lacks), and each
// item is shaped whole. Widths for line breaking and the glyphs drawn both come from here.

#include "base/settings.h"
#include "layout/fontface.h"

#include <QHash>
#include <QString>

#include <array>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <stop_token>
#include <thread>
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
        mutable QString style; // the fallbacks' key, made at the first fallback
    };
    std::shared_ptr<const FontFace> qtChoice(FontRole role, char32_t c) const;
    void answer(std::stop_token stop) const;

    std::array<Role, kFontRoles> roles_;
    mutable std::mutex mutex_; // held while a fallback is looked for: one question at a time
    mutable QHash<quint64, std::shared_ptr<const FontFace>> fallbacks_;
    // Qt opens the fonts it falls back on once per thread: every question goes to one thread of
    // the set's own, started at the first.
    mutable std::mutex questionMutex_;
    mutable std::condition_variable_any questionReady_;
    mutable std::condition_variable answerReady_;
    mutable FontRole questionRole_ = FontRole::Body;
    mutable char32_t question_ = 0;
    mutable bool asked_ = false;
    mutable std::shared_ptr<const FontFace> answer_;
    mutable std::jthread answering_; // last: stopped and joined before the rest goes
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
