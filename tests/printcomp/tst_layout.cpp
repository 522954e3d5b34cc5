// The layout engine on its pages, without painting.

#include "layout/layout.h"
#include "layout/linebreaks.h"
#include "layout/pagecount.h"
#include "layout/resolvedfont.h"
#include "layout/shaping.h"
#include "pdf/truetype.h"

#include <zendrik/papers.h>

#include <QFile>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QRandomGenerator>
#include <QTest>

#include <hb.h>

using namespace zendrik;

namespace {

constexpr qreal kTolerance = 0.01;

std::array<FontSpec, kFontRoles> dejaVuFonts(double body = 10) {
    return {FontSpec{QStringLiteral("DejaVu Sans"), 16, true}, FontSpec{QStringLiteral("DejaVu Sans"), body},
            FontSpec{QStringLiteral("DejaVu Sans"), 8}, FontSpec{QStringLiteral("DejaVu Sans"), 8, false, true}};
}

LayoutSpec a4Spec() {
    LayoutSpec spec;
    spec.geometry = pageGeometry(9, 1, 1440, 1440, 1440, 1440);
    return spec;
}

struct Laid {
    QList<Page> pages;
    QString error;
};

Laid layOut(const LayoutSpec& spec, const QString& body, const FontMetrics& metrics) {
    LayoutEngine engine(spec, metrics);
    StringBodySource source(body);
    Laid result;
    Page page;
    while (engine.nextPage(source, page))
        result.pages.push_back(page);
    result.error = engine.failure() ? engine.failure()->message : QString();
    return result;
}

QList<TextRun> runsOf(const Page& page, FontRole role) {
    QList<TextRun> runs;
    for (const auto& r : page.runs) {
        if (r.role == role)
            runs.push_back(r);
    }
    return runs;
}

// Body text of all pages, one string per line (runs on one baseline joined).
QStringList bodyLines(const QList<Page>& pages) {
    QStringList lines;
    for (const Page& p : pages) {
        qreal baseline = -1;
        for (const auto& r : runsOf(p, FontRole::Body)) {
            if (qAbs(r.origin.y() - baseline) > kTolerance) {
                lines.push_back(QString());
                baseline = r.origin.y();
            } else {
                lines.back() += u'\t';
            }
            lines.back() += r.text;
        }
    }
    return lines;
}

QString words(const QString& text) {
    return text.simplified();
}

QString sampleText(int paragraphs) {
    QStringList list;
    for (int p = 0; p < paragraphs; ++p) {
        QStringList w;
        for (int i = 0; i < 60 + p % 7 * 13; ++i)
            w << QStringLiteral("w%1x%2").arg(p).arg(QString(i % 9 + 1, u'a'));
        list << w.join(u' ');
    }
    return list.join(QStringLiteral("\r\n"));
}

} // namespace

class TestLayout : public QObject {
    Q_OBJECT
private slots:
    void paperSizes_data();
    void paperSizes();
    void wrapsWithinTheLineAndKeepsEveryWord();
    void longWordIsBrokenWithoutLosingCharacters();
    void tabsGoToStops();
    void lineSpacing_data();
    void lineSpacing();
    void pageBreaksKeepTheBodyInOrder();
    void fixedPartsOnEveryPage();
    void bandsDoNotOverlapAndStayInsideTheMargins_data();
    void bandsDoNotOverlapAndStayInsideTheMargins();
    void emptyBodyGivesOnePage();
    void noRoomForTheBody_data();
    void noRoomForTheBody();
    void fontsTheEngineCannotMeasureAreRefused_data();
    void fontsTheEngineCannotMeasureAreRefused();
    void rightToLeftLinesAreRightAligned();
    void mixedLinesOfALeftToRightParagraphStartAtTheLeft();
    void complexScriptsKeepEveryCharacter();
    void layoutResumesAtAPageStart();
    void plainTextShapesAsHarfBuzzShapesEachWord_data();
    void plainTextShapesAsHarfBuzzShapesEachWord();
    void colourBitmapFontMeasuresInItsOwnUnits();
    void fallbackFacesFollowTheStyleAcrossJobs();
    void fontsAddedLaterAreResolvedAnew();
    void asciiLineBreaksAreQtsLineBreaks();

private:
    QtFontMetrics metrics_{dejaVuFonts()};
};

void TestLayout::paperSizes_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("orientation");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QSizeF>("size");
    QTest::newRow("A4") << 9 << 1 << "A4" << QSizeF(595.3, 841.9);
    QTest::newRow("A4 landscape") << 9 << 2 << "A4" << QSizeF(841.9, 595.3);
    QTest::newRow("Letter") << 1 << 1 << "Letter" << QSizeF(612, 792);
    QTest::newRow("EnvC3 at 28") << 28 << 1 << "EnvC3" << QSizeF(918.4, 1298.3);
    QTest::newRow("EnvC4 at 29") << 29 << 1 << "EnvC4" << QSizeF(649.1, 918.4);
    QTest::newRow("EnvC5 at 30") << 30 << 1 << "EnvC5" << QSizeF(459.2, 649.1);
    QTest::newRow("FanfoldLglGerman at 41") << 41 << 1 << "FanfoldLglGerman" << QSizeF(612, 936);
    // The sheet its printer media name states: 250 x 353 mm.
    QTest::newRow("B4") << 12 << 1 << "B4" << QSizeF(708.7, 1000.6);
    QTest::newRow("Ledger is named wide") << 4 << 1 << "Ledger" << QSizeF(1224, 792);
    QTest::newRow("Ledger landscape") << 4 << 2 << "Ledger" << QSizeF(792, 1224);
}

void TestLayout::paperSizes() {
    QFETCH(int, code);
    QFETCH(int, orientation);
    QFETCH(QSizeF, size);
    QTEST(QString::fromLatin1(paperForCode(code)->name), "name");
    const PageGeometry g = pageGeometry(code, orientation, 1440, 720, 0, 20);
    QVERIFY2(qAbs(g.paper.width() - size.width()) < 0.1 && qAbs(g.paper.height() - size.height()) < 0.1,
             qPrintable(QStringLiteral("%1 x %2").arg(g.paper.width()).arg(g.paper.height())));
    QCOMPARE(g.margins, QMarginsF(72, 36, 0, 1));
    QCOMPARE(twipsToPoints(1440), 72.0);
}

void TestLayout::wrapsWithinTheLineAndKeepsEveryWord() {
    // One paragraph, so that every line but the last was filled as far as it would go.
    const QString text = sampleText(40).replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    const LayoutSpec spec = a4Spec();
    const Laid r = layOut(spec, text, metrics_);
    QVERIFY(r.error.isEmpty());
    const QRectF area = spec.geometry.marginRect();
    const QFontMetricsF exact(metrics_.font(FontRole::Body), metrics_.device());
    const QStringList lines = bodyLines(r.pages);
    QVERIFY(lines.size() > 15);
    for (const QString& line : lines) {
        const qreal width = exact.horizontalAdvance(line) * metrics_.pointsPerUnit();
        QVERIFY2(width <= area.width() + 0.5, qPrintable(line));
    }
    // Greedy: the first word of a line would not have fitted at the end of the line before.
    for (qsizetype i = 1; i < lines.size(); ++i) {
        if (lines[i - 1].isEmpty() || lines[i].isEmpty())
            continue;
        const QString joined = lines[i - 1] + u' ' + lines[i].section(u' ', 0, 0);
        QVERIFY2(exact.horizontalAdvance(joined) * metrics_.pointsPerUnit() > area.width() - 1, qPrintable(joined));
    }
    QCOMPARE(words(lines.join(u' ')), words(text));
}

void TestLayout::longWordIsBrokenWithoutLosingCharacters() {
    QString word;
    for (int i = 0; i < 700; ++i)
        word += QChar(u'a' + i % 26);
    const QString text = QStringLiteral("before ") + word + QStringLiteral(" after");
    const LayoutSpec spec = a4Spec();
    const Laid r = layOut(spec, text, metrics_);
    const QStringList lines = bodyLines(r.pages);
    QVERIFY(lines.size() >= 4);
    QCOMPARE(lines.first(), QStringLiteral("before"));
    QCOMPARE(lines.join(QString()).remove(u' '), QStringLiteral("before") + word + QStringLiteral("after"));
    for (const Page& p : r.pages) {
        for (const auto& run : p.runs)
            QVERIFY(run.origin.x() + run.width <= spec.geometry.marginRect().right() + kTolerance);
    }
}

void TestLayout::tabsGoToStops() {
    const LayoutSpec spec = a4Spec();
    const Laid r = layOut(spec, QStringLiteral("a\tbb\t\tccc\nx"), metrics_);
    const QList<TextRun> runs = runsOf(r.pages.first(), FontRole::Body);
    QCOMPARE(runs.size(), 4);
    const qreal stop = 8 * metrics_.averageCharWidth(FontRole::Body);
    const qreal left = spec.geometry.marginRect().left();
    QCOMPARE(runs[0].text, QStringLiteral("a"));
    QCOMPARE(runs[1].text, QStringLiteral("bb"));
    QCOMPARE(runs[2].text, QStringLiteral("ccc"));
    QVERIFY(qAbs(runs[0].origin.x() - left) < kTolerance);
    QVERIFY(qAbs(runs[1].origin.x() - (left + stop)) < kTolerance);
    QVERIFY(qAbs(runs[2].origin.x() - (left + 3 * stop)) < kTolerance);
    QVERIFY(qAbs(runs[3].origin.x() - left) < kTolerance);
    QVERIFY(runs[3].origin.y() > runs[2].origin.y());
}

void TestLayout::lineSpacing_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<qreal>("factor");
    QTest::newRow("0 is single") << 0 << 1.0;
    QTest::newRow("single") << 1 << 1.0;
    QTest::newRow("1.5 lines") << 2 << 1.5;
    QTest::newRow("double") << 3 << 2.0;
}

void TestLayout::lineSpacing() {
    QFETCH(int, code);
    QFETCH(qreal, factor);
    LayoutSpec spec = a4Spec();
    spec.lineSpacing = lineSpacingFactor(code);
    const Laid r = layOut(spec, sampleText(8), metrics_);
    const QList<TextRun> runs = runsOf(r.pages.first(), FontRole::Body);
    QVERIFY(runs.size() > 10);
    const qreal step = metrics_.lineHeight(FontRole::Body) * factor;
    for (qsizetype i = 1; i < runs.size(); ++i)
        QVERIFY(qAbs(runs[i].origin.y() - runs[i - 1].origin.y() - step) < kTolerance);
    // Fewer lines fit as the spacing grows.
    const int single = layOut(a4Spec(), sampleText(8), metrics_).pages.first().bodyLines;
    QVERIFY(qAbs(r.pages.first().bodyLines - single / factor) <= 1.5);
}

void TestLayout::pageBreaksKeepTheBodyInOrder() {
    const QString text = sampleText(60);
    LayoutSpec spec = a4Spec();
    spec.title = QStringLiteral("Title");
    const Laid r = layOut(spec, text, metrics_);
    QVERIFY(r.pages.size() >= 4);
    for (qsizetype i = 0; i < r.pages.size(); ++i) {
        const Page& p = r.pages[i];
        QCOMPARE(p.number, int(i + 1));
        QVERIFY(p.bodyLines > 0);
        const qreal descent = metrics_.descent(FontRole::Body);
        for (const auto& run : runsOf(p, FontRole::Body))
            QVERIFY(run.origin.y() + descent <= p.bodyBand.bottom() + kTolerance);
        // A full page leaves no room for one more line.
        if (i + 1 < r.pages.size() && i > 0) {
            QCOMPARE(p.bodyLines, r.pages[1].bodyLines);
            const qreal last = runsOf(p, FontRole::Body).last().origin.y();
            QVERIFY(last + metrics_.lineHeight(FontRole::Body) + descent > p.bodyBand.bottom());
        }
    }
    // Page 1 holds the title, so fewer body lines.
    QVERIFY(r.pages[0].bodyLines < r.pages[1].bodyLines);
    QCOMPARE(words(bodyLines(r.pages).join(u' ')), words(text));
}

void TestLayout::fixedPartsOnEveryPage() {
    LayoutSpec spec = a4Spec();
    spec.title = QStringLiteral("The Title");
    spec.header = QStringLiteral("Head line");
    spec.footer = QStringLiteral("Foot line\nsecond foot line");
    spec.pageNumbers = true;
    spec.dateTime = true;
    spec.dateText = QStringLiteral("07/12/2026 10:00");
    const int count = int(layOut(spec, sampleText(40), metrics_).pages.size());
    QVERIFY(count >= 3);
    spec.pageCount = count;
    const Laid r = layOut(spec, sampleText(40), metrics_);
    QCOMPARE(r.pages.size(), count);
    for (const Page& p : r.pages) {
        const QList<TextRun> title = runsOf(p, FontRole::Title);
        QCOMPARE(title.size(), p.number == 1 ? 1 : 0);
        QCOMPARE(p.titleBand.isNull(), p.number != 1);
        QCOMPARE(runsOf(p, FontRole::Header).size(), 1);
        QStringList footer;
        for (const auto& run : runsOf(p, FontRole::Footer))
            footer << run.text;
        QCOMPARE(footer, (QStringList{spec.dateText, QStringLiteral("Page %1 of %2").arg(p.number).arg(count),
                                      QStringLiteral("Foot line"), QStringLiteral("second foot line")}));
    }
}

void TestLayout::bandsDoNotOverlapAndStayInsideTheMargins_data() {
    QTest::addColumn<bool>("border");
    QTest::addColumn<bool>("rules");
    QTest::addColumn<int>("orientation");
    QTest::newRow("plain") << false << false << 1;
    QTest::newRow("border and rules") << true << true << 1;
    QTest::newRow("landscape with border") << true << false << 2;
}

void TestLayout::bandsDoNotOverlapAndStayInsideTheMargins() {
    QFETCH(bool, border);
    QFETCH(bool, rules);
    QFETCH(int, orientation);
    LayoutSpec spec = a4Spec();
    spec.geometry = pageGeometry(9, orientation, 1000, 1200, 1400, 1600);
    spec.title = QStringLiteral("A title long enough to need more than one line when it is set in sixteen point "
                                "bold type across the page");
    spec.header = QStringLiteral("Header");
    spec.footer = QStringLiteral("Footer");
    spec.pageNumbers = spec.dateTime = true;
    spec.dateText = QStringLiteral("today");
    spec.border = border;
    spec.lineBelowHeader = spec.lineAboveFooter = rules;
    const Laid r = layOut(spec, sampleText(30), metrics_);
    const QRectF margins = spec.geometry.marginRect();
    QVERIFY(r.pages.size() >= 2);
    for (const Page& p : r.pages) {
        QCOMPARE(p.border, border ? margins : QRectF());
        QCOMPARE(p.rules.size(), rules ? 2 : 0);
        QList<QRectF> bands{p.headerBand, p.bodyBand, p.footerBand, p.pageNumberBand, p.dateBand};
        if (p.number == 1)
            bands << p.titleBand;
        for (const QRectF& band : bands) {
            QVERIFY(!band.isNull());
            QVERIFY(margins.contains(band));
        }
        for (qsizetype i = 0; i < bands.size(); ++i) {
            for (qsizetype j = i + 1; j < bands.size(); ++j)
                QVERIFY(bands[i].intersected(bands[j]).height() < kTolerance);
        }
        for (const QLineF& rule : p.rules) {
            for (const QRectF& band : bands)
                QVERIFY(rule.y1() <= band.top() + kTolerance || rule.y1() >= band.bottom() - kTolerance);
        }
        for (const auto& run : p.runs) {
            const qreal ascent = metrics_.ascent(run.role);
            const qreal descent = metrics_.descent(run.role);
            const QRectF box(run.origin.x(), run.origin.y() - ascent, run.width, ascent + descent);
            QVERIFY2(margins.adjusted(-kTolerance, -kTolerance, kTolerance, kTolerance).contains(box),
                     qPrintable(run.text));
            if (border)
                QVERIFY(box.left() > margins.left() && box.right() < margins.right());
        }
    }
}

void TestLayout::emptyBodyGivesOnePage() {
    LayoutSpec spec = a4Spec();
    spec.title = QStringLiteral("Only a title");
    spec.header = QStringLiteral("H");
    spec.footer = QStringLiteral("F");
    const Laid r = layOut(spec, QString(), metrics_);
    QCOMPARE(r.pages.size(), 1);
    QVERIFY(r.error.isEmpty());
    QCOMPARE(r.pages[0].bodyLines, 0);
    QCOMPARE(runsOf(r.pages[0], FontRole::Title).size(), 1);
    QCOMPARE(runsOf(r.pages[0], FontRole::Header).size(), 1);
    QCOMPARE(runsOf(r.pages[0], FontRole::Footer).size(), 1);
}

void TestLayout::noRoomForTheBody_data() {
    QTest::addColumn<int>("left");
    QTest::addColumn<int>("top");
    QTest::addColumn<int>("right");
    QTest::addColumn<int>("bottom");
    QTest::newRow("wider than the paper") << 9000 << 1440 << 9000 << 1440;
    QTest::newRow("taller than the paper") << 1440 << 9000 << 1440 << 9000;
    QTest::newRow("negative") << -32768 << -32768 << 32767 << 32767;
    QTest::newRow("slightly negative") << -1 << 1440 << 1440 << 1440;
    QTest::newRow("one line short") << 1440 << 8000 << 1440 << 8400;
}

void TestLayout::noRoomForTheBody() {
    QFETCH(int, left);
    QFETCH(int, top);
    QFETCH(int, right);
    QFETCH(int, bottom);
    LayoutSpec spec = a4Spec();
    spec.geometry = pageGeometry(9, 1, left, top, right, bottom);
    spec.header = QStringLiteral("Header");
    const Laid r = layOut(spec, sampleText(3), metrics_);
    QVERIFY(r.pages.isEmpty());
    QVERIFY2(r.error.contains(QStringLiteral("no room")), qPrintable(r.error));
}

void TestLayout::fontsTheEngineCannotMeasureAreRefused_data() {
    QTest::addColumn<double>("body");
    QTest::addColumn<double>("title");
    QTest::addColumn<QString>("says");
    // Far below what the font engine measures, lines have no height: a page would never fill.
    QTest::newRow("body at 1e-9 pt") << 1e-9 << 16.0 << "lines are 0 points apart";
    // Far above, the metrics overflow and come out negative.
    QTest::newRow("title at 1638 pt") << 10.0 << 1638.0 << "cannot be measured";
}

// Neither counting nor layout may start with such fonts.
void TestLayout::fontsTheEngineCannotMeasureAreRefused() {
    QFETCH(double, body);
    QFETCH(double, title);
    QFETCH(QString, says);
    std::array<FontSpec, kFontRoles> fonts = dejaVuFonts(body);
    fonts[static_cast<size_t>(FontRole::Title)].pointSize = title;
    const QtFontMetrics metrics(fonts);
    LayoutSpec spec = a4Spec();
    spec.title = QStringLiteral("Title");
    spec.pageNumbers = true;
    const Laid r = layOut(spec, sampleText(3), metrics);
    QVERIFY(r.pages.isEmpty());
    QVERIFY2(r.error.contains(says), qPrintable(r.error));
    StringBodySource source(sampleText(3));
    const Result<PageCount> count = countPages(spec, source, metrics, 2, {});
    QVERIFY(!count);
    QCOMPARE(count.failure().code, ErrorCode::NoRoomForBody);
}

void TestLayout::rightToLeftLinesAreRightAligned() {
    const QString hebrew = QStringLiteral("שלום עולם זה טקסט בעברית שנכתב מימין לשמאל ");
    const QString text = hebrew.repeated(12).trimmed();
    const LayoutSpec spec = a4Spec();
    const Laid r = layOut(spec, text, metrics_);
    const QList<TextRun> runs = runsOf(r.pages.first(), FontRole::Body);
    QVERIFY(runs.size() >= 2);
    const qreal right = spec.geometry.marginRect().right();
    for (const auto& run : runs) {
        QVERIFY(run.rightToLeft);
        QVERIFY(qAbs(run.origin.x() + run.width - right) < kTolerance);
        QVERIFY(run.width <= spec.geometry.marginRect().width() + kTolerance);
    }
    QCOMPARE(words(bodyLines(r.pages).join(u' ')), words(text));
}

void TestLayout::mixedLinesOfALeftToRightParagraphStartAtTheLeft() {
    // A Latin paragraph whose later lines begin with Arabic stays left-aligned.
    const QString text = QStringLiteral("Latin first ") + QStringLiteral("العربية من اليمين إلى اليسار ").repeated(20);
    const LayoutSpec spec = a4Spec();
    const Laid r = layOut(spec, text, metrics_);
    const QList<TextRun> runs = runsOf(r.pages.first(), FontRole::Body);
    QVERIFY(runs.size() >= 2);
    for (const auto& run : runs) {
        QVERIFY(!run.rightToLeft);
        QCOMPARE(run.origin.x(), spec.geometry.marginRect().left());
    }
}

void TestLayout::complexScriptsKeepEveryCharacter() {
    const QString text = QStringLiteral("Ελληνικά και русский текст ").repeated(10) +
                         QStringLiteral("中文文本没有空格也可以换行").repeated(15) + QStringLiteral(" שלום ") +
                         QStringLiteral("e\u0301\u0323 combining ").repeated(20);
    const LayoutSpec spec = a4Spec();
    const Laid r = layOut(spec, text, metrics_);
    const QStringList lines = bodyLines(r.pages);
    QVERIFY(lines.size() >= 5);
    QString joined = lines.join(QString());
    QString expected = text;
    joined.remove(u' ');
    expected.remove(u' ');
    QCOMPARE(joined, expected);
}

// Any page laid out again from where it started equals the page laid out in order, and so do the
// pages after it.
void TestLayout::layoutResumesAtAPageStart() {
    // Short paragraphs, then one of several pieces (its lines held back between them), then more.
    QStringList long_;
    for (int i = 0; i < 12000; ++i)
        long_ << QStringLiteral("w%1").arg(QString(i % 9 + 1, u'a'));
    const QString text =
        sampleText(30) + QStringLiteral("\r\n") + long_.join(u' ') + QStringLiteral("\r") + sampleText(10);
    LayoutSpec spec = a4Spec();
    spec.title = QStringLiteral("Title");
    spec.pageNumbers = true;
    const auto describe = [](const Page& page) {
        QStringList runs;
        for (const TextRun& run : page.runs) {
            QString glyphs;
            for (const GlyphRun& g : run.glyphs) {
                for (const PositionedGlyph& p : g.glyphs)
                    glyphs += QStringLiteral(" %1@%2").arg(p.id).arg(p.x);
            }
            runs << QStringLiteral("%1 %2,%3:%4").arg(run.text).arg(run.origin.x()).arg(run.origin.y()).arg(glyphs);
        }
        return runs;
    };
    LayoutEngine engine(spec, metrics_);
    StringBodySource source(text);
    QList<QStringList> pages;
    QList<PageStart> starts;
    Page page;
    for (;;) {
        const PageStart start = engine.nextPageStart(source);
        if (!engine.nextPage(source, page))
            break;
        QCOMPARE(start.page, page.number);
        starts << start;
        pages << describe(page);
    }
    QVERIFY(pages.size() > 10);
    QVERIFY(std::any_of(starts.begin(), starts.end(), [](const PageStart& s) { return !s.held.isEmpty(); }));
    QVERIFY(std::any_of(starts.begin(), starts.end(), [](const PageStart& s) { return s.linesBefore > 0; }));
    for (const PageStart& start : starts) {
        LayoutEngine again(spec, metrics_);
        StringBodySource body(text);
        QVERIFY(body.skipTo(start.piece));
        QVERIFY(again.resume(start, body));
        for (int n = start.page; n <= std::min<int>(start.page + 1, pages.size()); ++n) {
            QVERIFY(again.nextPage(body, page));
            QCOMPARE(page.number, n);
            QCOMPARE(describe(page), pages[n - 1]);
        }
    }
}

// Qt gives a colour bitmap font's strike size as its units per em; its advances are in the head
// table's units (Noto Color Emoji: 2550 of 2048).
void TestLayout::colourBitmapFontMeasuresInItsOwnUnits() {
    std::array<FontSpec, kFontRoles> specs = dejaVuFonts(20);
    specs[size_t(FontRole::Body)].name = QStringLiteral("Noto Color Emoji");
    const FontSet fonts(specs);
    if (fonts.primary(FontRole::Body)->kind() != FontFace::Kind::Bitmaps)
        QSKIP("Noto Color Emoji is not installed");
    const LineRun run = shapedRun(fonts, FontRole::Body, QStringLiteral("\U0001F600 4"));
    QVERIFY2(qAbs(run.width - 3 * 20 * 2550.0 / 2048) < 0.1, qPrintable(QString::number(run.width)));
}

// Fallback answers are remembered for later font sets: by style, never across styles.
void TestLayout::fallbackFacesFollowTheStyleAcrossJobs() {
    const char32_t han = 0x4E2D;
    std::array<FontSpec, kFontRoles> specs = dejaVuFonts();
    const std::shared_ptr<const FontFace> regular = FontSet(specs).faceFor(FontRole::Body, han);
    specs[size_t(FontRole::Body)].bold = true;
    const std::shared_ptr<const FontFace> bold = FontSet(specs).faceFor(FontRole::Body, han);
    specs[size_t(FontRole::Body)].pointSize = 30;
    const std::shared_ptr<const FontFace> larger = FontSet(specs).faceFor(FontRole::Body, han);
    if (regular->kind() == FontFace::Kind::Boxes)
        QSKIP("no font here has Han characters");
    QVERIFY(!regular->bold());
    QVERIFY(bold->bold());
    QCOMPARE(larger, bold);
}

// Fonts resolved once are remembered, until the application's fonts change.
void TestLayout::fontsAddedLaterAreResolvedAnew() {
    const FontSpec spec{QStringLiteral("Zendrik Added Later"), 12};
    QVERIFY(resolveFont(spec).face->familyName() != spec.name);
    QCOMPARE(resolveFont(spec).face, resolveFont(spec).face);

    OutlineGlyph box;
    box.path.addRect(50, -700, 500, 700);
    box.advance = 600;
    TrueTypeMetrics metrics;
    metrics.familyName = spec.name;
    QVERIFY(QFontDatabase::addApplicationFontFromData(buildTrueType({box, box}, metrics)) >= 0);
    QCOMPARE(resolveFont(spec).face->familyName(), spec.name);
    QCOMPARE(FontSet({spec, spec, spec, spec}).primary(FontRole::Body)->familyName(), spec.name);
}

// Text no layout lookup acts on is shaped from the font's tables and a kerning table filled as
// it goes: the glyphs must be HarfBuzz's own, the first time and from the table.
void TestLayout::plainTextShapesAsHarfBuzzShapesEachWord_data() {
    QTest::addColumn<QString>("family");
    QTest::addColumn<QString>("text");
    const QString latin =
        QStringLiteral("AVATAR To Wa Ye. office affluent fjord \u201Cquoted\u201D L'Tyr 1/2 caf\u00E9 "
                       "\u00C6sop \u2014 P.S. VAT, 12:30 x-ray (Yes) \u00AB\u00A0T\u00A0\u00BB");
    QTest::newRow("Latin, DejaVu Serif") << "DejaVu Serif" << latin;
    QTest::newRow("Latin, Liberation Sans") << "Liberation Sans" << latin;
    QTest::newRow("Latin, Noto Sans") << "Noto Sans" << latin;
    QTest::newRow("combining marks") << "DejaVu Sans" << QStringLiteral("e\u0301te\u0301 a\u0300 la n\u0303o V\u0301A");
    QTest::newRow("Greek and Cyrillic") << "DejaVu Sans"
                                        << QStringLiteral(
                                               "\u0395\u03BB\u03BB\u03B7\u03BD\u03B9\u03BA\u03AC \u0386\u03A5 "
                                               "\u0421\u044A\u0435\u0448\u044C \u0422\u0410 \u0423\u0432");
    QTest::newRow("Han without spaces") << "Noto Serif CJK SC"
                                        << QStringLiteral("\u4E2D\u6587\u6587\u672C\u6CA1\u6709\u7A7A\u683C\uFF0C"
                                                          "\u300C\u5F15\u53F7\u300D\u3002");
}

void TestLayout::plainTextShapesAsHarfBuzzShapesEachWord() {
    QFETCH(QString, family);
    QFETCH(QString, text);
    std::array<FontSpec, kFontRoles> specs = dejaVuFonts();
    specs[size_t(FontRole::Body)] = FontSpec{family, 11};
    const FontSet fonts(specs);
    const FontFace& face = *fonts.primary(FontRole::Body);
    const double scale = fonts.pointSize(FontRole::Body) / face.unitsPerEm();
    std::vector<ShapedGlyph> expected;
    hb_buffer_t* buffer = hb_buffer_create();
    for (qsizetype w = 0, n = text.size(); w < n;) {
        qsizetype e = w;
        while (e < n && text.at(e) != u' ')
            ++e;
        while (e < n && text.at(e) == u' ')
            ++e;
        hb_buffer_reset(buffer);
        hb_buffer_add_utf16(buffer, reinterpret_cast<const uint16_t*>(text.utf16()) + w, int(e - w), 0, int(e - w));
        hb_buffer_set_direction(buffer, HB_DIRECTION_LTR);
        hb_buffer_guess_segment_properties(buffer);
        hb_shape(face.hbFont(), buffer, nullptr, 0);
        unsigned count = 0;
        const hb_glyph_info_t* info = hb_buffer_get_glyph_infos(buffer, &count);
        const hb_glyph_position_t* pos = hb_buffer_get_glyph_positions(buffer, nullptr);
        for (unsigned g = 0; g < count; ++g) {
            expected.push_back(ShapedGlyph{info[g].codepoint, quint32(w + info[g].cluster),
                                           float(pos[g].x_advance * scale), float(pos[g].x_offset * scale),
                                           float(pos[g].y_offset * scale), &face});
        }
        w = e;
    }
    hb_buffer_destroy(buffer);
    for (int pass = 1; pass <= 2; ++pass) {
        const ShapedText shaped = shapeText(fonts, FontRole::Body, text);
        QCOMPARE(shaped.glyphs.size(), expected.size());
        for (size_t g = 0; g < expected.size(); ++g) {
            const ShapedGlyph& got = shaped.glyphs[g];
            const ShapedGlyph& want = expected[g];
            QVERIFY2(got.face == &face && got.id == want.id && got.cluster == want.cluster &&
                         qAbs(got.advance - want.advance) < 1e-4 && qAbs(got.xOffset - want.xOffset) < 1e-4 &&
                         qAbs(got.yOffset - want.yOffset) < 1e-4,
                     qPrintable(QStringLiteral("pass %1, glyph %2 (character %3): glyph %4 advance %5, HarfBuzz: "
                                               "glyph %6 advance %7")
                                    .arg(pass)
                                    .arg(g)
                                    .arg(want.cluster)
                                    .arg(got.id)
                                    .arg(got.advance)
                                    .arg(want.id)
                                    .arg(want.advance)));
        }
    }
}

QTEST_MAIN(TestLayout)
// The table for ASCII paragraphs must break exactly where Qt does: every string of up to five
// characters of one of each kind (and each member of the kinds in pairs), random strings of every
// printable character, and the lines of the demonstration documents.
void TestLayout::asciiLineBreaksAreQtsLineBreaks() {
    std::vector<qsizetype> ours, qts;
    int compared = 0;
    // QVERIFY in a lambda only leaves the lambda: callers stop on the first difference.
    const auto compare = [&](const QString& text) {
        qtLineBreaks(text, qts);
        ++compared;
        return asciiLineBreaks(text, ours) && ours == qts;
    };
    const auto show = [](const QString& text) { return qPrintable(u'"' + text + u'"'); };
    const QString kinds = QStringLiteral("\t !\"$%(),-./1<a}|");
    QString printable = QStringLiteral("\t");
    for (char16_t c = 0x20; c < 0x7F; ++c)
        printable += QChar(c);
    for (const QChar a : printable)
        for (const QChar b : printable)
            QVERIFY2(compare(QString(a) + b), show(QString(a) + b));
    std::vector<int> at;
    for (int length = 1; length <= 5; ++length) {
        at.assign(size_t(length), 0);
        for (;;) {
            QString text;
            for (const int k : at)
                text += kinds[k];
            QVERIFY2(compare(text), show(text));
            int p = length - 1;
            while (p >= 0 && ++at[size_t(p)] == int(kinds.size()))
                at[size_t(p--)] = 0;
            if (p < 0)
                break;
        }
    }
    QRandomGenerator random(13);
    for (int n = 0; n < 20000; ++n) {
        QString text;
        const int length = random.bounded(1, 48);
        for (int k = 0; k < length; ++k)
            text += printable[random.bounded(int(printable.size()))];
        QVERIFY2(compare(text), show(text));
    }
    for (const char* name : {"Demo1.txt", "Demo2.txt"}) {
        QFile file(QCoreApplication::applicationDirPath() + u'/' + QLatin1String(name));
        QVERIFY(file.open(QIODevice::ReadOnly));
        for (const QByteArray& line : file.readAll().split('\n')) {
            const QString text = QString::fromUtf8(line).remove(u'\r');
            if (std::all_of(text.begin(), text.end(), [](QChar c) { return c == u'\t' || (c >= u' ' && c < u'\x7F'); }))
                QVERIFY2(compare(text), show(text));
        }
    }
    QVERIFY(compared > 1000000);
    // Anything else is left to Qt.
    QVERIFY(!asciiLineBreaks(QStringLiteral("caf\u00E9 au lait"), ours));
    QVERIFY(!asciiLineBreaks(QStringLiteral("a\u0001b"), ours));
}

#include "tst_layout.moc"
