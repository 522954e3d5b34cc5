#include "output/outputtarget.h"

namespace zendrik {

PdfOutputTarget::~PdfOutputTarget() = default;

Status PdfOutputTarget::begin(const DocumentDescription& document) {
    Result<QIODevice*> device = open(document);
    if (!device)
        return device.failure();
    writer_ = std::make_unique<PdfDocumentWriter>(*device, document);
    return {};
}

Status PdfOutputTarget::page(const PreparedPage& page) {
    if (!writer_->addPage(page))
        return writeFailure(QStringLiteral("a page could not be written."));
    return {};
}

Result<OutputResult> PdfOutputTarget::finish() {
    if (!writer_->finish())
        return writeFailure(QStringLiteral("the file could not be finished."));
    writer_.reset();
    return commit();
}

void PdfOutputTarget::abort() noexcept {
    writer_.reset();
    discard();
}

} // namespace zendrik
