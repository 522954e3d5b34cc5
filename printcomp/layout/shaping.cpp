#include "layout/shaping.h"

#include "layout/fontmetrics.h"

#include <hb.h>
#include <unicode/ubidi.h>

#include <QTextLayout>

#include <algorithm>
#include <atomic>
#include <unordered_map>

namespace zendrik {

namespace {

// Marks beyond this many on one letter are shaped in pieces: shaping a cluster costs more than
// linear time in its length, and no script stacks more than a handful.
constexpr int kMaxMarks = 64;
constexpr qsizetype kMaxFallbacks = 65536;

bool mayNeedBidi(const QString& text) {
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if ((u >= 0x0590 && u <= 0x08FF) || (u >= 0xFB1D && u <= 0xFDFF) || (u >= 0xFE70 && u <= 0xFEFF) ||
            (u >= 0xD800 && u <= 0xDFFF) || u == 0x200F || (u >= 0x202A && u <= 0x202E) || (u >= 0x2066 && u <= 0x2069))
            return true;
    }
    return false;
}

bool isMark(hb_unicode_general_category_t category) {
    return category == HB_UNICODE_GENERAL_CATEGORY_NON_SPACING_MARK ||
           category == HB_UNICODE_GENERAL_CATEGORY_SPACING_MARK ||
           category == HB_UNICODE_GENERAL_CATEGORY_ENCLOSING_MARK;
}

// Characters that show nothing of their own: they go with the face around them.
bool isInvisible(char32_t c, hb_unicode_general_category_t category) {
    return category == HB_UNICODE_GENERAL_CATEGORY_CONTROL || category == HB_UNICODE_GENERAL_CATEGORY_FORMAT ||
           category == HB_UNICODE_GENERAL_CATEGORY_LINE_SEPARATOR ||
           category == HB_UNICODE_GENERAL_CATEGORY_PARAGRAPH_SEPARATOR || (c >= 0xFE00 && c <= 0xFE0F) ||
           (c >= 0xE0100 && c <= 0xE01EF) || category == HB_UNICODE_GENERAL_CATEGORY_SURROGATE;
}

// Scripts whose letters take no shape from their neighbours beyond a word: a word and the spaces
// after it shape alike wherever they stand.
bool isWordwise(hb_script_t script) {
    return script == HB_SCRIPT_LATIN || script == HB_SCRIPT_GREEK || script == HB_SCRIPT_CYRILLIC ||
           script == HB_SCRIPT_COMMON || script == HB_SCRIPT_UNKNOWN;
}

// One shaping buffer per thread, reused for every run and freed with the thread.
hb_buffer_t* threadBuffer() {
    struct Destroy {
        void operator()(hb_buffer_t* buffer) const { hb_buffer_destroy(buffer); }
    };
    static thread_local std::unique_ptr<hb_buffer_t, Destroy> buffer(hb_buffer_create());
    return buffer.get();
}

struct CachedGlyph {
    quint32 id;
    quint32 cluster; // from the word's start
    qint32 advance;  // font units
    qint32 xOffset;
    qint32 yOffset;
};

// Words shaped on this thread, in font units (so any size), by face; cleared when full so that
// memory stays bounded whatever the vocabulary.
constexpr qsizetype kMaxCachedWords = 1 << 16;
constexpr qsizetype kMaxCachedWordLength = 64;

const std::vector<CachedGlyph>& shapedWord(const FontFace& face, QStringView word) {
    struct Key {
        quint64 face;
        QString word;
        bool operator==(const Key&) const = default;
    };
    struct KeyHash {
        size_t operator()(const Key& k) const { return qHash(k.word, size_t(k.face)); }
    };
    static thread_local std::unordered_map<Key, std::vector<CachedGlyph>, KeyHash> cache;
    static thread_local std::vector<CachedGlyph> scratch;
    hb_buffer_t* buffer = threadBuffer();
    const bool cacheable = word.size() <= kMaxCachedWordLength;
    Key key{face.serial(), cacheable ? word.toString() : QString()};
    if (cacheable) {
        if (auto it = cache.find(key); it != cache.end())
            return it->second;
    }
    hb_buffer_reset(buffer);
    hb_buffer_add_utf16(buffer, reinterpret_cast<const uint16_t*>(word.utf16()), int(word.size()), 0, int(word.size()));
    hb_buffer_set_direction(buffer, HB_DIRECTION_LTR);
    hb_buffer_guess_segment_properties(buffer);
    hb_shape(face.hbFont(), buffer, nullptr, 0);
    unsigned count = 0;
    const hb_glyph_info_t* info = hb_buffer_get_glyph_infos(buffer, &count);
    const hb_glyph_position_t* pos = hb_buffer_get_glyph_positions(buffer, nullptr);
    std::vector<CachedGlyph> glyphs(count);
    for (unsigned g = 0; g < count; ++g)
        glyphs[g] = CachedGlyph{info[g].codepoint, info[g].cluster, pos[g].x_advance, pos[g].x_offset, pos[g].y_offset};
    if (!cacheable) {
        scratch = std::move(glyphs);
        return scratch;
    }
    if (qsizetype(cache.size()) >= kMaxCachedWords)
        cache.clear();
    return cache.emplace(std::move(key), std::move(glyphs)).first->second;
}

struct CodePoint {
    qsizetype at;
    qsizetype length;
    char32_t c;
};

} // namespace

FontSet::FontSet(const std::array<FontSpec, kFontRoles>& fonts) {
    PrintResolutionDevice device;
    for (size_t i = 0; i < roles_.size(); ++i) {
        roles_[i].font = toQFont(fonts[i]);
        const QRawFont raw = QRawFont::fromFont(QFont(roles_[i].font, &device));
        const bool usable = raw.isValid() && raw.pixelSize() > 0;
        roles_[i].face = usable ? FontFace::fromRawFont(raw) : FontFace::boxes();
        roles_[i].pointSize = usable ? raw.pixelSize() * 72.0 / PrintResolutionDevice::kDpi : fonts[i].pointSize;
    }
}

std::shared_ptr<const FontFace> FontSet::faceFor(FontRole role, char32_t c) const {
    const quint64 key = quint64(role) << 32 | c;
    std::lock_guard lock(mutex_);
    if (auto it = fallbacks_.constFind(key); it != fallbacks_.constEnd())
        return *it;
    // Qt's own choice: its layout of the character alone, in the role's font.
    std::shared_ptr<const FontFace> face = FontFace::boxes();
    QTextLayout layout(QString::fromUcs4(&c, 1), QFont(roles_[size_t(role)].font));
    layout.setCacheEnabled(false);
    layout.beginLayout();
    layout.createLine();
    layout.endLayout();
    for (const QGlyphRun& run : layout.glyphRuns()) {
        const QRawFont raw = run.rawFont();
        if (!raw.isValid() || raw.pixelSize() <= 0)
            continue;
        std::shared_ptr<const FontFace> candidate = FontFace::fromRawFont(raw);
        if (candidate->glyphFor(c) != 0) {
            face = std::move(candidate);
            break;
        }
    }
    if (fallbacks_.size() >= kMaxFallbacks)
        fallbacks_.clear();
    fallbacks_.insert(key, face);
    return face;
}

ShapedText shapeText(const FontSet& fonts, FontRole role, const QString& text) {
    ShapedText out;
    out.text = text;
    const qsizetype n = text.size();
    out.clusterAdvance.assign(size_t(n), 0.0);
    if (n == 0)
        return out;
    hb_unicode_funcs_t* unicode = hb_unicode_funcs_get_default();

    std::vector<quint8> levels(size_t(n), 0);
    if (mayNeedBidi(text)) {
        UErrorCode error = U_ZERO_ERROR;
        UBiDi* bidi = ubidi_openSized(int32_t(n), 0, &error);
        ubidi_setPara(bidi, reinterpret_cast<const UChar*>(text.utf16()), int32_t(n), UBIDI_DEFAULT_LTR, nullptr,
                      &error);
        if (U_SUCCESS(error)) {
            out.rightToLeft = (ubidi_getParaLevel(bidi) & 1) != 0;
            const UBiDiLevel* got = ubidi_getLevels(bidi, &error);
            if (U_SUCCESS(error) && got)
                std::copy(got, got + n, levels.begin());
        }
        ubidi_close(bidi);
    }

    // Each character's face and script; then items of one level, script and face.
    const std::shared_ptr<const FontFace>& primary = fonts.primary(role);
    std::vector<CodePoint> points;
    points.reserve(size_t(n));
    std::vector<const FontFace*> faceOf;
    std::vector<hb_script_t> scriptOf;
    faceOf.reserve(size_t(n));
    scriptOf.reserve(size_t(n));
    out.faces.push_back(primary);
    const FontFace* previous = primary.get();
    hb_script_t script = HB_SCRIPT_UNKNOWN;
    size_t unresolved = 0; // leading characters of no script take the first script that follows
    for (qsizetype i = 0; i < n;) {
        char32_t c = text.at(i).unicode();
        qsizetype length = 1;
        if (text.at(i).isHighSurrogate() && i + 1 < n && text.at(i + 1).isLowSurrogate()) {
            c = QChar::surrogateToUcs4(text.at(i), text.at(i + 1));
            length = 2;
        }
        if (c == u'\t')
            c = u' ';
        const hb_unicode_general_category_t category = hb_unicode_general_category(unicode, c);
        const FontFace* face = previous;
        if (isInvisible(c, category)) {
        } else if (isMark(category) && previous->glyphFor(c) != 0) {
        } else if (primary->glyphFor(c) != 0) {
            face = primary.get();
        } else {
            std::shared_ptr<const FontFace> fallback = fonts.faceFor(role, c);
            face = fallback.get();
            if (std::find(out.faces.begin(), out.faces.end(), fallback) == out.faces.end())
                out.faces.push_back(std::move(fallback));
        }
        previous = face;
        const hb_script_t own = hb_unicode_script(unicode, c);
        if (own != HB_SCRIPT_COMMON && own != HB_SCRIPT_INHERITED && own != HB_SCRIPT_UNKNOWN) {
            if (script == HB_SCRIPT_UNKNOWN)
                std::fill(scriptOf.begin(), scriptOf.begin() + qsizetype(unresolved), own);
            script = own;
        } else if (script == HB_SCRIPT_UNKNOWN) {
            ++unresolved;
        }
        points.push_back(CodePoint{i, length, c});
        faceOf.push_back(face);
        scriptOf.push_back(script);
        i += length;
    }

    QString shaping = text;
    shaping.replace(u'\t', u' ');
    hb_buffer_t* buffer = threadBuffer();
    const qreal size = fonts.pointSize(role);
    const FontFace* boxes = FontFace::boxes().get();
    auto shapeItem = [&](size_t first, size_t last, bool brokenCluster) {
        ShapedItem item;
        item.start = points[first].at;
        item.end = points[last - 1].at + points[last - 1].length;
        item.level = levels[size_t(item.start)];
        item.firstGlyph = out.glyphs.size();
        const FontFace* face = faceOf[first];
        if (face->kind() == FontFace::Kind::Boxes) {
            for (size_t p = first; p < last; ++p) {
                out.glyphs.push_back(ShapedGlyph{1, quint32(points[p].at), float(size), 0, 0, boxes});
                out.clusterAdvance[size_t(points[p].at)] += size;
                ++out.boxedCharacters;
            }
            if (item.level & 1)
                std::reverse(out.glyphs.begin() + qsizetype(item.firstGlyph), out.glyphs.end());
        } else if (!(item.level & 1) && face->kind() == FontFace::Kind::Outlines && isWordwise(scriptOf[first])) {
            // Scripts shaped letter by letter: word by word, each word shaped once per thread.
            const double scale = size / face->unitsPerEm();
            qsizetype w = item.start;
            while (w < item.end) {
                qsizetype e = w;
                while (e < item.end && shaping.at(e) != u' ')
                    ++e;
                while (e < item.end && shaping.at(e) == u' ')
                    ++e;
                for (const CachedGlyph& g : shapedWord(*face, QStringView(shaping).mid(w, e - w))) {
                    const quint32 cluster = quint32(w + g.cluster);
                    if (g.id == 0) {
                        const char32_t c = text.at(cluster).unicode();
                        if (isInvisible(c, hb_unicode_general_category(unicode, c)))
                            continue;
                        out.glyphs.push_back(ShapedGlyph{1, cluster, float(size), 0, 0, boxes});
                        out.clusterAdvance[cluster] += size;
                        ++out.boxedCharacters;
                        continue;
                    }
                    const double advance = g.advance * scale;
                    out.glyphs.push_back(ShapedGlyph{g.id, cluster, float(advance), float(g.xOffset * scale),
                                                     float(g.yOffset * scale), face});
                    out.clusterAdvance[cluster] += advance;
                }
                w = e;
            }
        } else {
            hb_buffer_reset(buffer);
            hb_buffer_add_utf16(buffer, reinterpret_cast<const uint16_t*>(shaping.utf16()), int(n),
                                unsigned(item.start), int(item.end - item.start));
            hb_buffer_set_direction(buffer, (item.level & 1) ? HB_DIRECTION_RTL : HB_DIRECTION_LTR);
            hb_buffer_set_script(buffer, scriptOf[first] == HB_SCRIPT_UNKNOWN ? HB_SCRIPT_LATIN : scriptOf[first]);
            hb_buffer_set_language(buffer, hb_language_get_default());
            if (brokenCluster)
                hb_buffer_set_flags(buffer, HB_BUFFER_FLAG_DO_NOT_INSERT_DOTTED_CIRCLE);
            hb_shape(face->hbFont(), buffer, nullptr, 0);
            unsigned count = 0;
            const hb_glyph_info_t* info = hb_buffer_get_glyph_infos(buffer, &count);
            const hb_glyph_position_t* pos = hb_buffer_get_glyph_positions(buffer, nullptr);
            const double scale = size / face->unitsPerEm();
            for (unsigned g = 0; g < count; ++g) {
                const quint32 cluster = info[g].cluster;
                if (info[g].codepoint == 0) {
                    const char32_t c = text.at(cluster).unicode();
                    if (isInvisible(c, hb_unicode_general_category(unicode, c)))
                        continue;
                    out.glyphs.push_back(ShapedGlyph{1, cluster, float(size), 0, 0, boxes});
                    out.clusterAdvance[cluster] += size;
                    ++out.boxedCharacters;
                    continue;
                }
                const double advance = pos[g].x_advance * scale;
                out.glyphs.push_back(ShapedGlyph{info[g].codepoint, cluster, float(advance),
                                                 float(pos[g].x_offset * scale), float(pos[g].y_offset * scale), face});
                out.clusterAdvance[cluster] += advance;
            }
        }
        item.lastGlyph = out.glyphs.size();
        out.items.push_back(item);
    };

    size_t first = 0;
    int marks = 0;
    bool broken = false;
    for (size_t p = 1; p <= points.size(); ++p) {
        bool cut = p == points.size();
        if (!cut) {
            const qsizetype at = points[p].at;
            cut = levels[size_t(at)] != levels[size_t(points[first].at)] || faceOf[p] != faceOf[first] ||
                  scriptOf[p] != scriptOf[first];
            if (isMark(hb_unicode_general_category(unicode, points[p].c)))
                ++marks;
            else
                marks = 0;
            if (marks > kMaxMarks) {
                cut = true;
                marks = 0;
            }
        }
        if (cut) {
            shapeItem(first, p, broken);
            broken = p < points.size() && marks == 0 && isMark(hb_unicode_general_category(unicode, points[p].c));
            first = p;
        }
    }
    return out;
}

} // namespace zendrik
