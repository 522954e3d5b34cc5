#pragma once
// One font face as layout shapes with it and the PDF embeds it: HarfBuzz's view of the font Qt
// resolved, immutable once made, so that every thread of a job can use it at once.

#include <QByteArray>
#include <QImage>
#include <QPainterPath>
#include <QRawFont>
#include <QRectF>
#include <QString>

#include <memory>

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

private:
    FontFace();
    struct Snapshot;
    void finish();

    Kind kind_ = Kind::Outlines;
    quint64 serial_ = 0;
    hb_font_t* font_ = nullptr;
    int unitsPerEm_ = 1000;
    QString family_;
    bool bold_ = false;
    bool italic_ = false;
    bool syntheticBold_ = false;
    bool syntheticItalic_ = false;
    int ascent_ = 800;
    int descent_ = 200;
    std::unique_ptr<Snapshot> data_;
};

} // namespace zendrik
