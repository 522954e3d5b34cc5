#pragma once
// "Save as PDF": the document is written into a file with no name (or a hidden temporary one
// where the file system has no unnamed files) beside its final place, and gets its final name
// only when complete.

#include "output/outputtarget.h"

#include <QFile>
#include <QString>
#include <QTemporaryFile>

#include <memory>

namespace zendrik {

// The folder "Save as PDF" writes into: $ZENDRIK_PDF_DIR, else the user's documents folder.
QString pdfFolder();
// A file name (without ".pdf") for a document title: characters unsafe in file names replaced,
// format characters (bidirectional controls, joiners) dropped, short enough in the file system's
// encoding that " (9999).pdf" still fits in a name; "Untitled" when nothing is left.
QString pdfBaseName(const QString& title);

// Where an exact PDF path leads once symbolic links are followed: the regular file to write
// (which may not exist yet), or a FIFO or character device to stream into. A folder, a socket,
// a block device or a loop of links fails with OutputFailed.
struct ResolvedPdfPath {
    QString path;
    bool stream = false;
};
Result<ResolvedPdfPath> resolvePdfPath(const QString& path);

class PdfFileTarget : public PdfOutputTarget {
public:
    // A new file named after the document title in `folder` ("Title.pdf", "Title (2).pdf", ...),
    // never replacing one; or, with `exactPath` (resolved, see resolvePdfPath), exactly that
    // file, replaced when complete if it is still a regular file then.
    PdfFileTarget(QString folder, QString exactPath);
    ~PdfFileTarget() override;

protected:
    Result<QIODevice*> open(const DocumentDescription& document) override;
    Result<OutputResult> commit() override;
    void discard() noexcept override;
    Failure writeFailure(const QString& step) const override;

private:
    Failure failure(const QString& what) const;
    Failure cannotWrite(const QString& path, const QString& reason) const;
    Failure cannotWriteIn(const QString& reason) const;
    // Gives the written file the name `target`, never replacing anything there; 0 or the
    // system's error number (EEXIST when the name is taken).
    int link(const QString& target);
    // Gives the unnamed file a new hidden name in the folder.
    Result<QString> linkHidden();
    Result<OutputResult> commitUnique();
    Result<OutputResult> commitReplacing();
    QFileDevice* output() const;

    QString folder_;
    QString exactPath_;
    QString title_;
    int unnamedFd_ = -1;
    std::unique_ptr<QFile> unnamed_;
    std::unique_ptr<QTemporaryFile> file_;
};

} // namespace zendrik
