#pragma once
// What a job knows before its first page: the settings frozen at PrintDoc, the printer, the
// document opened at the start of its body, and the page count when "Page N of M" needs it.

#include "base/failure.h"
#include "base/settings.h"
#include "document/docreader.h"
#include "layout/layout.h"

#include <QDateTime>
#include <QString>

#include <memory>
#include <stop_token>

namespace zendrik {

// One queued print: the settings as they stood at PrintDoc, and where to print.
struct JobSnapshot {
    Settings settings;
    QString printer;      // as given to PrintDoc; "" = the default printer
    QString exactPdfPath; // non-empty: "Save as PDF" writes exactly this file
};

struct PreparedJob {
    JobSnapshot job;
    QString printer; // the printer resolved: a CUPS destination or "Save as PDF"
    bool toPdf = false;
    LayoutSpec spec;
    std::unique_ptr<BodySource> body; // at the start of the body
};

// The document of `settings` opened at the start of its body, with the title, header and footer
// it has (from the members, or from the file's marks).
struct OpenedDocument {
    DocumentParts parts;
    std::unique_ptr<BodySource> body;
};
Result<OpenedDocument> openDocument(const Settings& settings);

// The layout of `parts` as `settings` set it; `started` is the date its pages show. The page count
// is left to the caller.
LayoutSpec layoutSpec(const Settings& settings, const DocumentParts& parts, const QDateTime& started);

// Resolves the printer and asks the spooler about it before anything is laid out, opens the
// document, checks that its pages have room, and counts the pages when they are numbered.
// `started` is the job's start: the date printed on its pages.
Result<PreparedJob> prepareJob(const JobSnapshot& job, const QDateTime& started, std::stop_token stop);

} // namespace zendrik
