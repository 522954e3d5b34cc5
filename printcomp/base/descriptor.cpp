#include "base/descriptor.h"

#include <QString>

#include <fcntl.h>
#include <unistd.h>

namespace zendrik {

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept {
    if (this != &other)
        reset(std::exchange(other.fd_, -1));
    return *this;
}

FileDescriptor::~FileDescriptor() {
    reset();
}

void FileDescriptor::reset(int fd) {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = fd;
}

std::optional<int> processDescriptor(QStringView path) {
    if (path == u"/dev/stdin")
        return 0;
    if (path == u"/dev/stdout")
        return 1;
    if (path == u"/dev/stderr")
        return 2;
    for (const QStringView prefix : {QStringView(u"/dev/fd/"), QStringView(u"/proc/self/fd/")}) {
        if (!path.startsWith(prefix))
            continue;
        const QStringView number = path.mid(prefix.size());
        if (number.isEmpty() || !number.front().isDigit())
            continue;
        bool ok = false;
        const int fd = number.toString().toInt(&ok);
        if (ok)
            return fd;
    }
    return std::nullopt;
}

int duplicateDescriptor(int fd) {
    return ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
}

} // namespace zendrik
