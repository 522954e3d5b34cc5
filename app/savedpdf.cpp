#include "savedpdf.h"

#include <zendrik/zendrik.h>

#include <QDir>

namespace demo {

QString savedPdfPath(const zendrik::Zendrik& component, const QString& printerName) {
    const QString printer = printerName.isEmpty() ? component.defaultPrinter() : printerName;
    // The component keeps the last PDF it wrote across jobs on real printers; those wrote no file.
    if (printer != QLatin1String(zendrik::kSaveAsPdfPrinter)) {
        return {};
    }
    return QDir::toNativeSeparators(component.lastOutputPath());
}

QString savedAsText(const QString& path) {
    return path.isEmpty() ? QString() : QStringLiteral("Saved as %1").arg(path);
}

} // namespace demo
