#include "cupsqueue.h"

#include <QByteArray>
#include <QFile>

#include <cups/cups.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <memory>
#include <optional>

namespace zendrik::cups {

namespace {

// Indexed by paper-size position 1..41 (slot 0 unused). Envelopes C3, C4, C5 stand at 28..30.
constexpr std::array<const char*, 42> kMedia = {
    nullptr,
    "na_letter_8.5x11in",        // 1 Letter
    "na_letter_8.5x11in",        // 2 LetterSmall
    "na_ledger_11x17in",         // 3 Tabloid
    "na_ledger_11x17in",         // 4 Ledger
    "na_legal_8.5x14in",         // 5 Legal
    "na_invoice_5.5x8.5in",      // 6 Statement
    "na_executive_7.25x10.5in",  // 7 Executive
    "iso_a3_297x420mm",          // 8 A3
    "iso_a4_210x297mm",          // 9 A4
    "iso_a4_210x297mm",          // 10 A4Small
    "iso_a5_148x210mm",          // 11 A5
    "iso_b4_250x353mm",          // 12 B4
    "jis_b5_182x257mm",          // 13 B5
    "na_foolscap_8.5x13in",      // 14 Folio
    "na_quarto_8.5x10.83in",     // 15 Quarto
    "na_10x14_10x14in",          // 16 10x14
    "na_ledger_11x17in",         // 17 11x17
    "na_letter_8.5x11in",        // 18 Note
    "na_number-9_3.875x8.875in", // 19 Env9
    "na_number-10_4.125x9.5in",  // 20 Env10
    "na_number-11_4.5x10.375in", // 21 Env11
    "na_number-12_4.75x11in",    // 22 Env12
    "na_number-14_5x11.5in",     // 23 Env14
    "na_c_17x22in",              // 24 CSheet
    "na_d_22x34in",              // 25 DSheet
    "na_e_34x44in",              // 26 ESheet
    "iso_dl_110x220mm",          // 27 EnvDL
    "iso_c3_324x458mm",          // 28 EnvC3
    "iso_c4_229x324mm",          // 29 EnvC4
    "iso_c5_162x229mm",          // 30 EnvC5
    "iso_c6_114x162mm",          // 31 EnvC6
    "iso_c6c5_114x229mm",        // 32 EnvC65
    "iso_b4_250x353mm",          // 33 EnvB4
    "iso_b5_176x250mm",          // 34 EnvB5
    "iso_b6_125x176mm",          // 35 EnvB6
    "om_italian_110x230mm",      // 36 EnvItaly
    "na_monarch_3.875x7.5in",    // 37 EnvMonarch
    "na_personal_3.625x6.5in",   // 38 EnvPersonal
    "na_fanfold-us_11x14.875in", // 39 FanfoldUS
    "na_fanfold-eur_8.5x12in",   // 40 FanfoldStdGerman
    "na_foolscap_8.5x13in",      // 41 FanfoldLglGerman
};

// Indexed by paper-bin position 1..12. Bins without a PWG keyword use the name CUPS derives
// from a PPD InputSlot of the same name.
constexpr std::array<const char*, 13> kMediaSource = {
    nullptr,
    "top",            // 1 Upper
    "bottom",         // 2 Lower
    "middle",         // 3 Middle
    "manual",         // 4 Manual
    "envelope",       // 5 Envelope
    "env-manual",     // 6 EnvManual
    "auto",           // 7 Auto
    "tractor",        // 8 Tractor
    "small-fmt",      // 9 SmallFmt
    "large-fmt",      // 10 LargeFmt
    "large-capacity", // 11 LargeCapacity
    "main",           // 12 Cassette
};

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
// Submitting may take long for a large document; it gives up after this long without progress.
constexpr double kSubmitStallS = 30.0;

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

void buildOptions(http_t* http, cups_dest_t* dest, cups_dinfo_t* info, const JobSettings& s, Options& options) {
    options.add("copies", QByteArray::number(std::max(1, s.copies)));
    if (s.paperSize >= 1 && s.paperSize < int(kMedia.size()))
        options.add("media", kMedia[std::size_t(s.paperSize)]);
    options.add("orientation-requested", s.orientation == 2 ? "4" : "3");

    if (s.paperBin >= 1 && s.paperBin < int(kMediaSource.size())) {
        const char* source = kMediaSource[std::size_t(s.paperBin)];
        if (cupsCheckDestSupported(http, dest, info, "media-source", source))
            options.add("media-source", source);
    }

    const Quality quality = qualityFor(s.printQuality);
    options.add("print-quality", QByteArray::number(int(quality)));
    if (auto resolution = resolutionFor(http, dest, info, quality))
        options.add("printer-resolution", *resolution);
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
bool confirmDocument(http_t* http, cups_dest_t* dest, int jobId, QString* error) {
    ipp_t* request = ippNewRequest(IPP_OP_GET_JOB_ATTRIBUTES);
    if (const char* uri = cupsGetOption("printer-uri-supported", dest->num_options, dest->options)) {
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

    ipp_t* response = cupsDoRequest(http, request, "/");
    const bool answered = response && !isFailure(ippGetStatusCode(response));
    ipp_attribute_t* docs = answered ? ippFindAttribute(response, "number-of-documents", IPP_TAG_INTEGER) : nullptr;
    const bool held = docs && ippGetInteger(docs, 0) >= 1;
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
DestPtr namedDestination(http_t* http, const QString& queue) {
    // Queue names never hold '/': anything after it names an instance.
    const qsizetype slash = queue.indexOf(QLatin1Char('/'));
    const QByteArray name = queue.left(slash).toUtf8();
    const QByteArray instance = slash < 0 ? QByteArray() : queue.mid(slash + 1).toUtf8();
    return DestPtr(cupsGetNamedDest(http, name.isEmpty() ? nullptr : name.constData(),
                                    instance.isEmpty() ? nullptr : instance.constData()));
}
} // namespace

DestinationCheck checkDestination(const QString& queue) {
    DestinationCheck check;
    HttpPtr http = connectServer(&check.error);
    if (!http) {
        // With no scheduler the printer list holds "Save as PDF" alone: any other name is unknown.
        check.unknown = true;
        return check;
    }
    httpSetTimeout(http.get(), kSubmitStallS, nullptr, nullptr);
    if (!namedDestination(http.get(), queue)) {
        check.error = lastCupsError();
        check.unknown = cupsLastError() == IPP_STATUS_ERROR_NOT_FOUND;
        return check;
    }
    check.ok = true;
    return check;
}

SubmitResult submitPdf(const QString& queue, const QString& pdfPath, const JobSettings& settings) {
    SubmitResult result;

    QFile pdf(pdfPath);
    if (!pdf.open(QIODevice::ReadOnly)) {
        result.error = QStringLiteral("Cannot read %1: %2").arg(pdfPath, pdf.errorString());
        return result;
    }

    HttpPtr http = connectServer(&result.error);
    if (!http)
        return result;
    httpSetTimeout(http.get(), kSubmitStallS, nullptr, nullptr);

    DestPtr dest = namedDestination(http.get(), queue);
    if (!dest) {
        result.error = lastCupsError();
        return result;
    }

    DinfoPtr info(cupsCopyDestInfo(http.get(), dest.get()));
    if (!info) {
        result.error = lastCupsError();
        return result;
    }

    Options options;
    buildOptions(http.get(), dest.get(), info.get(), settings, options);

    const QByteArray title = settings.jobName.toUtf8();
    int jobId = 0;
    if (isFailure(cupsCreateDestJob(http.get(), dest.get(), info.get(), &jobId, title.constData(), options.count(),
                                    options.data())) ||
        jobId <= 0) {
        result.error = lastCupsError();
        return result;
    }

    auto fail = [&](const QString& error) {
        result.error = error;
        cupsCancelDestJob(http.get(), dest.get(), jobId);
        return result;
    };

    if (cupsStartDestDocument(http.get(), dest.get(), info.get(), jobId, title.constData(), CUPS_FORMAT_PDF, 0, nullptr,
                              1) != HTTP_STATUS_CONTINUE)
        return fail(lastCupsError());

    // Read until the end rather than by size, so that any readable stream works.
    QByteArray buffer(64 * 1024, Qt::Uninitialized);
    for (;;) {
        const qint64 n = pdf.read(buffer.data(), buffer.size());
        if (n < 0) {
            const QString readError = QStringLiteral("Cannot read %1: %2").arg(pdfPath, pdf.errorString());
            cupsFinishDestDocument(http.get(), dest.get(), info.get());
            return fail(readError);
        }
        if (n == 0)
            break;
        if (cupsWriteRequestData(http.get(), buffer.constData(), std::size_t(n)) != HTTP_STATUS_CONTINUE) {
            const QString writeError = lastCupsError();
            cupsFinishDestDocument(http.get(), dest.get(), info.get());
            return fail(writeError);
        }
    }

    if (isFailure(cupsFinishDestDocument(http.get(), dest.get(), info.get())))
        return fail(lastCupsError());
    if (QString error; !confirmDocument(http.get(), dest.get(), jobId, &error))
        return fail(error);

    result.ok = true;
    result.jobId = jobId;
    const char* state = cupsGetOption("printer-state", dest->num_options, dest->options);
    result.queueStopped = state && std::strcmp(state, "5") == 0;
    return result;
}

} // namespace zendrik::cups
