#include "layout/shaping.h"

#include "layout/fontmetrics.h"
#include "layout/resolvedfont.h"

#include <hb.h>
#include <unicode/ubidi.h>

#include <QTextLayout>

#include <algorithm>
#include <array>
#include <atomic>
#include <climits>
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
        if (u < 0x0590)
            continue;
        if (u <= 0x08FF || (u >= 0xFB1D && u <= 0xFDFF) || (u >= 0xFE70 && u <= 0xFEFF) ||
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

// Scripts HarfBuzz shapes with its default shaper, whose text free of layout lookups is its
// character map's glyphs at their advances and kerning.
bool isPlainScript(hb_script_t script) {
    return isWordwise(script) || script == HB_SCRIPT_HAN || script == HB_SCRIPT_HIRAGANA ||
           script == HB_SCRIPT_KATAKANA || script == HB_SCRIPT_BOPOMOFO;
}

// What shaping needs to know of a character, looked up once per block of 256 and kept.
struct CharClass {
    hb_script_t script;
    quint8 flags;
};
enum : quint8 {
    kMark = 1,
    kInvisible = 2,
    kPlain = 4, // HarfBuzz maps it to its glyph and does nothing else with it on its own
};

CharClass classify(char32_t c) {
    hb_unicode_funcs_t* unicode = hb_unicode_funcs_get_default();
    const hb_unicode_general_category_t category = hb_unicode_general_category(unicode, c);
    quint8 flags = 0;
    if (isMark(category))
        flags |= kMark;
    if (isInvisible(c, category))
        flags |= kInvisible;
    // Default-ignorable letters, conjoining jamo, the fraction slash and unassigned characters
    // get treatment of their own.
    const bool special = c == 0x00AD || c == 0x034F || c == 0x061C || c == 0x115F || c == 0x1160 ||
                         (c >= 0x1100 && c <= 0x11FF) || (c >= 0x3130 && c <= 0x318F) || (c >= 0xA960 && c <= 0xA97F) ||
                         (c >= 0xD7B0 && c <= 0xD7FF) || c == 0x17B4 || c == 0x17B5 || (c >= 0x180B && c <= 0x180F) ||
                         (c >= 0x200B && c <= 0x200F) || (c >= 0x202A && c <= 0x202E) || (c >= 0x2060 && c <= 0x206F) ||
                         c == 0x2044 || c == 0x3164 || c == 0xFEFF || c == 0xFFA0 || (c >= 0xFFF0 && c <= 0xFFF8) ||
                         category == HB_UNICODE_GENERAL_CATEGORY_UNASSIGNED ||
                         category == HB_UNICODE_GENERAL_CATEGORY_PRIVATE_USE;
    if (flags == 0 && !special)
        flags |= kPlain;
    return CharClass{hb_unicode_script(unicode, c), flags};
}

using CharBlock = std::array<CharClass, 256>;
std::array<std::atomic<const CharBlock*>, 256> charBlocks{};

const CharBlock* makeCharBlock(char16_t c) {
    std::atomic<const CharBlock*>& slot = charBlocks[c >> 8];
    const CharBlock* block = slot.load(std::memory_order_acquire);
    if (!block) {
        auto* made = new std::array<CharClass, 256>;
        for (unsigned i = 0; i < 256; ++i)
            (*made)[i] = classify(char32_t((c & 0xFF00) | i));
        // Kept for the life of the process: 256 blocks at most.
        if (slot.compare_exchange_strong(block, made, std::memory_order_acq_rel))
            block = made;
        else
            delete made;
    }
    return block;
}

inline const CharClass& charClass(char16_t c) {
    const CharBlock* block = charBlocks[c >> 8].load(std::memory_order_acquire);
    if (Q_UNLIKELY(!block))
        block = makeCharBlock(c);
    return (*block)[c & 0xFF];
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
// memory stays bounded whatever the vocabulary. Only words some layout lookup acts on come here:
// a thousand of them hold the repeats, on real prose as on a dictionary's words.
constexpr qsizetype kMaxCachedWords = 1 << 10;
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

constexpr qint32 kUnsafePair = INT32_MIN;

// HarfBuzz's kerning of a pair of glyphs: what the second adds to the first's advance when the two
// are shaped alone, or kUnsafePair when anything else happens to them. Found once per face and
// script, for every thread.
qint32 pairKerning(const FontFace& face, const LayoutTriggers& triggers, hb_script_t script, char16_t a, char16_t b,
                   quint16 first, quint16 second, const FontFace::GlyphTables& tables) {
    const quint32 pair = quint32(first) << 16 | second;
    qint32 value = 0;
    if (triggers.pairs->find(pair, value))
        return value;
    if (triggers.triggersPair(first, second)) {
        value = kUnsafePair;
    } else {
        hb_buffer_t* buffer = threadBuffer();
        hb_buffer_reset(buffer);
        const uint16_t text[2] = {a, b};
        hb_buffer_add_utf16(buffer, text, 2, 0, 2);
        hb_buffer_set_direction(buffer, HB_DIRECTION_LTR);
        hb_buffer_set_script(buffer, script);
        hb_buffer_set_language(buffer, hb_language_get_default());
        hb_shape(face.hbFont(), buffer, nullptr, 0);
        unsigned count = 0;
        const hb_glyph_info_t* info = hb_buffer_get_glyph_infos(buffer, &count);
        const hb_glyph_position_t* pos = hb_buffer_get_glyph_positions(buffer, nullptr);
        const bool plain = count == 2 && info[0].codepoint == first && info[1].codepoint == second &&
                           pos[0].x_offset == 0 && pos[0].y_offset == 0 && pos[1].x_offset == 0 &&
                           pos[1].y_offset == 0 && pos[1].x_advance == tables.advance(second) &&
                           pos[0].y_advance == 0 && pos[1].y_advance == 0;
        value = plain ? pos[0].x_advance - tables.advance(first) : kUnsafePair;
    }
    triggers.pairs->insert(pair, value);
    return value;
}

// Glyphs of a run that no layout lookup acts on, straight from the face's tables: HarfBuzz's own
// result, without its machinery. False, leaving `out` as it was, when a lookup may act.
bool shapePlain(const FontFace& face, const LayoutTriggers& triggers, hb_script_t script, QStringView text,
                qsizetype offset, double scale, ShapedText& out) {
    const FontFace::GlyphTables* tables = face.glyphTables();
    if (!tables || !triggers.usable)
        return false;
    const qsizetype n = text.size();
    const size_t start = out.glyphs.size();
    double* advances = out.clusterAdvance.data() + offset;
    const auto undo = [&](qsizetype done) {
        out.glyphs.resize(start);
        std::fill(advances, advances + done, 0.0);
        return false;
    };
    out.glyphs.resize(start + size_t(n));
    ShapedGlyph* glyphs = out.glyphs.data() + start;
    quint16 previous = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = text[i].unicode();
        const quint16 glyph = tables->glyph(c);
        if (glyph == 0 || !(charClass(c).flags & kPlain) || triggers.triggers(glyph))
            return undo(i);
        if (i > 0 && triggers.pairFirsts.has(previous)) {
            const qint32 kern = pairKerning(face, triggers, script, text[i - 1].unicode(), c, previous, glyph, *tables);
            if (kern == kUnsafePair)
                return undo(i);
            advances[i - 1] = (tables->advance(previous) + kern) * scale;
            glyphs[i - 1].advance = float(advances[i - 1]);
        }
        advances[i] = tables->advance(glyph) * scale;
        glyphs[i] = ShapedGlyph{glyph, quint32(offset + i), float(advances[i]), 0, 0, &face};
        previous = glyph;
    }
    return true;
}

} // namespace

FontSet::FontSet(const std::array<FontSpec, kFontRoles>& fonts) {
    for (size_t i = 0; i < roles_.size(); ++i) {
        roles_[i].font = toQFont(fonts[i]);
        ResolvedFont resolved = resolveFont(fonts[i]);
        roles_[i].face = std::move(resolved.face);
        roles_[i].pointSize = resolved.pointSize;
    }
}

namespace {

// Qt's answers for earlier font sets, by the font's style (not its size) and character, while the
// face answered lives: a job's font set would otherwise ask Qt again, on a thread of its own whose
// font caches are empty, for every character its fonts lack.
class RememberedFallbacks {
public:
    static QString styleOf(const QFont& font) {
        QFont style(font);
        style.setPointSize(12);
        style.setUnderline(false);
        return style.key();
    }
    std::shared_ptr<const FontFace> find(const QString& style, char32_t c) {
        std::lock_guard lock(mutex_);
        const auto it = faces_.constFind(Key{style, c});
        return it == faces_.constEnd() ? nullptr : it->lock();
    }
    void remember(const QString& style, char32_t c, const std::shared_ptr<const FontFace>& face) {
        std::lock_guard lock(mutex_);
        if (faces_.size() >= kMaxFallbacks)
            faces_.clear();
        faces_.insert(Key{style, c}, face);
    }

private:
    using Key = std::pair<QString, char32_t>;
    std::mutex mutex_;
    QHash<Key, std::weak_ptr<const FontFace>> faces_;
};

RememberedFallbacks& rememberedFallbacks() {
    static RememberedFallbacks remembered;
    return remembered;
}

} // namespace

std::shared_ptr<const FontFace> FontSet::faceFor(FontRole role, char32_t c) const {
    const quint64 key = quint64(role) << 32 | c;
    std::lock_guard lock(mutex_);
    if (auto it = fallbacks_.constFind(key); it != fallbacks_.constEnd())
        return *it;
    QString& style = roles_[size_t(role)].style;
    if (style.isEmpty())
        style = RememberedFallbacks::styleOf(roles_[size_t(role)].font);
    std::shared_ptr<const FontFace> face = rememberedFallbacks().find(style, c);
    if (!face) {
        if (!answering_.joinable())
            answering_ = std::jthread([this](std::stop_token stop) { answer(std::move(stop)); });
        {
            std::unique_lock question(questionMutex_);
            questionRole_ = role;
            question_ = c;
            asked_ = true;
            questionReady_.notify_one();
            answerReady_.wait(question, [&] { return !asked_; });
            face = std::exchange(answer_, nullptr);
        }
        rememberedFallbacks().remember(style, c, face);
    }
    if (fallbacks_.size() >= kMaxFallbacks)
        fallbacks_.clear();
    fallbacks_.insert(key, face);
    return face;
}

void FontSet::answer(std::stop_token stop) const {
    std::unique_lock question(questionMutex_);
    while (questionReady_.wait(question, stop, [&] { return asked_; })) {
        const FontRole role = questionRole_;
        const char32_t c = question_;
        question.unlock();
        std::shared_ptr<const FontFace> face;
        try {
            face = qtChoice(role, c);
        } catch (...) {
            face = FontFace::boxes();
        }
        question.lock();
        answer_ = std::move(face);
        asked_ = false;
        answerReady_.notify_all();
    }
}

// Qt's own choice: its layout of the character alone, in the role's font.
std::shared_ptr<const FontFace> FontSet::qtChoice(FontRole role, char32_t c) const {
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
    return face;
}

ShapedText shapeText(const FontSet& fonts, FontRole role, const QString& text) {
    ShapedText out;
    out.text = text;
    const qsizetype n = text.size();
    out.clusterAdvance.assign(size_t(n), 0.0);
    if (n == 0)
        return out;
    out.glyphs.reserve(size_t(n));
    hb_unicode_funcs_t* unicode = hb_unicode_funcs_get_default();

    std::vector<quint8> levels;
    if (mayNeedBidi(text)) {
        levels.assign(size_t(n), 0);
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

    // Items of one level, script and face, found character by character.
    struct Run {
        qsizetype start;
        qsizetype end;
        quint8 level;
        const FontFace* face;
        hb_script_t script;
        bool brokenCluster; // starts inside a cluster cut for its length
    };
    std::vector<Run> runs;
    const std::shared_ptr<const FontFace>& primary = fonts.primary(role);
    out.faces.push_back(primary);
    const FontFace* previous = primary.get();
    const FontFace::GlyphTables* primaryTables = primary->glyphTables();
    hb_script_t script = HB_SCRIPT_UNKNOWN;
    int marks = 0;
    const char16_t* units = reinterpret_cast<const char16_t*>(text.utf16());
    for (qsizetype i = 0; i < n;) {
        if (levels.empty() && primaryTables && !runs.empty() && runs.back().face == primary.get()) {
            // Printable ASCII the role's face has, continuing its run: most of Latin text. Letters
            // continue only a Latin run; the rest are of no script.
            qsizetype j = i;
            for (; j < n; ++j) {
                const char16_t u = units[j] == u'\t' ? u' ' : units[j];
                if (u < 0x20 || u >= 0x7F || primaryTables->glyph(u) == 0)
                    break;
                if (((u | 0x20) >= u'a' && (u | 0x20) <= u'z') && script != HB_SCRIPT_LATIN)
                    break;
            }
            if (j > i) {
                runs.back().end = j;
                marks = 0;
                previous = primary.get();
                i = j;
                continue;
            }
        }
        char32_t c = units[i];
        qsizetype length = 1;
        if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(units[i + 1])) {
            c = QChar::surrogateToUcs4(char16_t(c), units[i + 1]);
            length = 2;
        }
        if (c == u'\t')
            c = u' ';
        const CharClass kind = c <= 0xFFFF ? charClass(char16_t(c)) : classify(c);
        const FontFace* face = previous;
        if (kind.flags & kInvisible) {
        } else if ((kind.flags & kMark) && previous->glyphFor(c) != 0) {
        } else if (primaryTables && c <= 0xFFFF ? primaryTables->glyph(char16_t(c)) != 0 : primary->glyphFor(c) != 0) {
            face = primary.get();
        } else {
            std::shared_ptr<const FontFace> fallback = fonts.faceFor(role, c);
            face = fallback.get();
            if (std::find(out.faces.begin(), out.faces.end(), fallback) == out.faces.end())
                out.faces.push_back(std::move(fallback));
        }
        previous = face;
        const hb_script_t own = kind.script;
        if (own != HB_SCRIPT_COMMON && own != HB_SCRIPT_INHERITED && own != HB_SCRIPT_UNKNOWN) {
            // Leading characters of no script take the first script that follows.
            if (script == HB_SCRIPT_UNKNOWN) {
                for (Run& run : runs)
                    run.script = own;
            }
            script = own;
        }
        const quint8 level = levels.empty() ? 0 : levels[size_t(i)];
        bool tooManyMarks = false;
        if (kind.flags & kMark) {
            if (++marks > kMaxMarks) {
                tooManyMarks = true;
                marks = 0;
            }
        } else {
            marks = 0;
        }
        if (runs.empty() || tooManyMarks || runs.back().level != level || runs.back().face != face ||
            runs.back().script != script)
            runs.push_back(Run{i, i + length, level, face, script, tooManyMarks});
        else
            runs.back().end = i + length;
        i += length;
    }

    QString shaping = text;
    shaping.replace(u'\t', u' ');
    hb_buffer_t* buffer = threadBuffer();
    const qreal size = fonts.pointSize(role);
    const FontFace* boxes = FontFace::boxes().get();
    // A shaped glyph; the font's missing glyph (0) becomes a hollow box, unless its character is
    // one that shows nothing.
    const auto addGlyph = [&](quint32 id, quint32 cluster, double advance, double xOffset, double yOffset,
                              const FontFace* from) {
        if (id == 0) {
            const char32_t c = text.at(cluster).unicode();
            if (isInvisible(c, hb_unicode_general_category(unicode, c)))
                return;
            out.glyphs.push_back(ShapedGlyph{1, cluster, float(size), 0, 0, boxes});
            out.clusterAdvance[cluster] += size;
            ++out.boxedCharacters;
            return;
        }
        out.glyphs.push_back(ShapedGlyph{id, cluster, float(advance), float(xOffset), float(yOffset), from});
        out.clusterAdvance[cluster] += advance;
    };
    for (const Run& run : runs) {
        ShapedItem item;
        item.start = run.start;
        item.end = run.end;
        item.level = run.level;
        item.firstGlyph = out.glyphs.size();
        const FontFace* face = run.face;
        if (face->kind() == FontFace::Kind::Boxes) {
            for (qsizetype p = run.start; p < run.end; ++p) {
                if (QChar::isLowSurrogate(units[p]) && p > run.start && QChar::isHighSurrogate(units[p - 1]))
                    continue;
                out.glyphs.push_back(ShapedGlyph{1, quint32(p), float(size), 0, 0, boxes});
                out.clusterAdvance[size_t(p)] += size;
                ++out.boxedCharacters;
            }
            if (item.level & 1)
                std::reverse(out.glyphs.begin() + qsizetype(item.firstGlyph), out.glyphs.end());
        } else if (!(item.level & 1) && face->kind() == FontFace::Kind::Outlines && isWordwise(run.script)) {
            // Scripts shaped letter by letter: word by word (with the spaces after it), each word
            // as HarfBuzz shapes it alone, which HarfBuzz itself is needed for only where a
            // layout lookup may act; such words are kept once shaped.
            const double scale = size / face->unitsPerEm();
            const LayoutTriggers* itemTriggers = nullptr;
            const LayoutTriggers* commonTriggers = nullptr;
            qsizetype w = item.start;
            while (w < item.end) {
                qsizetype e = w;
                hb_script_t wordScript = HB_SCRIPT_INVALID;
                while (e < item.end && shaping.at(e) != u' ') {
                    if (wordScript == HB_SCRIPT_INVALID) {
                        const hb_script_t own = charClass(shaping.at(e).unicode()).script;
                        if (own != HB_SCRIPT_COMMON && own != HB_SCRIPT_INHERITED && own != HB_SCRIPT_UNKNOWN)
                            wordScript = own;
                    }
                    ++e;
                }
                while (e < item.end && shaping.at(e) == u' ')
                    ++e;
                const QStringView word = QStringView(shaping).mid(w, e - w);
                const LayoutTriggers*& triggers = wordScript == HB_SCRIPT_INVALID ? commonTriggers : itemTriggers;
                if (!triggers)
                    triggers = &face->layoutTriggers(wordScript);
                if ((wordScript == HB_SCRIPT_INVALID || isPlainScript(wordScript)) &&
                    shapePlain(*face, *triggers, wordScript, word, w, scale, out)) {
                    w = e;
                    continue;
                }
                for (const CachedGlyph& g : shapedWord(*face, word))
                    addGlyph(g.id, quint32(w + g.cluster), g.advance * scale, g.xOffset * scale, g.yOffset * scale,
                             face);
                w = e;
            }
        } else if (!(item.level & 1) && face->kind() == FontFace::Kind::Outlines && isPlainScript(run.script) &&
                   shapePlain(*face, face->layoutTriggers(run.script), run.script,
                              QStringView(shaping).mid(item.start, item.end - item.start), item.start,
                              size / face->unitsPerEm(), out)) {
            // Ideographs and kana: the whole item at once, as HarfBuzz would shape it.
        } else {
            hb_buffer_reset(buffer);
            hb_buffer_add_utf16(buffer, reinterpret_cast<const uint16_t*>(shaping.utf16()), int(n),
                                unsigned(item.start), int(item.end - item.start));
            hb_buffer_set_direction(buffer, (item.level & 1) ? HB_DIRECTION_RTL : HB_DIRECTION_LTR);
            hb_buffer_set_script(buffer, run.script == HB_SCRIPT_UNKNOWN ? HB_SCRIPT_LATIN : run.script);
            hb_buffer_set_language(buffer, hb_language_get_default());
            if (run.brokenCluster)
                hb_buffer_set_flags(buffer, HB_BUFFER_FLAG_DO_NOT_INSERT_DOTTED_CIRCLE);
            hb_shape(face->hbFont(), buffer, nullptr, 0);
            unsigned count = 0;
            const hb_glyph_info_t* info = hb_buffer_get_glyph_infos(buffer, &count);
            const hb_glyph_position_t* pos = hb_buffer_get_glyph_positions(buffer, nullptr);
            const double scale = size / face->unitsPerEm();
            for (unsigned g = 0; g < count; ++g) {
                addGlyph(info[g].codepoint, info[g].cluster, pos[g].x_advance * scale, pos[g].x_offset * scale,
                         pos[g].y_offset * scale, face);
            }
        }
        item.lastGlyph = out.glyphs.size();
        out.items.push_back(item);
    }
    return out;
}

} // namespace zendrik
