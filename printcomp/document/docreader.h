#pragma once
// The document body, delivered piece by piece so that memory stays bounded whatever the size of
// the text: a piece is a whole paragraph (one line of the text) or, for a very long paragraph, a
// part of it.

#include "base/failure.h"

#include <QString>

#include <deque>
#include <optional>
#include <stop_token>

namespace zendrik {

class BodySource {
public:
    static constexpr qsizetype kMaxPieceLength = 32768;

    // Where the next piece starts: characters of the text (line breaks included) before it, and
    // where the source can read on from without the text before (a restart point at or before it).
    struct Position {
        qint64 offset = 0;
        bool afterCarriageReturn = false; // a line feed next is the end of the line before
        qint64 restartOffset = 0;
        qint64 restartPoint = -1; // none: the text before is read again
        friend bool operator==(const Position& a, const Position& b) {
            return a.offset == b.offset && a.afterCarriageReturn == b.afterCarriageReturn;
        }
    };

    virtual ~BodySource() = default;
    // The next piece; paragraphEnds is false when the paragraph continues in the next piece.
    // Returns false at the end of the body or on failure (failure() then says why).
    bool next(QString& piece, bool& paragraphEnds);
    const std::optional<Failure>& failure() const { return failure_; }

    Position position() const;
    // Reads on to `to`, a position a source of the same text gave, dropping the text before it:
    // the pieces from there are those that source read from there. False when `to` lies behind
    // or past the end, or reading fails (failure() then says why).
    bool skipTo(const Position& to);

protected:
    // Appends more text to buffer; returns false at the end or on failure (setting failure_).
    virtual bool fill(QString& buffer) = 0;
    // Where the next fill() starts reading, in the source's own terms; -1 when it cannot start
    // there again.
    virtual qint64 restartPoint() const { return -1; }
    // Makes the next fill() read from a restart point this source gave; false on failure.
    virtual bool restartAt(qint64 point) {
        Q_UNUSED(point);
        return false;
    }
    // The next call of next() returns this piece again.
    void pushBack(const QString& piece, bool paragraphEnds);
    std::optional<Failure> failure_;

private:
    bool refill();

    struct Restart {
        qint64 offset;
        qint64 point;
    };
    // The last few, enough to hold every position of the text in the buffer.
    std::deque<Restart> restarts_;
    QString pushedBack_;
    bool pushedBackEnds_ = false;
    bool hasPushedBack_ = false;
    Position pushedBackAt_;
    Position lastPieceAt_;
    QString buffer_;
    qint64 bufferStart_ = 0; // offset of buffer_[0] in the text
    qsizetype pos_ = 0;
    bool atEnd_ = false;
    bool skipLineFeed_ = false;
};

// A body held in memory (DocText). Line breaks may be CR LF, LF or CR.
class StringBodySource : public BodySource {
public:
    explicit StringBodySource(QString text) : text_(std::move(text)) {}

protected:
    bool fill(QString& buffer) override;

private:
    QString text_;
    bool given_ = false;
};

// Title, header and footer that a whole-document file marks.
struct DocumentParts {
    QString title;
    QString header;
    QString footer;
};

// Reads a text file as a stream. Encodings: UTF-8 (with or without BOM; bytes that are not valid
// UTF-8 read as Windows-1252) and UTF-16 LE or BE (with a BOM, or recognised by its zero bytes).
// A file with NUL bytes that is not plausibly UTF-16 is refused as binary. A regular file that
// changes while it is read (truncated, appended to, rewritten) fails when reading ends.
class DocumentReader : public BodySource {
public:
    enum class Encoding { Utf8, Utf16LE, Utf16BE };

    // What a regular file's content is known by: a reader of the same stamp reads the same text.
    struct Stamp {
        quint64 device = 0;
        quint64 inode = 0;
        qint64 size = 0;
        qint64 modifiedNs = 0;
        qint64 start = 0; // where reading starts (a descriptor may stand past the file's start)
        friend bool operator==(const Stamp&, const Stamp&) = default;
    };

    DocumentReader() = default;
    ~DocumentReader() override;
    DocumentReader(const DocumentReader&) = delete;
    DocumentReader& operator=(const DocumentReader&) = delete;

    // Opens the document and recognises its encoding. A path must name a regular file, except a
    // path that names a descriptor of this process ("/dev/stdin", see processDescriptor), which is
    // read from where it stands, whatever it is (a pipe too). Waiting for a pipe ends with a
    // Cancelled failure once `stop` is requested. A failure names the file and the system's reason.
    Status open(const QString& path, std::stop_token stop = {});
    Encoding encoding() const { return encoding_; }
    // A regular file's stamp; none for a pipe or a device, which cannot be read a second time.
    const std::optional<Stamp>& stamp() const { return stamp_; }
    // Names the document as messages do: "the document file "PATH"", or "standard input".
    QString describe() const;

    // Reads the leading mark lines ("@title ...", "@header ...", "@footer ...", an optional
    // "@body"); the body follows them. A file without marks is all body.
    Result<DocumentParts> readMarks();

protected:
    bool fill(QString& buffer) override;
    qint64 restartPoint() const override;
    bool restartAt(qint64 point) override;

private:
    bool readBlock(QByteArray& block);
    // Waits until the descriptor has data (or its end); false once `stop_` is requested.
    bool waitReadable();
    bool unchangedAtEnd();
    void decode(const QByteArray& bytes, bool final, QString& out);
    // Records why the file cannot be read, naming it; returns the failure.
    Failure fail(const QString& reason);

    int fd_ = -1;
    QString path_;
    bool standardInput_ = false;
    std::optional<Stamp> stamp_;
    qint64 offset_ = 0;
    std::stop_token stop_;
    Encoding encoding_ = Encoding::Utf8;
    QByteArray pendingBytes_; // an incomplete sequence at the end of the last block
    QByteArray firstBlock_;
    bool firstBlockPending_ = false;
    qint64 firstBlockStart_ = 0; // after the byte order mark
    bool eof_ = false;
};

// Decodes bytes as UTF-8, reading each byte that is not part of a valid sequence as
// Windows-1252. Without `final`, an incomplete sequence at the end is left unconsumed; returns the
// number of bytes consumed.
qsizetype decodeUtf8Lenient(const char* data, qsizetype size, bool final, QString& out);

} // namespace zendrik
