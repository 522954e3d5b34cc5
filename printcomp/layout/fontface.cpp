#include "layout/fontface.h"

#include <fontconfig/fontconfig.h>
#include <hb-ot.h>
#include <hb.h>

#include <QFont>
#include <QHash>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <deque>
#include <mutex>
#include <unordered_map>
#include <vector>

namespace zendrik {

namespace {

// The tables HarfBuzz reads for shaping, metrics, outlines and colour bitmaps, and those the PDF
// takes its descriptions from.
constexpr const char* kTables[] = {"head", "hhea", "hmtx", "maxp", "cmap", "OS/2", "post", "name", "glyf", "loca",
                                   "CFF ", "CFF2", "GSUB", "GPOS", "GDEF", "kern", "CBDT", "CBLC", "sbix", "vhea",
                                   "vmtx", "VORG", "fvar", "avar", "gvar", "HVAR", "MVAR", "BASE", "STAT"};
// Faces kept for later jobs, beyond those in use.
constexpr size_t kKeptFaces = 8;

quint32 tagOf(const char* tag) {
    return quint32(quint8(tag[0])) << 24 | quint32(quint8(tag[1])) << 16 | quint32(quint8(tag[2])) << 8 |
           quint32(quint8(tag[3]));
}

quint32 bigEndian(const QByteArray& table, qsizetype at, int bytes) {
    quint32 value = 0;
    for (int i = 0; i < bytes; ++i)
        value = (value << 8) | (at + i < table.size() ? quint8(table[at + i]) : 0u);
    return value;
}

// The family name from the font's naming table (Qt's own is missing for some fallback fonts).
QString nameFromTable(const QByteArray& names) {
    const auto u16 = [&](qsizetype at) { return int(bigEndian(names, at, 2)); };
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

QPainterPath hollowBox(qreal advance, qreal height) {
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

// Outlines from HarfBuzz into a QPainterPath, y turned downwards.
hb_draw_funcs_t* pathDrawFuncs() {
    static hb_draw_funcs_t* funcs = [] {
        hb_draw_funcs_t* f = hb_draw_funcs_create();
        hb_draw_funcs_set_move_to_func(
            f,
            [](hb_draw_funcs_t*, void* path, hb_draw_state_t*, float x, float y, void*) {
                static_cast<QPainterPath*>(path)->moveTo(x, -y);
            },
            nullptr, nullptr);
        hb_draw_funcs_set_line_to_func(
            f,
            [](hb_draw_funcs_t*, void* path, hb_draw_state_t*, float x, float y, void*) {
                static_cast<QPainterPath*>(path)->lineTo(x, -y);
            },
            nullptr, nullptr);
        hb_draw_funcs_set_quadratic_to_func(
            f,
            [](hb_draw_funcs_t*, void* path, hb_draw_state_t*, float cx, float cy, float x, float y, void*) {
                static_cast<QPainterPath*>(path)->quadTo(cx, -cy, x, -y);
            },
            nullptr, nullptr);
        hb_draw_funcs_set_cubic_to_func(
            f,
            [](hb_draw_funcs_t*, void* path, hb_draw_state_t*, float c1x, float c1y, float c2x, float c2y, float x,
               float y, void*) { static_cast<QPainterPath*>(path)->cubicTo(c1x, -c1y, c2x, -c2y, x, -y); },
            nullptr, nullptr);
        hb_draw_funcs_set_close_path_func(
            f,
            [](hb_draw_funcs_t*, void* path, hb_draw_state_t*, void*) {
                static_cast<QPainterPath*>(path)->closeSubpath();
            },
            nullptr, nullptr);
        hb_draw_funcs_make_immutable(f);
        return f;
    }();
    return funcs;
}

QByteArray tableOf(hb_face_t* face, const char* tag) {
    hb_blob_t* blob = hb_face_reference_table(face, tagOf(tag));
    unsigned length = 0;
    const char* data = hb_blob_get_data(blob, &length);
    QByteArray bytes(data, qsizetype(length));
    hb_blob_destroy(blob);
    return bytes;
}

// The font file Qt read `font` from, mapped into memory rather than copied: among the files
// fontconfig lists for the family, the one whose header and naming tables are Qt's. Null when
// none is (a font Qt was given from memory).
hb_face_t* mappedFace(const QRawFont& font, const QByteArray& head, const QByteArray& names) {
    if (head.isEmpty())
        return nullptr;
    FcPattern* pattern = FcPatternCreate();
    const QByteArray family = font.familyName().toUtf8();
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.constData()));
    FcObjectSet* objects = FcObjectSetBuild(FC_FILE, FC_INDEX, nullptr);
    FcFontSet* fonts = FcFontList(nullptr, pattern, objects);
    hb_face_t* found = nullptr;
    for (int i = 0; fonts && i < fonts->nfont && !found; ++i) {
        FcChar8* file = nullptr;
        int index = 0;
        if (FcPatternGetString(fonts->fonts[i], FC_FILE, 0, &file) != FcResultMatch)
            continue;
        FcPatternGetInteger(fonts->fonts[i], FC_INDEX, 0, &index);
        hb_blob_t* blob = hb_blob_create_from_file_or_fail(reinterpret_cast<const char*>(file));
        if (!blob)
            continue;
        hb_face_t* face = hb_face_create(blob, unsigned(index & 0xFFFF));
        hb_blob_destroy(blob);
        if (tableOf(face, "head") == head && tableOf(face, "name") == names)
            found = face;
        else
            hb_face_destroy(face);
    }
    if (fonts)
        FcFontSetDestroy(fonts);
    FcObjectSetDestroy(objects);
    FcPatternDestroy(pattern);
    return found;
}

} // namespace

// What a face is made of when its file cannot be mapped: copies of its tables, or, for faces
// without tables (Type 1), its character map, advances and outlines as Qt reads them.
struct FontFace::Snapshot {
    std::vector<std::pair<quint32, QByteArray>> tables;
    std::unordered_map<char32_t, quint32> cmap;
    std::unordered_map<quint32, std::pair<int, QPainterPath>> glyphs;
};

FontFace::FontFace() {
    static std::atomic<quint64> made{0};
    serial_ = ++made;
}

FontFace::~FontFace() {
    delete tables_.load();
    if (font_)
        hb_font_destroy(font_);
    if (face_)
        hb_face_destroy(face_);
}

std::shared_ptr<const FontFace> FontFace::boxes() {
    static const std::shared_ptr<const FontFace> face = [] {
        std::shared_ptr<FontFace> f(new FontFace);
        f->kind_ = Kind::Boxes;
        f->family_ = QStringLiteral("Boxes");
        return f;
    }();
    return face;
}

std::shared_ptr<const FontFace> FontFace::fromRawFont(const QRawFont& font) {
    const QByteArray head = font.fontTable("head");
    const QByteArray names = font.fontTable("name");
    const QByteArray identity = font.familyName().toUtf8() + '\n' + font.styleName().toUtf8() + '\n' +
                                QByteArray::number(font.weight()) + '\n' + QByteArray::number(int(font.style())) +
                                '\n' + QByteArray::number(font.unitsPerEm()) + '\n' + head + names;
    static std::mutex mutex;
    static QHash<QByteArray, std::weak_ptr<const FontFace>> made;
    static std::deque<std::shared_ptr<const FontFace>> kept;
    std::lock_guard lock(mutex);
    if (std::shared_ptr<const FontFace> known = made.value(identity).lock()) {
        auto it = std::find(kept.begin(), kept.end(), known);
        if (it != kept.end())
            kept.erase(it);
        kept.push_front(known);
        return known;
    }

    std::shared_ptr<FontFace> face(new FontFace);
    face->data_ = std::make_unique<Snapshot>();
    Snapshot& data = *face->data_;
    // The head table's units, which HarfBuzz's advances are in: for a bitmap font Qt gives the
    // strike's size in pixels instead.
    const int headUnits = head.size() >= 20 ? int(bigEndian(head, 18, 2)) : 0;
    face->unitsPerEm_ = std::clamp(headUnits >= 16 ? headUnits : int(std::lround(font.unitsPerEm())), 16, 16384);
    QRawFont em(font);
    em.setPixelSize(face->unitsPerEm_);
    face->ascent_ = int(std::lround(em.ascent()));
    face->descent_ = int(std::lround(em.descent()));
    face->family_ = names.isEmpty() ? font.familyName() : nameFromTable(names);
    if (face->family_.isEmpty())
        face->family_ = font.familyName();

    hb_face_t* hbFace = nullptr;
    if (!head.isEmpty()) {
        hbFace = mappedFace(font, head, names);
        if (!hbFace) {
            for (const char* tag : kTables) {
                QByteArray table = font.fontTable(tag);
                if (!table.isEmpty())
                    data.tables.emplace_back(tagOf(tag), std::move(table));
            }
            hbFace = hb_face_create_for_tables(
                [](hb_face_t*, hb_tag_t tag, void* user) -> hb_blob_t* {
                    const auto* snapshot = static_cast<const Snapshot*>(user);
                    for (const auto& [t, bytes] : snapshot->tables) {
                        if (t == tag)
                            return hb_blob_create(bytes.constData(), unsigned(bytes.size()), HB_MEMORY_MODE_READONLY,
                                                  nullptr, nullptr);
                    }
                    return nullptr;
                },
                &data, nullptr);
        }
        hb_face_set_upem(hbFace, unsigned(face->unitsPerEm_));
        face->face_ = hbFace;
        face->font_ = hb_font_create(hbFace);
        face->glyphCount_ = hb_face_get_glyph_count(hbFace);
        const auto has = [&](const char* tag) {
            hb_blob_t* blob = hb_face_reference_table(hbFace, tagOf(tag));
            const bool present = hb_blob_get_length(blob) > 0;
            hb_blob_destroy(blob);
            return present;
        };
        if (!has("glyf") && !has("CFF ") && !has("CFF2") && (has("CBDT") || has("sbix")))
            face->kind_ = Kind::Bitmaps;
    } else {
        // Type 1: no tables for HarfBuzz to read; Qt's reading of the font, taken once.
        QString chars;
        std::vector<char32_t> points;
        for (char32_t u = 0x20; u <= 0xFFFF; ++u) {
            if (u < 0xD800 || u > 0xDFFF) {
                points.push_back(u);
                chars.append(QChar(char16_t(u)));
            }
        }
        std::vector<quint32> found(size_t(chars.size()));
        int count = int(found.size());
        if (em.glyphIndexesForChars(chars.constData(), int(chars.size()), found.data(), &count)) {
            for (size_t i = 0; i < size_t(count) && i < points.size(); ++i) {
                if (found[i] == 0)
                    continue;
                data.cmap.emplace(points[i], found[i]);
                if (data.glyphs.count(found[i]) == 0) {
                    QPointF advance;
                    em.advancesForGlyphIndexes(&found[i], &advance, 1, QRawFont::UseDesignMetrics);
                    data.glyphs.emplace(found[i],
                                        std::make_pair(int(std::lround(advance.x())), em.pathForGlyph(found[i])));
                }
            }
        }
        hbFace = hb_face_create(hb_blob_get_empty(), 0);
        hb_face_set_upem(hbFace, unsigned(face->unitsPerEm_));
        face->face_ = hbFace;
        face->font_ = hb_font_create(hbFace);
        static hb_font_funcs_t* funcs = [] {
            hb_font_funcs_t* f = hb_font_funcs_create();
            hb_font_funcs_set_nominal_glyph_func(
                f,
                [](hb_font_t*, void* user, hb_codepoint_t u, hb_codepoint_t* glyph, void*) -> hb_bool_t {
                    const auto& cmap = static_cast<const Snapshot*>(user)->cmap;
                    const auto it = cmap.find(u);
                    *glyph = it == cmap.end() ? 0 : it->second;
                    return it != cmap.end();
                },
                nullptr, nullptr);
            hb_font_funcs_set_glyph_h_advance_func(
                f,
                [](hb_font_t*, void* user, hb_codepoint_t glyph, void*) -> hb_position_t {
                    const auto& glyphs = static_cast<const Snapshot*>(user)->glyphs;
                    const auto it = glyphs.find(glyph);
                    return it == glyphs.end() ? 0 : it->second.first;
                },
                nullptr, nullptr);
            hb_font_funcs_make_immutable(f);
            return f;
        }();
        hb_font_set_funcs(face->font_, funcs, &data, nullptr);
    }
    hb_font_set_scale(face->font_, face->unitsPerEm_, face->unitsPerEm_);
    hb_font_make_immutable(face->font_);

    // Qt makes a bold face up where none is installed, and an italic one by slanting: the same
    // rules as Qt's (the style asked for; the face without it, and for bold not of fixed pitch).
    const QByteArray os2 = face->table("OS/2");
    const QByteArray post = face->table("post");
    face->bold_ = font.weight() >= QFont::Bold;
    face->italic_ = font.style() != QFont::StyleNormal;
    if (head.size() >= 46 && os2.size() >= 64 && post.size() >= 16) {
        const bool boldFace = (bigEndian(head, 44, 2) & 1) != 0 || bigEndian(os2, 4, 2) >= QFont::Bold;
        const bool fixedPitch = bigEndian(post, 12, 4) != 0;
        face->syntheticBold_ = face->bold_ && !boldFace && !fixedPitch;
        const bool italicFace =
            (bigEndian(head, 44, 2) & 2) != 0 || (bigEndian(os2, 62, 2) & 0x201) != 0 || bigEndian(post, 4, 4) != 0;
        face->syntheticItalic_ = face->italic_ && !italicFace;
    }
    if (post.size() >= 12) {
        face->underlineTop_ = -qint16(bigEndian(post, 8, 2));
        face->underlineThickness_ = qint16(bigEndian(post, 10, 2));
    }

    made.insert(identity, face);
    kept.push_front(face);
    if (kept.size() > kKeptFaces)
        kept.pop_back();
    if (made.size() > 64) {
        for (auto it = made.begin(); it != made.end();)
            it = it->expired() ? made.erase(it) : std::next(it);
    }
    return face;
}

quint32 FontFace::glyphFor(char32_t c) const {
    if (!font_)
        return 1;
    hb_codepoint_t glyph = 0;
    return hb_font_get_nominal_glyph(font_, c, &glyph) ? glyph : 0;
}

int FontFace::advance(quint32 glyph) const {
    if (!font_)
        return unitsPerEm_;
    return hb_font_get_glyph_h_advance(font_, glyph);
}

QPainterPath FontFace::outline(quint32 glyph) const {
    if (kind_ == Kind::Boxes)
        return glyph == 0 ? QPainterPath() : hollowBox(unitsPerEm_, ascent_);
    if (kind_ == Kind::Bitmaps)
        return {};
    if (!data_->glyphs.empty()) {
        const auto it = data_->glyphs.find(glyph);
        return it == data_->glyphs.end() ? QPainterPath() : it->second.second;
    }
    QPainterPath path;
    hb_font_get_glyph_shape(font_, glyph, pathDrawFuncs(), &path);
    return path;
}

QImage FontFace::bitmap(quint32 glyph, QRectF* box) const {
    if (kind_ != Kind::Bitmaps)
        return {};
    hb_blob_t* png = hb_ot_color_glyph_reference_png(font_, glyph);
    unsigned length = 0;
    const char* bytes = hb_blob_get_data(png, &length);
    QImage image;
    if (length > 0)
        image.loadFromData(reinterpret_cast<const uchar*>(bytes), int(length), "PNG");
    hb_blob_destroy(png);
    hb_glyph_extents_t extents{};
    if (image.isNull() || !hb_font_get_glyph_extents(font_, glyph, &extents))
        return {};
    *box = QRectF(extents.x_bearing, -extents.y_bearing, extents.width, -extents.height);
    return image;
}

QByteArray FontFace::table(const char* tag) const {
    if (!face_ || !data_)
        return {};
    return tableOf(face_, tag);
}

const FontFace::GlyphTables* FontFace::glyphTables() const {
    if (const GlyphTables* made = tables_.load(std::memory_order_acquire))
        return made;
    std::lock_guard lock(tablesMutex_);
    if (tablesTried_)
        return tables_.load(std::memory_order_relaxed);
    tablesTried_ = true;
    if (kind_ != Kind::Outlines || !face_ || (data_ && !data_->glyphs.empty()) || glyphCount_ == 0)
        return nullptr;
    tables_.store(new GlyphTables(font_, glyphCount_), std::memory_order_release);
    return tables_.load(std::memory_order_relaxed);
}

FontFace::GlyphTables::~GlyphTables() {
    for (const auto& block : chars_)
        delete block.load();
    for (const auto& block : advances_)
        delete block.load();
}

namespace {

// Blocks are read by whichever thread asks first; one that loses the race to publish its block
// drops it and takes the winner's.
template <typename Block> const Block* publish(std::atomic<const Block*>& slot, std::unique_ptr<Block> made) {
    const Block* expected = nullptr;
    if (slot.compare_exchange_strong(expected, made.get(), std::memory_order_acq_rel))
        return made.release();
    return expected;
}

} // namespace

const FontFace::GlyphTables::CharBlock* FontFace::GlyphTables::readChars(unsigned block) const {
    auto made = std::make_unique<CharBlock>();
    for (unsigned i = 0; i < 256; ++i) {
        hb_codepoint_t glyph = 0;
        const bool found = hb_font_get_nominal_glyph(font_, (block << 8) | i, &glyph);
        (*made)[i] = found && glyph <= 0xFFFF ? quint16(glyph) : 0;
    }
    return publish(chars_[block], std::move(made));
}

const FontFace::GlyphTables::AdvanceBlock* FontFace::GlyphTables::readAdvances(unsigned block) const {
    auto made = std::make_unique<AdvanceBlock>();
    made->fill(0);
    const unsigned first = block << 8;
    const unsigned count = first < glyphCount_ ? std::min(256u, glyphCount_ - first) : 0;
    std::array<hb_codepoint_t, 256> glyphs;
    std::array<hb_position_t, 256> advances{};
    for (unsigned i = 0; i < count; ++i)
        glyphs[i] = first + i;
    if (count > 0)
        hb_font_get_glyph_h_advances(font_, count, glyphs.data(), sizeof(hb_codepoint_t), advances.data(),
                                     sizeof(hb_position_t));
    std::copy_n(advances.begin(), count, made->begin());
    return publish(advances_[block], std::move(made));
}

const LayoutTriggers& FontFace::layoutTriggers(quint32 script) const {
    std::lock_guard lock(triggersMutex_);
    for (const auto& [known, triggers] : triggers_) {
        if (known == script)
            return *triggers;
    }
    auto triggers = std::make_unique<LayoutTriggers>();
    if (face_ && kind_ == Kind::Outlines && glyphCount_ > 0)
        *triggers = zendrik::layoutTriggers(face_, glyphCount_, script);
    triggers_.emplace_back(script, std::move(triggers));
    return *triggers_.back().second;
}

} // namespace zendrik
