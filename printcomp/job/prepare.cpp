#include "job/prepare.h"

#include "layout/fontmetrics.h"
#include "layout/pagecount.h"
#include "output/cupsqueue.h"
#include "output/printers.h"

#include <zendrik/zendrikglobal.h>

#include <QLocale>

#include <algorithm>
#include <thread>

namespace zendrik {

Result<OpenedDocument> openDocument(const Settings& s) {
    OpenedDocument doc{DocumentParts{s.docTitle, s.docHeader, s.docFooter}, nullptr};
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

LayoutSpec layoutSpec(const Settings& s, const DocumentParts& parts, const QDateTime& started) {
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
    spec.dateText = QLocale::system().toString(started, QLocale::ShortFormat);
    return spec;
}

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

    Result<OpenedDocument> doc = openDocument(s);
    if (!doc)
        return doc.failure();
    prepared.spec = layoutSpec(s, doc->parts, started);

    QtFontMetrics metrics(s.fonts);
    const LayoutEngine roomCheck(prepared.spec, metrics);
    if (roomCheck.roomFailure())
        return *roomCheck.roomFailure();
    if (s.printPageNumbers) {
        // "Page N of M" needs M before page 1: a counting pass (on every core, nothing else runs
        // yet), then the body is read again for the real one.
        const int cores = std::clamp(int(std::thread::hardware_concurrency()), 1, 8);
        Result<PageCount> count = countPages(prepared.spec, *doc->body, metrics, cores, stop);
        if (!count)
            return count.failure();
        prepared.spec.pageCount = count->pages;
        doc = openDocument(s);
        if (!doc)
            return doc.failure();
    }
    if (stop.stop_requested())
        return cancelledFailure();
    prepared.body = std::move(doc->body);
    return prepared;
}

} // namespace zendrik
