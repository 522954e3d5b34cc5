#include "output/streamtarget.h"

#include <QDir>
#include <QFile>
#include <QIODevice>

#include <cerrno>
#include <csignal>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zendrik {

namespace {

// How often a wait for the stream looks whether the job was cancelled.
constexpr int kWaitSliceMs = 200;
// A pipe that reports room takes this much without blocking.
constexpr qint64 kPipeChunk = 4096;

QString systemReason(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

// A write into a pipe whose reader has gone must fail with EPIPE, not end the program: SIGPIPE is
// held back on this thread for the write, and one it raised is taken back.
ssize_t writeWithoutSigpipe(int fd, const char* data, size_t size) {
    sigset_t pipeSignal;
    sigset_t previous;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, &previous);
    const ssize_t written = ::write(fd, data, size);
    const int error = errno;
    if (written < 0 && error == EPIPE) {
        const timespec none{};
        sigtimedwait(&pipeSignal, nullptr, &none);
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    errno = error;
    return written;
}

// Waits until the descriptor takes data; false once `stop` is requested.
bool waitWritable(int fd, const std::stop_token& stop) {
    pollfd wanted{fd, POLLOUT, 0};
    while (!stop.stop_requested()) {
        const int ready = ::poll(&wanted, 1, kWaitSliceMs);
        if (ready > 0 || (ready < 0 && errno != EINTR))
            return true; // the write that follows reports any error
    }
    return false;
}

} // namespace

// The descriptor as a device for the PDF writer. Writes into a pipe or a device go in pieces the
// stream has room for, so that a reader that stops reading cannot hold a cancelled job.
class PdfStreamTarget::Stream : public QIODevice {
public:
    Stream(int fd, std::stop_token stop) : fd_(fd), stop_(std::move(stop)) {
        struct stat info {};
        regular_ = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
        QIODevice::open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    }
    int error() const { return error_; }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 size) override {
        qint64 done = 0;
        while (done < size) {
            if (!regular_ && !waitWritable(fd_, stop_))
                return fail(ECANCELED);
            const qint64 piece = regular_ ? size - done : std::min(size - done, kPipeChunk);
            const ssize_t written = writeWithoutSigpipe(fd_, data + done, size_t(piece));
            if (written < 0) {
                if (errno == EINTR || errno == EAGAIN)
                    continue;
                return fail(errno);
            }
            done += written;
        }
        return size;
    }

private:
    qint64 fail(int error) {
        error_ = error;
        setErrorString(systemReason(error));
        return -1;
    }

    int fd_;
    std::stop_token stop_;
    bool regular_ = false;
    int error_ = 0;
};

namespace {
QString streamName(const QString& path) {
    if (processDescriptor(path) == 1)
        return QStringLiteral("standard output");
    return QStringLiteral("\"%1\"").arg(QDir::toNativeSeparators(path));
}
} // namespace

PdfStreamTarget::PdfStreamTarget(FileDescriptor fd, QString path, std::stop_token stop)
    : fd_(std::move(fd)), path_(std::move(path)), name_(streamName(path_)), stop_(std::move(stop)) {}

PdfStreamTarget::PdfStreamTarget(QString path, std::stop_token stop)
    : path_(std::move(path)), name_(streamName(path_)), stop_(std::move(stop)) {}

PdfStreamTarget::~PdfStreamTarget() {
    discard();
}

Failure PdfStreamTarget::failure(const QString& reason) const {
    if (stop_.stop_requested())
        return cancelledFailure();
    return Failure{ErrorCode::OutputFailed, QStringLiteral("Cannot write the PDF to %1: %2").arg(name_, reason)};
}

Result<QIODevice*> PdfStreamTarget::open(const DocumentDescription&) {
    if (!fd_.valid()) {
        // Non-blocking: a FIFO without a reader refuses the open instead of holding it.
        const QByteArray name = QFile::encodeName(path_);
        for (;;) {
            fd_.reset(::open(name.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
            if (fd_.valid())
                break;
            if (errno != ENXIO)
                return failure(systemReason(errno));
            if (stop_.stop_requested())
                return cancelledFailure();
            ::usleep(kWaitSliceMs * 1000 / 4);
        }
        const int flags = ::fcntl(fd_.get(), F_GETFL);
        ::fcntl(fd_.get(), F_SETFL, flags & ~O_NONBLOCK);
    }
    stream_ = std::make_unique<Stream>(fd_.get(), stop_);
    return static_cast<QIODevice*>(stream_.get());
}

Failure PdfStreamTarget::writeFailure(const QString& step) const {
    if (stream_ && stream_->error() != 0)
        return failure(stream_->errorString());
    return failure(step);
}

Result<OutputResult> PdfStreamTarget::commit() {
    stream_.reset();
    // A file behind the descriptor (on NFS, say) may report a failed write only when closed.
    if (::close(fd_.release()) != 0 && errno != EINTR)
        return failure(systemReason(errno));
    return OutputResult{path_, 0, {}};
}

void PdfStreamTarget::discard() noexcept {
    stream_.reset();
    fd_.reset();
}

} // namespace zendrik
