// The print component on real CUPS queues: what the spooler receives when the component prints,
// and the failures it must report.

#include "cupstestsupport.h"
#include "output/cupsqueue.h"
#include <zendrik/zendrik.h>

#include <QDateTime>
#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <csignal>
#include <memory>

using cupstest::Server;
using zendrik::Zendrik;

namespace {

struct Outcome {
    int complete = 0;
    int errors = 0;
    qint32 code = 0;
    QString description;
    int pages = 0;
};

// Prints and waits for the job's one outcome event.
Outcome printAndWait(Zendrik& z, const QString& printer, const std::function<void(int)>& onPage = {}) {
    Outcome o;
    QObject guard;
    QObject::connect(&z, &Zendrik::PrintComplete, &guard, [&] { ++o.complete; });
    QObject::connect(&z, &Zendrik::PrintError, &guard, [&](qint32 code, const QString& text) {
        ++o.errors;
        o.code = code;
        o.description = text;
    });
    QObject::connect(&z, &Zendrik::PrintingPage, &guard, [&](qint32 page) {
        o.pages = page;
        if (onPage)
            onPage(page);
    });
    z.PrintDoc(printer);
    if (QTest::qWaitFor([&] { return o.complete + o.errors > 0; }, 60000))
        QTest::qWait(50); // a second outcome event would arrive here
    return o;
}

// The sheet a PWG media name describes, in points, shorter side first.
QSizeF mediaSheet(const QString& media) {
    static const QRegularExpression dims(QStringLiteral(R"(_([\d.]+)x([\d.]+)(mm|in)$)"));
    const auto m = dims.match(media);
    if (!m.hasMatch())
        return {};
    const double scale = m.captured(3) == QLatin1String("in") ? 72.0 : 72.0 / 25.4;
    const double a = m.captured(1).toDouble() * scale;
    const double b = m.captured(2).toDouble() * scale;
    return QSizeF(std::min(a, b), std::max(a, b));
}

QString documentBody(int paragraphs) {
    QStringList parts;
    for (int i = 1; i <= paragraphs; ++i) {
        parts << QStringLiteral("Paragraph %1. The spooler keeps what the component sent, so this text "
                                "comes back from the document it holds, word for word.")
                     .arg(i);
    }
    return parts.join(QStringLiteral("\r\n\r\n"));
}

} // namespace

class TestCupsPrint : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();

    void getPrintersListsQueuesThenPdf();

    void printsOnQueue_data();
    void printsOnQueue();
    void stoppedQueueKeepsJob();
    void printsOnIppEverywhereByUri();

    void printErrors_data();
    void printErrors();
    void unreachableServer();
    void queueRemovedAfterListing();
    void schedulerKilledDuringJob();
    void cancelDuringUploadCancelsTheJob();

    void commandLineListsPrinters();
    void commandLinePrints_data();
    void commandLinePrints();
    void commandLineSignalCancelsTheUpload();

private:
    void configure(Zendrik& z, const QString& title);
    // The one job the spooler holds under this name; 0 when there is none.
    int jobNamed(const QString& name) const;
    void expectNoTemporaryFiles();

    Server server_;
    QTemporaryDir tmp_;
    QString spoolTmp_;
    QString pdfDir_;
    int titles_ = 0;
    // Job names carry it, so that a run finds its own jobs on a scheduler that kept earlier ones.
    QString run_ = QString::number(QDateTime::currentMSecsSinceEpoch(), 36);
};

void TestCupsPrint::initTestCase() {
    if (!qEnvironmentVariableIsSet("CUPS_SERVER") || !qEnvironmentVariableIsSet("ZENDRIK_TEST_CUPS_DIR"))
        QSKIP("No private CUPS scheduler (run through scripts/test)");
    server_ = Server::fromEnvironment();
    QVERIFY(server_.isValid());
    QVERIFY(tmp_.isValid());
    // The component's temporary PDFs land here, so a leftover shows.
    spoolTmp_ = tmp_.filePath(QStringLiteral("tmp"));
    pdfDir_ = tmp_.filePath(QStringLiteral("pdf"));
    QVERIFY(QDir().mkpath(spoolTmp_));
    QVERIFY(QDir().mkpath(pdfDir_));
    qputenv("TMPDIR", QFile::encodeName(spoolTmp_));
    // Otherwise Qt in zendrik-print makes its runtime folder in TMPDIR.
    const QString runtime = tmp_.filePath(QStringLiteral("runtime"));
    QVERIFY(QDir().mkpath(runtime));
    QVERIFY(QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime));
    qputenv(zendrik::kPdfDirEnv, QFile::encodeName(pdfDir_));
    std::signal(SIGPIPE, SIG_IGN);
}

void TestCupsPrint::cleanup() {
    expectNoTemporaryFiles();
}

void TestCupsPrint::expectNoTemporaryFiles() {
    const QStringList left = QDir(spoolTmp_).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    QVERIFY2(left.isEmpty(), qPrintable(left.join(QLatin1Char(' '))));
}

void TestCupsPrint::configure(Zendrik& z, const QString& title) {
    z.setDocTitle(title);
    z.setDocHeader(QStringLiteral("Header of %1").arg(title));
    z.setDocFooter(QStringLiteral("Footer of %1").arg(title));
    z.setDocText(documentBody(40));
}

int TestCupsPrint::jobNamed(const QString& name) const {
    bool listed = false;
    const QList<int> ids = server_.jobsNamed(name, &listed);
    if (!listed || ids.size() > 1)
        return -1;
    return ids.isEmpty() ? 0 : ids.first();
}

void TestCupsPrint::getPrintersListsQueuesThenPdf() {
    Zendrik z;
    qint16 count = 0;
    const QStringList names = z.GetPrinters(count);

    QStringList expected;
    for (const auto& d : zendrik::cups::listDestinations())
        expected << d.name;
    QVERIFY(expected.contains(QStringLiteral("accepting")));
    QVERIFY(expected.contains(server_.oddQueue()));
    expected << QStringLiteral("Save as PDF");
    QCOMPARE(names, expected);
    QCOMPARE(int(count), names.size());
    QCOMPARE(z.defaultPrinter(), QStringLiteral("accepting"));
}

void TestCupsPrint::printsOnQueue_data() {
    QTest::addColumn<int>("paperSize");
    QTest::addColumn<int>("orientation");
    QTest::addColumn<int>("paperBin");
    QTest::addColumn<int>("quality");
    QTest::addColumn<int>("copies");
    QTest::addColumn<QString>("media");
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("printQuality");

    QTest::newRow("A4 portrait") << 9 << 1 << 7 << 3 << 1 << "iso_a4_210x297mm"
                                 << "auto"
                                 << "normal";
    QTest::newRow("Letter landscape") << 1 << 2 << 1 << 4 << 2 << "na_letter_8.5x11in"
                                      << "top"
                                      << "high";
    QTest::newRow("Ledger") << 4 << 1 << 2 << 1 << 1 << "na_ledger_11x17in"
                            << "bottom"
                            << "draft";
    QTest::newRow("EnvC4") << 29 << 1 << 5 << 2 << 1 << "iso_c4_229x324mm"
                           << "envelope"
                           << "draft";
    QTest::newRow("EnvC5 landscape") << 30 << 2 << 12 << 3 << 3 << "iso_c5_162x229mm"
                                     << "main"
                                     << "normal";
    QTest::newRow("B4, a custom size") << 12 << 1 << 7 << 3 << 1 << "iso_b4_250x353mm"
                                       << "auto"
                                       << "normal";
    QTest::newRow("Quarto") << 15 << 2 << 4 << 4 << 1 << "na_quarto_8.5x10.83in"
                            << "manual"
                            << "high";
    QTest::newRow("FanfoldUS") << 39 << 1 << 7 << 3 << 1 << "na_fanfold-us_11x14.875in"
                               << "auto"
                               << "normal";
}

void TestCupsPrint::printsOnQueue() {
    QFETCH(int, paperSize);
    QFETCH(int, orientation);
    QFETCH(int, paperBin);
    QFETCH(int, quality);
    QFETCH(int, copies);
    QFETCH(QString, media);
    QFETCH(QString, source);
    QFETCH(QString, printQuality);

    const QString title =
        QStringLiteral("Job %1 \"%2\" Ünïcode %3").arg(++titles_).arg(QString::fromUtf8(QTest::currentDataTag()), run_);
    Zendrik z;
    configure(z, title);
    z.setPaperSize(paperSize);
    z.setOrientation(orientation);
    z.setPaperBin(paperBin);
    z.setPrintQuality(quality);
    z.setCopies(qint16(copies));

    const Outcome o = printAndWait(z, QStringLiteral("accepting"));
    QCOMPARE(o.errors, 0);
    QCOMPARE(o.complete, 1);
    QVERIFY(o.pages >= 2);

    const int jobId = jobNamed(title);
    QVERIFY(jobId > 0);
    const auto job = server_.jobAttributes(jobId);
    QCOMPARE(job.value(QStringLiteral("copies")), QString::number(copies));
    QCOMPARE(job.value(QStringLiteral("media")), media);
    QCOMPARE(job.value(QStringLiteral("orientation-requested")),
             orientation == 2 ? QStringLiteral("landscape") : QStringLiteral("portrait"));
    QCOMPARE(job.value(QStringLiteral("media-source")), source);
    QCOMPARE(job.value(QStringLiteral("print-quality")), printQuality);
    QCOMPARE(job.value(QStringLiteral("document-format")), QStringLiteral("application/pdf"));

    // The document: every page painted, on the paper the media names, turned for landscape.
    const cupstest::PdfFacts kept = cupstest::readPdf(server_.keptDocument(jobId));
    QCOMPARE(kept.pages, o.pages);
    const QSizeF sheet = mediaSheet(media);
    const QSizeF page = kept.pageSize;
    // One table gives both: the PDF only rounds to whole points.
    QVERIFY2(qAbs(std::min(page.width(), page.height()) - sheet.width()) <= 0.5 &&
                 qAbs(std::max(page.width(), page.height()) - sheet.height()) <= 0.5,
             qPrintable(QStringLiteral("page %1 x %2 pt").arg(page.width()).arg(page.height())));
    if (orientation == 2)
        QVERIFY(page.width() > page.height());
    QVERIFY(kept.text.contains(QStringLiteral("Paragraph 40.")));
    QVERIFY(kept.text.contains(QStringLiteral("Header of Job %1").arg(titles_)));

    // The same document as the "Save as PDF" printer makes it.
    QDir(pdfDir_).removeRecursively();
    QVERIFY(QDir().mkpath(pdfDir_));
    const Outcome asPdf = printAndWait(z, QStringLiteral("Save as PDF"));
    QCOMPARE(asPdf.complete, 1);
    const QStringList pdfs = QDir(pdfDir_).entryList({QStringLiteral("*.pdf")});
    QCOMPARE(pdfs.size(), 1);
    const cupstest::PdfFacts saved = cupstest::readPdf(QDir(pdfDir_).filePath(pdfs.first()));
    QCOMPARE(saved.pages, kept.pages);
    QCOMPARE(saved.pageSize, kept.pageSize);
    QCOMPARE(saved.text, kept.text);
}

void TestCupsPrint::stoppedQueueKeepsJob() {
    Zendrik z;
    const QString title = QStringLiteral("Paused ") + run_;
    configure(z, title);
    const Outcome o = printAndWait(z, QStringLiteral("stopped"));
    QCOMPARE(o.errors, 0);
    QCOMPARE(o.complete, 1);

    const int jobId = jobNamed(title);
    QVERIFY(jobId > 0);
    QTest::qWait(300);
    const auto job = server_.jobAttributes(jobId);
    QCOMPARE(job.value(QStringLiteral("job-state")), QStringLiteral("pending"));
    QVERIFY(job.value(QStringLiteral("job-printer-uri")).endsWith(QStringLiteral("/printers/stopped")));
    QCOMPARE(cupstest::readPdf(server_.keptDocument(jobId)).pages, o.pages);
}

// A driverless printer needs no queue: PrintDoc takes its URI.
void TestCupsPrint::printsOnIppEverywhereByUri() {
    const QString uri = server_.ippEverywhereUri();
    if (uri.isEmpty())
        QSKIP("no IPP Everywhere printer (cups-test-server --ipp-everywhere)");
    const QString title = QStringLiteral("Driverless %1").arg(run_);
    Zendrik z;
    configure(z, title);
    z.setCopies(2);
    const Outcome o = printAndWait(z, uri);
    QCOMPARE(o.errors, 0);
    QCOMPARE(o.complete, 1);

    bool listed = false;
    const QList<int> jobs = server_.printerJobsNamed(title, &listed);
    QVERIFY(listed);
    QCOMPARE(jobs.size(), 1);
    QCOMPARE(server_.printerJobAttributes(jobs.first()).value(QStringLiteral("copies")), QStringLiteral("2"));
    const cupstest::PdfFacts kept = cupstest::readPdf(server_.printerKeptDocument(jobs.first()));
    QCOMPARE(kept.pages, o.pages);
    QVERIFY(kept.text.contains(QStringLiteral("Header of %1").arg(title)));
    QCOMPARE(jobNamed(title), 0);
}

void TestCupsPrint::printErrors_data() {
    QTest::addColumn<QString>("printer");
    QTest::addColumn<QString>("cupsSays");
    QTest::newRow("rejecting queue") << "rejecting"
                                     << "is not accepting jobs";
    QTest::newRow("unknown name") << "Nonexistent Printer"
                                  << "does not exist";
    QTest::newRow("no printer at the URI") << "ipp://127.0.0.1:1/ipp/print"
                                           << "Unable to connect to the printer";
}

void TestCupsPrint::printErrors() {
    QFETCH(QString, printer);
    QFETCH(QString, cupsSays);
    Zendrik z;
    const QString title = QStringLiteral("Refused %1").arg(QTest::currentDataTag());
    configure(z, title);
    const Outcome o = printAndWait(z, printer);
    QCOMPARE(o.complete, 0);
    QCOMPARE(o.errors, 1);
    QVERIFY2(o.description.contains(cupsSays), qPrintable(o.description));
    QCOMPARE(jobNamed(title), 0);
}

void TestCupsPrint::unreachableServer() {
    // The component's worker starts with it and keeps the server it first saw.
    const QByteArray previous = qgetenv("CUPS_SERVER");
    const QString socket = tmp_.filePath(QStringLiteral("missing.sock"));
    qputenv("CUPS_SERVER", QFile::encodeName(socket));
    Outcome o;
    {
        Zendrik z;
        configure(z, QStringLiteral("Nowhere"));
        o = printAndWait(z, QStringLiteral("accepting"));
    }
    qputenv("CUPS_SERVER", previous);
    QCOMPARE(o.complete, 0);
    QCOMPARE(o.errors, 1);
    QVERIFY2(o.description.contains(socket), qPrintable(o.description));
}

// The printer list is a snapshot: a queue deleted after it was listed must fail with the
// spooler's own word, not print elsewhere.
void TestCupsPrint::queueRemovedAfterListing() {
    const QString queue = QStringLiteral("vanishing-") + run_;
    const QString ppd = server_.dir + QStringLiteral("/zendrik-test.ppd");
    const auto added =
        cupstest::run(QStringLiteral("lpadmin"), {"-p", queue, "-E", "-v", "file:///dev/null", "-P", ppd});
    QVERIFY2(added.exitCode == 0, qPrintable(added.err));
    Zendrik z;
    qint16 count = 0;
    QVERIFY(z.GetPrinters(count).contains(queue));
    const auto removed = cupstest::run(QStringLiteral("lpadmin"), {"-x", queue});
    QVERIFY2(removed.exitCode == 0, qPrintable(removed.err));

    const QString title = QStringLiteral("Removed queue ") + run_;
    configure(z, title);
    const Outcome o = printAndWait(z, queue);
    QCOMPARE(o.complete, 0);
    QCOMPARE(o.errors, 1);
    QCOMPARE(o.code, qint32(zendrik::ErrorCode::UnknownPrinter));
    QVERIFY2(o.description.contains(queue) && o.description.contains(QLatin1String("does not exist")),
             qPrintable(o.description));
    QCOMPARE(jobNamed(title), 0);
}

// A second scheduler is paused (SIGSTOP) as soon as the first page is painted, so that the job
// waits on it, and then killed: the print must fail, neither hang nor succeed.
void TestCupsPrint::schedulerKilledDuringJob() {
    QTemporaryDir dir(QStringLiteral("/tmp/zkill-XXXXXX"));
    QVERIFY(dir.isValid());
    cupstest::PrivateServer second(dir.path());
    QString log;
    QVERIFY2(second.start(&log), qPrintable(log));

    const QByteArray previous = qgetenv("CUPS_SERVER");
    qputenv("CUPS_SERVER", QFile::encodeName(second.server().socket));
    Outcome o;
    {
        Zendrik z;
        configure(z, QStringLiteral("Killed"));
        // Far more than the socket buffers hold: the job still runs when the first page event arrives.
        z.setDocText(documentBody(20000));
        bool stopped = false;
        o = printAndWait(z, QStringLiteral("accepting"), [&](int) {
            if (stopped)
                return;
            stopped = true;
            second.signal(QStringLiteral("STOP"));
            QTest::qWait(500);
            second.kill();
        });
    }
    qputenv("CUPS_SERVER", previous);
    QCOMPARE(o.complete, 0);
    QCOMPARE(o.errors, 1);
    QVERIFY(!o.description.isEmpty());
}

void TestCupsPrint::cancelDuringUploadCancelsTheJob() {
    const QString title = QStringLiteral("Cancelled upload %1").arg(run_);
    Zendrik z;
    configure(z, title);
    // Long enough that the job still runs when the third page event arrives; pages go to the
    // scheduler as they are written, so by then the job exists there.
    z.setDocText(documentBody(20000));
    const Outcome o = printAndWait(z, QStringLiteral("accepting"), [&](int page) {
        if (page == 3)
            z.CancelDoc();
    });
    QCOMPARE(o.complete, 0);
    QCOMPARE(o.errors, 1);
    QCOMPARE(o.code, qint32(zendrik::ErrorCode::Cancelled));
    // The id found is kept: QTRY evaluates the condition again at its end, and a listing can fail.
    int jobId = 0;
    QTRY_VERIFY_WITH_TIMEOUT((jobId = std::max(jobId, jobNamed(title))) > 0, 20000);
    QTRY_COMPARE(server_.jobAttributes(jobId).value(QStringLiteral("job-state")), QStringLiteral("canceled"));
    expectNoTemporaryFiles();
}

void TestCupsPrint::commandLineListsPrinters() {
    const auto r = cupstest::run(QStringLiteral(ZENDRIK_PRINT_TOOL), {QStringLiteral("--list-printers")});
    QCOMPARE(r.exitCode, 0);
    const QStringList lines = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QStringList names;
    QStringList marked;
    for (QString line : lines) {
        if (line.endsWith(QLatin1String(" *"))) {
            line.chop(2);
            marked << line;
        }
        names << line;
    }
    QCOMPARE(marked, QStringList{QStringLiteral("accepting")});
    QStringList expected;
    for (const auto& d : zendrik::cups::listDestinations())
        expected << d.name;
    expected << QStringLiteral("Save as PDF");
    QCOMPARE(names, expected);
}

void TestCupsPrint::commandLinePrints_data() {
    QTest::addColumn<QString>("printer");
    QTest::addColumn<bool>("succeeds");
    QTest::addColumn<QString>("says"); // on standard output or error
    QTest::newRow("accepting") << "accepting" << true << "";
    QTest::newRow("stopped") << "stopped" << true << "stopped";
    QTest::newRow("default printer") << "" << true << "";
    QTest::newRow("rejecting") << "rejecting" << false << "not accepting jobs";
}

void TestCupsPrint::commandLinePrints() {
    QFETCH(QString, printer);
    QFETCH(bool, succeeds);
    QFETCH(QString, says);

    const QString doc = tmp_.filePath(QStringLiteral("cli.txt"));
    QFile f(doc);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write("Printed from the command line.\n");
    f.close();

    const QString title = QStringLiteral("Command line %1 %2").arg(QString::fromUtf8(QTest::currentDataTag()), run_);
    QStringList args{QStringLiteral("--set"), QStringLiteral("DocFile=") + doc, QStringLiteral("--set"),
                     QStringLiteral("DocTitle=") + title};
    if (!printer.isEmpty())
        args << QStringLiteral("--printer") << printer;
    const auto r = cupstest::run(QStringLiteral(ZENDRIK_PRINT_TOOL), args);
    QVERIFY2((r.exitCode == 0) == succeeds, qPrintable(r.out + r.err));
    QVERIFY2((r.out + r.err).contains(says, Qt::CaseInsensitive), qPrintable(r.out + r.err));

    const int jobId = jobNamed(title);
    QVERIFY(jobId >= 0);
    QCOMPARE(jobId > 0, succeeds);
    if (succeeds) {
        // As lp says it, so that the user can cancel it.
        const QString queue = printer.isEmpty() ? QStringLiteral("accepting") : printer;
        QCOMPARE(r.out, QStringLiteral("request id is %1-%2 (1 file(s))\n").arg(queue).arg(jobId));
        const auto job = server_.jobAttributes(jobId);
        QVERIFY(job.value(QStringLiteral("job-printer-uri"))
                    .endsWith(QString::fromLatin1(
                        QUrl::toPercentEncoding(printer.isEmpty() ? QStringLiteral("accepting") : printer, "$();&`"))));
        QVERIFY(cupstest::readPdf(server_.keptDocument(jobId)).text.contains(QLatin1String("command line")));
    }
}

// SIGTERM while the document streams to the scheduler: the job is cancelled there, and nothing
// of it is left on this machine.
void TestCupsPrint::commandLineSignalCancelsTheUpload() {
    const QString doc = tmp_.filePath(QStringLiteral("long.txt"));
    QFile f(doc);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    for (int i = 0; i < 60000; ++i)
        f.write("A line of text that is long enough to fill most of the width of a page.\n");
    f.close();
    const QString title = QStringLiteral("Signalled upload %1").arg(run_);
    QProcess p;
    p.start(QStringLiteral(ZENDRIK_PRINT_TOOL),
            {doc, QStringLiteral("--title"), title, QStringLiteral("-P"), QStringLiteral("accepting")});
    QVERIFY(p.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(jobNamed(title) > 0, 30000);
    ::kill(pid_t(p.processId()), SIGTERM);
    QVERIFY(p.waitForFinished(10000));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), 1);
    QVERIFY(QString::fromUtf8(p.readAllStandardError()).contains(QStringLiteral("cancelled")));
    int jobId = 0;
    QTRY_VERIFY((jobId = jobNamed(title)) > 0);
    QTRY_COMPARE(server_.jobAttributes(jobId).value(QStringLiteral("job-state")), QStringLiteral("canceled"));
}

QTEST_MAIN(TestCupsPrint)
#include "tst_cupsprint.moc"
