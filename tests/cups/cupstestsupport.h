#pragma once
// What the CUPS tests share: the private scheduler that scripts/test starts, PDFs to print, and
// reading back what the spooler received and holds.

#include <QMap>
#include <QSizeF>
#include <QString>
#include <QStringList>

#include <functional>
#include <thread>

namespace cupstest {

// The shared private scheduler (CUPS_SERVER, ZENDRIK_TEST_CUPS_DIR). Empty dir: none running.
struct Server {
    QString dir;
    QString socket;
    int port = 0;

    static Server fromEnvironment();
    bool isValid() const { return !dir.isEmpty() && port > 0; }
    // The queue whose name holds non-ASCII letters and shell characters.
    QString oddQueue() const;
    // The document the spooler kept for the job, exactly as it was sent.
    QString keptDocument(int jobId) const;
    // Every attribute of the job as the spooler holds it, read with ipptool: name -> value as
    // ipptool prints it (enums by keyword, "1200dpi", sets joined with ","). Empty on failure.
    QMap<QString, QString> jobAttributes(int jobId) const;
    // The ids of the jobs named `jobName` among all the spooler holds (other tests print on the
    // same scheduler at the same time), read with ipptool. *ok false: ipptool failed.
    QList<int> jobsNamed(const QString& jobName, bool* ok) const;

    // The simulated IPP Everywhere printer (cups-test-server start DIR --ipp-everywhere): its URI,
    // empty when none runs; the same two questions asked of the printer itself; and the document
    // it kept for one of its jobs (empty when none).
    QString ippEverywhereUri() const;
    QMap<QString, QString> printerJobAttributes(int printerJobId) const;
    QList<int> printerJobsNamed(const QString& jobName, bool* ok) const;
    QString printerKeptDocument(int printerJobId) const;
};

// A scheduler of the test's own, for tests that kill it.
class PrivateServer {
public:
    explicit PrivateServer(const QString& dir);
    ~PrivateServer();
    PrivateServer(const PrivateServer&) = delete;
    PrivateServer& operator=(const PrivateServer&) = delete;

    bool start(QString* log);
    // Sends the scheduler a signal by name ("STOP", "KILL").
    void signal(const QString& name);
    void kill() { signal(QStringLiteral("KILL")); }
    const Server& server() const { return server_; }

private:
    Server server_;
    bool started_ = false;
};

// A server that is not a scheduler, on a unix socket, for what no real one does: it takes
// connections and never answers, closes them after reading a little, or answers with what is
// not HTTP. Refused: the socket exists, but nothing listens on it.
class FakeServer {
public:
    enum class Kind { Silent, Closes, Garbage, Refused };
    FakeServer(Kind kind, const QString& socket);
    ~FakeServer();
    FakeServer(const FakeServer&) = delete;
    FakeServer& operator=(const FakeServer&) = delete;

private:
    void serve(Kind kind);
    int listener_ = -1;
    int stop_[2] = {-1, -1};
    std::thread thread_;
};

// Writes a PDF of `pages` pages, each holding "<marker> page N".
bool writePdf(const QString& path, int pages, const QString& marker, QSizeF pointSize = QSizeF(595, 842));

struct PdfFacts {
    int pages = 0;
    QSizeF pageSize; // points, of page 1
    QString text;
};
// Read back with pdfinfo and pdftotext.
PdfFacts readPdf(const QString& path);

// Runs `work` on a fresh thread whose libcups talks to `cupsServer` (libcups keeps its server
// per thread, read once from CUPS_SERVER).
void runWithServer(const QString& cupsServer, const std::function<void()>& work);

// Output of a program, with its exit code.
struct Run {
    int exitCode = -1;
    QString out;
    QString err;
};
Run run(const QString& program, const QStringList& args, const QMap<QString, QString>& env = {}, int timeoutMs = 60000);

} // namespace cupstest
