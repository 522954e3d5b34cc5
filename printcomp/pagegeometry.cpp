#include "pagegeometry.h"

#include <array>

namespace zendrik {

namespace {

constexpr double kPointsPerInch = 72.0;
constexpr double kPointsPerMm = 72.0 / 25.4;

struct Entry {
    const char* name;
    double width;
    double height;
    bool mm;
};

// Indexed by list position - 1. Positions 28 to 30 list EnvC3, EnvC4, EnvC5 in that order.
constexpr std::array<Entry, 41> kPapers{{
    {"Letter", 8.5, 11, false},
    {"LetterSmall", 8.5, 11, false},
    {"Tabloid", 11, 17, false},
    {"Ledger", 17, 11, false},
    {"Legal", 8.5, 14, false},
    {"Statement", 5.5, 8.5, false},
    {"Executive", 7.25, 10.5, false},
    {"A3", 297, 420, true},
    {"A4", 210, 297, true},
    {"A4Small", 210, 297, true},
    {"A5", 148, 210, true},
    {"B4", 250, 354, true},
    {"B5", 182, 257, true},
    {"Folio", 8.5, 13, false},
    {"Quarto", 215, 275, true},
    {"10x14", 10, 14, false},
    {"11x17", 11, 17, false},
    {"Note", 8.5, 11, false},
    {"Env9", 3.875, 8.875, false},
    {"Env10", 4.125, 9.5, false},
    {"Env11", 4.5, 10.375, false},
    {"Env12", 4.75, 11, false},
    {"Env14", 5, 11.5, false},
    {"CSheet", 17, 22, false},
    {"DSheet", 22, 34, false},
    {"ESheet", 34, 44, false},
    {"EnvDL", 110, 220, true},
    {"EnvC3", 324, 458, true},
    {"EnvC4", 229, 324, true},
    {"EnvC5", 162, 229, true},
    {"EnvC6", 114, 162, true},
    {"EnvC65", 114, 229, true},
    {"EnvB4", 250, 353, true},
    {"EnvB5", 176, 250, true},
    {"EnvB6", 176, 125, true},
    {"EnvItaly", 110, 230, true},
    {"EnvMonarch", 3.875, 7.5, false},
    {"EnvPersonal", 3.625, 6.5, false},
    {"FanfoldUS", 14.875, 11, false},
    {"FanfoldStdGerman", 8.5, 12, false},
    {"FanfoldLglGerman", 8.5, 13, false},
}};

} // namespace

PaperInfo paperForCode(int paperSize) {
    if (paperSize < 1 || paperSize > static_cast<int>(kPapers.size()))
        paperSize = 9;
    const Entry& e = kPapers[static_cast<size_t>(paperSize - 1)];
    const double unit = e.mm ? kPointsPerMm : kPointsPerInch;
    return PaperInfo{e.name, QSizeF(e.width * unit, e.height * unit)};
}

QRectF PageGeometry::marginRect() const {
    return QRectF(margins.left(), margins.top(), paper.width() - margins.left() - margins.right(),
                  paper.height() - margins.top() - margins.bottom());
}

PageGeometry pageGeometry(int paperSize, int orientation, int marginLeftTwips, int marginTopTwips, int marginRightTwips,
                          int marginBottomTwips) {
    QSizeF size = paperForCode(paperSize).size;
    if (orientation == 2)
        size.transpose();
    return PageGeometry{size, QMarginsF(twipsToPoints(marginLeftTwips), twipsToPoints(marginTopTwips),
                                        twipsToPoints(marginRightTwips), twipsToPoints(marginBottomTwips))};
}

} // namespace zendrik
