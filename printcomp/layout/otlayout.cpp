#include "layout/otlayout.h"

#include <hb-ot.h>
#include <hb.h>

#include <algorithm>
#include <bit>
#include <set>

namespace zendrik {

std::array<quint64, 4>& GlyphBits::blockOf(size_t block) {
    if (index_[block] == 0) {
        blocks_.push_back({});
        index_[block] = quint16(blocks_.size());
    }
    return blocks_[index_[block] - 1];
}

void GlyphBits::set(unsigned glyph) {
    const size_t block = glyph >> 8;
    if (all_ || block >= index_.size())
        return;
    blockOf(block)[(glyph >> 6) & 3] |= quint64(1) << (glyph & 63);
}

void GlyphBits::unite(const GlyphBits& other) {
    if (other.index_.size() > index_.size())
        index_.resize(other.index_.size(), 0);
    if (all_)
        return;
    if (other.all_) {
        setAll();
        return;
    }
    for (size_t block = 0; block < other.index_.size(); ++block) {
        if (other.index_[block] == 0)
            continue;
        std::array<quint64, 4>& mine = blockOf(block);
        const std::array<quint64, 4>& theirs = other.blocks_[other.index_[block] - 1];
        for (size_t i = 0; i < mine.size(); ++i)
            mine[i] |= theirs[i];
    }
}

PairValues::Table::Table(size_t slotCount)
    : mask(slotCount - 1), shift(32 - std::countr_zero(slotCount)), cells(new std::atomic<quint64>[slotCount]) {
    for (size_t i = 0; i < slotCount; ++i)
        cells[i].store(0, std::memory_order_relaxed);
}

void PairValues::Table::insert(quint64 entry) {
    const quint32 pair = quint32((entry >> 32) - 1);
    for (size_t at = slot(pair), probes = 0; probes <= mask; at = (at + 1) & mask, ++probes) {
        quint64 seen = cells[at].load(std::memory_order_acquire);
        if (seen == 0 && cells[at].compare_exchange_strong(seen, entry, std::memory_order_acq_rel)) {
            used.fetch_add(1, std::memory_order_relaxed);
            return;
        }
        if (seen >> 32 == entry >> 32)
            return; // another thread found it too
    }
}

PairValues::~PairValues() = default;

void PairValues::insert(quint32 pair, qint32 value) {
    Table* table = current_.load(std::memory_order_acquire);
    if (!table || table->full()) {
        std::lock_guard lock(growing_);
        table = current_.load(std::memory_order_acquire);
        if (!table || (table->full() && table->mask + 1 < kMaxSlots)) {
            auto grown = std::make_unique<Table>(table ? std::min(kMaxSlots, (table->mask + 1) * 8) : kFirstSlots);
            if (table) {
                for (size_t i = 0; i <= table->mask; ++i) {
                    if (const quint64 entry = table->cells[i].load(std::memory_order_acquire))
                        grown->insert(entry);
                }
            }
            table = grown.get();
            tables_.push_back(std::move(grown));
            current_.store(table, std::memory_order_release);
        } else if (table->full()) {
            return;
        }
    }
    table->insert((quint64(pair) + 1) << 32 | quint32(value));
}

bool LayoutTriggers::triggersPair(unsigned first, unsigned second) const {
    for (const auto& [firsts, seconds] : followed) {
        if (firsts.has(first) && seconds.has(second))
            return true;
    }
    return false;
}

namespace {

// Glyphs, class values and offsets read before a font is deemed too large to tell apart.
constexpr long kBudget = 1 << 23;
// Pairs of sets kept apart before they are merged into one (which only makes more text take the
// whole machinery).
constexpr size_t kMaxFollowed = 64;

class Table {
public:
    Table(hb_face_t* face, hb_tag_t tag) : blob_(hb_face_reference_table(face, tag)) {
        unsigned length = 0;
        data_ = reinterpret_cast<const quint8*>(hb_blob_get_data(blob_, &length));
        size_ = length;
    }
    ~Table() { hb_blob_destroy(blob_); }
    Table(const Table&) = delete;
    Table& operator=(const Table&) = delete;

    quint64 size() const { return size_; }
    unsigned u16(quint64 at) const { return at + 2 <= size_ ? unsigned(data_[at]) << 8 | data_[at + 1] : 0; }
    quint32 u32(quint64 at) const { return quint32(u16(at)) << 16 | u16(at + 2); }

private:
    hb_blob_t* blob_;
    const quint8* data_ = nullptr;
    quint64 size_ = 0;
};

class Analysis {
public:
    Analysis(const Table& table, unsigned glyphCount, bool positioning, LayoutTriggers& out)
        : t_(table), glyphs_(glyphCount), gpos_(positioning), out_(out) {}

    bool overBudget() const { return budget_ < 0; }

    void lookup(unsigned index) {
        const quint64 list = t_.u16(8);
        if (list == 0 || index >= t_.u16(list))
            return;
        const quint64 lookup = list + t_.u16(list + 2 + 2 * quint64(index));
        unsigned type = t_.u16(lookup);
        const unsigned count = t_.u16(lookup + 4);
        for (unsigned i = 0; i < count && !overBudget(); ++i) {
            quint64 sub = lookup + t_.u16(lookup + 6 + 2 * quint64(i));
            unsigned subType = type;
            if (type == (gpos_ ? 9u : 7u)) {
                if (t_.u16(sub) != 1)
                    continue;
                subType = t_.u16(sub + 2);
                sub += t_.u32(sub + 4);
            }
            subtable(sub, subType);
        }
    }

private:
    bool spend(long n) {
        budget_ -= n;
        return budget_ >= 0;
    }

    // Calls f(coverage index, glyph) for every glyph of a Coverage table.
    template <typename F> void coverage(quint64 at, F f) {
        const unsigned format = t_.u16(at);
        const unsigned count = t_.u16(at + 2);
        if (format == 1) {
            if (!spend(count))
                return;
            for (unsigned i = 0; i < count; ++i)
                f(i, t_.u16(at + 4 + 2 * quint64(i)));
        } else if (format == 2) {
            for (unsigned r = 0; r < count; ++r) {
                const quint64 range = at + 4 + 6 * quint64(r);
                const unsigned start = t_.u16(range);
                const unsigned end = std::min(t_.u16(range + 2), glyphs_ == 0 ? 0u : glyphs_ - 1);
                const unsigned index = t_.u16(range + 4);
                if (end < start)
                    continue;
                if (!spend(long(end - start) + 1))
                    return;
                for (unsigned g = start; g <= end; ++g)
                    f(index + (g - start), g);
            }
        }
    }
    void coverageInto(quint64 at, GlyphBits& bits) {
        coverage(at, [&](unsigned, unsigned g) { bits.set(g); });
    }

    // The class of every glyph by a ClassDef table (0 where it names none).
    std::vector<quint16> classes(quint64 at) {
        std::vector<quint16> out(glyphs_, 0);
        if (!spend(glyphs_))
            return out;
        const unsigned format = t_.u16(at);
        if (format == 1) {
            const unsigned start = t_.u16(at + 2);
            const unsigned count = t_.u16(at + 4);
            for (unsigned i = 0; i < count && start + i < glyphs_; ++i)
                out[start + i] = quint16(t_.u16(at + 6 + 2 * quint64(i)));
        } else if (format == 2) {
            const unsigned count = t_.u16(at + 2);
            for (unsigned r = 0; r < count; ++r) {
                const quint64 range = at + 4 + 6 * quint64(r);
                const unsigned end = std::min(t_.u16(range + 2), glyphs_ == 0 ? 0u : glyphs_ - 1);
                const unsigned value = t_.u16(range + 4);
                const unsigned start = t_.u16(range);
                if (end < start || !spend(long(end - start) + 1))
                    continue;
                for (unsigned g = start; g <= end; ++g)
                    out[g] = quint16(value);
            }
        }
        return out;
    }
    void classesInto(const std::vector<quint16>& classOf, const std::set<unsigned>& wanted, GlyphBits& bits) {
        if (wanted.count(0)) {
            bits.setAll();
            return;
        }
        for (unsigned g = 0; g < classOf.size(); ++g) {
            if (wanted.count(classOf[g]))
                bits.set(g);
        }
    }

    void keep(GlyphBits&& first, GlyphBits&& second) {
        if (!first.any())
            return;
        out_.pairFirsts.unite(first);
        if (out_.followed.size() >= kMaxFollowed) {
            out_.followed.back().first.unite(first);
            out_.followed.back().second.unite(second);
            return;
        }
        out_.followed.emplace_back(std::move(first), std::move(second));
    }

    // What follows the first glyph in a rule: the second input glyph, else the first looked
    // ahead at; none when the rule matches on one glyph.
    struct Rule {
        bool alone = false;
        unsigned second = 0;
        bool secondIsLookahead = false;
    };
    Rule contextRule(quint64 rule) const {
        const unsigned inputs = t_.u16(rule);
        if (inputs <= 1)
            return Rule{true};
        return Rule{false, t_.u16(rule + 4)};
    }
    Rule chainRule(quint64 rule) const {
        const unsigned backtrack = t_.u16(rule);
        const quint64 input = rule + 2 + 2 * quint64(backtrack);
        const unsigned inputs = t_.u16(input);
        if (inputs >= 2)
            return Rule{false, t_.u16(input + 2)};
        const quint64 ahead = input + 2 + 2 * quint64(inputs > 0 ? inputs - 1 : 0);
        if (t_.u16(ahead) >= 1)
            return Rule{false, t_.u16(ahead + 2), true};
        return Rule{true};
    }

    // Rules in sets by the first glyph's coverage index (format 1) or class (format 2).
    template <typename RuleOf>
    void ruleSets(quint64 sub, quint64 setCountAt, RuleOf ruleOf, bool byClass, quint64 classDefAt,
                  quint64 lookaheadClassDefAt) {
        const unsigned setCount = t_.u16(setCountAt);
        GlyphBits first(glyphs_), second(glyphs_);
        std::set<unsigned> inputClasses, lookaheadClasses;
        std::vector<char> alone(setCount, 0), hasRules(setCount, 0);
        for (unsigned s = 0; s < setCount && spend(1); ++s) {
            const unsigned offset = t_.u16(setCountAt + 2 + 2 * quint64(s));
            if (offset == 0)
                continue;
            const quint64 set = sub + offset;
            const unsigned rules = t_.u16(set);
            if (!spend(rules))
                return;
            for (unsigned r = 0; r < rules; ++r) {
                const Rule rule = ruleOf(set + t_.u16(set + 2 + 2 * quint64(r)));
                hasRules[s] = 1;
                if (rule.alone)
                    alone[s] = 1;
                else if (!byClass)
                    second.set(rule.second);
                else
                    (rule.secondIsLookahead ? lookaheadClasses : inputClasses).insert(rule.second);
            }
        }
        const quint64 cov = sub + t_.u16(sub + 2);
        if (byClass) {
            const std::vector<quint16> classOf = classes(classDefAt);
            classesInto(classOf, inputClasses, second);
            if (!lookaheadClasses.empty())
                classesInto(classes(lookaheadClassDefAt), lookaheadClasses, second);
            coverage(cov, [&](unsigned, unsigned g) {
                const unsigned c = g < classOf.size() ? classOf[g] : 0;
                if (c < setCount && alone[c])
                    out_.always.set(g);
                else if (c < setCount && hasRules[c])
                    first.set(g);
            });
        } else {
            coverage(cov, [&](unsigned index, unsigned g) {
                if (index < setCount && alone[index])
                    out_.always.set(g);
                else if (index < setCount && hasRules[index])
                    first.set(g);
            });
        }
        keep(std::move(first), std::move(second));
    }

    void subtable(quint64 sub, unsigned type) {
        const unsigned format = t_.u16(sub);
        const unsigned context = gpos_ ? 7 : 5;
        const unsigned chain = gpos_ ? 8 : 6;
        if (gpos_ && type == 2) {
            const unsigned first = t_.u16(sub + 4), second = t_.u16(sub + 6);
            // Kerning that moves only the first glyph's advance (device tables apply to no
            // size here) acts pair by pair; anything else starts where it is covered.
            if (second == 0 && (first & ~0x00F4u) == 0) {
                coverageInto(sub + t_.u16(sub + 2), out_.pairFirsts);
                return;
            }
        } else if (!gpos_ && type == 4 && format == 1) {
            const unsigned setCount = t_.u16(sub + 4);
            GlyphBits first(glyphs_), second(glyphs_);
            coverage(sub + t_.u16(sub + 2), [&](unsigned index, unsigned g) {
                if (index >= setCount)
                    return;
                const quint64 set = sub + t_.u16(sub + 6 + 2 * quint64(index));
                const unsigned count = t_.u16(set);
                if (!spend(count))
                    return;
                for (unsigned l = 0; l < count; ++l) {
                    const quint64 ligature = set + t_.u16(set + 2 + 2 * quint64(l));
                    if (t_.u16(ligature + 2) <= 1) {
                        out_.always.set(g);
                    } else {
                        first.set(g);
                        second.set(t_.u16(ligature + 4));
                    }
                }
            });
            keep(std::move(first), std::move(second));
            return;
        } else if (type == context || type == chain) {
            const bool chained = type == chain;
            if (format == 1) {
                auto rule = [&](quint64 r) { return chained ? chainRule(r) : contextRule(r); };
                ruleSets(sub, sub + 4, rule, false, 0, 0);
                return;
            }
            if (format == 2) {
                auto rule = [&](quint64 r) { return chained ? chainRule(r) : contextRule(r); };
                if (chained)
                    ruleSets(sub, sub + 10, rule, true, sub + t_.u16(sub + 6), sub + t_.u16(sub + 8));
                else
                    ruleSets(sub, sub + 6, rule, true, sub + t_.u16(sub + 4), 0);
                return;
            }
            if (format == 3) {
                quint64 firstAt = 0, secondAt = 0;
                if (!chained) {
                    const unsigned count = t_.u16(sub + 2);
                    if (count == 0)
                        return;
                    firstAt = sub + t_.u16(sub + 6);
                    if (count >= 2)
                        secondAt = sub + t_.u16(sub + 8);
                } else {
                    const quint64 input = sub + 4 + 2 * quint64(t_.u16(sub + 2));
                    const unsigned count = t_.u16(input);
                    if (count == 0)
                        return;
                    firstAt = sub + t_.u16(input + 2);
                    const quint64 ahead = input + 2 + 2 * quint64(count);
                    if (count >= 2)
                        secondAt = sub + t_.u16(input + 4);
                    else if (t_.u16(ahead) >= 1)
                        secondAt = sub + t_.u16(ahead + 2);
                }
                if (secondAt == 0) {
                    coverageInto(firstAt, out_.always);
                    return;
                }
                GlyphBits first(glyphs_), second(glyphs_);
                coverageInto(firstAt, first);
                coverageInto(secondAt, second);
                keep(std::move(first), std::move(second));
                return;
            }
        }
        // Every other kind acts on the glyph its first coverage names.
        coverageInto(sub + t_.u16(sub + 2), out_.always);
    }

    const Table& t_;
    unsigned glyphs_;
    bool gpos_;
    LayoutTriggers& out_;
    long budget_ = kBudget;
};

hb_tag_t tag(const char* name) {
    return HB_TAG(name[0], name[1], name[2], name[3]);
}

// Kerning tables HarfBuzz applies pair by pair: OpenType's, of pairs or classes, along the line.
bool pairwiseKernTable(hb_face_t* face) {
    const Table kern(face, tag("kern"));
    if (kern.size() == 0)
        return true;
    if (kern.u16(0) != 0)
        return false;
    const unsigned count = kern.u16(2);
    quint64 at = 4;
    for (unsigned i = 0; i < count; ++i) {
        const unsigned length = kern.u16(at + 2);
        const unsigned coverage = kern.u16(at + 4);
        const unsigned format = coverage >> 8;
        if ((format != 0 && format != 2) || (coverage & 4) != 0 || length < 6)
            return false;
        at += length;
    }
    return true;
}

} // namespace

LayoutTriggers layoutTriggers(hb_face_t* face, unsigned glyphCount, quint32 script) {
    LayoutTriggers out;
    out.always = GlyphBits(glyphCount);
    out.pairFirsts = GlyphBits(glyphCount);
    for (const char* name : {"morx", "mort", "kerx", "trak"}) {
        hb_blob_t* blob = hb_face_reference_table(face, tag(name));
        const bool present = hb_blob_get_length(blob) > 0;
        hb_blob_destroy(blob);
        if (present)
            return out;
    }
    if (!pairwiseKernTable(face))
        return out;
    // A kerning table applies where the lookups hold no kerning: every pair is looked at.
    if (hb_blob_t* kern = hb_face_reference_table(face, tag("kern")); hb_blob_get_length(kern) > 0) {
        out.pairFirsts.setAll();
        hb_blob_destroy(kern);
    } else {
        hb_blob_destroy(kern);
    }

    hb_segment_properties_t props = HB_SEGMENT_PROPERTIES_DEFAULT;
    props.direction = HB_DIRECTION_LTR;
    props.script = hb_script_t(script);
    props.language = hb_language_get_default();
    hb_shape_plan_t* plan = hb_shape_plan_create_cached(face, &props, nullptr, 0, nullptr);
    hb_set_t* lookups = hb_set_create();
    bool ok = true;
    for (const bool positioning : {false, true}) {
        const Table table(face, positioning ? HB_OT_TAG_GPOS : HB_OT_TAG_GSUB);
        hb_set_clear(lookups);
        hb_ot_shape_plan_collect_lookups(plan, positioning ? HB_OT_TAG_GPOS : HB_OT_TAG_GSUB, lookups);
        Analysis analysis(table, glyphCount, positioning, out);
        for (hb_codepoint_t index = HB_SET_VALUE_INVALID; hb_set_next(lookups, &index);)
            analysis.lookup(index);
        ok = ok && !analysis.overBudget();
    }
    // Glyphs the font classes as marks, ligatures or their components: lookups may skip them.
    for (const hb_ot_layout_glyph_class_t kind :
         {HB_OT_LAYOUT_GLYPH_CLASS_LIGATURE, HB_OT_LAYOUT_GLYPH_CLASS_MARK, HB_OT_LAYOUT_GLYPH_CLASS_COMPONENT}) {
        hb_set_clear(lookups);
        hb_ot_layout_get_glyphs_in_class(face, kind, lookups);
        for (hb_codepoint_t g = HB_SET_VALUE_INVALID; hb_set_next(lookups, &g);)
            out.always.set(g);
    }
    hb_set_destroy(lookups);
    hb_shape_plan_destroy(plan);
    out.usable = ok;
    return out;
}

} // namespace zendrik
