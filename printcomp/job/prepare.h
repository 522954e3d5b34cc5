#pragma once
// What a job knows before its first page: the settings frozen at PrintDoc, the printer, the
// document opened at the start of its body.

#include "base/descriptor.h"
#include "base/failure.h"
#include "base/settings.h"
#include "document/docreader.h"
#include "layout/layout.h"
#include "output/pdffile.h"

#include <QDateTime>
#include <QString>

#include <memory>
#include <stop_token>

namespace zendrik {

// One queued print: the settings as they stood at PrintDoc, and where to print.
struct JobSnapshot {
    Settings settings;
    QString printer;      // as given to PrintDoc; "" = the default printer
    QString exactPdfPath; // non-empty: "Save as PDF" writes exactly this file (or stream)
    // When exactPdfPath names a descriptor of this process ("/dev/stdout"): that descriptor as it
    // was at PrintDoc (see holdPdfDescriptor), or -1 with pdfDescriptorError saying why not.
    std::shared_ptr<const FileDescriptor> pdfDescriptor;
    int pdfDescriptorError = 0;
};

// Takes a duplicate of the descriptor the job's exact PDF path names, if it names one, so that
// the job writes where it pointed when it was queued.
void holdPdfDescriptor(JobSnapshot& job);

struct PreparedJob {
    JobSnapshot job;
    QString printer; // the printer resolved: a CUPS destination or "Save as PDF"
    bool toPdf = false;
    ResolvedPdfPath pdfPath; // with an exact path that is no descriptor: where it leads
    LayoutSpec spec;
    std::unique_ptr<BodySource> body; // at the start of the body
};

// The document of `settings` opened at the start of its body, with the title, header and footer
// it has (from the members, or from the file's marks).
struct OpenedDocument {
    DocumentParts parts;
    std::unique_ptr<BodySource> body;
    std::optional<DocumentReader::Stamp> stamp; // a file's
    QString name;                               // a file's, as messages give it
};
Result<OpenedDocument> openDocument(const Settings& settings, std::stop_token stop = {});

// The layout of `parts` as `settings` set it; `started` is the date its pages show. The page count
// is left to the caller.
LayoutSpec layoutSpec(const Settings& settings, const DocumentParts& parts, const QDateTime& started);

// Resolves the printer and asks the spooler about it before anything is laid out, resolves an
// exact PDF path (refusing one that is the document itself), opens the document and checks that
// its pages have room.
// `started` is the job's start: the date printed on its pages.
Result<PreparedJob> prepareJob(const JobSnapshot& job, const QDateTime& started, std::stop_token stop);

} // namespace zendrik
