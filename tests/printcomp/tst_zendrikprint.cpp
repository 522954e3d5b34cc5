// The command-line front end: options, documents from files and standard input, exit status,
// progress on a terminal and the files it writes.

#include "pdftools.h"
#include <zendrik/members.h>
#include <zendrik/zendrik.h>

#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Run {
    int exitCode = -1;
    QByteArray out;
    QString err;
};

QProcessEnvironment environment(const QString& pdfDir) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("ZENDRIK_PDF_DIR"), pdfDir);
    return env;
}

Run zendrikPrint(const QStringList& args, const QString& pdfDir, const QByteArray& input = {}) {
    QProcess p;
    p.setProcessEnvironment(environment(pdfDir));
    p.start(QStringLiteral(ZENDRIK_PRINT_PATH), args);
    Run r;
    if (!p.waitForStarted())
        return r;
    p.write(input);
    p.closeWriteChannel();
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit)
        return r;
    r.exitCode = p.exitCode();
    r.out = p.readAllStandardOutput();
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

// The tool with its standard error on a terminal of the test's own (a pseudo-terminal).
class OnATerminal {
public:
    explicit OnATerminal(const QStringList& args, const QString& pdfDir) {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0)
            return;
        const int terminal = ::open(::ptsname(master_), O_RDWR | O_NOCTTY | O_CLOEXEC);
        process.setProcessEnvironment(environment(pdfDir));
        process.setChildProcessModifier([terminal] { ::dup2(terminal, STDERR_FILENO); });
        process.start(QStringLiteral(ZENDRIK_PRINT_PATH), args);
        ::close(terminal);
    }
    ~OnATerminal() {
        process.kill();
        process.waitForFinished();
        if (master_ >= 0)
            ::close(master_);
    }
    // Reads what the terminal shows until `wanted` appears or the tool ends; all of it so far.
    QString readUntil(const QRegularExpression& wanted, int timeoutMs = 60000) {
        QElapsedTimer clock;
        clock.start();
        while (!wanted.match(shown_).hasMatch() && clock.elapsed() < timeoutMs) {
            pollfd ready{master_, POLLIN, 0};
            if (::poll(&ready, 1, 100) <= 0)
                continue;
            char buffer[4096];
            const ssize_t n = ::read(master_, buffer, sizeof buffer);
            if (n <= 0)
                break; // the last writer has gone
            shown_ += QString::fromUtf8(buffer, n);
        }
        return shown_;
    }
    QProcess process;

private:
    int master_ = -1;
    QString shown_;
};

} // namespace

class TestZendrikPrint : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void helpListsEveryMemberAndTheExitStatus();
    void printsExactlyTheNamedPdf();
    void printsIntoThePdfFolder();
    void documents_data();
    void documents();
    void eachFileIsADocument();
    void failures_data();
    void failures();
    void writesThePagesAsPictures();
    void listsPrintersWithTheDefaultMarked();
    void progressOnATerminal();
    void controlCharactersAreShownEscapedOnATerminal();
    void closedStandardDescriptorsNeverTakeTheJob();
    void interruptedPrintLeavesNothing_data();
    void interruptedPrintLeavesNothing();

private:
    QString longDocument(const QTemporaryDir& dir, int lines = 60000) const;
    QString text_;
};

void TestZendrikPrint::initTestCase() {
    text_ = qEnvironmentVariable("ZENDRIK_DATA_DIR") + QStringLiteral("/Demo2.txt");
    QVERIFY(QFile::exists(text_));
}

QString TestZendrikPrint::longDocument(const QTemporaryDir& dir, int lines) const {
    const QString document = dir.filePath(QStringLiteral("long.txt"));
    QFile f(document);
    if (!f.open(QIODevice::WriteOnly))
        return {};
    const QByteArray line("A line of text that is long enough to fill most of the width of a page.\n");
    for (int i = 0; i < lines; ++i)
        f.write(line);
    return document;
}

void TestZendrikPrint::helpListsEveryMemberAndTheExitStatus() {
    QTemporaryDir dir;
    const Run r = zendrikPrint({QStringLiteral("--help")}, dir.path());
    QCOMPARE(r.exitCode, 0);
    const QString help = QString::fromUtf8(r.out).simplified();
    for (const auto& m : zendrik::memberTable()) {
        if (m.kind == zendrik::MemberKind::Put) {
            QVERIFY2(help.contains(QLatin1String(m.name)), m.name);
            QVERIFY2(help.contains(zendrik::acceptedValues(m).simplified()), m.name);
        }
    }
    QVERIFY(help.contains(QLatin1String("DocTitleFont.Name, .Size, .Bold")));
    QVERIFY(help.contains(QLatin1String("or the name: Letter, LetterSmall")));
    for (const char* status : {"0 every document was printed", "1 a print failed", "2 a wrong option"})
        QVERIFY2(help.contains(QLatin1String(status)), status);
}

void TestZendrikPrint::printsExactlyTheNamedPdf() {
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("out.pdf"));
    QFile old(pdf);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("an older file that is replaced");
    old.close();
    const QString data = qEnvironmentVariable("ZENDRIK_DATA_DIR");
    const Run r =
        zendrikPrint({QStringLiteral("--set"), QStringLiteral("DocFile=%1/Demo1.txt").arg(data),
                      QStringLiteral("--set=DocFileAllData=true"), QStringLiteral("--set"),
                      QStringLiteral("PaperSize=1"), QStringLiteral("--set"), QStringLiteral("DocTextFont.Size=12"),
                      QStringLiteral("--set"), QStringLiteral("PrintPageNumbers=-1"), QStringLiteral("--pdf"), pdf},
                     dir.path());
    QCOMPARE(r.exitCode, 0);
    // Not a terminal: nothing per page.
    QVERIFY2(!r.err.contains(QLatin1String("page")), qPrintable(r.err));
    const pdftools::Info info = pdftools::info(pdf);
    QVERIFY(info.ok);
    QCOMPARE(info.pageSize, QSizeF(612, 792));
    QVERIFY(info.pages >= 3);
    QCOMPARE(info.title, QStringLiteral("Zendrik: Printing Documents with Orvanel"));
    QVERIFY(pdftools::text(pdf, 1).contains(QStringLiteral("Page 1 of %1").arg(info.pages)));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("out.pdf")});
}

void TestZendrikPrint::printsIntoThePdfFolder() {
    QTemporaryDir dir;
    const Run r =
        zendrikPrint({QStringLiteral("--set"), QStringLiteral("DocTitle=Report"), QStringLiteral("--set"),
                      QStringLiteral("DocText=Hello"), QStringLiteral("--printer"), QStringLiteral("Save as PDF")},
                     dir.path());
    QCOMPARE(r.exitCode, 0);
    QVERIFY(pdftools::text(dir.filePath(QStringLiteral("Report.pdf"))).contains(QLatin1String("Hello")));
    QVERIFY2(r.err.contains(QStringLiteral("Print complete: %1").arg(dir.filePath(QStringLiteral("Report.pdf")))),
             qPrintable(r.err));
}

void TestZendrikPrint::documents_data() {
    QTest::addColumn<QStringList>("args"); // FILE stands for a text file, OUT for the PDF
    QTest::addColumn<bool>("fromStandardInput");
    QTest::addColumn<QString>("shows");
    QTest::newRow("a FILE") << QStringList{"FILE", "-o", "OUT"} << false << "document body";
    QTest::newRow("standard input, streamed") << QStringList{"-o", "OUT"} << true << "document body";
    QTest::newRow("- for standard input") << QStringList{"-", "-o", "OUT"} << true << "document body";
    QTest::newRow("standard input streamed with Page N of M")
        << QStringList{"--set", "PrintPageNumbers=true", "-o", "OUT"} << true << "Page 1 of ";
    QTest::newRow("the PDF on standard output") << QStringList{"FILE", "-o", "-"} << false << "document body";
    QTest::newRow("options for members") << QStringList{"FILE",    "--paper",
                                                        "letter",  "--landscape",
                                                        "--title", "Options",
                                                        "--font",  "DejaVu Serif Bold 9",
                                                        "--set",   "PrintQuality=High",
                                                        "-n",      "2",
                                                        "--pdf",   "OUT"}
                                         << false << "Options";
}

void TestZendrikPrint::documents() {
    QFETCH(QStringList, args);
    QFETCH(bool, fromStandardInput);
    QFETCH(QString, shows);
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("out.pdf"));
    args.replaceInStrings(QRegularExpression(QStringLiteral("^FILE$")), text_);
    args.replaceInStrings(QRegularExpression(QStringLiteral("^OUT$")), pdf);
    QByteArray input;
    if (fromStandardInput) {
        QFile f(text_);
        QVERIFY(f.open(QIODevice::ReadOnly));
        input = f.readAll();
    }
    const Run r = zendrikPrint(args, dir.path(), input);
    QVERIFY2(r.exitCode == 0, qPrintable(r.err));
    if (args.last() == u"-") {
        QVERIFY(r.out.startsWith("%PDF-") && r.out.trimmed().endsWith("%%EOF"));
        QFile f(pdf);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(r.out);
    } else {
        QVERIFY(r.out.isEmpty());
    }
    QVERIFY2(pdftools::text(pdf, 1).contains(shows), qPrintable(pdftools::text(pdf, 1)));
    if (args.contains(QStringLiteral("--landscape"))) {
        QCOMPARE(pdftools::info(pdf).pageSize, QSizeF(792, 612));
        QVERIFY(pdftools::fonts(pdf).filter(QStringLiteral("DejaVuSerif-Bold")).size() == 1);
    }
}

void TestZendrikPrint::eachFileIsADocument() {
    QTemporaryDir dir;
    const QString second = dir.filePath(QStringLiteral("second.txt"));
    QFile f(second);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("The second document.\n");
    f.close();
    const Run r = zendrikPrint({text_, second, QStringLiteral("-P"), QStringLiteral("Save as PDF")}, dir.path());
    QVERIFY2(r.exitCode == 0, qPrintable(r.err));
    QVERIFY(pdftools::text(dir.filePath(QStringLiteral("Untitled.pdf"))).contains(QLatin1String("document body")));
    QVERIFY(
        pdftools::text(dir.filePath(QStringLiteral("Untitled (2).pdf"))).contains(QLatin1String("second document")));
}

void TestZendrikPrint::failures_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("mentions");
    QTest::newRow("refused paper size") << QStringList{"--set", "PaperSize=42", "--pdf", "x.pdf"} << 2 << "PaperSize";
    QTest::newRow("unknown paper name") << QStringList{"--paper", "A44", "--pdf", "x.pdf"} << 2 << "A44";
    QTest::newRow("refused font size") << QStringList{"--set", "DocTitleFont.Size=huge"} << 2 << "huge";
    QTest::newRow("unknown member") << QStringList{"--set", "Colour=red"} << 2 << "Colour";
    QTest::newRow("unknown option") << QStringList{"--colour"} << 2 << "--colour";
    QTest::newRow("missing value") << QStringList{"--set"} << 2 << "--set";
    QTest::newRow("empty PDF name") << QStringList{"--pdf", ""} << 2 << "--output needs a file name";
    QTest::newRow("empty printer name") << QStringList{"--printer", "", "--set", "DocText=x"} << 2 << "--printer";
    QTest::newRow("printer name with a space")
        << QStringList{"-P", "two words", "--set", "DocText=x"} << 2 << "\"two words\"";
    QTest::newRow("one PDF for two documents") << QStringList{"-o", "x.pdf", "a.txt", "b.txt"} << 2 << "one document";
    QTest::newRow("missing file") << QStringList{"--set", "DocFile=/nonexistent/doc.txt", "--pdf", "x.pdf"} << 1
                                  << "/nonexistent/doc.txt\": No such file or directory";
    QTest::newRow("pictures of a missing file")
        << QStringList{"--set", "DocFile=/nonexistent/doc.txt", "--png", "pages"} << 1 << "/nonexistent/doc.txt";
    QTest::newRow("pages past the end") << QStringList{"--set", "DocText=x", "--png", "pages", "--pages", "1-2"} << 2
                                        << "the document has 1 page";
    QTest::newRow("pages backwards") << QStringList{"--png", "pages", "--pages", "3-2"} << 2 << "--pages 3-2";
    QTest::newRow("resolution 0") << QStringList{"--png", "pages", "--dpi", "0"} << 2 << "--dpi 0";
    QTest::newRow("pictures and a printer") << QStringList{"--png", "pages", "--pdf", "x.pdf"} << 2 << "--png";
    QTest::newRow("pages without pictures") << QStringList{"--pages", "1"} << 2 << "--png";
}

void TestZendrikPrint::failures() {
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QString, mentions);
    QTemporaryDir dir;
    for (const char* option : {"--pdf", "--png"}) {
        const qsizetype at = args.indexOf(QLatin1String(option));
        if (at >= 0 && !args[at + 1].isEmpty())
            args[at + 1] = dir.filePath(args[at + 1]);
    }
    const Run r = zendrikPrint(args, dir.path());
    QCOMPARE(r.exitCode, exitCode);
    QVERIFY2(r.err.contains(mentions), qPrintable(r.err));
    QVERIFY(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
}

// The pages chosen, each the component's preview of it at that resolution, and nothing else. A
// symbolic link or a FIFO planted under a page's name is replaced, not written through.
void TestZendrikPrint::writesThePagesAsPictures() {
    QTemporaryDir dir;
    const QString data = qEnvironmentVariable("ZENDRIK_DATA_DIR");
    const QString folder = dir.filePath(QStringLiteral("pages"));
    const QString victim = dir.filePath(QStringLiteral("victim.txt"));
    QVERIFY(QDir().mkpath(folder));
    QVERIFY(QFile(data + "/Demo1.txt").copy(victim));
    QVERIFY(QFile::link(victim, folder + "/page-0002.png"));
    QCOMPARE(mkfifo(QFile::encodeName(folder + "/page-0003.png").constData(), 0600), 0);
    const Run r = zendrikPrint({"--set", "DocFile=" + data + "/Demo1.txt", "--set", "DocFileAllData=true", "--png",
                                folder, "--pages", "2-3", "--dpi", "50"},
                               dir.path());
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::System | QDir::Hidden),
             (QStringList{"page-0002.png", "page-0003.png"}));
    QVERIFY(!QFileInfo(folder + "/page-0002.png").isSymLink());
    QCOMPARE(QFileInfo(victim).size(), QFileInfo(data + "/Demo1.txt").size());

    // A document named as a page of the folder it is drawn into is refused, and kept.
    const QString named = dir.filePath(QStringLiteral("page-0001.png"));
    QVERIFY(QFile::rename(victim, named));
    const Run refused = zendrikPrint({named, "--png", dir.path(), "--pages", "1", "--dpi", "20"}, dir.path());
    QCOMPARE(refused.exitCode, 1);
    QVERIFY2(refused.err.contains("it is the document to print"), qPrintable(refused.err));
    QCOMPARE(QFileInfo(named).size(), QFileInfo(data + "/Demo1.txt").size());
    zendrik::Zendrik z;
    z.setDocFile(data + "/Demo1.txt");
    z.setDocFileAllData(true);
    for (int page : {2, 3}) {
        const QImage written(QDir(folder).filePath(QStringLiteral("page-%1.png").arg(page, 4, 10, QLatin1Char('0'))));
        QCOMPARE(written.size(), QSize(414, 585)); // A4 at 50 dpi, whole pixels covering it
        QCOMPARE(written.convertToFormat(QImage::Format_RGB32), z.PreviewPage(page, 50));
    }
    QVERIFY(QDir(dir.path()).entryList(QStringList{"*.pdf"}, QDir::Files).isEmpty());
}

void TestZendrikPrint::listsPrintersWithTheDefaultMarked() {
    QTemporaryDir dir;
    const Run r = zendrikPrint({QStringLiteral("--list-printers")}, dir.path());
    QCOMPARE(r.exitCode, 0);
    const QStringList lines = QString::fromUtf8(r.out).split(u'\n', Qt::SkipEmptyParts);
    QVERIFY(!lines.isEmpty());
    QVERIFY(lines.last().startsWith(QLatin1String("Save as PDF")));
    QCOMPARE(lines.filter(QRegularExpression(QStringLiteral(" \\*$"))).size(), 1);
}

// One line rewritten in place while the pages go out, then one summary line.
void TestZendrikPrint::progressOnATerminal() {
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("long.pdf"));
    // About 150 pages: enough to see the line updated, few enough for the sanitizer build.
    OnATerminal run({longDocument(dir, 8000), QStringLiteral("--set"), QStringLiteral("PrintPageNumbers=true"),
                     QStringLiteral("-o"), pdf},
                    dir.path());
    // Read while it runs: a terminal nobody reads would hold the tool.
    const QString shown = run.readUntil(QRegularExpression(QStringLiteral("pages/s\\)")), 120000);
    QVERIFY(run.process.waitForFinished(10000));
    QCOMPARE(run.process.exitCode(), 0);
    const int pages = pdftools::info(pdf).pages;
    QVERIFY(pages > 100);
    // Pages are laid out in one pass: their count is known only at the end.
    QVERIFY2(shown.contains(QStringLiteral("\r\x1b[Kpage 1\r")), qPrintable(shown));
    const QStringList lines = shown.split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 1);
    QVERIFY2(QRegularExpression(QStringLiteral("Print complete: %1 \\(%2 pages in [\\d.]+ s, \\d+ pages/s\\)")
                                    .arg(QRegularExpression::escape(pdf))
                                    .arg(pages))
                 .match(lines.last())
                 .hasMatch(),
             qPrintable(lines.last()));
}

void TestZendrikPrint::controlCharactersAreShownEscapedOnATerminal() {
    QTemporaryDir dir;
    const QString name = QStringLiteral("red\x1b[31m\u202Efdp.pdf");
    OnATerminal run({text_, QStringLiteral("-o"), dir.filePath(name)}, dir.path());
    const QString shown = run.readUntil(QRegularExpression(QStringLiteral("Print complete.*\n")), 60000);
    QVERIFY(run.process.waitForFinished(10000));
    QCOMPARE(run.process.exitCode(), 0);
    QVERIFY2(shown.contains(QStringLiteral("red\\x1b[31m\\u202efdp.pdf")), qPrintable(shown));
    QVERIFY(!shown.contains(QStringLiteral("\x1b[31m")) && !shown.contains(QChar(0x202E)));
    QVERIFY(QFile::exists(dir.filePath(name)));
}

// A job started with standard input, output and error closed writes a valid PDF: progress and
// messages never share a descriptor with it.
void TestZendrikPrint::closedStandardDescriptorsNeverTakeTheJob() {
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("out.pdf"));
    const int status = QProcess::execute(QStringLiteral("sh"),
                                         {QStringLiteral("-c"), QStringLiteral("exec <&- >&- 2>&-; exec \"$0\" \"$@\""),
                                          QStringLiteral(ZENDRIK_PRINT_PATH), text_, QStringLiteral("--set"),
                                          QStringLiteral("PrintPageNumbers=true"), QStringLiteral("-o"), pdf});
    QCOMPARE(status, 0);
    const pdftools::Info info = pdftools::info(pdf);
    QVERIFY(info.ok);
    QVERIFY(pdftools::text(pdf, 1).contains(QStringLiteral("Page 1 of %1").arg(info.pages)));
    const int closedOutput = QProcess::execute(
        QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("exec >&- 2>&-; exec \"$0\" \"$@\""),
                               QStringLiteral(ZENDRIK_PRINT_PATH), text_, QStringLiteral("-o"), QStringLiteral("-")});
    QCOMPARE(closedOutput, 1);
}

void TestZendrikPrint::interruptedPrintLeavesNothing_data() {
    QTest::addColumn<int>("signal");
    QTest::addColumn<bool>("withoutUnnamedFiles");
    QTest::newRow("SIGKILL: no chance to clean up") << int(SIGKILL) << false;
    QTest::newRow("SIGTERM cancels") << int(SIGTERM) << false;
    QTest::newRow("SIGINT cancels") << int(SIGINT) << false;
    QTest::newRow("SIGHUP cancels") << int(SIGHUP) << false;
    QTest::newRow("SIGTERM, on a file system without unnamed files") << int(SIGTERM) << true;
}

void TestZendrikPrint::interruptedPrintLeavesNothing() {
    QFETCH(int, signal);
    QFETCH(bool, withoutUnnamedFiles);
    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("out"));
    QVERIFY(QDir().mkpath(out));
    if (withoutUnnamedFiles) {
        // A FUSE mount (bindfs): the PDF is written as a hidden named file there.
        const QString source = dir.filePath(QStringLiteral("source"));
        QVERIFY(QDir().mkpath(source));
        if (!QFile::exists(QStringLiteral("/dev/fuse")) ||
            QProcess::execute(QStringLiteral("bindfs"), {source, out}) != 0)
            QSKIP("cannot mount a FUSE file system here (bindfs, /dev/fuse)");
    }
    const auto unmountFuse = qScopeGuard([&] {
        if (withoutUnnamedFiles && QProcess::execute(QStringLiteral("fusermount"), {QStringLiteral("-u"), out}) != 0)
            QProcess::execute(QStringLiteral("umount"), {out});
    });
    OnATerminal run({longDocument(dir), QStringLiteral("--printer"), QStringLiteral("Save as PDF")}, out);
    // The progress line says that the job is well under way: page 20 or later.
    const QRegularExpression underWay(QStringLiteral("page ([2-9]\\d|\\d{3,})"));
    const QString progress = run.readUntil(underWay);
    QVERIFY2(underWay.match(progress).hasMatch(), qPrintable(progress));
    ::kill(pid_t(run.process.processId()), signal);
    QVERIFY(run.process.waitForFinished(10000));
    if (signal != SIGKILL) {
        // The print ends as cancelled, through the component, not by the signal.
        QCOMPARE(run.process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(run.process.exitCode(), 1);
        const QString shown = run.readUntil(QRegularExpression(QStringLiteral("cancelled")), 5000);
        QVERIFY2(shown.contains(QStringLiteral("cancelled")), qPrintable(shown));
    }
    QCOMPARE(QDir(out).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
}

QTEST_MAIN(TestZendrikPrint)
#include "tst_zendrikprint.moc"
