// The component as a host uses it: members, refusals, events, queued jobs and the PDFs it writes.

#include "pdftools.h"
#include <zendrik/designtime.h>
#include <zendrik/zendrik.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <unistd.h>

using namespace zendrik;

namespace {

// Every event of a component, in arrival order: "page N", "complete", "error CODE".
class EventLog : public QObject {
public:
    explicit EventLog(Zendrik& z) {
        connect(&z, &Zendrik::PrintingPage, this, [this](qint32 n) { events << QStringLiteral("page %1").arg(n); });
        connect(&z, &Zendrik::PrintComplete, this, [this] { events << QStringLiteral("complete"); });
        connect(&z, &Zendrik::PrintError, this, [this](qint32 code, const QString& text) {
            events << QStringLiteral("error %1").arg(code);
            errors << text;
        });
    }
    QStringList events;
    QStringList errors;
};

QStringList expectedPages(int count, const QString& end = QStringLiteral("complete")) {
    QStringList list;
    for (int i = 1; i <= count; ++i)
        list << QStringLiteral("page %1").arg(i);
    list << end;
    return list;
}

QString numberedWords(int count) {
    QStringList paragraphs;
    QStringList words;
    for (int i = 1; i <= count; ++i) {
        words << QStringLiteral("w%1").arg(i, 5, 10, QLatin1Char('0'));
        if (i % 97 == 0) {
            paragraphs << words.join(u' ');
            words.clear();
        }
    }
    paragraphs << words.join(u' ');
    return paragraphs.join(QStringLiteral("\r\n"));
}

QStringList pdfWords(const QString& text) {
    static const QRegularExpression word(QStringLiteral("w\\d{5}"));
    QStringList list;
    for (auto it = word.globalMatch(text); it.hasNext();)
        list << it.next().captured();
    return list;
}

} // namespace

class TestZendrik : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void defaultsAndKeptValues();
    void refusedValues_data();
    void refusedValues();
    void setMemberByNameAndId_data();
    void setMemberByNameAndId();
    void memberChangedReportsEveryPutInOrder();
    void fontObjectIsTheComponentsOwn();
    void designTimePropertiesAreTakenOn();
    void printersEndWithSaveAsPdf();

    void eventsArriveInOrderAfterPrintDocReturns();
    void pageSizes_data();
    void pageSizes();
    void everyBodyWordOnceAndInOrder();
    void extractedTextKeepsWordBreaks_data();
    void extractedTextKeepsWordBreaks();
    void fileNamesNeverOverwrite();
    void ligaturesExtractAsTheirLetters();
    void documentFiles_data();
    void documentFiles();
    void queuedJobsKeepTheirOwnSnapshot();
    void destructionReturnsAtOnceAndThePrintsComplete();
    void cancelEndsTheRunningAndTheQueuedJobs();
    void errors_data();
    void errors();
    void failureHalfwayLeavesNoFile();

private:
    QStringList folderEntries() const;
    std::unique_ptr<QTemporaryDir> dir_;
};

void TestZendrik::init() {
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    qputenv("ZENDRIK_PDF_DIR", dir_->path().toLocal8Bit());
}

void TestZendrik::cleanup() {
    qunsetenv("ZENDRIK_PDF_DIR");
    dir_.reset();
}

QStringList TestZendrik::folderEntries() const {
    return QDir(dir_->path()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

void TestZendrik::defaultsAndKeptValues() {
    Zendrik z;
    QCOMPARE(z.PaperSize(), 9);
    QCOMPARE(z.Orientation(), 1);
    QCOMPARE(z.PaperBin(), 7);
    QCOMPARE(z.PrintQuality(), 3);
    QCOMPARE(z.Copies(), qint16(1));
    QCOMPARE(z.MarginLeft(), qint16(1440));
    QVERIFY(!z.PrintPageNumbers());

    z.setDocTitle(QStringLiteral("Kept"));
    z.setPaperSize(1);
    z.setMarginTop(20);
    z.setLineSpacing(0);
    z.DocTextFont().setSize(QStringLiteral("12"));
    z.PrintDoc();
    QVERIFY(z.waitForIdle(60000));
    QCOMPARE(z.DocTitle(), QStringLiteral("Kept"));
    QCOMPARE(z.PaperSize(), 1);
    QCOMPARE(z.MarginTop(), qint16(20));
    QCOMPARE(z.LineSpacing(), 0);
    QCOMPARE(z.DocTextFont().Size(), 12.0);
}

void TestZendrik::refusedValues_data() {
    QTest::addColumn<QString>("member");
    QTest::addColumn<QVariant>("value");
    QTest::newRow("PaperSize 0") << "PaperSize" << QVariant(0);
    QTest::newRow("PaperSize 42") << "PaperSize" << QVariant(42);
    QTest::newRow("PaperBin 13") << "PaperBin" << QVariant(13);
    QTest::newRow("PaperBin 0") << "PaperBin" << QVariant(0);
    QTest::newRow("Orientation 3") << "Orientation" << QVariant(3);
    QTest::newRow("PrintQuality 5") << "PrintQuality" << QVariant(5);
    QTest::newRow("PrintQuality 0") << "PrintQuality" << QVariant(0);
    QTest::newRow("Copies 0") << "Copies" << QVariant(0);
    QTest::newRow("LineSpacing 4") << "LineSpacing" << QVariant(4);
    QTest::newRow("LineSpacing -1") << "LineSpacing" << QVariant(-1);
    QTest::newRow("MarginLeft 40000") << "MarginLeft" << QVariant(40000);
    QTest::newRow("MarginTop -1") << "MarginTop" << QVariant(-1);
    QTest::newRow("PaperSize unknown name") << "PaperSize" << QVariant(QStringLiteral("A44"));
    QTest::newRow("PaperBin name of a paper") << "PaperBin" << QVariant(QStringLiteral("A4"));
    QTest::newRow("PrintMode 2") << "PrintMode" << QVariant(2);
    QTest::newRow("DrawBorder maybe") << "DrawBorder" << QVariant(QStringLiteral("maybe"));
    QTest::newRow("size not a number") << "DocTextFont.Size" << QVariant(QStringLiteral("big"));
    QTest::newRow("size zero") << "DocTitleFont.Size" << QVariant(QStringLiteral("0"));
    QTest::newRow("size negative") << "DocHeaderFont.Size" << QVariant(QStringLiteral("-8"));
    QTest::newRow("size below a point") << "DocFooterFont.Size" << QVariant(QStringLiteral("0.99"));
    QTest::newRow("unknown member") << "PaperColour" << QVariant(1);
}

void TestZendrik::refusedValues() {
    QFETCH(QString, member);
    QFETCH(QVariant, value);
    Zendrik z;
    const QVariant before = z.member(member);
    QSignalSpy changes(&z, &Zendrik::memberChanged);
    try {
        z.setMember(member, value);
        QFAIL("the value was taken");
    } catch (const RefusedValue& e) {
        const QString what = QString::fromStdString(e.what());
        QVERIFY2(what.contains(member), qPrintable(what));
        QVERIFY2(what.contains(value.toString()), qPrintable(what));
        if (memberByName(member))
            QVERIFY2(what.contains(QLatin1String("accepted")), qPrintable(what));
    }
    QCOMPARE(z.member(member), before);
    QCOMPARE(changes.count(), 0);
}

void TestZendrik::setMemberByNameAndId_data() {
    QTest::addColumn<QString>("member");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QVariant>("stored");
    QTest::newRow("PaperSize text") << "PaperSize" << QVariant(QStringLiteral("41")) << QVariant(41);
    QTest::newRow("PaperSize by name") << "PaperSize" << QVariant(QStringLiteral("a4")) << QVariant(9);
    QTest::newRow("PaperBin by name") << "PaperBin" << QVariant(QStringLiteral("Manual")) << QVariant(4);
    QTest::newRow("Orientation by name") << "Orientation" << QVariant(QStringLiteral("Landscape")) << QVariant(2);
    QTest::newRow("PrintQuality by name") << "PrintQuality" << QVariant(QStringLiteral("high")) << QVariant(4);
    QTest::newRow("LineSpacing by name") << "LineSpacing" << QVariant(QStringLiteral("1.5 Lines")) << QVariant(2);
    QTest::newRow("Copies") << "Copies" << QVariant(10) << QVariant(qint16(10));
    QTest::newRow("boolean -1") << "DrawBorder" << QVariant(QStringLiteral("-1")) << QVariant(true);
    QTest::newRow("boolean true") << "PrintPageNumbers" << QVariant(QStringLiteral("true")) << QVariant(true);
    QTest::newRow("boolean 0") << "LineAboveFooter" << QVariant(QStringLiteral("0")) << QVariant(false);
    QTest::newRow("margin 0") << "MarginRight" << QVariant(QStringLiteral("0")) << QVariant(qint16(0));
    QTest::newRow("font size text") << "DocTitleFont.Size" << QVariant(QStringLiteral("8.25")) << QVariant(8.25);
    QTest::newRow("font bold") << "DocFooterFont.Bold" << QVariant(QStringLiteral("true")) << QVariant(true);
    QTest::newRow("font name") << "DocTextFont.Name" << QVariant(QStringLiteral("DejaVu Serif"))
                               << QVariant(QStringLiteral("DejaVu Serif"));
}

void TestZendrik::setMemberByNameAndId() {
    QFETCH(QString, member);
    QFETCH(QVariant, value);
    QFETCH(QVariant, stored);
    Zendrik byName;
    byName.setMember(member, value);
    QCOMPARE(byName.member(member), stored);
    if (!member.contains(u'.')) {
        Zendrik byId;
        byId.setMember(memberByName(member)->id, value);
        QCOMPARE(byId.member(member), stored);
    }
}

void TestZendrik::memberChangedReportsEveryPutInOrder() {
    Zendrik z;
    QSignalSpy spy(&z, &Zendrik::memberChanged);
    z.setPrintQuality(3);
    z.DocTitleFont().setName(QStringLiteral("Tahoma"));
    z.DocTitleFont().setSize(QStringLiteral("20"));
    z.DocTitleFont().setBold(false);
    z.setLineSpacing(1);
    z.setPrintQuality(3);
    z.setMember(QStringLiteral("DocFooterFont.Underline"), QStringLiteral("true"));
    QCOMPARE(spy.count(), 7);
    const QList<QPair<quint32, int>> expected{{MemberId::PrintQuality, -1},
                                              {MemberId::DocTitleFont, int(FontMember::Name)},
                                              {MemberId::DocTitleFont, int(FontMember::Size)},
                                              {MemberId::DocTitleFont, int(FontMember::Bold)},
                                              {MemberId::LineSpacing, -1},
                                              {MemberId::PrintQuality, -1},
                                              {MemberId::DocFooterFont, int(FontMember::Underline)}};
    for (int i = 0; i < spy.count(); ++i) {
        QCOMPARE(spy[i][0].value<quint32>(), expected[i].first);
        QCOMPARE(spy[i][1].toInt(), expected[i].second);
    }
    QCOMPARE(spy[2][2].toString(), QStringLiteral("20"));
}

void TestZendrik::fontObjectIsTheComponentsOwn() {
    Zendrik z;
    QCOMPARE(&z.DocTextFont(), &z.DocTextFont());
    QVERIFY(&z.DocTextFont() != &z.DocTitleFont());
    ZendrikFont& body = z.DocTextFont();
    body.setSize(QStringLiteral("11"));
    body.setItalic(true);
    QCOMPARE(z.member(QStringLiteral("DocTextFont.Size")).toDouble(), 11.0);
    QCOMPARE(z.member(QStringLiteral("DocTextFont.Italic")).toBool(), true);
    QCOMPARE(z.member(QStringLiteral("DocTitleFont.Italic")).toBool(), false);
}

void TestZendrik::designTimePropertiesAreTakenOn() {
    const DesignTimeProperties stored{926,
                                      926,
                                      StoredFont{QStringLiteral("Tahoma"), 9.75},
                                      StoredFont{QStringLiteral("Tahoma"), 8.25},
                                      StoredFont{QStringLiteral("Tahoma"), 8.5, 700, true, true},
                                      StoredFont{QStringLiteral("Verdana"), 15.75}};
    Zendrik z(stored);
    QCOMPARE(z.DocTextFont().Name(), QStringLiteral("Tahoma"));
    QCOMPARE(z.DocTextFont().Size(), 9.75);
    QCOMPARE(z.DocHeaderFont().Size(), 8.25);
    QCOMPARE(z.DocFooterFont().Size(), 8.5);
    QVERIFY(z.DocFooterFont().Bold() && z.DocFooterFont().Italic() && z.DocFooterFont().Underline());
    QCOMPARE(z.DocTitleFont().Name(), QStringLiteral("Verdana"));
    QCOMPARE(z.DocTitleFont().Size(), 15.75);
    QVERIFY(!z.DocTitleFont().Bold());
    const auto keys = stored.keyValues();
    QCOMPARE(keys.size(), 6);
    QCOMPARE(keys[0].first, QStringLiteral("_extentx"));
    QCOMPARE(keys[2], qMakePair(QStringLiteral("doctextfont"), QStringLiteral("Tahoma,9.75,400,0,0,0,0")));
    QCOMPARE(keys[4], qMakePair(QStringLiteral("docfooterfont"), QStringLiteral("Tahoma,8.5,700,1,1,0,0")));
    QCOMPARE(keys[5].first, QStringLiteral("doctitlefont"));
}

void TestZendrik::printersEndWithSaveAsPdf() {
    Zendrik z;
    qint16 count = 0;
    const QStringList names = z.GetPrinters(count);
    QCOMPARE(int(count), int(names.size()));
    QCOMPARE(names.last(), QStringLiteral("Save as PDF"));
    QVERIFY(names.contains(z.defaultPrinter()));
}

void TestZendrik::eventsArriveInOrderAfterPrintDocReturns() {
    Zendrik z;
    EventLog log(z);
    QSignalSpy requested(&z, &Zendrik::printRequested);
    z.setDocTitle(QStringLiteral("Events"));
    z.setDocText(numberedWords(2500));
    z.setPrintPageNumbers(true);
    z.PrintDoc(QStringLiteral("Save as PDF"));
    QVERIFY(log.events.isEmpty());
    QCOMPARE(z.pendingJobs(), 1);
    QCOMPARE(requested.count(), 1);
    QCOMPARE(requested[0][0].toString(), QStringLiteral("Save as PDF"));
    QVERIFY(z.waitForIdle(60000));
    const pdftools::Info info = pdftools::info(dir_->filePath(QStringLiteral("Events.pdf")));
    QVERIFY(info.ok);
    QVERIFY(info.pages >= 3);
    QCOMPARE(log.events, expectedPages(info.pages));
    QCOMPARE(z.pendingJobs(), 0);
    QVERIFY(pdftools::text(dir_->filePath(QStringLiteral("Events.pdf")), info.pages)
                .contains(QStringLiteral("Page %1 of %1").arg(info.pages)));
}

void TestZendrik::pageSizes_data() {
    QTest::addColumn<int>("paper");
    QTest::addColumn<int>("orientation");
    QTest::addColumn<QSizeF>("size");
    QTest::newRow("A4 portrait") << 9 << 1 << QSizeF(595, 842);
    QTest::newRow("Letter portrait") << 1 << 1 << QSizeF(612, 792);
    QTest::newRow("A4 landscape") << 9 << 2 << QSizeF(842, 595);
    QTest::newRow("Letter landscape") << 1 << 2 << QSizeF(792, 612);
    QTest::newRow("Legal") << 5 << 1 << QSizeF(612, 1008);
}

void TestZendrik::pageSizes() {
    QFETCH(int, paper);
    QFETCH(int, orientation);
    QFETCH(QSizeF, size);
    Zendrik z;
    EventLog log(z);
    z.setDocTitle(QStringLiteral("Size test"));
    z.setDocText(QStringLiteral("Some text"));
    z.setPaperSize(paper);
    z.setOrientation(orientation);
    z.PrintDoc(QStringLiteral("Save as PDF"));
    QVERIFY(z.waitForIdle(60000));
    QCOMPARE(log.events, expectedPages(1));
    const pdftools::Info info = pdftools::info(dir_->filePath(QStringLiteral("Size test.pdf")));
    QVERIFY(info.ok);
    QCOMPARE(qRound(info.pageSize.width()), qRound(size.width()));
    QCOMPARE(qRound(info.pageSize.height()), qRound(size.height()));
    QCOMPARE(info.title, QStringLiteral("Size test"));
}

void TestZendrik::everyBodyWordOnceAndInOrder() {
    Zendrik z;
    EventLog log(z);
    const QString text = numberedWords(3000);
    z.setDocTitle(QStringLiteral("Words"));
    z.setDocText(text);
    z.setDocHeader(QStringLiteral("Header"));
    z.setDocFooter(QStringLiteral("Footer"));
    z.DocTextFont().setName(QStringLiteral("DejaVu Serif"));
    z.DocTextFont().setUnderline(true);
    z.setDrawBorder(true);
    z.PrintDoc(QStringLiteral("Save as PDF"));
    QVERIFY(z.waitForIdle(60000));
    QCOMPARE(log.events.last(), QStringLiteral("complete"));
    const QString pdf = dir_->filePath(QStringLiteral("Words.pdf"));
    QCOMPARE(pdfWords(pdftools::text(pdf)), pdfWords(text));
    const QStringList fonts = pdftools::fonts(pdf);
    QVERIFY(!fonts.isEmpty());
    for (const QString& font : fonts)
        QVERIFY2(font.contains(QLatin1String(" yes ")), qPrintable(font));
    QVERIFY(fonts.join(u'\n').contains(QLatin1String("DejaVuSerif")));
}

// Space glyphs are left out of the PDF where nothing is drawn for them: readers must still find
// every word break, with and without underline, at every font size.
void TestZendrik::extractedTextKeepsWordBreaks_data() {
    QTest::addColumn<QString>("size");
    QTest::addColumn<bool>("underline");
    QTest::newRow("10 pt") << "10" << false;
    QTest::newRow("10 pt underlined") << "10" << true;
    QTest::newRow("6 pt") << "6" << false;
    QTest::newRow("24 pt") << "24" << false;
}

void TestZendrik::extractedTextKeepsWordBreaks() {
    QFETCH(QString, size);
    QFETCH(bool, underline);
    QStringList words;
    static const char* const vocabulary[] = {"a",     "I",       "of",   "tie",     "wolf",
                                             "jiffy", "illicit", "mmmm", "quantum", "x,"};
    for (int i = 0; i < 600; ++i)
        words << QString::fromLatin1(vocabulary[(i * 7 + i / 10) % 10]);
    Zendrik z;
    z.setDocTitle(QStringLiteral("Breaks"));
    z.setDocText(words.join(u' '));
    z.DocTextFont().setName(QStringLiteral("DejaVu Sans"));
    z.DocTextFont().setSize(size);
    z.DocTextFont().setUnderline(underline);
    z.PrintDoc(QStringLiteral("Save as PDF"));
    QVERIFY(z.waitForIdle(60000));
    QStringList extracted = pdftools::text(dir_->filePath(QStringLiteral("Breaks.pdf")))
                                .split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
    QVERIFY(!extracted.isEmpty());
    QCOMPARE(extracted.takeFirst(), QStringLiteral("Breaks"));
    QCOMPARE(extracted, words);
}

void TestZendrik::fileNamesNeverOverwrite() {
    Zendrik z;
    z.setDocText(QStringLiteral("text"));
    z.setDocTitle(QStringLiteral("a/b:c*?"));
    for (int i = 0; i < 3; ++i)
        z.PrintDoc(QStringLiteral("Save as PDF"));
    z.setDocTitle(QString());
    z.PrintDoc(QStringLiteral("Save as PDF"));
    QVERIFY(z.waitForIdle(60000));
    QCOMPARE(folderEntries(), (QStringList{"Untitled.pdf", "a_b_c__ (2).pdf", "a_b_c__ (3).pdf", "a_b_c__.pdf"}));
    // An ordinary file, not the private temporary it was written as.
    QVERIFY(QFileInfo(dir_->filePath(QStringLiteral("Untitled.pdf"))).permissions() & QFileDevice::ReadOther);
}

void TestZendrik::ligaturesExtractAsTheirLetters() {
    Zendrik z;
    z.setDocTitle(QStringLiteral("Ligatures"));
    z.setDocText(QStringLiteral("The first office workflow affords efficient filing."));
    // DejaVu Sans forms fi, ffi and fl ligatures.
    z.DocTextFont().setName(QStringLiteral("DejaVu Sans"));
    z.PrintDoc(QStringLiteral("Save as PDF"));
    QVERIFY(z.waitForIdle(60000));
    const QString text = pdftools::text(dir_->filePath(QStringLiteral("Ligatures.pdf")));
    QVERIFY2(text.contains(QLatin1String("The first office workflow affords efficient filing.")), qPrintable(text));
}

void TestZendrik::documentFiles_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("allData");
    QTest::addColumn<QString>("pdfName");
    QTest::addColumn<QString>("title");
    const QString data = qEnvironmentVariable("ZENDRIK_DATA_DIR");
    QTest::newRow("Demo1 whole document")
        << data + "/Demo1.txt" << true << "Zendrik_ Printing Documents with Orvanel.pdf"
        << "Zendrik: Printing Documents with Orvanel";
    QTest::newRow("Demo1 as body") << data + "/Demo1.txt" << false << "Members title.pdf"
                                   << "Members title";
    QTest::newRow("Demo2 whole document") << data + "/Demo2.txt" << true << "Untitled.pdf"
                                          << "";
    QTest::newRow("Demo2 body") << data + "/Demo2.txt" << false << "Members title.pdf"
                                << "Members title";
}

void TestZendrik::documentFiles() {
    QFETCH(QString, file);
    QFETCH(bool, allData);
    QFETCH(QString, pdfName);
    QFETCH(QString, title);
    Zendrik z;
    EventLog log(z);
    z.setDocTitle(QStringLiteral("Members title"));
    z.setDocHeader(QStringLiteral("Members header"));
    z.setDocText(QStringLiteral("members body, not printed"));
    z.setDocFile(file);
    z.setDocFileAllData(allData);
    z.DocTextFont().setSize(10.0);
    z.PrintDoc(QStringLiteral("Save as PDF"));
    QVERIFY(z.waitForIdle(60000));
    QCOMPARE(log.events.last(), QStringLiteral("complete"));
    const QString pdf = dir_->filePath(pdfName);
    const pdftools::Info info = pdftools::info(pdf);
    QVERIFY2(info.ok, qPrintable(folderEntries().join(", ")));
    QVERIFY(info.pages >= 3);
    QCOMPARE(info.title, title);
    const QString text = pdftools::text(pdf);
    QVERIFY(!text.contains(QLatin1String("members body")));
    QCOMPARE(text.contains(QLatin1String("@title Zendrik")), !allData && file.endsWith(QLatin1String("Demo1.txt")));
    QCOMPARE(text.contains(QLatin1String("Members header")), !allData);
}

void TestZendrik::queuedJobsKeepTheirOwnSnapshot() {
    Zendrik z;
    EventLog log(z);
    z.setDocText(numberedWords(2000));
    z.setDocTitle(QStringLiteral("First"));
    z.PrintDoc(QStringLiteral("Save as PDF"));
    z.setDocTitle(QStringLiteral("Second"));
    z.setDocText(QStringLiteral("short"));
    z.PrintDoc(QStringLiteral("Save as PDF"));
    z.setDocTitle(QStringLiteral("Third"));
    z.setDocFile(dir_->filePath(QStringLiteral("missing.txt")));
    z.PrintDoc(QStringLiteral("Save as PDF"));
    QCOMPARE(z.pendingJobs(), 3);
    QVERIFY(z.waitForIdle(120000));
    const int first = pdftools::info(dir_->filePath(QStringLiteral("First.pdf"))).pages;
    QVERIFY(first >= 2);
    QCOMPARE(pdftools::info(dir_->filePath(QStringLiteral("Second.pdf"))).pages, 1);
    QCOMPARE(log.events, expectedPages(first) + expectedPages(1) + QStringList{QStringLiteral("error 1")});
    QCOMPARE(folderEntries(), (QStringList{"First.pdf", "Second.pdf"}));
}

void TestZendrik::destructionReturnsAtOnceAndThePrintsComplete() {
    auto z = std::make_unique<Zendrik>();
    QSignalSpy pages(z.get(), &Zendrik::PrintingPage);
    z->setDocText(numberedWords(200000));
    z->setDocTitle(QStringLiteral("One"));
    z->PrintDoc(QStringLiteral("Save as PDF"));
    z->setDocTitle(QStringLiteral("Two"));
    z->setDocText(QStringLiteral("short"));
    z->PrintDoc(QStringLiteral("Save as PDF"));
    QVERIFY(pages.wait(60000));

    QElapsedTimer clock;
    clock.start();
    z.reset();
    QVERIFY2(clock.elapsed() < 100, qPrintable(QStringLiteral("%1 ms").arg(clock.elapsed())));
    QVERIFY(!QFileInfo::exists(dir_->filePath(QStringLiteral("One.pdf"))));
    // The user's prints still complete.
    QTRY_COMPARE_WITH_TIMEOUT(folderEntries(), (QStringList{"One.pdf", "Two.pdf"}), 120000);
    QCOMPARE(pdfWords(pdftools::text(dir_->filePath(QStringLiteral("One.pdf")))).size(), 200000);
    QVERIFY(pdftools::info(dir_->filePath(QStringLiteral("Two.pdf"))).ok);
}

void TestZendrik::cancelEndsTheRunningAndTheQueuedJobs() {
    Zendrik z;
    EventLog log(z);
    QSignalSpy pages(&z, &Zendrik::PrintingPage);
    z.setDocText(numberedWords(200000));
    z.setDocTitle(QStringLiteral("Long"));
    z.PrintDoc(QStringLiteral("Save as PDF"));
    z.setDocTitle(QStringLiteral("Queued"));
    z.PrintDoc(QStringLiteral("Save as PDF"));
    QVERIFY(pages.wait(60000));

    QSignalSpy errors(&z, &Zendrik::PrintError);
    QElapsedTimer clock;
    clock.start();
    z.CancelDoc();
    QVERIFY(errors.wait(10000));
    qInfo("the running job ended %lld ms after CancelDoc", clock.elapsed());
    QVERIFY(z.waitForIdle(10000));
    const QString cancelled = QStringLiteral("error %1").arg(int(ErrorCode::Cancelled));
    QCOMPARE(log.events.mid(log.events.size() - 2), (QStringList{cancelled, cancelled}));
    QVERIFY(log.events.size() < 500);
    QCOMPARE(folderEntries(), QStringList{});

    // Cancelling ends those jobs, not the component.
    z.setDocText(QStringLiteral("after"));
    z.setDocTitle(QStringLiteral("After"));
    z.PrintDoc(QStringLiteral("Save as PDF"));
    QVERIFY(z.waitForIdle(60000));
    QCOMPARE(log.events.last(), QStringLiteral("complete"));
    QCOMPARE(folderEntries(), QStringList{QStringLiteral("After.pdf")});
}

void TestZendrik::errors_data() {
    QTest::addColumn<QString>("docFile");
    QTest::addColumn<int>("marginLeft");
    QTest::addColumn<QString>("printer");
    QTest::addColumn<QString>("pdfDir");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("mentions");
    const QString missing = QDir::tempPath() + "/zendrik-no-such-file.txt";
    QTest::newRow("missing file") << missing << 1440 << "Save as PDF"
                                  << "" << int(ErrorCode::DocumentUnreadable) << "No such file or directory";
    QTest::newRow("directory") << QDir::tempPath() << 1440 << "Save as PDF"
                               << "" << int(ErrorCode::DocumentUnreadable) << "Is a directory";
    QTest::newRow("binary file") << "BINARY" << 1440 << "Save as PDF"
                                 << "" << int(ErrorCode::DocumentUnreadable) << "binary";
    QTest::newRow("no room") << "" << 12000 << "Save as PDF"
                             << "" << int(ErrorCode::NoRoomForBody) << "no room";
    QTest::newRow("unknown printer") << "" << 1440 << "No Such Printer"
                                     << "" << int(ErrorCode::UnknownPrinter) << "No Such Printer";
    QTest::newRow("pdf folder missing") << "" << 1440 << "Save as PDF"
                                        << "/nonexistent/zendrik" << int(ErrorCode::OutputFailed)
                                        << "/nonexistent/zendrik";
    QTest::newRow("pdf folder unwritable") << "" << 1440 << "Save as PDF"
                                           << "UNWRITABLE" << int(ErrorCode::OutputFailed) << "";
}

void TestZendrik::errors() {
    QFETCH(QString, docFile);
    QFETCH(int, marginLeft);
    QFETCH(QString, printer);
    QFETCH(QString, pdfDir);
    QFETCH(int, code);
    QFETCH(QString, mentions);
    if (docFile == QLatin1String("BINARY")) {
        docFile = dir_->filePath(QStringLiteral("binary.dat"));
        QFile f(docFile);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray("\x7F"
                           "ELF\x02\x01\x01\0\0\0\0\0",
                           12));
    }
    QString folder = dir_->path();
    if (pdfDir == QLatin1String("UNWRITABLE")) {
        // Root writes anywhere it has permission bits for; /proc refuses new files to everyone.
        if (getuid() == 0) {
            folder = QStringLiteral("/proc");
        } else {
            folder = dir_->filePath(QStringLiteral("locked"));
            QVERIFY(QDir().mkpath(folder));
            QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        }
        mentions = folder;
    } else if (!pdfDir.isEmpty()) {
        folder = pdfDir;
    }
    qputenv("ZENDRIK_PDF_DIR", folder.toLocal8Bit());

    Zendrik z;
    EventLog log(z);
    z.setDocTitle(QStringLiteral("Failing"));
    z.setDocText(QStringLiteral("body"));
    z.setDocFile(docFile);
    z.setMarginLeft(static_cast<qint16>(marginLeft));
    z.PrintDoc(printer);
    QVERIFY(z.waitForIdle(60000));
    QCOMPARE(log.events, QStringList{QStringLiteral("error %1").arg(code)});
    QVERIFY2(log.errors.first().contains(mentions), qPrintable(log.errors.first()));
    const QStringList left =
        QDir(folder).entryList({QStringLiteral("*.pdf*"), QStringLiteral(".zendrik*")}, QDir::Files | QDir::Hidden);
    QVERIFY2(left.isEmpty(), qPrintable(left.join(", ")));
}

void TestZendrik::failureHalfwayLeavesNoFile() {
    // A NUL far into the file is found only after pages have been written.
    const QString path = dir_->filePath(QStringLiteral("late-binary.txt"));
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(numberedWords(30000).toUtf8());
        f.write(QByteArray(1, '\0'));
        f.write(numberedWords(100).toUtf8());
    }
    Zendrik z;
    EventLog log(z);
    z.setDocTitle(QStringLiteral("Halfway"));
    z.setDocFile(path);
    z.PrintDoc(QStringLiteral("Save as PDF"));
    QVERIFY(z.waitForIdle(60000));
    QVERIFY(log.events.size() > 1);
    QCOMPARE(log.events.first(), QStringLiteral("page 1"));
    QCOMPARE(log.events.last(), QStringLiteral("error 1"));
    QVERIFY(log.errors.first().contains(QLatin1String("binary")));
    QCOMPARE(folderEntries(), QStringList{QStringLiteral("late-binary.txt")});
}

QTEST_MAIN(TestZendrik)
#include "tst_zendrik.moc"
