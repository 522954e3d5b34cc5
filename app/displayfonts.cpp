#include "displayfonts.h"

#include <QFont>
#include <QFontDatabase>
#include <QFontInfo>

namespace demo {

QString plainFamilyName(const QString& family) {
    if (!family.endsWith(QLatin1Char(']'))) {
        return family;
    }
    const qsizetype open = family.lastIndexOf(QLatin1String(" ["));
    return open > 0 ? family.left(open) : family;
}

QStringList displayFontFamilies() {
    QStringList names;
    for (const QString& family : QFontDatabase::families()) {
        const QString name = plainFamilyName(family);
        if (names.contains(name)) {
            continue;
        }
        if (plainFamilyName(QFontInfo(QFont(name)).family()) == name) {
            names.append(name);
        }
    }
    return names;
}

} // namespace demo
