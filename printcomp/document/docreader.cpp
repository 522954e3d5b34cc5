#include "document/docreader.h"

#include "base/descriptor.h"

#include <QDir>
#include <QFile>

#include <array>
#include <cerrno>
#include <cstring>
#include <system_error>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zendrik {

namespace {

constexpr qsizetype kBlockSize = 65536;
// How often a wait for a pipe looks whether the job was cancelled.
constexpr int kWaitSliceMs = 200;

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
    // At most one UTF-16 unit per byte: written in place, then cut to what was written.
    const qsizetype start = out.size();
    out.resize(start + size);
    char16_t* dst = reinterpret_cast<char16_t*>(out.data()) + start;
    char16_t* const begin = dst;
    qsizetype i = 0;
    while (i < size) {
        const unsigned char b = bytes[i];
        if (b < 0x80) {
            *dst++ = b;
            ++i;
            continue;
        }
        const int length = utf8SequenceLength(bytes + i, size - i);
        if (length < 0 && !final)
            break;
        if (length <= 0) {
            *dst++ = cp1252(b);
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
            *dst++ = QChar::highSurrogate(cp);
            *dst++ = QChar::lowSurrogate(cp);
        } else {
            *dst++ = static_cast<char16_t>(cp);
        }
        i += length;
    }
    out.resize(start + (dst - begin));
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

DocumentReader::~DocumentReader() {
    if (fd_ >= 0)
        ::close(fd_);
}

QString DocumentReader::describe() const {
    if (standardInput_)
        return QStringLiteral("standard input");
    return QStringLiteral("the document file \"%1\"").arg(QDir::toNativeSeparators(path_));
}

Failure DocumentReader::fail(const QString& reason) {
    failure_ = Failure{ErrorCode::DocumentUnreadable, QStringLiteral("Cannot read %1: %2").arg(describe(), reason)};
    return *failure_;
}

namespace {

// UTF-16 without a BOM shows as zero high bytes on one side of its code units, the other side
// holding none. A stray NUL in 8-bit text also lands on one side: text is taken as UTF-16 only
// when enough of it is Latin-1 (at least an eighth, the script's spaces and digits) and that part
// looks like text: half of it, or spaces and line breaks (more than one: a stray NUL may follow
// one).
std::optional<DocumentReader::Encoding> utf16WithoutBom(const unsigned char* b, qsizetype n) {
    const qsizetype units = n / 2;
    qsizetype zeros[2] = {0, 0}; // high bytes zero, if little-endian / big-endian
    bool separators[2] = {false, false};
    for (qsizetype i = 0; i < units; ++i) {
        const unsigned char first = b[2 * i];
        const unsigned char second = b[2 * i + 1];
        for (int le = 0; le < 2; ++le) {
            const unsigned char hi = le == 0 ? second : first;
            const unsigned char lo = le == 0 ? first : second;
            if (hi != 0)
                continue;
            ++zeros[le];
            if (lo == ' ' || lo == '\t' || lo == '\n' || lo == '\r')
                separators[le] = true;
        }
    }
    // A NUL low byte counts on the other side: it rules that side out.
    for (int le = 0; le < 2; ++le) {
        const qsizetype other = zeros[1 - le];
        if (other != 0 || zeros[le] < std::max<qsizetype>(1, units / 8))
            continue;
        if (2 * zeros[le] >= units || (separators[le] && zeros[le] >= 2))
            return le == 0 ? DocumentReader::Encoding::Utf16LE : DocumentReader::Encoding::Utf16BE;
    }
    return std::nullopt;
}

} // namespace

Status DocumentReader::open(const QString& path, std::stop_token stop) {
    path_ = path;
    stop_ = std::move(stop);
    if (const std::optional<int> descriptor = processDescriptor(path)) {
        standardInput_ = *descriptor == 0;
        fd_ = duplicateDescriptor(*descriptor);
        if (fd_ < 0)
            return fail(errno == EBADF ? QStringLiteral("it is closed") : systemReason(errno));
    } else {
        // Without O_NONBLOCK, opening a FIFO would wait for a writer that may never come.
        fd_ = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
        if (fd_ < 0)
            return fail(systemReason(errno));
    }
    struct stat info {};
    if (::fstat(fd_, &info) != 0)
        return fail(systemReason(errno));
    if (S_ISDIR(info.st_mode))
        return fail(systemReason(EISDIR));
    if (S_ISREG(info.st_mode)) {
        const off_t start = ::lseek(fd_, 0, SEEK_CUR);
        offset_ = start < 0 ? 0 : start;
        stamp_ = Stamp{quint64(info.st_dev), quint64(info.st_ino), qint64(info.st_size),
                       qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec, offset_};
    } else if (!processDescriptor(path)) {
        // A pipe, a socket or a device may never end.
        return fail(QStringLiteral("it is not a regular file (a pipe, a socket or a device)"));
    }
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
        encoding_ = utf16WithoutBom(b, n).value_or(Encoding::Utf8);
    }
    firstBlock_.remove(0, firstBlockStart_);
    if (encoding_ == Encoding::Utf8 && firstBlock_.contains('\0'))
        return fail(binaryFile());
    return {};
}

bool DocumentReader::waitReadable() {
    pollfd wanted{fd_, POLLIN, 0};
    while (!stop_.stop_requested()) {
        const int ready = ::poll(&wanted, 1, kWaitSliceMs);
        if (ready > 0 || (ready < 0 && errno != EINTR))
            return true; // the read that follows reports any error
    }
    failure_ = cancelledFailure();
    return false;
}

// At the end of a regular file: it must still be the file that was opened, read to its end.
bool DocumentReader::unchangedAtEnd() {
    struct stat info {};
    const bool same = ::fstat(fd_, &info) == 0 && qint64(info.st_size) == stamp_->size &&
                      qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec == stamp_->modifiedNs &&
                      offset_ == stamp_->size;
    if (!same)
        fail(QStringLiteral("it changed while it was being printed"));
    return same;
}

bool DocumentReader::readBlock(QByteArray& block) {
    block.resize(kBlockSize);
    for (;;) {
        if (!stamp_ && !waitReadable()) {
            block.clear();
            return false;
        }
        const ssize_t n = stamp_ ? ::pread(fd_, block.data(), size_t(kBlockSize), offset_)
                                 : ::read(fd_, block.data(), size_t(kBlockSize));
        if (n >= 0) {
            offset_ += n;
            block.resize(n);
            if (n == 0 && stamp_ && !unchangedAtEnd()) {
                block.clear();
                return false;
            }
            return true;
        }
        if (errno == EINTR || errno == EAGAIN)
            continue;
        fail(systemReason(errno));
        block.clear();
        return false;
    }
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
    return firstBlockPending_ ? firstBlockStart_ : offset_ - pendingBytes_.size();
}

bool DocumentReader::restartAt(qint64 point) {
    firstBlock_.clear();
    firstBlockPending_ = false;
    pendingBytes_.clear();
    eof_ = false;
    // Only a regular file is read by position; a pipe cannot go back.
    if (!stamp_ || point < 0) {
        fail(QStringLiteral("it cannot be read again from an earlier point"));
        return false;
    }
    offset_ = point;
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
