#pragma once
// Random text and fonts for the fuzz targets, made of what troubles line breaking and text output.

#include <QFontDatabase>
#include <QString>
#include <QStringList>

#include <fuzzer/FuzzedDataProvider.h>

#include <array>

namespace fuzzcommon {

// Text made of the things that trouble line breaking: tabs, every kind of line break, words longer
// than a line, right-to-left and CJK characters, combining marks, surrogate pairs, odd spaces.
inline QString fuzzText(FuzzedDataProvider& in, size_t maxTokens) {
    static const std::array<const char16_t*, 16> kPieces{u"\u05E9\u05DC\u05D5\u05DD",
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

// One of the machine's font families, or now and then one that does not exist.
inline QString fuzzFamily(FuzzedDataProvider& in) {
    static const QStringList families = QFontDatabase::families();
    return families.value(in.ConsumeIntegralInRange<int>(0, int(families.size())),
                          QStringLiteral("No Such Font Family"));
}

} // namespace fuzzcommon
