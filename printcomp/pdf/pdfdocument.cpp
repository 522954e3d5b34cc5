#include "pdf/pdfdocument.h"

#include "layout/fontmetrics.h"

#include <cmath>

namespace zendrik {

namespace {
// Whole points, as PDF readers name the standard sizes (595 x 842 for A4).
QSizeF wholePoints(const QSizeF& size) {
    return QSizeF(std::round(size.width()), std::round(size.height()));
}
} // namespace

PdfDocumentWriter::PdfDocumentWriter(QIODevice* device, const DocumentDescription& document)
    : pdf_(device), paper_(wholePoints(document.paper)),
      resources_(paintResources(document.fonts, PrintResolutionDevice::kDpi)), fonts_(pdf_),
      content_(resources_, fonts_) {
    pdf_.start(document.title, QStringLiteral("Orvanel Zendrik"), document.created);
}

PdfDocumentWriter::~PdfDocumentWriter() = default;

bool PdfDocumentWriter::addPage(const PreparedPage& page) {
    pdf_.addPage(paper_, content_.content(page.page, paper_.height(), &page.glyphs));
    return !pdf_.failed();
}

bool PdfDocumentWriter::finish() {
    fonts_.writeFonts();
    pdf_.finish(fonts_.resources());
    return !pdf_.failed();
}

} // namespace zendrik
