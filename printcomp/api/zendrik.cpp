#include <zendrik/zendrik.h>

#include "api/memberaccess.h"
#include "job/jobqueue.h"
#include "job/pipeline.h"
#include "job/preview.h"
#include "output/printers.h"

#include <zendrik/designtime.h>

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QPointer>
#include <QTimer>

#include <atomic>
#include <mutex>
#include <optional>

namespace zendrik {

namespace {

// Where the jobs' threads send their events: the component while it lives. Closed when the
// component goes, so that jobs finishing later send nothing.
class EventGate {
public:
    explicit EventGate(Zendrik* target) : target_(target) {}

    // Runs `event` with the component on the component's thread, if the component still lives.
    void post(std::function<void(Zendrik&)> event) {
        std::lock_guard lock(mutex_);
        if (!target_)
            return;
        // A posted call is dropped with its receiver, so it never meets a destroyed component.
        QMetaObject::invokeMethod(
            target_, [target = target_, event = std::move(event)] { event(*target); }, Qt::QueuedConnection);
    }
    void close() {
        std::lock_guard lock(mutex_);
        target_ = nullptr;
    }

private:
    std::mutex mutex_;
    Zendrik* target_;
};

} // namespace

class Q_DECL_HIDDEN Zendrik::Private {
public:
    explicit Private(Zendrik& owner) : gate(std::make_shared<EventGate>(&owner)), jobs(jobEvents(gate)) {}

    Settings settings; // fonts live in the font objects below
    std::array<std::unique_ptr<ZendrikFont>, kFontRoles> fonts;
    QString exactPdfPath;
    QString lastPdfPath;
    QString lastNotice;
    qint32 lastJobId = 0;
    qint32 pageCount = 0;
    qint64 lastBoxed = 0;
    std::shared_ptr<EventGate> gate;
    JobQueue jobs;
    int pending = 0;

    // The preview of the document as it stood when it was made, and what it was made from.
    struct PreviewOf {
        Settings settings;
        qint64 fileSize = -1;
        QDateTime fileModified;
        std::unique_ptr<Preview> preview;
    };
    PreviewOf preview;
    std::optional<Failure> previewFailure;

    ZendrikFont& font(FontRole role) { return *fonts[static_cast<size_t>(role)]; }
    // The members as PrintDoc freezes them.
    Settings snapshot() const {
        Settings s = settings;
        for (size_t i = 0; i < fonts.size(); ++i)
            s.fonts[i] = fonts[i]->spec();
        return s;
    }
    // The preview of the document as it stands now: the one made before while nothing changed.
    Result<Preview*> currentPreview();

    // Raises a member's refusal, naming the member, the value and what it accepts.
    [[noreturn]] static void refuse(const MemberInfo& member, const QString& value);
    // Sets a member through the table, range-checked, and reports it.
    template <class T> void put(Zendrik& q, quint32 id, T value);
    template <class T> T get(quint32 id) const;

private:
    static JobQueue::Events jobEvents(const std::shared_ptr<EventGate>& gate) {
        return JobQueue::Events{[gate](int page, int count) {
                                    gate->post([page, count](Zendrik& z) {
                                        z.d->pageCount = count;
                                        emit z.PrintingPage(page);
                                    });
                                },
                                [gate](const Result<OutputResult>& outcome) {
                                    gate->post([outcome](Zendrik& z) { z.d->finished(z, outcome); });
                                }};
    }
    void finished(Zendrik& q, const Result<OutputResult>& outcome) {
        --pending;
        if (!outcome) {
            emit q.PrintError(static_cast<qint32>(outcome.failure().code), outcome.failure().message);
            return;
        }
        lastPdfPath = outcome.value().path;
        lastNotice = outcome.value().notice;
        lastJobId = outcome.value().jobId;
        lastBoxed = outcome.value().boxedCharacters;
        emit q.PrintComplete();
    }
};

namespace {

// Booleans as hosts send them: a bool, "true"/"false", or the platform's -1 and 0 (1 is taken too).
std::optional<bool> parseBoolean(const QVariant& value) {
    if (value.typeId() == QMetaType::Bool)
        return value.toBool();
    const QString text = value.toString().trimmed().toLower();
    if (text == u"true" || text == u"-1" || text == u"1")
        return true;
    if (text == u"false" || text == u"0")
        return false;
    return std::nullopt;
}

QString quoted(const QVariant& value) {
    return QStringLiteral("\"%1\"").arg(value.toString());
}

} // namespace

Result<Preview*> Zendrik::Private::currentPreview() {
    const Settings now = snapshot();
    QFileInfo file;
    if (!now.docFile.isEmpty())
        file = QFileInfo(now.docFile);
    const qint64 size = file.exists() ? file.size() : -1;
    const QDateTime modified = file.exists() ? file.lastModified() : QDateTime();
    if (!preview.preview || preview.settings != now || preview.fileSize != size || preview.fileModified != modified) {
        preview = PreviewOf{};
        Result<std::unique_ptr<Preview>> made = Preview::open(now, QDateTime::currentDateTime());
        if (!made)
            return made.failure();
        preview = PreviewOf{now, size, modified, std::move(*made)};
    } else if (now.printDateTime) {
        if (Status dated = preview.preview->setStarted(QDateTime::currentDateTime()); !dated)
            return dated.failure();
    }
    return preview.preview.get();
}

void Zendrik::Private::refuse(const MemberInfo& member, const QString& value) {
    throw RefusedValue(QStringLiteral("%1: value %2 refused; accepted: %3")
                           .arg(QLatin1String(member.name), value, acceptedValues(member))
                           .toStdString());
}

template <class T> void Zendrik::Private::put(Zendrik& q, quint32 id, T value) {
    const MemberRow& row = *memberRowById(id);
    if constexpr (std::is_integral_v<T> && !std::is_same_v<T, bool>) {
        if (value < row.info.minimum || value > row.info.maximum)
            refuse(row.info, QString::number(value));
    }
    T& field = settings.*std::get<T Settings::*>(row.field);
    const bool changed = field != value;
    field = value;
    emit q.memberChanged(id, -1, QVariant::fromValue(value));
    if (changed)
        emit q.settingsChanged();
}

template <class T> T Zendrik::Private::get(quint32 id) const {
    return settings.*std::get<T Settings::*>(memberRowById(id)->field);
}

Zendrik::Zendrik(QObject* parent) : QObject(parent), d(std::make_unique<Private>(*this)) {
    const quint32 ids[kFontRoles] = {MemberId::DocTitleFont, MemberId::DocTextFont, MemberId::DocHeaderFont,
                                     MemberId::DocFooterFont};
    for (size_t i = 0; i < d->fonts.size(); ++i)
        d->fonts[i].reset(new ZendrikFont(*this, ids[i], d->settings.fonts[i]));
}

Zendrik::Zendrik(const DesignTimeProperties& stored, QObject* parent) : Zendrik(parent) {
    const StoredFont* sources[kFontRoles] = {&stored.docTitleFont, &stored.docTextFont, &stored.docHeaderFont,
                                             &stored.docFooterFont};
    for (size_t i = 0; i < d->fonts.size(); ++i) {
        FontSpec& spec = d->fonts[i]->spec_;
        spec.name = sources[i]->face;
        spec.pointSize = sources[i]->pointSize;
        spec.bold = sources[i]->weight >= 600;
        spec.italic = sources[i]->italic;
        spec.underline = sources[i]->underline;
    }
}

Zendrik::~Zendrik() {
    // The jobs go on (they are the user's prints); only their events stop here.
    d->gate->close();
}

// Getters and typed setters, all through the member table.
#define ZENDRIK_MEMBER(Type, Name)                                                                                     \
    Type Zendrik::Name() const {                                                                                       \
        return d->get<Type>(MemberId::Name);                                                                           \
    }                                                                                                                  \
    void Zendrik::set##Name(Type value) {                                                                              \
        d->put<Type>(*this, MemberId::Name, value);                                                                    \
    }
#define ZENDRIK_STRING_MEMBER(Name)                                                                                    \
    QString Zendrik::Name() const {                                                                                    \
        return d->get<QString>(MemberId::Name);                                                                        \
    }                                                                                                                  \
    void Zendrik::set##Name(const QString& value) {                                                                    \
        d->put<QString>(*this, MemberId::Name, value);                                                                 \
    }

ZENDRIK_STRING_MEMBER(DocTitle)
ZENDRIK_STRING_MEMBER(DocText)
ZENDRIK_STRING_MEMBER(DocHeader)
ZENDRIK_STRING_MEMBER(DocFooter)
ZENDRIK_STRING_MEMBER(DocFile)
ZENDRIK_MEMBER(bool, DocFileAllData)
ZENDRIK_MEMBER(qint32, PrintQuality)
ZENDRIK_MEMBER(qint32, PaperSize)
ZENDRIK_MEMBER(qint32, Orientation)
ZENDRIK_MEMBER(qint32, PaperBin)
ZENDRIK_MEMBER(qint16, Copies)
ZENDRIK_MEMBER(qint32, LineSpacing)
ZENDRIK_MEMBER(qint16, MarginLeft)
ZENDRIK_MEMBER(qint16, MarginRight)
ZENDRIK_MEMBER(qint16, MarginTop)
ZENDRIK_MEMBER(qint16, MarginBottom)
ZENDRIK_MEMBER(qint16, PrintMode)
ZENDRIK_MEMBER(bool, PrintPageNumbers)
ZENDRIK_MEMBER(bool, PrintDateTime)
ZENDRIK_MEMBER(bool, DrawBorder)
ZENDRIK_MEMBER(bool, LineBelowHeader)
ZENDRIK_MEMBER(bool, LineAboveFooter)

#undef ZENDRIK_MEMBER
#undef ZENDRIK_STRING_MEMBER

ZendrikFont& Zendrik::DocTitleFont() {
    return d->font(FontRole::Title);
}

ZendrikFont& Zendrik::DocTextFont() {
    return d->font(FontRole::Body);
}

ZendrikFont& Zendrik::DocHeaderFont() {
    return d->font(FontRole::Header);
}

ZendrikFont& Zendrik::DocFooterFont() {
    return d->font(FontRole::Footer);
}

void Zendrik::fontChanged(const ZendrikFont& font, FontMember what, const QVariant& value) {
    emit memberChanged(font.memberId_, static_cast<int>(what), value);
}

void Zendrik::PrintDoc() {
    PrintDoc(QString());
}

void Zendrik::PrintDoc(const QString& printerName) {
    JobSnapshot job;
    job.settings = d->snapshot();
    job.printer = printerName;
    job.exactPdfPath = d->exactPdfPath;
    holdPdfDescriptor(job);
    emit printRequested(printerName);
    ++d->pending;
    d->jobs.submit(std::move(job));
}

void Zendrik::CancelDoc() {
    d->jobs.cancelAll();
}

int Zendrik::PreviewPageCount() {
    d->previewFailure.reset();
    try {
        Result<Preview*> preview = d->currentPreview();
        if (preview)
            return preview.value()->pageCount();
        d->previewFailure = preview.failure();
    } catch (...) {
        d->preview = {};
        d->previewFailure = internalFailure(std::current_exception());
    }
    return 0;
}

QImage Zendrik::PreviewPage(int page, qreal dpi) {
    if (!(dpi > 0 && dpi <= 1200))
        throw RefusedValue(QStringLiteral("PreviewPage: resolution %1 refused; accepted: more than 0 to 1200 dpi")
                               .arg(dpi)
                               .toStdString());
    d->previewFailure.reset();
    try {
        Result<Preview*> preview = d->currentPreview();
        if (preview) {
            Result<QImage> image = preview.value()->page(page, dpi);
            if (image)
                return *image;
            d->previewFailure = image.failure();
        } else {
            d->previewFailure = preview.failure();
        }
    } catch (...) {
        d->preview = {};
        d->previewFailure = internalFailure(std::current_exception());
    }
    return QImage();
}

QString Zendrik::previewError() const {
    return d->previewFailure ? d->previewFailure->message : QString();
}

qint32 Zendrik::previewErrorCode() const {
    return d->previewFailure ? static_cast<qint32>(d->previewFailure->code) : 0;
}

QStringList Zendrik::GetPrinters(qint16& count) const {
    const QStringList names = availablePrinters();
    count = static_cast<qint16>(std::min<qsizetype>(names.size(), 32767));
    return names;
}

QString Zendrik::defaultPrinter() const {
    return defaultPrinterName();
}

void Zendrik::setMember(quint32 memberId, const QVariant& value) {
    const MemberRow* row = memberRowById(memberId);
    if (!row || row->info.kind != MemberKind::Put) {
        throw RefusedValue(QStringLiteral("member 0x%1 cannot be set; font members are set through their sub-members")
                               .arg(memberId, 8, 16, QLatin1Char('0'))
                               .toStdString());
    }
    setMember(QString::fromLatin1(row->info.name), value);
}

void Zendrik::setMember(const QString& name, const QVariant& value) {
    const qsizetype dot = name.indexOf(u'.');
    const MemberRow* row = memberRowByName(dot < 0 ? QStringView(name) : QStringView(name).left(dot));
    if (!row)
        throw RefusedValue(
            QStringLiteral("%1: no such member; value %2 refused").arg(name, value.toString()).toStdString());
    const MemberInfo& info = row->info;
    if (const auto* role = std::get_if<FontRole>(&row->field)) {
        ZendrikFont& font = d->font(*role);
        const QStringView sub = dot < 0 ? QStringView() : QStringView(name).mid(dot + 1);
        const auto flag = [&] {
            const auto on = parseBoolean(value);
            if (!on)
                throw RefusedValue(QStringLiteral("%1: value %2 refused; accepted: true or false")
                                       .arg(name, quoted(value))
                                       .toStdString());
            return *on;
        };
        for (const FontSubMember& member : fontSubMembers()) {
            if (sub != QLatin1String(member.name))
                continue;
            switch (member.member) {
            case FontMember::Name:
                return font.setName(value.toString());
            case FontMember::Size:
                return value.typeId() == QMetaType::QString ? font.setSize(value.toString())
                                                            : font.setSize(value.toDouble());
            case FontMember::Bold:
                return font.setBold(flag());
            case FontMember::Italic:
                return font.setItalic(flag());
            case FontMember::Underline:
                return font.setUnderline(flag());
            }
        }
        throw RefusedValue(QStringLiteral("%1: no such font member; accepted: .Name, .Size, .Bold, .Italic, .Underline")
                               .arg(name)
                               .toStdString());
    }
    if (dot >= 0 || info.kind != MemberKind::Put)
        throw RefusedValue(QStringLiteral("%1: not a member that can be set").arg(name).toStdString());

    const auto integer = [&]() -> qint64 {
        bool ok = false;
        const bool text = value.typeId() == QMetaType::QString;
        qint64 n = text ? value.toString().trimmed().toLongLong(&ok) : value.toLongLong(&ok);
        if (!ok && text) {
            const std::optional<qint64> named = codeForName(info.id, value.toString().trimmed());
            ok = named.has_value();
            n = named.value_or(0);
        }
        if (!ok)
            Private::refuse(info, quoted(value));
        if (n < info.minimum || n > info.maximum)
            Private::refuse(info, QString::number(n));
        return n;
    };
    std::visit(
        [&](auto field) {
            using Field = decltype(field);
            if constexpr (std::is_same_v<Field, QString Settings::*>) {
                d->put<QString>(*this, info.id, value.toString());
            } else if constexpr (std::is_same_v<Field, bool Settings::*>) {
                const auto on = parseBoolean(value);
                if (!on)
                    Private::refuse(info, quoted(value));
                d->put<bool>(*this, info.id, *on);
            } else if constexpr (std::is_same_v<Field, qint16 Settings::*>) {
                d->put<qint16>(*this, info.id, static_cast<qint16>(integer()));
            } else if constexpr (std::is_same_v<Field, qint32 Settings::*>) {
                d->put<qint32>(*this, info.id, static_cast<qint32>(integer()));
            }
        },
        row->field);
}

QVariant Zendrik::member(const QString& name) const {
    const qsizetype dot = name.indexOf(u'.');
    const MemberRow* row = memberRowByName(dot < 0 ? QStringView(name) : QStringView(name).left(dot));
    if (!row)
        return {};
    if (const auto* role = std::get_if<FontRole>(&row->field)) {
        const FontSpec& f = d->fonts[static_cast<size_t>(*role)]->spec();
        const QStringView sub = dot < 0 ? QStringView() : QStringView(name).mid(dot + 1);
        for (const FontSubMember& member : fontSubMembers()) {
            if (sub != QLatin1String(member.name))
                continue;
            switch (member.member) {
            case FontMember::Name:
                return f.name;
            case FontMember::Size:
                return f.pointSize;
            case FontMember::Bold:
                return f.bold;
            case FontMember::Italic:
                return f.italic;
            case FontMember::Underline:
                return f.underline;
            }
        }
        return {};
    }
    if (dot >= 0)
        return {};
    return std::visit(
        [&](auto field) -> QVariant {
            if constexpr (std::is_same_v<decltype(field), std::monostate> || std::is_same_v<decltype(field), FontRole>)
                return {};
            else
                return QVariant::fromValue(d->settings.*field);
        },
        row->field);
}

int Zendrik::pendingJobs() const {
    return d->pending;
}

bool Zendrik::waitForIdle(int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    QEventLoop loop;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
        if (d->pending == 0 || (timeoutMs >= 0 && clock.elapsed() >= timeoutMs))
            loop.quit();
    });
    tick.start(10);
    if (d->pending > 0)
        loop.exec();
    return d->pending == 0;
}

QString Zendrik::outputFileName() const {
    return d->exactPdfPath;
}

void Zendrik::setOutputFileName(const QString& path) {
    if (d->exactPdfPath == path)
        return;
    d->exactPdfPath = path;
    emit settingsChanged();
}

QString Zendrik::lastOutputPath() const {
    return d->lastPdfPath;
}

QString Zendrik::lastNotice() const {
    return d->lastNotice;
}

qint32 Zendrik::lastJobId() const {
    return d->lastJobId;
}

qint32 Zendrik::pageCount() const {
    return d->pageCount;
}

qint64 Zendrik::lastBoxedCharacters() const {
    return d->lastBoxed;
}

} // namespace zendrik
