#include <zendrik/designtime.h>

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

} // namespace zendrik
