#include "savedpdf.h"

#include <zendrik/zendrik.h>

#include <QDir>

namespace demo {

QString savedPdfPath(const zendrik::Zendrik& component) {
    return QDir::toNativeSeparators(component.lastOutputPath());
}

QString savedAsText(const QString& path) {
    return path.isEmpty() ? QString() : QStringLiteral("Saved as %1").arg(path);
}

} // namespace demo
