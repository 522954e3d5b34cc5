#include "pdf/pdfwriter.h"

#include <QCryptographicHash>
#include <QRandomGenerator>

#include <algorithm>
#include <charconv>
#include <cmath>

#include <libdeflate.h>

namespace zendrik {

namespace pdf {

void Bytes::reallocate(size_t needed) {
    const size_t capacity = std::max(needed, std::max<size_t>(4096, capacity_ * 2));
    std::unique_ptr<char[]> bigger(new char[capacity]);
    if (size_ > 0)
        std::memcpy(bigger.get(), data_.get(), size_);
    data_ = std::move(bigger);
    capacity_ = capacity;
}

size_t realText(char* buf, double value) {
    const double thousandths = std::round(value * 1000);
    if (!std::isfinite(thousandths) || std::abs(thousandths) > 9e18) {
        buf[0] = '0';
        return 1;
    }
    const long long whole = static_cast<long long>(thousandths);
    if (whole % 1000 == 0)
        return size_t(std::to_chars(buf, buf + 40, whole / 1000).ptr - buf);
    char* at = buf;
    if (whole < 0)
        *at++ = '-';
    const long long magnitude = whole < 0 ? -whole : whole;
    at = std::to_chars(at, buf + 40, magnitude / 1000).ptr;
    *at++ = '.';
    long long fraction = magnitude % 1000;
    int digits = 3;
    while (fraction % 10 == 0) {
        fraction /= 10;
        --digits;
    }
    for (int i = digits - 1; i >= 0; --i) {
        at[i] = char('0' + fraction % 10);
        fraction /= 10;
    }
    return size_t(at + digits - buf);
}

} // namespace pdf

namespace {
constexpr qsizetype kFlushSize = 1 << 18;
constexpr int kCatalog = 1;
constexpr int kPageTree = 2;
constexpr int kInfo = 3;
constexpr int kResources = PdfWriter::kResourcesObject;
constexpr int kFonts = PdfWriter::kFontsObject;

QByteArray pdfDate(const QDateTime& t) {
    const int offset = t.offsetFromUtc();
    const int minutes = std::abs(offset) / 60;
    return t.toString(QStringLiteral("'D:'yyyyMMddHHmmss")).toLatin1() + (offset < 0 ? '-' : '+') +
           QByteArray::number(minutes / 60).rightJustified(2, '0') + '\'' +
           QByteArray::number(minutes % 60).rightJustified(2, '0') + '\'';
}
} // namespace

// Streams are compressed whole, with libdeflate: it compresses text pages more than twice as fast
// as zlib at its fastest level, and a little smaller.
struct PdfWriter::Deflater {
    libdeflate_compressor* compressor = libdeflate_alloc_compressor(1);
    ~Deflater() {
        if (compressor)
            libdeflate_free_compressor(compressor);
    }
    bool pack(QByteArrayView data, QByteArray& out) {
        if (!compressor)
            return false;
        out.resize(qsizetype(libdeflate_zlib_compress_bound(compressor, size_t(data.size()))));
        const size_t size =
            libdeflate_zlib_compress(compressor, data.data(), size_t(data.size()), out.data(), size_t(out.size()));
        out.resize(qsizetype(size));
        return size > 0;
    }
};

PdfWriter::PdfWriter(QIODevice* device) : device_(device), deflater_(std::make_unique<Deflater>()) {}

PdfWriter::~PdfWriter() = default;

void PdfWriter::start(const QString& title, const QString& creator, const QDateTime& created) {
    buffer_.reserve(kFlushSize * 2);
    // The binary comment tells transfer programs that the file is not text.
    buffer_.append("%PDF-1.4\n%\xE2\xE3\xCF\xD3\n");
    offsets_.assign(kFonts + 1, -1);
    offsets_[0] = 0;
    QByteArray info = "<< /Title ";
    pdf::appendTextString(info, title);
    info.append(" /Creator ");
    pdf::appendTextString(info, creator);
    info.append(" /Producer ");
    pdf::appendTextString(info, creator);
    info.append(" /CreationDate (" + pdfDate(created) + ") >>");
    writeObject(kInfo, info);
    QByteArray seed = title.toUtf8() + pdfDate(created);
    const quint64 salt = QRandomGenerator::global()->generate64();
    seed.append(reinterpret_cast<const char*>(&salt), sizeof salt);
    id_ = QCryptographicHash::hash(seed, QCryptographicHash::Md5).toHex().toUpper();
}

int PdfWriter::reserveObject() {
    offsets_.push_back(-1);
    return int(offsets_.size()) - 1;
}

void PdfWriter::beginObject(int number) {
    offsets_[size_t(number)] = flushed_ + buffer_.size();
    pdf::appendInt(buffer_, number);
    buffer_.append(" 0 obj\n");
}

void PdfWriter::writeObject(int number, const QByteArray& body) {
    beginObject(number);
    buffer_.append(body);
    buffer_.append("\nendobj\n");
    flush(false);
}

void PdfWriter::writeStream(int number, const QByteArray& dictionary, QByteArrayView data, bool compress) {
    // A few bytes gain nothing from compression.
    if (data.size() < 256)
        compress = false;
    if (compress && !deflater_->pack(data, packed_))
        compress = false;
    const QByteArrayView body = compress ? QByteArrayView(packed_) : data;
    beginObject(number);
    buffer_.append("<< /Length ");
    pdf::appendInt(buffer_, body.size());
    if (compress)
        buffer_.append(" /Filter /FlateDecode");
    if (!dictionary.isEmpty()) {
        buffer_.append(' ');
        buffer_.append(dictionary);
    }
    buffer_.append(" >>\nstream\n");
    buffer_.append(body);
    buffer_.append("\nendstream\nendobj\n");
    flush(false);
}

void PdfWriter::addPage(const QSizeF& size, QByteArrayView content, const QByteArray& xobjects) {
    const int contentObject = reserveObject();
    writeStream(contentObject, QByteArray(), content, true);
    const int page = reserveObject();
    QByteArray dict = "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 ";
    pdf::appendReal(dict, size.width());
    dict.append(' ');
    pdf::appendReal(dict, size.height());
    if (xobjects.isEmpty()) {
        dict.append("] /Resources 4 0 R /Contents ");
    } else {
        dict.append("] /Resources << /ProcSet [/PDF /Text /ImageC] /Font 5 0 R /XObject << ");
        dict.append(xobjects);
        dict.append(" >> >> /Contents ");
    }
    pdf::appendInt(dict, contentObject);
    dict.append(" 0 R >>");
    writeObject(page, dict);
    pages_.push_back(page);
}

void PdfWriter::finish(const QByteArray& fonts, const QByteArray& images) {
    writeObject(kFonts, fonts);
    QByteArray resources = "<< /ProcSet [/PDF /Text /ImageC] /Font 5 0 R";
    if (!images.isEmpty())
        resources.append(" /XObject " + images);
    writeObject(kResources, resources + " >>");
    QByteArray tree = "<< /Type /Pages /Count ";
    pdf::appendInt(tree, qint64(pages_.size()));
    tree.append(" /Kids [");
    for (const int page : pages_) {
        pdf::appendInt(tree, page);
        tree.append(" 0 R ");
        if (tree.size() > kFlushSize) {
            // Written in pieces: a document of a hundred thousand pages has a long list.
            if (offsets_[kPageTree] < 0)
                beginObject(kPageTree);
            buffer_.append(tree);
            tree.clear();
            flush(false);
        }
    }
    tree.append("] >>");
    if (offsets_[kPageTree] < 0)
        beginObject(kPageTree);
    buffer_.append(tree);
    buffer_.append("\nendobj\n");
    writeObject(kCatalog, "<< /Type /Catalog /Pages 2 0 R >>");

    const qint64 xref = flushed_ + buffer_.size();
    buffer_.append("xref\n0 ");
    pdf::appendInt(buffer_, qint64(offsets_.size()));
    buffer_.append("\n0000000000 65535 f \n");
    for (size_t i = 1; i < offsets_.size(); ++i) {
        const QByteArray offset = QByteArray::number(std::max<qint64>(0, offsets_[i]));
        buffer_.append(10 - offset.size(), '0');
        buffer_.append(offset);
        buffer_.append(" 00000 n \n");
        flush(false);
    }
    buffer_.append("trailer\n<< /Size ");
    pdf::appendInt(buffer_, qint64(offsets_.size()));
    buffer_.append(" /Root 1 0 R /Info 3 0 R /ID [<" + id_ + "> <" + id_ + ">] >>\nstartxref\n");
    pdf::appendInt(buffer_, xref);
    buffer_.append("\n%%EOF\n");
    flush(true);
}

void PdfWriter::flush(bool all) {
    if (buffer_.size() < kFlushSize && !all)
        return;
    if (!failed_ && device_->write(buffer_) != buffer_.size())
        failed_ = true;
    flushed_ += buffer_.size();
    buffer_.resize(0); // keeps the buffer's memory for the next page
}

} // namespace zendrik
