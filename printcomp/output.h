#pragma once
// The output side of a job: a PDF written into a temporary file beside its final place, kept under
// its final name only when complete.

#include "pagegeometry.h"

#include <QPainter>
#include <QPdfWriter>
#include <QString>
#include <QTemporaryFile>

#include <memory>

namespace zendrik {

// The folder "Save as PDF" writes into: $ZENDRIK_PDF_DIR, else the user's documents folder.
QString pdfFolder();
// A file name (without ".pdf") for a document title: characters unsafe in file names replaced,
// "Untitled" when nothing is left.
QString pdfBaseName(const QString& title);

// Lives on the one thread that writes the document: while it exists, that thread's page streams
// are compressed at zlib's fastest level.
class PdfSink {
public:
    static constexpr int kResolution = 1200;

    PdfSink();
    ~PdfSink(); // removes the temporary file unless committed

    // Creates the file being written in `folder` and starts painting the first page. With
    // `unnamed`, the file has no name until it is committed (where the system allows it), so a
    // job interrupted even by a crash leaves nothing behind; otherwise it is a hidden temporary
    // file, which temporaryPath() names.
    bool begin(const QString& folder, const QString& title, const PageGeometry& geometry, bool landscape, bool unnamed,
               QString& error);
    QPainter& painter() { return painter_; }
    bool newPage(QString& error);
    // Finishes the PDF; the temporary file is then complete.
    bool end(QString& error);
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
    std::unique_ptr<QPdfWriter> writer_;
    QPainter painter_;
    QString folder_;
};

} // namespace zendrik
