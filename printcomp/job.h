#pragma once
// Runs one print job on the calling thread: layout, writing the PDF and output.

#include "settings.h"
#include <zendrik/members.h>

#include <QDateTime>
#include <QStringList>

#include <functional>

namespace zendrik {

struct JobOutcome {
    bool ok = false;
    ErrorCode code = ErrorCode::Internal;
    QString description;
    QString outputPath; // the PDF written, for "Save as PDF"
    QString notice;     // what a successful job's user should still know, e.g. a stopped queue
};

// The installed printers (CUPS destinations) followed by "Save as PDF".
QStringList availablePrinters();
// The CUPS default destination, else "Save as PDF".
QString defaultPrinterName();

// Called just before page n (from 1) is written.
using PageCallback = std::function<void(int)>;

JobOutcome runJob(const JobSnapshot& job, const QDateTime& started, const PageCallback& pageStarting);

} // namespace zendrik
