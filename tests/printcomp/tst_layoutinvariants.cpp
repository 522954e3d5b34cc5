// The promises of every laid-out document (layoutchecks.h) on real pages: in the layout engine for
// the settings the windows offer, and in the PDFs the component writes.

#include "demotext.h"
#include "document/docreader.h"
#include "layoutchecks.h"
#include "pdftools.h"
#include <zendrik/zendrik.h>

#include <QFile>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace zendrik;

namespace {

std::array<FontSpec, kFontRoles> fonts(const QString& family, double title, double body, double parts) {
    return {FontSpec{family, title, true}, FontSpec{family, body}, FontSpec{family, parts, false, true},
            FontSpec{family, parts, false, false, true}};
}

QString fileBody(const QString& name) {
    QFile f(qEnvironmentVariable("ZENDRIK_DATA_DIR") + u'/' + name);
    if (!f.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(f.readAll());
}

QString bodyText(const QString& which) {
    if (which == u"demo")
        return demo::demonstrationText();
    if (which == u"Demo2")
        return fileBody(QStringLiteral("Demo2.txt"));
    if (which == u"tabs")
        return QStringLiteral("Name\tSize\tWhen\r\nalpha\t12\t\tyesterday\r\n\t\t\t\t\t\t\t\t\t\t\t\t\tfar\r\n")
            .repeated(40);
    if (which == u"scripts")
        return QStringLiteral("Ελληνικά русский \u05E9\u05DC\u05D5\u05DD \u0645\u0631\u062D\u0628\u0627 "
                              "\u4E2D\u6587\u6587\u672C\u6CA1\u6709\u7A7A\u683C e\u0301 \U0001F600\r\n")
            .repeated(60);
    if (which == u"long word")
        return QStringLiteral("short ") + QString(5000, u'W') + QStringLiteral(" end\rmore\n\nlast");
    if (which == u"batches") {
        // Many times the batch the page count hands each thread: short and long paragraphs, one
        // longer than a batch, other scripts, every kind of line break, no break at the end.
        QString text;
        for (int i = 0; i < 60; ++i) {
            text += demo::demonstrationText() + QStringLiteral("\r\n");
            text += bodyText(QString::fromLatin1(i % 2 ? "scripts" : "tabs")).left(3000) + u'\r';
            if (i == 30)
                text += QStringLiteral("long paragraph ").repeated(9000) + u'\n';
        }
        return text + QStringLiteral("the end, without a line break");
    }
    if (which == u"breaks")
        return QStringLiteral("a\r\nb\nc\rd\n\re\r\r\n\n").repeated(200);
    return QString();
}

} // namespace

class TestLayoutInvariants : public QObject {
    Q_OBJECT
private slots:
    void settingsOfTheWindows_data();
    void settingsOfTheWindows();
    void paragraphsCutIntoPieces_data();
    void paragraphsCutIntoPieces();
    void marginsTooNarrowForTheFixedParts_data();
    void marginsTooNarrowForTheFixedParts();
    void printedPagesKeepThePromises();
};

void TestLayoutInvariants::settingsOfTheWindows_data() {
    QTest::addColumn<QString>("family");
    QTest::addColumn<int>("bodySize");
    QTest::addColumn<int>("paper");
    QTest::addColumn<int>("orientation");
    QTest::addColumn<QList<int>>("margins"); // left, top, right, bottom in twips
    QTest::addColumn<int>("spacing");
    QTest::addColumn<bool>("options");
    QTest::addColumn<QString>("body");
    const QList<int> inch{1440, 1440, 1440, 1440};
    for (int size : {8, 9, 10, 11, 12, 14, 16, 18, 20, 22, 24, 26, 28}) {
        QTest::addRow("demo, body %d pt, all options", size)
            << "DejaVu Sans" << size << 9 << 1 << inch << 1 << true << "demo";
    }
    QTest::newRow("Demo2, serif, letter landscape, double")
        << "DejaVu Serif" << 10 << 1 << 2 << QList<int>{720, 2000, 720, 2000} << 3 << true << "Demo2";
    QTest::newRow("margins 0") << "DejaVu Sans" << 10 << 9 << 1 << QList<int>{0, 0, 0, 0} << 2 << true << "demo";
    QTest::newRow("tabs, mono, narrow column")
        << "DejaVu Sans Mono" << 10 << 9 << 1 << QList<int>{4000, 1440, 4000, 1440} << 1 << true << "tabs";
    QTest::newRow("tabs, no options") << "DejaVu Sans" << 12 << 11 << 1 << inch << 1 << false << "tabs";
    QTest::newRow("scripts") << "DejaVu Sans" << 14 << 9 << 1 << inch << 2 << true << "scripts";
    QTest::newRow("scripts, narrow") << "DejaVu Serif" << 20 << 9 << 1 << QList<int>{5000, 1440, 5000, 1440} << 1
                                     << false << "scripts";
    QTest::newRow("long word") << "DejaVu Sans" << 28 << 9 << 2 << inch << 1 << true << "long word";
    QTest::newRow("line breaks of every kind") << "DejaVu Sans" << 8 << 9 << 1 << inch << 3 << true << "breaks";
    QTest::newRow("empty body") << "DejaVu Sans" << 10 << 9 << 1 << inch << 1 << true << "";
    QTest::newRow("many batches") << "DejaVu Sans" << 10 << 9 << 1 << inch << 1 << true << "batches";
    QTest::newRow("many batches, double, narrow")
        << "DejaVu Serif" << 12 << 9 << 2 << QList<int>{3000, 1440, 3000, 1440} << 3 << true << "batches";
    QTest::newRow("missing font family") << "No Such Family" << 10 << 9 << 1 << inch << 1 << true << "demo";
}

void TestLayoutInvariants::settingsOfTheWindows() {
    QFETCH(QString, family);
    QFETCH(int, bodySize);
    QFETCH(int, paper);
    QFETCH(int, orientation);
    QFETCH(QList<int>, margins);
    QFETCH(int, spacing);
    QFETCH(bool, options);
    QFETCH(QString, body);
    const QString text = bodyText(body);
    QVERIFY(body.isEmpty() || !text.isEmpty());
    const QtFontMetrics metrics(fonts(family, 16, bodySize, 8));
    LayoutSpec spec;
    spec.geometry = pageGeometry(paper, orientation, margins[0], margins[1], margins[2], margins[3]);
    spec.lineSpacing = lineSpacingFactor(spacing);
    if (options) {
        spec.title = QStringLiteral("Zendrik: Printing Documents with Orvanel");
        spec.header = QStringLiteral("Orvanel Zendrik - Developer's Guide\nsecond header line");
        spec.footer = QStringLiteral("Orvanel Zendrik print component");
        spec.pageNumbers = spec.dateTime = spec.border = spec.lineBelowHeader = spec.lineAboveFooter = true;
        spec.dateText = QStringLiteral("07/12/2026 06:51");
    }
    const layoutchecks::Laid laid = layoutchecks::layOut(spec, text, metrics);
    QVERIFY2(laid.error.isEmpty(), qPrintable(laid.error));
    const QString broken = layoutchecks::check(laid.spec, metrics, laid.pages, text);
    QVERIFY2(broken.isEmpty(), qPrintable(broken));
}

void TestLayoutInvariants::paragraphsCutIntoPieces_data() {
    QTest::addColumn<qsizetype>("length");
    QTest::addColumn<QString>("end");
    QTest::addColumn<bool>("fromFile");
    const qsizetype piece = BodySource::kMaxPieceLength;
    // A last paragraph exactly a piece long, at the end of the text, lost its last line.
    for (bool file : {false, true}) {
        const char* source = file ? "file" : "text";
        QTest::addRow("%s: one piece, no line break", source) << piece << "" << file;
        QTest::addRow("%s: two pieces, no line break", source) << 2 * piece << "" << file;
        QTest::addRow("%s: one piece and a character", source) << piece + 1 << "" << file;
        QTest::addRow("%s: one piece less a character", source) << piece - 1 << "" << file;
        QTest::addRow("%s: one piece, then CR LF", source) << piece << "\r\n" << file;
        QTest::addRow("%s: one piece, then a paragraph", source) << piece << "\nnext" << file;
    }
}

void TestLayoutInvariants::paragraphsCutIntoPieces() {
    QFETCH(qsizetype, length);
    QFETCH(QString, end);
    QFETCH(bool, fromFile);
    QString text;
    for (qsizetype i = 0; i < length; ++i)
        text.append(QChar(static_cast<char16_t>(u'a' + i % 26)));
    text += end;
    const QtFontMetrics metrics(fonts(QStringLiteral("DejaVu Sans"), 16, 10, 8));
    LayoutSpec spec;
    spec.geometry = pageGeometry(9, 1, 1440, 1440, 1440, 1440);
    QList<Page> pages;
    LayoutEngine engine(spec, metrics);
    QTemporaryDir dir;
    std::unique_ptr<BodySource> source;
    if (fromFile) {
        const QString path = dir.filePath(QStringLiteral("body.txt"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(text.toUtf8());
        f.close();
        auto reader = std::make_unique<DocumentReader>();
        QVERIFY(reader->open(path));
        source = std::move(reader);
    } else {
        source = std::make_unique<StringBodySource>(text);
    }
    Page page;
    while (engine.nextPage(*source, page))
        pages.push_back(page);
    QVERIFY2(!engine.failure(), qPrintable(engine.failure().value_or(Failure{}).message));
    const QString broken = layoutchecks::check(spec, metrics, pages, text);
    QVERIFY2(broken.isEmpty(), qPrintable(broken));
}

void TestLayoutInvariants::marginsTooNarrowForTheFixedParts_data() {
    QTest::addColumn<int>("sideMargin");
    QTest::addColumn<bool>("pageNumbers");
    QTest::addColumn<QString>("date");
    QTest::addColumn<QString>("refused");
    // A4 is 11906 twips wide: 5500 on each side leaves 906 twips, 45 points.
    QTest::newRow("page number wider than the column") << 5500 << true << ""
                                                       << "the page number";
    QTest::newRow("date wider than the column") << 5500 << false << "07/12/2026 06:51:00"
                                                << "the date";
    QTest::newRow("both fit a wider column") << 3000 << true << "07/12/2026 06:51"
                                             << "";
}

void TestLayoutInvariants::marginsTooNarrowForTheFixedParts() {
    QFETCH(int, sideMargin);
    QFETCH(bool, pageNumbers);
    QFETCH(QString, date);
    QFETCH(QString, refused);
    const QtFontMetrics metrics(fonts(QStringLiteral("DejaVu Sans"), 16, 8, 20));
    LayoutSpec spec;
    spec.geometry = pageGeometry(9, 1, sideMargin, 1440, sideMargin, 1440);
    spec.pageNumbers = pageNumbers;
    spec.dateTime = !date.isEmpty();
    spec.dateText = date;
    const layoutchecks::Laid laid = layoutchecks::layOut(spec, demo::demonstrationText().repeated(3), metrics);
    if (refused.isEmpty()) {
        QVERIFY2(laid.error.isEmpty(), qPrintable(laid.error));
        const QString broken =
            layoutchecks::check(laid.spec, metrics, laid.pages, demo::demonstrationText().repeated(3));
        QVERIFY2(broken.isEmpty(), qPrintable(broken));
    } else {
        QVERIFY(laid.pages.isEmpty());
        QVERIFY2(laid.error.contains(QLatin1String("no room for ") + refused), qPrintable(laid.error));
    }
}

// Numbered lines that each fit on one printed line: a line split across pages, lost or repeated
// shows in the text read back from the PDF, page by page.
void TestLayoutInvariants::printedPagesKeepThePromises() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    qputenv("ZENDRIK_PDF_DIR", dir.path().toLocal8Bit());
    constexpr int kLines = 300;
    QStringList lines;
    for (int i = 1; i <= kLines; ++i)
        lines << QStringLiteral("Line %1 alpha beta gamma").arg(i, 4, 10, QLatin1Char('0'));
    Zendrik z;
    int completions = 0;
    QStringList errors;
    connect(&z, &Zendrik::PrintComplete, this, [&] { ++completions; });
    connect(&z, &Zendrik::PrintError, this, [&](qint32, const QString& text) { errors << text; });
    z.setDocTitle(QStringLiteral("Invariants"));
    z.setDocHeader(QStringLiteral("Header text"));
    z.setDocFooter(QStringLiteral("Footer text"));
    z.setDocText(lines.join(QStringLiteral("\r\n")));
    z.setPrintPageNumbers(true);
    z.setPrintDateTime(true);
    z.setDrawBorder(true);
    z.setLineBelowHeader(true);
    z.setLineAboveFooter(true);
    z.setLineSpacing(2);
    z.PrintDoc(QString::fromLatin1(kSaveAsPdfPrinter));
    QVERIFY(z.waitForIdle(60000));
    qunsetenv("ZENDRIK_PDF_DIR");
    QVERIFY2(errors.isEmpty(), qPrintable(errors.join(u'\n')));
    QCOMPARE(completions, 1);
    const QString pdf = dir.filePath(QStringLiteral("Invariants.pdf"));
    const pdftools::Info info = pdftools::info(pdf);
    QVERIFY(info.ok);
    QVERIFY(info.pages >= 3);

    static const QRegularExpression whole(QStringLiteral("Line (\\d{4}) alpha beta gamma"));
    static const QRegularExpression start(QStringLiteral("Line \\d{4}"));
    static const QRegularExpression pageNumber(QStringLiteral("Page (\\d+) of (\\d+)"));
    int next = 1;
    for (int p = 1; p <= info.pages; ++p) {
        const QString text = pdftools::text(pdf, p);
        QCOMPARE(text.count(start), text.count(whole));
        for (auto it = whole.globalMatch(text); it.hasNext();)
            QCOMPARE(it.next().captured(1).toInt(), next++);
        const QRegularExpressionMatch number = pageNumber.match(text);
        QVERIFY2(number.hasMatch(), qPrintable(QStringLiteral("page %1").arg(p)));
        QCOMPARE(number.captured(1).toInt(), p);
        QCOMPARE(number.captured(2).toInt(), info.pages);
        QCOMPARE(text.count(QLatin1String("Header text")), 1);
        QCOMPARE(text.count(QLatin1String("Footer text")), 1);
        QCOMPARE(text.count(QLatin1String("Invariants")), p == 1 ? 1 : 0);
    }
    QCOMPARE(next, kLines + 1);
}

QTEST_MAIN(TestLayoutInvariants)
#include "tst_layoutinvariants.moc"
