#include "output/cupsqueue.h"

#include <zendrik/papers.h>

#include <QByteArray>

#include <cups/cups.h>

#include <zendrik/zendrikglobal.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace zendrik::cups {

namespace {

enum class Quality { Draft = 3, Normal = 4, High = 5 };

Quality qualityFor(int printQuality) {
    switch (printQuality) {
    case 1:
    case 2:
        return Quality::Draft;
    case 4:
        return Quality::High;
    default:
        return Quality::Normal;
    }
}

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Listing runs on the caller's (often the GUI) thread: it returns after this long at most, with
// the printers a scheduler gave by then or none.
constexpr milliseconds kListBudget{800};
// A cancel is sent while the job's own connection may be stuck: it gets a short wait of its own.
constexpr milliseconds kCancelBudget{2000};
// How often a wait for the scheduler looks whether the job was cancelled.
constexpr double kWaitSliceS = 0.2;

struct HttpClose {
    void operator()(http_t* http) const { httpClose(http); }
};
using HttpPtr = std::unique_ptr<http_t, HttpClose>;

struct DestFree {
    void operator()(cups_dest_t* dest) const { cupsFreeDests(1, dest); }
};
using DestPtr = std::unique_ptr<cups_dest_t, DestFree>;

struct DinfoFree {
    void operator()(cups_dinfo_t* info) const { cupsFreeDestInfo(info); }
};
using DinfoPtr = std::unique_ptr<cups_dinfo_t, DinfoFree>;

class Options {
public:
    Options() = default;
    Options(const Options&) = delete;
    Options& operator=(const Options&) = delete;
    ~Options() { cupsFreeOptions(count_, options_); }

    void add(const char* name, const QByteArray& value) {
        count_ = cupsAddOption(name, value.constData(), count_, &options_);
    }
    int count() const { return count_; }
    cups_option_t* data() const { return options_; }

private:
    int count_ = 0;
    cups_option_t* options_ = nullptr;
};

QString lastCupsError() {
    const char* text = cupsLastErrorString();
    if (text && *text)
        return QString::fromUtf8(text);
    return QString::fromUtf8(ippErrorString(cupsLastError()));
}

QString systemReason(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

// How long one request may wait for its answer: $ZENDRIK_CUPS_TIMEOUT seconds, else the default.
milliseconds callBudget() {
    bool ok = false;
    const double seconds = qEnvironmentVariable(kCupsTimeoutEnv).toDouble(&ok);
    if (ok && seconds > 0 && seconds <= 86400)
        return milliseconds(std::llround(seconds * 1000));
    return std::chrono::seconds(kDefaultCupsTimeoutSeconds);
}

QString secondsText(milliseconds budget) {
    return QStringLiteral("%1 s").arg(double(budget.count()) / 1000);
}

// Why connecting failed. libcups reports every failure as "Host is down"; the system's own
// reason comes from trying the first address once more.
QString connectFailure(const char* server, milliseconds waited, milliseconds budget) {
    if (waited >= budget)
        return QStringLiteral("no answer within %1").arg(secondsText(budget));
    int error = 0;
    if (server[0] == '/') {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, server, sizeof address.sun_path - 1);
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
            error = errno;
        if (fd >= 0)
            ::close(fd);
    } else if (http_addrlist_t* list = httpAddrGetList(server, AF_UNSPEC, QByteArray::number(ippPort()).constData())) {
        const int fd = ::socket(list->addr.addr.sa_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (fd >= 0 && ::connect(fd, &list->addr.addr, socklen_t(httpAddrLength(&list->addr))) != 0) {
            error = errno;
            pollfd wanted{fd, POLLOUT, 0};
            if (error == EINPROGRESS) {
                socklen_t size = sizeof error;
                error = ::poll(&wanted, 1, 1000) > 0 && ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0
                            ? error
                            : ETIMEDOUT;
            }
        }
        if (fd >= 0)
            ::close(fd);
        httpAddrFreeList(list);
    } else {
        return QStringLiteral("the name \"%1\" cannot be resolved").arg(QString::fromUtf8(server));
    }
    return error == 0 ? lastCupsError() : systemReason(error);
}

// A connection to the configured scheduler, or to a printer named by its URI, on which no call
// waits longer than its budget: a call whose answer does not come in time, or whose job is
// cancelled, fails, and failure() says which of the two, what the other side answered, or what
// became of the connection.
class Connection {
public:
    Connection(milliseconds budget, std::stop_token stop) : budget_(budget), stop_(std::move(stop)) {}
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Connects within the budget. On failure, error() says why, naming the server.
    bool connect() {
        server_ = QString::fromUtf8(cupsServer());
        peer_ = QStringLiteral("the CUPS server %1").arg(server_);
        const auto started = Clock::now();
        std::atomic<int> cancel{0};
        std::stop_callback onStop(stop_, [&] { cancel = 1; });
        http_.reset(httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1, int(budget_.count()),
                                 reinterpret_cast<int*>(&cancel)));
        if (http_) {
            httpSetTimeout(http_.get(), kWaitSliceS, &Connection::keepWaiting, this);
            return true;
        }
        connectError_ =
            connectFailure(cupsServer(), std::chrono::duration_cast<milliseconds>(Clock::now() - started), budget_);
        return false;
    }
    // Connects to the printer `dest` was made for from its URI, within the budget.
    bool connectPrinter(cups_dest_t* dest) {
        const char* uri = cupsGetOption("device-uri", dest->num_options, dest->options);
        server_ = QString::fromUtf8(uri ? uri : dest->name);
        peer_ = QStringLiteral("the printer %1").arg(server_);
        const auto started = Clock::now();
        std::atomic<int> cancel{0};
        std::stop_callback onStop(stop_, [&] { cancel = 1; });
        char path[HTTP_MAX_URI] = "/";
        http_.reset(cupsConnectDest(dest, CUPS_DEST_FLAGS_DEVICE, int(budget_.count()), reinterpret_cast<int*>(&cancel),
                                    path, sizeof path, nullptr, nullptr));
        // libcups hands back the connection even when it could not connect.
        if (http_ && httpGetFd(http_.get()) < 0)
            http_.reset();
        if (http_) {
            resource_ = path;
            httpSetTimeout(http_.get(), kWaitSliceS, &Connection::keepWaiting, this);
            return true;
        }
        const auto waited = std::chrono::duration_cast<milliseconds>(Clock::now() - started);
        connectError_ =
            waited >= budget_ ? QStringLiteral("no answer within %1").arg(secondsText(budget_)) : lastCupsError();
        return false;
    }
    QString connectError() const { return QStringLiteral("Unable to connect to %1: %2").arg(peer_, connectError_); }
    // The path requests on this connection go to.
    const char* resource() const { return resource_.constData(); }
    http_t* http() const { return http_.get(); }
    bool cancelled() const { return stop_.stop_requested(); }

    // Gives the next call the whole budget again.
    void arm() {
        deadline_ = Clock::now() + budget_;
        expired_ = false;
    }
    // Why the last call failed.
    QString failure() const {
        if (expired_)
            return QStringLiteral("no answer from %1 within %2").arg(peer_, secondsText(budget_));
        const int error = httpError(http_.get());
        if (error == ETIMEDOUT)
            return QStringLiteral("no answer from %1").arg(peer_);
        if (error == EPIPE || error == ECONNRESET)
            return QStringLiteral("%1 closed the connection").arg(peer_);
        if (error == EINVAL)
            return QStringLiteral("%1 sent an answer that is not IPP").arg(peer_);
        if (error != 0)
            return QStringLiteral("the connection to %1 failed: %2").arg(peer_, systemReason(error));
        if (httpGetStatus(http_.get()) == HTTP_STATUS_ERROR)
            return QStringLiteral("%1 sent an answer that is not HTTP").arg(peer_);
        return lastCupsError();
    }

private:
    static int keepWaiting(http_t*, void* self) {
        auto* connection = static_cast<Connection*>(self);
        if (connection->stop_.stop_requested())
            return 0;
        if (Clock::now() < connection->deadline_)
            return 1;
        connection->expired_ = true;
        return 0;
    }

    HttpPtr http_;
    QString server_;
    QString peer_;
    QByteArray resource_ = "/";
    QString connectError_;
    milliseconds budget_;
    std::stop_token stop_;
    Clock::time_point deadline_ = Clock::now();
    bool expired_ = false;
};

QString destinationName(const cups_dest_t& dest) {
    QString name = QString::fromUtf8(dest.name);
    if (dest.instance)
        name += QLatin1Char('/') + QString::fromUtf8(dest.instance);
    return name;
}

QByteArray resolutionText(int x, int y, ipp_res_t units) {
    const char* suffix = units == IPP_RES_PER_CM ? "dpcm" : "dpi";
    if (x == y)
        return QByteArray::number(x) + suffix;
    return QByteArray::number(x) + 'x' + QByteArray::number(y) + suffix;
}

// The printer's resolution that matches the quality, when it offers more than one.
std::optional<QByteArray> resolutionFor(http_t* http, cups_dest_t* dest, cups_dinfo_t* info, Quality quality) {
    ipp_attribute_t* supported = cupsFindDestSupported(http, dest, info, "printer-resolution");
    if (!supported || ippGetValueTag(supported) != IPP_TAG_RESOLUTION || ippGetCount(supported) < 2)
        return std::nullopt;

    struct Res {
        int x, y;
        ipp_res_t units;
        double dotsPerSquareInch() const {
            const double scale = units == IPP_RES_PER_CM ? 2.54 : 1.0;
            return x * scale * y * scale;
        }
    };
    QList<Res> all;
    for (int i = 0; i < ippGetCount(supported); ++i) {
        Res r{};
        r.x = ippGetResolution(supported, i, &r.y, &r.units);
        all.append(r);
    }
    std::stable_sort(all.begin(), all.end(),
                     [](const Res& a, const Res& b) { return a.dotsPerSquareInch() < b.dotsPerSquareInch(); });

    Res chosen = all.at(all.size() / 2);
    if (quality == Quality::Draft) {
        chosen = all.first();
    } else if (quality == Quality::High) {
        chosen = all.last();
    } else if (ipp_attribute_t* def = cupsFindDestDefault(http, dest, info, "printer-resolution");
               def && ippGetValueTag(def) == IPP_TAG_RESOLUTION) {
        Res d{};
        d.x = ippGetResolution(def, 0, &d.y, &d.units);
        chosen = d;
    }
    return resolutionText(chosen.x, chosen.y, chosen.units);
}

// The keywords a printer lists for an attribute ("media-supported"), without custom size ranges.
QStringList supportedKeywords(http_t* http, cups_dest_t* dest, cups_dinfo_t* info, const char* option) {
    QStringList keywords;
    ipp_attribute_t* supported = cupsFindDestSupported(http, dest, info, option);
    for (int i = 0; supported && i < ippGetCount(supported); ++i) {
        const QString keyword = QString::fromUtf8(ippGetString(supported, i, nullptr));
        if (!keyword.isEmpty() && !keyword.startsWith(QLatin1String("custom_")))
            keywords.append(keyword);
    }
    return keywords;
}

// "Letter (na_letter_8.5x11in)": the paper list's name for a PWG media name, where it has one.
QString describeMedia(const QString& media) {
    for (const Paper& paper : paperTable()) {
        if (media == QLatin1String(paper.pwgMedia))
            return QStringLiteral("%1 (%2)").arg(QLatin1String(paper.name), media);
    }
    return media;
}

// A sheet the printer lists, or one that its custom size range holds ("custom_b4_250x353mm" for
// "iso_b4_250x353mm": the PWG name with the custom class).
bool offersPaper(http_t* http, cups_dest_t* dest, cups_dinfo_t* info, const char* pwgMedia) {
    if (cupsCheckDestSupported(http, dest, info, "media", pwgMedia))
        return true;
    const char* nameAndSize = std::strchr(pwgMedia, '_');
    return nameAndSize &&
           cupsCheckDestSupported(http, dest, info, "media", (QByteArray("custom") + nameAndSize).constData());
}

// The paper and the paper source are never changed behind the user's back: a printer that lists
// its media or sources and lacks the one asked for refuses the job. A printer that lists no
// sources, and the Auto bin on any printer, leave the source to the printer.
Status buildOptions(http_t* http, cups_dest_t* dest, cups_dinfo_t* info, const JobSettings& s, Options& options) {
    options.add("copies", QByteArray::number(std::max(1, s.copies)));
    if (const auto paper = paperForCode(s.paperSize)) {
        const QStringList offered = supportedKeywords(http, dest, info, "media");
        if (!offered.isEmpty() && !offersPaper(http, dest, info, paper->pwgMedia)) {
            QStringList described;
            for (const QString& media : offered)
                described.append(describeMedia(media));
            return Failure{ErrorCode::SpoolerFailed,
                           QStringLiteral("it has no paper %1 (media %2); it offers %3")
                               .arg(QLatin1String(paper->name), QLatin1String(paper->pwgMedia),
                                    described.join(QLatin1String(", ")))};
        }
        options.add("media", paper->pwgMedia);
    }
    options.add("orientation-requested", s.orientation == 2 ? "4" : "3");

    if (const auto bin = paperBinForCode(s.paperBin)) {
        const QStringList sources = supportedKeywords(http, dest, info, "media-source");
        if (sources.contains(QLatin1String(bin->mediaSource))) {
            options.add("media-source", bin->mediaSource);
        } else if (!sources.isEmpty() && bin->code != kDefaultPaperBinCode) {
            return Failure{
                ErrorCode::SpoolerFailed,
                QStringLiteral("it has no paper source %1 (media-source %2); it offers %3")
                    .arg(QLatin1String(bin->name), QLatin1String(bin->mediaSource), sources.join(QLatin1String(", ")))};
        }
    }

    const Quality quality = qualityFor(s.printQuality);
    options.add("print-quality", QByteArray::number(int(quality)));
    if (auto resolution = resolutionFor(http, dest, info, quality))
        options.add("printer-resolution", *resolution);
    return {};
}

bool isFailure(ipp_status_t status) {
    return status > IPP_STATUS_OK_EVENTS_COMPLETE;
}

// When the connection breaks before the answer to the finished document, libcups keeps the
// previous (successful) status: the job counts as queued only once the scheduler says it holds
// the document.
bool confirmDocument(const Connection& connection, cups_dest_t* dest, int jobId, QString* error) {
    ipp_t* request = ippNewRequest(IPP_OP_GET_JOB_ATTRIBUTES);
    const char* uri = cupsGetOption("printer-uri-supported", dest->num_options, dest->options);
    if (!uri)
        uri = cupsGetOption("device-uri", dest->num_options, dest->options);
    if (uri) {
        ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri);
        ippAddInteger(request, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "job-id", jobId);
    } else {
        char jobUri[HTTP_MAX_URI];
        httpAssembleURIf(HTTP_URI_CODING_ALL, jobUri, sizeof jobUri, "ipp", nullptr, "localhost", ippPort(), "/jobs/%d",
                         jobId);
        ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "job-uri", nullptr, jobUri);
    }
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
    static const char* const wanted[] = {"job-state", "number-of-documents"};
    ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", 2, nullptr, wanted);

    ipp_t* response = cupsDoRequest(connection.http(), request, connection.resource());
    const bool answered = response && !isFailure(ippGetStatusCode(response));
    ipp_attribute_t* docs = answered ? ippFindAttribute(response, "number-of-documents", IPP_TAG_INTEGER) : nullptr;
    ipp_attribute_t* state = answered ? ippFindAttribute(response, "job-state", IPP_TAG_ENUM) : nullptr;
    // A printer need not count documents; then a job it has neither cancelled nor aborted holds it.
    const bool held =
        docs ? ippGetInteger(docs, 0) >= 1
             : state && ippGetInteger(state, 0) != IPP_JSTATE_CANCELED && ippGetInteger(state, 0) != IPP_JSTATE_ABORTED;
    ippDelete(response);
    if (!answered)
        *error = connection.failure();
    else if (!held)
        *error = QStringLiteral("The CUPS server did not keep the document of job %1").arg(jobId);
    return held;
}

// A printer's own URI rather than a queue name: the job goes to the printer directly.
bool isPrinterUri(const QString& printer) {
    return printer.startsWith(QLatin1String("ipp://")) || printer.startsWith(QLatin1String("ipps://"));
}

// A destination for a printer's URI, and a connection to that printer.
Result<DestPtr> connectToPrinter(Connection& connection, const QString& uri) {
    DestPtr dest(cupsGetDestWithURI(nullptr, uri.toUtf8().constData()));
    if (!dest)
        return Failure{ErrorCode::UnknownPrinter, lastCupsError()};
    if (!connection.connectPrinter(dest.get())) {
        if (connection.cancelled())
            return cancelledFailure();
        return Failure{ErrorCode::SpoolerFailed, connection.connectError()};
    }
    return dest;
}

// The destination named `queue` ("name" or "name/instance"), asked of the scheduler on this
// connection alone: cupsGetNamedDest would try others after a failure, each with libcups's own
// minute-long wait, and report any of them as "does not exist".
Result<DestPtr> lookUp(Connection& connection, const QString& queue) {
    const qsizetype slash = queue.indexOf(QLatin1Char('/'));
    const QByteArray name = queue.left(slash).toUtf8();
    const QByteArray instance = slash < 0 ? QByteArray() : queue.mid(slash + 1).toUtf8();

    ipp_t* request = ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
    char uri[HTTP_MAX_URI];
    httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", ippPort(), "/printers/%s",
                     name.constData());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
    static const char* const wanted[] = {"printer-uri-supported", "printer-state", "printer-is-accepting-jobs",
                                         "printer-type",          "printer-info",  "device-uri"};
    ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", int(std::size(wanted)), nullptr,
                  wanted);
    connection.arm();
    ipp_t* response = cupsDoRequest(connection.http(), request, "/");
    const ipp_status_t status = response ? ippGetStatusCode(response) : cupsLastError();
    if (!response || isFailure(status)) {
        ippDelete(response);
        if (connection.cancelled())
            return cancelledFailure();
        const ErrorCode code =
            status == IPP_STATUS_ERROR_NOT_FOUND && httpGetStatus(connection.http()) == HTTP_STATUS_OK
                ? ErrorCode::UnknownPrinter
                : ErrorCode::SpoolerFailed;
        return Failure{code, connection.failure()};
    }
    // The destination as cupsGetNamedDest makes it: the printer's attributes as options, numbers
    // for enums.
    cups_dest_t* dests = nullptr;
    cupsAddDest(name.constData(), instance.isEmpty() ? nullptr : instance.constData(), 0, &dests);
    DestPtr dest(dests);
    for (ipp_attribute_t* attr = ippFirstAttribute(response); attr; attr = ippNextAttribute(response)) {
        const char* attrName = ippGetName(attr);
        if (!attrName || ippGetGroupTag(attr) != IPP_TAG_PRINTER)
            continue;
        QByteArray value;
        const ipp_tag_t tag = ippGetValueTag(attr);
        if (tag == IPP_TAG_ENUM || tag == IPP_TAG_INTEGER) {
            value = QByteArray::number(ippGetInteger(attr, 0));
        } else {
            char text[1024];
            ippAttributeString(attr, text, sizeof text);
            value = text;
        }
        dest->num_options = cupsAddOption(attrName, value.constData(), dest->num_options, &dest->options);
    }
    ippDelete(response);
    return dest;
}

struct ListingState {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    QList<Destination> destinations;
};

} // namespace

QList<Destination> listDestinations() {
    // libcups waits a second for any answer before it looks at its timeout, so the listing runs on
    // a thread of its own, which the caller leaves waiting when the time is up.
    const auto deadline = Clock::now() + kListBudget;
    auto state = std::make_shared<ListingState>();
    std::thread([state] {
        QList<Destination> result;
        Connection connection(kListBudget, {});
        if (connection.connect()) {
            connection.arm();
            cups_dest_t* dests = nullptr;
            const int count = cupsGetDests2(connection.http(), &dests);
            for (int i = 0; i < count; ++i)
                result.append(Destination{destinationName(dests[i]), dests[i].is_default != 0});
            cupsFreeDests(count, dests);
        }
        std::lock_guard lock(state->mutex);
        state->destinations = std::move(result);
        state->finished = true;
        state->done.notify_all();
    }).detach();
    std::unique_lock lock(state->mutex);
    if (!state->done.wait_until(lock, deadline, [&] { return state->finished; }))
        return {};
    return state->destinations;
}

Status checkDestination(const QString& queue, std::stop_token stop) {
    const auto cannotUse = [&](ErrorCode code, const QString& why) {
        return Failure{code, QStringLiteral("The printer \"%1\" cannot be used: %2").arg(queue, why)};
    };
    Connection connection(callBudget(), std::move(stop));
    if (isPrinterUri(queue)) {
        Result<DestPtr> dest = connectToPrinter(connection, queue);
        if (!dest)
            return dest.failure().code == ErrorCode::Cancelled ? dest.failure()
                                                               : cannotUse(dest.failure().code, dest.failure().message);
        connection.arm();
        if (!DinfoPtr(cupsCopyDestInfo(connection.http(), dest->get()))) {
            if (connection.cancelled())
                return cancelledFailure();
            return cannotUse(cupsLastError() == IPP_STATUS_ERROR_NOT_FOUND ? ErrorCode::UnknownPrinter
                                                                           : ErrorCode::SpoolerFailed,
                             connection.failure());
        }
        return {};
    }
    // With no scheduler the printer list holds "Save as PDF" alone: any other name is unknown.
    if (!connection.connect())
        return cannotUse(ErrorCode::UnknownPrinter, connection.connectError());
    Result<DestPtr> dest = lookUp(connection, queue);
    if (!dest) {
        if (dest.failure().code == ErrorCode::Cancelled)
            return dest.failure();
        return cannotUse(dest.failure().code, dest.failure().message);
    }
    return {};
}

struct Job::State {
    State(QString name, std::stop_token stop) : queue(std::move(name)), connection(callBudget(), std::move(stop)) {}

    QString queue;
    Connection connection;
    bool direct = false; // a printer's URI: requests go to the printer, not a scheduler
    DestPtr dest;
    DinfoPtr info;
    int jobId = 0;
    bool done = false;

    http_t* http() const { return connection.http(); }
    Failure failure(const QString& why) const {
        if (connection.cancelled())
            return cancelledFailure();
        return Failure{ErrorCode::SpoolerFailed,
                       QStringLiteral("The printer \"%1\" did not take the job: %2").arg(queue, why)};
    }
    Failure callFailure() const { return failure(connection.failure()); }
};

Job::Job(std::unique_ptr<State> state) : d(std::move(state)) {}

Job::~Job() {
    if (!d->done)
        cancel();
}

int Job::jobId() const {
    return d->jobId;
}

Result<std::unique_ptr<Job>> Job::start(const QString& queue, const JobSettings& settings, std::stop_token stop) {
    auto state = std::make_unique<State>(queue, std::move(stop));
    state->direct = isPrinterUri(queue);
    if (!state->direct && !state->connection.connect())
        return state->failure(state->connection.connectError());
    Result<DestPtr> dest = state->direct ? connectToPrinter(state->connection, queue) : lookUp(state->connection, queue);
    if (!dest)
        return state->failure(dest.failure().message);
    state->dest = std::move(*dest);
    state->connection.arm();
    state->info.reset(cupsCopyDestInfo(state->http(), state->dest.get()));
    if (!state->info)
        return state->callFailure();

    Options options;
    state->connection.arm();
    if (Status usable = buildOptions(state->http(), state->dest.get(), state->info.get(), settings, options); !usable)
        return state->failure(usable.message());
    const QByteArray title = settings.jobName.toUtf8();
    state->connection.arm();
    if (isFailure(cupsCreateDestJob(state->http(), state->dest.get(), state->info.get(), &state->jobId,
                                    title.constData(), options.count(), options.data())) ||
        state->jobId <= 0) {
        state->jobId = 0;
        state->done = true;
        return state->callFailure();
    }
    std::unique_ptr<Job> job(new Job(std::move(state)));
    State& s = *job->d;
    s.connection.arm();
    if (cupsStartDestDocument(s.http(), s.dest.get(), s.info.get(), s.jobId, title.constData(), CUPS_FORMAT_PDF, 0,
                              nullptr, 1) != HTTP_STATUS_CONTINUE)
        return s.callFailure(); // the job is cancelled as it goes
    return job;
}

Status Job::write(const char* data, qint64 size) {
    d->connection.arm();
    if (cupsWriteRequestData(d->http(), data, std::size_t(size)) != HTTP_STATUS_CONTINUE)
        return d->callFailure();
    return {};
}

Result<Job::Accepted> Job::finish() {
    d->connection.arm();
    if (isFailure(cupsFinishDestDocument(d->http(), d->dest.get(), d->info.get())))
        return d->callFailure();
    d->connection.arm();
    if (QString error; !confirmDocument(d->connection, d->dest.get(), d->jobId, &error))
        return d->failure(error);
    d->done = true;
    const char* state = cupsGetOption("printer-state", d->dest->num_options, d->dest->options);
    return Accepted{d->jobId, state && std::strcmp(state, "5") == 0};
}

void Job::cancel() noexcept {
    if (d->done)
        return;
    d->done = true;
    if (!d->http() || d->jobId <= 0)
        return;
    // The job may have been cancelled because the connection is stuck: the cancel gets a short
    // wait of its own, on a connection of its own.
    Connection connection(std::min(kCancelBudget, callBudget()), {});
    if (!(d->direct ? connection.connectPrinter(d->dest.get()) : connection.connect()))
        return;
    connection.arm();
    cupsCancelDestJob(connection.http(), d->dest.get(), d->jobId);
}

} // namespace zendrik::cups
