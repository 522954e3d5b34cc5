#include "pdf/pdfwriter.h"

#include <QCryptographicHash>
#include <QRandomGenerator>

#include <algorithm>
#include <charconv>
#include <cmath>

#include <zlib.h>

namespace zendrik {

namespace pdf {

void appendInt(QByteArray& out, long long value) {
    char buf[24];
    const auto r = std::to_chars(buf, buf + sizeof buf, value);
    out.append(buf, r.ptr - buf);
}

void appendReal(QByteArray& out, double value) {
    const double thousandths = std::round(value * 1000);
    if (!std::isfinite(thousandths)) {
        out.append('0');
        return;
    }
    const long long whole = static_cast<long long>(thousandths);
    if (whole % 1000 == 0) {
        appendInt(out, whole / 1000);
        return;
    }
    if (whole < 0)
        out.append('-');
    const long long magnitude = whole < 0 ? -whole : whole;
    appendInt(out, magnitude / 1000);
    out.append('.');
    long long fraction = magnitude % 1000;
    int digits = 3;
    while (fraction % 10 == 0) {
        fraction /= 10;
        --digits;
    }
    char buf[4];
    for (int i = digits - 1; i >= 0; --i) {
        buf[i] = char('0' + fraction % 10);
        fraction /= 10;
    }
    out.append(buf, digits);
}

void appendReals(QByteArray& out, std::initializer_list<double> values) {
    bool first = true;
    for (const double v : values) {
        if (!first)
            out.append(' ');
        appendReal(out, v);
        first = false;
    }
}

void appendHex4(QByteArray& out, unsigned value) {
    static const char digits[] = "0123456789ABCDEF";
    const char buf[4] = {digits[(value >> 12) & 15], digits[(value >> 8) & 15], digits[(value >> 4) & 15],
                         digits[value & 15]};
    out.append(buf, 4);
}

void appendTextString(QByteArray& out, const QString& text) {
    out.append("<FEFF");
    for (const QChar c : text)
        appendHex4(out, c.unicode());
    out.append('>');
}

} // namespace pdf

namespace {
constexpr qsizetype kFlushSize = 1 << 18;
constexpr int kCatalog = 1;
constexpr int kPageTree = 2;
constexpr int kInfo = 3;
constexpr int kResources = 4;

QByteArray pdfDate(const QDateTime& t) {
    const int offset = t.offsetFromUtc();
    const int minutes = std::abs(offset) / 60;
    return t.toString(QStringLiteral("'D:'yyyyMMddHHmmss")).toLatin1() + (offset < 0 ? '-' : '+') +
           QByteArray::number(minutes / 60).rightJustified(2, '0') + '\'' +
           QByteArray::number(minutes % 60).rightJustified(2, '0') + '\'';
}
} // namespace

PdfWriter::PdfWriter(QIODevice* device) : device_(device) {}

void PdfWriter::start(const QString& title, const QString& creator, const QDateTime& created) {
    buffer_.reserve(kFlushSize * 2);
    // The binary comment tells transfer programs that the file is not text.
    buffer_.append("%PDF-1.4\n%\xE2\xE3\xCF\xD3\n");
    offsets_.assign(kResources + 1, -1);
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

void PdfWriter::writeStream(int number, const QByteArray& dictionary, const QByteArray& data, bool compress) {
    QByteArray packed;
    if (compress) {
        uLongf size = compressBound(uLong(data.size()));
        packed.resize(qsizetype(size));
        // Level 1: text pages compress nearly as well as at the default level, several times faster.
        if (compress2(reinterpret_cast<Bytef*>(packed.data()), &size, reinterpret_cast<const Bytef*>(data.constData()),
                      uLong(data.size()), Z_BEST_SPEED) == Z_OK) {
            packed.resize(qsizetype(size));
        } else {
            compress = false;
        }
    }
    const QByteArray& body = compress ? packed : data;
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

void PdfWriter::addPage(const QSizeF& size, const QByteArray& content) {
    const int contentObject = reserveObject();
    writeStream(contentObject, QByteArray(), content, true);
    const int page = reserveObject();
    QByteArray dict = "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 ";
    pdf::appendReal(dict, size.width());
    dict.append(' ');
    pdf::appendReal(dict, size.height());
    dict.append("] /Resources 4 0 R /Contents ");
    pdf::appendInt(dict, contentObject);
    dict.append(" 0 R >>");
    writeObject(page, dict);
    pages_.push_back(page);
}

void PdfWriter::finish(const QByteArray& resources) {
    writeObject(kResources, resources);
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
