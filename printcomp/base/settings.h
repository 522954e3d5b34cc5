#pragma once
// The component's members as plain values: what PrintDoc freezes for a job.

#include <zendrik/zendrikfont.h>

#include <QFont>
#include <QString>

#include <array>

namespace zendrik {

enum class FontRole { Title = 0, Body = 1, Header = 2, Footer = 3 };
inline constexpr int kFontRoles = 4;

// The font sizes a font object takes, in points. Below the least, Qt's font engines give
// rounded or zero metrics (nothing below 0.05 pt has any height at all). Measured at 1200 dpi,
// metrics overflow at 16384 pixels (983 points): from about 1050 points up, fonts with a tall
// ascent measure negative; the most leaves room for ascents of 1.2 em.
inline constexpr double kMinPointSize = 1.0;
inline constexpr double kMaxPointSize = 800.0;

struct Settings {
    QString docTitle;
    QString docText;
    QString docHeader;
    QString docFooter;
    QString docFile;
    bool docFileAllData = false;
    // Indexed by FontRole.
    std::array<FontSpec, kFontRoles> fonts{
        FontSpec{QStringLiteral("Sans Serif"), 16.0},
        FontSpec{},
        FontSpec{},
        FontSpec{},
    };
    qint32 printQuality = 3;
    qint32 paperSize = 9;
    qint32 orientation = 1;
    qint32 paperBin = 7;
    qint16 copies = 1;
    qint32 lineSpacing = 1;
    qint16 marginLeft = 1440;
    qint16 marginRight = 1440;
    qint16 marginTop = 1440;
    qint16 marginBottom = 1440;
    qint16 printMode = 1;
    bool printPageNumbers = false;
    bool printDateTime = false;
    bool drawBorder = false;
    bool lineBelowHeader = false;
    bool lineAboveFooter = false;

    const FontSpec& font(FontRole role) const { return fonts[static_cast<size_t>(role)]; }
    friend bool operator==(const Settings&, const Settings&) = default;
};

// The font as layout measures it and output draws it: unhinted outlines, so that widths scale
// exactly with the size.
QFont toQFont(const FontSpec& spec);

} // namespace zendrik
