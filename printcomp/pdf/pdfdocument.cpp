#include "pdf/pdfdocument.h"

namespace zendrik {

namespace {
std::array<bool, kFontRoles> underlined(const std::array<FontSpec, kFontRoles>& fonts) {
    std::array<bool, kFontRoles> result{};
    for (size_t i = 0; i < fonts.size(); ++i)
        result[i] = fonts[i].underline;
    return result;
}
} // namespace

PdfDocumentWriter::PdfDocumentWriter(QIODevice* device, const DocumentDescription& document)
    : pdf_(device), paper_(sheetSize(document.paper)), fonts_(pdf_), content_(fonts_, underlined(document.fonts)) {
    pdf_.start(document.title, QStringLiteral("Orvanel Zendrik"), document.created);
}

PdfDocumentWriter::~PdfDocumentWriter() = default;

bool PdfDocumentWriter::addPage(const PreparedPage& page) {
    pdf_.addPage(paper_, content_.content(page, paper_.height()));
    return !pdf_.failed();
}

bool PdfDocumentWriter::finish() {
    fonts_.writeFonts();
    pdf_.finish(fonts_.resources());
    return !pdf_.failed();
}

} // namespace zendrik
