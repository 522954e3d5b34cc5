#pragma once
// Paints a laid-out page. Stateless: decides nothing about layout or pagination.

#include "layout.h"

#include <QFont>
#include <QPainter>

#include <array>

namespace zendrik {

struct PaintResources {
    std::array<QFont, kFontRoles> fonts; // indexed by FontRole
    qreal unitsPerPoint = 1.0;           // device units per point
};

// Fonts of the settings, for a painter on a device of the given resolution.
PaintResources paintResources(const Settings& settings, int deviceDpi);

void paintPage(QPainter& painter, const Page& page, const PaintResources& resources);

} // namespace zendrik
