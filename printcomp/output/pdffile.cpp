#include "output/pdffile.h"

#include <zendrik/zendrikglobal.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QStorageInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zendrik {

namespace {
// A name is at most 255 bytes; " (9999).pdf" takes 11 of them.
constexpr qsizetype kMaxBaseNameBytes = 255 - 11;
constexpr int kMaxLinkHops = 40;
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
    static const QString unsafe = QStringLiteral("/\\:*?\"<>|");
    QString name;
    name.reserve(title.size());
    for (const QChar c : title) {
        const QChar::Category category = c.category();
        if (category == QChar::Other_Format)
            continue;
        if (category == QChar::Other_Control || category == QChar::Separator_Line ||
            category == QChar::Separator_Paragraph || unsafe.contains(c))
            name.append(u'_');
        else
            name.append(c);
    }
    name = name.trimmed();
    while (name.startsWith(u'.'))
        name.remove(0, 1);
    // Cut at whole characters, counting the bytes the file system will store.
    qsizetype bytes = 0;
    for (qsizetype i = 0; i < name.size();) {
        const qsizetype length = name.at(i).isHighSurrogate() && i + 1 < name.size() ? 2 : 1;
        bytes += QFile::encodeName(name.mid(i, length)).size();
        if (bytes > kMaxBaseNameBytes) {
            name.truncate(i);
            break;
        }
        i += length;
    }
    name = name.trimmed();
    return name.isEmpty() ? QStringLiteral("Untitled") : name;
}

Result<ResolvedPdfPath> resolvePdfPath(const QString& path) {
    const auto refused = [&](const QString& reason) {
        return Failure{
            ErrorCode::OutputFailed,
            QStringLiteral("Cannot write the PDF file \"%1\": %2").arg(QDir::toNativeSeparators(path), reason)};
    };
    QString current = QFileInfo(path).absoluteFilePath();
    for (int hop = 0; hop <= kMaxLinkHops; ++hop) {
        struct stat info {};
        if (::lstat(QFile::encodeName(current).constData(), &info) != 0) {
            if (errno == ENOENT)
                return ResolvedPdfPath{current, false};
            return refused(systemReason(errno));
        }
        if (S_ISLNK(info.st_mode)) {
            const QString target = QFile::symLinkTarget(current);
            if (target.isEmpty())
                return refused(systemReason(errno));
            current = QDir::cleanPath(QFileInfo(current).dir().absoluteFilePath(target));
            continue;
        }
        if (S_ISREG(info.st_mode))
            return ResolvedPdfPath{current, false};
        if (S_ISFIFO(info.st_mode) || S_ISCHR(info.st_mode))
            return ResolvedPdfPath{current, true};
        if (S_ISDIR(info.st_mode))
            return refused(systemReason(EISDIR));
        return refused(QStringLiteral("it is a socket or a block device, which a PDF is never written into"));
    }
    return refused(systemReason(ELOOP));
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
    const QByteArray name = QFile::encodeName(target);
    if (unnamed_) {
        const QByteArray fdPath = QByteArray("/proc/self/fd/") + QByteArray::number(unnamedFd_);
        if (::linkat(AT_FDCWD, fdPath.constData(), AT_FDCWD, name.constData(), AT_SYMLINK_FOLLOW) == 0)
            return 0;
        return errno;
    }
    // link() and renameat2(RENAME_NOREPLACE) both fail on a taken name (a dangling symbolic link
    // included) rather than replace or follow it; file systems without hard links (FUSE ones may
    // lack either) get the other.
    const QByteArray from = QFile::encodeName(file_->fileName());
    if (::link(from.constData(), name.constData()) == 0)
        return 0;
    if (errno == EEXIST)
        return EEXIST;
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, name.constData(), RENAME_NOREPLACE) == 0) {
        file_->setAutoRemove(false);
        return 0;
    }
    return errno;
}

Result<QString> PdfFileTarget::linkHidden() {
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString name = QDir(folder_).filePath(
            QStringLiteral(".zendrik-%1.pdf.part").arg(QRandomGenerator::global()->generate64(), 0, 36));
        const int error = link(name);
        if (error == 0)
            return name;
        if (error != EEXIST)
            return cannotWriteIn(systemReason(error));
    }
    return cannotWriteIn(systemReason(EEXIST));
}

Result<QIODevice*> PdfFileTarget::open(const DocumentDescription& document) {
    title_ = document.title;
    const QString nativeFolder = QDir::toNativeSeparators(folder_);
    const QFileInfo folder(folder_);
    if (folder.exists() && !folder.isDir())
        return failure(QStringLiteral("Cannot write the PDF file: \"%1\" is not a folder.").arg(nativeFolder));
    if (!folder.isDir())
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
    for (int n = 1; n < 10000; ++n) {
        const QString name = n == 1 ? base + QStringLiteral(".pdf") : QStringLiteral("%1 (%2).pdf").arg(base).arg(n);
        const QString target = dir.filePath(name);
        const int error = link(target);
        if (error == EEXIST)
            continue;
        if (error != 0)
            return cannotWrite(target, systemReason(error));
        if (file_)
            QFile::setPermissions(target, kFilePermissions);
        return OutputResult{target, 0, {}};
    }
    return failure(QStringLiteral("Cannot write the PDF file: too many files named \"%1\" in \"%2\".")
                       .arg(base, QDir::toNativeSeparators(folder_)));
}

Result<OutputResult> PdfFileTarget::commitReplacing() {
    const QString& path = exactPath_;
    QString from;
    if (unnamed_) {
        // A new file gets its name in one step, with no other name ever seen.
        if (const int error = link(path); error == 0)
            return OutputResult{path, 0, {}};
        else if (error != EEXIST)
            return cannotWrite(path, systemReason(error));
        // An existing one: named beside it first, then moved over it in one step.
        Result<QString> named = linkHidden();
        if (!named)
            return named.failure();
        from = *named;
    } else {
        from = file_->fileName();
    }
    const QByteArray fromName = QFile::encodeName(from);
    const QByteArray toName = QFile::encodeName(path);
    // Only a regular file is ever replaced; whatever else took its place meanwhile stays.
    struct stat info {};
    if (::lstat(toName.constData(), &info) == 0 && !S_ISREG(info.st_mode)) {
        if (unnamed_)
            ::unlink(fromName.constData());
        return cannotWrite(path, QStringLiteral("it is no longer a regular file, and was left as it is"));
    }
    if (std::rename(fromName.constData(), toName.constData()) != 0) {
        const Failure failed = cannotWrite(path, systemReason(errno));
        if (unnamed_)
            ::unlink(fromName.constData());
        return failed;
    }
    if (file_)
        file_->setAutoRemove(false);
    QFile::setPermissions(path, kFilePermissions);
    return OutputResult{path, 0, {}};
}

} // namespace zendrik
