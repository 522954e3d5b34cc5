#include "designtime.h"

namespace zendrik {

namespace {
QString storedFontText(const StoredFont& f) {
    return QStringLiteral("%1,%2,%3,%4,%5,%6,%7")
        .arg(f.face)
        .arg(f.pointSize)
        .arg(f.weight)
        .arg(f.italic ? 1 : 0)
        .arg(f.underline ? 1 : 0)
        .arg(f.strikeout ? 1 : 0)
        .arg(f.charset);
}

StoredFont tahoma(double size) {
    return StoredFont{QStringLiteral("Tahoma"), size};
}

StoredFont verdana(double size) {
    return StoredFont{QStringLiteral("Verdana"), size};
}
} // namespace

QList<QPair<QString, QString>> DesignTimeProperties::keyValues() const {
    return {
        {QStringLiteral("_extentx"), QString::number(extentX)},
        {QStringLiteral("_extenty"), QString::number(extentY)},
        {QStringLiteral("doctextfont"), storedFontText(docTextFont)},
        {QStringLiteral("docheaderfont"), storedFontText(docHeaderFont)},
        {QStringLiteral("docfooterfont"), storedFontText(docFooterFont)},
        {QStringLiteral("doctitlefont"), storedFontText(docTitleFont)},
    };
}

const DesignTimeProperties& startWindowProperties() {
    static const DesignTimeProperties props{926, 926, tahoma(9.75), tahoma(8.25), tahoma(8.25), tahoma(15.75)};
    return props;
}

const DesignTimeProperties& advancedWindowProperties() {
    static const DesignTimeProperties props{926, 926, verdana(8.25), verdana(8.25), verdana(8.25), verdana(8.25)};
    return props;
}

} // namespace zendrik
