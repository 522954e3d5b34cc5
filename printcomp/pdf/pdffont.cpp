#include "pdf/pdffont.h"

#include "pdf/truetype.h"

#include <algorithm>
#include <cmath>

namespace zendrik {

namespace {

// Six capitals that mark the font as a subset, different for each font of the document.
QByteArray subsetTag(int index) {
    QByteArray tag(6, 'A');
    for (int i = 5; i >= 0 && index > 0; --i) {
        tag[i] = char('A' + index % 26);
        index /= 26;
    }
    return tag;
}

// The family name from the font's naming table (Qt's own is missing for some fallback fonts).
QString familyName(const QByteArray& names) {
    const auto u16 = [&](qsizetype at) {
        return at + 2 <= names.size() ? (quint8(names[at]) << 8) | quint8(names[at + 1]) : 0;
    };
    const int count = u16(2);
    const int strings = u16(4);
    QString fallback;
    for (int i = 0; i < count; ++i) {
        const qsizetype record = 6 + 12 * qsizetype(i);
        const int platform = u16(record), nameId = u16(record + 6);
        const int length = u16(record + 8), offset = u16(record + 10);
        if (nameId != 1 || strings + offset + length > names.size())
            continue;
        const QByteArray raw = names.mid(strings + offset, length);
        if (platform == 0 || platform == 3) {
            QString name;
            for (qsizetype k = 0; k + 1 < raw.size(); k += 2)
                name.append(QChar(char16_t((quint8(raw[k]) << 8) | quint8(raw[k + 1]))));
            return name;
        }
        if (platform == 1)
            fallback = QString::fromLatin1(raw);
    }
    return fallback;
}

QByteArray postScriptName(const QRawFont& font, bool boxes) {
    // Type 1 fonts have no naming table; Qt's stand-in boxes have no name at all.
    const QByteArray names = font.fontTable("name");
    const QString family = !names.isEmpty() ? familyName(names) : boxes ? QString() : font.familyName();
    QByteArray name;
    for (const QChar c : family) {
        if (c.unicode() < 128 && c.isLetterOrNumber())
            name.append(char(c.unicode()));
    }
    if (name.isEmpty())
        name = "Font";
    const bool bold = font.weight() >= QFont::DemiBold;
    const bool italic = font.style() != QFont::StyleNormal;
    if (bold || italic)
        name.append(QByteArray("-") + (bold ? "Bold" : "") + (italic ? "Italic" : ""));
    return name;
}

quint32 bigEndian(const QByteArray& table, qsizetype at, int bytes) {
    quint32 value = 0;
    for (int i = 0; i < bytes; ++i)
        value = (value << 8) | (at + i < table.size() ? quint8(table[at + i]) : 0u);
    return value;
}

// Qt makes a regular face bold where no bold one is installed, but its outlines stay regular:
// the same rule as Qt's (a bold weight asked for, the face neither bold nor of fixed pitch).
bool isSyntheticBold(const QRawFont& font) {
    if (font.weight() < QFont::Bold)
        return false;
    const QByteArray head = font.fontTable("head");
    const QByteArray os2 = font.fontTable("OS/2");
    const QByteArray post = font.fontTable("post");
    if (head.size() < 46 || os2.size() < 6 || post.size() < 16)
        return false;
    const bool boldFace = (bigEndian(head, 44, 2) & 1) != 0 || bigEndian(os2, 4, 2) >= QFont::Bold;
    const bool fixedPitch = bigEndian(post, 12, 4) != 0;
    return !boldFace && !fixedPitch;
}

QPainterPath hollowBox(qreal advance, qreal height) {
    if (advance <= 0 || height <= 0)
        return {};
    const QRectF outer(advance * 0.1, -height * 0.9, advance * 0.8, height * 0.9);
    const qreal stroke = std::max<qreal>(1, advance * 0.08);
    const QRectF inner = outer.adjusted(stroke, stroke, -stroke, -stroke);
    QPainterPath path;
    path.moveTo(outer.topLeft());
    path.lineTo(outer.topRight());
    path.lineTo(outer.bottomRight());
    path.lineTo(outer.bottomLeft());
    path.closeSubpath();
    // The other way round, so that it cuts a hole.
    path.moveTo(inner.topLeft());
    path.lineTo(inner.bottomLeft());
    path.lineTo(inner.bottomRight());
    path.lineTo(inner.topRight());
    path.closeSubpath();
    return path;
}

} // namespace

PdfFont::PdfFont(const QRawFont& font, int objectNumber, int index)
    : em_(font), unitsPerEm_(std::clamp(int(std::lround(font.unitsPerEm())), 16, 16384)), object_(objectNumber),
      resourceName_("F" + QByteArray::number(index)) {
    // Qt's stand-in for characters no installed font has is no font file and has no size: its
    // glyphs are drawn as hollow boxes, so that the reader sees something is missing.
    boxes_ = font.pixelSize() <= 0 && font.fontTable("head").isEmpty();
    baseName_ = subsetTag(index) + '+' + postScriptName(font, boxes_);
    syntheticBold_ = isSyntheticBold(font);
    if (!boxes_)
        em_.setPixelSize(unitsPerEm_);
    glyphs_.push_back(0);
    advances_.push_back(0);
    widths_.push_back(0);
    codes_.resize(1, 0);
}

quint16 PdfFont::addGlyph(quint32 glyph) {
    if (glyph > 0xFFFF || glyphs_.size() > 0xFFFF)
        return 0;
    if (glyph >= codes_.size())
        codes_.resize(std::max<size_t>(glyph + 1, codes_.size() * 2), 0);
    QPointF advance;
    em_.advancesForGlyphIndexes(&glyph, &advance, 1, QRawFont::UseDesignMetrics);
    const int units = int(std::lround(advance.x()));
    const auto code = quint16(glyphs_.size());
    codes_[glyph] = code;
    glyphs_.push_back(glyph);
    advances_.push_back(units);
    widths_.push_back(int(std::lround(units * 1000.0 / unitsPerEm_)));
    return code;
}

// Each code maps to the character the face's character map gives its glyph; of several, the
// first in Unicode order (a space rather than a no-break space). Glyphs no character maps to,
// such as ligatures or contextual forms, extract as nothing rather than as something wrong.
QByteArray PdfFont::toUnicodeMap() const {
    std::vector<char32_t> unicode(glyphs_.size(), 0);
    size_t missing = glyphs_.size() - 1;
    auto scan = [&](char32_t first, char32_t last) {
        std::vector<char32_t> points;
        points.reserve(last - first + 1);
        for (char32_t u = first; u <= last; ++u) {
            if (u < 0xD800 || u > 0xDFFF)
                points.push_back(u);
        }
        const QString chars = QString::fromUcs4(points.data(), qsizetype(points.size()));
        std::vector<quint32> found(size_t(chars.size()));
        int count = int(found.size());
        if (!em_.glyphIndexesForChars(chars.constData(), int(chars.size()), found.data(), &count))
            return;
        for (size_t i = 0; i < points.size() && i < size_t(count) && missing > 0; ++i) {
            const quint32 g = found[i];
            if (g == 0 || g >= codes_.size())
                continue;
            const quint16 code = codes_[g];
            if (code != 0 && unicode[code] == 0) {
                unicode[code] = points[i];
                --missing;
            }
        }
    };
    // Qt's stand-in boxes stand for characters that are missing; they extract as nothing.
    if (!boxes_) {
        scan(0x20, 0xFFFF);
        if (missing > 0)
            scan(0x10000, 0x1FFFF);
    }

    QByteArray cmap = "/CIDInit /ProcSet findresource begin\n12 dict begin\nbegincmap\n"
                      "/CIDSystemInfo << /Registry (Adobe) /Ordering (UCS) /Supplement 0 >> def\n"
                      "/CMapName /Adobe-Identity-UCS def\n/CMapType 2 def\n"
                      "1 begincodespacerange\n<0000> <FFFF>\nendcodespacerange\n";
    std::vector<size_t> mapped;
    for (size_t code = 1; code < unicode.size(); ++code) {
        if (unicode[code] != 0)
            mapped.push_back(code);
    }
    // At most a hundred entries per block.
    for (size_t start = 0; start < mapped.size(); start += 100) {
        const size_t end = std::min(mapped.size(), start + 100);
        pdf::appendInt(cmap, qint64(end - start));
        cmap.append(" beginbfchar\n");
        for (size_t i = start; i < end; ++i) {
            cmap.append('<');
            pdf::appendHex4(cmap, unsigned(mapped[i]));
            cmap.append("> <");
            const QString text = QString::fromUcs4(&unicode[mapped[i]], 1);
            for (const QChar c : text)
                pdf::appendHex4(cmap, c.unicode());
            cmap.append(">\n");
        }
        cmap.append("endbfchar\n");
    }
    cmap.append("endcmap\nCMapName currentdict /CMap defineresource pop\nend\nend\n");
    return cmap;
}

void PdfFont::write(PdfWriter& pdf) const {
    std::vector<OutlineGlyph> outlines(glyphs_.size());
    QRectF box;
    for (size_t code = 0; code < glyphs_.size(); ++code) {
        // Qt's own outlines of its stand-in boxes are hairlines, invisible in print.
        outlines[code].path = boxes_ ? hollowBox(advances_[code], em_.ascent()) : em_.pathForGlyph(glyphs_[code]);
        outlines[code].advance = advances_[code];
        box = box.united(outlines[code].path.boundingRect());
    }
    TrueTypeMetrics metrics;
    metrics.unitsPerEm = unitsPerEm_;
    metrics.ascent = int(std::lround(em_.ascent()));
    metrics.descent = int(std::lround(em_.descent()));
    const QByteArray program = buildTrueType(outlines, metrics);

    const double scale = 1000.0 / unitsPerEm_;
    const int fileObject = pdf.reserveObject();
    const int descriptorObject = pdf.reserveObject();
    const int cidFontObject = pdf.reserveObject();
    const int toUnicodeObject = pdf.reserveObject();

    pdf.writeStream(fileObject, "/Length1 " + QByteArray::number(program.size()), program, true);

    QByteArray descriptor = "<< /Type /FontDescriptor /FontName /" + baseName_ + " /Flags 4 /FontBBox [";
    pdf::appendInt(descriptor, std::lround(box.left() * scale));
    descriptor.append(' ');
    pdf::appendInt(descriptor, std::lround(-box.bottom() * scale));
    descriptor.append(' ');
    pdf::appendInt(descriptor, std::lround(box.right() * scale));
    descriptor.append(' ');
    pdf::appendInt(descriptor, std::lround(-box.top() * scale));
    descriptor.append("] /ItalicAngle 0 /Ascent ");
    pdf::appendInt(descriptor, std::lround(metrics.ascent * scale));
    descriptor.append(" /Descent ");
    pdf::appendInt(descriptor, -std::lround(metrics.descent * scale));
    descriptor.append(" /CapHeight ");
    pdf::appendInt(descriptor, std::lround(metrics.ascent * scale));
    descriptor.append(" /StemV 80 /FontFile2 ");
    pdf::appendInt(descriptor, fileObject);
    descriptor.append(" 0 R >>");
    pdf.writeObject(descriptorObject, descriptor);

    QByteArray cidFont = "<< /Type /Font /Subtype /CIDFontType2 /BaseFont /" + baseName_ +
                         " /CIDSystemInfo << /Registry (Adobe) /Ordering (Identity) /Supplement 0 >>"
                         " /FontDescriptor " +
                         QByteArray::number(descriptorObject) + " 0 R /CIDToGIDMap /Identity /DW 0 /W [0 [";
    for (size_t code = 0; code < widths_.size(); ++code) {
        pdf::appendInt(cidFont, widths_[code]);
        cidFont.append(code % 16 == 15 ? '\n' : ' ');
    }
    cidFont.append("]] >>");
    pdf.writeObject(cidFontObject, cidFont);

    pdf.writeStream(toUnicodeObject, QByteArray(), toUnicodeMap(), true);

    pdf.writeObject(object_, "<< /Type /Font /Subtype /Type0 /BaseFont /" + baseName_ +
                                 " /Encoding /Identity-H /DescendantFonts [" + QByteArray::number(cidFontObject) +
                                 " 0 R] /ToUnicode " + QByteArray::number(toUnicodeObject) + " 0 R >>");
}

PdfFont& PdfFontSet::fontFor(const QRawFont& font) {
    if (PdfFont* known = byEngine_.value(font))
        return *known;
    // The same face at another size, or from another of Qt's font objects, is the same font.
    QByteArray face = font.styleName().toUtf8() + '\n' + QByteArray::number(font.weight()) + '\n' +
                      QByteArray::number(int(font.style())) + '\n' + QByteArray::number(font.unitsPerEm()) + '\n' +
                      font.fontTable("head") + font.fontTable("name");
    PdfFont* pdfFont = byFace_.value(face);
    if (!pdfFont) {
        fonts_.push_back(std::make_unique<PdfFont>(font, pdf_.reserveObject(), int(fonts_.size())));
        pdfFont = fonts_.back().get();
        byFace_.insert(face, pdfFont);
    }
    byEngine_.insert(font, pdfFont);
    return *pdfFont;
}

void PdfFontSet::writeFonts() const {
    for (const auto& font : fonts_)
        font->write(pdf_);
}

QByteArray PdfFontSet::resources() const {
    QByteArray dict = "<< /ProcSet [/PDF /Text] /Font <<";
    for (const auto& font : fonts_) {
        dict.append(" /" + font->resourceName() + ' ');
        pdf::appendInt(dict, font->objectNumber());
        dict.append(" 0 R");
    }
    dict.append(" >> >>");
    return dict;
}

} // namespace zendrik
