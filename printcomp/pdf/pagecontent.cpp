#include "pdf/pagecontent.h"

#include "layout/scripts.h"

#include <QTextLayout>

#include <algorithm>
#include <cmath>

namespace zendrik {

namespace {
constexpr qreal kRuleWidth = 0.5;
constexpr qreal kBorderWidth = 0.75;
// Device units a glyph may stand off the place its font's widths give before the PDF says so.
constexpr qreal kPositionTolerance = 0.5;
// Stroke width of glyphs made bold, in ems.
constexpr qreal kSyntheticBoldStroke = 1.0 / 24;
constexpr qsizetype kMaxCachedWords = 65536;
constexpr qsizetype kMaxCachedWordLength = 48;
} // namespace

PaintResources paintResources(const std::array<FontSpec, kFontRoles>& fonts, int deviceDpi) {
    PaintResources res;
    for (size_t i = 0; i < res.fonts.size(); ++i)
        res.fonts[i] = toQFont(fonts[i]);
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
    if (!isSimpleScript(text))
        return false;
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

PageContentWriter::PageContentWriter(const PaintResources& resources, PdfFontSet& fonts)
    : resources_(resources), fonts_(fonts) {
    for (size_t i = 0; i < deviceFonts_.size(); ++i) {
        deviceFonts_[i] = QFont(resources.fonts[i], &device_);
        rawFonts_[i] = QRawFont::fromFont(deviceFonts_[i]);
    }
}

QByteArray PageContentWriter::content(const Page& page, qreal pageHeight, const PageGlyphs* glyphs) {
    const qreal u = resources_.unitsPerPoint;
    out_ = QByteArray();
    out_.reserve(16384);
    // Everything is placed in device units from the top left, as glyph positions are.
    out_.append("q ");
    pdf::appendReals(out_, {1 / u, 0, 0, -1 / u, 0, pageHeight});
    out_.append(" cm\n");
    if (!page.rules.isEmpty()) {
        pdf::appendReal(out_, kRuleWidth * u);
        out_.append(" w 2 J\n");
        for (const QLineF& rule : page.rules) {
            pdf::appendReals(out_, {rule.x1() * u, rule.y1() * u});
            out_.append(" m ");
            pdf::appendReals(out_, {rule.x2() * u, rule.y2() * u});
            out_.append(" l S\n");
        }
    }
    if (!page.border.isNull()) {
        const QRectF& b = page.border;
        pdf::appendReal(out_, kBorderWidth * u);
        out_.append(" w 0 j\n");
        pdf::appendReals(out_, {b.x() * u, b.y() * u, b.width() * u, b.height() * u});
        out_.append(" re S\n");
    }
    out_.append("BT\n");
    currentFont_ = nullptr;
    underlines_.clear();
    for (qsizetype i = 0; i < page.runs.size(); ++i) {
        const bool ready = glyphs && size_t(i) < glyphs->size() && (*glyphs)[size_t(i)].ready;
        writeRun(page.runs[i], ready ? &(*glyphs)[size_t(i)] : nullptr);
    }
    out_.append("ET\n");
    for (const Underline& line : underlines_) {
        pdf::appendReals(out_, {line.from.x(), line.from.y() - line.thickness / 2, line.length, line.thickness});
        out_.append(" re f\n");
    }
    out_.append("Q\n");
    return std::move(out_);
}

void PageContentWriter::writeRun(const TextRun& run, const RunGlyphs* ready) {
    const size_t r = static_cast<size_t>(run.role);
    const QPointF origin = run.origin * resources_.unitsPerPoint;
    if (ready) {
        showGlyphs(rawFonts_[r], ready->indexes.constData(), ready->positions.constData(), ready->indexes.size(),
                   QPointF(std::round(origin.x()), std::round(origin.y())), resources_.fonts[r].underline(),
                   rawFonts_[r].pixelSize());
        return;
    }
    // Qt's full text layout: fallback fonts for characters the role's font lacks, bidirectional
    // text, marks placed on their letters.
    QTextLayout layout(run.text, deviceFonts_[r], &device_);
    QTextOption option;
    option.setWrapMode(QTextOption::NoWrap);
    option.setTextDirection(run.rightToLeft ? Qt::RightToLeft : Qt::LeftToRight);
    option.setAlignment(Qt::AlignLeft | Qt::AlignAbsolute);
    layout.setTextOption(option);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    if (line.isValid())
        line.setNumColumns(int(run.text.size()));
    layout.endLayout();
    if (!line.isValid())
        return;
    const QPointF start(line.naturalTextRect().left(), line.y() + line.ascent());
    for (const QGlyphRun& glyphRun : layout.glyphRuns()) {
        const QList<quint32> indexes = glyphRun.glyphIndexes();
        QList<QPointF> positions = glyphRun.positions();
        for (QPointF& p : positions)
            p -= start;
        showGlyphs(glyphRun.rawFont(), indexes.constData(), positions.constData(), indexes.size(), origin,
                   glyphRun.underline(), rawFonts_[r].pixelSize());
    }
}

void PageContentWriter::showGlyphs(const QRawFont& rawFont, const quint32* glyphs, const QPointF* positions,
                                   qsizetype count, QPointF origin, bool underline, qreal roleSize) {
    if (count == 0)
        return;
    PdfFont& font = fonts_.fontFor(rawFont);
    // Qt's boxes for characters no font has know no size of their own: they take the run's.
    const qreal size = rawFont.pixelSize() > 0 ? rawFont.pixelSize() : roleSize;
    if (&font != currentFont_ || size != currentSize_) {
        out_.append('/');
        out_.append(font.resourceName());
        out_.append(' ');
        pdf::appendReal(out_, size);
        out_.append(" Tf\n");
        if (font.syntheticBold()) {
            // Filled and stroked, as much wider as Qt's emboldening makes glyphs on screen.
            out_.append("2 Tr ");
            pdf::appendReal(out_, size * kSyntheticBoldStroke);
            out_.append(" w\n");
        } else if (currentFont_ && currentFont_->syntheticBold()) {
            out_.append("0 Tr\n");
        }
        currentFont_ = &font;
        currentSize_ = size;
    }
    const qreal unitsPerWidth = size / 1000;
    qreal left = positions[0].x(), right = left;
    qsizetype i = 0;
    // Glyphs on one baseline are shown by one operator: their widths in the font move the pen,
    // and a number in between corrects it wherever shaping placed a glyph elsewhere (kerning, or
    // the gap of a space).
    while (i < count) {
        const qreal y = positions[i].y();
        qreal pen = positions[i].x();
        out_.append("1 0 0 -1 ");
        pdf::appendReals(out_, {origin.x() + pen, origin.y() + y});
        out_.append(" Tm [<");
        for (; i < count && positions[i].y() == y; ++i) {
            const qreal x = positions[i].x();
            const qreal shift = x - pen;
            if (std::abs(shift) > kPositionTolerance) {
                const long long adjust = std::llround(-shift / unitsPerWidth);
                if (adjust != 0) {
                    out_.append('>');
                    pdf::appendInt(out_, adjust);
                    out_.append('<');
                    pen -= adjust * unitsPerWidth;
                }
            }
            const quint16 code = font.code(glyphs[i]);
            pdf::appendHex4(out_, code);
            const qreal advance = font.width(code) * unitsPerWidth;
            pen += advance;
            left = std::min(left, x);
            right = std::max(right, x + advance);
        }
        out_.append(">] TJ\n");
    }
    if (underline) {
        underlines_.push_back(Underline{QPointF(origin.x() + left, origin.y() + rawFont.underlinePosition()),
                                        right - left, std::max<qreal>(1, rawFont.lineThickness())});
    }
}

} // namespace zendrik
