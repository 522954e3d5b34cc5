// Printing from the advanced window: what ApplySettings and "Print Document" send to the window's
// print component and in which order, the margin check, the print events, the hand-over between
// the windows, and real prints to PDF through the whole chain.

#include "advancedwindowfixture.h"

#include "FormStart/FormStart.h"
#include "FormStatus/FormStatus.h"
#include <zendrik/members.h>
#include <zendrik/zendrik.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>

#include <cmath>

using namespace demo;
namespace Id = zendrik::MemberId;

namespace {

// One put as the component reports it.
struct Sent {
    quint32 id;
    int font; // the font sub-member, -1 for a plain member
    QString value;
    friend bool operator==(const Sent&, const Sent&) = default;
};

QList<Sent> sent(const QSignalSpy& spy) {
    QList<Sent> puts;
    for (const QList<QVariant>& call : spy) {
        puts.append({call.at(0).toUInt(), call.at(1).toInt(), call.at(2).toString()});
    }
    return puts;
}

// Lets QCOMPARE show a differing put.
char* toString(const Sent& put) {
    return qstrdup(qPrintable(QStringLiteral("%1/%2=%3").arg(put.id, 0, 16).arg(put.font).arg(put.value)));
}

QList<Sent> font(quint32 member, const QString& name, const QString& size, bool bold, bool italic, bool underline) {
    const auto flag = [](bool on) { return on ? QStringLiteral("true") : QStringLiteral("false"); };
    return {{member, 0, name},
            {member, 2, size},
            {member, 3, flag(bold)},
            {member, 4, flag(italic)},
            {member, 5, flag(underline)}};
}

// What the window sends with every control as its load step leaves it.
QList<Sent> defaultSettings() {
    QList<Sent> puts = {{Id::PrintQuality, -1, "3"},
                        {Id::PaperSize, -1, "9"},
                        {Id::Orientation, -1, "1"},
                        {Id::PaperBin, -1, "7"},
                        {Id::Copies, -1, "1"}};
    puts += font(Id::DocTitleFont, "Verdana", "20", true, false, false);
    puts += font(Id::DocTextFont, "Verdana", "10", false, false, false);
    puts += Sent{Id::LineSpacing, -1, "1"};
    puts += font(Id::DocHeaderFont, "Verdana", "8", false, false, false);
    puts += font(Id::DocFooterFont, "Verdana", "8", false, true, false);
    puts += {{Id::PrintPageNumbers, -1, "false"}, {Id::PrintDateTime, -1, "true"},
             {Id::DrawBorder, -1, "false"},       {Id::LineBelowHeader, -1, "true"},
             {Id::LineAboveFooter, -1, "true"},   {Id::MarginLeft, -1, "1440"},
             {Id::MarginRight, -1, "1440"},       {Id::MarginTop, -1, "1440"},
             {Id::MarginBottom, -1, "1440"},      {Id::PrintMode, -1, "1"}};
    return puts;
}

// The value sent last for a member (and font sub-member).
QString lastSent(const QSignalSpy& spy, quint32 id, int fontMember = -1) {
    QString value = QStringLiteral("<not sent>");
    for (const Sent& put : sent(spy)) {
        if (put.id == id && put.font == fontMember) {
            value = put.value;
        }
    }
    return value;
}

FormMain& formMain() {
    return window<FormMain>();
}

template <class W> W* mainControl(const char* name) {
    return fixture::find<W>(formMain(), QString::fromLatin1(name));
}

QString pdfText(const QString& path) {
    QProcess process;
    process.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), path, QStringLiteral("-")});
    process.waitForFinished(30000);
    return QString::fromUtf8(process.readAllStandardOutput());
}

QString pdfInfo(const QString& path) {
    QProcess process;
    process.start(QStringLiteral("pdfinfo"), {path});
    process.waitForFinished(30000);
    return QString::fromUtf8(process.readAllStandardOutput());
}

QString readDataFile(const QString& name) {
    QFile file(applicationFile(name));
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return QString::fromUtf8(file.readAll());
}

} // namespace

class TestFormMainPrint : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase() { fixture::reset(); }

    void defaultsInOrder();
    void listChoices_data();
    void listChoices();
    void printerChoice();
    void fontChoice();
    void checkBoxes_data();
    void checkBoxes();
    void margins_data();
    void margins();
    void unusableMargins_data();
    void unusableMargins();
    void unusableMarginPrintsNothing();

    void printCases_data();
    void printCases();
    void enterOnPrintDocumentPrints();
    void pagesPaintedAtOnce();
    void oddPageNumbers();
    void printComplete();
    void printError();
    void latePrintComplete();
    void latePage();
    void closingProgressBringsMainBack_data();
    void closingProgressBringsMainBack();
    void exitShowsStart();
    void closeBoxOfMainEndsApplication();

    void pdfThroughTheWindows_data();
    void pdfThroughTheWindows();

private:
    void clickPrintAndWait();
    QTemporaryDir pdfDir_;
};

void TestFormMainPrint::initTestCase() {
    fixture::prepare();
    QVERIFY(pdfDir_.isValid());
    qputenv(zendrik::kPdfDirEnv, QFile::encodeName(pdfDir_.path()));
}

void TestFormMainPrint::init() {
    fixture::reset();
    QLocale::setDefault(QLocale::c());
    // Verdana at 2, so every font list starts on it.
    FormMain::setFontFamilySource([] { return QStringList{"DejaVu Sans", "DejaVu Serif", "Verdana", "Tahoma "}; });
    FormMain::setPrinterSource([](qint16& count) {
        count = 3;
        return QStringList{"A", "B", "C"};
    });
    QDir(pdfDir_.path()).removeRecursively();
    QDir().mkpath(pdfDir_.path());
}

// Clicks "Print Document" and waits for the job's outcome.
void TestFormMainPrint::clickPrintAndWait() {
    zendrik::Zendrik* component = formMain().Zendrik1();
    QSignalSpy complete(component, &zendrik::Zendrik::PrintComplete);
    QSignalSpy error(component, &zendrik::Zendrik::PrintError);
    QTest::mouseClick(mainControl<QPushButton>("Command1"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(complete.size() + error.size() == 1, 60000);
    QVERIFY2(error.isEmpty(), error.isEmpty() ? "" : qPrintable(error.first().at(1).toString()));
}

void TestFormMainPrint::defaultsInOrder() {
    QSignalSpy spy(formMain().Zendrik1(), &zendrik::Zendrik::memberChanged);
    QVERIFY(formMain().ApplySettings());
    QCOMPARE(sent(spy), defaultSettings());
    QCOMPARE(formMain().PrinterName(), QString());
    // Sent again in full, changed or not.
    spy.clear();
    QVERIFY(formMain().ApplySettings());
    QCOMPARE(sent(spy), defaultSettings());
}

void TestFormMainPrint::listChoices_data() {
    QTest::addColumn<QString>("list");
    QTest::addColumn<int>("index");
    QTest::addColumn<quint32>("member");
    QTest::addColumn<QString>("expected");
    QTest::newRow("Draft") << "cboPrintQuality" << 1 << Id::PrintQuality << "1";
    QTest::newRow("High") << "cboPrintQuality" << 4 << Id::PrintQuality << "4";
    QTest::newRow("quality, nothing selected") << "cboPrintQuality" << -1 << Id::PrintQuality << "3";
    QTest::newRow("A4") << "cboPaperSize" << 9 << Id::PaperSize << "9";
    QTest::newRow("Letter") << "cboPaperSize" << 1 << Id::PaperSize << "1";
    QTest::newRow("EnvC3 by position") << "cboPaperSize" << 28 << Id::PaperSize << "28";
    QTest::newRow("FanfoldLglGerman") << "cboPaperSize" << 41 << Id::PaperSize << "41";
    QTest::newRow("paper, nothing selected") << "cboPaperSize" << -1 << Id::PaperSize << "9";
    QTest::newRow("Landscape") << "cboOrientation" << 2 << Id::Orientation << "2";
    QTest::newRow("Portrait") << "cboOrientation" << 1 << Id::Orientation << "1";
    QTest::newRow("Upper") << "cboPaperBin" << 1 << Id::PaperBin << "1";
    QTest::newRow("Cassette by position") << "cboPaperBin" << 12 << Id::PaperBin << "12";
    QTest::newRow("bin, nothing selected") << "cboPaperBin" << -1 << Id::PaperBin << "7";
    QTest::newRow("copies 5") << "cboCopies" << 4 << Id::Copies << "5";
    QTest::newRow("copies 10") << "cboCopies" << 9 << Id::Copies << "10";
    QTest::newRow("copies, nothing selected") << "cboCopies" << -1 << Id::Copies << "1";
    QTest::newRow("1.5 Lines") << "cboLineSpacing" << 1 << Id::LineSpacing << "2";
    QTest::newRow("Double") << "cboLineSpacing" << 2 << Id::LineSpacing << "3";
    QTest::newRow("spacing, nothing selected") << "cboLineSpacing" << -1 << Id::LineSpacing << "0";
}

void TestFormMainPrint::listChoices() {
    QFETCH(QString, list);
    QFETCH(int, index);
    QFETCH(quint32, member);
    QFETCH(QString, expected);
    fixture::find<QComboBox>(formMain(), list)->setCurrentIndex(index);
    QSignalSpy spy(formMain().Zendrik1(), &zendrik::Zendrik::memberChanged);
    QVERIFY(formMain().ApplySettings());
    QCOMPARE(lastSent(spy, member), expected);
    QCOMPARE(spy.size(), defaultSettings().size());
}

void TestFormMainPrint::printerChoice() {
    auto* printers = mainControl<QComboBox>("cboPrinter");
    printers->setCurrentIndex(2);
    QVERIFY(formMain().ApplySettings());
    QCOMPARE(formMain().PrinterName(), QStringLiteral("B"));
    printers->setCurrentIndex(0);
    QVERIFY(formMain().ApplySettings());
    QCOMPARE(formMain().PrinterName(), QString());
    printers->setCurrentIndex(3);
    QVERIFY(formMain().ApplySettings());
    printers->setCurrentIndex(-1);
    QVERIFY(formMain().ApplySettings());
    QCOMPARE(formMain().PrinterName(), QString());
}

void TestFormMainPrint::fontChoice() {
    mainControl<QComboBox>("cboTitleFont")->setCurrentIndex(1);
    mainControl<QComboBox>("cboTitleSize")->setCurrentIndex(12);
    mainControl<QComboBox>("cboFooterFont")->setCurrentIndex(3);
    mainControl<QComboBox>("cboFooterSize")->setCurrentIndex(4);
    QSignalSpy spy(formMain().Zendrik1(), &zendrik::Zendrik::memberChanged);
    QVERIFY(formMain().ApplySettings());
    QCOMPARE(sent(spy).mid(5, 5), font(Id::DocTitleFont, "DejaVu Serif", "28", true, false, false));
    QCOMPARE(sent(spy).mid(21, 5), font(Id::DocFooterFont, "Tahoma ", "12", false, true, false));
    QCOMPARE(formMain().Zendrik1()->DocTitleFont().Size(), 28.0);
}

void TestFormMainPrint::checkBoxes_data() {
    QTest::addColumn<QString>("box");
    QTest::addColumn<int>("state");
    QTest::addColumn<quint32>("member");
    QTest::addColumn<int>("fontMember");
    QTest::addColumn<QString>("expected");
    QTest::newRow("page numbers checked") << "Check5" << int(Qt::Checked) << Id::PrintPageNumbers << -1 << "true";
    QTest::newRow("page numbers grayed") << "Check5" << int(Qt::PartiallyChecked) << Id::PrintPageNumbers << -1
                                         << "false";
    QTest::newRow("date cleared") << "Check6" << int(Qt::Unchecked) << Id::PrintDateTime << -1 << "false";
    QTest::newRow("border checked") << "Check7" << int(Qt::Checked) << Id::DrawBorder << -1 << "true";
    QTest::newRow("line below header grayed")
        << "Check8" << int(Qt::PartiallyChecked) << Id::LineBelowHeader << -1 << "false";
    QTest::newRow("line above footer cleared")
        << "Check9" << int(Qt::Unchecked) << Id::LineAboveFooter << -1 << "false";
    QTest::newRow("title bold grayed") << "Check1(0)" << int(Qt::PartiallyChecked) << Id::DocTitleFont << 3 << "false";
    QTest::newRow("body underline") << "Check2(2)" << int(Qt::Checked) << Id::DocTextFont << 5 << "true";
    QTest::newRow("header italic") << "Check3(1)" << int(Qt::Checked) << Id::DocHeaderFont << 4 << "true";
    QTest::newRow("footer bold") << "Check4(0)" << int(Qt::Checked) << Id::DocFooterFont << 3 << "true";
}

void TestFormMainPrint::checkBoxes() {
    QFETCH(QString, box);
    QFETCH(int, state);
    QFETCH(quint32, member);
    QFETCH(int, fontMember);
    QFETCH(QString, expected);
    fixture::find<QCheckBox>(formMain(), box)->setCheckState(static_cast<Qt::CheckState>(state));
    QSignalSpy spy(formMain().Zendrik1(), &zendrik::Zendrik::memberChanged);
    QVERIFY(formMain().ApplySettings());
    QCOMPARE(lastSent(spy, member, fontMember), expected);
}

void TestFormMainPrint::margins_data() {
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("box");
    QTest::addColumn<quint32>("member");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("1440") << "C"
                          << "txtMarginLeft" << Id::MarginLeft << "1440"
                          << "1440";
    QTest::newRow("1440.9 rounds down") << "C"
                                        << "txtMarginRight" << Id::MarginRight << "1440.9"
                                        << "1440";
    QTest::newRow("0.5 rounds down") << "C"
                                     << "txtMarginTop" << Id::MarginTop << "0.5"
                                     << "0";
    QTest::newRow("spaces around") << "C"
                                   << "txtMarginBottom" << Id::MarginBottom << " 720 "
                                   << "720";
    QTest::newRow("lowest") << "C"
                            << "txtMarginLeft" << Id::MarginLeft << "0"
                            << "0";
    QTest::newRow("highest with fraction") << "C"
                                           << "txtMarginLeft" << Id::MarginLeft << "32767.99"
                                           << "32767";
    QTest::newRow("German decimal comma") << "de_DE"
                                          << "txtMarginTop" << Id::MarginTop << "1440,9"
                                          << "1440";
    QTest::newRow("C locale group separator") << "C"
                                              << "txtMarginLeft" << Id::MarginLeft << "1,440"
                                              << "1440";
    QTest::newRow("German group separator") << "de_DE"
                                            << "txtMarginLeft" << Id::MarginLeft << "1.440"
                                            << "1440";
    QTest::newRow("exponent") << "C"
                              << "txtMarginRight" << Id::MarginRight << "1.44e3"
                              << "1440";
}

void TestFormMainPrint::margins() {
    QFETCH(QString, locale);
    QFETCH(QString, box);
    QFETCH(quint32, member);
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QLocale::setDefault(QLocale(locale));
    fixture::find<QLineEdit>(formMain(), box)->setText(text);
    QSignalSpy spy(formMain().Zendrik1(), &zendrik::Zendrik::memberChanged);
    QVERIFY(formMain().ApplySettings());
    QCOMPARE(lastSent(spy, member), expected);
    QCOMPARE(MessageBox::history().size(), 1); // the notice only
}

void TestFormMainPrint::unusableMargins_data() {
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("field");
    QTest::newRow("letters") << "txtMarginLeft"
                             << "abc"
                             << "left margin";
    QTest::newRow("empty") << "txtMarginRight"
                           << ""
                           << "right margin";
    QTest::newRow("blank") << "txtMarginRight"
                           << "   "
                           << "right margin";
    QTest::newRow("40000") << "txtMarginTop"
                           << "40000"
                           << "top margin";
    QTest::newRow("32768") << "txtMarginBottom"
                           << "32768"
                           << "bottom margin";
    QTest::newRow("-0.5 rounds below the range") << "txtMarginBottom"
                                                 << "-0.5"
                                                 << "bottom margin";
    QTest::newRow("-5000") << "txtMarginLeft"
                           << "-5000"
                           << "left margin";
    QTest::newRow("huge") << "txtMarginTop"
                          << "1e300"
                          << "top margin";
    QTest::newRow("infinity") << "txtMarginTop"
                              << "inf"
                              << "top margin";
    QTest::newRow("not a number") << "txtMarginTop"
                                  << "nan"
                                  << "top margin";
    QTest::newRow("units") << "txtMarginLeft"
                           << "1440 twips"
                           << "left margin";
}

void TestFormMainPrint::unusableMargins() {
    QFETCH(QString, box);
    QFETCH(QString, text);
    QFETCH(QString, field);
    mainControl<QComboBox>("cboPrinter")->setCurrentIndex(2);
    QVERIFY(formMain().ApplySettings());
    mainControl<QComboBox>("cboPrinter")->setCurrentIndex(3);
    // The last margin box is checked too: an earlier good box must not let anything through.
    fixture::find<QLineEdit>(formMain(), box)->setText(text);
    MessageBox::clearHistory();

    QSignalSpy spy(formMain().Zendrik1(), &zendrik::Zendrik::memberChanged);
    QVERIFY(!formMain().ApplySettings());
    QCOMPARE(spy.size(), 0);
    QCOMPARE(formMain().PrinterName(), QStringLiteral("B"));
    const QList<MessageRecord> history = MessageBox::history();
    QCOMPARE(history.size(), 1);
    QVERIFY2(history.first().text.contains(field), qPrintable(history.first().text));
    QVERIFY2(history.first().text.contains(QStringLiteral("0 to 32767")), qPrintable(history.first().text));
    QCOMPARE(history.first().style, 48);
    QCOMPARE(history.first().title, QStringLiteral("Orvanel Demo"));
    QCOMPARE(fixture::find<QLineEdit>(formMain(), box)->text(), text);
}

void TestFormMainPrint::unusableMarginPrintsNothing() {
    formMain().showForm();
    mainControl<QLineEdit>("txtMarginBottom")->setText(QStringLiteral("40000"));
    zendrik::Zendrik* component = formMain().Zendrik1();
    QSignalSpy puts(component, &zendrik::Zendrik::memberChanged);
    QSignalSpy prints(component, &zendrik::Zendrik::printRequested);
    QTest::mouseClick(mainControl<QPushButton>("Command1"), Qt::LeftButton);
    fixture::settle();
    QCOMPARE(puts.size(), 0);
    QCOMPARE(prints.size(), 0);
    QVERIFY(formMain().isVisible());
    QVERIFY(!WindowRegistry::instance().exists<FormStatus>());
    QCOMPARE(fixture::endRecorder().ends, 0);
}

void TestFormMainPrint::printCases_data() {
    QTest::addColumn<int>("option");
    QTest::addColumn<QList<Sent>>("document");
    const QString demo1 = applicationFile(QStringLiteral("Demo1.txt"));
    const QString demo2 = applicationFile(QStringLiteral("Demo2.txt"));
    QTest::newRow("text boxes") << 0
                                << QList<Sent>{{Id::DocFile, -1, ""},
                                               {Id::DocTitle, -1, "T"},
                                               {Id::DocText, -1, "line one\r\nline two\r\n\r\nline four"},
                                               {Id::DocHeader, -1, "H"},
                                               {Id::DocFooter, -1, "F"}};
    QTest::newRow("whole document from Demo1.txt")
        << 1 << QList<Sent>{{Id::DocFile, -1, demo1}, {Id::DocFileAllData, -1, "true"}};
    QTest::newRow("body from Demo2.txt") << 2
                                         << QList<Sent>{{Id::DocTitle, -1, "T"},
                                                        {Id::DocHeader, -1, "H"},
                                                        {Id::DocFooter, -1, "F"},
                                                        {Id::DocFile, -1, demo2},
                                                        {Id::DocFileAllData, -1, "false"}};
}

void TestFormMainPrint::printCases() {
    QFETCH(int, option);
    QFETCH(QList<Sent>, document);
    QVERIFY(QFile::exists(applicationFile(QStringLiteral("Demo1.txt"))));
    formMain().showForm();
    mainControl<QLineEdit>("txtTitle")->setText(QStringLiteral("T"));
    mainControl<QPlainTextEdit>("txtText")->setPlainText(QStringLiteral("line one\nline two\n\nline four"));
    mainControl<QLineEdit>("txtHeader")->setText(QStringLiteral("H"));
    mainControl<QLineEdit>("txtFooter")->setText(QStringLiteral("F"));
    fixture::find<QRadioButton>(formMain(), QStringLiteral("Option1(%1)").arg(option))->setChecked(true);

    zendrik::Zendrik* component = formMain().Zendrik1();
    QSignalSpy puts(component, &zendrik::Zendrik::memberChanged);
    QSignalSpy prints(component, &zendrik::Zendrik::printRequested);
    clickPrintAndWait();

    QCOMPARE(sent(puts), defaultSettings() + document);
    QCOMPARE(prints.size(), 1);
    QCOMPARE(prints.first().first().toString(), QString());
    QVERIFY(!formMain().isVisible());
    QVERIFY(formMain().isLoaded());
    QVERIFY(window<FormStatus>().isVisible());
    QCOMPARE(window<FormStatus>().Label1()->text(), QStringLiteral("Print Complete!"));
    QVERIFY(!window<FormStatus>().Timer1()->isActive());
}

void TestFormMainPrint::enterOnPrintDocumentPrints() {
    formMain().showForm();
    QVERIFY(QTest::qWaitForWindowActive(&formMain()));
    QSignalSpy prints(formMain().Zendrik1(), &zendrik::Zendrik::printRequested);
    QSignalSpy complete(formMain().Zendrik1(), &zendrik::Zendrik::PrintComplete);
    QTest::keyClick(mainControl<QPushButton>("Command1"), Qt::Key_Return);
    QCOMPARE(prints.size(), 1);
    QVERIFY(complete.wait(60000));
}

void TestFormMainPrint::pagesPaintedAtOnce() {
    FormStatus& status = window<FormStatus>();
    status.showForm();
    QVERIFY(QTest::qWaitForWindowExposed(&status));
    QLabel* label = status.Label1();
    int paints = 0;
    struct PaintCounter : QObject {
        int& count;
        explicit PaintCounter(int& c) : count(c) {}
        bool eventFilter(QObject*, QEvent* event) override {
            count += event->type() == QEvent::Paint;
            return false;
        }
    } counter(paints);
    label->installEventFilter(&counter);

    zendrik::Zendrik* component = formMain().Zendrik1();
    for (qint32 page : {1, 2, 3}) {
        const int before = paints;
        emit component->PrintingPage(page);
        QCOMPARE(label->text(), QStringLiteral("Now Printing Page: %1").arg(page));
        QVERIFY2(paints > before, "the new text was not painted before the handler returned");
    }
    QCOMPARE(label->size(), label->sizeHint());
    // Centred to the pixel: an odd difference of widths leaves half a pixel either side.
    QVERIFY(std::abs(label->geometry().center().x() - label->parentWidget()->rect().center().x()) <= 1);
    QVERIFY(status.Timer1()->isActive());
    label->removeEventFilter(&counter);
}

void TestFormMainPrint::oddPageNumbers() {
    zendrik::Zendrik* component = formMain().Zendrik1();
    emit component->PrintingPage(0);
    QCOMPARE(window<FormStatus>().Label1()->text(), QStringLiteral("Now Printing Page: 0"));
    emit component->PrintingPage(-12);
    QCOMPARE(window<FormStatus>().Label1()->text(), QStringLiteral("Now Printing Page: -12"));
    emit component->PrintingPage(2147483647);
    QCOMPARE(window<FormStatus>().Label1()->text(), QStringLiteral("Now Printing Page: 2147483647"));
}

void TestFormMainPrint::printComplete() {
    FormStatus& status = window<FormStatus>();
    status.showForm();
    zendrik::Zendrik* component = formMain().Zendrik1();
    emit component->PrintingPage(4);
    emit component->PrintComplete();
    QCOMPARE(status.Label1()->text(), QStringLiteral("Print Complete!"));
    QVERIFY(!status.Timer1()->isActive());
    QVERIFY(status.isVisible());
    QVERIFY(!formMain().isVisible());
    QCOMPARE(MessageBox::history().size(), 1); // the notice only
}

void TestFormMainPrint::printError() {
    zendrik::Zendrik* component = formMain().Zendrik1();
    MessageBox::clearHistory();
    emit component->PrintError(4, QStringLiteral("disk full"));
    // The progress window is not touched, so not even loaded.
    QVERIFY(!WindowRegistry::instance().exists<FormStatus>());
    QCOMPARE(MessageBox::history().size(), 1);
    QCOMPARE(MessageBox::history().first().text, QStringLiteral("Print error!"));
    QCOMPARE(MessageBox::history().first().style, 48);
    QCOMPARE(MessageBox::history().first().title, QStringLiteral("ZendrikDemo"));
    QCOMPARE(MessageBox::history().first().informativeText, QStringLiteral("disk full"));

    FormStatus& status = window<FormStatus>();
    status.showForm();
    emit component->PrintingPage(2);
    emit component->PrintError(4, QStringLiteral("disk full"));
    QCOMPARE(status.Label1()->text(), QStringLiteral("Now Printing Page: 2"));
    QVERIFY(status.Timer1()->isActive());
    QVERIFY(status.isVisible());
    QCOMPARE(MessageBox::history().size(), 2);
}

void TestFormMainPrint::latePrintComplete() {
    FormStatus& status = window<FormStatus>();
    formMain().hideForm();
    status.showForm();
    status.Command1()->click();
    QVERIFY(!status.isLoaded());
    QVERIFY(formMain().isVisible());

    emit formMain().Zendrik1()->PrintComplete();
    QVERIFY(status.isLoaded());
    QVERIFY(!status.isVisible());
    QCOMPARE(status.Label1()->text(), QStringLiteral("Print Complete!"));
    QVERIFY(!status.Timer1()->isActive());
    fixture::settle();
    QCOMPARE(fixture::endRecorder().ends, 0);

    // Closing the last shown window ends the application; the hidden progress window goes too.
    formMain().close();
    fixture::settle();
    QCOMPARE(fixture::endRecorder().ends, 1);
    QVERIFY(!status.isLoaded());
}

void TestFormMainPrint::latePage() {
    emit formMain().Zendrik1()->PrintingPage(7);
    FormStatus& status = window<FormStatus>();
    QVERIFY(status.isLoaded());
    QVERIFY(!status.isVisible());
    QCOMPARE(status.Label1()->text(), QStringLiteral("Now Printing Page: 7"));
    QVERIFY(status.Timer1()->isActive()); // its load step ran
}

void TestFormMainPrint::closingProgressBringsMainBack_data() {
    QTest::addColumn<bool>("useOk");
    QTest::newRow("OK") << true;
    QTest::newRow("close box") << false;
}

void TestFormMainPrint::closingProgressBringsMainBack() {
    QFETCH(bool, useOk);
    formMain().showForm();
    mainControl<QCheckBox>("Check7")->setChecked(true);
    mainControl<QLineEdit>("txtTitle")->setText(QStringLiteral("Kept"));
    mainControl<QComboBox>("cboCopies")->setCurrentIndex(1);
    clickPrintAndWait();
    FormStatus& status = window<FormStatus>();
    QVERIFY(status.isVisible());
    if (useOk) {
        QTest::mouseClick(status.Command1(), Qt::LeftButton);
    } else {
        QVERIFY(status.close());
    }
    fixture::settle();
    QVERIFY(!status.isLoaded());
    QVERIFY(formMain().isVisible());
    QVERIFY(mainControl<QCheckBox>("Check7")->isChecked());
    QCOMPARE(mainControl<QLineEdit>("txtTitle")->text(), QStringLiteral("Kept"));
    QCOMPARE(mainControl<QComboBox>("cboCopies")->currentIndex(), 1);
    QCOMPARE(MessageBox::history().size(), 1); // not loaded again: one notice
    QCOMPARE(fixture::endRecorder().ends, 0);

    // And the next print shows a freshly loaded progress window.
    clickPrintAndWait();
    QVERIFY(status.isVisible());
}

void TestFormMainPrint::exitShowsStart() {
    formMain().showForm();
    QTest::mouseClick(mainControl<QPushButton>("Command2"), Qt::LeftButton);
    fixture::settle();
    QVERIFY(!formMain().isLoaded());
    QVERIFY(window<FormStart>().isVisible());
    QCOMPARE(fixture::endRecorder().ends, 0);
}

void TestFormMainPrint::closeBoxOfMainEndsApplication() {
    formMain().showForm();
    QVERIFY(formMain().close());
    fixture::settle();
    QVERIFY(!formMain().isLoaded());
    QVERIFY(!WindowRegistry::instance().exists<FormStart>());
    QCOMPARE(fixture::endRecorder().ends, 1);
}

void TestFormMainPrint::pdfThroughTheWindows_data() {
    QTest::addColumn<int>("option");
    QTest::addColumn<int>("paper");
    QTest::addColumn<int>("orientation");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<QString>("pageSize");
    const QStringList boxes = {"Chain Title", "Chain Header", "Chain Footer", "Orvanel is a 32-bit ActiveX"};
    QTest::newRow("text boxes, A4") << 0 << 0 << 0 << boxes << "595 x 842";
    QTest::newRow("text boxes, Letter landscape") << 0 << 1 << 2 << boxes << "792 x 612";
    QTest::newRow("Demo1.txt") << 1 << 0 << 0 << QStringList{} << "595 x 842";
    QTest::newRow("Demo2.txt") << 2 << 0 << 0 << QStringList{"Chain Title", "Chain Header", "Chain Footer"}
                               << "595 x 842";
}

void TestFormMainPrint::pdfThroughTheWindows() {
    QFETCH(int, option);
    QFETCH(int, paper);
    QFETCH(int, orientation);
    QFETCH(QStringList, expected);
    QFETCH(QString, pageSize);
    // The real printer list, whatever queues the machine has; "Save as PDF" is always offered.
    FormMain::setPrinterSource({});
    formMain().showForm();
    mainControl<QLineEdit>("txtTitle")->setText(QStringLiteral("Chain Title"));
    mainControl<QLineEdit>("txtHeader")->setText(QStringLiteral("Chain Header"));
    mainControl<QLineEdit>("txtFooter")->setText(QStringLiteral("Chain Footer"));
    mainControl<QComboBox>("cboPaperSize")->setCurrentIndex(paper);
    mainControl<QComboBox>("cboOrientation")->setCurrentIndex(orientation);
    QTest::mouseClick(fixture::find<QRadioButton>(formMain(), QStringLiteral("Option1(%1)").arg(option)),
                      Qt::LeftButton);
    auto* printers = mainControl<QComboBox>("cboPrinter");
    printers->setCurrentIndex(printers->findText(QString::fromLatin1(zendrik::kSaveAsPdfPrinter)));
    QVERIFY(printers->currentIndex() > 0);

    QSignalSpy prints(formMain().Zendrik1(), &zendrik::Zendrik::printRequested);
    clickPrintAndWait();
    QCOMPARE(prints.first().first().toString(), QString::fromLatin1(zendrik::kSaveAsPdfPrinter));
    const QStringList pdfs = QDir(pdfDir_.path()).entryList({QStringLiteral("*.pdf")});
    QCOMPARE(pdfs.size(), 1);
    const QString path = QDir(pdfDir_.path()).filePath(pdfs.first());
    const QString text = pdfText(path);
    for (const QString& part : expected) {
        QVERIFY2(text.contains(part), qPrintable(part + QStringLiteral(" missing from:\n") + text.left(2000)));
    }
    if (option == 1) {
        QVERIFY(!text.contains(QStringLiteral("Chain Title")));
    }
    if (option != 0) {
        // Some words of the data file's last line reach the page.
        const QString data = readDataFile(option == 1 ? QStringLiteral("Demo1.txt") : QStringLiteral("Demo2.txt"));
        QVERIFY(!data.isEmpty());
        QStringList lines = data.split(QRegularExpression(QStringLiteral("[\r\n]+")), Qt::SkipEmptyParts);
        const QStringList words = lines.last().simplified().split(QLatin1Char(' ')).mid(0, 3);
        QVERIFY2(text.simplified().contains(words.join(QLatin1Char(' '))), qPrintable(words.join(QLatin1Char(' '))));
        QVERIFY(!text.contains(QStringLiteral("Orvanel is a 32-bit ActiveX")));
    }
    const QRegularExpression size(QStringLiteral("Page size: +%1 pts").arg(pageSize));
    QVERIFY2(pdfInfo(path).contains(size), qPrintable(pdfInfo(path)));
    QLabel* progress = window<FormStatus>().Label1();
    QCOMPARE(progress->text(), QStringLiteral("Print Complete!"));
    // The file is named where the progress text and picture are, without a change to the layout.
    const QString saved = QStringLiteral("Saved as ") + QDir::toNativeSeparators(path);
    QCOMPARE(progress->toolTip(), saved);
    QCOMPARE(fixture::find<QWidget>(window<FormStatus>(), "Frame1")->toolTip(), saved);
}

QTEST_MAIN(TestFormMainPrint)
#include "tst_formmainprint.moc"
