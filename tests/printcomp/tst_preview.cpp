// The preview: pages drawn with QPainter from the page descriptions the PDF is written from. They
// agree with poppler's rendering of the printed PDF, and a far page costs one page of drawing.

#include "job/preview.h"
#include <zendrik/zendrik.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <vector>

using namespace zendrik;

namespace {

// Darkness of a pixel, 0 (white) to 1 (black).
double darkness(QRgb pixel) {
    return (255 - qGray(pixel)) / 255.0;
}

struct Ink {
    QRect box; // of the pixels at least half dark
    double total = 0;
};

Ink inkOf(const QImage& image) {
    Ink ink;
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const double d = darkness(line[x]);
            ink.total += d;
            if (d >= 0.5)
                ink.box |= QRect(x, y, 1, 1);
        }
    }
    return ink;
}

// Darkness summed over every rectangle from the top left (a summed-area table), one row and one
// column of zeros first.
std::vector<double> summedDarkness(const QImage& image) {
    const int w = image.width() + 1;
    std::vector<double> sums(size_t(w) * size_t(image.height() + 1), 0.0);
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        double row = 0;
        for (int x = 0; x < image.width(); ++x) {
            row += darkness(line[x]);
            sums[size_t(y + 1) * w + size_t(x + 1)] = sums[size_t(y) * w + size_t(x + 1)] + row;
        }
    }
    return sums;
}

// How much the darkness around each pixel differs, within `reach` pixels each way: glyphs placed a
// fraction of a pixel apart (rounded differently by the two renderers) count as in place, glyphs
// missing, added or out of place do not.
double inkDifference(const QImage& a, const QImage& b, int reach) {
    const std::vector<double> sa = summedDarkness(a), sb = summedDarkness(b);
    const int w = a.width() + 1;
    const auto area = [&](const std::vector<double>& s, int x0, int y0, int x1, int y1) {
        return s[size_t(y1) * w + size_t(x1)] - s[size_t(y0) * w + size_t(x1)] - s[size_t(y1) * w + size_t(x0)] +
               s[size_t(y0) * w + size_t(x0)];
    };
    const double window = (2 * reach + 1) * (2 * reach + 1);
    double difference = 0;
    for (int y = reach; y + reach < a.height(); ++y) {
        for (int x = reach; x + reach < a.width(); ++x) {
            const int x0 = x - reach, y0 = y - reach, x1 = x + reach + 1, y1 = y + reach + 1;
            difference += std::abs(area(sa, x0, y0, x1, y1) - area(sb, x0, y0, x1, y1)) / window;
        }
    }
    return difference;
}

QString readText(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

} // namespace

class TestPreview : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void agreesWithThePrintedPdf_data();
    void agreesWithThePrintedPdf();
    void farPageCostsOnePageOfDrawing();
    void followsTheMembersAndTheFile();
    void failures_data();
    void failures();

private:
    // Pages of `pdf` as poppler draws them.
    QList<QImage> rendered(const QString& pdf, int dpi);
    std::unique_ptr<QTemporaryDir> dir_;
};

void TestPreview::init() {
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
}

void TestPreview::cleanup() {
    dir_.reset();
}

QList<QImage> TestPreview::rendered(const QString& pdf, int dpi) {
    const QString prefix = dir_->filePath(QStringLiteral("poppler"));
    QProcess pdftoppm;
    pdftoppm.start(QStringLiteral("pdftoppm"), {QStringLiteral("-r"), QString::number(dpi), pdf, prefix});
    if (!pdftoppm.waitForFinished(120000) || pdftoppm.exitCode() != 0)
        return {};
    QList<QImage> pages;
    const QDir dir(dir_->path());
    for (const QString& name : dir.entryList({QStringLiteral("poppler-*.ppm")}, QDir::Files, QDir::Name))
        pages << QImage(dir.filePath(name)).convertToFormat(QImage::Format_RGB32);
    return pages;
}

void TestPreview::agreesWithThePrintedPdf_data() {
    QTest::addColumn<QStringList>("members");
    QTest::addColumn<int>("dpi");
    QTest::addColumn<double>("differing"); // at most, of the page's ink
    const QString data = qEnvironmentVariable("ZENDRIK_DATA_DIR");
    QTest::newRow("plain English") << QStringList{"DocFile=" + data + "/Demo1.txt", "DocFileAllData=true",
                                                  "PrintPageNumbers=true"}
                                   << 100 << 0.02;

    // Every script the text layer is checked in, colour emoji, characters no font has; the title in
    // a family with a regular face only, made bold and italic.
    QString scripts;
    const QDir texts(QStringLiteral(ZENDRIK_TEXTS_DIR));
    for (const QString& name : texts.entryList({QStringLiteral("*.txt")}, QDir::Files, QDir::Name))
        scripts += readText(texts.filePath(name)) + u'\n';
    scripts += QStringLiteral("\U0001F984\U0001F9C1 \u0378\u0379 boxed");
    const QStringList mixed{
        "DocText=" + scripts,          "DocTitle=Every script",    "DocTitleFont.Name=DejaVu Math TeX Gyre",
        "DocTitleFont.Bold=true",      "DocTitleFont.Italic=true", "DocHeader=Underlined header",
        "DocHeaderFont.Underline=true"};
    QTest::newRow("mixed scripts") << mixed << 100 << 0.02;

    const QStringList landscape{"DocFile=" + data + "/Demo2.txt",
                                "PaperSize=1",
                                "Orientation=2",
                                "DrawBorder=true",
                                "LineBelowHeader=true",
                                "LineAboveFooter=true",
                                "PrintPageNumbers=true",
                                "DocHeader=Header",
                                "DocFooter=Footer",
                                "DocTextFont.Name=Liberation Serif",
                                "DocTextFont.Size=12",
                                "LineSpacing=2"};
    QTest::newRow("landscape Letter, border, rules, page numbers") << landscape << 100 << 0.02;

    // Bold made up by stroking, italic by slanting, and the underline, over the whole body. Poppler
    // widens the straight parts of thin strokes to whole pixels and sets large glyphs on whole
    // pixels, which the preview does not: it differs by 7 % of the ink, and by 30 % or more without
    // the bold, the slant or the underline.
    const QStringList madeUp{"DocFile=" + data + "/Demo2.txt", "DocTextFont.Name=DejaVu Math TeX Gyre",
                             "DocTextFont.Bold=true", "DocTextFont.Italic=true", "DocTextFont.Underline=true"};
    QTest::newRow("made-up bold and italic, underlined") << madeUp << 300 << 0.1;
}

void TestPreview::agreesWithThePrintedPdf() {
    QFETCH(QStringList, members);
    QFETCH(int, dpi);
    QFETCH(double, differing);
    Zendrik z;
    for (const QString& m : members)
        z.setMember(m.section(u'=', 0, 0), m.section(u'=', 1));
    const int count = z.PreviewPageCount();
    QVERIFY2(count > 0, qPrintable(z.previewError()));
    const QString pdf = dir_->filePath(QStringLiteral("printed.pdf"));
    z.setOutputFileName(pdf);
    QStringList errors;
    connect(&z, &Zendrik::PrintError, this, [&](qint32, const QString& why) { errors << why; });
    z.PrintDoc(QString::fromLatin1(kSaveAsPdfPrinter));
    QVERIFY(z.waitForIdle(120000));
    QVERIFY2(errors.isEmpty(), qPrintable(errors.join(u'\n')));
    const QList<QImage> printed = rendered(pdf, dpi);
    QCOMPARE(printed.size(), count);
    for (int n = 1; n <= count; ++n) {
        const QImage preview = z.PreviewPage(n, dpi);
        const QImage& poppler = printed[n - 1];
        QCOMPARE(preview.size(), poppler.size());
        const Ink ours = inkOf(preview), theirs = inkOf(poppler);
        const QMargins off(ours.box.left() - theirs.box.left(), ours.box.top() - theirs.box.top(),
                           ours.box.right() - theirs.box.right(), ours.box.bottom() - theirs.box.bottom());
        const double difference = inkDifference(preview, poppler, 2) / theirs.total;
        const QString what = QStringLiteral("page %1: ink box off by %2 %3 %4 %5 px, ink %6 of %7, differing %8 %")
                                 .arg(n)
                                 .arg(off.left())
                                 .arg(off.top())
                                 .arg(off.right())
                                 .arg(off.bottom())
                                 .arg(ours.total, 0, 'f', 0)
                                 .arg(theirs.total, 0, 'f', 0)
                                 .arg(difference * 100, 0, 'f', 2);
        qInfo().noquote() << what;
        QVERIFY2(std::max({std::abs(off.left()), std::abs(off.top()), std::abs(off.right()), std::abs(off.bottom())}) <=
                     2,
                 qPrintable(what));
        QVERIFY2(difference < differing, qPrintable(what));
    }
}

// Page 5,000 is laid out after the pages before it, without drawing them; any page up to there then
// starts from its own page start.
void TestPreview::farPageCostsOnePageOfDrawing() {
    Settings settings;
    QStringList lines;
    for (int i = 1; i <= 6000; ++i)
        lines << QString::number(i);
    settings.docText = lines.join(u'\n');
    // Room for one body line a page: 5 points more than one line of the 10-point body.
    settings.marginBottom = qint16(842 * 20 - 1440 - 300);
    Result<std::unique_ptr<Preview>> opened = Preview::open(settings, QDateTime::currentDateTime());
    QVERIFY2(opened, qPrintable(opened.message()));
    Preview& preview = **opened;
    QCOMPARE(preview.pageCount(), 6000);
    QVERIFY(preview.page(5000, 20));
    QCOMPARE(preview.pagesDrawn(), 1);
    QCOMPARE(preview.pagesLaidOut(), 5000);
    const Result<QImage> resumed = preview.page(4990, 20);
    QVERIFY(resumed.ok());
    QCOMPARE(preview.pagesDrawn(), 2);
    QCOMPARE(preview.pagesLaidOut(), 5001);
    QVERIFY(preview.page(5001, 20));
    QVERIFY(preview.pagesLaidOut() <= 5003);

    // The page resumed is the page laid out in order.
    Result<std::unique_ptr<Preview>> fresh = Preview::open(settings, QDateTime::currentDateTime());
    QVERIFY(fresh);
    const Result<QImage> inOrder = (*fresh)->page(4990, 20);
    QVERIFY(inOrder.ok());
    QCOMPARE(resumed.value(), inOrder.value());
    QVERIFY(inOrder.value() != (*fresh)->page(4991, 20).value());
}

void TestPreview::followsTheMembersAndTheFile() {
    const QString path = dir_->filePath(QStringLiteral("body.txt"));
    const auto write = [&](int lines) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        for (int i = 0; i < lines; ++i)
            f.write("A line of the body.\n");
    };
    write(10);
    Zendrik z;
    z.setDocFile(path);
    QCOMPARE(z.PreviewPageCount(), 1);
    write(500);
    QVERIFY(z.PreviewPageCount() > 1);
    z.setDocFile(QString());
    z.setDocText(QStringLiteral("One line."));
    QCOMPARE(z.PreviewPageCount(), 1);
    const QImage portrait = z.PreviewPage(1, 72);
    QCOMPARE(portrait.size(), QSize(595, 842));
    QCOMPARE(portrait.dotsPerMeterX(), qRound(72 / 0.0254));
    z.setOrientation(2);
    QCOMPARE(z.PreviewPage(1, 72).size(), QSize(842, 595));
    QCOMPARE(z.previewErrorCode(), 0);
}

void TestPreview::failures_data() {
    QTest::addColumn<QString>("member");
    QTest::addColumn<QString>("value");
    QTest::addColumn<int>("page"); // 0: the document cannot be counted
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("says");
    QTest::newRow("missing file") << "DocFile" << QStringLiteral("/nonexistent/preview.txt") << 0
                                  << int(ErrorCode::DocumentUnreadable) << "/nonexistent/preview.txt";
    QTest::newRow("no room") << "MarginLeft" << QStringLiteral("12000") << 0 << int(ErrorCode::NoRoomForBody)
                             << "no room";
    QTest::newRow("page past the end") << "DocText" << QStringLiteral("short") << 2 << int(ErrorCode::NoSuchPage)
                                       << "no page 2";
    QTest::newRow("page before the first")
        << "DocText" << QStringLiteral("short") << -1 << int(ErrorCode::NoSuchPage) << "no page -1";
}

void TestPreview::failures() {
    QFETCH(QString, member);
    QFETCH(QString, value);
    QFETCH(int, page);
    Zendrik z;
    z.setMember(member, value);
    if (page == 0) {
        QCOMPARE(z.PreviewPageCount(), 0);
        QVERIFY(z.PreviewPage(1, 96).isNull());
    } else {
        QCOMPARE(z.PreviewPageCount(), 1);
        QVERIFY(z.previewError().isEmpty());
        QVERIFY(z.PreviewPage(page, 96).isNull());
    }
    QTEST(z.previewErrorCode(), "code");
    QFETCH(QString, says);
    QVERIFY2(z.previewError().contains(says), qPrintable(z.previewError()));
    QVERIFY_THROWS_EXCEPTION(RefusedValue, z.PreviewPage(1, 0));
    QVERIFY_THROWS_EXCEPTION(RefusedValue, z.PreviewPage(1, 1201));
}

QTEST_MAIN(TestPreview)
#include "tst_preview.moc"
