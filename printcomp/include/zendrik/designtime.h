#pragma once
// Stored design-time property sets: the values a host window keeps for its component instance,
// taken on when the instance is created.

#include <zendrik/zendrikfont.h>

#include <QList>
#include <QPair>
#include <QString>
#include <QVariant>

namespace zendrik {

// A standard font as stored: face, size in points, weight, flags and character set.
struct StoredFont {
    QString face;
    double pointSize;
    int weight = 400;
    bool italic = false;
    bool underline = false;
    bool strikeout = false;
    int charset = 0;
};

// The six keys, in their stored order: "_extentx", "_extenty" (hundredths of a millimetre),
// "doctextfont", "docheaderfont", "docfooterfont", "doctitlefont".
struct ZENDRIK_EXPORT DesignTimeProperties {
    int extentX = 926;
    int extentY = 926;
    StoredFont docTextFont;
    StoredFont docHeaderFont;
    StoredFont docFooterFont;
    StoredFont docTitleFont;

    // The keys with their values, in stored order (fonts as StoredFont in a QVariant-free form:
    // "Face,size,weight,italic,underline,strikeout,charset").
    QList<QPair<QString, QString>> keyValues() const;
};

} // namespace zendrik
