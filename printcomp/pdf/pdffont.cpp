#include "pdf/pdffont.h"

#include "pdf/truetype.h"

#include <QHash>

#include <algorithm>
#include <cmath>
#include <mutex>
#include <numeric>
#include <utility>

namespace zendrik {

namespace {

// Each glyph written, in the font program's form, for the process: every job that prints with a
// face embeds its glyphs again, and taking a glyph's outline and encoding it was most of the time
// of writing a font. Bounded; a face's serial number is never given to another.
class WrittenGlyphs {
public:
    struct Glyph {
        TrueTypeGlyph encoded;
        QRectF bounds; // of the outline, font units, y downwards
    };
    Glyph glyph(const FontFace& face, quint32 id) {
        const Key key{face.serial(), id};
        {
            std::lock_guard lock(mutex_);
            if (const auto it = glyphs_.constFind(key); it != glyphs_.constEnd())
                return *it;
        }
        OutlineGlyph outline;
        outline.path = face.outline(id);
        const Glyph made{encodeTrueTypeGlyph(outline), outline.path.boundingRect()};
        std::lock_guard lock(mutex_);
        if (glyphs_.size() >= kMaxGlyphs)
            glyphs_.clear();
        glyphs_.insert(key, made);
        return made;
    }

private:
    static constexpr qsizetype kMaxGlyphs = 8192;
    using Key = std::pair<quint64, quint32>;
    std::mutex mutex_;
    QHash<Key, Glyph> glyphs_;
};

WrittenGlyphs& writtenGlyphs() {
    static WrittenGlyphs written;
    return written;
}

// Six capitals that mark the font as a subset, different for each font of the document.
QByteArray subsetTag(int index) {
    QByteArray tag(6, 'A');
    for (int i = 5; i >= 0 && index > 0; --i) {
        tag[i] = char('A' + index % 26);
        index /= 26;
    }
    return tag;
}

QByteArray postScriptName(const FontFace& face) {
    QByteArray name;
    for (const QChar c : face.familyName()) {
        if (c.unicode() < 128 && c.isLetterOrNumber())
            name.append(char(c.unicode()));
    }
    if (name.isEmpty())
        name = "Font";
    if (face.bold() || face.italic())
        name.append(QByteArray("-") + (face.bold() ? "Bold" : "") + (face.italic() ? "Italic" : ""));
    return name;
}

qint32 bigEndian(const QByteArray& table, qsizetype at, int bytes, bool isSigned = false) {
    quint32 value = 0;
    for (int i = 0; i < bytes; ++i)
        value = (value << 8) | (at + i < table.size() ? quint8(table[at + i]) : 0u);
    if (isSigned && bytes == 2)
        return qint16(value);
    return qint32(value);
}

QList<QStringView> codePoints(QStringView text) {
    QList<QStringView> points;
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype length = text.at(i).isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        points.push_back(text.mid(i, length));
        i += length;
    }
    return points;
}

} // namespace

PdfFont::PdfFont(std::shared_ptr<const FontFace> face, int objectNumber, int index)
    : face_(std::move(face)), unitsPerEm_(face_->unitsPerEm()), object_(objectNumber),
      resourceName_("F" + QByteArray::number(index)) {
    baseName_ = subsetTag(index) + '+' + postScriptName(*face_);
    glyphs_.push_back(0);
    advances_.push_back(0);
    widths_.push_back(0);
    text_.emplace_back();
    singles_.push_back(0);
    codes_.resize(1, 0);
}

quint16 PdfFont::addGlyph(quint32 glyph) {
    if (glyph > 0xFFFF || glyphs_.size() > 0xFFFF)
        return 0;
    if (glyph >= codes_.size())
        codes_.resize(std::max<size_t>(glyph + 1, codes_.size() * 2), 0);
    const int units = face_->advance(glyph);
    const auto code = quint16(glyphs_.size());
    codes_[glyph] = code;
    glyphs_.push_back(glyph);
    advances_.push_back(units);
    widths_.push_back(int(std::lround(units * 1000.0 / unitsPerEm_)));
    text_.emplace_back();
    singles_.push_back(0);
    return code;
}

quint16 PdfFont::textCode(const QString& text) {
    if (const quint16 known = textCodes_.value(text))
        return known;
    if (glyphs_.size() > 0xFFFF)
        return 0;
    const auto code = quint16(glyphs_.size());
    glyphs_.push_back(kNoGlyph);
    advances_.push_back(0);
    widths_.push_back(0);
    text_.push_back(text);
    singles_.push_back(0);
    textCodes_.insert(text, code);
    return code;
}

bool PdfFont::mapCluster(const quint16* codes, qsizetype count, QStringView text, std::vector<int>& order,
                         std::vector<QString>* trailing) {
    order.resize(size_t(count));
    if (trailing)
        trailing->assign(size_t(count), QString());
    // The text of glyph i of the cluster.
    const auto assign = [&](qsizetype i, QStringView share) {
        if (trailing && share.size() > 1) {
            const qsizetype first = share.at(0).isHighSurrogate() ? 2 : 1;
            if (share.size() > first) {
                (*trailing)[size_t(i)] = share.mid(first).toString();
                share = share.first(first);
            }
        }
        QString& known = text_[codes[i]];
        if (known.isNull()) {
            known = share.toString();
            if (known.size() == 1 && !known.at(0).isSurrogate())
                singles_[codes[i]] = known.at(0).unicode();
        }
        return !share.isEmpty() && known == share;
    };
    if (count == 1) {
        order[0] = 0;
        return assign(0, text);
    }
    // Each glyph the character map gives a character of the cluster stands for that character;
    // one glyph the map knows nothing of (a conjunct, a contextual form) for all the others.
    const QList<QStringView> points = codePoints(text);
    std::vector<int> key(size_t(count), -1);
    std::vector<bool> used(size_t(points.size()), false);
    for (qsizetype i = 0; i < count; ++i) {
        for (qsizetype j = 0; j < points.size(); ++j) {
            if (!used[size_t(j)] && face_->glyphFor(points[j].toUcs4().value(0)) == glyphs_[codes[i]]) {
                key[size_t(i)] = int(j);
                used[size_t(j)] = true;
                break;
            }
        }
    }
    std::vector<QString> shares(static_cast<size_t>(count));
    for (qsizetype i = 0; i < count; ++i) {
        if (key[size_t(i)] >= 0)
            shares[size_t(i)] = points[key[size_t(i)]].toString();
    }
    int rest = -1;
    QString others;
    for (qsizetype j = 0; j < points.size(); ++j) {
        if (!used[size_t(j)]) {
            if (rest < 0)
                rest = int(j);
            others += points[j];
        }
    }
    for (qsizetype i = 0; i < count; ++i) {
        if (key[size_t(i)] < 0 && rest >= 0) {
            key[size_t(i)] = rest;
            shares[size_t(i)] = others;
            rest = -1;
        }
    }
    bool exact = rest < 0;
    int last = -1;
    for (qsizetype i = 0; i < count; ++i) {
        if (key[size_t(i)] < 0)
            key[size_t(i)] = last; // a glyph of no character of its own follows its neighbour
        last = key[size_t(i)];
    }
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return key[size_t(a)] < key[size_t(b)]; });
    for (qsizetype i = 0; i < count; ++i)
        exact = assign(i, shares[size_t(i)]) && exact;
    return exact;
}

QByteArray PdfFont::toUnicodeMap() const {
    QByteArray cmap = "/CIDInit /ProcSet findresource begin\n12 dict begin\nbegincmap\n"
                      "/CIDSystemInfo << /Registry (Adobe) /Ordering (UCS) /Supplement 0 >> def\n"
                      "/CMapName /Adobe-Identity-UCS def\n/CMapType 2 def\n"
                      "1 begincodespacerange\n<0000> <FFFF>\nendcodespacerange\n";
    std::vector<size_t> mapped;
    for (size_t code = 1; code < text_.size(); ++code) {
        if (!text_[code].isEmpty())
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
            for (const QChar c : text_[mapped[i]])
                pdf::appendHex4(cmap, c.unicode());
            cmap.append(">\n");
        }
        cmap.append("endbfchar\n");
    }
    cmap.append("endcmap\nCMapName currentdict /CMap defineresource pop\nend\nend\n");
    return cmap;
}

QByteArray PdfFont::descriptor(const QRectF& box, int fileObject) const {
    const double scale = 1000.0 / unitsPerEm_;
    const QByteArray os2 = face_->table("OS/2");
    const QByteArray post = face_->table("post");
    const QByteArray head = face_->table("head");
    // What the font says of itself; for fonts without tables (Type 1), what their style says.
    const double italicAngle = post.size() >= 8 ? bigEndian(post, 4, 4) / 65536.0 : face_->italic() ? -12 : 0;
    const bool fixedPitch = post.size() >= 16 && bigEndian(post, 12, 4) != 0;
    const int weightClass = os2.size() >= 6 ? bigEndian(os2, 4, 2) : face_->bold() ? 700 : 400;
    int capHeight = os2.size() >= 90 && bigEndian(os2, 0, 2) >= 2 ? bigEndian(os2, 88, 2, true) : 0;
    if (capHeight <= 0) {
        const QRectF h = face_->outline(face_->glyphFor(u'H')).boundingRect();
        capHeight = h.isEmpty() ? face_->ascent() : int(std::lround(-h.top()));
    }
    const bool serif = os2.size() >= 32 && (bigEndian(os2, 30, 2) >> 8) >= 1 && (bigEndian(os2, 30, 2) >> 8) <= 7;
    const bool italic = italicAngle != 0 || face_->italic() || (head.size() >= 46 && (bigEndian(head, 44, 2) & 2));
    int flags = 4; // symbolic: glyphs are chosen by number, not by a standard encoding
    if (fixedPitch)
        flags |= 1;
    if (serif)
        flags |= 2;
    if (italic)
        flags |= 64;
    if (face_->bold() && weightClass < 600)
        flags |= 1 << 18; // force bold: made up from a regular face
    // Stem width estimated from the weight class, as readers do for fonts that do not state it.
    const int stemV = int(std::lround(10 + 220 * std::pow((std::clamp(weightClass, 100, 900) - 50) / 900.0, 2)));

    QByteArray d = "<< /Type /FontDescriptor /FontName /" + baseName_ + " /Flags ";
    pdf::appendInt(d, flags);
    d.append(" /FontBBox [");
    pdf::appendInt(d, std::lround(box.left() * scale));
    d.append(' ');
    pdf::appendInt(d, std::lround(-box.bottom() * scale));
    d.append(' ');
    pdf::appendInt(d, std::lround(box.right() * scale));
    d.append(' ');
    pdf::appendInt(d, std::lround(-box.top() * scale));
    d.append("] /ItalicAngle ");
    pdf::appendReal(d, italicAngle != 0 ? italicAngle : face_->syntheticItalic() ? -12 : 0);
    d.append(" /Ascent ");
    pdf::appendInt(d, std::lround(face_->ascent() * scale));
    d.append(" /Descent ");
    pdf::appendInt(d, -std::lround(face_->descent() * scale));
    d.append(" /CapHeight ");
    pdf::appendInt(d, std::lround(capHeight * scale));
    d.append(" /StemV ");
    pdf::appendInt(d, stemV);
    d.append(" /FontFile2 ");
    pdf::appendInt(d, fileObject);
    d.append(" 0 R >>");
    return d;
}

void PdfFont::write(PdfWriter& pdf) const {
    std::vector<TrueTypeGlyph> outlines(glyphs_.size());
    QRectF box;
    for (size_t code = 0; code < glyphs_.size(); ++code) {
        if (glyphs_[code] != kNoGlyph) {
            const WrittenGlyphs::Glyph written = writtenGlyphs().glyph(*face_, glyphs_[code]);
            outlines[code] = written.encoded;
            box = box.united(written.bounds);
        }
        outlines[code].advance = advances_[code];
    }
    const QByteArray os2 = face_->table("OS/2");
    TrueTypeMetrics metrics;
    metrics.unitsPerEm = unitsPerEm_;
    metrics.ascent = face_->ascent();
    metrics.descent = face_->descent();
    metrics.familyName = face_->familyName();
    metrics.postScriptName = baseName_.mid(7);
    metrics.weightClass = os2.size() >= 6 ? bigEndian(os2, 4, 2) : face_->bold() ? 700 : 400;
    metrics.bold = face_->bold();
    metrics.italic = face_->italic();
    const QByteArray program = buildTrueType(outlines, metrics);

    const int fileObject = pdf.reserveObject();
    const int descriptorObject = pdf.reserveObject();
    const int cidFontObject = pdf.reserveObject();
    const int toUnicodeObject = pdf.reserveObject();

    pdf.writeStream(fileObject, "/Length1 " + QByteArray::number(program.size()), program, true);
    pdf.writeObject(descriptorObject, descriptor(box, fileObject));

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

PdfFont& PdfFontSet::fontFor(const std::shared_ptr<const FontFace>& face) {
    if (PdfFont* known = byFace_.value(face.get()))
        return *known;
    fonts_.push_back(std::make_unique<PdfFont>(face, pdf_.reserveObject(), int(fonts_.size())));
    byFace_.insert(face.get(), fonts_.back().get());
    return *fonts_.back();
}

const PdfImage* PdfFontSet::imageFor(const FontFace& face, quint32 glyph) {
    const QPair<const FontFace*, quint32> key(&face, glyph);
    if (auto it = images_.constFind(key); it != images_.constEnd())
        return it->get();
    auto image = std::make_shared<PdfImage>();
    const QImage picture = face.bitmap(glyph, &image->box).convertToFormat(QImage::Format_ARGB32);
    if (picture.isNull() || image->box.isEmpty()) {
        images_.insert(key, nullptr);
        return nullptr;
    }
    QByteArray rgb, alpha;
    rgb.reserve(qsizetype(picture.width()) * picture.height() * 3);
    alpha.reserve(qsizetype(picture.width()) * picture.height());
    for (int y = 0; y < picture.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(picture.constScanLine(y));
        for (int x = 0; x < picture.width(); ++x) {
            rgb.append(char(qRed(line[x])));
            rgb.append(char(qGreen(line[x])));
            rgb.append(char(qBlue(line[x])));
            alpha.append(char(qAlpha(line[x])));
        }
    }
    const QByteArray size = "/Width " + QByteArray::number(picture.width()) + " /Height " +
                            QByteArray::number(picture.height()) + " /BitsPerComponent 8";
    const int maskObject = pdf_.reserveObject();
    pdf_.writeStream(maskObject, "/Type /XObject /Subtype /Image /ColorSpace /DeviceGray " + size, alpha, true);
    const int imageObject = pdf_.reserveObject();
    pdf_.writeStream(imageObject,
                     "/Type /XObject /Subtype /Image /ColorSpace /DeviceRGB " + size + " /SMask " +
                         QByteArray::number(maskObject) + " 0 R",
                     rgb, true);
    image->resourceName = "Im" + QByteArray::number(imageObjects_.size() + 1);
    image->objectNumber = imageObject;
    imageObjects_.emplace_back(image->resourceName, imageObject);
    images_.insert(key, image);
    return image.get();
}

void PdfFontSet::writeFonts() const {
    for (const auto& font : fonts_)
        font->write(pdf_);
}

QByteArray PdfFontSet::fonts() const {
    QByteArray dict = "<<";
    for (const auto& font : fonts_) {
        dict.append(" /" + font->resourceName() + ' ');
        pdf::appendInt(dict, font->objectNumber());
        dict.append(" 0 R");
    }
    dict.append(" >>");
    return dict;
}

QByteArray PdfFontSet::images() const {
    if (imageObjects_.empty())
        return {};
    QByteArray dict = "<<";
    for (const auto& [name, object] : imageObjects_) {
        dict.append(" /" + name + ' ');
        pdf::appendInt(dict, object);
        dict.append(" 0 R");
    }
    dict.append(" >>");
    return dict;
}

} // namespace zendrik
