#pragma once
// Printing on CUPS queues through libcups: listing destinations, and sending a PDF document to a
// queue as it is written, with the job's printer settings.

#include "base/failure.h"

#include <QList>
#include <QString>

#include <memory>
#include <stop_token>

namespace zendrik::cups {

struct Destination {
    QString name; // queue name, as PrintDoc takes it
    bool isDefault = false;
};

// The CUPS destinations in the order CUPS gives them. Empty, without an error, when no CUPS
// server answers within 0.8 s; never waits longer.
QList<Destination> listDestinations();

// Printer settings as the component's codes (see <zendrik/members.h>).
struct JobSettings {
    QString jobName;      // the document title
    int copies = 1;       // 1 or more
    int paperSize = 9;    // 1..41, paper-size list position
    int orientation = 1;  // 1 portrait, 2 landscape
    int paperBin = 7;     // 1..12, paper-bin list position
    int printQuality = 3; // 1 draft, 2 low, 3 medium, 4 high
};

// Every call to the scheduler below waits for its answer for $ZENDRIK_CUPS_TIMEOUT seconds (30
// by default) at most; a failure then says what happened: no answer, the connection closed or
// refused, an answer that is not IPP, or the scheduler's own words.

// Asks the scheduler whether it has this destination, before a job is laid out for it. Fails
// with UnknownPrinter when it has none (or there is no scheduler to have one), SpoolerFailed
// otherwise, Cancelled once `stop` is requested.
Status checkDestination(const QString& queue, std::stop_token stop = {});

// One job on one queue, its PDF document sent as it is written. The job exists at the scheduler
// from start() on, and is cancelled there unless finish() succeeds. Failures are SpoolerFailed,
// or Cancelled once `stop` is requested (which also ends any wait for the scheduler).
class Job {
public:
    struct Accepted {
        int jobId = 0;
        bool queueStopped = false; // accepted, but the queue is paused: the job waits there
    };

    static Result<std::unique_ptr<Job>> start(const QString& queue, const JobSettings& settings,
                                              std::stop_token stop = {});
    ~Job();

    int jobId() const;
    Status write(const char* data, qint64 size);
    // Ends the document. Succeeds only once the spooler has accepted the whole document.
    Result<Accepted> finish();
    // Cancels the job at the scheduler; nothing more is sent.
    void cancel() noexcept;

private:
    struct State;
    explicit Job(std::unique_ptr<State> state);
    std::unique_ptr<State> d;
};

} // namespace zendrik::cups
