#include "layout/pagegeometry.h"

#include <zendrik/papers.h>

#include <cmath>

namespace zendrik {

QRectF PageGeometry::marginRect() const {
    return QRectF(margins.left(), margins.top(), paper.width() - margins.left() - margins.right(),
                  paper.height() - margins.top() - margins.bottom());
}

QSizeF sheetSize(const QSizeF& paper) {
    return QSizeF(std::round(paper.width()), std::round(paper.height()));
}

PageGeometry pageGeometry(int paperSize, int orientation, int marginLeftTwips, int marginTopTwips, int marginRightTwips,
                          int marginBottomTwips) {
    // Codes are checked where they are set; anything else prints on the default paper.
    QSizeF size = paperForCode(paperSize).value_or(*paperForCode(kDefaultPaperCode)).size();
    if (orientation == 2)
        size.transpose();
    return PageGeometry{size, QMarginsF(twipsToPoints(marginLeftTwips), twipsToPoints(marginTopTwips),
                                        twipsToPoints(marginRightTwips), twipsToPoints(marginBottomTwips))};
}

} // namespace zendrik
