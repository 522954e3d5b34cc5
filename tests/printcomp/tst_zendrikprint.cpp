// The command-line front end: options, exit status and the files it writes.

#include "pdftools.h"
#include <zendrik/members.h>
#include <zendrik/zendrik.h>

#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

namespace {

struct Run {
    int exitCode = -1;
    QString out;
    QString err;
};

Run zendrikPrint(const QStringList& args, const QString& pdfDir) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("ZENDRIK_PDF_DIR"), pdfDir);
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(ZENDRIK_PRINT_PATH), args);
    Run r;
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit)
        return r;
    r.exitCode = p.exitCode();
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

} // namespace

class TestZendrikPrint : public QObject {
    Q_OBJECT
private slots:
    void helpListsEveryMember();
    void printsExactlyTheNamedPdf();
    void printsIntoThePdfFolder();
    void failures_data();
    void failures();
    void writesThePagesAsPictures();
    void listsPrintersWithTheDefaultMarked();
    void interruptedPrintLeavesNothing_data();
    void interruptedPrintLeavesNothing();
};

void TestZendrikPrint::helpListsEveryMember() {
    QTemporaryDir dir;
    const Run r = zendrikPrint({QStringLiteral("--help")}, dir.path());
    QCOMPARE(r.exitCode, 0);
    for (const auto& m : zendrik::memberTable()) {
        if (m.kind == zendrik::MemberKind::Put) {
            QVERIFY2(r.out.contains(QLatin1String(m.name)), m.name);
            QVERIFY2(r.out.contains(zendrik::acceptedValues(m)), m.name);
        }
    }
    QVERIFY(r.out.contains(QLatin1String("DocTitleFont.Bold")));
    QVERIFY(r.out.contains(QLatin1String("DocFooterFont.Size")));
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
    QVERIFY(r.err.contains(QLatin1String("page 1")));
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

void TestZendrikPrint::failures_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("mentions");
    QTest::newRow("refused paper size") << QStringList{"--set", "PaperSize=42", "--pdf", "x.pdf"} << 2 << "PaperSize";
    QTest::newRow("refused font size") << QStringList{"--set", "DocTitleFont.Size=huge"} << 2 << "huge";
    QTest::newRow("unknown member") << QStringList{"--set", "Colour=red"} << 2 << "Colour";
    QTest::newRow("unknown option") << QStringList{"--colour"} << 2 << "--colour";
    QTest::newRow("missing value") << QStringList{"--set"} << 2 << "--set";
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
        if (at >= 0)
            args[at + 1] = dir.filePath(args[at + 1]);
    }
    const Run r = zendrikPrint(args, dir.path());
    QCOMPARE(r.exitCode, exitCode);
    QVERIFY2(r.err.contains(mentions), qPrintable(r.err));
    QVERIFY(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
}

// The pages chosen, each the component's preview of it at that resolution, and nothing else.
void TestZendrikPrint::writesThePagesAsPictures() {
    QTemporaryDir dir;
    const QString data = qEnvironmentVariable("ZENDRIK_DATA_DIR");
    const QString folder = dir.filePath(QStringLiteral("pages"));
    const Run r = zendrikPrint({"--set", "DocFile=" + data + "/Demo1.txt", "--set", "DocFileAllData=true", "--png",
                                folder, "--pages", "2-3", "--dpi", "50"},
                               dir.path());
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(QDir(folder).entryList(QDir::Files), (QStringList{"page-0002.png", "page-0003.png"}));
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
    const QStringList lines = r.out.split(u'\n', Qt::SkipEmptyParts);
    QVERIFY(!lines.isEmpty());
    QVERIFY(lines.last().startsWith(QLatin1String("Save as PDF")));
    QCOMPARE(lines.filter(QRegularExpression(QStringLiteral(" \\*$"))).size(), 1);
}

void TestZendrikPrint::interruptedPrintLeavesNothing_data() {
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGKILL: no chance to clean up") << int(SIGKILL);
    QTest::newRow("SIGTERM cancels") << int(SIGTERM);
    QTest::newRow("SIGINT cancels") << int(SIGINT);
}

void TestZendrikPrint::interruptedPrintLeavesNothing() {
    QFETCH(int, signal);
    QTemporaryDir dir;
    const QString document = dir.filePath(QStringLiteral("long.txt"));
    {
        QFile f(document);
        QVERIFY(f.open(QIODevice::WriteOnly));
        const QByteArray line("A line of text that is long enough to fill most of the width of a page.\n");
        for (int i = 0; i < 60000; ++i)
            f.write(line);
    }
    const QString out = dir.filePath(QStringLiteral("out"));
    QVERIFY(QDir().mkpath(out));
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("ZENDRIK_PDF_DIR"), out);
    p.setProcessEnvironment(env);
    p.setReadChannel(QProcess::StandardError);
    p.start(QStringLiteral(ZENDRIK_PRINT_PATH), {QStringLiteral("--set"), QStringLiteral("DocFile=") + document,
                                                 QStringLiteral("--printer"), QStringLiteral("Save as PDF")});
    QByteArray progress;
    while (!progress.contains("page 20\n") && p.waitForReadyRead(30000))
        progress += p.readAllStandardError();
    QVERIFY2(progress.contains("page 20\n"), progress.constData());
    ::kill(pid_t(p.processId()), signal);
    QVERIFY(p.waitForFinished(10000));
    if (signal != SIGKILL) {
        // The print ends as cancelled, through the component, not by the signal.
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 1);
        progress += p.readAllStandardError();
        QVERIFY2(progress.contains("cancelled"), progress.constData());
    }
    QCOMPARE(QDir(out).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
}

QTEST_MAIN(TestZendrikPrint)
#include "tst_zendrikprint.moc"
