#include "output/cupsqueue.h"

#include <zendrik/papers.h>

#include <QByteArray>

#include <cups/cups.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <memory>
#include <optional>

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

constexpr int kConnectTimeoutMs = 1000;
// Listing runs on the caller's (often the GUI) thread: a scheduler that accepts the connection
// but does not answer gets this long for all of it.
constexpr std::chrono::milliseconds kListBudget{2000};
// Sending may take long for a large document; it gives up after this long without progress.
constexpr std::chrono::seconds kStallLimit{30};
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

// Connects to the configured scheduler, giving up after a second.
HttpPtr connectServer(QString* error) {
    const char* server = cupsServer();
    HttpPtr http(httpConnect2(server, ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1, kConnectTimeoutMs, nullptr));
    if (!http && error)
        *error = QStringLiteral("Unable to connect to the CUPS server %1: %2")
                     .arg(QString::fromUtf8(server), lastCupsError());
    return http;
}

using Clock = std::chrono::steady_clock;

int beforeDeadline(http_t*, void* deadline) {
    return Clock::now() < *static_cast<Clock::time_point*>(deadline) ? 1 : 0;
}

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

// Why the connection failed, when libcups recorded no IPP error for it.
QString connectionError(http_t* http) {
    if (isFailure(cupsLastError()))
        return lastCupsError();
    const int err = httpError(http);
    if (err)
        return QString::fromLocal8Bit(std::strerror(err));
    return QStringLiteral("The CUPS server closed the connection");
}

// When the connection breaks before the answer to the finished document, libcups keeps the
// previous (successful) status: the job counts as queued only once the scheduler says it holds
// the document.
bool confirmDocument(http_t* http, cups_dest_t* dest, int jobId, const char* resource, QString* error) {
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

    ipp_t* response = cupsDoRequest(http, request, resource);
    const bool answered = response && !isFailure(ippGetStatusCode(response));
    ipp_attribute_t* docs = answered ? ippFindAttribute(response, "number-of-documents", IPP_TAG_INTEGER) : nullptr;
    ipp_attribute_t* state = answered ? ippFindAttribute(response, "job-state", IPP_TAG_ENUM) : nullptr;
    // A printer need not count documents; then a job it has neither cancelled nor aborted holds it.
    const bool held =
        docs ? ippGetInteger(docs, 0) >= 1
             : state && ippGetInteger(state, 0) != IPP_JSTATE_CANCELED && ippGetInteger(state, 0) != IPP_JSTATE_ABORTED;
    ippDelete(response);
    if (!answered)
        *error = connectionError(http);
    else if (!held)
        *error = QStringLiteral("The CUPS server did not keep the document of job %1").arg(jobId);
    return held;
}

} // namespace

QList<Destination> listDestinations() {
    QList<Destination> result;
    Clock::time_point deadline = Clock::now() + kListBudget;
    HttpPtr http = connectServer(nullptr);
    if (!http)
        return result;
    httpSetTimeout(http.get(), 0.25, beforeDeadline, &deadline);

    cups_dest_t* dests = nullptr;
    const int count = cupsGetDests2(http.get(), &dests);
    for (int i = 0; i < count; ++i)
        result.append(Destination{destinationName(dests[i]), dests[i].is_default != 0});
    cupsFreeDests(count, dests);
    return result;
}

namespace {

// A printer's own URI rather than a queue name: the job goes to the printer directly.
bool isPrinterUri(const QString& printer) {
    return printer.startsWith(QLatin1String("ipp://")) || printer.startsWith(QLatin1String("ipps://"));
}

// Connects to the printer a URI names, giving up after a second; `resource` receives its path.
HttpPtr connectPrinter(cups_dest_t* dest, QByteArray* resource, QString* error) {
    char path[HTTP_MAX_URI] = "/";
    HttpPtr http(
        cupsConnectDest(dest, CUPS_DEST_FLAGS_DEVICE, kConnectTimeoutMs, nullptr, path, sizeof path, nullptr, nullptr));
    if (resource)
        *resource = path;
    // libcups hands back the connection even when it could not connect.
    if (http && httpGetFd(http.get()) < 0)
        http.reset();
    if (!http && error)
        *error = QStringLiteral("Unable to connect to the printer: %1").arg(lastCupsError());
    return http;
}

DestPtr namedDestination(http_t* http, const QString& queue) {
    if (isPrinterUri(queue))
        return DestPtr(cupsGetDestWithURI(nullptr, queue.toUtf8().constData()));
    // Queue names never hold '/': anything after it names an instance.
    const qsizetype slash = queue.indexOf(QLatin1Char('/'));
    const QByteArray name = queue.left(slash).toUtf8();
    const QByteArray instance = slash < 0 ? QByteArray() : queue.mid(slash + 1).toUtf8();
    return DestPtr(cupsGetNamedDest(http, name.isEmpty() ? nullptr : name.constData(),
                                    instance.isEmpty() ? nullptr : instance.constData()));
}
} // namespace

Status checkDestination(const QString& queue) {
    const auto cannotUse = [&](ErrorCode code, const QString& why) {
        return Failure{code, QStringLiteral("The printer \"%1\" cannot be used: %2").arg(queue, why)};
    };
    QString error;
    if (isPrinterUri(queue)) {
        DestPtr dest = namedDestination(nullptr, queue);
        if (!dest)
            return cannotUse(ErrorCode::UnknownPrinter, lastCupsError());
        HttpPtr http = connectPrinter(dest.get(), nullptr, &error);
        if (!http)
            return cannotUse(ErrorCode::SpoolerFailed, error);
        if (!DinfoPtr(cupsCopyDestInfo(http.get(), dest.get())))
            return cannotUse(cupsLastError() == IPP_STATUS_ERROR_NOT_FOUND ? ErrorCode::UnknownPrinter
                                                                           : ErrorCode::SpoolerFailed,
                             lastCupsError());
        return {};
    }
    HttpPtr http = connectServer(&error);
    // With no scheduler the printer list holds "Save as PDF" alone: any other name is unknown.
    if (!http)
        return cannotUse(ErrorCode::UnknownPrinter, error);
    Clock::time_point deadline = Clock::now() + kStallLimit;
    httpSetTimeout(http.get(), kWaitSliceS, beforeDeadline, &deadline);
    if (!namedDestination(http.get(), queue)) {
        return cannotUse(cupsLastError() == IPP_STATUS_ERROR_NOT_FOUND ? ErrorCode::UnknownPrinter
                                                                       : ErrorCode::SpoolerFailed,
                         lastCupsError());
    }
    return {};
}

struct Job::State {
    QString queue;
    bool direct = false;       // a printer's URI: requests go to the printer, not a scheduler
    QByteArray resource = "/"; // where on that connection
    HttpPtr http;
    DestPtr dest;
    DinfoPtr info;
    int jobId = 0;
    bool done = false;
    std::stop_token stop;
    Clock::time_point lastProgress = Clock::now();

    Failure failure(const QString& why) const {
        if (stop.stop_requested())
            return cancelledFailure();
        return Failure{ErrorCode::SpoolerFailed,
                       QStringLiteral("The printer \"%1\" did not take the job: %2").arg(queue, why)};
    }
    // A wait for the scheduler goes on while the job is wanted and the scheduler makes progress.
    static int keepWaiting(http_t*, void* self) {
        const auto* state = static_cast<const State*>(self);
        return !state->stop.stop_requested() && Clock::now() - state->lastProgress < kStallLimit ? 1 : 0;
    }
    void progressed() { lastProgress = Clock::now(); }
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
    auto state = std::make_unique<State>();
    state->queue = queue;
    state->stop = std::move(stop);
    QString error;
    state->direct = isPrinterUri(queue);
    if (state->direct) {
        state->dest = namedDestination(nullptr, queue);
        if (!state->dest)
            return state->failure(lastCupsError());
        state->http = connectPrinter(state->dest.get(), &state->resource, &error);
    } else {
        state->http = connectServer(&error);
    }
    if (!state->http)
        return state->failure(error);
    httpSetTimeout(state->http.get(), kWaitSliceS, State::keepWaiting, state.get());

    if (!state->dest)
        state->dest = namedDestination(state->http.get(), queue);
    if (!state->dest)
        return state->failure(lastCupsError());
    state->info.reset(cupsCopyDestInfo(state->http.get(), state->dest.get()));
    if (!state->info)
        return state->failure(lastCupsError());

    Options options;
    if (Status usable = buildOptions(state->http.get(), state->dest.get(), state->info.get(), settings, options);
        !usable)
        return state->failure(usable.message());
    const QByteArray title = settings.jobName.toUtf8();
    state->progressed();
    if (isFailure(cupsCreateDestJob(state->http.get(), state->dest.get(), state->info.get(), &state->jobId,
                                    title.constData(), options.count(), options.data())) ||
        state->jobId <= 0) {
        state->jobId = 0;
        state->done = true;
        return state->failure(lastCupsError());
    }
    std::unique_ptr<Job> job(new Job(std::move(state)));
    State& s = *job->d;
    s.progressed();
    if (cupsStartDestDocument(s.http.get(), s.dest.get(), s.info.get(), s.jobId, title.constData(), CUPS_FORMAT_PDF, 0,
                              nullptr, 1) != HTTP_STATUS_CONTINUE)
        return s.failure(lastCupsError()); // the job is cancelled as it goes
    return job;
}

Status Job::write(const char* data, qint64 size) {
    d->progressed();
    if (cupsWriteRequestData(d->http.get(), data, std::size_t(size)) != HTTP_STATUS_CONTINUE)
        return d->failure(lastCupsError());
    return {};
}

Result<Job::Accepted> Job::finish() {
    d->progressed();
    if (isFailure(cupsFinishDestDocument(d->http.get(), d->dest.get(), d->info.get())))
        return d->failure(lastCupsError());
    d->progressed();
    if (QString error; !confirmDocument(d->http.get(), d->dest.get(), d->jobId, d->resource.constData(), &error))
        return d->failure(error);
    d->done = true;
    const char* state = cupsGetOption("printer-state", d->dest->num_options, d->dest->options);
    return Accepted{d->jobId, state && std::strcmp(state, "5") == 0};
}

void Job::cancel() noexcept {
    if (d->done)
        return;
    d->done = true;
    if (!d->http || d->jobId <= 0)
        return;
    // The job may have been cancelled because the connection is stuck: the cancel gets a short
    // wait of its own, on a connection of its own.
    QString error;
    HttpPtr http = d->direct ? connectPrinter(d->dest.get(), nullptr, &error) : connectServer(&error);
    if (!http)
        return;
    Clock::time_point deadline = Clock::now() + std::chrono::seconds(2);
    httpSetTimeout(http.get(), kWaitSliceS, beforeDeadline, &deadline);
    cupsCancelDestJob(http.get(), d->dest.get(), d->jobId);
}

} // namespace zendrik::cups
