#include "pdf/pagecontent.h"

#include "layout/drawing.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace zendrik {

namespace {
// Device units a glyph may stand off the place its font's widths give before the PDF says so: one,
// so that the rounding of widths to thousandths of an em and of places to device units alone
// never asks for a correction.
constexpr qreal kPositionTolerance = 1.0;
constexpr qreal kUnitsPerPoint = PrintResolutionDevice::kDpi / 72.0;

bool onlySpaces(QStringView text) {
    return !text.isEmpty() && std::all_of(text.begin(), text.end(), [](QChar c) { return c == u' '; });
}

// One text-showing array at a time: glyph codes as two bytes each in a string, pen corrections
// as numbers.
class ShowArray {
public:
    explicit ShowArray(pdf::Bytes& out) : out_(out) {}
    bool open() const { return open_; }
    void begin() {
        out_ += '[';
        open_ = true;
    }
    void code(quint16 code) {
        const char high = char(code >> 8), low = char(code & 0xFF);
        if (Q_LIKELY(!special(high) && !special(low))) {
            char* at = out_.grow(string_ ? 2 : 3);
            if (!string_)
                *at++ = '(';
            at[0] = high;
            at[1] = low;
            string_ = true;
            return;
        }
        if (!string_)
            out_ += '(';
        string_ = true;
        for (const char b : {high, low}) {
            // A string's parentheses and backslash are escaped, and a carriage return, which a
            // reader would take for a line end.
            if (special(b)) {
                out_ += '\\';
                out_ += b == '\r' ? 'r' : b;
            } else {
                out_ += b;
            }
        }
    }
    void adjust(long long thousandths) {
        closeString();
        pdf::appendInt(out_, thousandths);
    }
    void end() {
        if (!open_)
            return;
        closeString();
        out_.append("] TJ\n");
        open_ = false;
    }

private:
    static bool special(char b) { return kSpecial[quint8(b)]; }
    static constexpr std::array<bool, 256> kSpecial = [] {
        std::array<bool, 256> special{};
        for (const char b : {'(', ')', '\\', '\r'})
            special[quint8(b)] = true;
        return special;
    }();
    void closeString() {
        if (string_) {
            out_ += ')';
            string_ = false;
        }
    }
    pdf::Bytes& out_;
    bool open_ = false;
    bool string_ = false;
};

} // namespace

PageContentWriter::PageContentWriter(PdfFontSet& fonts, const std::array<bool, kFontRoles>& underline)
    : fonts_(fonts), underline_(underline) {}

const pdf::Bytes& PageContentWriter::content(const Page& page, qreal pageHeight, bool pageNumberForm) {
    const qreal u = kUnitsPerPoint;
    out_.clear();
    xobjects_.clear();
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
    writeText(page.runs);
    if (pageNumberForm)
        out_.append("/PN Do\n");
    out_.append("Q\n");
    return out_;
}

const pdf::Bytes& PageContentWriter::runContent(const TextRun& run) {
    out_.clear();
    writeText(QList<TextRun>{run});
    return out_;
}

void PageContentWriter::writeText(const QList<TextRun>& runs) {
    out_.append("BT\n");
    currentFont_ = nullptr;
    currentSize_ = 0;
    underlines_.clear();
    pictures_.clear();
    for (const TextRun& run : runs)
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
        out_.append(" cm /");
        out_.append(picture.name.constData(), size_t(picture.name.size()));
        out_.append(" Do Q\n");
        if (!xobjects_.contains("/" + picture.name + ' ')) {
            xobjects_.append((xobjects_.isEmpty() ? "/" : " /") + picture.name + ' ');
            pdf::appendInt(xobjects_, picture.object);
            xobjects_.append(" 0 R");
        }
    }
}

void PageContentWriter::writeRun(const TextRun& run) {
    if (run.glyphs.isEmpty())
        return;
    const QPointF origin(std::round(run.origin.x() * kUnitsPerPoint), std::round(run.origin.y() * kUnitsPerPoint));
    const auto textEnd = quint32(run.text.size());
    // A line of one direction: its runs stand in the order the text reads, and each ends where the
    // next begins.
    bool leftToRight = true;
    quint32 last = 0;
    for (const GlyphRun& glyphs : run.glyphs) {
        leftToRight = leftToRight && !glyphs.rightToLeft;
        for (qsizetype g = 0; g < glyphs.glyphs.size() && leftToRight; ++g) {
            leftToRight = glyphs.glyphs[g].cluster >= last;
            last = glyphs.glyphs[g].cluster;
        }
    }
    if (leftToRight) {
        for (qsizetype r = 0; r < run.glyphs.size(); ++r) {
            quint32 end = textEnd;
            for (qsizetype next = r + 1; next < run.glyphs.size() && end == textEnd; ++next) {
                if (!run.glyphs[next].glyphs.isEmpty())
                    end = run.glyphs[next].glyphs.front().cluster;
            }
            if (!run.glyphs[r].glyphs.isEmpty())
                writeGlyphs(run, run.glyphs[r], origin, nullptr, end);
        }
        return;
    }
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
        writeGlyphs(run, *glyphs, origin, &starts, textEnd);
}

void PageContentWriter::selectFont(PdfFont& font, qreal size) {
    if (&font == currentFont_ && size == currentSize_)
        return;
    out_ += '/';
    out_.append(font.resourceName().constData(), size_t(font.resourceName().size()));
    out_ += ' ';
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
                                    const std::vector<quint32>* starts, quint32 textEnd) {
    PdfFont& font = fonts_.fontFor(glyphs.face);
    const FontFace& face = glyphs.face->kind() == FontFace::Kind::Boxes ? *FontFace::boxes() : *glyphs.face;
    const qreal size = glyphs.size * kUnitsPerPoint;
    const bool underline = underline_[size_t(run.role)];
    const bool bitmaps = face.kind() == FontFace::Kind::Bitmaps;
    const qreal slant = face.syntheticItalic() ? drawing::kSyntheticSlant : 0;
    const qreal unitsPerWidth = size / 1000;
    const qsizetype count = glyphs.glyphs.size();
    const PositionedGlyph* all = glyphs.glyphs.constData();
    const auto glyphAt = [&](qsizetype i) -> const PositionedGlyph& {
        return all[glyphs.rightToLeft ? count - 1 - i : i];
    };
    const char16_t* text16 = reinterpret_cast<const char16_t*>(run.text.utf16());

    ShowArray show(out_);
    bool placed = false; // the text matrix stands on this run's current baseline
    qreal pen = 0, baseline = 0;
    qreal left = 0, right = 0;
    bool any = false;
    const auto place = [&](const PositionedGlyph& g, quint16 code) {
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
        if (underline) {
            left = any ? std::min(left, x) : x;
            right = any ? std::max(right, x + advance) : x + advance;
            any = true;
        }
        if (bitmaps) {
            if (const PdfImage* image = fonts_.imageFor(face, g.id)) {
                const qreal scale = size / face.unitsPerEm();
                const QRectF& b = image->box;
                pictures_.push_back(
                    Picture{image->resourceName, image->objectNumber,
                            QRectF(x + b.left() * scale, y + b.top() * scale, b.width() * scale, b.height() * scale)});
            }
        }
    };
    std::vector<quint16> codes;
    std::vector<int> order;
    std::vector<QString> trailing;
    for (qsizetype i = 0; i < count;) {
        const quint32 cluster = glyphAt(i).cluster;
        qsizetype end = i + 1;
        while (end < count && glyphAt(end).cluster == cluster)
            ++end;
        qsizetype clusterEnd = textEnd;
        if (starts) {
            const auto next = std::upper_bound(starts->begin(), starts->end(), cluster);
            clusterEnd = next == starts->end() ? run.text.size() : qsizetype(*next);
        } else if (end < count) {
            clusterEnd = glyphAt(end).cluster;
        }
        const qsizetype length = std::max<qsizetype>(0, clusterEnd - qsizetype(cluster));
        if (end == i + 1 && length == 1 && !QChar::isSurrogate(text16[cluster])) {
            // One glyph for one character: most of any text.
            const char16_t c = text16[cluster];
            // Space glyphs draw nothing, yet cost as much as letters; the gaps they leave are
            // what readers take as word breaks. Kept when underlined: the line runs under them.
            if (c != u' ' || underline) {
                if (&font != currentFont_ || size != currentSize_)
                    selectFont(font, size);
                const quint16 code = font.code(glyphAt(i).id);
                if (font.mapCharacter(code, c)) {
                    place(glyphAt(i), code);
                    i = end;
                    continue;
                }
            } else {
                i = end;
                continue;
            }
        }
        const QStringView text = QStringView(run.text).mid(cluster, length);
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
            place(glyphs.glyphs[at], codes[size_t(order[size_t(k - i)])]);
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
