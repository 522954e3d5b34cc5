#pragma once
// A PDF written straight into a stream: standard output, a pipe, a FIFO or a character device.
// Nothing is named, renamed or removed; what a stream has received stays with its reader, so a
// job that fails half-way leaves the start of a document there, and its error says so.

#include "base/descriptor.h"
#include "output/outputtarget.h"

#include <QString>

#include <memory>
#include <stop_token>

namespace zendrik {

class PdfStreamTarget : public PdfOutputTarget {
public:
    // Into an open descriptor, which the target takes over; `path` names it ("/dev/stdout").
    PdfStreamTarget(FileDescriptor fd, QString path, std::stop_token stop);
    // Into the FIFO or character device at `path`, opened (never created) when the job begins.
    // A FIFO is waited for until it has a reader, or `stop` is requested.
    PdfStreamTarget(QString path, std::stop_token stop);
    ~PdfStreamTarget() override;

protected:
    Result<QIODevice*> open(const DocumentDescription& document) override;
    Result<OutputResult> commit() override;
    void discard() noexcept override;
    Failure writeFailure(const QString& step) const override;

private:
    class Stream;
    Failure failure(const QString& reason) const;

    FileDescriptor fd_;
    QString path_;
    QString name_; // as messages call it
    std::stop_token stop_;
    std::unique_ptr<Stream> stream_;
};

} // namespace zendrik
