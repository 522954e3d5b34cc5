// Layout engine fuzzer: random text, fonts, sizes, margins, spacing and options in, pages out; every
// page must keep the promises of layoutchecks::check.

#include "fuzzcommon.h"
#include "fuzzinput.h"
#include "layoutchecks.h"

#include <QFile>
#include <QStringList>

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <array>
#include <cstdio>

using namespace zendrik;
using fuzzcommon::fuzzText;

namespace {

// Margins the setters take: mostly what a user would type, sometimes anything up to 32767 twips.
qint16 fuzzMargin(FuzzedDataProvider& in) {
    if (in.ConsumeIntegralInRange<int>(0, 7) == 0)
        return static_cast<qint16>(in.ConsumeIntegralInRange<int>(0, 32767));
    return static_cast<qint16>(in.ConsumeIntegralInRange<int>(0, 4000));
}

// The sizes of the windows' lists.
constexpr std::array<double, 13> kListSizes{8, 9, 10, 11, 12, 14, 16, 18, 20, 22, 24, 26, 28};

// Sizes the font objects take: mostly those of the lists, sometimes anything in their range.
double fuzzPointSize(FuzzedDataProvider& in) {
    switch (in.ConsumeIntegralInRange<int>(0, 7)) {
    case 0:
        return in.ConsumeFloatingPointInRange<double>(kMinPointSize, kMaxPointSize);
    case 1:
        return in.PickValueInArray({kMinPointSize, kMaxPointSize});
    default:
        return in.PickValueInArray(kListSizes);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    fuzzcommon::startGuiApplication(argc, argv);
    fuzzcommon::warmFonts();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);

    std::array<FontSpec, kFontRoles> fonts;
    for (FontSpec& font : fonts) {
        font.name = fuzzcommon::fuzzFamily(in);
        font.pointSize = fuzzPointSize(in);
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
    // One input in four also lays the body out as the other paths do, to compare: that triples the
    // cost of an execution.
    const bool crossCheck = in.ConsumeIntegralInRange<int>(0, 3) == 0;
    const QString body = fuzzText(in, 1024);

    const QtFontMetrics metrics(fonts);
    if (LayoutEngine(spec, metrics).roomFailure())
        return 0;
    const layoutchecks::Laid laid = layoutchecks::layOut(spec, body, metrics, crossCheck);
    if (!laid.error.isEmpty()) {
        // "Page M of M" may find no room, before the first page (M at least 1) or once the last is
        // laid out; nothing else may stop it.
        LayoutSpec counted = laid.spec;
        counted.pageCountPending = false;
        counted.pageCount = std::max(1, int(laid.pages.size()));
        if (spec.pageNumbers && LayoutEngine(counted, metrics).roomFailure())
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
