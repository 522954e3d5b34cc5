#include "pdf/truetype.h"

#include <QtEndian>

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>

namespace zendrik {

namespace {

constexpr qreal kTolerance = 0.5; // font units
constexpr int kMaxSplitDepth = 8;

struct Point {
    int x;
    int y;
    bool onCurve;
};
// A glyph's contours, their points one after the other: few allocations per glyph, and glyphs are
// made by the thousand.
struct Contours {
    std::vector<Point> points;
    std::vector<int> ends; // index past each contour's last point
};

// Big-endian table data.
class Bytes {
public:
    void u8(int v) { data_.append(char(v & 0xff)); }
    void u16(int v) {
        u8(v >> 8);
        u8(v);
    }
    void i16(int v) { u16(v & 0xffff); }
    void u32(quint32 v) {
        u16(int(v >> 16));
        u16(int(v & 0xffff));
    }
    void zeros(int n) { data_.append(n, '\0'); }
    void padTo4() {
        while (data_.size() % 4 != 0)
            u8(0);
    }
    qsizetype size() const { return data_.size(); }
    QByteArray& data() { return data_; }

private:
    QByteArray data_;
};

int clampToShort(qreal v) {
    return std::clamp(int(std::lround(v)), SHRT_MIN, SHRT_MAX);
}

class ContourBuilder {
public:
    Contours contours;

    explicit ContourBuilder(int elements) { contours.points.reserve(size_t(std::max(0, elements))); }

    void moveTo(QPointF p) {
        close();
        contours.points.push_back(point(p, true));
        last_ = p;
    }
    void lineTo(QPointF p) {
        add(point(p, true));
        last_ = p;
    }
    void cubicTo(QPointF c1, QPointF c2, QPointF p3) {
        cubic(last_, c1, c2, p3, 0);
        last_ = p3;
    }
    void close() {
        std::vector<Point>& points = contours.points;
        const size_t start = currentStart();
        // TrueType contours close themselves: a last point on the first one is dropped.
        if (points.size() > start + 1 && points.back().onCurve && points.back().x == points[start].x &&
            points.back().y == points[start].y)
            points.pop_back();
        if (points.size() >= start + 2)
            contours.ends.push_back(int(points.size()));
        else
            points.resize(start);
    }

private:
    // Where the contour being built starts in the points.
    size_t currentStart() const { return contours.ends.empty() ? 0 : size_t(contours.ends.back()); }

    // Font outlines from Qt have y downwards; TrueType has it upwards.
    static Point point(QPointF p, bool onCurve) { return Point{clampToShort(p.x()), clampToShort(-p.y()), onCurve}; }

    void add(Point p) {
        std::vector<Point>& points = contours.points;
        if (points.size() > currentStart() && p.onCurve && points.back().onCurve && points.back().x == p.x &&
            points.back().y == p.y)
            return;
        points.push_back(p);
    }

    // One quadratic curve where it is close enough to the cubic one, else the two halves.
    void cubic(QPointF p0, QPointF c1, QPointF c2, QPointF p3, int depth) {
        const QPointF q = (3 * (c1 + c2) - p0 - p3) / 4;
        const QPointF d = p3 - 3 * c2 + 3 * c1 - p0;
        const qreal error = std::hypot(d.x(), d.y()) * std::sqrt(3.0) / 36;
        if (error <= kTolerance || depth >= kMaxSplitDepth) {
            add(point(q, false));
            add(point(p3, true));
            return;
        }
        const QPointF a = (p0 + c1) / 2, b = (c1 + c2) / 2, c = (c2 + p3) / 2;
        const QPointF ab = (a + b) / 2, bc = (b + c) / 2;
        const QPointF mid = (ab + bc) / 2;
        cubic(p0, a, ab, mid, depth + 1);
        cubic(mid, bc, c, p3, depth + 1);
    }

    QPointF last_;
};

Contours contoursOf(const QPainterPath& path) {
    ContourBuilder builder(path.elementCount());
    for (int i = 0; i < path.elementCount(); ++i) {
        const QPainterPath::Element e = path.elementAt(i);
        switch (e.type) {
        case QPainterPath::MoveToElement:
            builder.moveTo(e);
            break;
        case QPainterPath::LineToElement:
            builder.lineTo(e);
            break;
        case QPainterPath::CurveToElement:
            if (i + 2 < path.elementCount()) {
                builder.cubicTo(e, path.elementAt(i + 1), path.elementAt(i + 2));
                i += 2;
            }
            break;
        case QPainterPath::CurveToDataElement:
            break;
        }
    }
    builder.close();
    return std::move(builder.contours);
}

struct Box {
    int xMin = SHRT_MAX, yMin = SHRT_MAX, xMax = SHRT_MIN, yMax = SHRT_MIN;
    bool empty() const { return xMin > xMax; }
    void add(int x, int y) {
        xMin = std::min(xMin, x);
        yMin = std::min(yMin, y);
        xMax = std::max(xMax, x);
        yMax = std::max(yMax, y);
    }
    void add(const Box& o) {
        if (!o.empty()) {
            add(o.xMin, o.yMin);
            add(o.xMax, o.yMax);
        }
    }
};

// One coordinate as a delta from the last point; returns its flag bits. `shortBit` says one byte;
// `sameBit` then says positive, and without it says unchanged (no bytes at all).
int encodeDelta(int delta, int shortBit, int sameBit, Bytes& out) {
    if (delta == 0)
        return sameBit;
    if (std::abs(delta) < 256) {
        out.u8(std::abs(delta));
        return shortBit | (delta > 0 ? sameBit : 0);
    }
    out.i16(delta);
    return 0;
}

quint32 checksum(const QByteArray& table) {
    quint32 sum = 0;
    const qsizetype n = table.size();
    for (qsizetype i = 0; i < n; i += 4) {
        quint32 word = 0;
        for (qsizetype k = 0; k < 4; ++k)
            word = (word << 8) | (i + k < n ? quint8(table[i + k]) : 0u);
        sum += word;
    }
    return sum;
}

struct Table {
    std::array<char, 4> tag;
    QByteArray data;
};

} // namespace

// A simple glyph: contour ends, no instructions, then flags and coordinates as deltas, short
// where they fit in a byte.
TrueTypeGlyph encodeTrueTypeGlyph(const OutlineGlyph& glyph) {
    TrueTypeGlyph g;
    g.advance = glyph.advance;
    const Contours contours = contoursOf(glyph.path);
    if (contours.ends.empty())
        return g;
    Box box;
    for (const Point& p : contours.points)
        box.add(p.x, p.y);
    g.xMin = box.xMin;
    g.yMin = box.yMin;
    g.xMax = box.xMax;
    g.yMax = box.yMax;
    g.points = int(contours.points.size());
    g.contours = int(contours.ends.size());
    Bytes out;
    // Header, contour ends and flags, then up to two bytes per coordinate.
    out.data().reserve(10 + 2 * g.contours + 2 + 5 * g.points + 3);
    out.i16(g.contours);
    out.i16(g.xMin);
    out.i16(g.yMin);
    out.i16(g.xMax);
    out.i16(g.yMax);
    for (const int end : contours.ends)
        out.u16(end - 1);
    out.u16(0); // no instructions
    Bytes xs, ys;
    xs.data().reserve(2 * g.points);
    ys.data().reserve(2 * g.points);
    QByteArray flags;
    flags.reserve(g.points);
    int lastX = 0, lastY = 0;
    for (const Point& p : contours.points) {
        int flag = p.onCurve ? 0x01 : 0x00;
        flag |= encodeDelta(p.x - lastX, 0x02, 0x10, xs);
        flag |= encodeDelta(p.y - lastY, 0x04, 0x20, ys);
        flags.append(char(flag));
        lastX = p.x;
        lastY = p.y;
    }
    out.data().append(flags);
    out.data().append(xs.data());
    out.data().append(ys.data());
    out.padTo4();
    g.outline = std::move(out.data());
    return g;
}

QByteArray buildTrueType(const std::vector<OutlineGlyph>& glyphs, const TrueTypeMetrics& metrics) {
    std::vector<TrueTypeGlyph> encoded;
    encoded.reserve(glyphs.size());
    for (const OutlineGlyph& glyph : glyphs)
        encoded.push_back(encodeTrueTypeGlyph(glyph));
    return buildTrueType(encoded, metrics);
}

QByteArray buildTrueType(const std::vector<TrueTypeGlyph>& glyphs, const TrueTypeMetrics& metrics) {
    const int count = std::max<int>(1, int(glyphs.size()));
    Bytes glyf, loca, hmtx;
    Box fontBox;
    int maxPoints = 0, maxContours = 0, maxAdvance = 0;
    int minLsb = SHRT_MAX, minRsb = SHRT_MAX, maxExtent = SHRT_MIN;
    const TrueTypeGlyph none;
    for (int i = 0; i < count; ++i) {
        loca.u32(quint32(glyf.size()));
        const TrueTypeGlyph& g = i < int(glyphs.size()) ? glyphs[size_t(i)] : none;
        const int advance = std::clamp(g.advance, 0, 0xffff);
        glyf.data().append(g.outline);
        Box box;
        if (!g.outline.isEmpty())
            box = Box{g.xMin, g.yMin, g.xMax, g.yMax};
        fontBox.add(box);
        maxPoints = std::max(maxPoints, g.points);
        maxContours = std::max(maxContours, g.contours);
        maxAdvance = std::max(maxAdvance, advance);
        const int lsb = box.empty() ? 0 : box.xMin;
        hmtx.u16(advance);
        hmtx.i16(lsb);
        if (!box.empty()) {
            minLsb = std::min(minLsb, lsb);
            minRsb = std::min(minRsb, advance - box.xMax);
            maxExtent = std::max(maxExtent, box.xMax);
        }
    }
    loca.u32(quint32(glyf.size()));
    if (fontBox.empty())
        fontBox = Box{0, 0, 0, 0};
    if (minLsb == SHRT_MAX)
        minLsb = minRsb = maxExtent = 0;

    Bytes head;
    head.u32(0x00010000);
    head.u32(0x00010000);
    head.u32(0); // checksum adjustment, set below
    head.u32(0x5F0F3CF5);
    head.u16(0x000B);
    head.u16(std::clamp(metrics.unitsPerEm, 16, 16384));
    head.zeros(16); // created, modified
    head.i16(fontBox.xMin);
    head.i16(fontBox.yMin);
    head.i16(fontBox.xMax);
    head.i16(fontBox.yMax);
    head.u16((metrics.bold ? 1 : 0) | (metrics.italic ? 2 : 0)); // mac style
    head.u16(8);                                                 // smallest readable size
    head.i16(2);
    head.i16(1); // long offsets in loca
    head.i16(0);

    Bytes hhea;
    hhea.u32(0x00010000);
    hhea.i16(metrics.ascent);
    hhea.i16(-metrics.descent);
    hhea.i16(0);
    hhea.u16(maxAdvance);
    hhea.i16(minLsb);
    hhea.i16(minRsb);
    hhea.i16(maxExtent);
    hhea.i16(1); // caret slope: upright
    hhea.i16(0);
    hhea.i16(0);
    hhea.zeros(8);
    hhea.i16(0);
    hhea.u16(count);

    Bytes maxp;
    maxp.u32(0x00010000);
    maxp.u16(count);
    maxp.u16(maxPoints);
    maxp.u16(maxContours);
    maxp.u16(0);
    maxp.u16(0);
    maxp.u16(2); // zones
    maxp.zeros(16);

    // Glyphs are chosen by number in the PDF: the character map is empty, and only there because
    // some readers insist on one.
    Bytes cmap;
    cmap.u16(0);
    cmap.u16(1);
    cmap.u16(3);
    cmap.u16(1);
    cmap.u32(12);
    cmap.u16(4);
    cmap.u16(24);
    cmap.u16(0);
    cmap.u16(2); // one segment
    cmap.u16(2);
    cmap.u16(0);
    cmap.u16(0);
    cmap.u16(0xFFFF);
    cmap.u16(0);
    cmap.u16(0xFFFF);
    cmap.u16(1);
    cmap.u16(0);

    // Family, style, unique name, full name, version and PostScript name, in UTF-16 for Windows.
    const QString style = metrics.bold ? (metrics.italic ? QStringLiteral("Bold Italic") : QStringLiteral("Bold"))
                                       : (metrics.italic ? QStringLiteral("Italic") : QStringLiteral("Regular"));
    const QString family = metrics.familyName.isEmpty() ? QStringLiteral("Font") : metrics.familyName;
    const QString postScript = QString::fromLatin1(metrics.postScriptName.isEmpty() ? "Font" : metrics.postScriptName);
    const QString strings[] = {family,    style, postScript, family + u' ' + style, QStringLiteral("Version 1.0"),
                               postScript};
    Bytes name, nameStrings;
    name.u16(0);
    name.u16(6);
    name.u16(6 + 6 * 12);
    for (int id = 1; id <= 6; ++id) {
        const QString& text = strings[id - 1];
        name.u16(3);
        name.u16(1);
        name.u16(0x409);
        name.u16(id);
        name.u16(int(text.size() * 2));
        name.u16(int(nameStrings.size()));
        for (const QChar c : text)
            nameStrings.u16(c.unicode());
    }
    name.data().append(nameStrings.data());

    // OS/2 version 4: the weight, the style and the vertical metrics; no character ranges, as the
    // glyphs are chosen by number.
    Bytes os2;
    const int averageWidth = count > 0 ? std::clamp(maxAdvance / 2, 0, SHRT_MAX) : 0;
    os2.u16(4);
    os2.i16(averageWidth);
    os2.u16(std::clamp(metrics.weightClass, 1, 1000));
    os2.u16(5); // normal width
    os2.u16(0); // embedding: installable
    const int em = std::clamp(metrics.unitsPerEm, 16, 16384);
    for (int v : {em * 65 / 100, em * 6 / 10, 0, em * 75 / 1000, em * 65 / 100, em * 6 / 10, 0, em * 35 / 100})
        os2.i16(v);       // sub- and superscript sizes and offsets
    os2.i16(em / 20);     // strikeout size
    os2.i16(em * 3 / 10); // strikeout position
    os2.i16(0);           // family class
    os2.zeros(10);        // panose
    os2.zeros(16);        // unicode ranges
    os2.data().append("ZNDK", 4);
    os2.u16((metrics.italic ? 0x01 : 0) | (metrics.bold ? 0x20 : 0) | (!metrics.bold && !metrics.italic ? 0x40 : 0));
    os2.u16(0x20);   // first character
    os2.u16(0xFFFF); // last character
    os2.i16(metrics.ascent);
    os2.i16(-metrics.descent);
    os2.i16(0);
    os2.u16(std::clamp(std::max(metrics.ascent, fontBox.yMax), 0, 0xffff));
    os2.u16(std::clamp(std::max(metrics.descent, -fontBox.yMin), 0, 0xffff));
    os2.zeros(8); // code page ranges
    os2.i16(0);   // x height
    os2.i16(0);   // cap height
    os2.u16(0);   // default character
    os2.u16(0x20);
    os2.u16(0); // max context

    Bytes post;
    post.u32(0x00030000);
    post.zeros(28);

    std::vector<Table> tables;
    tables.push_back({{'O', 'S', '/', '2'}, os2.data()});
    tables.push_back({{'c', 'm', 'a', 'p'}, cmap.data()});
    tables.push_back({{'g', 'l', 'y', 'f'}, glyf.data()});
    tables.push_back({{'h', 'e', 'a', 'd'}, head.data()});
    tables.push_back({{'h', 'h', 'e', 'a'}, hhea.data()});
    tables.push_back({{'h', 'm', 't', 'x'}, hmtx.data()});
    tables.push_back({{'l', 'o', 'c', 'a'}, loca.data()});
    tables.push_back({{'m', 'a', 'x', 'p'}, maxp.data()});
    tables.push_back({{'n', 'a', 'm', 'e'}, name.data()});
    tables.push_back({{'p', 'o', 's', 't'}, post.data()});

    const int numTables = int(tables.size());
    int entrySelector = 0;
    while ((2 << entrySelector) <= numTables)
        ++entrySelector;
    const int searchRange = 16 << entrySelector;
    Bytes font;
    font.u32(0x00010000);
    font.u16(numTables);
    font.u16(searchRange);
    font.u16(entrySelector);
    font.u16(numTables * 16 - searchRange);
    quint32 offset = quint32(12 + 16 * numTables);
    for (const Table& t : tables) {
        font.data().append(t.tag.data(), 4);
        font.u32(checksum(t.data));
        font.u32(offset);
        font.u32(quint32(t.data.size()));
        offset += quint32((t.data.size() + 3) & ~qsizetype(3));
    }
    qsizetype headOffset = 0;
    for (const Table& t : tables) {
        if (t.tag == std::array<char, 4>{'h', 'e', 'a', 'd'})
            headOffset = font.size();
        font.data().append(t.data);
        font.padTo4();
    }
    const quint32 adjustment = 0xB1B0AFBAu - checksum(font.data());
    qToBigEndian(adjustment, font.data().data() + headOffset + 8);
    return std::move(font.data());
}

} // namespace zendrik
