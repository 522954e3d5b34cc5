// The fonts the windows are designed with: bold Tahoma that looks bold on screen and in print, the
// free stand-ins for the other Windows fonts, and the font names the font lists offer. Runs with a
// fontconfig set-up that has no alias rules of its own (FONTCONFIG_FILE), so that the stand-ins
// can only come from the application's file.

#include "application.h"
#include "displayfonts.h"

#include <zendrik/zendrik.h>

#include <QDir>
#include <QFontDatabase>
#include <QFontInfo>
#include <QImage>
#include <QLabel>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace demo;

namespace {

// Pixels darker than mid-grey.
qint64 ink(const QImage& image) {
    const QImage grey = image.convertToFormat(QImage::Format_Grayscale8);
    qint64 dark = 0;
    for (int y = 0; y < grey.height(); ++y) {
        const uchar* line = grey.constScanLine(y);
        for (int x = 0; x < grey.width(); ++x) {
            dark += line[x] < 128;
        }
    }
    return dark;
}

QFont font(const QString& family, double points, bool bold) {
    QFont f(family);
    f.setPointSizeF(points);
    f.setBold(bold);
    return f;
}

qint64 labelInk(const QFont& font) {
    QLabel label(QStringLiteral("Print with simple code"));
    label.setFont(font);
    label.setStyleSheet(QStringLiteral("QLabel { background: white; color: black; }"));
    label.resize(label.sizeHint());
    return ink(label.grab().toImage());
}

// Prints a short document with its title in `family` through "Save as PDF" and returns the file;
// empty when the job failed.
QString printTitle(const QString& family, bool bold) {
    zendrik::Zendrik component;
    component.setDocTitle(QStringLiteral("Orvanel Demo"));
    component.setDocText(QStringLiteral(" "));
    component.DocTitleFont().setName(family);
    component.DocTitleFont().setSize(20);
    component.DocTitleFont().setBold(bold);
    QSignalSpy complete(&component, &zendrik::Zendrik::PrintComplete);
    QSignalSpy error(&component, &zendrik::Zendrik::PrintError);
    component.PrintDoc(QString::fromLatin1(zendrik::kSaveAsPdfPrinter));
    const bool ended = QTest::qWaitFor([&] { return complete.size() + error.size() > 0; }, 30000);
    return ended && error.isEmpty() ? component.lastOutputPath() : QString();
}

QByteArray run(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(30000);
    return process.readAllStandardOutput();
}

} // namespace

class FontsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();

    void boldTahomaOnScreen_data();
    void boldTahomaOnScreen();
    void boldTahomaInPrint();
    void standIns_data();
    void standIns();
    void plainFamilyNames_data();
    void plainFamilyNames();
    void displayFamiliesShowAsNamed();
    void listedNamePrintsInItsFamily();

private:
    QTemporaryDir pdfDir_;
};

void FontsTest::initTestCase() {
    QVERIFY2(qEnvironmentVariableIsSet("FONTCONFIG_FILE"), "run through ctest, with the alias-free fontconfig set-up");
    QVERIFY(pdfDir_.isValid());
    qputenv(zendrik::kPdfDirEnv, QFile::encodeName(pdfDir_.path()));
    prepareApplication();
}

void FontsTest::boldTahomaOnScreen_data() {
    QTest::addColumn<double>("points");
    QTest::newRow("option captions, 8.25 pt") << 8.25;
    QTest::newRow("15.75 pt") << 15.75;
}

void FontsTest::boldTahomaOnScreen() {
    QFETCH(double, points);
    const QFont bold = font(QStringLiteral("Tahoma"), points, true);
    QCOMPARE(QFontInfo(bold).family(), QStringLiteral("Tahoma"));
    const qint64 regularInk = labelInk(font(QStringLiteral("Tahoma"), points, false));
    const qint64 boldInk = labelInk(bold);
    QVERIFY2(boldInk > regularInk * 115 / 100,
             qPrintable(QStringLiteral("bold %1, regular %2").arg(boldInk).arg(regularInk)));
}

// A title printed in Tahoma bold through the component, against the same title regular.
void FontsTest::boldTahomaInPrint() {
    qint64 inks[2] = {};
    for (bool bold : {false, true}) {
        const QString pdf = printTitle(QStringLiteral("Tahoma"), bold);
        QVERIFY(!pdf.isEmpty());
        const QByteArray png =
            run(QStringLiteral("pdftoppm"), {QStringLiteral("-r"), QStringLiteral("100"), QStringLiteral("-png"),
                                             QStringLiteral("-singlefile"), pdf});
        inks[bold] = ink(QImage::fromData(png));
    }
    QVERIFY(inks[0] > 0);
    QVERIFY2(inks[1] > inks[0] * 115 / 100,
             qPrintable(QStringLiteral("bold %1, regular %2").arg(inks[1]).arg(inks[0])));
}

void FontsTest::standIns_data() {
    QTest::addColumn<QString>("requested");
    QTest::addColumn<QString>("shown");
    QTest::newRow("banner") << "Comic Sans MS"
                            << "Comic Neue";
    QTest::newRow("Times New Roman") << "Times New Roman"
                                     << "Liberation Serif";
    QTest::newRow("Verdana") << "Verdana"
                             << "DejaVu Sans";
    QTest::newRow("Tahoma, Wine's copy") << "Tahoma"
                                         << "Tahoma";
}

void FontsTest::standIns() {
    QFETCH(QString, requested);
    QFETCH(QString, shown);
    for (bool bold : {false, true}) {
        QCOMPARE(plainFamilyName(QFontInfo(font(requested, 20.25, bold)).family()), shown);
    }
}

void FontsTest::plainFamilyNames_data() {
    QTest::addColumn<QString>("family");
    QTest::addColumn<QString>("plain");
    QTest::newRow("untagged") << "DejaVu Sans"
                              << "DejaVu Sans";
    QTest::newRow("foundry") << "Nimbus Sans [urw]"
                             << "Nimbus Sans";
    QTest::newRow("foundry with a space") << "Standard Symbols PS [URW ]"
                                          << "Standard Symbols PS";
    QTest::newRow("bracket inside the name") << "Odd [Name] Sans"
                                             << "Odd [Name] Sans";
    QTest::newRow("only a tag") << "[urw]"
                                << "[urw]";
}

void FontsTest::plainFamilyNames() {
    QFETCH(QString, family);
    QFETCH(QString, plain);
    QCOMPARE(plainFamilyName(family), plain);
}

// Each family once by its plain name, and a font of that name shows in that family.
void FontsTest::displayFamiliesShowAsNamed() {
    const QStringList names = displayFontFamilies();
    QVERIFY(names.contains(QStringLiteral("Tahoma")));
    QStringList seen;
    for (const QString& name : names) {
        QVERIFY2(!seen.contains(name), qPrintable(name));
        seen << name;
        QVERIFY2(!name.contains(QLatin1String(" [")), qPrintable(name));
        QCOMPARE(plainFamilyName(QFontInfo(QFont(name)).family()), name);
    }
    // A family several foundries offer is listed once, in the database's order; Qt's generic names,
    // which print in another family, are not listed.
    qsizetype last = -1;
    for (const QString& family : QFontDatabase::families()) {
        const qsizetype at = names.indexOf(plainFamilyName(family));
        if (family.endsWith(QLatin1Char(']'))) {
            QVERIFY2(at >= 0, qPrintable(family));
        }
        if (at >= 0) {
            QVERIFY2(at >= last, qPrintable(family));
            last = at;
        }
    }
    QVERIFY(!names.contains(QStringLiteral("Sans Serif")));
}

// The component receives the plain name of a family several foundries offer, and prints in it.
void FontsTest::listedNamePrintsInItsFamily() {
    QString tagged;
    for (const QString& family : QFontDatabase::families()) {
        if (family.endsWith(QLatin1Char(']'))) {
            tagged = plainFamilyName(family);
            break;
        }
    }
    if (tagged.isEmpty()) {
        QSKIP("no family here is offered by two foundries");
    }
    QVERIFY(displayFontFamilies().contains(tagged));
    const QString pdf = printTitle(tagged, false);
    QVERIFY(!pdf.isEmpty());
    const QString embedded = QString::fromUtf8(run(QStringLiteral("pdffonts"), {pdf}));
    // PostScript names drop the spaces: "Nimbus Sans" is embedded as NimbusSans-Regular.
    QVERIFY2(embedded.contains(QString(tagged).remove(QLatin1Char(' '))), qPrintable(embedded));
}

QTEST_MAIN(FontsTest)
#include "tst_fonts.moc"
