#pragma once
// The component's font object: the five font members a host sets (Name, Size, Bold, Italic,
// Underline). The component owns one per document part and hands it out by reference; a change
// made through that reference is what prints.

#include <QString>

namespace zendrik {

class Zendrik;

// Member numbers of the font object.
enum class FontMember { Name = 0, Size = 2, Bold = 3, Italic = 4, Underline = 5 };

// A font as it is stored and snapshotted: plain values, cheap to copy between threads.
struct FontSpec {
    QString name = QStringLiteral("Sans Serif");
    double pointSize = 10.0;
    bool bold = false;
    bool italic = false;
    bool underline = false;

    friend bool operator==(const FontSpec&, const FontSpec&) = default;
};

class ZendrikFont {
public:
    QString Name() const { return spec_.name; }
    // Any family name is taken; printing falls back to an installed font when it is missing.
    void setName(const QString& family);

    double Size() const { return spec_.pointSize; }
    // Points, given as text ("10", "8.25"; C locale or the user's locale). Throws RefusedValue
    // unless it is a number from 1 to 800 points.
    void setSize(const QString& points);
    void setSize(double points);

    bool Bold() const { return spec_.bold; }
    void setBold(bool on);
    bool Italic() const { return spec_.italic; }
    void setItalic(bool on);
    bool Underline() const { return spec_.underline; }
    void setUnderline(bool on);

    const FontSpec& spec() const { return spec_; }

private:
    friend class Zendrik;
    ZendrikFont(Zendrik& owner, quint32 memberId, FontSpec initial);
    Zendrik& owner_;
    quint32 memberId_;
    FontSpec spec_;
};

} // namespace zendrik
