#include "pdf/pdfwriter.h"

#include <QCryptographicHash>
#include <QRandomGenerator>
#include <QTemporaryFile>

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

// Where each object begins in the file, by object number. Only the last few blocks of offsets stay
// in memory; older ones go to a temporary file and come back when an object of theirs is written
// late or the cross-reference table is written, so that memory does not grow with the page count.
// Without a temporary file every block stays in memory.
class PdfWriter::Offsets {
public:
    int size() const { return size_; }
    int add() {
        if (size_ % kBlock == 0) {
            blocks_.emplace_back();
            Block& block = blocks_.back();
            block.offsets.reset(new qint64[kBlock]);
            std::fill_n(block.offsets.get(), kBlock, -1);
            resident_.push_back(int(blocks_.size()) - 1);
            evict();
        }
        return size_++;
    }
    void set(int number, qint64 offset) {
        if (qint64* block = load(number / kBlock))
            block[number % kBlock] = offset;
        else
            lost_ = true;
    }
    // Calls f with every object's offset in number order (-1: reserved, never written); false when
    // a block could not be read back.
    template <typename F> bool forEach(F f) {
        if (lost_)
            return false;
        for (int b = 0; b < int(blocks_.size()); ++b) {
            const qint64* block = load(b);
            if (!block)
                return false;
            for (int i = 0; i < kBlock && b * kBlock + i < size_; ++i)
                f(block[i]);
        }
        return true;
    }

private:
    static constexpr int kBlock = 1 << 13;
    static constexpr qint64 kBlockBytes = qint64(kBlock) * qint64(sizeof(qint64));
    static constexpr size_t kResident = 4;
    struct Block {
        std::unique_ptr<qint64[]> offsets; // null while in the file
    };

    qint64* load(int b) {
        Block& block = blocks_[size_t(b)];
        if (!block.offsets) {
            block.offsets.reset(new qint64[kBlock]);
            if (!spill_.seek(b * kBlockBytes) ||
                spill_.read(reinterpret_cast<char*>(block.offsets.get()), kBlockBytes) != kBlockBytes) {
                block.offsets.reset();
                return nullptr;
            }
            resident_.push_back(b);
            evict();
        } else if (resident_.back() != b) {
            resident_.erase(std::find(resident_.begin(), resident_.end(), b));
            resident_.push_back(b);
        }
        return block.offsets.get();
    }
    // Writes the least recently used blocks out while more than a few are in memory.
    void evict() {
        if (resident_.size() <= kResident || noSpill_)
            return;
        if (!spill_.isOpen() && !spill_.open()) {
            noSpill_ = true;
            return;
        }
        const int b = resident_.front();
        Block& block = blocks_[size_t(b)];
        if (!spill_.seek(b * kBlockBytes) ||
            spill_.write(reinterpret_cast<const char*>(block.offsets.get()), kBlockBytes) != kBlockBytes) {
            noSpill_ = true;
            return;
        }
        block.offsets.reset();
        resident_.erase(resident_.begin());
    }

    std::vector<Block> blocks_;
    std::vector<int> resident_; // blocks in memory, the least recently used first
    int size_ = 0;
    QTemporaryFile spill_;
    bool noSpill_ = false;
    bool lost_ = false; // an offset could not be kept: the table would be wrong
};

PdfWriter::PdfWriter(QIODevice* device)
    : device_(device), deflater_(std::make_unique<Deflater>()), offsets_(std::make_unique<Offsets>()) {}

PdfWriter::~PdfWriter() = default;

void PdfWriter::start(const QString& title, const QString& creator, const QDateTime& created) {
    buffer_.reserve(kFlushSize * 2);
    // The binary comment tells transfer programs that the file is not text.
    buffer_.append("%PDF-1.4\n%\xE2\xE3\xCF\xD3\n");
    for (int i = 0; i <= kFonts; ++i)
        offsets_->add();
    offsets_->set(0, 0);
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
    return offsets_->add();
}

void PdfWriter::beginObject(int number) {
    offsets_->set(number, flushed_ + buffer_.size());
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

void PdfWriter::addPage(const QSizeF& size, QByteArrayView content, const QByteArray& xobjects, int numberForm) {
    const int contentObject = reserveObject();
    const int page = reserveObject();
    const int form = numberForm > 0 ? reserveObject() : 0;
    writeStream(contentObject, QByteArray(), content, true);
    QByteArray dict = "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 ";
    pdf::appendReal(dict, size.width());
    dict.append(' ');
    pdf::appendReal(dict, size.height());
    if (xobjects.isEmpty() && form == 0) {
        dict.append("] /Resources 4 0 R /Contents ");
    } else {
        dict.append("] /Resources << /ProcSet [/PDF /Text /ImageC] /Font 5 0 R /XObject << ");
        dict.append(xobjects);
        if (form > 0) {
            dict.append(xobjects.isEmpty() ? "/PN " : " /PN ");
            pdf::appendInt(dict, form);
            dict.append(" 0 R");
        }
        dict.append(" >> >> /Contents ");
    }
    pdf::appendInt(dict, contentObject);
    dict.append(" 0 R >>");
    writeObject(page, dict);

    PageRun* run = pageRuns_.empty() ? nullptr : &pageRuns_.back();
    const bool continues = run && run->forms == (form > 0) &&
                           contentObject == run->firstObject + run->count * run->stride() &&
                           (form == 0 || numberForm == run->firstNumber + run->count);
    if (continues)
        ++run->count;
    else
        pageRuns_.push_back(PageRun{contentObject, 1, numberForm, form > 0});
    ++pageCount_;
}

bool PdfWriter::writePageForms(const std::function<bool(int number, int object)>& write) const {
    for (const PageRun& run : pageRuns_) {
        for (int i = 0; run.forms && i < run.count; ++i) {
            if (!write(run.firstNumber + i, run.formObject(i)))
                return false;
        }
    }
    return true;
}

void PdfWriter::finish(const QByteArray& fonts, const QByteArray& images) {
    writeObject(kFonts, fonts);
    QByteArray resources = "<< /ProcSet [/PDF /Text /ImageC] /Font 5 0 R";
    if (!images.isEmpty())
        resources.append(" /XObject " + images);
    writeObject(kResources, resources + " >>");
    QByteArray tree = "<< /Type /Pages /Count ";
    pdf::appendInt(tree, pageCount_);
    tree.append(" /Kids [");
    bool begun = false;
    for (const PageRun& run : pageRuns_) {
        for (int i = 0; i < run.count; ++i) {
            pdf::appendInt(tree, run.pageObject(i));
            tree.append(" 0 R ");
            if (tree.size() > kFlushSize) {
                // Written in pieces: a document of a hundred thousand pages has a long list.
                if (!begun)
                    beginObject(kPageTree);
                begun = true;
                buffer_.append(tree);
                tree.clear();
                flush(false);
            }
        }
    }
    tree.append("] >>");
    if (!begun)
        beginObject(kPageTree);
    buffer_.append(tree);
    buffer_.append("\nendobj\n");
    writeObject(kCatalog, "<< /Type /Catalog /Pages 2 0 R >>");

    const qint64 xref = flushed_ + buffer_.size();
    buffer_.append("xref\n0 ");
    pdf::appendInt(buffer_, offsets_->size());
    buffer_.append("\n");
    bool first = true;
    const bool complete = offsets_->forEach([&](qint64 at) {
        if (first) {
            buffer_.append("0000000000 65535 f \n");
            first = false;
            return;
        }
        const QByteArray offset = QByteArray::number(std::max<qint64>(0, at));
        buffer_.append(10 - offset.size(), '0');
        buffer_.append(offset);
        buffer_.append(" 00000 n \n");
        flush(false);
    });
    if (!complete)
        failed_ = true;
    buffer_.append("trailer\n<< /Size ");
    pdf::appendInt(buffer_, offsets_->size());
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
