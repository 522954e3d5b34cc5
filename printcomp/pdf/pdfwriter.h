#pragma once
// Writes the structure of a PDF file: objects, streams, pages, the document information and the
// cross-reference table. Knows nothing about text or fonts; pages arrive as finished content.

#include <QByteArray>
#include <QDateTime>
#include <QIODevice>
#include <QSizeF>
#include <QString>

#include <charconv>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <memory>
#include <vector>

namespace zendrik {

// PDF syntax for numbers and strings, appended to a buffer (a QByteArray or pdf::Bytes).
namespace pdf {

// A growing buffer for page content, where most writes are a few bytes: appends are inline.
class Bytes {
public:
    void clear() { size_ = 0; }
    const char* data() const { return data_.get(); }
    size_t size() const { return size_; }
    // Room for n more bytes, counted as written: the caller fills them.
    char* grow(size_t n) {
        if (size_ + n > capacity_)
            reallocate(size_ + n);
        char* at = data_.get() + size_;
        size_ += n;
        return at;
    }
    void append(const char* bytes, size_t n) { std::memcpy(grow(n), bytes, n); }
    void append(const char* text) { append(text, std::strlen(text)); }
    Bytes& operator+=(char c) {
        *grow(1) = c;
        return *this;
    }

private:
    void reallocate(size_t needed);
    std::unique_ptr<char[]> data_;
    size_t size_ = 0;
    size_t capacity_ = 0;
};

// Writes `value` as appendReal does into buf (at least 40 bytes); returns the length.
size_t realText(char* buf, double value);

template <typename Out> void appendInt(Out& out, long long value) {
    char buf[24];
    const auto r = std::to_chars(buf, buf + sizeof buf, value);
    out.append(buf, size_t(r.ptr - buf));
}
// Up to three decimals, without trailing zeros.
template <typename Out> void appendReal(Out& out, double value) {
    char buf[40];
    out.append(buf, realText(buf, value));
}
// Numbers separated by spaces, as operands.
template <typename Out> void appendReals(Out& out, std::initializer_list<double> values) {
    bool first = true;
    for (const double v : values) {
        if (!first)
            out += ' ';
        appendReal(out, v);
        first = false;
    }
}
// A 16-bit value as four hexadecimal digits.
template <typename Out> void appendHex4(Out& out, unsigned value) {
    static constexpr char digits[] = "0123456789ABCDEF";
    const char buf[4] = {digits[(value >> 12) & 15], digits[(value >> 8) & 15], digits[(value >> 4) & 15],
                         digits[value & 15]};
    out.append(buf, 4);
}
// A text string as UTF-16BE in hexadecimal, readable whatever the script.
template <typename Out> void appendTextString(Out& out, const QString& text) {
    out.append("<FEFF", 5);
    for (const QChar c : text)
        appendHex4(out, c.unicode());
    out += '>';
}
} // namespace pdf

class PdfWriter {
public:
    explicit PdfWriter(QIODevice* device);
    ~PdfWriter();

    // The file header; reserves the objects every document has.
    void start(const QString& title, const QString& creator, const QDateTime& created);
    // A number for an object written later.
    int reserveObject();
    // Writes an object's whole body (a dictionary, an array ...).
    void writeObject(int number, const QByteArray& body);
    // Writes a stream object; `dictionary` holds the entries besides /Length and /Filter.
    void writeStream(int number, const QByteArray& dictionary, QByteArrayView data, bool compress);
    // A page of the given size in points, drawn by `content` (compressed here). `xobjects` names
    // the external objects the page draws ("/Name 12 0 R ..."); without any, the page shares the
    // document's resources. With a `numberForm` above 0, the page draws a form as /PN that
    // writePageForms() writes later, showing that page number.
    void addPage(const QSizeF& size, QByteArrayView content, const QByteArray& xobjects = {}, int numberForm = 0);
    int pageCount() const { return pageCount_; }
    // Calls write(number, object) for the form of every page added with a numberForm, in the order
    // the pages were added, with the number given and the object the form must be written into.
    // Stops at the first call that returns false.
    bool writePageForms(const std::function<bool(int number, int object)>& write) const;
    // The objects every page shares: the fonts (a dictionary) and the resources (fonts, and the
    // images the pages draw), written at the end.
    static constexpr int kFontsObject = 5;
    static constexpr int kResourcesObject = 4;
    // Writes the fonts' dictionary, the resources every page shares, the page tree and the
    // trailer, and flushes.
    void finish(const QByteArray& fonts, const QByteArray& images);

    // True once the device refused data; the device's error says why.
    bool failed() const { return failed_; }

private:
    void beginObject(int number);
    void flush(bool all);

    // Pages added one after another whose objects follow each other: what is kept per page is
    // the same whatever the page count.
    struct PageRun {
        int firstObject = 0; // the first page's content; its page follows, then its form
        int count = 0;
        int firstNumber = 0; // of the first page's form; those after it count up
        bool forms = false;
        int stride() const { return forms ? 3 : 2; }
        int pageObject(int i) const { return firstObject + i * stride() + 1; }
        int formObject(int i) const { return firstObject + i * stride() + 2; }
    };
    struct Deflater;
    class Offsets;
    QIODevice* device_;
    std::unique_ptr<Deflater> deflater_;
    std::unique_ptr<Offsets> offsets_;
    QByteArray packed_;
    QByteArray buffer_;
    qint64 flushed_ = 0;
    std::vector<PageRun> pageRuns_;
    int pageCount_ = 0;
    QByteArray id_;
    bool failed_ = false;
};

} // namespace zendrik
