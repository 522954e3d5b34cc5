#include "painter.h"

#include <QPen>

namespace zendrik {

namespace {
constexpr qreal kRuleWidth = 0.5;
constexpr qreal kBorderWidth = 0.75;
} // namespace

PaintResources paintResources(const Settings& settings, int deviceDpi) {
    PaintResources res;
    for (size_t i = 0; i < res.fonts.size(); ++i)
        res.fonts[i] = settings.fonts[i].toQFont();
    res.unitsPerPoint = deviceDpi / 72.0;
    return res;
}

void paintPage(QPainter& painter, const Page& page, const PaintResources& resources) {
    const qreal u = resources.unitsPerPoint;
    painter.save();
    painter.setPen(QPen(Qt::black, kRuleWidth * u));
    for (const QLineF& rule : page.rules)
        painter.drawLine(QLineF(rule.p1() * u, rule.p2() * u));
    if (!page.border.isNull()) {
        painter.setPen(QPen(Qt::black, kBorderWidth * u));
        painter.setBrush(Qt::NoBrush);
        const QRectF& b = page.border;
        painter.drawRect(QRectF(b.topLeft() * u, b.size() * u));
    }
    painter.setPen(Qt::black);
    int currentRole = -1;
    Qt::LayoutDirection direction = Qt::LeftToRight;
    painter.setLayoutDirection(direction);
    for (const TextRun& run : page.runs) {
        const int role = static_cast<int>(run.role);
        if (role != currentRole) {
            painter.setFont(resources.fonts[static_cast<size_t>(role)]);
            currentRole = role;
        }
        const Qt::LayoutDirection wanted = run.rightToLeft ? Qt::RightToLeft : Qt::LeftToRight;
        if (wanted != direction) {
            painter.setLayoutDirection(wanted);
            direction = wanted;
        }
        painter.drawText(run.origin * u, run.text);
    }
    painter.restore();
}

} // namespace zendrik
