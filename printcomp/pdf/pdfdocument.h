#pragma once
// A whole document written as PDF into a device, page by page: the file structure, the embedded
// fonts and each page's content. Output targets decide where the device leads.

#include "base/settings.h"
#include "pdf/pagecontent.h"
#include "pdf/pdffont.h"
#include "pdf/pdfwriter.h"

#include <QDateTime>
#include <QIODevice>
#include <QSizeF>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

namespace zendrik {

// A laid-out page: its runs carry the glyphs shaped on the layout thread, so that the writing
// thread only writes them.
using PreparedPage = Page;

// What a document is, for whoever writes it out.
struct DocumentDescription {
    QString title;
    QDateTime created;
    QSizeF paper; // points, orientation applied
    std::array<FontSpec, kFontRoles> fonts;
    // "Page N of M" for page `number` of `count`, for pages laid out before M was known
    // (Page::pageNumberPending): called once the last page is written.
    std::function<TextRun(int number, int count)> pageNumberRun;
};

class PdfDocumentWriter {
public:
    PdfDocumentWriter(QIODevice* device, const DocumentDescription& document);
    ~PdfDocumentWriter();

    // Each returns false once the device has refused data; the device's error says why.
    bool addPage(const PreparedPage& page);
    // Writes the fonts, the page tree and the trailer.
    bool finish();

private:
    PdfWriter pdf_;
    QSizeF paper_;
    std::function<TextRun(int, int)> pageNumberRun_;
    PdfFontSet fonts_;
    PageContentWriter content_;
};

} // namespace zendrik
