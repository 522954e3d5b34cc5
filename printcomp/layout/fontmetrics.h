#pragma once
// Font measurements for layout, in points, per font role. Layout never needs a QPainter.

#include "base/settings.h"

#include <QFont>
#include <QHash>
#include <QPaintDevice>
#include <QStringView>

#include <array>
#include <memory>

namespace zendrik {

class FontSet;

class FontMetrics {
public:
    virtual ~FontMetrics() = default;
    // The faces text is shaped with, shared by every clone.
    virtual const FontSet& fontSet() const = 0;
    // Advance of a run of text shaped on its own.
    virtual qreal advance(FontRole role, QStringView text) const = 0;
    virtual qreal ascent(FontRole role) const = 0;
    virtual qreal descent(FontRole role) const = 0;
    // Distance from one baseline to the next at single spacing.
    virtual qreal lineHeight(FontRole role) const = 0;
    virtual qreal averageCharWidth(FontRole role) const = 0;
    // The font and the device layout measures with, for Qt's own text layout of complex scripts.
    virtual QFont font(FontRole role) const = 0;
    virtual const QPaintDevice* device() const = 0;
    // Points per device unit of device().
    virtual qreal pointsPerUnit() const = 0;
    // Equal metrics for another thread: an instance is used by one thread at a time.
    virtual std::unique_ptr<FontMetrics> clone() const = 0;
};

// A paint device that only reports the resolution of the PDF output, so text is measured exactly as
// it will be drawn.
class PrintResolutionDevice : public QPaintDevice {
public:
    static constexpr int kDpi = 1200;
    QPaintEngine* paintEngine() const override { return nullptr; }

protected:
    int metric(PaintDeviceMetric metric) const override;
};

// Qt's vertical metrics of the fonts on the PDF device, and advances shaped by HarfBuzz in the
// faces Qt resolves. Caches the advances of short runs; one instance per thread, its clones share
// the faces.
class QtFontMetrics : public FontMetrics {
public:
    explicit QtFontMetrics(const std::array<FontSpec, kFontRoles>& fonts);
    QtFontMetrics(const std::array<FontSpec, kFontRoles>& fonts, std::shared_ptr<const FontSet> faces);
    ~QtFontMetrics() override;

    const FontSet& fontSet() const override { return *faces_; }
    qreal advance(FontRole role, QStringView text) const override;
    qreal ascent(FontRole role) const override;
    qreal descent(FontRole role) const override;
    qreal lineHeight(FontRole role) const override;
    qreal averageCharWidth(FontRole role) const override;
    QFont font(FontRole role) const override;
    const QPaintDevice* device() const override { return &device_; }
    qreal pointsPerUnit() const override { return 72.0 / PrintResolutionDevice::kDpi; }
    std::unique_ptr<FontMetrics> clone() const override;

private:
    struct Role;
    QtFontMetrics(const QtFontMetrics& measured); // for clone()
    std::array<FontSpec, kFontRoles> fonts_;
    std::shared_ptr<const FontSet> faces_;
    PrintResolutionDevice device_;
    std::array<std::unique_ptr<Role>, kFontRoles> roles_;
};

} // namespace zendrik
