#pragma once
// Printing on CUPS queues through libcups: listing destinations and submitting a finished PDF
// with the job's printer settings.

#include <QList>
#include <QString>

namespace zendrik::cups {

struct Destination {
    QString name; // queue name, as PrintDoc takes it
    bool isDefault = false;
};

// The CUPS destinations in the order CUPS gives them. Empty, without an error, when no CUPS
// server can be reached; never waits more than about a second for one.
QList<Destination> listDestinations();

// Printer settings as the component's codes (see zendrikmembers.h).
struct JobSettings {
    QString jobName;      // the document title
    int copies = 1;       // 1 or more
    int paperSize = 9;    // 1..41, paper-size list position
    int orientation = 1;  // 1 portrait, 2 landscape
    int paperBin = 7;     // 1..12, paper-bin list position
    int printQuality = 3; // 1 draft, 2 low, 3 medium, 4 high
};

struct SubmitResult {
    bool ok = false;
    QString error; // CUPS's own message when !ok
    int jobId = 0;
    bool queueStopped = false; // accepted, but the queue is paused: it is held there
};

struct DestinationCheck {
    bool ok = false;
    bool unknown = false; // no such destination, or no scheduler to have one
    QString error;        // CUPS's own message when !ok
};

// Asks the scheduler whether it has this destination, before a job is laid out for it.
DestinationCheck checkDestination(const QString& queue);

// Submits the PDF at pdfPath to the queue as application/pdf. Succeeds only once the spooler
// has accepted the whole document.
SubmitResult submitPdf(const QString& queue, const QString& pdfPath, const JobSettings& settings);

} // namespace zendrik::cups
