#include "document/docreader.h"

#include <QDir>
#include <QFileInfo>

#include <array>
#include <cerrno>
#include <cstring>
#include <system_error>

namespace zendrik {

namespace {

constexpr qsizetype kBlockSize = 65536;

// Windows-1252 0x80..0x9F; the five undefined bytes map to the C1 controls, as Windows does.
constexpr std::array<char16_t, 32> kCp1252High{
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

char16_t cp1252(unsigned char byte) {
    if (byte >= 0x80 && byte < 0xA0)
        return kCp1252High[byte - 0x80];
    return byte;
}

bool isContinuation(unsigned char b) {
    return (b & 0xC0) == 0x80;
}

// Length of the valid UTF-8 sequence starting at data[0]: 0 = invalid, -1 = incomplete (valid so
// far but cut off by the end of the data).
int utf8SequenceLength(const unsigned char* data, qsizetype available) {
    const unsigned char lead = data[0];
    int length = 0;
    unsigned char min2 = 0x80;
    unsigned char max2 = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0)
            min2 = 0xA0;
        else if (lead == 0xED)
            max2 = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            min2 = 0x90;
        else if (lead == 0xF4)
            max2 = 0x8F;
    } else {
        return 0;
    }
    for (int i = 1; i < length; ++i) {
        if (i >= available)
            return -1;
        const unsigned char b = data[i];
        if (i == 1 ? (b < min2 || b > max2) : !isContinuation(b))
            return 0;
    }
    return length;
}

QString binaryFile() {
    return QStringLiteral("it is a binary file (it contains NUL bytes)");
}

QString systemReason(int errorNumber) {
    return QString::fromStdString(std::generic_category().message(errorNumber));
}

} // namespace

qsizetype decodeUtf8Lenient(const char* data, qsizetype size, bool final, QString& out) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(data);
    out.reserve(out.size() + size);
    qsizetype i = 0;
    while (i < size) {
        const unsigned char b = bytes[i];
        if (b < 0x80) {
            out.append(QChar(b));
            ++i;
            continue;
        }
        const int length = utf8SequenceLength(bytes + i, size - i);
        if (length < 0 && !final)
            break;
        if (length <= 0) {
            out.append(QChar(cp1252(b)));
            ++i;
            continue;
        }
        char32_t cp = 0;
        if (length == 2)
            cp = b & 0x1F;
        else if (length == 3)
            cp = b & 0x0F;
        else
            cp = b & 0x07;
        for (int k = 1; k < length; ++k)
            cp = (cp << 6) | (bytes[i + k] & 0x3F);
        if (cp >= 0x10000) {
            out.append(QChar(QChar::highSurrogate(cp)));
            out.append(QChar(QChar::lowSurrogate(cp)));
        } else {
            out.append(QChar(static_cast<char16_t>(cp)));
        }
        i += length;
    }
    return i;
}

bool BodySource::next(QString& piece, bool& paragraphEnds) {
    if (hasPushedBack_) {
        hasPushedBack_ = false;
        piece = std::move(pushedBack_);
        paragraphEnds = pushedBackEnds_;
        return true;
    }
    lastPieceAt_ = position();
    for (;;) {
        if (skipLineFeed_ && pos_ < buffer_.size()) {
            if (buffer_.at(pos_) == u'\n')
                ++pos_;
            skipLineFeed_ = false;
        }
        const qsizetype limit = std::min(buffer_.size(), pos_ + kMaxPieceLength + 1);
        const QChar* chars = buffer_.constData();
        for (qsizetype i = pos_; i < limit; ++i) {
            const char16_t c = chars[i].unicode();
            if (c == u'\n' || c == u'\r') {
                piece = buffer_.mid(pos_, i - pos_);
                paragraphEnds = true;
                skipLineFeed_ = c == u'\r';
                pos_ = i + 1;
                return true;
            }
        }
        // Strictly more than a piece: a paragraph that ends exactly at a piece's length must still
        // end in its last piece, even at the end of the file.
        if (buffer_.size() - pos_ > kMaxPieceLength) {
            qsizetype length = kMaxPieceLength;
            if (chars[pos_ + length - 1].isHighSurrogate())
                --length;
            piece = buffer_.mid(pos_, length);
            paragraphEnds = false;
            pos_ += length;
            return true;
        }
        if (atEnd_) {
            if (pos_ >= buffer_.size())
                return false;
            piece = buffer_.mid(pos_);
            paragraphEnds = true;
            pos_ = buffer_.size();
            return true;
        }
        buffer_.remove(0, pos_);
        bufferStart_ += pos_;
        pos_ = 0;
        if (!refill())
            atEnd_ = true;
        if (failure_)
            return false;
    }
}

bool BodySource::refill() {
    if (const qint64 point = restartPoint(); point >= 0) {
        // A piece starts at most a piece's length before the end of the buffer, and every fill
        // brings two thirds of a piece or more: four restarts reach back far enough.
        restarts_.push_back(Restart{bufferStart_ + buffer_.size(), point});
        if (restarts_.size() > 4)
            restarts_.pop_front();
    }
    return fill(buffer_);
}

BodySource::Position BodySource::position() const {
    if (hasPushedBack_)
        return pushedBackAt_;
    Position at{bufferStart_ + pos_, skipLineFeed_};
    for (auto it = restarts_.rbegin(); it != restarts_.rend(); ++it) {
        if (it->offset <= at.offset) {
            at.restartOffset = it->offset;
            at.restartPoint = it->point;
            break;
        }
    }
    return at;
}

bool BodySource::skipTo(const Position& to) {
    if (to == position())
        return true;
    hasPushedBack_ = false;
    if (failure_ || to.offset < bufferStart_ + pos_)
        return false;
    if (to.restartPoint >= 0 && to.restartOffset > bufferStart_ + buffer_.size()) {
        // Far ahead: read on from the restart point rather than through the text before it.
        if (!restartAt(to.restartPoint))
            return false;
        bufferStart_ = to.restartOffset;
        buffer_.clear();
        pos_ = 0;
        atEnd_ = false;
        restarts_.clear();
    }
    while (to.offset > bufferStart_ + buffer_.size()) {
        if (atEnd_)
            return false;
        bufferStart_ += buffer_.size();
        buffer_.clear();
        pos_ = 0;
        if (!refill())
            atEnd_ = true;
        if (failure_)
            return false;
    }
    pos_ = qsizetype(to.offset - bufferStart_);
    skipLineFeed_ = to.afterCarriageReturn;
    return true;
}

void BodySource::pushBack(const QString& piece, bool paragraphEnds) {
    pushedBack_ = piece;
    pushedBackEnds_ = paragraphEnds;
    pushedBackAt_ = lastPieceAt_;
    hasPushedBack_ = true;
}

bool StringBodySource::fill(QString& buffer) {
    if (!given_) {
        given_ = true;
        buffer.append(text_);
        text_.clear();
    }
    return false;
}

Failure DocumentReader::fail(const QString& reason) {
    failure_ = Failure{
        ErrorCode::DocumentUnreadable,
        QStringLiteral("Cannot read the document file \"%1\": %2").arg(QDir::toNativeSeparators(path_), reason)};
    return *failure_;
}

Status DocumentReader::open(const QString& path) {
    path_ = path;
    const QFileInfo info(path);
    if (info.isDir())
        return fail(systemReason(EISDIR));
    // Opening a FIFO waits for a writer that may never come, and a device may never end.
    if (info.exists() && !info.isFile())
        return fail(QStringLiteral("it is not a regular file (a pipe, a socket or a device)"));
    file_.setFileName(path);
    if (!file_.open(QIODevice::ReadOnly))
        return fail(file_.errorString());
    if (!readBlock(firstBlock_))
        return *failure_;
    firstBlockPending_ = true;

    const auto* b = reinterpret_cast<const unsigned char*>(firstBlock_.constData());
    const qsizetype n = firstBlock_.size();
    if (n >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) {
        encoding_ = Encoding::Utf8;
        firstBlockStart_ = 3;
    } else if (n >= 2 && b[0] == 0xFF && b[1] == 0xFE) {
        encoding_ = Encoding::Utf16LE;
        firstBlockStart_ = 2;
    } else if (n >= 2 && b[0] == 0xFE && b[1] == 0xFF) {
        encoding_ = Encoding::Utf16BE;
        firstBlockStart_ = 2;
    } else {
        // Without a BOM, UTF-16 shows as zero bytes on one side of its code units only (the high
        // byte of every Latin character).
        qsizetype zerosEven = 0;
        qsizetype zerosOdd = 0;
        for (qsizetype i = 0; i < n; ++i) {
            if (b[i] == 0)
                ++(i % 2 == 0 ? zerosEven : zerosOdd);
        }
        const qsizetype units = n / 2;
        const qsizetype needed = std::max<qsizetype>(1, units / 8);
        if (zerosEven == 0 && zerosOdd >= needed)
            encoding_ = Encoding::Utf16LE;
        else if (zerosOdd == 0 && zerosEven >= needed)
            encoding_ = Encoding::Utf16BE;
        else
            encoding_ = Encoding::Utf8;
    }
    firstBlock_.remove(0, firstBlockStart_);
    if (encoding_ == Encoding::Utf8 && firstBlock_.contains('\0'))
        return fail(binaryFile());
    return {};
}

bool DocumentReader::readBlock(QByteArray& block) {
    block.resize(kBlockSize);
    const qint64 n = file_.read(block.data(), kBlockSize);
    if (n < 0) {
        fail(file_.errorString());
        block.clear();
        return false;
    }
    block.resize(n);
    return true;
}

void DocumentReader::decode(const QByteArray& bytes, bool final, QString& out) {
    QByteArray data = pendingBytes_.isEmpty() ? bytes : pendingBytes_ + bytes;
    pendingBytes_.clear();
    if (encoding_ == Encoding::Utf8) {
        const qsizetype used = decodeUtf8Lenient(data.constData(), data.size(), final, out);
        pendingBytes_ = data.mid(used);
        return;
    }
    const auto* b = reinterpret_cast<const unsigned char*>(data.constData());
    const qsizetype units = data.size() / 2;
    const qsizetype start = out.size();
    out.resize(start + units);
    QChar* dst = out.data() + start;
    const bool le = encoding_ == Encoding::Utf16LE;
    for (qsizetype i = 0; i < units; ++i) {
        const unsigned lo = b[2 * i + (le ? 0 : 1)];
        const unsigned hi = b[2 * i + (le ? 1 : 0)];
        dst[i] = QChar(static_cast<char16_t>((hi << 8) | lo));
    }
    if (data.size() % 2 != 0) {
        if (final)
            out.append(QChar::ReplacementCharacter);
        else
            pendingBytes_ = data.right(1);
    }
}

qint64 DocumentReader::restartPoint() const {
    if (eof_)
        return -1;
    // The next byte to decode: an incomplete sequence left over is decoded again from its start.
    return firstBlockPending_ ? firstBlockStart_ : file_.pos() - pendingBytes_.size();
}

bool DocumentReader::restartAt(qint64 point) {
    firstBlock_.clear();
    firstBlockPending_ = false;
    pendingBytes_.clear();
    eof_ = false;
    if (!file_.seek(point)) {
        fail(file_.errorString());
        return false;
    }
    return true;
}

bool DocumentReader::fill(QString& buffer) {
    if (eof_)
        return false;
    QByteArray block;
    if (firstBlockPending_) {
        block = std::move(firstBlock_);
        firstBlock_.clear();
        firstBlockPending_ = false;
    } else if (!readBlock(block)) {
        return false;
    }
    if (block.isEmpty()) {
        eof_ = true;
        decode(QByteArray(), true, buffer);
        return false;
    }
    if (encoding_ == Encoding::Utf8 && block.contains('\0')) {
        fail(binaryFile());
        return false;
    }
    decode(block, false, buffer);
    return true;
}

Result<DocumentParts> DocumentReader::readMarks() {
    DocumentParts parts;
    static const std::array<QLatin1StringView, 4> kMarks{QLatin1StringView("@title"), QLatin1StringView("@header"),
                                                         QLatin1StringView("@footer"), QLatin1StringView("@body")};
    QString piece;
    bool ends = true;
    while (next(piece, ends)) {
        int found = -1;
        for (size_t k = 0; k < kMarks.size(); ++k) {
            const auto mark = kMarks[k];
            if (piece.startsWith(mark) &&
                (piece.size() == mark.size() || piece.at(mark.size()) == u' ' || piece.at(mark.size()) == u'\t')) {
                found = static_cast<int>(k);
                break;
            }
        }
        if (found < 0) {
            pushBack(piece, ends);
            return parts;
        }
        const QString value = piece.mid(kMarks[static_cast<size_t>(found)].size() + 1);
        // The rest of an overlong mark line is dropped.
        QString rest;
        while (!ends && next(rest, ends)) {
        }
        if (failure_)
            return *failure_;
        if (found == 3)
            return parts;
        QString& target = found == 0 ? parts.title : found == 1 ? parts.header : parts.footer;
        if (!target.isEmpty())
            target.append(u'\n');
        target.append(value);
    }
    if (failure_)
        return *failure_;
    return parts;
}

} // namespace zendrik
