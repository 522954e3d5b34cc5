#include "painter.h"

#include <QPen>
#include <QTextLayout>

#include <algorithm>
#include <cmath>

namespace zendrik {

namespace {
constexpr qreal kRuleWidth = 0.5;
constexpr qreal kBorderWidth = 0.75;
constexpr qsizetype kMaxCachedWords = 65536;
constexpr qsizetype kMaxCachedWordLength = 48;
} // namespace

PaintResources paintResources(const Settings& settings, int deviceDpi) {
    PaintResources res;
    for (size_t i = 0; i < res.fonts.size(); ++i)
        res.fonts[i] = settings.fonts[i].toQFont();
    res.unitsPerPoint = deviceDpi / 72.0;
    return res;
}

GlyphCache::GlyphCache(const QPaintDevice* device, const PaintResources& resources) : device_(device) {
    for (size_t i = 0; i < fonts_.size(); ++i) {
        fonts_[i] = QFont(resources.fonts[i], device);
        rawFonts_[i] = QRawFont::fromFont(fonts_[i]);
        const QList<quint32> space = rawFonts_[i].glyphIndexesForString(QStringLiteral(" "));
        spaceGlyph_[i] = space.size() == 1 ? space[0] : 0;
        dropSpaces_[i] = space.size() == 1 && space[0] != 0 && !fonts_[i].underline();
    }
}

const GlyphCache::Word& GlyphCache::word(FontRole role, QStringView text) {
    const size_t r = static_cast<size_t>(role);
    const QString key = text.toString();
    const bool cacheable = text.size() <= kMaxCachedWordLength;
    if (cacheable) {
        auto it = words_[r].constFind(key);
        if (it != words_[r].constEnd())
            return *it;
    }
    Word w;
    QTextLayout layout(key, fonts_[r], device_);
    QTextOption option;
    option.setWrapMode(QTextOption::NoWrap);
    option.setTextDirection(Qt::LeftToRight);
    layout.setTextOption(option);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    if (line.isValid())
        line.setNumColumns(static_cast<int>(key.size()));
    layout.endLayout();
    if (line.isValid()) {
        const QList<QGlyphRun> runs = layout.glyphRuns();
        const bool hasMarks = std::any_of(key.cbegin(), key.cend(), [](QChar c) { return c.isMark(); });
        if (hasMarks) {
            // Marks are placed on their base letter by shaping the whole run: left to drawText.
        } else if (runs.size() == 1 && runs[0].rawFont() == rawFonts_[r] &&
                   runs[0].glyphIndexes().size() != key.size() && key.size() > 1) {
            // A ligature would map back to the wrong characters when the text is extracted:
            // these words are put together from their letters instead.
            for (qsizetype i = 0; i < key.size(); ++i) {
                const Word& letter = word(role, QStringView(key).mid(i, 1));
                for (qsizetype g = 0; g < letter.glyphs.size(); ++g) {
                    w.glyphs.push_back(letter.glyphs[g]);
                    w.positions.push_back(letter.positions[g] + QPointF(w.advance, 0));
                }
                w.usable = letter.usable;
                w.advance += letter.advance;
                if (!w.usable)
                    break;
            }
        } else if (runs.size() == 1 && runs[0].rawFont() == rawFonts_[r]) {
            w.glyphs = runs[0].glyphIndexes();
            w.positions = runs[0].positions();
            const qreal baseline = line.y() + line.ascent();
            for (QPointF& p : w.positions)
                p.ry() -= baseline;
            w.advance = line.horizontalAdvance();
            w.usable = true;
        } else if (runs.isEmpty()) {
            w.advance = line.horizontalAdvance();
            w.usable = true;
        }
    }
    if (!cacheable) {
        scratch_ = std::move(w);
        return scratch_;
    }
    if (words_[r].size() >= kMaxCachedWords)
        words_[r].clear();
    return *words_[r].insert(key, std::move(w));
}

bool GlyphCache::glyphs(FontRole role, const QString& text, RunGlyphs& run) {
    run.ready = false;
    // Only scripts that Qt shapes letter by letter; others need whole-run shaping.
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u >= 0x0590 && (u < 0x1E00 || u >= 0x2300))
            return false;
    }
    QList<quint32>& indexes = run.indexes;
    QList<QPointF>& positions = run.positions;
    indexes.clear();
    positions.clear();
    indexes.reserve(text.size());
    positions.reserve(text.size());
    const size_t r = static_cast<size_t>(role);
    qreal x = 0;
    qsizetype start = 0;
    // Words and the spaces after them, shaped separately: kerning across a space is negligible.
    while (start < text.size()) {
        qsizetype end = start;
        while (end < text.size() && text.at(end) != u' ')
            ++end;
        const qsizetype wordEnd = end;
        while (end < text.size() && text.at(end) == u' ')
            ++end;
        const Word& w = word(role, QStringView(text).mid(start, end - start));
        if (!w.usable)
            return false;
        // Space glyphs draw nothing, yet cost as much as letters in the PDF; the gaps they leave
        // are what PDF readers take as word breaks. Kept when underlined: the line runs under them.
        qsizetype count = w.glyphs.size();
        if (dropSpaces_[r]) {
            for (qsizetype spaces = end - wordEnd; spaces > 0 && count > 0 && w.glyphs[count - 1] == spaceGlyph_[r];
                 --spaces)
                --count;
        }
        for (qsizetype i = 0; i < count; ++i) {
            indexes.push_back(w.glyphs[i]);
            // Whole device units (1/1200 inch), each word's glyphs at the same offsets wherever it
            // stands: the PDF writer then writes short integers instead of nine digits, which
            // repeat from one occurrence of a word to the next and so compress well.
            const QPointF& at = w.positions[i];
            positions.push_back(QPointF(std::round(at.x()) + std::round(x), std::round(at.y())));
        }
        x += w.advance;
        start = end;
    }
    run.ready = true;
    return true;
}

PageGlyphs GlyphCache::glyphsOf(const Page& page) {
    PageGlyphs result(size_t(page.runs.size()));
    for (qsizetype i = 0; i < page.runs.size(); ++i) {
        const TextRun& run = page.runs[i];
        if (!run.rightToLeft)
            glyphs(run.role, run.text, result[size_t(i)]);
    }
    return result;
}

void paintPage(QPainter& painter, const Page& page, const PaintResources& resources, const PageGlyphs* glyphs) {
    const qreal u = resources.unitsPerPoint;
    painter.save();
    painter.setPen(QPen(Qt::black, kRuleWidth * u));
    for (const QLineF& rule : page.rules)
        painter.drawLine(QLineF(rule.p1() * u, rule.p2() * u));
    if (!page.border.isNull()) {
        painter.setPen(QPen(Qt::black, kBorderWidth * u));
        painter.setBrush(Qt::NoBrush);
        const QRectF& b = page.border;
        painter.drawRect(QRectF(b.topLeft() * u, b.size() * u));
    }
    painter.setPen(Qt::black);
    int currentRole = -1;
    Qt::LayoutDirection direction = Qt::LeftToRight;
    painter.setLayoutDirection(direction);
    // Glyph numbers are the font file's, the same for every thread's engine of that font.
    std::array<QRawFont, kFontRoles> rawFonts;
    for (qsizetype i = 0; i < page.runs.size(); ++i) {
        const TextRun& run = page.runs[i];
        if (glyphs && size_t(i) < glyphs->size() && (*glyphs)[size_t(i)].ready) {
            const RunGlyphs& prepared = (*glyphs)[size_t(i)];
            const size_t r = static_cast<size_t>(run.role);
            if (!rawFonts[r].isValid())
                rawFonts[r] = QRawFont::fromFont(QFont(resources.fonts[r], painter.device()));
            QGlyphRun glyphRun;
            glyphRun.setRawFont(rawFonts[r]);
            glyphRun.setGlyphIndexes(prepared.indexes);
            glyphRun.setPositions(prepared.positions);
            glyphRun.setUnderline(resources.fonts[r].underline());
            const QPointF origin = run.origin * u;
            painter.drawGlyphRun(QPointF(std::round(origin.x()), std::round(origin.y())), glyphRun);
            continue;
        }
        const int role = static_cast<int>(run.role);
        if (role != currentRole) {
            painter.setFont(resources.fonts[static_cast<size_t>(role)]);
            currentRole = role;
        }
        const Qt::LayoutDirection wanted = run.rightToLeft ? Qt::RightToLeft : Qt::LeftToRight;
        if (wanted != direction) {
            painter.setLayoutDirection(wanted);
            direction = wanted;
        }
        painter.drawText(run.origin * u, run.text);
    }
    painter.restore();
}

} // namespace zendrik
