#include <zendrik/zendrik.h>

#include "job.h"
#include "settings.h"
#include "zendrikinternal.h"
#include <zendrik/designtime.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLocale>
#include <QTimer>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>

namespace zendrik {

class Zendrik::Private {
public:
    explicit Private(Zendrik& owner) : q(owner) {}

    Zendrik& q;
    Settings settings; // fonts live in the font objects below
    std::array<std::unique_ptr<ZendrikFont>, kFontRoles> fonts;
    QString exactPdfPath;
    QString lastPdfPath;
    QString lastNotice;

    std::mutex mutex;
    std::condition_variable wake;
    std::deque<JobSnapshot> jobs;
    bool quitting = false;
    std::thread worker;
    std::atomic<int> pending{0};

    ZendrikFont& font(FontRole role) { return *fonts[static_cast<size_t>(role)]; }

    void work() {
        for (;;) {
            JobSnapshot job;
            {
                std::unique_lock lock(mutex);
                wake.wait(lock, [&] { return !jobs.empty() || quitting; });
                if (jobs.empty())
                    return;
                job = std::move(jobs.front());
                jobs.pop_front();
            }
            JobOutcome outcome;
            try {
                outcome = runJob(job, QDateTime::currentDateTime(), [this](int page) {
                    QMetaObject::invokeMethod(
                        &q, [this, page] { emit q.PrintingPage(page); }, Qt::QueuedConnection);
                });
            } catch (const std::exception& e) {
                outcome.ok = false;
                outcome.code = ErrorCode::Internal;
                outcome.description = QStringLiteral("The job failed: %1").arg(QString::fromLocal8Bit(e.what()));
            }
            QMetaObject::invokeMethod(
                &q,
                [this, outcome] {
                    --pending;
                    if (outcome.ok && !outcome.outputPath.isEmpty())
                        lastPdfPath = outcome.outputPath;
                    if (outcome.ok)
                        lastNotice = outcome.notice;
                    if (outcome.ok)
                        emit q.PrintComplete();
                    else
                        emit q.PrintError(static_cast<qint32>(outcome.code), outcome.description);
                },
                Qt::QueuedConnection);
        }
    }
};

namespace {

[[noreturn]] void refuse(quint32 id, const QString& value) {
    const auto info = memberById(id);
    throw RefusedValue(
        QStringLiteral("%1: value %2 refused; accepted: %3")
            .arg(QLatin1String(info ? info->name : "?"), value, QLatin1String(info ? info->accepted : "?"))
            .toStdString());
}

void checkRange(quint32 id, qint64 value, qint64 low, qint64 high) {
    if (value < low || value > high)
        refuse(id, QString::number(value));
}

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

bool toBoolean(quint32 id, const QVariant& value) {
    const auto flag = parseBoolean(value);
    if (!flag)
        refuse(id, QStringLiteral("\"%1\"").arg(value.toString()));
    return *flag;
}

qint64 toInteger(quint32 id, const QVariant& value, qint64 low, qint64 high) {
    bool ok = false;
    qint64 n = 0;
    if (value.typeId() == QMetaType::QString) {
        n = value.toString().trimmed().toLongLong(&ok);
    } else {
        n = value.toLongLong(&ok);
    }
    if (!ok)
        refuse(id, QStringLiteral("\"%1\"").arg(value.toString()));
    checkRange(id, n, low, high);
    return n;
}

} // namespace

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
    {
        std::lock_guard lock(d->mutex);
        d->quitting = true;
    }
    d->wake.notify_all();
    if (d->worker.joinable())
        d->worker.join();
}

#define ZENDRIK_STRING_MEMBER(Name, field)                                                                             \
    QString Zendrik::Name() const {                                                                                    \
        return d->settings.field;                                                                                      \
    }                                                                                                                  \
    void Zendrik::set##Name(const QString& value) {                                                                    \
        d->settings.field = value;                                                                                     \
        emit memberChanged(MemberId::Name, -1, value);                                                                 \
    }

#define ZENDRIK_BOOL_MEMBER(Name, field)                                                                               \
    bool Zendrik::Name() const {                                                                                       \
        return d->settings.field;                                                                                      \
    }                                                                                                                  \
    void Zendrik::set##Name(bool value) {                                                                              \
        d->settings.field = value;                                                                                     \
        emit memberChanged(MemberId::Name, -1, value);                                                                 \
    }

#define ZENDRIK_INT_MEMBER(Type, Name, field, low, high)                                                               \
    Type Zendrik::Name() const {                                                                                       \
        return d->settings.field;                                                                                      \
    }                                                                                                                  \
    void Zendrik::set##Name(Type value) {                                                                              \
        checkRange(MemberId::Name, value, low, high);                                                                  \
        d->settings.field = value;                                                                                     \
        emit memberChanged(MemberId::Name, -1, QVariant::fromValue(value));                                            \
    }

ZENDRIK_STRING_MEMBER(DocTitle, docTitle)
ZENDRIK_STRING_MEMBER(DocText, docText)
ZENDRIK_STRING_MEMBER(DocHeader, docHeader)
ZENDRIK_STRING_MEMBER(DocFooter, docFooter)
ZENDRIK_STRING_MEMBER(DocFile, docFile)
ZENDRIK_BOOL_MEMBER(DocFileAllData, docFileAllData)
ZENDRIK_INT_MEMBER(qint32, PrintQuality, printQuality, 1, 4)
ZENDRIK_INT_MEMBER(qint32, PaperSize, paperSize, 1, 41)
ZENDRIK_INT_MEMBER(qint32, Orientation, orientation, 1, 2)
ZENDRIK_INT_MEMBER(qint32, PaperBin, paperBin, 1, 12)
ZENDRIK_INT_MEMBER(qint16, Copies, copies, 1, 32767)
ZENDRIK_INT_MEMBER(qint32, LineSpacing, lineSpacing, 0, 3)
ZENDRIK_INT_MEMBER(qint16, MarginLeft, marginLeft, 0, 32767)
ZENDRIK_INT_MEMBER(qint16, MarginRight, marginRight, 0, 32767)
ZENDRIK_INT_MEMBER(qint16, MarginTop, marginTop, 0, 32767)
ZENDRIK_INT_MEMBER(qint16, MarginBottom, marginBottom, 0, 32767)
ZENDRIK_INT_MEMBER(qint16, PrintMode, printMode, -32768, 32767)
ZENDRIK_BOOL_MEMBER(PrintPageNumbers, printPageNumbers)
ZENDRIK_BOOL_MEMBER(PrintDateTime, printDateTime)
ZENDRIK_BOOL_MEMBER(DrawBorder, drawBorder)
ZENDRIK_BOOL_MEMBER(LineBelowHeader, lineBelowHeader)
ZENDRIK_BOOL_MEMBER(LineAboveFooter, lineAboveFooter)

#undef ZENDRIK_STRING_MEMBER
#undef ZENDRIK_BOOL_MEMBER
#undef ZENDRIK_INT_MEMBER

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
    job.settings = d->settings;
    for (size_t i = 0; i < d->fonts.size(); ++i)
        job.settings.fonts[i] = d->fonts[i]->spec();
    job.printer = printerName;
    job.exactPdfPath = d->exactPdfPath;
    emit printRequested(printerName);
    ++d->pending;
    {
        std::lock_guard lock(d->mutex);
        d->jobs.push_back(std::move(job));
        if (!d->worker.joinable())
            d->worker = std::thread([this] { d->work(); });
    }
    d->wake.notify_one();
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
    const auto info = memberById(memberId);
    if (!info || info->kind != MemberKind::Put) {
        throw RefusedValue(QStringLiteral("member 0x%1 cannot be set; font members are set through their sub-members")
                               .arg(memberId, 8, 16, QLatin1Char('0'))
                               .toStdString());
    }
    setMember(QString::fromLatin1(info->name), value);
}

void Zendrik::setMember(const QString& name, const QVariant& value) {
    const qsizetype dot = name.indexOf(u'.');
    const auto info = memberByName(dot < 0 ? name : name.left(dot));
    if (!info)
        throw RefusedValue(
            QStringLiteral("%1: no such member; value %2 refused").arg(name, value.toString()).toStdString());
    const quint32 id = info->id;
    if (info->type == ValueType::Font) {
        ZendrikFont& font = id == MemberId::DocTitleFont    ? DocTitleFont()
                            : id == MemberId::DocTextFont   ? DocTextFont()
                            : id == MemberId::DocHeaderFont ? DocHeaderFont()
                                                            : DocFooterFont();
        const QString sub = dot < 0 ? QString() : name.mid(dot + 1);
        auto flag = [&] {
            const auto on = parseBoolean(value);
            if (!on)
                throw RefusedValue(QStringLiteral("%1: value \"%2\" refused; accepted: true or false")
                                       .arg(name, value.toString())
                                       .toStdString());
            return *on;
        };
        if (sub == u"Name")
            font.setName(value.toString());
        else if (sub == u"Size" && value.typeId() == QMetaType::QString)
            font.setSize(value.toString());
        else if (sub == u"Size")
            font.setSize(value.toDouble());
        else if (sub == u"Bold")
            font.setBold(flag());
        else if (sub == u"Italic")
            font.setItalic(flag());
        else if (sub == u"Underline")
            font.setUnderline(flag());
        else
            throw RefusedValue(QStringLiteral("%1: no such font member; accepted: .Name, .Size, .Bold, .Italic, "
                                              ".Underline")
                                   .arg(name)
                                   .toStdString());
        return;
    }
    if (dot >= 0 || info->kind != MemberKind::Put)
        throw RefusedValue(QStringLiteral("%1: not a member that can be set").arg(name).toStdString());

    switch (id) {
    case MemberId::DocTitle:
        return setDocTitle(value.toString());
    case MemberId::DocText:
        return setDocText(value.toString());
    case MemberId::DocHeader:
        return setDocHeader(value.toString());
    case MemberId::DocFooter:
        return setDocFooter(value.toString());
    case MemberId::DocFile:
        return setDocFile(value.toString());
    case MemberId::DocFileAllData:
        return setDocFileAllData(toBoolean(id, value));
    case MemberId::PrintPageNumbers:
        return setPrintPageNumbers(toBoolean(id, value));
    case MemberId::PrintDateTime:
        return setPrintDateTime(toBoolean(id, value));
    case MemberId::DrawBorder:
        return setDrawBorder(toBoolean(id, value));
    case MemberId::LineBelowHeader:
        return setLineBelowHeader(toBoolean(id, value));
    case MemberId::LineAboveFooter:
        return setLineAboveFooter(toBoolean(id, value));
    case MemberId::PrintQuality:
        return setPrintQuality(static_cast<qint32>(toInteger(id, value, 1, 4)));
    case MemberId::PaperSize:
        return setPaperSize(static_cast<qint32>(toInteger(id, value, 1, 41)));
    case MemberId::Orientation:
        return setOrientation(static_cast<qint32>(toInteger(id, value, 1, 2)));
    case MemberId::PaperBin:
        return setPaperBin(static_cast<qint32>(toInteger(id, value, 1, 12)));
    case MemberId::LineSpacing:
        return setLineSpacing(static_cast<qint32>(toInteger(id, value, 0, 3)));
    case MemberId::Copies:
        return setCopies(static_cast<qint16>(toInteger(id, value, 1, 32767)));
    case MemberId::MarginLeft:
        return setMarginLeft(static_cast<qint16>(toInteger(id, value, 0, 32767)));
    case MemberId::MarginRight:
        return setMarginRight(static_cast<qint16>(toInteger(id, value, 0, 32767)));
    case MemberId::MarginTop:
        return setMarginTop(static_cast<qint16>(toInteger(id, value, 0, 32767)));
    case MemberId::MarginBottom:
        return setMarginBottom(static_cast<qint16>(toInteger(id, value, 0, 32767)));
    case MemberId::PrintMode:
        return setPrintMode(static_cast<qint16>(toInteger(id, value, -32768, 32767)));
    default:
        throw RefusedValue(QStringLiteral("%1: not a member that can be set").arg(name).toStdString());
    }
}

QVariant Zendrik::member(const QString& name) const {
    const qsizetype dot = name.indexOf(u'.');
    const auto info = memberByName(dot < 0 ? name : name.left(dot));
    if (!info)
        return {};
    const Settings& s = d->settings;
    if (info->type == ValueType::Font) {
        const FontRole role = info->id == MemberId::DocTitleFont    ? FontRole::Title
                              : info->id == MemberId::DocTextFont   ? FontRole::Body
                              : info->id == MemberId::DocHeaderFont ? FontRole::Header
                                                                    : FontRole::Footer;
        const FontSpec& f = d->fonts[static_cast<size_t>(role)]->spec();
        const QString sub = dot < 0 ? QString() : name.mid(dot + 1);
        if (sub == u"Name")
            return f.name;
        if (sub == u"Size")
            return f.pointSize;
        if (sub == u"Bold")
            return f.bold;
        if (sub == u"Italic")
            return f.italic;
        if (sub == u"Underline")
            return f.underline;
        return {};
    }
    switch (info->id) {
    case MemberId::DocTitle:
        return s.docTitle;
    case MemberId::DocText:
        return s.docText;
    case MemberId::DocHeader:
        return s.docHeader;
    case MemberId::DocFooter:
        return s.docFooter;
    case MemberId::DocFile:
        return s.docFile;
    case MemberId::DocFileAllData:
        return s.docFileAllData;
    case MemberId::PrintQuality:
        return s.printQuality;
    case MemberId::PaperSize:
        return s.paperSize;
    case MemberId::Orientation:
        return s.orientation;
    case MemberId::PaperBin:
        return s.paperBin;
    case MemberId::Copies:
        return s.copies;
    case MemberId::LineSpacing:
        return s.lineSpacing;
    case MemberId::MarginLeft:
        return s.marginLeft;
    case MemberId::MarginRight:
        return s.marginRight;
    case MemberId::MarginTop:
        return s.marginTop;
    case MemberId::MarginBottom:
        return s.marginBottom;
    case MemberId::PrintMode:
        return s.printMode;
    case MemberId::PrintPageNumbers:
        return s.printPageNumbers;
    case MemberId::PrintDateTime:
        return s.printDateTime;
    case MemberId::DrawBorder:
        return s.drawBorder;
    case MemberId::LineBelowHeader:
        return s.lineBelowHeader;
    case MemberId::LineAboveFooter:
        return s.lineAboveFooter;
    default:
        return {};
    }
}

int Zendrik::pendingJobs() const {
    return d->pending.load();
}

bool Zendrik::waitForIdle(int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    QEventLoop loop;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
        if (d->pending.load() == 0 || (timeoutMs >= 0 && clock.elapsed() >= timeoutMs))
            loop.quit();
    });
    tick.start(10);
    if (d->pending.load() > 0)
        loop.exec();
    return d->pending.load() == 0;
}

void setExactPdfPath(Zendrik& component, const QString& path) {
    component.d->exactPdfPath = path;
}

QString Zendrik::lastOutputPath() const {
    return d->lastPdfPath;
}

QString lastJobNotice(const Zendrik& component) {
    return component.d->lastNotice;
}

} // namespace zendrik
