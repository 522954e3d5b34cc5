#include "job.h"

#include "cupsqueue.h"
#include "docreader.h"
#include "fontmetrics.h"
#include "layout.h"
#include "output.h"
#include "pagecount.h"
#include "painter.h"
#include <zendrik/zendrik.h>

#include <QDir>
#include <QFileInfo>
#include <QLocale>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

namespace zendrik {

namespace {

struct Document {
    DocumentParts parts;
    std::unique_ptr<BodySource> body;
};

bool openDocument(const Settings& s, Document& doc, QString& error) {
    doc.parts = DocumentParts{s.docTitle, s.docHeader, s.docFooter};
    if (s.docFile.isEmpty()) {
        doc.body = std::make_unique<StringBodySource>(s.docText);
        return true;
    }
    auto reader = std::make_unique<DocumentReader>();
    if (!reader->open(s.docFile)) {
        error = reader->error();
        return false;
    }
    if (s.docFileAllData) {
        doc.parts = DocumentParts{};
        if (!reader->readMarks(doc.parts)) {
            error = reader->error();
            return false;
        }
    }
    doc.body = std::move(reader);
    return true;
}

LayoutSpec layoutSpec(const Settings& s, const DocumentParts& parts, const QString& dateText) {
    LayoutSpec spec;
    spec.geometry = pageGeometry(s.paperSize, s.orientation, s.marginLeft, s.marginTop, s.marginRight, s.marginBottom);
    spec.title = parts.title;
    spec.header = parts.header;
    spec.footer = parts.footer;
    spec.lineSpacing = lineSpacingFactor(s.lineSpacing);
    spec.pageNumbers = s.printPageNumbers;
    spec.dateTime = s.printDateTime;
    spec.border = s.drawBorder;
    spec.lineBelowHeader = s.lineBelowHeader;
    spec.lineAboveFooter = s.lineAboveFooter;
    spec.dateText = dateText;
    return spec;
}

// A laid-out page with the glyphs of its runs, looked up on the layout thread so that the
// writing thread only writes them.
struct PreparedPage {
    Page page;
    PageGlyphs glyphs;
};

// Pages handed from the layout thread to the writing thread; bounded so that memory does not
// grow with the document.
class PageQueue {
public:
    explicit PageQueue(size_t capacity) : capacity_(capacity) {}

    bool push(PreparedPage&& page) {
        std::unique_lock lock(mutex_);
        notFull_.wait(lock, [&] { return pages_.size() < capacity_ || cancelled_; });
        if (cancelled_)
            return false;
        pages_.push_back(std::move(page));
        notEmpty_.notify_one();
        return true;
    }
    // No more pages; a non-empty error says why the layout stopped early.
    void close(const QString& error, ErrorCode code) {
        std::lock_guard lock(mutex_);
        closed_ = true;
        error_ = error;
        code_ = code;
        notEmpty_.notify_all();
    }
    bool pop(PreparedPage& page) {
        std::unique_lock lock(mutex_);
        notEmpty_.wait(lock, [&] { return !pages_.empty() || closed_; });
        if (pages_.empty())
            return false;
        page = std::move(pages_.front());
        pages_.pop_front();
        notFull_.notify_one();
        return true;
    }
    void cancel() {
        std::lock_guard lock(mutex_);
        cancelled_ = true;
        notFull_.notify_all();
    }
    QString error() const {
        std::lock_guard lock(mutex_);
        return error_;
    }
    ErrorCode code() const {
        std::lock_guard lock(mutex_);
        return code_;
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable notEmpty_;
    std::condition_variable notFull_;
    std::deque<PreparedPage> pages_;
    size_t capacity_;
    bool closed_ = false;
    bool cancelled_ = false;
    QString error_;
    ErrorCode code_ = ErrorCode::Internal;
};

JobOutcome failure(ErrorCode code, const QString& description) {
    JobOutcome out;
    out.ok = false;
    out.code = code;
    out.description = description;
    return out;
}

} // namespace

QStringList availablePrinters() {
    QStringList names;
    for (const auto& dest : cups::listDestinations())
        names.push_back(dest.name);
    names.push_back(QString::fromLatin1(kSaveAsPdfPrinter));
    return names;
}

QString defaultPrinterName() {
    for (const auto& dest : cups::listDestinations()) {
        if (dest.isDefault)
            return dest.name;
    }
    return QString::fromLatin1(kSaveAsPdfPrinter);
}

JobOutcome runJob(const JobSnapshot& job, const QDateTime& started, const PageCallback& pageStarting) {
    const Settings& s = job.settings;
    const QString printer = job.printer.isEmpty() ? defaultPrinterName() : job.printer;
    const bool toPdf = printer == QLatin1String(kSaveAsPdfPrinter);
    if (!toPdf) {
        // Ask before laying out a document nobody will take; the answer is the spooler's own.
        const cups::DestinationCheck check = cups::checkDestination(printer);
        if (!check.ok) {
            return failure(check.unknown ? ErrorCode::UnknownPrinter : ErrorCode::SpoolerFailed,
                           QStringLiteral("The printer \"%1\" cannot be used: %2").arg(printer, check.error));
        }
    }

    Document doc;
    QString error;
    if (!openDocument(s, doc, error))
        return failure(ErrorCode::DocumentUnreadable, error);
    LayoutSpec spec = layoutSpec(s, doc.parts, QLocale::system().toString(started, QLocale::ShortFormat));

    {
        QtFontMetrics metrics(s.fonts);
        const LayoutEngine roomCheck(spec, metrics);
        if (!roomCheck.roomError().isEmpty())
            return failure(ErrorCode::NoRoomForBody, roomCheck.roomError());
        if (s.printPageNumbers) {
            // "Page N of M" needs M before page 1: a counting pass (on every core, nothing else
            // runs yet), then the real one.
            const int cores = std::clamp(int(std::thread::hardware_concurrency()), 1, 8);
            const PageCount count = countPages(spec, *doc.body, metrics, cores);
            if (!count.error.isEmpty())
                return failure(count.readFailed ? ErrorCode::DocumentUnreadable : ErrorCode::NoRoomForBody,
                               count.error);
            spec.pageCount = count.pages;
            if (!openDocument(s, doc, error))
                return failure(ErrorCode::DocumentUnreadable, error);
        }
    }

    QString folder;
    if (!toPdf)
        folder = QDir::tempPath();
    else if (!job.exactPdfPath.isEmpty())
        folder = QFileInfo(job.exactPdfPath).absolutePath();
    else
        folder = pdfFolder();
    PdfSink sink;
    if (!sink.begin(folder, spec.title, started, spec.geometry, toPdf, error))
        return failure(ErrorCode::OutputFailed, error);

    // Layout runs ahead on its own thread while this one writes the PDF.
    PageQueue queue(4);
    std::thread layoutThread([&] {
        QtFontMetrics metrics(s.fonts);
        LayoutEngine engine(spec, metrics);
        // This thread's own fonts: Qt's font objects are not shared between threads.
        GlyphCache glyphCache(metrics.device(), paintResources(s, PrintResolutionDevice::kDpi));
        Page page;
        while (engine.nextPage(*doc.body, page)) {
            PreparedPage prepared{std::move(page), {}};
            prepared.glyphs = glyphCache.glyphsOf(prepared.page);
            if (!queue.push(std::move(prepared)))
                return;
        }
        queue.close(engine.error(),
                    doc.body->error().isEmpty() ? ErrorCode::NoRoomForBody : ErrorCode::DocumentUnreadable);
    });
    const PaintResources resources = paintResources(s, PrintResolutionDevice::kDpi);
    PdfFontSet fonts(sink.pdf());
    PageContentWriter contentWriter(resources, fonts);
    PreparedPage page;
    int number = 0;
    bool writeFailed = false;
    while (queue.pop(page)) {
        ++number;
        pageStarting(number);
        if (!sink.addPage(contentWriter.content(page.page, sink.pageSize().height(), &page.glyphs), error)) {
            writeFailed = true;
            queue.cancel();
            break;
        }
    }
    layoutThread.join();
    if (writeFailed)
        return failure(ErrorCode::OutputFailed, error);
    if (!queue.error().isEmpty())
        return failure(queue.code(), queue.error());
    fonts.writeFonts();
    if (!sink.end(fonts.resources(), error))
        return failure(ErrorCode::OutputFailed, error);

    JobOutcome out;
    if (toPdf) {
        const bool kept = job.exactPdfPath.isEmpty()
                              ? sink.commitUnique(folder, pdfBaseName(spec.title), out.outputPath, error)
                              : sink.commitReplacing(job.exactPdfPath, error);
        if (!kept)
            return failure(ErrorCode::OutputFailed, error);
        if (out.outputPath.isEmpty())
            out.outputPath = job.exactPdfPath;
    } else {
        cups::JobSettings settings;
        settings.jobName = spec.title;
        settings.copies = s.copies;
        settings.paperSize = s.paperSize;
        settings.orientation = s.orientation;
        settings.paperBin = s.paperBin;
        settings.printQuality = s.printQuality;
        const cups::SubmitResult result = cups::submitPdf(printer, sink.temporaryPath(), settings);
        if (!result.ok) {
            return failure(ErrorCode::SpoolerFailed,
                           QStringLiteral("The printer \"%1\" did not take the job: %2").arg(printer, result.error));
        }
        if (result.queueStopped) {
            out.notice = QStringLiteral("The printer \"%1\" is stopped: the job waits in its queue until the "
                                        "printer is resumed.")
                             .arg(printer);
        }
    }
    out.ok = true;
    return out;
}

} // namespace zendrik
