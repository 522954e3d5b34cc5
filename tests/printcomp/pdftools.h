#pragma once
// Reads PDFs back with poppler's command-line tools.

#include <QSizeF>
#include <QString>

namespace pdftools {

struct Info {
    bool ok = false;
    int pages = 0;
    QSizeF pageSize; // points, of page 1
    QString title;
};

Info info(const QString& path);
// The text of the whole document, or of one page (from 1).
QString text(const QString& path, int page = 0);
// The font lines of pdffonts: each names a font and says whether it is embedded.
QStringList fonts(const QString& path);

} // namespace pdftools
