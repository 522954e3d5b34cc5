#include "output/pdffile.h"

#include <zendrik/zendrikglobal.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QStorageInfo>

#include <QFileInfo>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace zendrik {

namespace {
constexpr qsizetype kMaxBaseNameLength = 120;
// Temporary files are private to their owner; the finished document is an ordinary file.
constexpr QFileDevice::Permissions kFilePermissions =
    QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther;
QString systemReason(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}
} // namespace

QString pdfFolder() {
    const QString dir = qEnvironmentVariable(kPdfDirEnv);
    if (!dir.isEmpty())
        return dir;
    QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (documents.isEmpty())
        documents = QDir::homePath();
    QDir().mkpath(documents);
    return documents;
}

QString pdfBaseName(const QString& title) {
    QString name;
    name.reserve(title.size());
    for (const QChar c : title) {
        static const QString unsafe = QStringLiteral("/\\:*?\"<>|");
        if (c.category() == QChar::Other_Control || unsafe.contains(c) || c == u'\r' || c == u'\n')
            name.append(u'_');
        else
            name.append(c);
    }
    name = name.trimmed();
    while (name.startsWith(u'.'))
        name.remove(0, 1);
    if (name.size() > kMaxBaseNameLength) {
        name.truncate(kMaxBaseNameLength);
        if (name.back().isHighSurrogate())
            name.chop(1);
    }
    name = name.trimmed();
    return name.isEmpty() ? QStringLiteral("Untitled") : name;
}

PdfFileTarget::PdfFileTarget(QString folder, QString exactPath)
    : folder_(std::move(folder)), exactPath_(std::move(exactPath)) {}

PdfFileTarget::~PdfFileTarget() {
    discard();
}

void PdfFileTarget::discard() noexcept {
    unnamed_.reset();
    if (unnamedFd_ >= 0)
        ::close(unnamedFd_);
    unnamedFd_ = -1;
    file_.reset(); // removes the hidden temporary file unless committed
}

QFileDevice* PdfFileTarget::output() const {
    if (unnamed_)
        return unnamed_.get();
    return file_.get();
}

Failure PdfFileTarget::failure(const QString& what) const {
    return Failure{ErrorCode::OutputFailed, what};
}

// Every failure names the file, or the folder when the file has no name yet, and the reason.
Failure PdfFileTarget::cannotWrite(const QString& path, const QString& reason) const {
    return failure(QStringLiteral("Cannot write the PDF file \"%1\": %2").arg(QDir::toNativeSeparators(path), reason));
}

Failure PdfFileTarget::cannotWriteIn(const QString& reason) const {
    return failure(
        QStringLiteral("Cannot write the PDF file in \"%1\": %2").arg(QDir::toNativeSeparators(folder_), reason));
}

int PdfFileTarget::link(const QString& target) {
    const QByteArray fdPath = QByteArray("/proc/self/fd/") + QByteArray::number(unnamedFd_);
    const QByteArray name = QFile::encodeName(target);
    if (::linkat(AT_FDCWD, fdPath.constData(), AT_FDCWD, name.constData(), AT_SYMLINK_FOLLOW) == 0)
        return 0;
    return errno;
}

Result<QIODevice*> PdfFileTarget::open(const DocumentDescription& document) {
    title_ = document.title;
    const QString nativeFolder = QDir::toNativeSeparators(folder_);
    if (!QFileInfo(folder_).isDir())
        return failure(
            QStringLiteral("Cannot write the PDF file: the folder \"%1\" does not exist.").arg(nativeFolder));
    unnamedFd_ = ::open(QFile::encodeName(folder_).constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0644);
    if (unnamedFd_ < 0 && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
        return cannotWriteIn(systemReason(errno));
    if (unnamedFd_ >= 0) {
        unnamed_ = std::make_unique<QFile>();
        // Unbuffered: the PDF writer buffers itself, and a full disk is then seen at the write.
        if (!unnamed_->open(unnamedFd_, QIODevice::WriteOnly | QIODevice::Unbuffered, QFileDevice::DontCloseHandle))
            return cannotWriteIn(unnamed_->errorString());
        return static_cast<QIODevice*>(unnamed_.get());
    }
    // The file system has no unnamed files: a hidden temporary file, removed on failure.
    file_ = std::make_unique<QTemporaryFile>(QDir(folder_).filePath(QStringLiteral(".zendrik-XXXXXX.pdf.part")));
    file_->setAutoRemove(true);
    if (!file_->open())
        return cannotWriteIn(file_->errorString());
    return static_cast<QIODevice*>(file_.get());
}

// The file's own error text is often "Unknown error"; a full disk, the usual cause, is named
// from the disk itself.
Failure PdfFileTarget::writeFailure(const QString& step) const {
    QString reason = step;
    const QFileDevice* out = output();
    if (out && out->error() != QFileDevice::NoError)
        reason = out->errorString();
    const QStorageInfo disk(folder_);
    if (disk.isValid() && disk.bytesAvailable() < 65536)
        reason = systemReason(ENOSPC);
    return cannotWriteIn(reason);
}

Result<OutputResult> PdfFileTarget::commit() {
    QFileDevice* out = output();
    if (!out->flush() || out->error() != QFileDevice::NoError)
        return writeFailure(out->errorString());
    out->close();
    return exactPath_.isEmpty() ? commitUnique() : commitReplacing();
}

Result<OutputResult> PdfFileTarget::commitUnique() {
    const QDir dir(folder_);
    const QString base = pdfBaseName(title_);
    const QString from = file_ ? file_->fileName() : QString();
    for (int n = 1; n < 10000; ++n) {
        const QString name = n == 1 ? base + QStringLiteral(".pdf") : QStringLiteral("%1 (%2).pdf").arg(base).arg(n);
        const QString target = dir.filePath(name);
        if (QFileInfo::exists(target))
            continue;
        if (unnamed_) {
            // Linking fails on an existing name, so a name taken meanwhile is skipped too.
            const int error = link(target);
            if (error == 0)
                return OutputResult{target, 0, {}};
            if (error == EEXIST)
                continue;
            return cannotWrite(target, systemReason(error));
        }
        // QFile::rename never replaces an existing file, so a name taken meanwhile is skipped too.
        if (QFile::rename(from, target)) {
            QFile::setPermissions(target, kFilePermissions);
            file_->setAutoRemove(false);
            return OutputResult{target, 0, {}};
        }
        if (QFileInfo::exists(target))
            continue;
        return cannotWrite(target, QStringLiteral("the finished file could not be renamed."));
    }
    return failure(QStringLiteral("Cannot write the PDF file: too many files named \"%1\" in \"%2\".")
                       .arg(base, QDir::toNativeSeparators(folder_)));
}

Result<OutputResult> PdfFileTarget::commitReplacing() {
    const QString& path = exactPath_;
    QString from;
    if (unnamed_) {
        // Named beside the target first, then moved over it in one step.
        from = QStringLiteral("%1.zendrik-%2.part").arg(path).arg(QCoreApplication::applicationPid());
        QFile::remove(from);
        if (const int error = link(from); error != 0) {
            return cannotWrite(path, systemReason(error));
        }
    } else {
        from = file_->fileName();
    }
    if (std::rename(QFile::encodeName(from).constData(), QFile::encodeName(path).constData()) != 0) {
        const Failure failed = cannotWrite(path, systemReason(errno));
        if (unnamed_)
            QFile::remove(from);
        return failed;
    }
    if (file_)
        file_->setAutoRemove(false);
    QFile::setPermissions(path, kFilePermissions);
    return OutputResult{path, 0, {}};
}

} // namespace zendrik
