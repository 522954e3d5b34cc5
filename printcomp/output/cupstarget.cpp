#include "output/cupstarget.h"

#include <optional>

namespace zendrik {

// The job's document as a device the PDF writer writes into.
class CupsTarget::Upload : public QIODevice {
public:
    explicit Upload(cups::Job& job) : job_(job) { QIODevice::open(QIODevice::WriteOnly | QIODevice::Unbuffered); }

    const std::optional<Failure>& failure() const { return failure_; }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 size) override {
        if (failure_)
            return -1;
        if (Status sent = job_.write(data, size); !sent) {
            failure_ = sent.failure();
            setErrorString(failure_->message);
            return -1;
        }
        return size;
    }

private:
    cups::Job& job_;
    std::optional<Failure> failure_;
};

CupsTarget::CupsTarget(QString queue, cups::JobSettings settings, std::stop_token stop)
    : queue_(std::move(queue)), settings_(std::move(settings)), stop_(std::move(stop)) {}

CupsTarget::~CupsTarget() {
    discard();
}

Result<QIODevice*> CupsTarget::open(const DocumentDescription&) {
    Result<std::unique_ptr<cups::Job>> job = cups::Job::start(queue_, settings_, stop_);
    if (!job)
        return job.failure();
    job_ = std::move(*job);
    upload_ = std::make_unique<Upload>(*job_);
    return static_cast<QIODevice*>(upload_.get());
}

Failure CupsTarget::writeFailure(const QString& step) const {
    if (upload_ && upload_->failure())
        return *upload_->failure();
    return Failure{ErrorCode::Internal,
                   QStringLiteral("The document for \"%1\" could not be written: %2").arg(queue_, step)};
}

Result<OutputResult> CupsTarget::commit() {
    Result<cups::Job::Accepted> accepted = job_->finish();
    if (!accepted)
        return accepted.failure();
    OutputResult result;
    result.jobId = accepted->jobId;
    if (accepted->queueStopped) {
        result.notice =
            QStringLiteral("The printer \"%1\" is stopped: the job waits in its queue until the printer is resumed.")
                .arg(queue_);
    }
    return result;
}

void CupsTarget::discard() noexcept {
    upload_.reset();
    if (job_)
        job_->cancel();
    job_.reset();
}

} // namespace zendrik
