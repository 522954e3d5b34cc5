// Layout engine fuzzer: random text, fonts, sizes, margins, spacing and options in, pages out; every
// page must keep the promises of layoutchecks::check.

#include "fuzzcommon.h"
#include "layoutchecks.h"

#include <QFile>
#include <QFontDatabase>
#include <QStringList>

#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <cstdio>

using namespace zendrik;

namespace {

// Text made of the things that trouble line breaking: tabs, every kind of line break, words longer
// than a line, right-to-left and CJK characters, combining marks, surrogate pairs, odd spaces.
QString fuzzText(FuzzedDataProvider& in, size_t maxTokens) {
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

qint16 fuzzMargin(FuzzedDataProvider& in) {
    // Mostly margins a user would type, sometimes any 16-bit value.
    if (in.ConsumeIntegralInRange<int>(0, 7) == 0)
        return in.ConsumeIntegral<qint16>();
    return static_cast<qint16>(in.ConsumeIntegralInRange<int>(0, 4000));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    fuzzcommon::startGuiApplication(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const QStringList families = QFontDatabase::families();
    FuzzedDataProvider in(data, size);

    std::array<FontSpec, kFontRoles> fonts;
    for (FontSpec& font : fonts) {
        font.name = families.value(in.ConsumeIntegralInRange<int>(0, static_cast<int>(families.size())),
                                   QStringLiteral("No Such Font Family"));
        font.pointSize = in.ConsumeIntegralInRange<int>(8, 28);
        if (in.ConsumeIntegralInRange<int>(0, 7) == 0)
            font.pointSize = in.ConsumeFloatingPointInRange<double>(0.5, 300.0);
        font.bold = in.ConsumeBool();
        font.italic = in.ConsumeBool();
        font.underline = in.ConsumeBool();
    }
    LayoutSpec spec;
    const int paper = in.ConsumeIntegralInRange<int>(1, 41);
    const int orientation = in.ConsumeIntegralInRange<int>(1, 2);
    const qint16 left = fuzzMargin(in);
    const qint16 top = fuzzMargin(in);
    const qint16 right = fuzzMargin(in);
    const qint16 bottom = fuzzMargin(in);
    spec.geometry = pageGeometry(paper, orientation, left, top, right, bottom);
    spec.lineSpacing = lineSpacingFactor(in.ConsumeIntegralInRange<int>(0, 3));
    spec.pageNumbers = in.ConsumeBool();
    spec.dateTime = in.ConsumeBool();
    spec.border = in.ConsumeBool();
    spec.lineBelowHeader = in.ConsumeBool();
    spec.lineAboveFooter = in.ConsumeBool();
    spec.dateText = fuzzText(in, in.ConsumeIntegralInRange<size_t>(0, 24)).remove(u'\r').remove(u'\n');
    spec.title = fuzzText(in, in.ConsumeIntegralInRange<size_t>(0, 40));
    spec.header = fuzzText(in, in.ConsumeIntegralInRange<size_t>(0, 20));
    spec.footer = fuzzText(in, in.ConsumeIntegralInRange<size_t>(0, 20));
    const QString body = fuzzText(in, 4096);

    const QtFontMetrics metrics(fonts);
    if (!LayoutEngine(spec, metrics).roomError().isEmpty())
        return 0;
    const layoutchecks::Laid laid = layoutchecks::layOut(spec, body, metrics);
    if (!laid.error.isEmpty()) {
        // Knowing M, the kept pass may find no room for "Page M of M"; nothing else may stop it.
        if (!LayoutEngine(laid.spec, metrics).roomError().isEmpty() && laid.pages.isEmpty())
            return 0;
        fuzzcommon::fail("layout stopped with room checked", laid.error);
    }
    const QString broken = layoutchecks::check(laid.spec, metrics, laid.pages, body);
    if (!broken.isEmpty()) {
        QString fontList;
        for (const FontSpec& f : fonts) {
            const auto role = static_cast<FontRole>(&f - fonts.data());
            fontList += QStringLiteral("\n  \"%1\" %2 pt: ascent %3, descent %4, line height %5")
                            .arg(f.name)
                            .arg(f.pointSize)
                            .arg(metrics.ascent(role))
                            .arg(metrics.descent(role))
                            .arg(metrics.lineHeight(role));
        }
        if (qEnvironmentVariableIsSet("ZENDRIK_FUZZ_DUMP")) {
            QFile dump(qEnvironmentVariable("ZENDRIK_FUZZ_DUMP"));
            if (dump.open(QIODevice::WriteOnly))
                dump.write(body.toUtf8());
        }
        fuzzcommon::fail("layout invariant broken", broken + fontList);
    }
    return 0;
}
