#pragma once
// One font face as layout shapes with it and the PDF embeds it: HarfBuzz's view of the font Qt
// resolved, immutable once made, so that every thread of a job can use it at once.

#include <QByteArray>
#include <QImage>
#include <QPainterPath>
#include <QRawFont>
#include <QRectF>
#include <QString>

#include "layout/otlayout.h"

#include <array>
#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

struct hb_face_t;
struct hb_font_t;

namespace zendrik {

class FontFace {
public:
    enum class Kind {
        Outlines, // glyphs with outlines (TrueType, CFF or Type 1)
        Bitmaps,  // colour bitmaps only (CBDT, sbix): each glyph is a picture
        Boxes,    // no font has the character: a hollow box stands for it
    };

    // The face Qt draws `font` with. Faces already made for the same font file and style are
    // shared (a few are kept for later jobs).
    static std::shared_ptr<const FontFace> fromRawFont(const QRawFont& font);
    // The stand-in for characters no installed font has.
    static std::shared_ptr<const FontFace> boxes();

    ~FontFace();
    FontFace(const FontFace&) = delete;
    FontFace& operator=(const FontFace&) = delete;

    Kind kind() const { return kind_; }
    // Different for every face made in this process, even at the address of one destroyed.
    quint64 serial() const { return serial_; }
    // HarfBuzz's font, its scale one unit per font unit. Null for Boxes.
    hb_font_t* hbFont() const { return font_; }
    int unitsPerEm() const { return unitsPerEm_; }
    // Glyphs in the font.
    unsigned glyphCount() const { return glyphCount_; }

    // What shaping text that no layout lookup acts on needs: the glyph of each character of the
    // Basic Multilingual Plane (0: none) and each glyph's advance in font units. Read from the
    // font by blocks of 256 as they are first asked for: a fallback face may serve a few
    // characters of a large font. Used by every thread at once.
    class GlyphTables {
    public:
        explicit GlyphTables(hb_font_t* font, unsigned glyphCount) : font_(font), glyphCount_(glyphCount) {}
        ~GlyphTables();
        GlyphTables(const GlyphTables&) = delete;
        GlyphTables& operator=(const GlyphTables&) = delete;

        quint16 glyph(char16_t c) const {
            const CharBlock* block = chars_[c >> 8].load(std::memory_order_acquire);
            return (block ? block : readChars(c >> 8))->at(c & 0xFF);
        }
        qint32 advance(quint16 glyph) const {
            const AdvanceBlock* block = advances_[glyph >> 8].load(std::memory_order_acquire);
            return (block ? block : readAdvances(glyph >> 8))->at(glyph & 0xFF);
        }

    private:
        using CharBlock = std::array<quint16, 256>;
        using AdvanceBlock = std::array<qint32, 256>;
        const CharBlock* readChars(unsigned block) const;
        const AdvanceBlock* readAdvances(unsigned block) const;

        hb_font_t* font_;
        unsigned glyphCount_;
        mutable std::array<std::atomic<const CharBlock*>, 256> chars_{};
        mutable std::array<std::atomic<const AdvanceBlock*>, 256> advances_{};
    };
    // Null for faces without OpenType tables (Type 1), bitmap faces and Boxes.
    const GlyphTables* glyphTables() const;
    // Where layout lookups for left-to-right text of `script` (hb_script_t) may act; read on first
    // use for each script.
    const LayoutTriggers& layoutTriggers(quint32 script) const;
    // The glyph the character map gives, 0 when the face lacks the character.
    quint32 glyphFor(char32_t c) const;
    // Advance in font units.
    int advance(quint32 glyph) const;
    // Outline in font units, y growing downwards; empty for bitmap glyphs.
    QPainterPath outline(quint32 glyph) const;
    // The picture of a bitmap glyph and where it stands, in font units from the glyph's origin
    // (y downwards). Null image when the glyph has none.
    QImage bitmap(quint32 glyph, QRectF* box) const;
    // A table of the font file, empty when missing (always for Type 1 faces).
    QByteArray table(const char* tag) const;

    QString familyName() const { return family_; }
    bool bold() const { return bold_; }
    bool italic() const { return italic_; }
    // Styles Qt makes up for a face that lacks them: bold by stroking, italic by slanting.
    bool syntheticBold() const { return syntheticBold_; }
    bool syntheticItalic() const { return syntheticItalic_; }
    int ascent() const { return ascent_; }   // font units above the baseline
    int descent() const { return descent_; } // font units below, positive
    // The underline from the font's post table, in font units: the top of the line below the
    // baseline (positive downwards) and its thickness; 0 when the font gives none.
    int underlineTop() const { return underlineTop_; }
    int underlineThickness() const { return underlineThickness_; }

private:
    FontFace();
    struct Snapshot;
    void finish();

    Kind kind_ = Kind::Outlines;
    quint64 serial_ = 0;
    hb_face_t* face_ = nullptr;
    hb_font_t* font_ = nullptr;
    int unitsPerEm_ = 1000;
    unsigned glyphCount_ = 0;
    int underlineTop_ = 0;
    int underlineThickness_ = 0;
    QString family_;
    bool bold_ = false;
    bool italic_ = false;
    bool syntheticBold_ = false;
    bool syntheticItalic_ = false;
    int ascent_ = 800;
    int descent_ = 200;
    std::unique_ptr<Snapshot> data_;
    mutable std::mutex tablesMutex_;
    mutable std::atomic<const GlyphTables*> tables_{nullptr};
    mutable bool tablesTried_ = false;
    mutable std::mutex triggersMutex_;
    mutable std::vector<std::pair<quint32, std::unique_ptr<LayoutTriggers>>> triggers_;
};

} // namespace zendrik
