#include "job/prepare.h"

#include "layout/fontmetrics.h"
#include "output/cupsqueue.h"
#include "output/printers.h"

#include <zendrik/zendrikglobal.h>

#include <QLocale>

namespace zendrik {

namespace {

struct Document {
    DocumentParts parts;
    std::unique_ptr<BodySource> body;
};

Result<Document> openDocument(const Settings& s) {
    Document doc{DocumentParts{s.docTitle, s.docHeader, s.docFooter}, nullptr};
    if (s.docFile.isEmpty()) {
        doc.body = std::make_unique<StringBodySource>(s.docText);
        return doc;
    }
    auto reader = std::make_unique<DocumentReader>();
    if (Status opened = reader->open(s.docFile); !opened)
        return opened.failure();
    if (s.docFileAllData) {
        Result<DocumentParts> parts = reader->readMarks();
        if (!parts)
            return parts.failure();
        doc.parts = *parts;
    }
    doc.body = std::move(reader);
    return doc;
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
    // "Page N of M" in one pass: each page's M is filled in once the last page is laid out.
    spec.pageCountPending = s.printPageNumbers;
    return spec;
}

} // namespace

Result<PreparedJob> prepareJob(const JobSnapshot& job, const QDateTime& started, std::stop_token stop) {
    PreparedJob prepared;
    prepared.job = job;
    const Settings& s = job.settings;
    prepared.printer = job.printer.isEmpty() ? defaultPrinterName() : job.printer;
    prepared.toPdf = prepared.printer == QLatin1String(kSaveAsPdfPrinter);
    if (!prepared.toPdf) {
        // Ask before laying out a document nobody will take; the answer is the spooler's own.
        if (Status known = cups::checkDestination(prepared.printer); !known)
            return known.failure();
    }

    Result<Document> doc = openDocument(s);
    if (!doc)
        return doc.failure();
    prepared.spec = layoutSpec(s, doc->parts, QLocale::system().toString(started, QLocale::ShortFormat));

    QtFontMetrics metrics(s.fonts);
    const LayoutEngine roomCheck(prepared.spec, metrics);
    if (roomCheck.roomFailure())
        return *roomCheck.roomFailure();
    if (stop.stop_requested())
        return cancelledFailure();
    prepared.body = std::move(doc->body);
    return prepared;
}

} // namespace zendrik
