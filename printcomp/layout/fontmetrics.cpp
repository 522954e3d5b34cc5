#include "layout/fontmetrics.h"

#include "layout/resolvedfont.h"
#include "layout/shaping.h"

namespace zendrik {

namespace {
// Enough for the vocabulary of any real text; cleared when full so memory stays bounded.
constexpr qsizetype kMaxCachedRuns = 65536;
constexpr qsizetype kMaxCachedRunLength = 48;
} // namespace

int PrintResolutionDevice::metric(PaintDeviceMetric metric) const {
    // A square of 10 by 10 inches; only the resolution matters.
    switch (metric) {
    case PdmWidth:
    case PdmHeight:
        return 10 * kDpi;
    case PdmWidthMM:
    case PdmHeightMM:
        return 254;
    case PdmNumColors:
        return 1 << 24;
    case PdmDepth:
        return 32;
    case PdmDpiX:
    case PdmDpiY:
    case PdmPhysicalDpiX:
    case PdmPhysicalDpiY:
        return kDpi;
    case PdmDevicePixelRatio:
        return 1;
    case PdmDevicePixelRatioScaled:
        return static_cast<int>(devicePixelRatioFScale());
    }
    return 0;
}

struct QtFontMetrics::Role {
    QFont font;
    // The vertical metrics are asked for on every line: QFontMetricsF finds its font engine anew
    // on each call, so they are taken once, from what the font resolved to.
    qreal ascent = 0;
    qreal descent = 0;
    qreal lineHeight = 0;
    qreal averageCharWidth = 0;
    QHash<QString, qreal> cache;

    Role(const FontSpec& spec, const QPaintDevice* device) : font(toQFont(spec), device) {
        const ResolvedFont resolved = resolveFont(spec);
        ascent = resolved.ascent;
        descent = resolved.descent;
        lineHeight = resolved.lineHeight;
        averageCharWidth = resolved.averageCharWidth;
    }
    // Another thread's copy: its own QFont (Qt's fonts are not shared between threads) and the
    // measurements taken, since measuring again on a new thread means opening the font again.
    Role(const Role& measured, const QFont& f, const QPaintDevice* device)
        : font(f, device), ascent(measured.ascent), descent(measured.descent), lineHeight(measured.lineHeight),
          averageCharWidth(measured.averageCharWidth) {}
};

QtFontMetrics::QtFontMetrics(const std::array<FontSpec, kFontRoles>& fonts)
    : QtFontMetrics(fonts, std::make_shared<FontSet>(fonts)) {}

QtFontMetrics::QtFontMetrics(const std::array<FontSpec, kFontRoles>& fonts, std::shared_ptr<const FontSet> faces)
    : fonts_(fonts), faces_(std::move(faces)) {
    for (size_t i = 0; i < roles_.size(); ++i)
        roles_[i] = std::make_unique<Role>(fonts[i], &device_);
}

QtFontMetrics::QtFontMetrics(const QtFontMetrics& measured) : fonts_(measured.fonts_), faces_(measured.faces_) {
    for (size_t i = 0; i < roles_.size(); ++i)
        roles_[i] = std::make_unique<Role>(*measured.roles_[i], toQFont(fonts_[i]), &device_);
}

QtFontMetrics::~QtFontMetrics() = default;

std::unique_ptr<FontMetrics> QtFontMetrics::clone() const {
    return std::unique_ptr<FontMetrics>(new QtFontMetrics(*this));
}

qreal QtFontMetrics::advance(FontRole role, QStringView text) const {
    Role& r = *roles_[static_cast<size_t>(role)];
    const QString key = text.toString();
    const auto shapedWidth = [&] {
        const ShapedText shaped = shapeText(*faces_, role, key);
        qreal width = 0;
        for (const double a : shaped.clusterAdvance)
            width += a;
        return width;
    };
    if (text.size() > kMaxCachedRunLength)
        return shapedWidth();
    auto it = r.cache.constFind(key);
    if (it != r.cache.constEnd())
        return *it;
    if (r.cache.size() >= kMaxCachedRuns)
        r.cache.clear();
    const qreal width = shapedWidth();
    r.cache.insert(key, width);
    return width;
}

qreal QtFontMetrics::ascent(FontRole role) const {
    return roles_[static_cast<size_t>(role)]->ascent;
}

qreal QtFontMetrics::descent(FontRole role) const {
    return roles_[static_cast<size_t>(role)]->descent;
}

qreal QtFontMetrics::lineHeight(FontRole role) const {
    return roles_[static_cast<size_t>(role)]->lineHeight;
}

qreal QtFontMetrics::averageCharWidth(FontRole role) const {
    return roles_[static_cast<size_t>(role)]->averageCharWidth;
}

QFont QtFontMetrics::font(FontRole role) const {
    return roles_[static_cast<size_t>(role)]->font;
}

} // namespace zendrik
