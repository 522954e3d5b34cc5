#pragma once
// The output side of a job: a PDF written into a temporary file beside its final place, kept under
// its final name only when complete.

#include "pagegeometry.h"
#include "pdfwriter.h"

#include <QDateTime>
#include <QString>
#include <QTemporaryFile>

#include <memory>

namespace zendrik {

// The folder "Save as PDF" writes into: $ZENDRIK_PDF_DIR, else the user's documents folder.
QString pdfFolder();
// A file name (without ".pdf") for a document title: characters unsafe in file names replaced,
// "Untitled" when nothing is left.
QString pdfBaseName(const QString& title);

class PdfSink {
public:
    PdfSink();
    ~PdfSink(); // removes the temporary file unless committed

    // Creates the file being written in `folder` and starts the document. With
    // `unnamed`, the file has no name until it is committed (where the system allows it), so a
    // job interrupted even by a crash leaves nothing behind; otherwise it is a hidden temporary
    // file, which temporaryPath() names.
    bool begin(const QString& folder, const QString& title, const QDateTime& created, const PageGeometry& geometry,
               bool unnamed, QString& error);
    PdfWriter& pdf() { return *pdf_; }
    // The size of every page, in points.
    QSizeF pageSize() const { return paper_; }
    // Adds a page of the document's paper size drawn by `content`.
    bool addPage(const QByteArray& content, QString& error);
    // Finishes the PDF with the resources its pages share; the temporary file is then complete.
    bool end(const QByteArray& resources, QString& error);
    QString temporaryPath() const;

    // Gives the finished file its final name: `base`.pdf in `folder`, or " (2)", " (3)" ... added,
    // never replacing a file. Returns the path chosen.
    bool commitUnique(const QString& folder, const QString& base, QString& finalPath, QString& error);
    // Gives the finished file exactly this path, replacing what is there.
    bool commitReplacing(const QString& path, QString& error);

private:
    // Gives the unnamed file a name; 0 or the system's error number.
    int link(const QString& target);
    QFileDevice* output() const;

    int unnamedFd_ = -1;
    std::unique_ptr<QFile> unnamed_;
    std::unique_ptr<QTemporaryFile> file_;
    std::unique_ptr<PdfWriter> pdf_;
    QSizeF paper_;
    QString folder_;
};

} // namespace zendrik
