#include "cupstestsupport.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>

#include <cstring>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace cupstest {

namespace {

QString readText(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readAll()).trimmed();
}

// Attributes of the first response group after the status line of an ipptool -tv run.
QList<QMap<QString, QString>> ipptoolGroups(const QString& output) {
    static const QRegularExpression attr(QStringLiteral(R"(^\s+([a-z0-9-]+) \(([^)]+)\) = (.*)$)"));
    QList<QMap<QString, QString>> groups;
    bool inResponse = false;
    for (const QString& line : output.split(QLatin1Char('\n'))) {
        if (line.contains(QLatin1String("status-code = "))) {
            inResponse = true;
            groups.append(QMap<QString, QString>());
            continue;
        }
        if (!inResponse)
            continue;
        if (line.trimmed() == QLatin1String("-- separator --")) {
            groups.append(QMap<QString, QString>());
            continue;
        }
        const auto m = attr.match(line);
        if (!m.hasMatch())
            continue;
        QString value = m.captured(3);
        value.replace(QLatin1String("\\\""), QLatin1String("\""));
        value.replace(QLatin1String("\\\\"), QLatin1String("\\"));
        groups.last().insert(m.captured(1), value);
    }
    return groups;
}

QString ipptoolFile(const char* name) {
    return QStringLiteral(ZENDRIK_CUPS_TEST_FILES "/") + QLatin1String(name);
}

} // namespace

Server Server::fromEnvironment() {
    Server s;
    s.dir = qEnvironmentVariable("ZENDRIK_TEST_CUPS_DIR");
    s.socket = qEnvironmentVariable("CUPS_SERVER");
    if (s.dir.isEmpty() || s.socket.isEmpty())
        return {};
    s.port = readText(s.dir + QStringLiteral("/port")).toInt();
    return s;
}

QString Server::oddQueue() const {
    return readText(dir + QStringLiteral("/odd-queue"));
}

QString Server::keptDocument(int jobId) const {
    return QStringLiteral("%1/spool/d%2-001").arg(dir).arg(jobId, 5, 10, QLatin1Char('0'));
}

namespace {

// Every attribute of a job as the scheduler or printer at `uri` holds it.
QMap<QString, QString> jobAttributesAt(const QString& uri, int jobId) {
    const Run r =
        run(QStringLiteral("ipptool"), {QStringLiteral("-tv"), QStringLiteral("-d"),
                                        QStringLiteral("job-id=%1").arg(jobId), uri, ipptoolFile("get-job.test")});
    if (r.exitCode != 0)
        return {};
    const auto groups = ipptoolGroups(r.out);
    // The first group is the operation group (charset, language); the job follows.
    QMap<QString, QString> all;
    for (const auto& g : groups)
        all.insert(g);
    return all;
}

// A listed job's name. cupsd's Get-Jobs leaves the name out for a job whose attributes it has put
// away (one cancelled during its upload, soon after), while Get-Job-Attributes still gives it: the
// job is asked, once, since a job's name does not change.
QString nameOf(const QString& uri, int id, const QMap<QString, QString>& listed) {
    if (const auto it = listed.constFind(QStringLiteral("job-name")); it != listed.constEnd())
        return *it;
    static QHash<std::pair<QString, int>, QString> asked;
    const std::pair<QString, int> key{uri, id};
    if (const auto it = asked.constFind(key); it != asked.constEnd())
        return *it;
    const QString name = jobAttributesAt(uri, id).value(QStringLiteral("job-name"));
    if (!name.isEmpty())
        asked.insert(key, name);
    return name;
}

// The ids of the jobs named `jobName` at `uri`. The scheduler answers at most 500 jobs at a time:
// page through them all.
QList<int> jobsNamedAt(const QString& uri, const QString& jobName, bool* ok) {
    constexpr int kPage = 500;
    QList<int> ids;
    *ok = true;
    for (int first = 1;; first += kPage) {
        const Run r =
            run(QStringLiteral("ipptool"), {QStringLiteral("-tv"), QStringLiteral("-d"),
                                            QStringLiteral("first=%1").arg(first), uri, ipptoolFile("get-jobs.test")});
        if (r.exitCode != 0) {
            *ok = false;
            return ids;
        }
        int listed = 0;
        for (const auto& g : ipptoolGroups(r.out)) {
            if (!g.contains(QStringLiteral("job-id")))
                continue;
            ++listed;
            const int id = g.value(QStringLiteral("job-id")).toInt();
            if (nameOf(uri, id, g) == jobName)
                ids << id;
        }
        if (listed < kPage)
            return ids;
    }
}

} // namespace

QMap<QString, QString> Server::jobAttributes(int jobId) const {
    return jobAttributesAt(QStringLiteral("ipp://localhost:%1/").arg(port), jobId);
}

QList<int> Server::jobsNamed(const QString& jobName, bool* ok) const {
    return jobsNamedAt(QStringLiteral("ipp://localhost:%1/").arg(port), jobName, ok);
}

QString Server::ippEverywhereUri() const {
    return readText(dir + QStringLiteral("/ipp-everywhere-uri"));
}

QMap<QString, QString> Server::printerJobAttributes(int printerJobId) const {
    return jobAttributesAt(ippEverywhereUri(), printerJobId);
}

QList<int> Server::printerJobsNamed(const QString& jobName, bool* ok) const {
    return jobsNamedAt(ippEverywhereUri(), jobName, ok);
}

QString Server::printerKeptDocument(int printerJobId) const {
    // ippeveprinter -k keeps "ID-NAME.pdf".
    const QDir spool(dir + QStringLiteral("/ipp/spool"));
    const QStringList kept = spool.entryList({QStringLiteral("%1-*.pdf").arg(printerJobId)}, QDir::Files);
    return kept.size() == 1 ? spool.filePath(kept.first()) : QString();
}

PrivateServer::PrivateServer(const QString& dir) {
    server_.dir = dir;
    server_.socket = dir + QStringLiteral("/cups.sock");
}

PrivateServer::~PrivateServer() {
    if (started_)
        run(QStringLiteral(ZENDRIK_CUPS_SERVER_SCRIPT), {QStringLiteral("stop"), server_.dir});
}

bool PrivateServer::start(QString* log) {
    const Run r = run(QStringLiteral(ZENDRIK_CUPS_SERVER_SCRIPT), {QStringLiteral("start"), server_.dir});
    started_ = true;
    server_.port = readText(server_.dir + QStringLiteral("/port")).toInt();
    if (log)
        *log = r.out + r.err;
    return r.exitCode == 0 && server_.port > 0;
}

void PrivateServer::signal(const QString& name) {
    const qint64 pid = readText(server_.dir + QStringLiteral("/cupsd.pid")).toLongLong();
    if (pid > 0)
        run(QStringLiteral("kill"), {QLatin1Char('-') + name, QString::number(pid)});
}

FakeServer::FakeServer(Kind kind, const QString& socket) {
    const QByteArray path = QFile::encodeName(socket);
    listener_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.constData(), sizeof address.sun_path - 1);
    ::unlink(path.constData());
    ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    if (kind == Kind::Refused) {
        ::close(listener_);
        listener_ = -1;
        return;
    }
    // A listening socket that is never accepted still takes connections: the kernel queues them.
    ::listen(listener_, 16);
    if (kind == Kind::Silent)
        return;
    if (::pipe2(stop_, O_CLOEXEC) != 0)
        qFatal("pipe2: %s", std::strerror(errno));
    thread_ = std::thread([this, kind] { serve(kind); });
}

FakeServer::~FakeServer() {
    if (thread_.joinable()) {
        ::close(stop_[1]);
        thread_.join();
        ::close(stop_[0]);
    }
    if (listener_ >= 0)
        ::close(listener_);
}

void FakeServer::serve(Kind kind) {
    for (;;) {
        pollfd wanted[2] = {{listener_, POLLIN, 0}, {stop_[0], POLLIN, 0}};
        if (::poll(wanted, 2, -1) < 0 || wanted[1].revents != 0)
            return;
        const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            continue;
        char request[4096];
        pollfd incoming{client, POLLIN, 0};
        // Garbage comes once the whole request is in, and stays to be read before the close.
        while (::read(client, request, sizeof request) > 0 && kind == Kind::Garbage && ::poll(&incoming, 1, 200) > 0) {
        }
        if (kind == Kind::Garbage) {
            static const char junk[] = "garbage, not a status line\r\n\r\n\x01\x02";
            [[maybe_unused]] const auto sent = ::write(client, junk, sizeof junk);
            ::poll(&incoming, 1, 1000);
        }
        ::close(client);
    }
}

bool writePdf(const QString& path, int pages, const QString& marker, QSizeF pointSize) {
    QPdfWriter writer(path);
    writer.setPageSize(QPageSize(pointSize, QPageSize::Point));
    writer.setPageMargins(QMarginsF(36, 36, 36, 36), QPageLayout::Point);
    QPainter painter;
    if (!painter.begin(&writer))
        return false;
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPointSize(14);
    painter.setFont(font);
    for (int page = 1; page <= pages; ++page) {
        if (page > 1 && !writer.newPage())
            return false;
        painter.drawText(QPointF(200, 400), QStringLiteral("%1 page %2").arg(marker).arg(page));
    }
    return painter.end();
}

PdfFacts readPdf(const QString& path) {
    PdfFacts facts;
    const Run info = run(QStringLiteral("pdfinfo"), {path});
    static const QRegularExpression pages(QStringLiteral(R"(^Pages:\s+(\d+))"), QRegularExpression::MultilineOption);
    static const QRegularExpression size(QStringLiteral(R"(^Page size:\s+([\d.]+) x ([\d.]+) pts)"),
                                         QRegularExpression::MultilineOption);
    if (const auto m = pages.match(info.out); m.hasMatch())
        facts.pages = m.captured(1).toInt();
    if (const auto m = size.match(info.out); m.hasMatch())
        facts.pageSize = QSizeF(m.captured(1).toDouble(), m.captured(2).toDouble());
    facts.text = run(QStringLiteral("pdftotext"), {path, QStringLiteral("-")}).out;
    return facts;
}

void runWithServer(const QString& cupsServer, const std::function<void()>& work) {
    const QByteArray previous = qgetenv("CUPS_SERVER");
    qputenv("CUPS_SERVER", cupsServer.toLocal8Bit());
    std::thread worker(work);
    worker.join();
    qputenv("CUPS_SERVER", previous);
}

Run run(const QString& program, const QStringList& args, const QMap<QString, QString>& env, int timeoutMs) {
    QProcess p;
    if (!env.isEmpty()) {
        QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
        for (auto it = env.begin(); it != env.end(); ++it)
            e.insert(it.key(), it.value());
        p.setProcessEnvironment(e);
    }
    p.start(program, args);
    Run r;
    if (!p.waitForStarted() || !p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        r.err = QStringLiteral("%1 did not run: %2").arg(program, p.errorString());
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

} // namespace cupstest
