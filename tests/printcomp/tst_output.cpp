// The output layer on its own: which paths a PDF may be written to, how a finished file gets its
// name without ever destroying another, and PDFs written into streams.

#include "output/pdffile.h"
#include "output/streamtarget.h"
#include "pdftools.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <cstring>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

using namespace zendrik;

namespace {

DocumentDescription document(const QString& title) {
    return DocumentDescription{title, QDateTime::currentDateTime(), QSizeF(595, 842), {}, {}};
}

// Writes a document of `pages` empty pages: the page count tells documents apart.
Result<OutputResult> writeDocument(OutputTarget& target, const QString& title, int pages) {
    if (Status begun = target.begin(document(title)); !begun)
        return begun.failure();
    for (int n = 1; n <= pages; ++n) {
        PreparedPage page;
        page.number = n;
        if (Status written = target.page(page); !written) {
            target.abort();
            return written.failure();
        }
    }
    return target.finish();
}

bool hasUnnamedFiles(const QString& folder) {
    const int fd = ::open(QFile::encodeName(folder).constData(), O_TMPFILE | O_WRONLY, 0600);
    if (fd >= 0)
        ::close(fd);
    return fd >= 0;
}

} // namespace

class TestOutput : public QObject {
    Q_OBJECT
private slots:
    void baseNames_data();
    void baseNames();
    void resolvedPaths_data();
    void resolvedPaths();
    void exactFileThatStopsBeingAFileIsLeftAlone();
    void concurrentJobsWithoutUnnamedFiles();
    void streams_data();
    void streams();
};

void TestOutput::baseNames_data() {
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("expected"); // "" = a prefix of the title that fits
    QTest::newRow("bidirectional controls and joiners")
        << QStringLiteral("abc\u202Egpj.exe\u2066x\u2069\u200D") << QStringLiteral("abcgpj.exex");
    QTest::newRow("controls and separators") << QStringLiteral("a\x1b[31mb\u2028c") << QStringLiteral("a_[31mb_c");
    QTest::newRow("CJK past 255 bytes") << QString(120, QChar(0x4E2D)) << "";
    QTest::newRow("surrogate pairs past 255 bytes") << QStringLiteral("\U0001F600").repeated(100) << "";
    QTest::newRow("ASCII past 255 bytes") << QString(300, u'x') << "";
}

void TestOutput::baseNames() {
    QFETCH(QString, title);
    QFETCH(QString, expected);
    const QString name = pdfBaseName(title);
    if (!expected.isEmpty()) {
        QCOMPARE(name, expected);
        return;
    }
    QVERIFY(title.startsWith(name));
    QVERIFY(!name.back().isHighSurrogate());
    // The longest name the folder may need takes the file system's limit exactly or less.
    QTemporaryDir dir;
    const QString longest = dir.filePath(name + QStringLiteral(" (9999).pdf"));
    QFile file(longest);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(file.errorString()));
    QVERIFY(QFile::encodeName(name + QStringLiteral(".pdf")).size() > 240);
}

void TestOutput::resolvedPaths_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("leadsTo"); // a name in the folder, or the start of the refusal
    QTest::addColumn<bool>("stream");
    QTest::newRow("a new file") << "missing"
                                << "out.pdf" << false;
    QTest::newRow("a regular file") << "file"
                                    << "out.pdf" << false;
    QTest::newRow("links to a file") << "links"
                                     << "target.pdf" << false;
    QTest::newRow("a dangling link") << "dangling"
                                     << "target.pdf" << false;
    QTest::newRow("a FIFO") << "fifo"
                            << "out.pdf" << true;
    QTest::newRow("a link to a FIFO") << "fifo link"
                                      << "fifo" << true;
    QTest::newRow("a character device") << "device"
                                        << "out.pdf" << true;
    QTest::newRow("a folder") << "folder"
                              << "Cannot write the PDF file" << false;
    QTest::newRow("a socket") << "socket"
                              << "Cannot write the PDF file" << false;
    QTest::newRow("a loop of links") << "loop"
                                     << "Cannot write the PDF file" << false;
}

void TestOutput::resolvedPaths() {
    QFETCH(QString, kind);
    QFETCH(QString, leadsTo);
    QFETCH(bool, stream);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("out.pdf"));
    const QByteArray name = QFile::encodeName(path);
    if (kind == u"file" || kind == u"links") {
        QFile f(kind == u"file" ? path : dir.filePath(QStringLiteral("target.pdf")));
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    if (kind == u"links") {
        QVERIFY(QFile::link(QStringLiteral("middle"), path));
        QVERIFY(QFile::link(dir.filePath(QStringLiteral("target.pdf")), dir.filePath(QStringLiteral("middle"))));
    } else if (kind == u"dangling") {
        QVERIFY(QFile::link(QStringLiteral("target.pdf"), path));
    } else if (kind == u"fifo") {
        QCOMPARE(::mkfifo(name.constData(), 0600), 0);
    } else if (kind == u"fifo link") {
        QCOMPARE(::mkfifo(QFile::encodeName(dir.filePath(QStringLiteral("fifo"))).constData(), 0600), 0);
        QVERIFY(QFile::link(QStringLiteral("fifo"), path));
    } else if (kind == u"device") {
        // A private node of the null device: never a real one of the machine.
        if (::mknod(name.constData(), S_IFCHR | 0600, makedev(1, 3)) != 0)
            QSKIP("cannot make a device node here (needs root)");
    } else if (kind == u"folder") {
        QVERIFY(QDir().mkdir(path));
    } else if (kind == u"socket") {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, name.constData(), sizeof address.sun_path - 1);
        QCOMPARE(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        ::close(fd);
    } else if (kind == u"loop") {
        QVERIFY(QFile::link(path, path));
    }
    const Result<ResolvedPdfPath> resolved = resolvePdfPath(path);
    if (leadsTo.startsWith(u"Cannot")) {
        QVERIFY(!resolved);
        QCOMPARE(resolved.failure().code, ErrorCode::OutputFailed);
        QVERIFY2(resolved.message().startsWith(leadsTo) && resolved.message().contains(path),
                 qPrintable(resolved.message()));
        return;
    }
    QVERIFY2(resolved, qPrintable(resolved.message()));
    QCOMPARE(resolved->path, dir.filePath(leadsTo));
    QCOMPARE(resolved->stream, stream);
}

// The exact file is replaced only while it is a regular file: a FIFO that took its place while
// the job was written stays, and so does nothing of the job.
void TestOutput::exactFileThatStopsBeingAFileIsLeftAlone() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("out.pdf"));
    PdfFileTarget target(dir.path(), path);
    QVERIFY(target.begin(document(QStringLiteral("Exact"))));
    QVERIFY(target.page(PreparedPage{}));
    QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    const Result<OutputResult> done = target.finish();
    QVERIFY(!done);
    QVERIFY2(done.message().contains(QStringLiteral("no longer a regular file")), qPrintable(done.message()));
    target.abort();
    struct stat info {};
    QCOMPARE(::lstat(QFile::encodeName(path).constData(), &info), 0);
    QVERIFY(S_ISFIFO(info.st_mode));
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
             QStringList{QStringLiteral("out.pdf")});
}

// A FUSE mount (bindfs) has no unnamed files: each document is written as a hidden file and
// linked to its name, never over one. A dozen jobs of one title at once each keep their own
// file, and a dangling link at a free name is passed over, not followed.
void TestOutput::concurrentJobsWithoutUnnamedFiles() {
    if (QStandardPaths::findExecutable(QStringLiteral("bindfs")).isEmpty() ||
        !QFile::exists(QStringLiteral("/dev/fuse")))
        QSKIP("bindfs or /dev/fuse missing (scripts/packages.txt installs bindfs)");
    QTemporaryDir dir;
    const QString source = dir.filePath(QStringLiteral("source"));
    const QString mount = dir.filePath(QStringLiteral("mount"));
    QVERIFY(QDir().mkpath(source) && QDir().mkpath(mount));
    if (QProcess::execute(QStringLiteral("bindfs"), {source, mount}) != 0)
        QSKIP("cannot mount a FUSE file system here");
    const auto unmount = qScopeGuard([&] {
        if (QProcess::execute(QStringLiteral("fusermount"), {"-u", mount}) != 0)
            QProcess::execute(QStringLiteral("umount"), {mount});
    });
    QVERIFY2(!hasUnnamedFiles(mount), "the mount has unnamed files: it does not test the fallback");
    QVERIFY(
        QFile::link(dir.filePath(QStringLiteral("victim.pdf")), QDir(mount).filePath(QStringLiteral("Report.pdf"))));

    constexpr int kJobs = 12;
    std::vector<Result<OutputResult>> results(kJobs, Failure{});
    {
        std::vector<std::jthread> jobs;
        for (int i = 0; i < kJobs; ++i) {
            jobs.emplace_back([&, i] {
                PdfFileTarget target(mount, QString());
                results[size_t(i)] = writeDocument(target, QStringLiteral("Report"), i + 1);
            });
        }
    }
    QSet<int> pageCounts;
    QSet<QString> paths;
    for (const auto& result : results) {
        QVERIFY2(result, qPrintable(result.message()));
        paths << result->path;
        pageCounts << pdftools::info(result->path).pages;
    }
    QCOMPARE(paths.size(), kJobs);
    QCOMPARE(pageCounts.size(), kJobs);
    QVERIFY(!pageCounts.contains(0));
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("victim.pdf"))));

    // A job that ends early leaves nothing, hidden or not.
    PdfFileTarget aborted(mount, QString());
    QVERIFY(aborted.begin(document(QStringLiteral("Report"))));
    aborted.abort();
    QCOMPARE(QDir(mount).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot).size(),
             kJobs + 1);
}

void TestOutput::streams_data() {
    QTest::addColumn<QString>("reader");
    QTest::newRow("a reader that reads it all") << "reads";
    QTest::newRow("a reader gone before the start") << "gone";
    QTest::newRow("a reader that stops reading, then a cancel") << "stalls";
}

void TestOutput::streams() {
    QFETCH(QString, reader);
    int ends[2];
    QCOMPARE(::pipe2(ends, O_CLOEXEC), 0);
    FileDescriptor readEnd(ends[0]);
    const QString name = QStringLiteral("/dev/fd/%1").arg(ends[1]);
    std::stop_source cancel;
    PdfStreamTarget target(FileDescriptor(ends[1]), name, cancel.get_token());

    QByteArray received;
    std::jthread consumer;
    if (reader == u"reads") {
        consumer = std::jthread([&] {
            char buffer[4096];
            for (ssize_t n; (n = ::read(readEnd.get(), buffer, sizeof buffer)) > 0;)
                received.append(buffer, n);
        });
    } else if (reader == u"gone") {
        readEnd.reset();
    } else {
        consumer = std::jthread([&] {
            QThread::msleep(300);
            cancel.request_stop();
        });
    }
    // Far more than a pipe holds, so that a reader that does not read is felt.
    const Result<OutputResult> done = writeDocument(target, QStringLiteral("Stream"), 3000);
    if (reader == u"reads") {
        QVERIFY2(done, qPrintable(done.message()));
        QCOMPARE(done->path, name);
        consumer.join();
        QTemporaryDir dir;
        QFile copy(dir.filePath(QStringLiteral("copy.pdf")));
        QVERIFY(copy.open(QIODevice::WriteOnly));
        copy.write(received);
        copy.close();
        QCOMPARE(pdftools::info(copy.fileName()).pages, 3000);
    } else if (reader == u"gone") {
        QVERIFY(!done);
        QCOMPARE(done.failure().code, ErrorCode::OutputFailed);
        QVERIFY2(done.message().contains(name) && done.message().contains(QStringLiteral("Broken pipe")),
                 qPrintable(done.message()));
    } else {
        QVERIFY(!done);
        QCOMPARE(done.failure().code, ErrorCode::Cancelled);
    }
}

QTEST_MAIN(TestOutput)
#include "tst_output.moc"
