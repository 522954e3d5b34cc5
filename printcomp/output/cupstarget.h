#pragma once
// Printing on a CUPS queue: the PDF goes to the scheduler as it is written, so nothing of the job
// is ever kept on this machine's disk.

#include "output/cupsqueue.h"
#include "output/outputtarget.h"

#include <QIODevice>

#include <stop_token>

namespace zendrik {

class CupsTarget : public PdfOutputTarget {
public:
    CupsTarget(QString queue, cups::JobSettings settings, std::stop_token stop);
    ~CupsTarget() override;

protected:
    Result<QIODevice*> open(const DocumentDescription& document) override;
    Result<OutputResult> commit() override;
    void discard() noexcept override;
    Failure writeFailure(const QString& step) const override;

private:
    class Upload;
    QString queue_;
    cups::JobSettings settings_;
    std::stop_token stop_;
    std::unique_ptr<cups::Job> job_;
    std::unique_ptr<Upload> upload_;
};

} // namespace zendrik
