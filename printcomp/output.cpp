#include "output.h"

#include <zendrik/zendrik.h>

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

PdfSink::PdfSink() = default;

PdfSink::~PdfSink() {
    pdf_.reset();
    unnamed_.reset();
    if (unnamedFd_ >= 0)
        ::close(unnamedFd_);
}

QString PdfSink::temporaryPath() const {
    return file_ ? file_->fileName() : QString();
}

QFileDevice* PdfSink::output() const {
    if (unnamed_)
        return unnamed_.get();
    return file_.get();
}

int PdfSink::link(const QString& target) {
    const QByteArray fdPath = QByteArray("/proc/self/fd/") + QByteArray::number(unnamedFd_);
    const QByteArray name = QFile::encodeName(target);
    if (::linkat(AT_FDCWD, fdPath.constData(), AT_FDCWD, name.constData(), AT_SYMLINK_FOLLOW) == 0)
        return 0;
    return errno;
}

bool PdfSink::begin(const QString& folder, const QString& title, const QDateTime& created, const PageGeometry& geometry,
                    bool unnamed, QString& error) {
    folder_ = folder;
    const QString nativeFolder = QDir::toNativeSeparators(folder);
    if (!QFileInfo(folder).isDir()) {
        error = QStringLiteral("Cannot write the PDF file: the folder \"%1\" does not exist.").arg(nativeFolder);
        return false;
    }
    if (unnamed) {
        unnamedFd_ = ::open(QFile::encodeName(folder).constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0644);
        if (unnamedFd_ < 0 && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
            error = QStringLiteral("Cannot write the PDF file in \"%1\": %2")
                        .arg(nativeFolder, QString::fromLocal8Bit(std::strerror(errno)));
            return false;
        }
        if (unnamedFd_ >= 0) {
            unnamed_ = std::make_unique<QFile>();
            // Unbuffered: the PDF writer buffers itself, and a full disk is then seen at the write.
            if (!unnamed_->open(unnamedFd_, QIODevice::WriteOnly | QIODevice::Unbuffered,
                                QFileDevice::DontCloseHandle)) {
                error = QStringLiteral("Cannot write the PDF file in \"%1\": %2")
                            .arg(nativeFolder, unnamed_->errorString());
                return false;
            }
        }
    }
    if (!unnamed_) {
        // The file system has no unnamed files: a hidden temporary file, removed on failure.
        file_ = std::make_unique<QTemporaryFile>(QDir(folder).filePath(QStringLiteral(".zendrik-XXXXXX.pdf.part")));
        file_->setAutoRemove(true);
        if (!file_->open()) {
            error = QStringLiteral("Cannot write the PDF file in \"%1\": %2").arg(nativeFolder, file_->errorString());
            return false;
        }
    }
    // Whole points, as PDF readers name the standard sizes (595 x 842 for A4).
    paper_ = QSizeF(std::round(geometry.paper.width()), std::round(geometry.paper.height()));
    pdf_ = std::make_unique<PdfWriter>(output());
    pdf_->start(title, QStringLiteral("Orvanel Zendrik"), created);
    return true;
}

// The file's own error text is often "Unknown error"; a full disk, the usual cause, is named
// from the disk itself.
static QString writeFailure(const QString& folder, QFileDevice* out, const QString& step) {
    QString reason = step;
    if (out && out->error() != QFileDevice::NoError)
        reason = out->errorString();
    const QStorageInfo disk(folder);
    if (disk.isValid() && disk.bytesAvailable() < 65536)
        reason = QString::fromLocal8Bit(std::strerror(ENOSPC));
    return QStringLiteral("Cannot write the PDF file in \"%1\": %2").arg(QDir::toNativeSeparators(folder), reason);
}

bool PdfSink::addPage(const QByteArray& content, QString& error) {
    pdf_->addPage(paper_, content);
    if (pdf_->failed()) {
        error = writeFailure(folder_, output(), QStringLiteral("a page could not be written."));
        return false;
    }
    return true;
}

bool PdfSink::end(const QByteArray& resources, QString& error) {
    pdf_->finish(resources);
    if (pdf_->failed()) {
        error = writeFailure(folder_, output(), QStringLiteral("the file could not be finished."));
        return false;
    }
    pdf_.reset();
    QFileDevice* out = output();
    if (!out->flush() || out->error() != QFileDevice::NoError) {
        error = QStringLiteral("Cannot write the PDF file in \"%1\": %2")
                    .arg(QDir::toNativeSeparators(folder_), out->errorString());
        return false;
    }
    out->close();
    return true;
}

bool PdfSink::commitUnique(const QString& folder, const QString& base, QString& finalPath, QString& error) {
    const QDir dir(folder);
    const QString from = file_ ? file_->fileName() : QString();
    for (int n = 1; n < 10000; ++n) {
        const QString name = n == 1 ? base + QStringLiteral(".pdf") : QStringLiteral("%1 (%2).pdf").arg(base).arg(n);
        const QString target = dir.filePath(name);
        if (QFileInfo::exists(target))
            continue;
        if (unnamed_) {
            // Linking fails on an existing name, so a name taken meanwhile is skipped too.
            const int failure = link(target);
            if (failure == 0) {
                finalPath = target;
                return true;
            }
            if (failure == EEXIST)
                continue;
            error = QStringLiteral("Cannot write the PDF file \"%1\": %2")
                        .arg(QDir::toNativeSeparators(target), QString::fromLocal8Bit(std::strerror(failure)));
            return false;
        }
        // QFile::rename never replaces an existing file, so a name taken meanwhile is skipped too.
        if (QFile::rename(from, target)) {
            QFile::setPermissions(target, kFilePermissions);
            file_->setAutoRemove(false);
            finalPath = target;
            return true;
        }
        if (QFileInfo::exists(target))
            continue;
        error = QStringLiteral("Cannot write the PDF file \"%1\": the finished file could not be renamed.")
                    .arg(QDir::toNativeSeparators(target));
        return false;
    }
    error = QStringLiteral("Cannot write the PDF file: too many files named \"%1\" in \"%2\".")
                .arg(base, QDir::toNativeSeparators(folder));
    return false;
}

bool PdfSink::commitReplacing(const QString& path, QString& error) {
    QString from;
    if (unnamed_) {
        // Named beside the target first, then moved over it in one step.
        from = QStringLiteral("%1.zendrik-%2.part").arg(path).arg(QCoreApplication::applicationPid());
        QFile::remove(from);
        if (const int failure = link(from); failure != 0) {
            error = QStringLiteral("Cannot write the PDF file \"%1\": %2")
                        .arg(QDir::toNativeSeparators(path), QString::fromLocal8Bit(std::strerror(failure)));
            return false;
        }
    } else {
        from = file_->fileName();
    }
    if (std::rename(QFile::encodeName(from).constData(), QFile::encodeName(path).constData()) != 0) {
        error = QStringLiteral("Cannot write the PDF file \"%1\": %2")
                    .arg(QDir::toNativeSeparators(path), QString::fromLocal8Bit(std::strerror(errno)));
        if (unnamed_)
            QFile::remove(from);
        return false;
    }
    if (file_)
        file_->setAutoRemove(false);
    QFile::setPermissions(path, kFilePermissions);
    return true;
}

} // namespace zendrik
