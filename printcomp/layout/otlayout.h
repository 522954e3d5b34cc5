#pragma once
// Where a font's OpenType layout can act on text of one script: the glyphs at which a substitution,
// or a positioning other than kerning of a pair, may start. Text free of them shapes, in HarfBuzz,
// to its character map's glyphs at their advances, each adjusted by the kerning of the pair it
// begins; shaping needs the whole machinery only where they occur.

#include <QtGlobal>

#include <algorithm>
#include <array>
#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

struct hb_face_t;

namespace zendrik {

// A set of glyph numbers, kept by blocks of 256 glyphs of which only those holding a glyph take
// room: the sets a large font's lookups make name few of its glyphs.
class GlyphBits {
public:
    GlyphBits() = default;
    explicit GlyphBits(unsigned glyphCount) : index_((glyphCount + 255) / 256, 0) {}
    void set(unsigned glyph);
    void setAll() {
        all_ = true;
        blocks_.clear();
        std::fill(index_.begin(), index_.end(), quint16(0));
    }
    bool has(unsigned glyph) const {
        const size_t block = glyph >> 8;
        if (block >= index_.size())
            return false;
        if (all_)
            return true;
        const unsigned at = index_[block];
        return at != 0 && (blocks_[at - 1][(glyph >> 6) & 3] >> (glyph & 63)) & 1;
    }
    bool any() const { return all_ ? !index_.empty() : !blocks_.empty(); }
    void unite(const GlyphBits& other);

private:
    // The block's bits, made empty on first use.
    std::array<quint64, 4>& blockOf(size_t block);

    std::vector<quint16> index_; // by block: 1 + its place in blocks_, or 0 while it holds no glyph
    std::vector<std::array<quint64, 4>> blocks_;
    bool all_ = false;
};

// Values found for pairs of glyphs, shared by every thread without a lock. The table starts small
// and grows while it fills, up to a fixed size; then further pairs are not kept. A pair stored
// while the table grows may be lost: it is found again.
class PairValues {
public:
    PairValues() = default;
    ~PairValues();
    PairValues(const PairValues&) = delete;
    PairValues& operator=(const PairValues&) = delete;

    bool find(quint32 pair, qint32& value) const {
        const Table* table = current_.load(std::memory_order_acquire);
        return table && table->find(pair, value);
    }
    void insert(quint32 pair, qint32 value);

private:
    static constexpr size_t kFirstSlots = 1 << 9;
    static constexpr size_t kMaxSlots = 1 << 15;
    struct Table {
        explicit Table(size_t count);
        bool find(quint32 pair, qint32& value) const {
            for (size_t at = slot(pair), probes = 0; probes <= mask; at = (at + 1) & mask, ++probes) {
                const quint64 entry = cells[at].load(std::memory_order_acquire);
                if (entry == 0)
                    return false;
                if (entry >> 32 == quint64(pair) + 1) {
                    value = qint32(quint32(entry));
                    return true;
                }
            }
            return false;
        }
        bool full() const { return used.load(std::memory_order_relaxed) >= (mask + 1) / 4 * 3; }
        void insert(quint64 entry);
        size_t slot(quint32 pair) const { return size_t((pair * 0x9E3779B1u) >> shift); }

        size_t mask;
        int shift; // keeps the hash's top bits, as many as index the slots
        std::unique_ptr<std::atomic<quint64>[]> cells;
        std::atomic<size_t> used{0};
    };
    std::atomic<Table*> current_{nullptr};
    std::mutex growing_;
    // Every table made: a reader may still look into one outgrown.
    std::vector<std::unique_ptr<Table>> tables_;
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
