#include "job/prepare.h"

#include "layout/fontmetrics.h"
#include "output/cupsqueue.h"
#include "output/printers.h"

#include <zendrik/zendrikglobal.h>

#include <QDir>
#include <QFile>
#include <QLocale>

#include <cerrno>
#include <cstring>

#include <sys/stat.h>

namespace zendrik {

Result<OpenedDocument> openDocument(const Settings& s, std::stop_token stop) {
    OpenedDocument doc{DocumentParts{s.docTitle, s.docHeader, s.docFooter}, nullptr, std::nullopt, {}};
    if (s.docFile.isEmpty()) {
        doc.body = std::make_unique<StringBodySource>(s.docText);
        return doc;
    }
    auto reader = std::make_unique<DocumentReader>();
    if (Status opened = reader->open(s.docFile, std::move(stop)); !opened)
        return opened.failure();
    if (s.docFileAllData) {
        Result<DocumentParts> parts = reader->readMarks();
        if (!parts)
            return parts.failure();
        doc.parts = *parts;
    }
    doc.stamp = reader->stamp();
    doc.name = reader->describe();
    doc.body = std::move(reader);
    return doc;
}

namespace {

struct FileIdentity {
    quint64 device = 0;
    quint64 inode = 0;
};

// The regular file a job's PDF goes to, if it goes to one that exists.
std::optional<FileIdentity> outputFile(const PreparedJob& prepared) {
    struct stat info {};
    if (prepared.job.pdfDescriptor) {
        if (::fstat(prepared.job.pdfDescriptor->get(), &info) != 0)
            return std::nullopt;
    } else if (prepared.pdfPath.path.isEmpty() ||
               ::stat(QFile::encodeName(prepared.pdfPath.path).constData(), &info) != 0) {
        return std::nullopt;
    }
    if (!S_ISREG(info.st_mode))
        return std::nullopt;
    return FileIdentity{quint64(info.st_dev), quint64(info.st_ino)};
}

Status resolveOutput(PreparedJob& prepared) {
    const JobSnapshot& job = prepared.job;
    if (!prepared.toPdf || job.exactPdfPath.isEmpty())
        return {};
    if (job.pdfDescriptor) {
        if (job.pdfDescriptor->valid())
            return {};
        const QString name = processDescriptor(job.exactPdfPath) == 1 ? QStringLiteral("standard output")
                                                                      : QStringLiteral("\"%1\"").arg(job.exactPdfPath);
        const QString reason = job.pdfDescriptorError == EBADF
                                   ? QStringLiteral("it is closed")
                                   : QString::fromLocal8Bit(std::strerror(job.pdfDescriptorError));
        return Failure{ErrorCode::OutputFailed, QStringLiteral("Cannot write the PDF to %1: %2").arg(name, reason)};
    }
    Result<ResolvedPdfPath> resolved = resolvePdfPath(job.exactPdfPath);
    if (!resolved)
        return resolved.failure();
    prepared.pdfPath = *resolved;
    return {};
}

} // namespace

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
    // "Page N of M" in one pass: each page's M is filled in once the last page is laid out.
    spec.pageCountPending = s.printPageNumbers;
    return spec;
}

void holdPdfDescriptor(JobSnapshot& job) {
    const std::optional<int> descriptor = processDescriptor(job.exactPdfPath);
    if (!descriptor)
        return;
    auto held = std::make_shared<FileDescriptor>(duplicateDescriptor(*descriptor));
    job.pdfDescriptorError = held->valid() ? 0 : errno;
    job.pdfDescriptor = std::move(held);
}

Result<PreparedJob> prepareJob(const JobSnapshot& job, const QDateTime& started, std::stop_token stop) {
    PreparedJob prepared;
    prepared.job = job;
    const Settings& s = job.settings;
    prepared.printer = job.printer.isEmpty() ? defaultPrinterName() : job.printer;
    prepared.toPdf = prepared.printer == QLatin1String(kSaveAsPdfPrinter);
    if (!prepared.toPdf) {
        // Ask before laying out a document nobody will take; the answer is the spooler's own.
        if (Status known = cups::checkDestination(prepared.printer, stop); !known)
            return known.failure();
    }
    if (Status output = resolveOutput(prepared); !output)
        return output.failure();

    Result<OpenedDocument> doc = openDocument(s, stop);
    if (!doc)
        return doc.failure();
    if (const std::optional<FileIdentity> out = outputFile(prepared);
        out && doc->stamp && out->device == doc->stamp->device && out->inode == doc->stamp->inode) {
        return Failure{ErrorCode::OutputFailed,
                       QStringLiteral("Cannot write the PDF file \"%1\": it is %2, which would be lost")
                           .arg(QDir::toNativeSeparators(job.exactPdfPath), doc->name)};
    }
    prepared.spec = layoutSpec(s, doc->parts, started);

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
