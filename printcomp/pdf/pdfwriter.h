#pragma once
// Writes the structure of a PDF file: objects, streams, pages, the document information and the
// cross-reference table. Knows nothing about text or fonts; pages arrive as finished content.

#include <QByteArray>
#include <QDateTime>
#include <QIODevice>
#include <QSizeF>
#include <QString>

#include <initializer_list>
#include <vector>

namespace zendrik {

// PDF syntax for numbers and strings, appended to a buffer.
namespace pdf {
void appendInt(QByteArray& out, long long value);
// Up to three decimals, without trailing zeros.
void appendReal(QByteArray& out, double value);
// Numbers separated by spaces, as operands.
void appendReals(QByteArray& out, std::initializer_list<double> values);
// A 16-bit value as four hexadecimal digits.
void appendHex4(QByteArray& out, unsigned value);
// A text string as UTF-16BE in hexadecimal, readable whatever the script.
void appendTextString(QByteArray& out, const QString& text);
} // namespace pdf

class PdfWriter {
public:
    explicit PdfWriter(QIODevice* device);

    // The file header; reserves the objects every document has.
    void start(const QString& title, const QString& creator, const QDateTime& created);
    // A number for an object written later.
    int reserveObject();
    // Writes an object's whole body (a dictionary, an array ...).
    void writeObject(int number, const QByteArray& body);
    // Writes a stream object; `dictionary` holds the entries besides /Length and /Filter.
    void writeStream(int number, const QByteArray& dictionary, const QByteArray& data, bool compress);
    // A page of the given size in points, drawn by `content` (compressed here).
    void addPage(const QSizeF& size, const QByteArray& content);
    int pageCount() const { return int(pages_.size()); }
    // Writes the resources every page shares, the page tree and the trailer, and flushes.
    void finish(const QByteArray& resources);

    // True once the device refused data; the device's error says why.
    bool failed() const { return failed_; }

private:
    void beginObject(int number);
    void flush(bool all);

    QIODevice* device_;
    QByteArray buffer_;
    qint64 flushed_ = 0;
    std::vector<qint64> offsets_; // by object number; -1 while only reserved
    std::vector<int> pages_;
    QByteArray id_;
    bool failed_ = false;
};

} // namespace zendrik
