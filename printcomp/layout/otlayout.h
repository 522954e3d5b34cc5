#pragma once
// Where a font's OpenType layout can act on text of one script: the glyphs at which a substitution,
// or a positioning other than kerning of a pair, may start. Text free of them shapes, in HarfBuzz,
// to its character map's glyphs at their advances, each adjusted by the kerning of the pair it
// begins; shaping needs the whole machinery only where they occur.

#include <QtGlobal>

#include <atomic>
#include <memory>
#include <vector>

struct hb_face_t;

namespace zendrik {

// A set of glyph numbers.
class GlyphBits {
public:
    GlyphBits() = default;
    explicit GlyphBits(unsigned glyphCount) : words_((glyphCount + 63) / 64, 0) {}
    void set(unsigned glyph) {
        if (glyph / 64 < words_.size())
            words_[glyph / 64] |= quint64(1) << (glyph % 64);
    }
    void setAll() { words_.assign(words_.size(), ~quint64(0)); }
    bool has(unsigned glyph) const { return glyph / 64 < words_.size() && (words_[glyph / 64] >> (glyph % 64)) & 1; }
    bool any() const;
    void unite(const GlyphBits& other);

private:
    std::vector<quint64> words_;
};

// Values found for pairs of glyphs, shared by every thread without a lock. Fixed in size: once it
// is three quarters full, further pairs are not kept.
class PairValues {
public:
    PairValues();
    bool find(quint32 pair, qint32& value) const {
        for (size_t at = slot(pair), probes = 0; probes < kSlots; at = (at + 1) & (kSlots - 1), ++probes) {
            const quint64 entry = slots_[at].load(std::memory_order_acquire);
            if (entry == 0)
                return false;
            if (entry >> 32 == quint64(pair) + 1) {
                value = qint32(quint32(entry));
                return true;
            }
        }
        return false;
    }
    void insert(quint32 pair, qint32 value);

private:
    static constexpr size_t kSlots = 1 << 15;
    static size_t slot(quint32 pair) { return size_t((pair * 0x9E3779B1u) >> 17) & (kSlots - 1); }
    std::unique_ptr<std::atomic<quint64>[]> slots_;
    std::atomic<size_t> used_{0};
};

struct LayoutTriggers {
    // False when the face's layout cannot be told apart this way (state-machine kerning, AAT
    // tables, tables too large to read): every run is then shaped whole.
    bool usable = false;
    // Glyphs at which a lookup may act whatever follows them.
    GlyphBits always;
    // Glyphs at which a lookup may act when the next glyph is in the paired set.
    std::vector<std::pair<GlyphBits, GlyphBits>> followed;
    // Glyphs whose pair with the next glyph needs a look: kerned, or first in `followed`. The
    // pair of any other glyph with the next is just their advances.
    GlyphBits pairFirsts;

    // The kerning HarfBuzz gives pairs of glyphs no lookup acts on otherwise, as shaping finds it.
    std::unique_ptr<PairValues> pairs = std::make_unique<PairValues>();

    bool triggers(unsigned glyph) const { return always.has(glyph); }
    bool triggersPair(unsigned first, unsigned second) const;
};

// The triggers of every lookup HarfBuzz applies to left-to-right text of `script` (an
// hb_script_t; HB_SCRIPT_INVALID for text of no script) in the default language.
LayoutTriggers layoutTriggers(hb_face_t* face, unsigned glyphCount, quint32 script);

} // namespace zendrik
