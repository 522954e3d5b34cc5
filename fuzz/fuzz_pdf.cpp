// PDF output fuzzer: pages of random runs shaped as layout shapes them (every font family of the
// machine, a family that does not exist, every script of the text, bold, italic, underline), rules
// and a border, written as a PDF. The file must be complete, and each embedded font program must load
// again with the glyphs it was given.

#include "fuzzcommon.h"
#include "fuzzinput.h"
#include "pdf/pagecontent.h"
#include "pdf/pdfwriter.h"
#include "pdf/truetype.h"

#include <QBuffer>
#include <QStringList>

#include <ft2build.h>
#include <fuzzer/FuzzedDataProvider.h>
#include FT_FREETYPE_H

using namespace zendrik;

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    fuzzcommon::startGuiApplication(argc, argv);
    fuzzcommon::warmFonts();
    fuzzcommon::keepFontsOpen({10.5, 200.0});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);

    std::array<FontSpec, kFontRoles> specs;
    std::array<bool, kFontRoles> underline{};
    for (size_t i = 0; i < specs.size(); ++i) {
        specs[i].name = fuzzcommon::fuzzFamily(in);
        // Two sizes: Qt keeps about a hundred opened fonts (family, style and size), and past that
        // each execution opened its fonts again through fontconfig, most of its time; the writer
        // treats any size alike.
        specs[i].pointSize = in.PickValueInArray({10.5, 200.0});
        specs[i].bold = in.ConsumeBool();
        specs[i].italic = in.ConsumeBool();
        underline[i] = specs[i].underline = in.ConsumeBool();
    }
    const FontSet faces(specs);
    const QSizeF paper(595, 842);
    QBuffer file;
    file.open(QIODevice::WriteOnly);
    PdfWriter pdf(&file);
    pdf.start(fuzzcommon::fuzzText(in, 8), QStringLiteral("fuzz"), QDateTime::currentDateTime());
    PdfFontSet fonts(pdf);
    PageContentWriter writer(fonts, underline);
    const int pageCount = in.ConsumeIntegralInRange<int>(1, 3);
    for (int n = 1; n <= pageCount; ++n) {
        Page page;
        page.number = n;
        const int runs = in.ConsumeIntegralInRange<int>(0, 12);
        for (int r = 0; r < runs; ++r) {
            TextRun run;
            run.text = fuzzcommon::fuzzText(in, 40).remove(u'\r').remove(u'\n');
            run.origin = QPointF(in.ConsumeFloatingPointInRange<double>(-50, 650),
                                 in.ConsumeFloatingPointInRange<double>(-50, 900));
            run.role = static_cast<FontRole>(in.ConsumeIntegralInRange<int>(0, kFontRoles - 1));
            LineRun shaped = shapedRun(faces, run.role, run.text);
            run.width = shaped.width;
            run.glyphs = std::move(shaped.glyphs);
            run.rightToLeft = in.ConsumeBool();
            page.runs.push_back(run);
        }
        if (in.ConsumeBool())
            page.rules.push_back(QLineF(72, 100, 523, 100));
        if (in.ConsumeBool())
            page.border = QRectF(72, 72, 451, 698);
        const pdf::Bytes& content = writer.content(page, paper.height());
        pdf.addPage(paper, QByteArrayView(content.data(), qsizetype(content.size())), writer.xobjects());
    }
    fonts.writeFonts();
    pdf.finish(fonts.fonts(), fonts.images());
    const QByteArray written = file.data();
    if (pdf.failed() || pdf.pageCount() != pageCount || !written.startsWith("%PDF-1.4\n") ||
        !written.endsWith("%%EOF\n"))
        fuzzcommon::fail("PDF not complete", QString::number(written.size()));

    // A font program of random outlines loads again, glyph for glyph.
    std::vector<OutlineGlyph> outlines(size_t(in.ConsumeIntegralInRange<int>(1, 6)));
    for (OutlineGlyph& glyph : outlines) {
        glyph.advance = in.ConsumeIntegralInRange<int>(-10, 70000);
        QPointF at(in.ConsumeIntegralInRange<int>(-40000, 40000), in.ConsumeIntegralInRange<int>(-40000, 40000));
        glyph.path.moveTo(at);
        const int elements = in.ConsumeIntegralInRange<int>(0, 8);
        for (int e = 0; e < elements; ++e) {
            const auto next = [&] {
                return QPointF(in.ConsumeIntegralInRange<int>(-2000, 2000),
                               in.ConsumeIntegralInRange<int>(-2000, 2000));
            };
            if (in.ConsumeBool())
                glyph.path.lineTo(next());
            else
                glyph.path.cubicTo(next(), next(), next());
        }
    }
    TrueTypeMetrics metrics;
    metrics.unitsPerEm = in.ConsumeIntegralInRange<int>(-5, 20000);
    const QByteArray program = buildTrueType(outlines, metrics);
    // FreeType, which the PDF readers of this system use, reads every glyph back unscaled.
    static FT_Library freetype = [] {
        FT_Library library = nullptr;
        if (FT_Init_FreeType(&library) != 0)
            fuzzcommon::fail("FreeType does not start", QString());
        return library;
    }();
    FT_Face face = nullptr;
    if (FT_New_Memory_Face(freetype, reinterpret_cast<const FT_Byte*>(program.constData()), FT_Long(program.size()), 0,
                           &face) != 0)
        fuzzcommon::fail("built font does not load", QString::number(program.size()));
    if (face->num_glyphs != FT_Long(outlines.size()))
        fuzzcommon::fail("built font lost glyphs", QString::number(face->num_glyphs));
    for (FT_UInt glyph = 0; glyph < FT_UInt(outlines.size()); ++glyph) {
        if (FT_Load_Glyph(face, glyph, FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING) != 0)
            fuzzcommon::fail("built glyph does not load", QString::number(glyph));
    }
    FT_Done_Face(face);
    return 0;
}
