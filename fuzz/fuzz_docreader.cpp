// Data-file reader fuzzer: any bytes as a file, read as a body and as a whole document, every piece
// consumed and compared with a decoding of the whole file at once; and the lenient UTF-8 decoder on
// its own, whole and split at any point.

#include "document/docreader.h"
#include "fuzzcommon.h"

#include <QByteArray>
#include <QDir>
#include <QFile>

#include <cstdint>
#include <unistd.h>

using namespace zendrik;

namespace {

QString tempPath;

void checkDecoder(const uint8_t* data, size_t size) {
    const auto* bytes = reinterpret_cast<const char*>(data);
    const auto n = static_cast<qsizetype>(size);
    QString whole;
    if (decodeUtf8Lenient(bytes, n, true, whole) != n)
        fuzzcommon::fail("decodeUtf8Lenient final", QStringLiteral("did not consume every byte"));
    for (qsizetype i = 0; i < whole.size(); ++i) {
        const QChar c = whole.at(i);
        const bool pairStart = c.isHighSurrogate() && i + 1 < whole.size() && whole.at(i + 1).isLowSurrogate();
        if (pairStart) {
            ++i;
        } else if (c.isSurrogate()) {
            fuzzcommon::fail("decodeUtf8Lenient", QStringLiteral("lone surrogate at %1").arg(i));
        }
    }
    const QByteArray raw(bytes, n);
    if (QString::fromUtf8(raw).toUtf8() == raw && whole != QString::fromUtf8(raw))
        fuzzcommon::fail("decodeUtf8Lenient", QStringLiteral("valid UTF-8 decoded differently from Qt"));
    // Streaming: split anywhere, the first part not final; the unconsumed tail is carried over.
    const qsizetype split = n == 0 ? 0 : static_cast<qsizetype>(data[0]) % (n + 1);
    QString streamed;
    const qsizetype used = decodeUtf8Lenient(bytes, split, false, streamed);
    if (used < 0 || used > split || split - used > 3)
        fuzzcommon::fail("decodeUtf8Lenient partial", QStringLiteral("consumed %1 of %2").arg(used).arg(split));
    decodeUtf8Lenient(bytes + used, n - used, true, streamed);
    if (streamed != whole)
        fuzzcommon::fail("decodeUtf8Lenient", QStringLiteral("split at %1 decodes differently").arg(split));
}

// The body as the reader must deliver it: the file decoded at once, every line break a "\n" and
// the last line ended.
QString expectedBody(const QByteArray& file, DocumentReader::Encoding encoding) {
    QByteArray bytes = file;
    QString text;
    if (encoding == DocumentReader::Encoding::Utf8) {
        if (bytes.startsWith("\xEF\xBB\xBF"))
            bytes.remove(0, 3);
        decodeUtf8Lenient(bytes.constData(), bytes.size(), true, text);
    } else {
        const bool le = encoding == DocumentReader::Encoding::Utf16LE;
        if (bytes.startsWith(le ? "\xFF\xFE" : "\xFE\xFF"))
            bytes.remove(0, 2);
        const auto* b = reinterpret_cast<const unsigned char*>(bytes.constData());
        for (qsizetype i = 0; i + 1 < bytes.size(); i += 2)
            text.append(QChar(static_cast<char16_t>(le ? b[i] | (b[i + 1] << 8) : (b[i] << 8) | b[i + 1])));
        if (bytes.size() % 2 != 0)
            text.append(QChar::ReplacementCharacter);
    }
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(u'\r', u'\n');
    if (!text.isEmpty() && !text.endsWith(u'\n'))
        text.append(u'\n');
    return text;
}

// Reads every piece; returns the body with "\n" after each paragraph, or a null string on failure.
QString consume(DocumentReader& reader) {
    QString body = QStringLiteral("");
    QString piece;
    bool ends = true;
    while (reader.next(piece, ends)) {
        if (piece.size() > BodySource::kMaxPieceLength || piece.contains(u'\n') || piece.contains(u'\r'))
            fuzzcommon::fail("reader", QStringLiteral("piece of %1 characters with a line break").arg(piece.size()));
        if (!ends && piece.size() < BodySource::kMaxPieceLength - 1)
            fuzzcommon::fail("reader", QStringLiteral("short unfinished piece of %1").arg(piece.size()));
        body += piece;
        if (ends)
            body += u'\n';
    }
    if (!ends && !reader.failure())
        fuzzcommon::fail("reader", QStringLiteral("the body ended inside a paragraph"));
    return !reader.failure() ? body : QString();
}

QString messageOf(const BodySource& source) {
    return source.failure() ? source.failure()->message : QString();
}

void checkFile(const QByteArray& file) {
    {
        QFile out(tempPath);
        if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(file) != file.size())
            fuzzcommon::fail("cannot write", tempPath);
    }
    // The reader decides the encoding and refuses NUL bytes in UTF-8 from its first block of 64 KiB.
    DocumentReader body;
    const bool opened = body.open(tempPath).ok();
    const bool utf8 = body.encoding() == DocumentReader::Encoding::Utf8;
    const bool refusedAtOpen = utf8 && file.left(65536).contains('\0');
    const bool textual = !utf8 || !file.contains('\0');
    if (opened == refusedAtOpen)
        fuzzcommon::fail("reader", QStringLiteral("open gave %1: \"%2\"").arg(opened).arg(messageOf(body)));
    if (opened) {
        const QString got = consume(body);
        if (got.isNull() == textual)
            fuzzcommon::fail("reader", QStringLiteral("error \"%1\" (binary: %2)").arg(messageOf(body)).arg(!textual));
        if (textual && got != expectedBody(file, body.encoding()))
            fuzzcommon::fail("reader", QStringLiteral("the body differs from the file decoded at once"));
    } else if (!body.failure()) {
        fuzzcommon::fail("reader", QStringLiteral("open failed without a reason"));
    }

    DocumentReader whole;
    if (whole.open(tempPath)) {
        const Result<DocumentParts> marked = whole.readMarks();
        if (marked) {
            consume(whole);
            const DocumentParts& parts = marked.value();
            for (const QString* part : {&parts.title, &parts.header, &parts.footer}) {
                if (part->contains(u'\r'))
                    fuzzcommon::fail("marks", QStringLiteral("a part holds a carriage return"));
            }
        }
        if (textual && whole.failure())
            fuzzcommon::fail("marks", messageOf(whole));
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    fuzzcommon::startGuiApplication(argc, argv);
    tempPath = QDir::temp().filePath(QStringLiteral("zendrik-fuzz-reader-%1.txt").arg(getpid()));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    checkDecoder(data, size);
    const QByteArray input(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    checkFile(input);
    // Inputs starting with '~' also run as a long file: the rest repeated to a length near one or
    // two piece lengths, where paragraphs are cut into pieces (a third cut adds nothing new, and
    // these files take nearly all of the target's time).
    if (size >= 3 && data[0] == '~') {
        const qsizetype length = BodySource::kMaxPieceLength * (1 + data[1] % 2) + (data[1] / 2) % 5 - 2;
        const QByteArray unit = input.mid(2);
        QByteArray file;
        while (file.size() < length)
            file += unit;
        file.truncate(length);
        checkFile(file);
    }
    return 0;
}
