// The data-file reader: encodings, line breaks, marks and every way a file can be unreadable.

#include "document/docreader.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace zendrik;

namespace {

QString failureOf(const BodySource& source) {
    return source.failure() ? source.failure()->message : QString();
}

struct Paragraph {
    QString text;
    int pieces = 0;
};

QList<Paragraph> readAll(BodySource& source) {
    QList<Paragraph> result;
    QString piece;
    bool ends = true;
    bool open = false;
    while (source.next(piece, ends)) {
        if (!open)
            result.push_back(Paragraph{});
        result.back().text += piece;
        ++result.back().pieces;
        open = !ends;
    }
    return result;
}

QStringList texts(const QList<Paragraph>& paragraphs) {
    QStringList list;
    for (const auto& p : paragraphs)
        list << p.text;
    return list;
}

} // namespace

class TestDocReader : public QObject {
    Q_OBJECT
private slots:
    void encodings_data();
    void encodings();
    void lineBreaks_data();
    void lineBreaks();
    void longParagraphComesInBoundedPieces();
    void paragraphOfExactlyOnePieceEnds_data();
    void paragraphOfExactlyOnePieceEnds();
    void unreadableFiles_data();
    void unreadableFiles();
    void nulAfterTheFirstBlockIsBinary();
    void fileChangedWhileRead_data();
    void fileChangedWhileRead();
    void descriptorIsReadWhereItStands();
    void waitForAPipeEndsOnCancel();
    void marks_data();
    void marks();
    void lenientUtf8_data();
    void lenientUtf8();
    void readingResumesAtAPosition_data();
    void readingResumesAtAPosition();

private:
    QString write(const QByteArray& bytes);
    QTemporaryDir dir_;
    int counter_ = 0;
};

QString TestDocReader::write(const QByteArray& bytes) {
    const QString path = dir_.filePath(QStringLiteral("f%1.txt").arg(++counter_));
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(path));
    f.write(bytes);
    return path;
}

void TestDocReader::encodings_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("encoding");
    const QString text = QStringLiteral("Grüße €\nשלום");
    const QByteArray utf8 = text.toUtf8();
    auto utf16 = [&](bool le, bool bom) {
        QByteArray out;
        if (bom)
            out += le ? QByteArray("\xFF\xFE", 2) : QByteArray("\xFE\xFF", 2);
        for (QChar c : text) {
            const char lo = static_cast<char>(c.unicode() & 0xFF);
            const char hi = static_cast<char>(c.unicode() >> 8);
            out += le ? QByteArray(1, lo) + QByteArray(1, hi) : QByteArray(1, hi) + QByteArray(1, lo);
        }
        return out;
    };
    using E = DocumentReader::Encoding;
    QTest::newRow("utf-8") << utf8 << int(E::Utf8);
    QTest::newRow("utf-8 bom") << QByteArray("\xEF\xBB\xBF") + utf8 << int(E::Utf8);
    QTest::newRow("utf-16le bom") << utf16(true, true) << int(E::Utf16LE);
    QTest::newRow("utf-16be bom") << utf16(false, true) << int(E::Utf16BE);
    QTest::newRow("utf-16le no bom") << utf16(true, false) << int(E::Utf16LE);
    QTest::newRow("utf-16be no bom") << utf16(false, false) << int(E::Utf16BE);
    // Windows-1252: u-umlaut, sharp s, e-umlaut, euro sign.
    QTest::newRow("windows-1252") << QByteArray("Gr\xFC\xDF\x65 \x80\n\xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D")
                                  << int(E::Utf8);
}

void TestDocReader::encodings() {
    QFETCH(QByteArray, bytes);
    QFETCH(int, encoding);
    DocumentReader reader;
    QVERIFY2(reader.open(write(bytes)), qPrintable(failureOf(reader)));
    QCOMPARE(int(reader.encoding()), encoding);
    QCOMPARE(texts(readAll(reader)), (QStringList{QStringLiteral("Grüße €"), QStringLiteral("שלום")}));
    QVERIFY(!reader.failure());
}

void TestDocReader::lineBreaks_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("paragraphs");
    QTest::newRow("crlf") << QByteArray("a\r\nb\r\n\r\nc") << QStringList{"a", "b", "", "c"};
    QTest::newRow("lf") << QByteArray("a\nb\n\nc\n") << QStringList{"a", "b", "", "c"};
    QTest::newRow("cr") << QByteArray("a\rb\r\rc\r") << QStringList{"a", "b", "", "c"};
    QTest::newRow("mixed") << QByteArray("a\r\n\rb\n\r\nc") << QStringList{"a", "", "b", "", "c"};
    QTest::newRow("empty") << QByteArray() << QStringList{};
    QTest::newRow("only a break") << QByteArray("\r\n") << QStringList{""};
}

void TestDocReader::lineBreaks() {
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, paragraphs);
    DocumentReader reader;
    QVERIFY(reader.open(write(bytes)));
    QCOMPARE(texts(readAll(reader)), paragraphs);

    StringBodySource memory(QString::fromLatin1(bytes));
    QCOMPARE(texts(readAll(memory)), paragraphs);
}

void TestDocReader::longParagraphComesInBoundedPieces() {
    // Several blocks without a break: a CR LF split across a block boundary counts once.
    QByteArray bytes(200000, 'x');
    bytes[65535] = '\r';
    bytes[65536] = '\n';
    bytes += "\r\nend";
    DocumentReader reader;
    QVERIFY(reader.open(write(bytes)));
    QString piece;
    bool ends = false;
    qsizetype total = 0;
    int paragraphs = 0;
    while (reader.next(piece, ends)) {
        QVERIFY(piece.size() <= BodySource::kMaxPieceLength);
        total += piece.size();
        paragraphs += ends ? 1 : 0;
    }
    QCOMPARE(paragraphs, 3);
    QCOMPARE(total, qsizetype(200000 - 2 + 3));
}

void TestDocReader::paragraphOfExactlyOnePieceEnds_data() {
    QTest::addColumn<QByteArray>("tail");
    QTest::newRow("at the end of the file") << QByteArray();
    QTest::newRow("before a break") << QByteArray("\nnext");
}

void TestDocReader::paragraphOfExactlyOnePieceEnds() {
    QFETCH(QByteArray, tail);
    DocumentReader reader;
    QVERIFY(reader.open(write(QByteArray(BodySource::kMaxPieceLength, 'y') + tail)));
    const QList<Paragraph> paragraphs = readAll(reader);
    QCOMPARE(paragraphs.size(), tail.isEmpty() ? 1 : 2);
    QCOMPARE(paragraphs[0].text.size(), BodySource::kMaxPieceLength);
    // The last piece of every paragraph says that it ends the paragraph.
    QString piece;
    bool ends = false;
    DocumentReader again;
    QVERIFY(again.open(write(QByteArray(BodySource::kMaxPieceLength, 'y'))));
    QVERIFY(again.next(piece, ends));
    QVERIFY(ends);
}

void TestDocReader::unreadableFiles_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("reason");
    QTest::newRow("missing") << dir_.filePath("no such file.txt") << "No such file or directory";
    QTest::newRow("directory") << dir_.path() << "Is a directory";
    QTest::newRow("binary") << write(QByteArray("text\0with\0\0\0nul", 16)) << "binary";
    QTest::newRow("one NUL at an odd offset") << write(QByteArray("Hello\0World", 11)) << "binary";
    QTest::newRow("one NUL after a line break") << write(QByteArray("first line\n\0 more", 17)) << "binary";
    QTest::newRow("a FIFO") << [this] {
        const QString fifo = dir_.filePath(QStringLiteral("fifo"));
        ::mkfifo(QFile::encodeName(fifo).constData(), 0600);
        return fifo;
    }() << "not a regular file";
    if (getuid() != 0) {
        const QString locked = write("secret");
        QFile::setPermissions(locked, QFileDevice::Permissions());
        QTest::newRow("no permission") << locked << "Permission denied";
    }
}

void TestDocReader::unreadableFiles() {
    QFETCH(QString, path);
    QFETCH(QString, reason);
    DocumentReader reader;
    QVERIFY(!reader.open(path));
    QVERIFY2(failureOf(reader).contains(QDir::toNativeSeparators(path)), qPrintable(failureOf(reader)));
    QVERIFY2(failureOf(reader).contains(reason), qPrintable(failureOf(reader)));
}

void TestDocReader::nulAfterTheFirstBlockIsBinary() {
    QByteArray bytes(100000, 'a');
    bytes[90000] = '\0';
    DocumentReader reader;
    QVERIFY(reader.open(write(bytes)));
    readAll(reader);
    QVERIFY2(failureOf(reader).contains("binary"), qPrintable(failureOf(reader)));
}

void TestDocReader::fileChangedWhileRead_data() {
    QTest::addColumn<QString>("change");
    QTest::newRow("truncated") << "truncate";
    QTest::newRow("appended to") << "append";
    QTest::newRow("rewritten at the same size") << "rewrite";
}

// Past the first block, so that the change happens between reads.
void TestDocReader::fileChangedWhileRead() {
    QFETCH(QString, change);
    const QByteArray text = QByteArray("a line of the document\n").repeated(20000);
    const QString path = write(text);
    DocumentReader reader;
    QVERIFY(reader.open(path));
    QString piece;
    bool ends = true;
    QVERIFY(reader.next(piece, ends));
    QFile file(path);
    if (change == u"truncate") {
        QVERIFY(file.resize(text.size() / 2));
    } else {
        QVERIFY(file.open(change == u"append" ? QIODevice::Append : QIODevice::ReadWrite));
        QThread::msleep(10); // a time stamp the file system tells apart
        file.write(change == u"append" ? QByteArray("more\n") : QByteArray(text.size(), 'x'));
        file.close();
    }
    readAll(reader);
    QCOMPARE(reader.failure()->code, ErrorCode::DocumentUnreadable);
    QVERIFY2(failureOf(reader).contains(QStringLiteral("changed while it was being printed")) &&
                 failureOf(reader).contains(path),
             qPrintable(failureOf(reader)));
}

// "/dev/fd/N": the descriptor itself, read where it stands (a pipe too, which a path refuses).
void TestDocReader::descriptorIsReadWhereItStands() {
    int ends[2];
    QCOMPARE(::pipe(ends), 0);
    QCOMPARE(::write(ends[1], "first\nsecond\n", 13), 13);
    ::close(ends[1]);
    DocumentReader fromPipe;
    QVERIFY2(fromPipe.open(QStringLiteral("/dev/fd/%1").arg(ends[0])), qPrintable(failureOf(fromPipe)));
    QVERIFY(!fromPipe.stamp());
    QCOMPARE(texts(readAll(fromPipe)), (QStringList{QStringLiteral("first"), QStringLiteral("second")}));
    ::close(ends[0]);

    QFile file(write("skipped\nkept\n"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.seek(8));
    for (int pass = 0; pass < 2; ++pass) {
        DocumentReader fromFile;
        QVERIFY(fromFile.open(QStringLiteral("/proc/self/fd/%1").arg(file.handle())));
        QCOMPARE(texts(readAll(fromFile)), QStringList{QStringLiteral("kept")});
        QVERIFY(!fromFile.failure());
    }
}

void TestDocReader::waitForAPipeEndsOnCancel() {
    int ends[2];
    QCOMPARE(::pipe(ends), 0);
    std::stop_source cancel;
    DocumentReader reader;
    std::jthread canceller([&] {
        QThread::msleep(100);
        cancel.request_stop();
    });
    const Status opened = reader.open(QStringLiteral("/dev/fd/%1").arg(ends[0]), cancel.get_token());
    QVERIFY(!opened);
    QCOMPARE(reader.failure()->code, ErrorCode::Cancelled);
    ::close(ends[0]);
    ::close(ends[1]);
}

void TestDocReader::marks_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("header");
    QTest::addColumn<QString>("footer");
    QTest::addColumn<QStringList>("body");
    QTest::newRow("all marks") << QByteArray("@title T\r\n@header H\r\n@footer F\r\nbody 1\r\nbody 2") << "T"
                               << "H"
                               << "F" << QStringList{"body 1", "body 2"};
    QTest::newRow("explicit body") << QByteArray("@title T\n@body\n@title is body text\n") << "T"
                                   << ""
                                   << "" << QStringList{"@title is body text"};
    QTest::newRow("two header lines") << QByteArray("@header one\n@header two\ntext") << ""
                                      << "one\ntwo"
                                      << "" << QStringList{"text"};
    QTest::newRow("no marks") << QByteArray("plain\n@title later") << ""
                              << ""
                              << "" << QStringList{"plain", "@title later"};
    QTest::newRow("not a mark") << QByteArray("@titles are nice\n") << ""
                                << ""
                                << "" << QStringList{"@titles are nice"};
    QTest::newRow("tab after the mark") << QByteArray("@title\tTabbed\n@footer\tF\nbody") << "Tabbed"
                                        << ""
                                        << "F" << QStringList{"body"};
    QTest::newRow("marks only") << QByteArray("@title Only\n") << "Only"
                                << ""
                                << "" << QStringList{};
}

void TestDocReader::marks() {
    QFETCH(QByteArray, bytes);
    DocumentReader reader;
    QVERIFY(reader.open(write(bytes)));
    const Result<DocumentParts> parts = reader.readMarks();
    QVERIFY(parts);
    QTEST(parts.value().title, "title");
    QTEST(parts.value().header, "header");
    QTEST(parts.value().footer, "footer");
    QTEST(texts(readAll(reader)), "body");
}

void TestDocReader::lenientUtf8_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("valid 4-byte") << QByteArray("\xF0\x9F\x98\x80") << QString::fromUtf8("\xF0\x9F\x98\x80");
    QTest::newRow("lone continuation") << QByteArray("a\x80z") << QStringLiteral("a€z");
    QTest::newRow("overlong") << QByteArray("\xC0\xAF") << QStringLiteral("À¯");
    QTest::newRow("surrogate") << QByteArray("\xED\xA0\x80") << QStringLiteral("í\u00A0€");
    QTest::newRow("truncated at end") << QByteArray("ok\xE2\x82") << QStringLiteral("okâ‚");
    QTest::newRow("smart quotes 1252") << QByteArray("\x93hi\x94") << QStringLiteral("“hi”");
}

void TestDocReader::lenientUtf8() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QString out;
    QCOMPARE(decodeUtf8Lenient(bytes.constData(), bytes.size(), true, out), bytes.size());
    QCOMPARE(out, text);
}

void TestDocReader::readingResumesAtAPosition_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("marks");
    // Paragraphs longer than a piece, line breaks of every kind (a CR LF split by a 64 KiB block
    // boundary among them) and multi-byte characters (one split so too), over several blocks.
    QByteArray text;
    for (int i = 0; i < 3000; ++i)
        text += "Grüße " + QByteArray::number(i) + (i % 3 == 0 ? "\r\n" : i % 3 == 1 ? "\r" : "\n");
    text += QByteArray(70000, 'x') + "\r\n\r\n" + QByteArray(40000, 'y');
    QByteArray split = text;
    split.insert(65535, "\r\n");
    QByteArray utf16("\xFF\xFE", 2);
    for (const QChar c : QString::fromUtf8(text.left(80000)))
        utf16 += QByteArray(1, char(c.unicode() & 0xFF)) + QByteArray(1, char(c.unicode() >> 8));
    QByteArray straddling;
    while (straddling.size() < 65000)
        straddling += "abcdefgh\n";
    straddling += QByteArray(65535 - straddling.size(), 'x') + "€\n" + text;
    QTest::newRow("utf-8") << text << false;
    QTest::newRow("utf-8, a character across blocks") << straddling << false;
    QTest::newRow("utf-8, CR LF across blocks") << split << false;
    QTest::newRow("utf-8 after marks") << QByteArray("@title T\r\n@header H\r\n") + text << true;
    QTest::newRow("utf-16") << utf16 << false;
}

void TestDocReader::readingResumesAtAPosition() {
    QFETCH(QByteArray, bytes);
    QFETCH(bool, marks);
    const QString path = write(bytes);
    const auto open = [&](DocumentReader& reader) { return reader.open(path) && (!marks || reader.readMarks()); };
    DocumentReader first;
    QVERIFY(open(first));
    QList<BodySource::Position> positions;
    QStringList pieces;
    QString piece;
    bool ends = true;
    for (;;) {
        const BodySource::Position at = first.position();
        if (!first.next(piece, ends))
            break;
        positions << at;
        pieces << piece + (ends ? QStringLiteral("|") : QString());
    }
    QVERIFY(pieces.size() > 3000);
    // The first pieces, the last, and the first read on from each restart point.
    QList<qsizetype> starts{0, 1, pieces.size() - 1};
    for (qsizetype i = 1; i < positions.size(); ++i) {
        if (positions[i].restartOffset != positions[i - 1].restartOffset)
            starts << i;
    }
    QVERIFY(starts.size() > 4);
    for (const qsizetype from : starts) {
        DocumentReader again;
        QVERIFY(open(again));
        QVERIFY(again.skipTo(positions[from]));
        QStringList rest;
        while (again.next(piece, ends))
            rest << piece + (ends ? QStringLiteral("|") : QString());
        QCOMPARE(rest, pieces.mid(from));
        QVERIFY(!again.skipTo(positions[from]));
    }
    StringBodySource memory(QStringLiteral("one\r\ntwo\rthree"));
    QVERIFY(memory.next(piece, ends));
    const BodySource::Position second = memory.position();
    StringBodySource skipped(QStringLiteral("one\r\ntwo\rthree"));
    QVERIFY(skipped.skipTo(second));
    QVERIFY(skipped.next(piece, ends));
    QCOMPARE(piece, QStringLiteral("two"));
}

QTEST_GUILESS_MAIN(TestDocReader)
#include "tst_docreader.moc"
