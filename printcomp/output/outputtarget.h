#pragma once
// Where a job's pages go. A target is used once: begin, a page at a time, then finish, or abort
// at any point after begin; whatever it created is gone after abort.

#include "base/failure.h"
#include "pdf/pdfdocument.h"

#include <QString>

#include <memory>

namespace zendrik {

struct OutputResult {
    QString path;               // the file written, for a PDF file
    int jobId = 0;              // the spooler's job, for a printer
    QString notice;             // what the user should still know, e.g. that the queue is stopped
    qint64 boxedCharacters = 0; // characters printed as hollow boxes: no installed font has them
};

class OutputTarget {
public:
    virtual ~OutputTarget() = default;
    virtual Status begin(const DocumentDescription& document) = 0;
    virtual Status page(const PreparedPage& page) = 0;
    virtual Result<OutputResult> finish() = 0;
    virtual void abort() noexcept = 0;
};

// A target that writes the document as PDF into a device of its own: subclasses open the device,
// and keep or drop what was written.
class PdfOutputTarget : public OutputTarget {
public:
    ~PdfOutputTarget() override;

    Status begin(const DocumentDescription& document) final;
    Status page(const PreparedPage& page) final;
    Result<OutputResult> finish() final;
    void abort() noexcept final;

protected:
    // The device the PDF is written into, open for writing.
    virtual Result<QIODevice*> open(const DocumentDescription& document) = 0;
    // Everything is written: make the document the user's.
    virtual Result<OutputResult> commit() = 0;
    // Drops whatever was written; never fails.
    virtual void discard() noexcept = 0;
    // Why the device refused data, `step` saying what was being written.
    virtual Failure writeFailure(const QString& step) const = 0;

private:
    std::unique_ptr<PdfDocumentWriter> writer_;
};

} // namespace zendrik
