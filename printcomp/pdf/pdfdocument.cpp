#include "pdf/pdfdocument.h"

#include <algorithm>

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
    : pdf_(device), paper_(sheetSize(document.paper)), pageNumberRun_(document.pageNumberRun), fonts_(pdf_),
      content_(fonts_, underlined(document.fonts)) {
    pdf_.start(document.title, QStringLiteral("Orvanel Zendrik"), document.created);
}

PdfDocumentWriter::~PdfDocumentWriter() = default;

bool PdfDocumentWriter::addPage(const PreparedPage& page) {
    // A number that waits for the page count is a form of its own, written at the end.
    const bool numberForm = page.pageNumberPending && pageNumberRun_;
    const pdf::Bytes& content = content_.content(page, paper_.height(), numberForm);
    pdf_.addPage(paper_, QByteArrayView(content.data(), qsizetype(content.size())), content_.xobjects(),
                 numberForm ? std::max(1, page.number) : 0);
    return !pdf_.failed();
}

bool PdfDocumentWriter::finish() {
    const int count = pdf_.pageCount();
    QByteArray form = "/Type /XObject /Subtype /Form /BBox [0 0 ";
    pdf::appendReal(form, paper_.width() * PrintResolutionDevice::kDpi / 72);
    form.append(' ');
    pdf::appendReal(form, paper_.height() * PrintResolutionDevice::kDpi / 72);
    form.append("] /Resources 4 0 R");
    const bool written = pdf_.writePageForms([&](int number, int object) {
        const pdf::Bytes& content = content_.runContent(pageNumberRun_(number, count));
        pdf_.writeStream(object, form, QByteArrayView(content.data(), qsizetype(content.size())), true);
        return !pdf_.failed();
    });
    if (!written)
        return false;
    fonts_.writeFonts();
    pdf_.finish(fonts_.fonts(), fonts_.images());
    return !pdf_.failed();
}

} // namespace zendrik
