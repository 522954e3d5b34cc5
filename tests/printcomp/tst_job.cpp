// The job pipeline on its own: layout on one thread, output on another, and every way a job can
// end early (a fault on either thread, a cancel while laying out or writing) leaving nothing behind.

#include "job/pipeline.h"
#include "layout/fontmetrics.h"
#include "output/pdffile.h"
#include "pdftools.h"

#include <QDir>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTest>

#include <stdexcept>

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

private:
    QStringList folderEntries() const {
        return QDir(dir_->path()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    }
    Result<OutputResult> run(
        BodySource& body, OutputTarget& target, std::stop_token stop = {}, const PageCallback& onPage = [](int) {});

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
    const Result<OutputResult> done = run(body, target, {}, [&](int n) { pages = n; });
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
    const Result<OutputResult> done = run(body, target, cancel.get_token(), [&](int n) {
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

QTEST_MAIN(TestJob)
#include "tst_job.moc"
