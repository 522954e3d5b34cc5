// The job pipeline on its own: layout on one thread, output on another, and every way a job can
// end early (a fault on either thread, a cancel while laying out or writing) leaving nothing behind.

#include "job/job.h"
#include "job/pipeline.h"
#include "layout/fontmetrics.h"
#include "output/pdffile.h"
#include "pdftools.h"

#include <QDir>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTest>

#include <stdexcept>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace zendrik;

namespace {

QString paragraphs(int count) {
    QStringList list;
    for (int i = 0; i < count; ++i)
        list << QStringLiteral("Paragraph %1 of a document long enough to fill many pages, word after word.").arg(i);
    return list.join(QStringLiteral("\n"));
}

// A body of numbered paragraphs, read one paragraph at a time; `onRead` runs before each read,
// so a test can throw or cancel exactly there.
class ScriptedBody : public BodySource {
public:
    ScriptedBody(int paragraphs, std::function<void(int)> onRead)
        : paragraphs_(paragraphs), onRead_(std::move(onRead)) {}

protected:
    bool fill(QString& buffer) override {
        onRead_(given_ + 1);
        if (given_ >= paragraphs_)
            return false;
        buffer += QStringLiteral("Paragraph %1 of a document long enough to fill many pages.\n").arg(++given_);
        return true;
    }

private:
    int paragraphs_;
    std::function<void(int)> onRead_;
    int given_ = 0;
};

// A target that throws where no real one can: inside page().
class ThrowingTarget : public OutputTarget {
public:
    Status begin(const DocumentDescription&) override { return {}; }
    Status page(const PreparedPage&) override { throw std::runtime_error("target fault"); }
    Result<OutputResult> finish() override { return OutputResult{}; }
    void abort() noexcept override { aborted = true; }
    bool aborted = false;
};

} // namespace

class TestJob : public QObject {
    Q_OBJECT
private slots:
    void init();

    void completeDocumentIsKept();
    void faultOnTheLayoutThreadEndsAsInternal();
    void faultOnTheWritingThreadEndsAsInternal();
    void cancelWhileWritingLeavesNothing();
    void cancelWhileLayingOutStopsReading();
    void exactPdfPaths_data();
    void exactPdfPaths();

private:
    QStringList folderEntries() const {
        return QDir(dir_->path()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    }
    Result<OutputResult> run(
        BodySource& body, OutputTarget& target, std::stop_token stop = {},
        const PageCallback& onPage = [](int, int) {});

    std::unique_ptr<QTemporaryDir> dir_;
    LayoutSpec spec_;
    std::array<FontSpec, kFontRoles> fonts_;
};

void TestJob::init() {
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    spec_ = LayoutSpec{};
    spec_.geometry = pageGeometry(9, 1, 1440, 1440, 1440, 1440);
    spec_.title = QStringLiteral("Pipeline");
}

Result<OutputResult> TestJob::run(BodySource& body, OutputTarget& target, std::stop_token stop,
                                  const PageCallback& onPage) {
    return runPipeline(PipelineInput{spec_, fonts_, body, QDateTime::currentDateTime()}, target, stop, onPage);
}

void TestJob::completeDocumentIsKept() {
    StringBodySource body(paragraphs(300));
    PdfFileTarget target(dir_->path(), QString());
    int pages = 0;
    const Result<OutputResult> done = run(body, target, {}, [&](int n, int) { pages = n; });
    QVERIFY2(done, qPrintable(done.message()));
    QCOMPARE(done.value().path, dir_->filePath(QStringLiteral("Pipeline.pdf")));
    QCOMPARE(pdftools::info(done.value().path).pages, pages);
    QVERIFY(pages > 3);
    QCOMPARE(folderEntries(), QStringList{QStringLiteral("Pipeline.pdf")});
}

void TestJob::faultOnTheLayoutThreadEndsAsInternal() {
    ScriptedBody body(300, [](int read) {
        if (read == 100)
            throw std::runtime_error("reader fault");
    });
    PdfFileTarget target(dir_->path(), QString());
    const Result<OutputResult> done = run(body, target);
    QVERIFY(!done);
    QCOMPARE(done.failure().code, ErrorCode::Internal);
    QVERIFY2(done.message().contains(QStringLiteral("reader fault")), qPrintable(done.message()));
    QCOMPARE(folderEntries(), QStringList{});
}

void TestJob::faultOnTheWritingThreadEndsAsInternal() {
    StringBodySource body(paragraphs(3000));
    ThrowingTarget target;
    const Result<OutputResult> done = run(body, target);
    QVERIFY(!done);
    QCOMPARE(done.failure().code, ErrorCode::Internal);
    QVERIFY(done.failure().message.contains(QStringLiteral("target fault")));
    QVERIFY(target.aborted);
}

void TestJob::cancelWhileWritingLeavesNothing() {
    StringBodySource body(paragraphs(3000));
    PdfFileTarget target(dir_->path(), QString());
    std::stop_source cancel;
    int lastPage = 0;
    const Result<OutputResult> done = run(body, target, cancel.get_token(), [&](int n, int) {
        lastPage = n;
        if (n == 3)
            cancel.request_stop();
    });
    QVERIFY(!done);
    QCOMPARE(done.failure().code, ErrorCode::Cancelled);
    QCOMPARE(lastPage, 3);
    QCOMPARE(folderEntries(), QStringList{});
}

void TestJob::cancelWhileLayingOutStopsReading() {
    std::stop_source cancel;
    int reads = 0;
    ScriptedBody body(50000, [&](int read) {
        reads = read;
        if (read == 10)
            cancel.request_stop();
    });
    spec_.pageNumbers = true;
    spec_.pageCountPending = true;
    PdfFileTarget target(dir_->path(), QString());
    const Result<OutputResult> done = run(body, target, cancel.get_token());
    QVERIFY(!done);
    QCOMPARE(done.failure().code, ErrorCode::Cancelled);
    // The lines broken ahead of the pages are a few batches: reading stops long before the end.
    QVERIFY2(reads < 5000, qPrintable(QString::number(reads)));
    QCOMPARE(folderEntries(), QStringList{});
}

void TestJob::exactPdfPaths_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("refusal"); // empty: the job prints
    QTest::newRow("a symbolic link: its target is written") << "link"
                                                            << "";
    QTest::newRow("a FIFO: written into") << "fifo"
                                          << "";
    QTest::newRow("a pipe's descriptor") << "descriptor"
                                         << "";
    QTest::newRow("a closed descriptor") << "closed"
                                         << "it is closed";
    QTest::newRow("the document, by a hard link") << "hard link"
                                                  << "it is the document file";
    QTest::newRow("the document, by a symbolic link") << "document link"
                                                      << "it is the document file";
    QTest::newRow("a folder") << "folder"
                              << "Is a directory";
}

// Where a job's exact PDF path leads decides how it is written; nothing but a regular file is
// ever replaced, and never the document being printed.
void TestJob::exactPdfPaths() {
    QFETCH(QString, kind);
    QFETCH(QString, refusal);
    const QString document = dir_->filePath(QStringLiteral("doc.txt"));
    const QByteArray text = paragraphs(200).toUtf8();
    {
        QFile f(document);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(text);
    }
    JobSnapshot job;
    job.settings.docFile = document;
    job.settings.printPageNumbers = true;
    job.printer = QStringLiteral("Save as PDF");
    job.exactPdfPath = dir_->filePath(QStringLiteral("out.pdf"));
    const QByteArray out = QFile::encodeName(job.exactPdfPath);
    QString written = job.exactPdfPath; // where the PDF lands, if in a file
    int ends[2] = {-1, -1};
    QByteArray streamed;
    std::jthread reader;
    if (kind == u"link") {
        QVERIFY(QFile::link(QStringLiteral("target.pdf"), job.exactPdfPath));
        written = dir_->filePath(QStringLiteral("target.pdf"));
    } else if (kind == u"fifo" || kind == u"descriptor") {
        if (kind == u"fifo") {
            QCOMPARE(::mkfifo(out.constData(), 0600), 0);
        } else {
            QCOMPARE(::pipe2(ends, O_CLOEXEC), 0);
            job.exactPdfPath = QStringLiteral("/dev/fd/%1").arg(ends[1]);
        }
        reader = std::jthread([&, path = out] {
            const int fd = ends[0] >= 0 ? ends[0] : ::open(path.constData(), O_RDONLY);
            char buffer[4096];
            for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;)
                streamed.append(buffer, n);
            ::close(fd);
        });
        written = dir_->filePath(QStringLiteral("streamed.pdf"));
    } else if (kind == u"closed") {
        job.exactPdfPath = QStringLiteral("/dev/fd/1000");
    } else if (kind == u"hard link") {
        QCOMPARE(::link(QFile::encodeName(document).constData(), out.constData()), 0);
    } else if (kind == u"document link") {
        QVERIFY(QFile::link(document, job.exactPdfPath));
    } else if (kind == u"folder") {
        QVERIFY(QDir().mkdir(job.exactPdfPath));
    }
    holdPdfDescriptor(job);
    if (ends[1] >= 0)
        ::close(ends[1]); // the job holds its own
    const Result<OutputResult> done = runJob(job, QDateTime::currentDateTime(), {}, [](int, int) {});
    job.pdfDescriptor.reset(); // the pipe's reader sees its end once no copy of the writer is left
    if (!refusal.isEmpty()) {
        QVERIFY(!done);
        QCOMPARE(done.failure().code, ErrorCode::OutputFailed);
        QVERIFY2(done.message().contains(refusal), qPrintable(done.message()));
        QFile f(document);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), text);
        QCOMPARE(folderEntries().filter(QStringLiteral(".part")), QStringList());
        return;
    }
    QVERIFY2(done, qPrintable(done.message()));
    if (reader.joinable()) {
        reader.join();
        QFile f(written);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(streamed);
        f.close();
        struct stat info {};
        QCOMPARE(::lstat(out.constData(), &info), kind == u"fifo" ? 0 : -1);
    }
    if (kind == u"link")
        QVERIFY(QFileInfo(job.exactPdfPath).isSymLink());
    const pdftools::Info info = pdftools::info(written);
    QVERIFY(info.pages > 1);
    QVERIFY(pdftools::text(written, info.pages).contains(QStringLiteral("Page %1 of %1").arg(info.pages)));
}

QTEST_MAIN(TestJob)
#include "tst_job.moc"
