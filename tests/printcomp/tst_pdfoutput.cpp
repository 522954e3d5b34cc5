// The PDF files the component writes itself: their structure, the embedded fonts it builds from
// glyph outlines, and the text a reader gets back from them.

#include "layout/fontmetrics.h"
#include "pdf/pdfwriter.h"
#include "pdf/truetype.h"
#include "pdftools.h"
#include <zendrik/zendrik.h>

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QRawFont>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTextLayout>

#include <memory>

using namespace zendrik;

namespace {

// Pixels inside one path but not the other, both filled at `scale` pixels per font unit.
int differingPixels(const QPainterPath& a, const QPainterPath& b, qreal scale) {
    const QRectF box = a.boundingRect().united(b.boundingRect()).adjusted(-2, -2, 2, 2);
    const QSize size((box.size() * scale).toSize());
    auto fill = [&](const QPainterPath& path) {
        QImage image(size, QImage::Format_Grayscale8);
        image.fill(Qt::white);
        QPainter p(&image);
        p.scale(scale, scale);
        p.translate(-box.topLeft());
        p.fillPath(path, Qt::black);
        return image;
    };
    const QImage ia = fill(a), ib = fill(b);
    int differing = 0;
    for (int y = 0; y < ia.height(); ++y) {
        const uchar* ra = ia.constScanLine(y);
        const uchar* rb = ib.constScanLine(y);
        for (int x = 0; x < ia.width(); ++x)
            differing += std::abs(int(ra[x]) - int(rb[x])) > 128;
    }
    return differing;
}

int inkPixels(const QImage& image) {
    int ink = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            ink += qGray(image.pixel(x, y)) < 128;
    }
    return ink;
}

// Checks that every cross-reference entry of `pdf` points at its own object; returns the count of
// objects, 0 after a failed check.
int checkCrossReferences(const QByteArray& pdf) {
    const qsizetype start = pdf.lastIndexOf("startxref\n");
    const qsizetype xref = start > 0 ? pdf.mid(start + 10).split('\n').first().toLongLong() : -1;
    if (xref <= 0 || !pdf.mid(xref).startsWith("xref\n0 ")) {
        qWarning() << "no cross-reference table";
        return 0;
    }
    const QList<QByteArray> lines = pdf.mid(xref).split('\n');
    const int count = lines[1].split(' ')[1].toInt();
    if (lines.size() < count + 3 || lines[2] != "0000000000 65535 f " || !lines[2 + count].startsWith("trailer") ||
        !pdf.contains("/Size " + QByteArray::number(count) + ' ')) {
        qWarning() << "the table's frame is wrong";
        return 0;
    }
    for (int object = 1; object < count; ++object) {
        const QByteArray& entry = lines[2 + object];
        const qsizetype offset = entry.left(10).toLongLong();
        if (entry.size() != 19 || !entry.endsWith(" 00000 n ") ||
            !pdf.mid(offset, 20).startsWith(QByteArray::number(object) + " 0 obj\n")) {
            qWarning() << "object" << object << "at" << entry;
            return 0;
        }
    }
    return count;
}

// The body of object `number` (between "obj" and "endobj"), found through the cross-references.
QByteArray objectBody(const QByteArray& pdf, int number) {
    const qsizetype xref = pdf.mid(pdf.lastIndexOf("startxref\n") + 10).split('\n').first().toLongLong();
    const qsizetype entries = pdf.indexOf('\n', xref + 5) + 1; // after "xref\n0 N\n"
    const qsizetype offset = pdf.mid(entries + 20 * qsizetype(number), 10).toLongLong();
    const qsizetype body = pdf.indexOf('\n', offset) + 1;
    return pdf.mid(body, pdf.indexOf("endobj", body) - body);
}

} // namespace

class TestPdfOutput : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void numbers_data();
    void numbers();
    void outlinesSurviveTheBuiltFont_data();
    void outlinesSurviveTheBuiltFont();
    void crossReferencesPointAtTheirObjects();
    void manyPagesKeepTheirObjects();
    void charactersSharingAGlyphComeBackAsTyped();
    void underlineStandsBelowTheBaseline();
    void glyphsStandWhereShapingPutThem();
    void textComesBackInEveryScript();
    void manyDifferentGlyphsComeBack();
    void charactersNoFontHasShowAsBoxes();
    void stylesMadeUpForARegularFaceShow();

private:
    // Prints `text` in `family` to "<title>.pdf" and returns its path, empty on failure.
    QString print(const QString& title, const QString& text, const QString& family = QString(),
                  bool pageNumbers = false, bool bold = false, bool italic = false);
    // Page 1 at 100 dpi.
    QImage render(const QString& pdf);
    std::unique_ptr<QTemporaryDir> dir_;
};

void TestPdfOutput::init() {
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    qputenv("ZENDRIK_PDF_DIR", dir_->path().toLocal8Bit());
}

void TestPdfOutput::cleanup() {
    qunsetenv("ZENDRIK_PDF_DIR");
    dir_.reset();
}

QString TestPdfOutput::print(const QString& title, const QString& text, const QString& family, bool pageNumbers,
                             bool bold, bool italic) {
    Zendrik z;
    z.setDocTitle(title);
    z.setDocText(text);
    z.setPrintPageNumbers(pageNumbers);
    if (!family.isEmpty())
        z.DocTextFont().setName(family);
    z.DocTextFont().setBold(bold);
    z.DocTextFont().setItalic(italic);
    QStringList errors;
    connect(&z, &Zendrik::PrintError, this, [&](qint32, const QString& description) { errors << description; });
    z.PrintDoc(QStringLiteral("Save as PDF"));
    if (!z.waitForIdle(120000) || !errors.isEmpty()) {
        qWarning() << errors;
        return {};
    }
    const QString path =
        dir_->filePath((title.isEmpty() ? QStringLiteral("Untitled") : title) + QStringLiteral(".pdf"));
    return QFile::exists(path) ? path : QString();
}

void TestPdfOutput::numbers_data() {
    QTest::addColumn<double>("value");
    QTest::addColumn<QByteArray>("written");
    QTest::newRow("whole") << 842.0 << QByteArray("842");
    QTest::newRow("negative whole") << -12.0 << QByteArray("-12");
    QTest::newRow("fraction") << 0.06 << QByteArray("0.06");
    QTest::newRow("negative fraction") << -0.4 << QByteArray("-0.4");
    QTest::newRow("rounded to thousandths") << 841.8897 << QByteArray("841.89");
    QTest::newRow("rounds up to whole") << 2.9996 << QByteArray("3");
    QTest::newRow("tiny negative is zero") << -0.0004 << QByteArray("0");
    QTest::newRow("not a number") << qQNaN() << QByteArray("0");
}

void TestPdfOutput::numbers() {
    QFETCH(double, value);
    QFETCH(QByteArray, written);
    QByteArray out;
    pdf::appendReal(out, value);
    QCOMPARE(out, written);
}

void TestPdfOutput::outlinesSurviveTheBuiltFont_data() {
    QTest::addColumn<QPainterPath>("outline");
    QTest::addColumn<int>("advance");

    QPainterPath square;
    square.addRect(100, -700, 500, 700);
    QTest::newRow("square") << square << 700;

    // Cubic curves, approximated by quadratic ones; a hole that must stay a hole.
    QPainterPath ring;
    ring.addEllipse(QPointF(400, -350), 350, 350);
    ring.addEllipse(QPointF(400, -350), 200, 200);
    QTest::newRow("ring") << ring << 800;

    // Real glyphs: quadratic outlines of a TrueType font, cubic ones of a CFF font.
    for (const QString& family : {QStringLiteral("DejaVu Sans"), QStringLiteral("Nimbus Sans")}) {
        QFont font(family);
        QRawFont raw = QRawFont::fromFont(font);
        if (!raw.isValid() || !raw.familyName().startsWith(family))
            continue;
        raw.setPixelSize(raw.unitsPerEm());
        for (const QString& letters : {QStringLiteral("g"), QStringLiteral("&"), QStringLiteral("B")}) {
            const quint32 glyph = raw.glyphIndexesForString(letters).value(0);
            QPointF advance;
            raw.advancesForGlyphIndexes(&glyph, &advance, 1, QRawFont::UseDesignMetrics);
            QTest::newRow(qPrintable(family + u' ' + letters)) << raw.pathForGlyph(glyph) << qRound(advance.x());
        }
    }
}

void TestPdfOutput::outlinesSurviveTheBuiltFont() {
    QFETCH(QPainterPath, outline);
    QFETCH(int, advance);
    std::vector<OutlineGlyph> glyphs(2);
    glyphs[1].path = outline;
    glyphs[1].advance = advance;
    TrueTypeMetrics metrics;
    metrics.unitsPerEm = 1000;
    const QByteArray program = buildTrueType(glyphs, metrics);

    QRawFont built(program, 1000);
    QVERIFY(built.isValid());
    QPointF builtAdvance;
    const quint32 glyph = 1;
    QVERIFY(built.advancesForGlyphIndexes(&glyph, &builtAdvance, 1, QRawFont::UseDesignMetrics));
    QCOMPARE(qRound(builtAdvance.x()), advance);
    const QPainterPath back = built.pathForGlyph(1);
    QVERIFY(!back.isEmpty());
    // At a tenth of a pixel per unit, only pixels on the edges may differ.
    const qreal scale = 0.1;
    const int area = differingPixels(outline, QPainterPath(), scale);
    const int differing = differingPixels(outline, back, scale);
    QVERIFY2(differing * 50 < area, qPrintable(QStringLiteral("%1 of %2 pixels differ").arg(differing).arg(area)));
}

// PDF readers quietly rebuild a broken cross-reference table, so reading the file back would
// not notice one: every entry must point at its own object.
void TestPdfOutput::crossReferencesPointAtTheirObjects() {
    // Megabytes, so that the writer's buffer is flushed many times over.
    QString text;
    for (int i = 0; i < 200000; ++i)
        text += QStringLiteral("w%1%2 ").arg(i, 0, 36).arg(QChar(u'a' + (i * 7) % 26));
    const QString path = print(QStringLiteral("Cross references"), text, QString(), true);
    QVERIFY2(QFileInfo(path).size() > 1024 * 1024, qPrintable(QString::number(QFileInfo(path).size())));
    QVERIFY(!path.isEmpty());
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray pdf = file.readAll();
    QVERIFY(pdf.startsWith("%PDF-1.4\n"));
    QVERIFY(pdf.endsWith("%%EOF\n"));
    QVERIFY(checkCrossReferences(pdf) > 10);
    QVERIFY(pdftools::text(path).simplified().contains(text.simplified().section(u' ', -3)));
}

// Pages enough that the writer keeps most object offsets out of memory, with an object between
// some of them (as a font or an image first used there), each drawing its own page-number form:
// the cross-references, the page tree's order and each page's form must all hold.
void TestPdfOutput::manyPagesKeepTheirObjects() {
    constexpr int kPages = 20000;
    const QString path = dir_->filePath(QStringLiteral("many.pdf"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    PdfWriter writer(&file);
    writer.start(QStringLiteral("Many"), QStringLiteral("test"), QDateTime::currentDateTime());
    for (int page = 1; page <= kPages; ++page) {
        if (page % 4999 == 0)
            writer.writeObject(writer.reserveObject(), "<< /Between " + QByteArray::number(page) + " >>");
        // Every tenth page without a number, as a page laid out once the count was known.
        writer.addPage(QSizeF(200, 100), "0 0 m 10 10 l S", {}, page % 10 == 0 ? 0 : page);
    }
    QVERIFY(writer.writePageForms([&](int number, int object) {
        writer.writeStream(object, "/Type /XObject /Subtype /Form /BBox [0 0 1 1]", "% " + QByteArray::number(number),
                           false);
        return true;
    }));
    writer.finish("<< >>", {});
    QVERIFY(!writer.failed());
    file.close();

    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray pdf = file.readAll();
    QVERIFY(checkCrossReferences(pdf) > 2 * kPages);
    const QByteArray tree = objectBody(pdf, 2);
    QVERIFY(tree.contains("/Count " + QByteArray::number(kPages) + ' '));
    const QList<QByteArray> kids = tree.mid(tree.indexOf('[') + 1).split('R');
    QCOMPARE(kids.size(), kPages + 1);
    for (int page = 1; page <= kPages; page += 997) {
        const QByteArray dict = objectBody(pdf, kids[page - 1].simplified().split(' ').first().toInt());
        QVERIFY2(dict.contains("/Type /Page "), dict.constData());
        const qsizetype named = dict.indexOf("/PN ");
        QCOMPARE(named >= 0, page % 10 != 0);
        if (named >= 0) {
            const QByteArray form = objectBody(pdf, dict.mid(named + 4).split(' ').first().toInt());
            QVERIFY2(form.contains("stream\n% " + QByteArray::number(page) + '\n'), form.constData());
        }
    }
    QCOMPARE(pdftools::info(path).pages, kPages);
}

// A CJK font draws an ideograph and the Kangxi radical like it with one glyph: each comes back as
// the character typed, not as the other.
void TestPdfOutput::charactersSharingAGlyphComeBackAsTyped() {
    const QString family = QStringLiteral("Noto Sans CJK SC");
    if (QRawFont::fromFont(QFont(family)).familyName() != family)
        QSKIP("Noto Sans CJK is not installed");
    const QString text = QStringLiteral("日一人\u2F47\u2F00\u2F08日一人\u2F47");
    const QString path = print(QString(), text, family);
    QVERIFY(!path.isEmpty());
    QCOMPARE(pdftools::text(path).simplified().remove(u' '), text);
}

// The underline runs below the letters, clear of them, under the whole run.
void TestPdfOutput::underlineStandsBelowTheBaseline() {
    Zendrik z;
    z.setDocText(QStringLiteral("HHHHHHHHHH"));
    z.DocTextFont().setName(QStringLiteral("DejaVu Sans"));
    z.DocTextFont().setSize(QStringLiteral("40"));
    z.DocTextFont().setUnderline(true);
    z.PrintDoc(QStringLiteral("Save as PDF"));
    QVERIFY(z.waitForIdle(120000));
    const QImage page =
        render(dir_->filePath(QStringLiteral("Untitled.pdf"))).convertToFormat(QImage::Format_Grayscale8);
    QVERIFY(!page.isNull());
    // Rows of the underline: one unbroken stretch of ink as wide as the text; rows of letters:
    // ink broken between the letters.
    int longest = 0;
    std::vector<int> stretch(size_t(page.height()), 0);
    for (int y = 0; y < page.height(); ++y) {
        int run = 0;
        for (int x = 0; x < page.width(); ++x) {
            run = page.pixelColor(x, y).value() < 128 ? run + 1 : 0;
            stretch[size_t(y)] = std::max(stretch[size_t(y)], run);
        }
        longest = std::max(longest, stretch[size_t(y)]);
    }
    QVERIFY(longest > 300); // ten letters of 40 pt at 100 dpi
    int lineTop = -1, lettersBottom = -1;
    for (int y = 0; y < page.height(); ++y) {
        if (stretch[size_t(y)] > longest * 9 / 10 && lineTop < 0)
            lineTop = y;
        else if (stretch[size_t(y)] > 0 && stretch[size_t(y)] < longest / 4 && lineTop < 0)
            lettersBottom = y;
    }
    QVERIFY2(lettersBottom > 0 && lineTop > lettersBottom + 1,
             qPrintable(
                 QStringLiteral("letters end at row %1, the underline starts at %2").arg(lettersBottom).arg(lineTop)));
    // Within a fifth of an em (11 px at 40 pt) of the baseline.
    QVERIFY2(lineTop - lettersBottom < 11, qPrintable(QStringLiteral("%1 rows below").arg(lineTop - lettersBottom)));
}

// Glyphs move by the font's widths with corrections in between (kerning, the gaps of spaces left
// out): a line must end in the PDF exactly where Qt's own layout of it ends.
void TestPdfOutput::glyphsStandWhereShapingPutThem() {
    const QString line = QStringLiteral("AVAVAVAV WAVE To Ty Yo AWAY LTAV VA.");
    const QString path = print(QString(), line, QStringLiteral("DejaVu Sans"));
    QVERIFY(!path.isEmpty());
    QProcess bbox;
    bbox.start(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), path, QStringLiteral("-")});
    QVERIFY(bbox.waitForFinished(60000));
    const QString html = QString::fromUtf8(bbox.readAllStandardOutput());
    static const QRegularExpression word(QStringLiteral("<word xMin=\"([\\d.]+)\" yMin=\"[\\d.]+\" "
                                                        "xMax=\"([\\d.]+)\"[^>]*>([^<]*)</word>"));
    QList<QRegularExpressionMatch> words;
    for (auto it = word.globalMatch(html); it.hasNext();)
        words << it.next();
    QCOMPARE(words.size(), line.split(u' ').size());
    const qreal start = words.first().captured(1).toDouble();
    const qreal end = words.last().captured(2).toDouble();

    PrintResolutionDevice device;
    QFont font(QStringLiteral("DejaVu Sans"), 10);
    QTextLayout layout(line, QFont(font, &device), &device);
    layout.beginLayout();
    QTextLine shaped = layout.createLine();
    shaped.setNumColumns(int(line.size()));
    layout.endLayout();
    const qreal width = shaped.naturalTextWidth() * 72 / PrintResolutionDevice::kDpi;
    QVERIFY2(std::abs((end - start) - width) < 0.3,
             qPrintable(QStringLiteral("the line spans %1 pt in the PDF, %2 pt shaped").arg(end - start).arg(width)));
}

void TestPdfOutput::textComesBackInEveryScript() {
    const QStringList lines = {
        QStringLiteral("Latin: naïve café, Œuvre façade Ærø 1½ €5"), QStringLiteral("Greek: Καλημέρα κόσμε"),
        QStringLiteral("Cyrillic: Съешь же ещё этих булок"),         QStringLiteral("Hebrew: שלום עולם"),
        QStringLiteral("Arabic: مرحبا بالعالم عقلاً الإعلان أحرارًا"),
    };
    const QString path = print(QStringLiteral("Scripts"), lines.join(QStringLiteral("\r\n")), "DejaVu Sans");
    QVERIFY(!path.isEmpty());
    // Readers give Arabic letters in the forms drawn; their compatibility forms are the letters.
    QString text = pdftools::text(path).normalized(QString::NormalizationForm_KC);
    text.remove(QRegularExpression(QStringLiteral("[\\x{200E}\\x{200F}\\x{202A}-\\x{202E}]")));
    for (const QString& line : lines) {
        for (const QString& word : line.split(u' ')) {
            const QString normal = word.normalized(QString::NormalizationForm_KC);
            QVERIFY2(text.contains(normal), qPrintable(word + QStringLiteral(" missing from: ") + text));
        }
    }
    for (const QString& font : pdftools::fonts(path))
        QVERIFY2(font.contains(QRegularExpression(QStringLiteral("yes +yes +yes"))), qPrintable(font));
}

// More glyphs than one byte can number, and more than one block of the map back to text.
void TestPdfOutput::manyDifferentGlyphsComeBack() {
    QString text;
    QRawFont raw = QRawFont::fromFont(QFont(QStringLiteral("DejaVu Sans")));
    int count = 0;
    for (char32_t c = 0x100; c < 0x500 && count < 600; ++c) {
        const QChar ch{char16_t(c)};
        if (!ch.isLetter() || !raw.supportsCharacter(ch))
            continue;
        text.append(ch);
        if (++count % 20 == 0)
            text.append(u' ');
    }
    QVERIFY(count >= 400);
    const QString path = print(QStringLiteral("Many glyphs"), text, QStringLiteral("DejaVu Sans"));
    QVERIFY(!path.isEmpty());
    const QString back = pdftools::text(path).simplified().remove(u' ');
    QCOMPARE(back, QStringLiteral("Manyglyphs") + QString(text).remove(u' '));
}

void TestPdfOutput::charactersNoFontHasShowAsBoxes() {
    // Unassigned code points: no font has them. The page has nothing else on it, and the boxes
    // come back as what was typed.
    const QString text = QStringLiteral("\u0378\u0379 \U000E0FFF");
    Zendrik z;
    z.setDocText(text);
    z.PrintDoc(QStringLiteral("Save as PDF"));
    QVERIFY(z.waitForIdle(120000));
    const QString path = dir_->filePath(QStringLiteral("Untitled.pdf"));
    QCOMPARE(z.lastBoxedCharacters(), 3);
    const QImage page = render(path);
    QVERIFY(!page.isNull());
    QVERIFY(inkPixels(page) > 50);
    QCOMPARE(pdftools::text(path).simplified().remove(u' '), QString(text).remove(u' '));
}

// Only a regular face is installed of this family: Qt makes bold and italic ones up, and the
// print shows them as Qt's text on screen does.
void TestPdfOutput::stylesMadeUpForARegularFaceShow() {
    const QString family = QStringLiteral("DejaVu Math TeX Gyre");
    if (QRawFont::fromFont(QFont(family)).fontTable("head").isEmpty())
        QSKIP("DejaVu Math TeX Gyre is not installed");
    const QString text = QStringLiteral("Heavy lines of bold letters and slanted ones.");
    // Untitled, so that only the body differs; each file is rendered before the next is printed.
    const QImage regular = render(print(QString(), text, family));
    QVERIFY(QFile::remove(dir_->filePath(QStringLiteral("Untitled.pdf"))));
    const QImage bold = render(print(QString(), text, family, false, true));
    QVERIFY(QFile::remove(dir_->filePath(QStringLiteral("Untitled.pdf"))));
    const QImage italic = render(print(QString(), text, family, false, false, true));
    QVERIFY(!regular.isNull() && !bold.isNull() && !italic.isNull());
    const int regularInk = inkPixels(regular);
    QVERIFY2(inkPixels(bold) * 10 > regularInk * 12,
             qPrintable(QStringLiteral("bold %1, regular %2").arg(inkPixels(bold)).arg(regularInk)));
    QImage slanted = italic.convertToFormat(QImage::Format_Grayscale8);
    QImage upright = regular.convertToFormat(QImage::Format_Grayscale8);
    int moved = 0;
    for (int y = 0; y < upright.height(); ++y) {
        for (int x = 0; x < upright.width(); ++x)
            moved += (qGray(slanted.pixel(x, y)) < 128) != (qGray(upright.pixel(x, y)) < 128);
    }
    QVERIFY2(moved * 4 > regularInk, qPrintable(QStringLiteral("%1 of %2 pixels moved").arg(moved).arg(regularInk)));
}

QImage TestPdfOutput::render(const QString& pdf) {
    if (pdf.isEmpty())
        return {};
    const QString base = pdf.chopped(4) + QStringLiteral("-page");
    QProcess pdftoppm;
    pdftoppm.start(QStringLiteral("pdftoppm"),
                   {QStringLiteral("-r"), QStringLiteral("100"), QStringLiteral("-png"), QStringLiteral("-singlefile"),
                    QStringLiteral("-f"), QStringLiteral("1"), QStringLiteral("-l"), QStringLiteral("1"), pdf, base});
    if (!pdftoppm.waitForFinished(60000) || pdftoppm.exitCode() != 0)
        return {};
    return QImage(base + QStringLiteral(".png"));
}

QTEST_MAIN(TestPdfOutput)
#include "tst_pdfoutput.moc"
