#pragma once
// Paper sizes and margins. Everything inside the component works in points (1/72 inch).

#include <QMarginsF>
#include <QRectF>
#include <QSizeF>
#include <QString>

namespace zendrik {

inline constexpr double twipsToPoints(double twips) {
    return twips / 20.0;
}

struct PageGeometry {
    QSizeF paper;      // points, orientation applied
    QMarginsF margins; // points from the paper's edges

    // The area inside the margins; may be empty or inverted when the margins do not fit.
    QRectF marginRect() const;
};

// The sheet as output gives it: whole points, as PDF readers name the standard sizes (595 x 842
// for A4).
QSizeF sheetSize(const QSizeF& paper);

PageGeometry pageGeometry(int paperSize, int orientation, int marginLeftTwips, int marginTopTwips, int marginRightTwips,
                          int marginBottomTwips);

} // namespace zendrik
