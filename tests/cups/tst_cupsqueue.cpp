// Submitting PDFs to a real CUPS scheduler through libcups, and reading back what it received.

#include "cupstestsupport.h"
#include "output/cupsqueue.h"

#include <zendrik/papers.h>

#include <QElapsedTimer>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace zendrik::cups;
using cupstest::Server;
using zendrik::Result;

namespace {

struct SubmitResult {
    bool ok = false;
    QString error;
    int jobId = 0;
    bool queueStopped = false;
};

// Sends a finished PDF (any readable file, a FIFO too) to a queue as a job.
SubmitResult submitPdf(const QString& queue, const QString& path, const JobSettings& settings) {
    SubmitResult r;
    QFile pdf(path);
    if (!pdf.open(QIODevice::ReadOnly)) {
        r.error = QStringLiteral("Cannot read %1: %2").arg(path, pdf.errorString());
        return r;
    }
    auto job = Job::start(queue, settings);
    if (!job) {
        r.error = job.failure().message;
        return r;
    }
    QByteArray buffer(64 * 1024, Qt::Uninitialized);
    for (qint64 n; (n = pdf.read(buffer.data(), buffer.size())) > 0;) {
        if (const zendrik::Status sent = job.value()->write(buffer.constData(), n); !sent) {
            r.error = sent.failure().message;
            return r;
        }
    }
    const auto accepted = job.value()->finish();
    if (!accepted) {
        r.error = accepted.failure().message;
        return r;
    }
    r.ok = true;
    r.jobId = accepted.value().jobId;
    r.queueStopped = accepted.value().queueStopped;
    return r;
}

} // namespace

Q_DECLARE_METATYPE(zendrik::cups::JobSettings)

class TestCupsQueue : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();

    void listsDestinationsInCupsOrder();
    void listingWithoutServer_data();
    void listingWithoutServer();
    void listingPausedScheduler();

    void submitsJobSettings_data();
    void submitsJobSettings();
    void namesReachCupsUnchanged();
    void stoppedQueueHoldsJob();

    void printsOnIppEverywhere_data();
    void printsOnIppEverywhere();

    void refusedJobs_data();
    void refusedJobs();
    void serverUnreachable();
    void serverKilledDuringJob_data();
    void serverKilledDuringJob();
    void serversThatDoNotAnswer_data();
    void serversThatDoNotAnswer();

private:
    QString makePdf(int pages, const QString& marker);
    // "@ipp" stands for the simulated IPP Everywhere printer's URI; skips when it does not run.
    QString printerOrSkip(const QString& printer) const;

    Server server_;
    QTemporaryDir tmp_;
    int pdfCount_ = 0;
};

void TestCupsQueue::initTestCase() {
    server_ = Server::fromEnvironment();
    if (!qEnvironmentVariableIsSet("CUPS_SERVER") || !qEnvironmentVariableIsSet("ZENDRIK_TEST_CUPS_DIR"))
        QSKIP("No private CUPS scheduler (run through scripts/test)");
    QVERIFY2(server_.isValid(), "ZENDRIK_TEST_CUPS_DIR holds no scheduler port");
    QVERIFY(tmp_.isValid());
    // Writing into a FIFO whose reader has gone must give an error, not end the test (libcups
    // ignores SIGPIPE on its own as soon as it connects).
    std::signal(SIGPIPE, SIG_IGN);
}

QString TestCupsQueue::makePdf(int pages, const QString& marker) {
    const QString path = tmp_.filePath(QStringLiteral("doc%1.pdf").arg(++pdfCount_));
    if (!cupstest::writePdf(path, pages, marker))
        return {};
    return path;
}

QString TestCupsQueue::printerOrSkip(const QString& printer) const {
    const bool needsIpp = printer == QLatin1String("@ipp") || printer == QLatin1String("everywhere");
    if (needsIpp && server_.ippEverywhereUri().isEmpty())
        return {};
    return printer == QLatin1String("@ipp") ? server_.ippEverywhereUri() : printer;
}

void TestCupsQueue::listsDestinationsInCupsOrder() {
    const QList<Destination> dests = listDestinations();

    // lpstat is an independent libcups client of the same scheduler.
    const auto lpstat = cupstest::run(QStringLiteral("lpstat"), {QStringLiteral("-e")});
    QCOMPARE(lpstat.exitCode, 0);
    const QStringList expected = lpstat.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QStringList names;
    QStringList defaults;
    for (const Destination& d : dests) {
        names << d.name;
        if (d.isDefault)
            defaults << d.name;
    }
    QCOMPARE(names, expected);
    for (const char* q : {"accepting", "stopped", "rejecting"})
        QVERIFY2(names.contains(QLatin1String(q)), q);
    QVERIFY(names.contains(server_.oddQueue()));
    QCOMPARE(defaults, QStringList{QStringLiteral("accepting")});
}

void TestCupsQueue::listingWithoutServer_data() {
    QTest::addColumn<QString>("cupsServer");
    QTest::newRow("missing socket") << tmp_.filePath(QStringLiteral("no-such.sock"));
    QTest::newRow("closed loopback port") << QStringLiteral("127.0.0.1:1");
    QTest::newRow("unanswered address") << QStringLiteral("192.0.2.1:631");
}

void TestCupsQueue::listingWithoutServer() {
    QFETCH(QString, cupsServer);
    QList<Destination> dests{Destination{QStringLiteral("sentinel"), false}};
    qint64 elapsed = 0;
    cupstest::runWithServer(cupsServer, [&] {
        QElapsedTimer timer;
        timer.start();
        dests = listDestinations();
        elapsed = timer.elapsed();
    });
    QVERIFY(dests.isEmpty());
    // The limit is one second of connection time; allow for a loaded machine.
    QVERIFY2(elapsed < 2500, qPrintable(QStringLiteral("took %1 ms").arg(elapsed)));
}

// A scheduler that takes the connection but never answers must not hold the caller for long.
void TestCupsQueue::listingPausedScheduler() {
    QTemporaryDir dir(QStringLiteral("/tmp/zpause-XXXXXX"));
    QVERIFY(dir.isValid());
    cupstest::PrivateServer paused(dir.path());
    QString log;
    QVERIFY2(paused.start(&log), qPrintable(log));
    paused.signal(QStringLiteral("STOP"));

    QList<Destination> dests{Destination{QStringLiteral("sentinel"), false}};
    qint64 elapsed = 0;
    cupstest::runWithServer(paused.server().socket, [&] {
        QElapsedTimer timer;
        timer.start();
        dests = listDestinations();
        elapsed = timer.elapsed();
    });
    paused.signal(QStringLiteral("CONT"));
    QVERIFY(dests.isEmpty());
    // The limit is 0.8 s; allow for a loaded machine.
    QVERIFY2(elapsed < 2000, qPrintable(QStringLiteral("took %1 ms").arg(elapsed)));

    // Once it answers again, so does the listing.
    cupstest::runWithServer(paused.server().socket, [&] { dests = listDestinations(); });
    QCOMPARE(dests.size(), 5);
}

void TestCupsQueue::submitsJobSettings_data() {
    QTest::addColumn<JobSettings>("settings");
    QTest::addColumn<QString>("media");
    QTest::addColumn<QString>("orientation");
    QTest::addColumn<QString>("source"); // "" = left out
    QTest::addColumn<QString>("quality");
    QTest::addColumn<QString>("resolution");
    QTest::addColumn<QString>("queue");

    auto s = [](int paper, int orient, int bin, int quality, int copies) {
        JobSettings j;
        j.jobName = QStringLiteral("settings");
        j.paperSize = paper;
        j.orientation = orient;
        j.paperBin = bin;
        j.printQuality = quality;
        j.copies = copies;
        return j;
    };
    QTest::newRow("defaults") << s(9, 1, 7, 3, 1) << "iso_a4_210x297mm"
                              << "portrait"
                              << "auto"
                              << "normal"
                              << "600dpi"
                              << "accepting";
    QTest::newRow("letter landscape upper high") << s(1, 2, 1, 4, 3) << "na_letter_8.5x11in"
                                                 << "landscape"
                                                 << "top"
                                                 << "high"
                                                 << "1200dpi"
                                                 << "accepting";
    QTest::newRow("draft lower") << s(5, 1, 2, 1, 2) << "na_legal_8.5x14in"
                                 << "portrait"
                                 << "bottom"
                                 << "draft"
                                 << "300dpi"
                                 << "accepting";
    QTest::newRow("low manual") << s(11, 2, 4, 2, 1) << "iso_a5_148x210mm"
                                << "landscape"
                                << "manual"
                                << "draft"
                                << "300dpi"
                                << "accepting";
    QTest::newRow("cassette is the main tray") << s(27, 1, 12, 3, 1) << "iso_dl_110x220mm"
                                               << "portrait"
                                               << "main"
                                               << "normal"
                                               << "600dpi"
                                               << "accepting";
    QTest::newRow("envelope bin") << s(20, 1, 5, 3, 1) << "na_number-10_4.125x9.5in"
                                  << "portrait"
                                  << "envelope"
                                  << "normal"
                                  << "600dpi"
                                  << "accepting";
    // A printer without trays is left to choose; one that has trays refuses a missing one (refusedJobs).
    QTest::newRow("tractor, no trays") << s(8, 1, 8, 3, 1) << "iso_a3_297x420mm"
                                       << "portrait"
                                       << ""
                                       << "normal"
                                       << "600dpi"
                                       << "no-trays";
    QTest::newRow("middle, no trays, custom size") << s(12, 1, 3, 3, 1) << "iso_b4_250x353mm"
                                                   << "portrait"
                                                   << ""
                                                   << "normal"
                                                   << "600dpi"
                                                   << "no-trays";
    QTest::newRow("EnvC3 at 28") << s(28, 1, 7, 3, 1) << "iso_c3_324x458mm"
                                 << "portrait"
                                 << "auto"
                                 << "normal"
                                 << "600dpi"
                                 << "accepting";
    QTest::newRow("EnvC4 at 29") << s(29, 1, 7, 3, 1) << "iso_c4_229x324mm"
                                 << "portrait"
                                 << "auto"
                                 << "normal"
                                 << "600dpi"
                                 << "accepting";
    QTest::newRow("EnvC5 at 30") << s(30, 1, 7, 3, 1) << "iso_c5_162x229mm"
                                 << "portrait"
                                 << "auto"
                                 << "normal"
                                 << "600dpi"
                                 << "accepting";
    QTest::newRow("EnvB6") << s(35, 1, 7, 3, 1) << "iso_b6_125x176mm"
                           << "portrait"
                           << "auto"
                           << "normal"
                           << "600dpi"
                           << "accepting";
    QTest::newRow("FanfoldLglGerman") << s(41, 2, 7, 3, 10) << "na_foolscap_8.5x13in"
                                      << "landscape"
                                      << "auto"
                                      << "normal"
                                      << "600dpi"
                                      << "accepting";
}

void TestCupsQueue::submitsJobSettings() {
    QFETCH(JobSettings, settings);
    QFETCH(QString, media);
    QFETCH(QString, orientation);
    QFETCH(QString, source);
    QFETCH(QString, quality);
    QFETCH(QString, resolution);
    QFETCH(QString, queue);

    const QString marker = QStringLiteral("Zendrik%1").arg(pdfCount_ + 1);
    const QString pdf = makePdf(3, marker);
    QVERIFY(!pdf.isEmpty());

    const SubmitResult r = submitPdf(queue, pdf, settings);
    QVERIFY2(r.ok, qPrintable(r.error));
    QVERIFY(r.error.isEmpty());
    QVERIFY(r.jobId > 0);
    QVERIFY(!r.queueStopped);

    // The spooler keeps exactly what it was sent.
    const QString kept = server_.keptDocument(r.jobId);
    QFile sent(pdf), received(kept);
    QVERIFY(sent.open(QIODevice::ReadOnly));
    QVERIFY2(received.open(QIODevice::ReadOnly), qPrintable(kept));
    QVERIFY(sent.readAll() == received.readAll());
    const cupstest::PdfFacts facts = cupstest::readPdf(kept);
    QCOMPARE(facts.pages, 3);
    QVERIFY(facts.text.contains(marker + QStringLiteral(" page 3")));

    const auto job = server_.jobAttributes(r.jobId);
    QVERIFY2(!job.isEmpty(), "ipptool read no job attributes");
    QCOMPARE(job.value(QStringLiteral("job-name")), settings.jobName);
    QCOMPARE(job.value(QStringLiteral("copies")), QString::number(settings.copies));
    QCOMPARE(job.value(QStringLiteral("media")), media);
    QCOMPARE(job.value(QStringLiteral("orientation-requested")), orientation);
    QCOMPARE(job.value(QStringLiteral("media-source")), source);
    QCOMPARE(job.value(QStringLiteral("print-quality")), quality);
    QCOMPARE(job.value(QStringLiteral("printer-resolution")), resolution);
    QCOMPARE(job.value(QStringLiteral("document-format")), QStringLiteral("application/pdf"));
    QVERIFY(job.value(QStringLiteral("job-printer-uri")).endsWith(QStringLiteral("/printers/") + queue));
}

void TestCupsQueue::namesReachCupsUnchanged() {
    const QString odd = server_.oddQueue();
    QVERIFY(!odd.isEmpty());
    JobSettings s;
    s.jobName = QStringLiteral("Quarterly \"report\" 'final' $(id) ; rm -rf / & Ünïcödé ✓");
    const QString pdf = makePdf(1, QStringLiteral("OddName"));
    const SubmitResult r = submitPdf(odd, pdf, s);
    QVERIFY2(r.ok, qPrintable(r.error));

    const auto job = server_.jobAttributes(r.jobId);
    QCOMPARE(job.value(QStringLiteral("job-name")), s.jobName);
    const QString uri = job.value(QStringLiteral("job-printer-uri"));
    QVERIFY2(uri.endsWith(QString::fromLatin1(QUrl::toPercentEncoding(odd, "$();&`"))) ||
                 uri.endsWith(QStringLiteral("/printers/") + odd),
             qPrintable(uri));
    QCOMPARE(cupstest::readPdf(server_.keptDocument(r.jobId)).pages, 1);
}

void TestCupsQueue::stoppedQueueHoldsJob() {
    JobSettings s;
    s.jobName = QStringLiteral("held");
    const SubmitResult r = submitPdf(QStringLiteral("stopped"), makePdf(2, QStringLiteral("Held")), s);
    QVERIFY2(r.ok, qPrintable(r.error));
    QVERIFY(r.queueStopped);
    QVERIFY(r.jobId > 0);

    // Still waiting in the paused queue, with its whole document.
    QTest::qWait(300);
    const auto job = server_.jobAttributes(r.jobId);
    QCOMPARE(job.value(QStringLiteral("job-state")), QStringLiteral("pending"));
    QVERIFY(job.value(QStringLiteral("job-printer-uri")).endsWith(QStringLiteral("/printers/stopped")));
    QCOMPARE(cupstest::readPdf(server_.keptDocument(r.jobId)).pages, 2);
}

// What the printer receives, read back from the printer itself: directly by its URI, and through
// a queue made with lpadmin -m everywhere (whose filters turn the pages themselves, so that the
// orientation does not reach the printer, and which sends the paper as its size).
void TestCupsQueue::printsOnIppEverywhere_data() {
    QTest::addColumn<QString>("printer");
    QTest::addColumn<JobSettings>("settings");
    QTest::addColumn<QString>("source"); // at the printer; "" = not sent
    QTest::addColumn<QString>("quality");

    auto s = [](int paper, int orient, int bin, int quality, int copies) {
        JobSettings j;
        j.paperSize = paper;
        j.orientation = orient;
        j.paperBin = bin;
        j.printQuality = quality;
        j.copies = copies;
        return j;
    };
    QTest::newRow("by URI: A4 landscape high, 2 copies") << "@ipp" << s(9, 2, 7, 4, 2) << "auto"
                                                         << "high";
    QTest::newRow("by URI: Letter manual draft") << "@ipp" << s(1, 1, 4, 1, 1) << "manual"
                                                 << "draft";
    QTest::newRow("by URI: Env10 from the cassette, 3 copies") << "@ipp" << s(20, 1, 12, 3, 3) << "main"
                                                               << "normal";
    QTest::newRow("queue: A4 high, 2 copies") << "everywhere" << s(9, 1, 7, 4, 2) << ""
                                              << "high";
    QTest::newRow("queue: Legal landscape draft") << "everywhere" << s(5, 2, 7, 2, 1) << ""
                                                  << "draft";
}

void TestCupsQueue::printsOnIppEverywhere() {
    QFETCH(QString, printer);
    QFETCH(JobSettings, settings);
    QFETCH(QString, source);
    QFETCH(QString, quality);
    const QString target = printerOrSkip(printer);
    if (target.isEmpty())
        QSKIP("no IPP Everywhere printer (cups-test-server --ipp-everywhere)");
    const bool direct = target != printer;

    settings.jobName = QStringLiteral("everywhere %1 %2").arg(QTest::currentDataTag()).arg(pdfCount_);
    const QString pdf = makePdf(3, QStringLiteral("Everywhere"));
    const SubmitResult r = submitPdf(target, pdf, settings);
    QVERIFY2(r.ok, qPrintable(r.error));

    // Through a queue the scheduler passes the job on by itself.
    int printerJob = r.jobId;
    if (!direct) {
        bool listed = false;
        QTRY_VERIFY_WITH_TIMEOUT((printerJob = server_.printerJobsNamed(settings.jobName, &listed).value(0)) > 0,
                                 30000);
    }
    QMap<QString, QString> job;
    QTRY_COMPARE_WITH_TIMEOUT((job = server_.printerJobAttributes(printerJob)).value(QStringLiteral("job-state")),
                              QStringLiteral("completed"), 30000);

    // Without the attribute the printer makes one copy.
    QCOMPARE(job.value(QStringLiteral("copies"), QStringLiteral("1")), QString::number(settings.copies));
    QCOMPARE(job.value(QStringLiteral("print-quality")), quality);
    const auto paper = zendrik::paperForCode(settings.paperSize);
    if (direct) {
        QCOMPARE(job.value(QStringLiteral("media")), QLatin1String(paper->pwgMedia));
        QCOMPARE(job.value(QStringLiteral("media-source")), source);
        QCOMPARE(job.value(QStringLiteral("orientation-requested")),
                 settings.orientation == 2 ? QStringLiteral("landscape") : QStringLiteral("portrait"));
    } else {
        const QSizeF hundredthsMm = paper->size() * 2540.0 / 72.0;
        const QString size = QStringLiteral("x-dimension=%1 y-dimension=%2")
                                 .arg(qRound(hundredthsMm.width()))
                                 .arg(qRound(hundredthsMm.height()));
        QVERIFY2(job.value(QStringLiteral("media-col")).contains(size),
                 qPrintable(job.value(QStringLiteral("media-col"))));
    }

    const QString kept = server_.printerKeptDocument(printerJob);
    QVERIFY2(!kept.isEmpty(), "the printer kept no document");
    QCOMPARE(cupstest::readPdf(kept).pages, 3);
    if (direct) {
        QFile sent(pdf), received(kept);
        QVERIFY(sent.open(QIODevice::ReadOnly) && received.open(QIODevice::ReadOnly));
        QVERIFY(sent.readAll() == received.readAll());
    }
}

void TestCupsQueue::refusedJobs_data() {
    QTest::addColumn<QString>("queue");
    QTest::addColumn<bool>("pdfExists");
    QTest::addColumn<int>("paperSize");
    QTest::addColumn<int>("paperBin");
    QTest::addColumn<QString>("errorPart");

    QTest::newRow("rejecting queue") << "rejecting" << true << 9 << 7 << "not accepting jobs";
    QTest::newRow("unknown queue") << "no-such-queue" << true << 9 << 7 << "does not exist";
    QTest::newRow("queue name with a space") << "accepting x" << true << 9 << 7 << "does not exist";
    QTest::newRow("missing document") << "accepting" << false << 9 << 7 << "missing.pdf";
    // Never printed on other paper or from another tray than asked for.
    QTest::newRow("tray the queue lacks")
        << "accepting" << true << 9 << 8
        << "has no paper source Tractor (media-source tractor); it offers auto, top, bottom, manual, envelope, main";
    QTest::newRow("paper the printer lacks")
        << "@ipp" << true << 11 << 7
        << "has no paper A5 (media iso_a5_148x210mm); it offers Letter (na_letter_8.5x11in), Legal "
           "(na_legal_8.5x14in), A4 (iso_a4_210x297mm), Env10 (na_number-10_4.125x9.5in), EnvDL (iso_dl_110x220mm)";
    QTest::newRow("tray the printer lacks")
        << "@ipp" << true << 9 << 1 << "has no paper source Upper (media-source top); it offers auto, main, manual";
    QTest::newRow("paper the everywhere queue lacks") << "everywhere" << true << 12 << 7 << "has no paper B4";
    QTest::newRow("no printer at the URI")
        << "ipp://127.0.0.1:1/ipp/print" << true << 9 << 7 << "Unable to connect to the printer";
}

void TestCupsQueue::refusedJobs() {
    QFETCH(QString, queue);
    QFETCH(bool, pdfExists);
    QFETCH(int, paperSize);
    QFETCH(int, paperBin);
    QFETCH(QString, errorPart);
    const QString target = printerOrSkip(queue);
    if (target.isEmpty())
        QSKIP("no IPP Everywhere printer (cups-test-server --ipp-everywhere)");

    const QString pdf =
        pdfExists ? makePdf(1, QStringLiteral("Refused")) : tmp_.filePath(QStringLiteral("missing.pdf"));
    JobSettings s;
    s.jobName = QStringLiteral("refused %1").arg(QTest::currentDataTag());
    s.paperSize = paperSize;
    s.paperBin = paperBin;
    const SubmitResult r = submitPdf(target, pdf, s);
    QVERIFY(!r.ok);
    QVERIFY2(r.error.contains(errorPart), qPrintable(r.error));
    QCOMPARE(r.jobId, 0);
    bool listed = false;
    QCOMPARE(server_.jobsNamed(s.jobName, &listed), QList<int>{});
    QVERIFY(listed);
    if (target != queue) {
        QCOMPARE(server_.printerJobsNamed(s.jobName, &listed), QList<int>{});
        QVERIFY(listed);
    }
}

void TestCupsQueue::serverUnreachable() {
    const QString socket = tmp_.filePath(QStringLiteral("gone.sock"));
    const QString pdf = makePdf(1, QStringLiteral("Nowhere"));
    SubmitResult r;
    r.ok = true;
    cupstest::runWithServer(socket, [&] { r = submitPdf(QStringLiteral("accepting"), pdf, JobSettings{}); });
    QVERIFY(!r.ok);
    QVERIFY2(r.error.contains(socket), qPrintable(r.error));
}

void TestCupsQueue::serverKilledDuringJob_data() {
    QTest::addColumn<bool>("moreAfterKill");
    QTest::newRow("in the middle of the document") << true;
    QTest::newRow("before the job is confirmed") << false;
}

// The scheduler dies while the job is under way: the document comes from a FIFO that this test
// feeds, so the kill lands after the job was created and before the submission ends.
void TestCupsQueue::serverKilledDuringJob() {
    QFETCH(bool, moreAfterKill);
    QTemporaryDir dir(QStringLiteral("/tmp/zkill-XXXXXX"));
    QVERIFY(dir.isValid());
    cupstest::PrivateServer second(dir.path());
    QString log;
    QVERIFY2(second.start(&log), qPrintable(log));

    const QString fifo = dir.filePath(QStringLiteral("doc.pdf"));
    QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);

    SubmitResult r;
    r.ok = true;
    const QByteArray previous = qgetenv("CUPS_SERVER");
    qputenv("CUPS_SERVER", second.server().socket.toLocal8Bit());
    std::thread submitter([&] {
        JobSettings s;
        s.jobName = QStringLiteral("killed");
        r = submitPdf(QStringLiteral("accepting"), fifo, s);
    });
    // Opening waits for the submitter to open its end. Writing more than a pipe holds returns
    // only once the submitter streams to the scheduler.
    const int fd = ::open(QFile::encodeName(fifo).constData(), O_WRONLY);
    const QByteArray head = QByteArray("%PDF-1.4\n") + QByteArray(1 << 20, 'x');
    const bool headWritten = fd >= 0 && ::write(fd, head.constData(), std::size_t(head.size())) == head.size();
    if (!moreAfterKill)
        QTest::qSleep(300); // lets the submitter pass on all it has read
    second.kill();
    const QByteArray tail(1 << 20, 'y');
    for (int i = 0; moreAfterKill && i < 4; ++i) {
        if (::write(fd, tail.constData(), std::size_t(tail.size())) < 0)
            break;
    }
    if (fd >= 0)
        ::close(fd);
    submitter.join();
    qputenv("CUPS_SERVER", previous);
    QVERIFY(headWritten);
    QVERIFY(!r.ok);
    QVERIFY(!r.error.isEmpty());
}

void TestCupsQueue::serversThatDoNotAnswer_data() {
    QTest::addColumn<QString>("server");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("says");
    QTest::newRow("takes the connection, never answers")
        << "silent" << int(zendrik::ErrorCode::SpoolerFailed) << "no answer from the CUPS server";
    QTest::newRow("a scheduler stopped with SIGSTOP")
        << "stopped" << int(zendrik::ErrorCode::SpoolerFailed) << "no answer from the CUPS server";
    QTest::newRow("closes the connection")
        << "closes" << int(zendrik::ErrorCode::SpoolerFailed) << "closed the connection";
    QTest::newRow("answers with garbage") << "garbage" << int(zendrik::ErrorCode::SpoolerFailed) << "not HTTP";
    QTest::newRow("refuses the connection")
        << "refused" << int(zendrik::ErrorCode::UnknownPrinter) << "Connection refused";
}

// Every call ends within its budget (ZENDRIK_CUPS_TIMEOUT, here 1.5 s) and says what happened,
// not that the printer does not exist; the listing ends within its own 0.8 s.
void TestCupsQueue::serversThatDoNotAnswer() {
    QFETCH(QString, server);
    QFETCH(int, code);
    QFETCH(QString, says);
    QTemporaryDir dir(QStringLiteral("/tmp/zsilent-XXXXXX"));
    QVERIFY(dir.isValid());
    QString socket = dir.filePath(QStringLiteral("cups.sock"));
    std::unique_ptr<cupstest::FakeServer> fake;
    std::unique_ptr<cupstest::PrivateServer> stopped;
    if (server == u"stopped") {
        stopped = std::make_unique<cupstest::PrivateServer>(dir.path());
        QString log;
        QVERIFY2(stopped->start(&log), qPrintable(log));
        stopped->signal(QStringLiteral("STOP"));
    } else {
        using Kind = cupstest::FakeServer::Kind;
        const Kind kind = server == u"silent"    ? Kind::Silent
                          : server == u"closes"  ? Kind::Closes
                          : server == u"garbage" ? Kind::Garbage
                                                 : Kind::Refused;
        fake = std::make_unique<cupstest::FakeServer>(kind, socket);
    }
    qputenv(zendrik::kCupsTimeoutEnv, "1.5");
    const auto restore = qScopeGuard([&] {
        qunsetenv(zendrik::kCupsTimeoutEnv);
        if (stopped)
            stopped->signal(QStringLiteral("CONT"));
    });
    zendrik::Status checked;
    Result<std::unique_ptr<Job>> started = zendrik::Failure{};
    QList<Destination> listed{Destination{QStringLiteral("sentinel"), false}};
    qint64 listing = 0;
    qint64 slowest = 0;
    cupstest::runWithServer(socket, [&] {
        QElapsedTimer timer;
        timer.start();
        listed = listDestinations();
        listing = timer.restart();
        checked = checkDestination(QStringLiteral("accepting"));
        slowest = timer.restart();
        started = Job::start(QStringLiteral("accepting"), JobSettings{});
        slowest = std::max(slowest, timer.elapsed());
    });
    QVERIFY(!checked && !started);
    QVERIFY(listed.isEmpty());
    QVERIFY2(listing < 2000, qPrintable(QStringLiteral("listing took %1 ms").arg(listing)));
    QVERIFY2(slowest < 5000, qPrintable(QStringLiteral("a call took %1 ms").arg(slowest)));
    for (const zendrik::Failure& failure : {checked.failure(), started.failure()}) {
        QVERIFY2(failure.message.contains(says) && failure.message.contains(socket), qPrintable(failure.message));
        QVERIFY2(!failure.message.contains(QStringLiteral("does not exist")), qPrintable(failure.message));
    }
    QCOMPARE(int(checked.failure().code), code);
}

QTEST_MAIN(TestCupsQueue)
#include "tst_cupsqueue.moc"
