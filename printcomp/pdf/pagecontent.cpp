#include "pdf/pagecontent.h"

#include "layout/drawing.h"

#include <algorithm>
#include <cmath>

namespace zendrik {

namespace {
// Device units a glyph may stand off the place its font's widths give before the PDF says so.
constexpr qreal kPositionTolerance = 0.5;
constexpr qreal kUnitsPerPoint = PrintResolutionDevice::kDpi / 72.0;

bool onlySpaces(QStringView text) {
    return !text.isEmpty() && std::all_of(text.begin(), text.end(), [](QChar c) { return c == u' '; });
}

// One text-showing array at a time: glyph codes in hexadecimal, pen corrections as numbers.
class ShowArray {
public:
    explicit ShowArray(QByteArray& out) : out_(out) {}
    bool open() const { return open_; }
    void begin() {
        out_.append('[');
        open_ = true;
    }
    void code(quint16 code) {
        if (!hex_) {
            out_.append('<');
            hex_ = true;
        }
        pdf::appendHex4(out_, code);
    }
    void adjust(long long thousandths) {
        closeHex();
        pdf::appendInt(out_, thousandths);
    }
    void end() {
        if (!open_)
            return;
        closeHex();
        out_.append("] TJ\n");
        open_ = false;
    }

private:
    void closeHex() {
        if (hex_) {
            out_.append('>');
            hex_ = false;
        }
    }
    QByteArray& out_;
    bool open_ = false;
    bool hex_ = false;
};

} // namespace

PageContentWriter::PageContentWriter(PdfFontSet& fonts, const std::array<bool, kFontRoles>& underline)
    : fonts_(fonts), underline_(underline) {}

QByteArray PageContentWriter::content(const Page& page, qreal pageHeight) {
    const qreal u = kUnitsPerPoint;
    out_ = QByteArray();
    out_.reserve(16384);
    // Everything is placed in device units from the top left, as glyph positions are.
    out_.append("q ");
    pdf::appendReals(out_, {1 / u, 0, 0, -1 / u, 0, pageHeight});
    out_.append(" cm\n");
    if (!page.rules.isEmpty()) {
        pdf::appendReal(out_, drawing::kRuleWidth * u);
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
        pdf::appendReal(out_, drawing::kBorderWidth * u);
        out_.append(" w 0 j\n");
        pdf::appendReals(out_, {b.x() * u, b.y() * u, b.width() * u, b.height() * u});
        out_.append(" re S\n");
    }
    out_.append("BT\n");
    currentFont_ = nullptr;
    currentSize_ = 0;
    underlines_.clear();
    pictures_.clear();
    for (const TextRun& run : page.runs)
        writeRun(run);
    out_.append("ET\n");
    for (const Underline& line : underlines_) {
        pdf::appendReals(out_, {line.from.x(), line.from.y() - line.thickness / 2, line.length, line.thickness});
        out_.append(" re f\n");
    }
    for (const Picture& picture : pictures_) {
        const QRectF& b = picture.box;
        out_.append("q ");
        pdf::appendReals(out_, {b.width(), 0, 0, -b.height(), b.left(), b.bottom()});
        out_.append(" cm /" + picture.name + " Do Q\n");
    }
    out_.append("Q\n");
    return std::move(out_);
}

void PageContentWriter::writeRun(const TextRun& run) {
    if (run.glyphs.isEmpty())
        return;
    const QPointF origin(std::round(run.origin.x() * kUnitsPerPoint), std::round(run.origin.y() * kUnitsPerPoint));
    // Where each cluster's text starts, to find where it ends.
    std::vector<quint32> starts;
    for (const GlyphRun& glyphs : run.glyphs) {
        for (const PositionedGlyph& g : glyphs.glyphs)
            starts.push_back(g.cluster);
    }
    std::sort(starts.begin(), starts.end());
    starts.erase(std::unique(starts.begin(), starts.end()), starts.end());
    // The runs in the order the text reads, right-to-left glyphs from the right: readers that
    // follow the content then read the line as it was typed, and those that sort by position too.
    std::vector<const GlyphRun*> order;
    for (const GlyphRun& glyphs : run.glyphs) {
        if (!glyphs.glyphs.isEmpty())
            order.push_back(&glyphs);
    }
    const auto firstCluster = [](const GlyphRun* g) {
        quint32 least = UINT32_MAX;
        for (const PositionedGlyph& glyph : g->glyphs)
            least = std::min(least, glyph.cluster);
        return least;
    };
    std::stable_sort(order.begin(), order.end(),
                     [&](const GlyphRun* a, const GlyphRun* b) { return firstCluster(a) < firstCluster(b); });
    for (const GlyphRun* glyphs : order)
        writeGlyphs(run, *glyphs, origin, starts);
}

void PageContentWriter::selectFont(PdfFont& font, qreal size) {
    if (&font == currentFont_ && size == currentSize_)
        return;
    out_.append('/');
    out_.append(font.resourceName());
    out_.append(' ');
    pdf::appendReal(out_, size);
    out_.append(" Tf\n");
    const bool wasBold = currentFont_ && currentFont_->face().syntheticBold();
    if (font.face().syntheticBold()) {
        // Filled and stroked.
        out_.append("2 Tr ");
        pdf::appendReal(out_, size * drawing::kSyntheticBoldStroke);
        out_.append(" w\n");
    } else if (wasBold) {
        out_.append("0 Tr\n");
    }
    currentFont_ = &font;
    currentSize_ = size;
}

void PageContentWriter::writeGlyphs(const TextRun& run, const GlyphRun& glyphs, QPointF origin,
                                    const std::vector<quint32>& starts) {
    PdfFont& font = fonts_.fontFor(glyphs.face);
    const FontFace& face = glyphs.face->kind() == FontFace::Kind::Boxes ? *FontFace::boxes() : *glyphs.face;
    const qreal size = glyphs.size * kUnitsPerPoint;
    const bool underline = underline_[size_t(run.role)];
    const bool bitmaps = face.kind() == FontFace::Kind::Bitmaps;
    const qreal slant = face.syntheticItalic() ? drawing::kSyntheticSlant : 0;
    const qreal unitsPerWidth = size / 1000;
    const qsizetype count = glyphs.glyphs.size();
    const auto glyphAt = [&](qsizetype i) -> const PositionedGlyph& {
        return glyphs.glyphs[glyphs.rightToLeft ? count - 1 - i : i];
    };

    ShowArray show(out_);
    bool placed = false; // the text matrix stands on this run's current baseline
    qreal pen = 0, baseline = 0;
    qreal left = 0, right = 0;
    bool any = false;
    std::vector<quint16> codes;
    std::vector<int> order;
    std::vector<QString> trailing;
    for (qsizetype i = 0; i < count;) {
        const quint32 cluster = glyphAt(i).cluster;
        qsizetype end = i + 1;
        while (end < count && glyphAt(end).cluster == cluster)
            ++end;
        const auto next = std::upper_bound(starts.begin(), starts.end(), cluster);
        const qsizetype textEnd = next == starts.end() ? run.text.size() : qsizetype(*next);
        const QStringView text = QStringView(run.text).mid(cluster, std::max<qsizetype>(0, textEnd - cluster));
        // Space glyphs draw nothing, yet cost as much as letters; the gaps they leave are what
        // readers take as word breaks. Kept when underlined: the line runs under them.
        if (onlySpaces(text) && !underline) {
            i = end;
            continue;
        }
        selectFont(font, size);
        // The cluster's glyphs left to right, then in the order of the characters they stand for.
        codes.clear();
        for (qsizetype k = i; k < end; ++k)
            codes.push_back(font.code(glyphs.glyphs[glyphs.rightToLeft ? count - end + (k - i) : k].id));
        const bool exact = font.mapCluster(codes.data(), qsizetype(codes.size()), text, order,
                                           glyphs.rightToLeft ? &trailing : nullptr);
        const bool split = glyphs.rightToLeft &&
                           std::any_of(trailing.begin(), trailing.end(), [](const QString& t) { return !t.isEmpty(); });
        // Readers that sort glyphs by their place need the text given where the glyphs' order is
        // not the text's; they read right-to-left text backwards, each glyph's text too.
        const bool reordered = !std::is_sorted(order.begin(), order.end()) || (glyphs.rightToLeft && order.size() > 1);
        const bool span = !exact || reordered || split;
        QString actual;
        if (span) {
            actual = text.toString();
            if (glyphs.rightToLeft)
                std::reverse(actual.begin(), actual.end());
        }
        // pdf.js reverses the text of each piece it gathers, and gathers a mark with the glyph
        // before it, but never across marked content: each character of a right-to-left cluster is
        // a span of its own. The first gives the whole cluster's text, the others none; poppler
        // spreads that text over the first glyph, and leaves no gap inside the word.
        const bool pieces = span && glyphs.rightToLeft;
        bool first = true;
        const auto beginText = [&](const QString& replacement) {
            show.end();
            out_.append("/Span << /ActualText ");
            pdf::appendTextString(out_, replacement);
            out_.append(" >> BDC\n");
        };
        const auto piece = [&] {
            if (pieces) {
                beginText(first ? actual : QString());
                first = false;
            }
        };
        const auto endPiece = [&] {
            if (pieces) {
                show.end();
                out_.append("EMC\n");
            }
        };
        if (span && !pieces)
            beginText(actual);
        for (qsizetype k = i; k < end; ++k) {
            piece();
            const qsizetype at = glyphs.rightToLeft ? count - end + order[size_t(k - i)] : i + order[size_t(k - i)];
            const PositionedGlyph& g = glyphs.glyphs[at];
            const quint16 code = codes[size_t(order[size_t(k - i)])];
            const qreal x = origin.x() + g.x;
            const qreal y = origin.y() + g.y;
            if (!placed || y != baseline) {
                show.end();
                out_.append("1 0 ");
                pdf::appendReals(out_, {slant, -1, x, y});
                out_.append(" Tm\n");
                pen = x;
                baseline = y;
                placed = true;
            }
            if (!show.open())
                show.begin();
            const qreal shift = x - pen;
            if (std::abs(shift) > kPositionTolerance) {
                const long long adjust = std::llround(-shift / unitsPerWidth);
                if (adjust != 0) {
                    show.adjust(adjust);
                    pen -= adjust * unitsPerWidth;
                }
            }
            show.code(code);
            const qreal advance = font.width(code) * unitsPerWidth;
            pen += advance;
            if (split) {
                // The characters after the first of a glyph standing for several, each shown by
                // nothing at the glyph's end.
                for (const char32_t point : trailing[size_t(order[size_t(k - i)])].toUcs4()) {
                    if (const quint16 carrier = font.textCode(QString::fromUcs4(&point, 1))) {
                        endPiece();
                        piece();
                        if (!show.open())
                            show.begin();
                        show.code(carrier);
                    }
                }
            }
            endPiece();
            left = any ? std::min(left, x) : x;
            right = any ? std::max(right, x + advance) : x + advance;
            any = true;
            if (bitmaps) {
                if (const PdfImage* image = fonts_.imageFor(face, g.id)) {
                    const qreal scale = size / face.unitsPerEm();
                    const QRectF& b = image->box;
                    pictures_.push_back(Picture{image->resourceName, QRectF(x + b.left() * scale, y + b.top() * scale,
                                                                            b.width() * scale, b.height() * scale)});
                }
            }
        }
        if (span && !pieces) {
            show.end();
            out_.append("EMC\n");
        }
        i = end;
    }
    show.end();
    if (underline && any) {
        const drawing::Underline line = drawing::underline(face, size);
        underlines_.push_back(Underline{QPointF(left, origin.y() + line.position), right - left, line.thickness});
    }
}

} // namespace zendrik
