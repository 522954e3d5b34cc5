#include "layout/resolvedfont.h"

#include "layout/fontmetrics.h"

#include <QFontMetricsF>
#include <QGuiApplication>
#include <QHash>
#include <QPointer>
#include <QRawFont>

#include <algorithm>
#include <mutex>
#include <optional>
#include <utility>

namespace zendrik {

namespace {

ResolvedFont askQt(const FontSpec& spec) {
    const PrintResolutionDevice device;
    const QFont font(toQFont(spec), &device);
    ResolvedFont resolved;
    const QRawFont raw = QRawFont::fromFont(font);
    const bool usable = raw.isValid() && raw.pixelSize() > 0;
    constexpr qreal pointsPerUnit = 72.0 / PrintResolutionDevice::kDpi;
    resolved.face = usable ? FontFace::fromRawFont(raw) : FontFace::boxes();
    resolved.pointSize = usable ? raw.pixelSize() * pointsPerUnit : spec.pointSize;
    const QFontMetricsF metrics(font, &device);
    resolved.ascent = metrics.ascent() * pointsPerUnit;
    resolved.descent = metrics.descent() * pointsPerUnit;
    // Some fonts declare a negative leading; lines of them would overlap and the last one would
    // reach past its band.
    resolved.lineHeight = std::max(metrics.lineSpacing(), metrics.ascent() + metrics.descent()) * pointsPerUnit;
    resolved.averageCharWidth = metrics.averageCharWidth() * pointsPerUnit;
    return resolved;
}

class ResolvedFonts {
public:
    // The answer kept for `spec`, if any, and the count of forgettings to hand back to remember().
    std::pair<std::optional<ResolvedFont>, quint64> find(const FontSpec& spec) {
        std::lock_guard lock(mutex_);
        watchFontDatabase();
        const auto it = resolved_.constFind(keyOf(spec));
        return {it == resolved_.constEnd() ? std::nullopt : std::optional<ResolvedFont>(*it), forgotten_};
    }
    // Kept unless the fonts changed since find(): Qt may have answered from the fonts before.
    void remember(const FontSpec& spec, const ResolvedFont& resolved, quint64 forgottenAtFind) {
        std::lock_guard lock(mutex_);
        if (forgottenAtFind != forgotten_)
            return;
        if (resolved_.size() >= kMaxResolvedFonts)
            resolved_.clear();
        resolved_.insert(keyOf(spec), resolved);
    }

private:
    static constexpr qsizetype kMaxResolvedFonts = 1024;
    struct Key {
        QString family;
        double pointSize;
        bool bold;
        bool italic;
        bool operator==(const Key&) const = default;
    };
    friend size_t qHash(const Key& key, size_t seed) {
        return qHashMulti(seed, key.family, key.pointSize, key.bold, key.italic);
    }
    static Key keyOf(const FontSpec& spec) { return Key{spec.name, spec.pointSize, spec.bold, spec.italic}; }

    // Qt tells of fonts added or removed through the application object, and another application
    // object may see other fonts. Called with the mutex held.
    void watchFontDatabase() {
        QGuiApplication* application = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
        if (watched_ == application)
            return;
        forget();
        watched_ = application;
        if (application) {
            QObject::connect(
                application, &QGuiApplication::fontDatabaseChanged, application,
                [this] {
                    std::lock_guard lock(mutex_);
                    forget();
                },
                Qt::DirectConnection);
        }
    }

    void forget() {
        resolved_.clear();
        ++forgotten_;
    }

    std::mutex mutex_;
    QHash<Key, ResolvedFont> resolved_;
    quint64 forgotten_ = 0;
    QPointer<QGuiApplication> watched_;
};

ResolvedFonts& resolvedFonts() {
    static ResolvedFonts resolved;
    return resolved;
}

} // namespace

ResolvedFont resolveFont(const FontSpec& spec) {
    auto [known, forgotten] = resolvedFonts().find(spec);
    if (known)
        return *std::move(known);
    const ResolvedFont resolved = askQt(spec);
    resolvedFonts().remember(spec, resolved, forgotten);
    return resolved;
}

} // namespace zendrik
