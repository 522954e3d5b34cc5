#pragma once
// Random text and fonts for the fuzz targets, made of what troubles line breaking and text output.

#include <QFontDatabase>
#include <QRawFont>
#include <QString>
#include <QStringList>

#include <fuzzer/FuzzedDataProvider.h>

#include "layout/fontmetrics.h"
#include "layout/shaping.h"

#include <algorithm>
#include <array>
#include <memory>
#include <vector>

namespace fuzzcommon {

// Pieces of text of the scripts and characters that need shaping or a fallback font.
inline constexpr std::array<const char16_t*, 16> kPieces{u"\u05E9\u05DC\u05D5\u05DD",
                                                         u"\u0645\u0631\u062D\u0628\u0627",
                                                         u"\u4E2D\u6587\u6587\u672C",
                                                         u"\u3000",
                                                         u"e\u0301\u0323",
                                                         u"\U0001F600",
                                                         u"\u00A0",
                                                         u"\u200B",
                                                         u"\u2028",
                                                         u"\u0E20\u0E32\u0E29\u0E32",
                                                         u"\u0394\u03B5\u03BB",
                                                         u"\u0416\u0437",
                                                         u"\uFB01",
                                                         u"\u00AD",
                                                         u"\uFEFF",
                                                         u"\u0915\u094D\u0937"};

// Text made of the things that trouble line breaking: tabs, every kind of line break, words longer
// than a line, right-to-left and CJK characters, combining marks, surrogate pairs, odd spaces.
inline QString fuzzText(FuzzedDataProvider& in, size_t maxTokens) {
    QString text;
    for (size_t n = 0; n < maxTokens && in.remaining_bytes() > 0; ++n) {
        const uint8_t token = in.ConsumeIntegral<uint8_t>();
        if (token < 96) {
            text.append(QChar(u'a' + token % 26));
        } else if (token < 128) {
            text.append(u' ');
        } else if (token < 136) {
            text.append(u'\t');
        } else if (token < 142) {
            static const std::array<const char*, 3> kBreaks{"\r\n", "\n", "\r"};
            text.append(QLatin1String(kBreaks[token % 3]));
        } else if (token < 150) {
            const int length = in.ConsumeIntegralInRange<int>(1, 600);
            text.append(QString(length, QChar(u'A' + token % 26)));
        } else if (token < 166) {
            text.append(QString::fromUtf16(kPieces[token - 150]));
        } else if (token < 176) {
            text.append(QChar(u'0' + token % 10));
        } else if (token < 186) {
            text.append(QChar(static_cast<char16_t>(u"!\"#.,;:-()"[token - 176])));
        } else {
            text.append(QChar(static_cast<char16_t>(0xA0 + token)));
        }
    }
    return text;
}

// Families of each kind of font layout and output treat apart: TrueType with large layout tables,
// fixed pitch, a family with only a regular face (bold and italic made up), Type 1, CFF, a CJK
// collection, colour bitmaps, scripts shaped by their own rules. Every face of them is made once
// per process (warmFonts): an execution that opened fonts anew spent nearly all its time there
// instead of in the code under test.
inline const QStringList& fuzzFamilies() {
    static const QStringList families = [] {
        const QStringList installed = QFontDatabase::families();
        QStringList picked;
        for (const char* name : {"DejaVu Sans", "DejaVu Sans Mono", "DejaVu Math TeX Gyre", "Liberation Serif",
                                 "Nimbus Roman", "Standard Symbols PS", "Comic Neue", "Noto Sans CJK SC",
                                 "Noto Color Emoji", "Noto Sans Arabic", "Noto Sans Thai"}) {
            if (installed.contains(QLatin1String(name)))
                picked << QLatin1String(name);
        }
        return picked;
    }();
    return families;
}

inline const QString kMissingFamily = QStringLiteral("No Such Font Family");

// One of those families, or now and then one that does not exist.
inline QString fuzzFamily(FuzzedDataProvider& in) {
    return fuzzFamilies().value(in.ConsumeIntegralInRange<int>(0, int(fuzzFamilies().size())), kMissingFamily);
}

// Every font fuzzFamily and the targets' style flags can ask for, at the default size.
inline std::vector<zendrik::FontSpec> fuzzStyles() {
    std::vector<zendrik::FontSpec> styles;
    for (const QString& family : fuzzFamilies() + QStringList{kMissingFamily}) {
        for (const int style : {0, 1, 2, 3}) {
            zendrik::FontSpec spec;
            spec.name = family;
            spec.bold = style & 1;
            spec.italic = style & 2;
            styles.push_back(spec);
        }
    }
    return styles;
}

// Makes every face the fuzz fonts and text can reach, the fallbacks included, and keeps them for
// the process, so that the executions find them made.
inline void warmFonts() {
    static std::vector<std::shared_ptr<const zendrik::FontFace>> kept;
    QString characters = QStringLiteral("!\"#.,;:-()\t ");
    for (int c = 0; c < 26; ++c) {
        characters += QChar(u'a' + c);
        characters += QChar(u'A' + c);
    }
    for (int c = 0; c < 10; ++c)
        characters += QChar(u'0' + c);
    // What fuzzText makes of its highest tokens.
    for (int token = 186; token < 256; ++token)
        characters += QChar(0xA0 + token);
    for (const char16_t* piece : kPieces)
        characters += QString::fromUtf16(piece);
    const QList<uint> codes = characters.toUcs4();
    for (const zendrik::FontSpec& spec : fuzzStyles()) {
        std::array<zendrik::FontSpec, zendrik::kFontRoles> specs;
        specs.fill(spec);
        const zendrik::FontSet set(specs);
        kept.push_back(set.primary(zendrik::FontRole::Body));
        for (const char32_t c : codes)
            kept.push_back(set.faceFor(zendrik::FontRole::Body, c));
        // The faces read their glyph tables, layout rules (by script and direction) and outline
        // tables on first use and keep them: read here, once, rather than by whichever executions
        // first reach them.
        zendrik::shapeText(set, zendrik::FontRole::Body, characters);
        for (const char16_t* piece : kPieces) {
            const QString text = QString::fromUtf16(piece);
            zendrik::shapeText(set, zendrik::FontRole::Body, text);
            zendrik::shapeText(set, zendrik::FontRole::Body,
                               QString::fromUtf16(u"\u05D0 ") + text + QStringLiteral(" 1"));
        }
    }
    std::sort(kept.begin(), kept.end());
    kept.erase(std::unique(kept.begin(), kept.end()), kept.end());
    for (const auto& face : kept) {
        for (const char32_t c : codes) {
            if (const quint32 glyph = face->glyphFor(c))
                face->outline(glyph);
        }
    }
}

// Keeps Qt's fonts open in every family and style at the sizes a target draws, as a running
// application keeps those it prints with. Qt closes fonts nothing holds once it has many open, and an
// execution that opened one again spent most of its time in fontconfig.
inline void keepFontsOpen(const std::vector<double>& sizes) {
    static zendrik::PrintResolutionDevice device;
    static std::vector<QFont> open;
    for (zendrik::FontSpec spec : fuzzStyles()) {
        for (const double size : sizes) {
            spec.pointSize = size;
            const QFont font(zendrik::toQFont(spec), &device);
            QRawFont::fromFont(font); // opens it, as a job's font set does
            open.push_back(font);
        }
    }
}

} // namespace fuzzcommon
