#pragma once
// File descriptors: a owner that closes its descriptor, and the paths that name a descriptor this
// process already has open ("/dev/stdout").

#include <QStringView>

#include <optional>
#include <utility>

namespace zendrik {

// Owns one open file descriptor and closes it when it goes.
class FileDescriptor {
public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd) : fd_(fd) {}
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept;
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor();

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    void reset(int fd = -1);
    // Gives up ownership: the caller closes the descriptor returned.
    int release() { return std::exchange(fd_, -1); }

private:
    int fd_ = -1;
};

// The descriptor a path names when it stands for one this process has open: "/dev/stdin",
// "/dev/stdout", "/dev/stderr", "/dev/fd/N" and "/proc/self/fd/N". Such a path is used as the
// descriptor itself (a duplicate of it, where it stands), never opened again by name: standard
// output redirected to a file is written at its place, and a pipe is read or written as it is.
std::optional<int> processDescriptor(QStringView path);

// A duplicate of `fd` numbered above the standard descriptors, closed on exec; -1 with errno set.
int duplicateDescriptor(int fd);

} // namespace zendrik
