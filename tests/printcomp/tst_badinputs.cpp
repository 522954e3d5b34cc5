// What a user or a file can throw at the component, through its public members and the PDFs it
// writes. Unless a case prints, it must end in one PrintError naming the cause, leave no file
// behind, and leave the component able to print the next job.

#include "pdftools.h"
#include <zendrik/zendrik.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <sys/stat.h>
#include <unistd.h>

using namespace zendrik;

namespace {

struct Outcome {
    int pages = 0; // PrintingPage events
    int completions = 0;
    QList<int> codes;
    QStringList errors;
};

// Runs one job to its end and records its events.
Outcome printOnce(Zendrik& z, int timeoutMs = 60000) {
    Outcome out;
    QMetaObject::Connection c1 = QObject::connect(&z, &Zendrik::PrintingPage, [&](qint32) { ++out.pages; });
    QMetaObject::Connection c2 = QObject::connect(&z, &Zendrik::PrintComplete, [&] { ++out.completions; });
    QMetaObject::Connection c3 = QObject::connect(&z, &Zendrik::PrintError, [&](qint32 code, const QString& text) {
        out.codes << code;
        out.errors << text;
    });
    z.PrintDoc(QString::fromLatin1(kSaveAsPdfPrinter));
    const bool idle = z.waitForIdle(timeoutMs);
    QObject::disconnect(c1);
    QObject::disconnect(c2);
    QObject::disconnect(c3);
    if (!idle)
        out.errors << QStringLiteral("timed out");
    return out;
}

struct ToolRun {
    bool started = false;
    int exitCode = -1;
    QString err;
};

// Root reads and writes whatever the permissions say, so the cases about permissions run the
// command-line front end as an unprivileged user instead.
ToolRun runAsNobody(const QStringList& args, const QString& pdfDir) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("ZENDRIK_PDF_DIR"), pdfDir);
    env.insert(QStringLiteral("HOME"), QDir::tempPath());
    p.setProcessEnvironment(env);
    p.start(QStringLiteral("setpriv"),
            QStringList{"--reuid=65534", "--regid=65534", "--clear-groups", QStringLiteral(ZENDRIK_PRINT_PATH)} + args);
    ToolRun run;
    run.started = p.waitForStarted(10000) && p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit;
    run.exitCode = p.exitCode();
    run.err = QString::fromLocal8Bit(p.readAllStandardError());
    return run;
}

// A folder that the unprivileged user can enter and read, but not write.
QString openFolder(const QTemporaryDir& parent, const QString& name) {
    const QString path = parent.filePath(name);
    QDir().mkdir(path);
    const auto readable = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                          QFileDevice::ReadOther | QFileDevice::ExeOther;
    QFile::setPermissions(parent.path(), readable);
    QFile::setPermissions(path, readable);
    return path;
}

bool nobodyCanRunTheTool() {
    const ToolRun run = runAsNobody({QStringLiteral("--help")}, QDir::tempPath());
    return run.started && run.exitCode == 0;
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(bytes), bytes.size());
}

} // namespace

class TestBadInputs : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void dataFilesThatPrint_data();
    void dataFilesThatPrint();
    void oneLineOfFiveMegabytes();
    void dataFilesRefused_data();
    void dataFilesRefused();
    void fileRemovedBeforeTheJobStarts();
    void fileWithoutReadPermission();
    void margins_data();
    void margins();
    void fontSizesOfTheLists();
    void fontSizesRefused_data();
    void fontSizesRefused();
    void missingFontFallsBack();
    void tenThousandPages();
    void pdfFolderUnusable_data();
    void pdfFolderUnusable();
    void pdfFolderFull();
    void hundredJobsAtOnce();

private:
    // The files in the PDF folder (hidden ones too), sorted.
    QStringList entries() const;
    // The component prints a small document after whatever came before.
    void checkStillPrints(Zendrik& z);
    // The job failed with `code` naming `mentions`, and left nothing in the PDF folder.
    void checkRefused(const Outcome& out, ErrorCode code, const QString& mentions);

    std::unique_ptr<QTemporaryDir> pdfDir_;
    std::unique_ptr<QTemporaryDir> dataDir_;
};

void TestBadInputs::init() {
    pdfDir_ = std::make_unique<QTemporaryDir>();
    dataDir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(pdfDir_->isValid() && dataDir_->isValid());
    qputenv("ZENDRIK_PDF_DIR", pdfDir_->path().toLocal8Bit());
}

void TestBadInputs::cleanup() {
    qunsetenv("ZENDRIK_PDF_DIR");
    pdfDir_.reset();
    dataDir_.reset();
}

QStringList TestBadInputs::entries() const {
    return QDir(pdfDir_->path())
        .entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

void TestBadInputs::checkStillPrints(Zendrik& z) {
    const QStringList before = entries();
    z.setDocFile(QString());
    z.setDocTitle(QStringLiteral("Next job"));
    z.setDocText(QStringLiteral("The component still prints."));
    z.setMarginLeft(1440);
    z.setMarginRight(1440);
    z.setMarginTop(1440);
    z.setMarginBottom(1440);
    const Outcome next = printOnce(z);
    QVERIFY2(next.errors.isEmpty(), qPrintable(next.errors.join(u'\n')));
    QCOMPARE(next.completions, 1);
    QCOMPARE(entries(), QStringList(before) << QStringLiteral("Next job.pdf"));
    QVERIFY(pdftools::text(pdfDir_->filePath(QStringLiteral("Next job.pdf"))).contains(QLatin1String("still prints")));
    QFile::remove(pdfDir_->filePath(QStringLiteral("Next job.pdf")));
}

void TestBadInputs::checkRefused(const Outcome& out, ErrorCode code, const QString& mentions) {
    QCOMPARE(out.completions, 0);
    QCOMPARE(out.codes, QList<int>{int(code)});
    QVERIFY2(out.errors.first().contains(mentions, Qt::CaseInsensitive), qPrintable(out.errors.first()));
    QCOMPARE(out.pages, 0);
    QCOMPARE(entries(), QStringList());
}

void TestBadInputs::dataFilesThatPrint_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("printed");
    QTest::newRow("0 bytes: one page") << QByteArray() << "";
    QTest::newRow("invalid UTF-8 read as Windows-1252")
        << QByteArray("caf\xe9 \x93quoted\x94 costs \x80 5") << QStringLiteral("café “quoted” costs € 5");
    QTest::newRow("UTF-16 LE without BOM")
        << QByteArray("S\0i\0x\0t\0e\0e\0n\0 \0b\0i\0t\0s\0\r\0\n\0", 28) << "Sixteen bits";
    QTest::newRow("UTF-16 BE without BOM") << QByteArray("\0B\0i\0g\0 \0e\0n\0d\0", 14) << "Big end";
}

void TestBadInputs::dataFilesThatPrint() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, printed);
    const QString path = dataDir_->filePath(QStringLiteral("data.txt"));
    writeFile(path, bytes);
    Zendrik z;
    z.setDocTitle(QStringLiteral("Data"));
    z.setDocFile(path);
    const Outcome out = printOnce(z);
    QVERIFY2(out.errors.isEmpty(), qPrintable(out.errors.join(u'\n')));
    QCOMPARE(out.completions, 1);
    QCOMPARE(out.pages, 1);
    const QString pdf = pdfDir_->filePath(QStringLiteral("Data.pdf"));
    QCOMPARE(pdftools::info(pdf).pages, 1);
    QVERIFY2(pdftools::text(pdf).contains(printed), qPrintable(pdftools::text(pdf)));
}

// Exactly 160 pieces of the reader: the last line of such a paragraph was once lost.
void TestBadInputs::oneLineOfFiveMegabytes() {
    constexpr qsizetype kSize = 5 * 1024 * 1024;
    QByteArray line;
    line.reserve(kSize);
    while (line.size() < kSize)
        line += "0123456789";
    line.truncate(kSize - 3);
    line += "END";
    const QString path = dataDir_->filePath(QStringLiteral("long.txt"));
    writeFile(path, line);
    Zendrik z;
    z.setDocTitle(QStringLiteral("Long"));
    z.setDocFile(path);
    z.setPrintPageNumbers(true);
    const Outcome out = printOnce(z, 300000);
    QVERIFY2(out.errors.isEmpty(), qPrintable(out.errors.join(u'\n')));
    QCOMPARE(out.completions, 1);
    const QString pdf = pdfDir_->filePath(QStringLiteral("Long.pdf"));
    const pdftools::Info info = pdftools::info(pdf);
    QCOMPARE(info.pages, out.pages);
    QVERIFY(info.pages > 500);
    QString text = pdftools::text(pdf);
    static const QRegularExpression pageNumbers(QStringLiteral("Page \\d+ of \\d+|Long|\\s"));
    text.remove(pageNumbers);
    QCOMPARE(text.size(), kSize);
    QVERIFY(text.endsWith(QLatin1String(line.right(16))));
}

void TestBadInputs::dataFilesRefused_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("mentions");
    QTest::newRow("only NUL bytes") << "nul"
                                    << "binary";
    QTest::newRow("a directory") << "directory"
                                 << "Is a directory";
    QTest::newRow("a FIFO, without a writer") << "fifo"
                                              << "not a regular file";
    QTest::newRow("a missing file") << "missing"
                                    << "No such file";
}

void TestBadInputs::dataFilesRefused() {
    QFETCH(QString, kind);
    QFETCH(QString, mentions);
    const QString path = dataDir_->filePath(QStringLiteral("input"));
    if (kind == u"nul")
        writeFile(path, QByteArray(4096, '\0'));
    else if (kind == u"directory")
        QVERIFY(QDir().mkdir(path));
    else if (kind == u"fifo")
        QCOMPARE(mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    Zendrik z;
    z.setDocTitle(QStringLiteral("Refused"));
    z.setDocFile(path);
    z.setDocFileAllData(true);
    const Outcome out = printOnce(z, 30000);
    checkRefused(out, ErrorCode::DocumentUnreadable, mentions);
    QVERIFY2(out.errors.first().contains(QDir::toNativeSeparators(path)), qPrintable(out.errors.first()));
    checkStillPrints(z);
}

void TestBadInputs::fileRemovedBeforeTheJobStarts() {
    const QString path = dataDir_->filePath(QStringLiteral("soon-gone.txt"));
    writeFile(path, "This file is removed before its job starts.");
    Zendrik z;
    QStringList events;
    connect(&z, &Zendrik::PrintComplete, this, [&] { events << QStringLiteral("complete"); });
    connect(&z, &Zendrik::PrintError, this, [&](qint32 code, const QString& text) {
        events << QStringLiteral("error %1").arg(code);
        QVERIFY2(text.contains(QLatin1String("No such file")), qPrintable(text));
    });
    // The first job keeps the worker busy while the file goes away.
    QString busy;
    for (int i = 0; i < 20000; ++i)
        busy += QStringLiteral("word%1 ").arg(i);
    z.setDocTitle(QStringLiteral("Busy"));
    z.setDocText(busy);
    z.PrintDoc(QString::fromLatin1(kSaveAsPdfPrinter));
    z.setDocTitle(QStringLiteral("Gone"));
    z.setDocFile(path);
    z.PrintDoc(QString::fromLatin1(kSaveAsPdfPrinter));
    QVERIFY(QFile::remove(path));
    QVERIFY(z.waitForIdle(60000));
    QCOMPARE(events, (QStringList{QStringLiteral("complete"), QStringLiteral("error 1")}));
    QCOMPARE(entries(), QStringList{QStringLiteral("Busy.pdf")});
    checkStillPrints(z);
}

void TestBadInputs::fileWithoutReadPermission() {
    if (geteuid() == 0) {
        if (!nobodyCanRunTheTool())
            QSKIP("running as root, and the build cannot be run by an unprivileged user from here");
        const QString folder = openFolder(*dataDir_, QStringLiteral("shared"));
        const QString path = folder + QStringLiteral("/secret.txt");
        writeFile(path, "secret");
        QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
        const QString out = openFolder(*pdfDir_, QStringLiteral("out"));
        QVERIFY(QFile::setPermissions(out, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                                               QFileDevice::ReadOther | QFileDevice::WriteOther |
                                               QFileDevice::ExeOther));
        const ToolRun run = runAsNobody({QStringLiteral("--set"), QStringLiteral("DocFile=") + path,
                                         QStringLiteral("--printer"), QStringLiteral("Save as PDF")},
                                        out);
        QVERIFY(run.started);
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.contains(QLatin1String("Permission denied")) && run.err.contains(path), qPrintable(run.err));
        QCOMPARE(QDir(out).entryList(QDir::Files | QDir::Hidden), QStringList());
        return;
    }
    const QString path = dataDir_->filePath(QStringLiteral("secret.txt"));
    writeFile(path, "secret");
    QVERIFY(QFile::setPermissions(path, QFileDevice::WriteOwner));
    Zendrik z;
    z.setDocFile(path);
    checkRefused(printOnce(z), ErrorCode::DocumentUnreadable, QStringLiteral("Permission denied"));
    checkStillPrints(z);
}

void TestBadInputs::margins_data() {
    QTest::addColumn<QList<int>>("margins"); // left, top, right, bottom in twips
    QTest::addColumn<bool>("prints");
    QTest::addColumn<QString>("mentions");
    QTest::newRow("all 0") << QList<int>{0, 0, 0, 0} << true << "";
    QTest::newRow("left 32767") << QList<int>{32767, 1440, 1440, 1440} << false << "no room";
    QTest::newRow("top 32767") << QList<int>{1440, 32767, 1440, 1440} << false << "no room";
    // A4 is 11906 x 16838 twips.
    QTest::newRow("left and right wider than the paper") << QList<int>{6000, 1440, 6000, 1440} << false << "no room";
    QTest::newRow("top and bottom taller than the paper") << QList<int>{1440, 8500, 1440, 8500} << false << "no room";
}

void TestBadInputs::margins() {
    QFETCH(QList<int>, margins);
    QFETCH(bool, prints);
    QFETCH(QString, mentions);
    Zendrik z;
    z.setDocTitle(QStringLiteral("Margins"));
    z.setDocText(
        QStringLiteral("Body text that reaches the edge of the paper when the margins are zero. ").repeated(20));
    z.setDrawBorder(true);
    z.setMarginLeft(static_cast<qint16>(margins[0]));
    z.setMarginTop(static_cast<qint16>(margins[1]));
    z.setMarginRight(static_cast<qint16>(margins[2]));
    z.setMarginBottom(static_cast<qint16>(margins[3]));
    const Outcome out = printOnce(z);
    if (prints) {
        QVERIFY2(out.errors.isEmpty(), qPrintable(out.errors.join(u'\n')));
        QCOMPARE(out.completions, 1);
        QVERIFY(pdftools::text(pdfDir_->filePath(QStringLiteral("Margins.pdf"))).contains(QLatin1String("Body text")));
        QVERIFY(QFile::remove(pdfDir_->filePath(QStringLiteral("Margins.pdf"))));
    } else {
        checkRefused(out, ErrorCode::NoRoomForBody, mentions);
    }
    checkStillPrints(z);
}

void TestBadInputs::fontSizesOfTheLists() {
    Zendrik z;
    z.setDocHeader(QStringLiteral("Header"));
    z.setDocFooter(QStringLiteral("Footer"));
    z.setDocText(QStringLiteral("Body text in every size of the lists. ").repeated(30));
    z.setPrintPageNumbers(true);
    for (int size : {8, 9, 10, 11, 12, 14, 16, 18, 20, 22, 24, 26, 28}) {
        const QString text = QString::number(size);
        z.DocTitleFont().setSize(text);
        z.DocTextFont().setSize(text);
        z.DocHeaderFont().setSize(text);
        z.DocFooterFont().setSize(text);
        z.setDocTitle(QStringLiteral("Size %1").arg(size));
        const Outcome out = printOnce(z);
        QVERIFY2(out.errors.isEmpty(), qPrintable(out.errors.join(u'\n')));
        QCOMPARE(out.completions, 1);
        const QString pdf = pdfDir_->filePath(QStringLiteral("Size %1.pdf").arg(size));
        QCOMPARE(pdftools::info(pdf).pages, out.pages);
        QVERIFY(pdftools::text(pdf, out.pages).contains(QStringLiteral("Page %1 of %1").arg(out.pages)));
    }
}

void TestBadInputs::fontSizesRefused_data() {
    QTest::addColumn<QString>("size");
    QTest::newRow("0") << "0";
    QTest::newRow("smallest double") << "4.9e-324";
    QTest::newRow("half a point") << "0.5";
    QTest::newRow("past the largest") << "800.5";
    QTest::newRow("-1") << "-1";
    QTest::newRow("1e9") << "1e9";
    QTest::newRow("abc") << "abc";
    QTest::newRow("empty") << "";
    QTest::newRow("nan") << "nan";
    QTest::newRow("inf") << "inf";
}

void TestBadInputs::fontSizesRefused() {
    QFETCH(QString, size);
    Zendrik z;
    z.DocTextFont().setSize(QStringLiteral("12"));
    try {
        z.DocTextFont().setSize(size);
        QFAIL("the size was taken");
    } catch (const RefusedValue& e) {
        QVERIFY2(QString::fromUtf8(e.what()).contains(QStringLiteral("accepted: 1 to 800 points")), e.what());
    }
    QVERIFY_THROWS_EXCEPTION(RefusedValue, z.setMember(QStringLiteral("DocTitleFont.Size"), size));
    bool isNumber = false;
    const double number = size.toDouble(&isNumber);
    if (isNumber)
        QVERIFY_THROWS_EXCEPTION(RefusedValue, z.DocHeaderFont().setSize(number));
    QCOMPARE(z.DocTextFont().Size(), 12.0);
    QCOMPARE(z.DocTitleFont().Size(), 16.0);
    checkStillPrints(z);
}

void TestBadInputs::missingFontFallsBack() {
    Zendrik z;
    z.setDocTitle(QStringLiteral("Fallback"));
    z.setDocText(QStringLiteral("Printed in a font that exists."));
    for (ZendrikFont* font : {&z.DocTitleFont(), &z.DocTextFont(), &z.DocHeaderFont(), &z.DocFooterFont()})
        font->setName(QStringLiteral("No Such Font Family 12345"));
    const Outcome out = printOnce(z);
    QVERIFY2(out.errors.isEmpty(), qPrintable(out.errors.join(u'\n')));
    QCOMPARE(out.completions, 1);
    const QString pdf = pdfDir_->filePath(QStringLiteral("Fallback.pdf"));
    QVERIFY(pdftools::text(pdf).contains(QLatin1String("font that exists")));
    const QStringList fonts = pdftools::fonts(pdf);
    QVERIFY(!fonts.isEmpty());
    for (const QString& font : fonts)
        QVERIFY2(font.contains(QLatin1String(" yes ")) && !font.contains(QLatin1String("No Such")), qPrintable(font));
}

// One line of a very large body font per page.
void TestBadInputs::tenThousandPages() {
    constexpr int kPages = 10000;
    Zendrik z;
    z.DocTextFont().setSize(QStringLiteral("360"));
    z.setDocText(QStringLiteral("x\r\n").repeated(kPages));
    z.setPrintPageNumbers(true);
    const Outcome out = printOnce(z, 120000);
    QVERIFY2(out.errors.isEmpty(), qPrintable(out.errors.join(u'\n')));
    QCOMPARE(out.completions, 1);
    QCOMPARE(out.pages, kPages);
    const QString pdf = pdfDir_->filePath(QStringLiteral("Untitled.pdf"));
    QCOMPARE(pdftools::info(pdf).pages, kPages);
    QVERIFY(pdftools::text(pdf, kPages).contains(QStringLiteral("Page %1 of %1").arg(kPages)));
}

void TestBadInputs::pdfFolderUnusable_data() {
    QTest::addColumn<QString>("kind");
    QTest::newRow("under a regular file") << "file";
    QTest::newRow("a regular file") << "is file";
    QTest::newRow("read-only") << "readonly";
}

void TestBadInputs::pdfFolderUnusable() {
    QFETCH(QString, kind);
    QString folder;
    if (kind.endsWith(u"file")) {
        // No one, root included, can create a folder inside a regular file.
        const QString file = dataDir_->filePath(QStringLiteral("plain-file"));
        writeFile(file, "x");
        folder = kind == u"file" ? file + QStringLiteral("/pdf") : file;
    } else {
        if (geteuid() == 0) {
            if (!nobodyCanRunTheTool())
                QSKIP("running as root, and the build cannot be run by an unprivileged user from here");
            // Root's folder, open to read: read-only for the unprivileged user.
            folder = openFolder(*dataDir_, QStringLiteral("readonly"));
            const ToolRun run = runAsNobody({QStringLiteral("--set"), QStringLiteral("DocTitle=Nowhere"),
                                             QStringLiteral("--set"), QStringLiteral("DocText=text"),
                                             QStringLiteral("--printer"), QStringLiteral("Save as PDF")},
                                            folder);
            QVERIFY(run.started);
            QCOMPARE(run.exitCode, 1);
            QVERIFY2(run.err.contains(folder), qPrintable(run.err));
            QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList());
            return;
        }
        folder = dataDir_->filePath(QStringLiteral("readonly"));
        QVERIFY(QDir().mkdir(folder));
        QVERIFY(QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    }
    qputenv("ZENDRIK_PDF_DIR", folder.toLocal8Bit());
    Zendrik z;
    z.setDocTitle(QStringLiteral("Nowhere"));
    z.setDocText(QStringLiteral("text"));
    const Outcome out = printOnce(z);
    QCOMPARE(out.completions, 0);
    QCOMPARE(out.codes, QList<int>{int(ErrorCode::OutputFailed)});
    QVERIFY2(out.errors.first().contains(QDir::toNativeSeparators(folder)), qPrintable(out.errors.first()));
    QVERIFY2(
        out.errors.first().contains(kind == u"is file" ? QStringLiteral("is not a folder") : QStringLiteral("folder")),
        qPrintable(out.errors.first()));
    QCOMPARE(QDir(dataDir_->path()).entryList(QDir::Files | QDir::Hidden),
             QStringList{"plain-file"}.mid(kind.endsWith(u"file") ? 0 : 1));
    qputenv("ZENDRIK_PDF_DIR", pdfDir_->path().toLocal8Bit());
    checkStillPrints(z);
}

// A full disk: a small tmpfs, when this machine lets the test mount one.
void TestBadInputs::pdfFolderFull() {
    const QString mountPoint = pdfDir_->filePath(QStringLiteral("small"));
    QVERIFY(QDir().mkdir(mountPoint));
    if (geteuid() != 0 ||
        QProcess::execute(QStringLiteral("mount"), {"-t", "tmpfs", "-o", "size=64k", "tmpfs", mountPoint}) != 0)
        QSKIP("cannot mount a small tmpfs here (needs root and mount permission)");
    const auto unmount = qScopeGuard([&] { QProcess::execute(QStringLiteral("umount"), {mountPoint}); });
    qputenv("ZENDRIK_PDF_DIR", mountPoint.toLocal8Bit());
    Zendrik z;
    z.setDocTitle(QStringLiteral("Too big"));
    QString text;
    for (int i = 0; i < 40000; ++i)
        text += QStringLiteral("w%1 ").arg(i);
    z.setDocText(text);
    const Outcome out = printOnce(z);
    QCOMPARE(out.completions, 0);
    QCOMPARE(out.codes, QList<int>{int(ErrorCode::OutputFailed)});
    QVERIFY2(out.errors.first().contains(QLatin1String("No space left")), qPrintable(out.errors.first()));
    QCOMPARE(QDir(mountPoint).entryList(QDir::Files | QDir::Hidden | QDir::System), QStringList());

    z.setDocTitle(QStringLiteral("Small"));
    z.setDocText(QStringLiteral("fits"));
    const Outcome next = printOnce(z);
    QVERIFY2(next.errors.isEmpty(), qPrintable(next.errors.join(u'\n')));
    QCOMPARE(QDir(mountPoint).entryList(QDir::Files | QDir::Hidden | QDir::System), QStringList{"Small.pdf"});
}

void TestBadInputs::hundredJobsAtOnce() {
    constexpr int kJobs = 100;
    Zendrik z;
    QStringList events;
    connect(&z, &Zendrik::PrintingPage, this, [&](qint32 page) { events << QStringLiteral("page %1").arg(page); });
    connect(&z, &Zendrik::PrintComplete, this, [&] { events << QStringLiteral("complete"); });
    connect(&z, &Zendrik::PrintError, this, [&](qint32, const QString& text) { events << text; });
    z.setDocText(QStringLiteral("One of a hundred jobs."));
    for (int i = 1; i <= kJobs; ++i) {
        z.setDocTitle(QStringLiteral("Job %1").arg(i, 3, 10, QLatin1Char('0')));
        z.PrintDoc(QString::fromLatin1(kSaveAsPdfPrinter));
    }
    QCOMPARE(z.pendingJobs(), kJobs);
    QVERIFY(z.waitForIdle(300000));
    QStringList expected;
    QStringList files;
    for (int i = 1; i <= kJobs; ++i) {
        expected << QStringLiteral("page 1") << QStringLiteral("complete");
        files << QStringLiteral("Job %1.pdf").arg(i, 3, 10, QLatin1Char('0'));
    }
    QCOMPARE(events, expected);
    QCOMPARE(entries(), files);
    // In order: each file was finished no later than the next one.
    for (int i = 1; i < kJobs; ++i) {
        const QFileInfo a(pdfDir_->filePath(files[i - 1]));
        const QFileInfo b(pdfDir_->filePath(files[i]));
        QVERIFY(a.lastModified() <= b.lastModified());
    }
}

QTEST_MAIN(TestBadInputs)
#include "tst_badinputs.moc"
