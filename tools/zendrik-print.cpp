// Command-line front end of the print component: prints text files, or standard input, as
// documents; every member can be set by name.

#include <zendrik/members.h>
#include <zendrik/zendrik.h>

#include <QBuffer>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImageWriter>
#include <QSocketNotifier>
#include <QTextStream>

#include <cerrno>
#include <csignal>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

enum Exit { Printed = 0, PrintFailed = 1, Usage = 2 };

constexpr int kHelpWidth = 100;

// Whether each standard descriptor was closed when the program started (it is /dev/null now).
bool startedClosed[3] = {false, false, false};

// Nothing the job writes may land on a standard descriptor that diagnostics use: a closed one is
// taken by /dev/null before anything else can be given its number.
void holdStandardDescriptors() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        startedClosed[fd] = true;
        const int opened = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (opened >= 0 && opened != fd) {
            ::dup2(opened, fd);
            ::close(opened);
        }
    }
}

bool isTerminal(int fd) {
    return ::isatty(fd) != 0;
}

// Text for a terminal: control and format characters (escape sequences, bidirectional
// overrides) from file names and titles are shown as escapes, not obeyed.
QString shown(const QString& text, int fd) {
    if (!isTerminal(fd))
        return text;
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x20 || (u >= 0x7F && u < 0xA0))
            out += QStringLiteral("\\x%1").arg(int(u), 2, 16, QLatin1Char('0'));
        else if (c.category() == QChar::Other_Format)
            out += QStringLiteral("\\u%1").arg(int(u), 4, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return out;
}

QTextStream& err() {
    static QTextStream stream(stderr);
    return stream;
}

QTextStream& out() {
    static QTextStream stream(stdout);
    return stream;
}

void complain(const QString& message) {
    err() << "zendrik-print: " << shown(message, STDERR_FILENO) << "\n";
    err().flush();
}

// `text` in lines of at most kHelpWidth columns, each starting with `indent` spaces.
QString wrapped(const QString& text, int indent) {
    QString result;
    QString line(indent, u' ');
    for (const QString& word : text.split(u' ', Qt::SkipEmptyParts)) {
        if (line.size() > indent && line.size() + 1 + word.size() > kHelpWidth) {
            result += line + u'\n';
            line = QString(indent, u' ');
        }
        if (line.size() > indent)
            line += u' ';
        line += word;
    }
    return result + line + u'\n';
}

QString membersHelp() {
    QString text = QStringLiteral("Members (--set Member=Value; codes by number or by name):\n");
    for (const auto& m : zendrik::memberTable()) {
        const QString name = QLatin1String(m.name);
        if (m.kind == zendrik::MemberKind::Put) {
            text += QStringLiteral("  %1\n").arg(name) + wrapped(zendrik::acceptedValues(m), 6);
        } else if (m.type == zendrik::ValueType::Font) {
            text += QStringLiteral("  %1.Name, .Size, .Bold, .Italic, .Underline\n").arg(name);
            text += wrapped(zendrik::acceptedValues(m), 6);
        }
    }
    return text;
}

const char* const kHelpTail =
    "\nWith no FILE, or when FILE is -, standard input is printed (unless --set gives DocText or\n"
    "DocFile, which then print as set). Each FILE is one document.\n"
    "\n"
    "On a terminal, standard error shows the page being printed and a summary; a job on a CUPS\n"
    "queue is reported as \"request id is QUEUE-ID (1 file(s))\", as lp does.\n"
    "\n"
    "Exit status:\n"
    "  0  every document was printed\n"
    "  1  a print failed or was cancelled (SIGINT, SIGTERM, SIGHUP); the reason is on standard error\n"
    "  2  a wrong option or a refused value; nothing was printed\n";

// SIGINT, SIGTERM, SIGHUP and SIGQUIT cancel the print like CancelDoc(): the handler only wakes
// the event loop, which cancels, so that the job still ends with its error and leaves nothing
// behind. Before the loop runs (while standard input is spooled) the flag ends the program.
int signalPipe[2] = {-1, -1};
volatile sig_atomic_t interrupted = 0;
// Set while the pictures of --png are counted or drawn: nothing is being written then, so a signal
// can end the program at once rather than after a long count.
volatile sig_atomic_t exitOnSignal = 0;

void onSignal(int) {
    if (exitOnSignal) {
        static const char message[] = "zendrik-print: cancelled\n";
        [[maybe_unused]] const auto shown = ::write(STDERR_FILENO, message, sizeof message - 1);
        ::_exit(1);
    }
    interrupted = 1;
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(signalPipe[1], &byte, 1);
}

void catchSignals() {
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT})
        sigaction(signal, &action, nullptr);
    // A reader of standard output that goes away makes the write fail, not the program die.
    std::signal(SIGPIPE, SIG_IGN);
}

void cancelOnSignals(zendrik::Zendrik& component) {
    if (signalPipe[0] < 0)
        return;
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &component);
    QObject::connect(notifier, &QSocketNotifier::activated, &component, [&component] {
        char byte = 0;
        while (::read(signalPipe[0], &byte, 1) > 0) {
        }
        component.CancelDoc();
    });
    if (interrupted)
        component.CancelDoc();
}

// The preview reads the document more than once, which a pipe or a terminal cannot give:
// standard input is then spooled into an unnamed temporary file, which takes its place.
QString spoolStandardInput() {
    struct stat info {};
    if (::fstat(STDIN_FILENO, &info) == 0 && S_ISREG(info.st_mode))
        return {};
    const QByteArray folder = QFile::encodeName(QDir::tempPath());
    int spool = ::open(folder.constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (spool < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
        QByteArray name = folder + "/.zendrik-stdin-XXXXXX";
        spool = ::mkostemp(name.data(), O_CLOEXEC);
        if (spool >= 0)
            ::unlink(name.constData());
    }
    if (spool < 0)
        return QStringLiteral("cannot spool standard input in \"%1\": %2")
            .arg(QDir::tempPath(), QString::fromLocal8Bit(std::strerror(errno)));
    QByteArray buffer(1 << 16, Qt::Uninitialized);
    for (;;) {
        const ssize_t n = ::read(STDIN_FILENO, buffer.data(), size_t(buffer.size()));
        if (n == 0)
            break;
        if (n < 0 && errno == EINTR && !interrupted)
            continue;
        const int error = n < 0 ? (interrupted ? ECANCELED : errno) : 0;
        for (ssize_t done = 0; error == 0 && done < n;) {
            const ssize_t w = ::write(spool, buffer.constData() + done, size_t(n - done));
            if (w < 0 && errno != EINTR) {
                ::close(spool);
                return QStringLiteral("cannot spool standard input in \"%1\": %2")
                    .arg(QDir::tempPath(), QString::fromLocal8Bit(std::strerror(errno)));
            }
            done += std::max<ssize_t>(w, 0);
        }
        if (error != 0) {
            ::close(spool);
            return error == ECANCELED ? QStringLiteral("The print was cancelled.")
                                      : QStringLiteral("cannot read standard input: %1")
                                            .arg(QString::fromLocal8Bit(std::strerror(error)));
        }
    }
    ::lseek(spool, 0, SEEK_SET);
    ::dup2(spool, STDIN_FILENO);
    ::close(spool);
    return {};
}

// "Family Size" (and "Bold", "Italic", "Underline" before the size), as fontconfig writes fonts.
void setFont(zendrik::Zendrik& component, const QString& member, const QString& spec) {
    QStringList words = spec.split(u' ', Qt::SkipEmptyParts);
    bool isNumber = false;
    if (!words.isEmpty()) {
        words.last().toDouble(&isNumber);
        if (isNumber)
            component.setMember(member + QStringLiteral(".Size"), words.takeLast());
    }
    for (bool style = true; style && !words.isEmpty();) {
        style = false;
        for (const char* flag : {"Bold", "Italic", "Underline"}) {
            if (words.last().compare(QLatin1String(flag), Qt::CaseInsensitive) == 0) {
                component.setMember(member + u'.' + QLatin1String(flag), true);
                words.removeLast();
                style = true;
            }
        }
    }
    if (!words.isEmpty())
        component.setMember(member + QStringLiteral(".Name"), words.join(u' '));
    else if (!isNumber)
        throw zendrik::RefusedValue(QStringLiteral("--font \"%1\": give a family, a size or both (\"DejaVu Serif 11\")")
                                        .arg(spec)
                                        .toStdString());
}

// Names CUPS takes for a queue ("name" or "name/instance"): printable, without white space, and
// without the characters the scheduler refuses in a name.
bool isQueueName(const QString& name) {
    const QStringList parts = name.split(u'/');
    if (parts.size() > 2)
        return false;
    for (const QString& part : parts) {
        if (part.isEmpty() || part.toUtf8().size() > 127)
            return false;
        for (const QChar c : part) {
            if (c.unicode() <= u' ' || c.unicode() == 0x7F || c.isSpace() || c.category() == QChar::Other_Control ||
                QStringView(u"\\?'\"#").contains(c))
                return false;
        }
    }
    return true;
}

// Qt warns on every start when the session has no runtime folder (root, cron, CI), which the tool
// never uses; every other message goes where it would have gone.
QtMessageHandler defaultHandler = nullptr;
void filterMessages(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type == QtWarningMsg && message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set")))
        return;
    defaultHandler(type, context, message);
}

struct UsageError {
    QString message;
};

// One document's progress on a terminal: one line rewritten in place, then a summary.
class Progress {
public:
    explicit Progress(bool shown) : shown_(shown) {}
    void start() {
        clock_.start();
        lastDrawn_ = -1000;
        pages_ = 0;
    }
    void page(int number, int count) {
        pages_ = number;
        if (!shown_ || (clock_.elapsed() - lastDrawn_ < 100 && number != count))
            return;
        lastDrawn_ = clock_.elapsed();
        QString line = count > 0
                           ? QStringLiteral("page %1 of %2 (%3%)").arg(number).arg(count).arg(100 * number / count)
                           : QStringLiteral("page %1").arg(number);
        if (clock_.elapsed() >= 500)
            line += QStringLiteral(", %1 pages/s").arg(rate(), 0, 'f', 0);
        err() << "\r\033[K" << line;
        err().flush();
    }
    // The summary, after the line's place has been cleared.
    QString summary() {
        if (!shown_)
            return {};
        err() << "\r\033[K";
        return QStringLiteral(" (%1 %2 in %3 s, %4 pages/s)")
            .arg(pages_)
            .arg(pages_ == 1 ? QStringLiteral("page") : QStringLiteral("pages"))
            .arg(double(clock_.elapsed()) / 1000, 0, 'f', 1)
            .arg(rate(), 0, 'f', 0);
    }

private:
    double rate() const { return clock_.elapsed() > 0 ? pages_ * 1000.0 / double(clock_.elapsed()) : 0; }
    bool shown_;
    QElapsedTimer clock_;
    qint64 lastDrawn_ = 0;
    int pages_ = 0;
};

// Puts `bytes` into the folder under `name`: written to a new file of its own, then renamed over
// whatever had the name. A symbolic link or FIFO planted there is replaced, never written through;
// a page half written is never seen under the name. Empty on success, else the system's reason.
QString replaceFile(const QString& folder, const QString& name, const QByteArray& bytes) {
    const int dir = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0)
        return QString::fromLocal8Bit(std::strerror(errno));
    const QByteArray target = QFile::encodeName(name);
    QByteArray temporary;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        temporary = "." + target + "." + QByteArray::number(getpid()) + "-" + QByteArray::number(attempt);
        fd = ::openat(dir, temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    int error = fd < 0 ? errno : 0;
    for (qsizetype done = 0; fd >= 0 && error == 0 && done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno != EINTR)
            error = errno;
        else if (n > 0)
            done += n;
    }
    if (fd >= 0 && ::close(fd) != 0 && error == 0)
        error = errno;
    if (fd >= 0 && error == 0 && ::renameat(dir, temporary.constData(), dir, target.constData()) != 0)
        error = errno;
    if (fd >= 0 && error != 0)
        ::unlinkat(dir, temporary.constData(), 0);
    ::close(dir);
    return error == 0 ? QString() : QString::fromLocal8Bit(std::strerror(error));
}

// Writes the pages `range` ("A-B", "A" or empty for all) of the preview at `dpi` into `folder`.
int writePages(zendrik::Zendrik& component, const QString& folder, const QString& range, const QString& dpiText,
               bool quietly) {
    bool ok = true;
    const double dpi = dpiText.isEmpty() ? 150 : dpiText.toDouble(&ok);
    if (!ok || !(dpi > 0 && dpi <= 1200)) {
        err() << "zendrik-print: --dpi " << dpiText << " refused; accepted: above 0 and at most 1200\n";
        return Usage;
    }
    int first = 1, last = -1;
    if (!range.isEmpty()) {
        bool firstOk = false, lastOk = true;
        first = range.section(u'-', 0, 0).toInt(&firstOk);
        last = range.contains(u'-') ? range.section(u'-', 1).toInt(&lastOk) : first;
        if (!firstOk || !lastOk || first < 1 || last < first) {
            err() << "zendrik-print: --pages " << range << " refused; accepted: A-B or A, from page 1\n";
            return Usage;
        }
    }
    exitOnSignal = !interrupted;
    const int count = component.PreviewPageCount();
    exitOnSignal = 0;
    if (count == 0) {
        err() << "zendrik-print: " << component.previewError() << "\n";
        return PrintFailed;
    }
    if (last < 0)
        last = count;
    if (last > count) {
        err() << "zendrik-print: --pages " << range << " refused: the document has " << count
              << (count == 1 ? " page\n" : " pages\n");
        return Usage;
    }
    if (!QDir().mkpath(folder)) {
        err() << "zendrik-print: cannot make the folder " << shown(QDir::toNativeSeparators(folder), STDERR_FILENO)
              << "\n";
        return PrintFailed;
    }
    const auto pageName = [](int page) { return QStringLiteral("page-%1.png").arg(page, 4, 10, QLatin1Char('0')); };
    // A page's name that is the document itself (or a link of it in the file system) is refused
    // before any page is written: the document would be lost.
    struct stat document {};
    if (::stat(QFile::encodeName(component.DocFile()).constData(), &document) == 0) {
        for (int page = first; page <= last; ++page) {
            const QString path = QDir(folder).filePath(pageName(page));
            struct stat existing {};
            if (::lstat(QFile::encodeName(path).constData(), &existing) == 0 && existing.st_dev == document.st_dev &&
                existing.st_ino == document.st_ino) {
                err() << "zendrik-print: page " << page << ": " << shown(QDir::toNativeSeparators(path), STDERR_FILENO)
                      << ": it is the document to print, which would be lost\n";
                return PrintFailed;
            }
        }
    }
    for (int page = first; page <= last; ++page) {
        exitOnSignal = !interrupted;
        const QImage image = component.PreviewPage(page, dpi);
        exitOnSignal = 0;
        if (interrupted) {
            complain(QStringLiteral("cancelled"));
            return PrintFailed;
        }
        const QString name = pageName(page);
        QBuffer png;
        png.open(QIODevice::WriteOnly);
        QImageWriter writer(&png, "png");
        const QString failure = image.isNull()         ? component.previewError()
                                : !writer.write(image) ? writer.errorString()
                                                       : replaceFile(folder, name, png.data());
        if (!failure.isEmpty()) {
            const QString path = QDir::toNativeSeparators(QDir(folder).filePath(name));
            err() << "zendrik-print: page " << page << ": "
                  << (image.isNull() ? failure : shown(path, STDERR_FILENO) + QStringLiteral(": ") + failure) << "\n";
            return PrintFailed;
        }
    }
    if (!quietly) {
        err() << "Pages " << first << " to " << last << " written to "
              << shown(QDir::toNativeSeparators(folder), STDERR_FILENO) << "\n";
    }
    return Printed;
}

} // namespace

int main(int argc, char* argv[]) {
    holdStandardDescriptors();
    catchSignals();
    defaultHandler = qInstallMessageHandler(filterMessages);
    // A command-line tool needs no display: fonts and PDF output work offscreen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("zendrik-print"));
    QCoreApplication::setApplicationVersion(QStringLiteral(ZENDRIK_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Lays out and prints text files with the Zendrik print component."));
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsCompactedShortOptions);
    const QCommandLineOption output({QStringLiteral("o"), QStringLiteral("output"), QStringLiteral("pdf")},
                                    QStringLiteral("Writes the PDF (\"Save as PDF\") into exactly FILE; - is standard "
                                                   "output. A FIFO or a device is written into as it is."),
                                    QStringLiteral("FILE"));
    const QCommandLineOption printer({QStringLiteral("P"), QStringLiteral("d"), QStringLiteral("printer")},
                                     QStringLiteral("Prints on this CUPS queue, or \"Save as PDF\" (default: the "
                                                    "system's default printer)."),
                                     QStringLiteral("NAME"));
    const QCommandLineOption copies({QStringLiteral("n"), QStringLiteral("copies")},
                                    QStringLiteral("Number of copies."), QStringLiteral("N"));
    const QCommandLineOption paper(QStringLiteral("paper"),
                                   QStringLiteral("Paper size by name (A4, Letter, Legal, ...; see PaperSize)."),
                                   QStringLiteral("NAME"));
    const QCommandLineOption landscape(QStringLiteral("landscape"), QStringLiteral("Landscape orientation."));
    const QCommandLineOption title(QStringLiteral("title"), QStringLiteral("Document title."), QStringLiteral("TEXT"));
    const QCommandLineOption header(QStringLiteral("header"), QStringLiteral("Page header."), QStringLiteral("TEXT"));
    const QCommandLineOption footer(QStringLiteral("footer"), QStringLiteral("Page footer."), QStringLiteral("TEXT"));
    const QCommandLineOption bodyFont(QStringLiteral("font"),
                                      QStringLiteral("Body font: \"Family [Bold] [Italic] Size\", e.g. \"DejaVu Serif "
                                                     "11\"."),
                                      QStringLiteral("FONT"));
    const QCommandLineOption titleFont(QStringLiteral("title-font"), QStringLiteral("Title font, as --font."),
                                       QStringLiteral("FONT"));
    const QCommandLineOption headerFont(QStringLiteral("header-font"), QStringLiteral("Header font, as --font."),
                                        QStringLiteral("FONT"));
    const QCommandLineOption footerFont(QStringLiteral("footer-font"), QStringLiteral("Footer font, as --font."),
                                        QStringLiteral("FONT"));
    const QCommandLineOption set(QStringLiteral("set"),
                                 QStringLiteral("Sets a member (see Members below), after the options above, in the "
                                                "order given."),
                                 QStringLiteral("Member=Value"));
    const QCommandLineOption listPrinters(QStringLiteral("list-printers"),
                                          QStringLiteral("Lists the printers; the default is marked with \" *\"."));
    const QCommandLineOption png(QStringLiteral("png"),
                                 QStringLiteral("Prints nothing: writes the pages as they would print into DIR as "
                                                "page-0001.png, page-0002.png, ..."),
                                 QStringLiteral("DIR"));
    const QCommandLineOption pages(QStringLiteral("pages"),
                                   QStringLiteral("With --png: only pages A to B (or page A alone); default all."),
                                   QStringLiteral("A-B"));
    const QCommandLineOption dpi(QStringLiteral("dpi"),
                                 QStringLiteral("With --png: the resolution, above 0 and at most 1200; default 150."),
                                 QStringLiteral("N"));
    const QCommandLineOption quiet({QStringLiteral("q"), QStringLiteral("quiet")},
                                   QStringLiteral("Reports nothing but failures and notices."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Shows this text."));
    for (const QCommandLineOption& option :
         {output, printer, copies, paper, landscape, title, header, footer, bodyFont, titleFont, headerFont, footerFont,
          set, png, pages, dpi, listPrinters, quiet, help})
        parser.addOption(option);
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("Text files to print; - is standard input."),
                                 QStringLiteral("[FILE]..."));

    zendrik::Zendrik component;
    QStringList documents;
    QString printerName;
    QString pdfFile;
    try {
        if (!parser.parse(QCoreApplication::arguments())) {
            const QStringList unknown = parser.unknownOptionNames();
            if (!unknown.isEmpty()) {
                const QString& name = unknown.first();
                throw UsageError{QStringLiteral("unknown option \"%1%2\" (see --help)")
                                     .arg(name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--"), name)};
            }
            throw UsageError{parser.errorText() + QStringLiteral(" (see --help)")};
        }
        if (parser.isSet(help)) {
            // The usage line names the program as it is installed, not the path it was started by.
            QString text = parser.helpText();
            text.replace(0, text.indexOf(u'\n'), QStringLiteral("Usage: zendrik-print [OPTION]... [FILE]..."));
            out() << text << "\n" << membersHelp() << kHelpTail;
            out().flush();
            return Printed;
        }
        if (parser.isSet(QStringLiteral("version"))) {
            out() << "zendrik-print " << ZENDRIK_VERSION << "\n";
            out().flush();
            return Printed;
        }
        if (parser.isSet(printer)) {
            printerName = parser.value(printer);
            if (printerName != QLatin1String(zendrik::kSaveAsPdfPrinter) && !isQueueName(printerName))
                throw UsageError{QStringLiteral("--printer \"%1\" is not a name a printer can have").arg(printerName)};
        }
        if (parser.isSet(output)) {
            pdfFile = parser.value(output);
            if (pdfFile.isEmpty())
                throw UsageError{QStringLiteral("--output needs a file name (or - for standard output)")};
            if (!printerName.isEmpty() && printerName != QLatin1String(zendrik::kSaveAsPdfPrinter))
                throw UsageError{QStringLiteral("--output prints with \"Save as PDF\"; it cannot be combined with "
                                                "--printer %1")
                                     .arg(printerName)};
        }
        documents = parser.positionalArguments();
        if (!parser.isSet(png) && (parser.isSet(pages) || parser.isSet(dpi)))
            throw UsageError{QStringLiteral("--pages and --dpi go with --png")};
        if (parser.isSet(png)) {
            if (parser.value(png).isEmpty())
                throw UsageError{QStringLiteral("--png needs a folder")};
            if (!printerName.isEmpty() || !pdfFile.isEmpty())
                throw UsageError{
                    QStringLiteral("--png prints nothing; it cannot be combined with --printer or --output")};
            if (documents.size() > 1)
                throw UsageError{QStringLiteral("--png takes one document; %1 were given").arg(documents.size())};
        }
        if (!pdfFile.isEmpty() && documents.size() > 1)
            throw UsageError{QStringLiteral("--output takes one document; %1 were given").arg(documents.size())};

        if (parser.isSet(copies))
            component.setMember(QStringLiteral("Copies"), parser.value(copies));
        if (parser.isSet(paper))
            component.setMember(QStringLiteral("PaperSize"), parser.value(paper));
        if (parser.isSet(landscape))
            component.setMember(QStringLiteral("Orientation"), QStringLiteral("Landscape"));
        const std::pair<const QCommandLineOption&, const char*> texts[] = {
            {title, "DocTitle"}, {header, "DocHeader"}, {footer, "DocFooter"}};
        for (const auto& [option, member] : texts) {
            if (parser.isSet(option))
                component.setMember(QLatin1String(member), parser.value(option));
        }
        const std::pair<const QCommandLineOption&, const char*> fonts[] = {{bodyFont, "DocTextFont"},
                                                                           {titleFont, "DocTitleFont"},
                                                                           {headerFont, "DocHeaderFont"},
                                                                           {footerFont, "DocFooterFont"}};
        for (const auto& [option, member] : fonts) {
            if (parser.isSet(option))
                setFont(component, QLatin1String(member), parser.value(option));
        }
        for (const QString& assignment : parser.values(set)) {
            const qsizetype eq = assignment.indexOf(u'=');
            if (eq <= 0)
                throw UsageError{QStringLiteral("--set needs Member=Value, not \"%1\"").arg(assignment)};
            component.setMember(assignment.left(eq), assignment.mid(eq + 1));
        }
    } catch (const zendrik::RefusedValue& e) {
        complain(QString::fromStdString(e.what()));
        return Usage;
    } catch (const UsageError& e) {
        complain(e.message);
        return Usage;
    }

    if (parser.isSet(listPrinters)) {
        qint16 count = 0;
        const QStringList names = component.GetPrinters(count);
        // With "Save as PDF" alone no scheduler answered: asking again would only wait again.
        const QString def = names.size() > 1 ? component.defaultPrinter() : names.value(0);
        for (qsizetype i = 0; i < count; ++i)
            out() << shown(names[i], STDOUT_FILENO) << (names[i] == def ? " *" : "") << "\n";
        out().flush();
        return Printed;
    }

    const bool fromMembers = documents.isEmpty() && (!component.DocFile().isEmpty() || !component.DocText().isEmpty());
    if (documents.isEmpty() && !fromMembers)
        documents << QStringLiteral("-");
    const bool readsStandardInput = documents.contains(QStringLiteral("-"));
    if (readsStandardInput && startedClosed[STDIN_FILENO]) {
        complain(QStringLiteral("standard input is closed: there is no document to print"));
        return PrintFailed;
    }
    // "-" is standard input, read where it stands.
    const auto documentPath = [](const QString& document) {
        return document == QLatin1String("-") ? QStringLiteral("/dev/stdin") : QFileInfo(document).absoluteFilePath();
    };

    if (parser.isSet(png)) {
        // The preview reads the document more than once: a pipe is spooled first.
        if (readsStandardInput) {
            if (const QString failed = spoolStandardInput(); !failed.isEmpty()) {
                complain(failed);
                return PrintFailed;
            }
        }
        if (!documents.isEmpty())
            component.setDocFile(documentPath(documents.first()));
        return writePages(component, parser.value(png), parser.value(pages), parser.value(dpi), parser.isSet(quiet));
    }

    if (!pdfFile.isEmpty()) {
        if (pdfFile == QLatin1String("-")) {
            if (startedClosed[STDOUT_FILENO]) {
                complain(QStringLiteral("standard output is closed: the PDF cannot be written to it"));
                return PrintFailed;
            }
            component.setOutputFileName(QStringLiteral("/dev/stdout"));
        } else {
            component.setOutputFileName(QFileInfo(pdfFile).absoluteFilePath());
        }
        printerName = QString::fromLatin1(zendrik::kSaveAsPdfPrinter);
    } else if (printerName.isEmpty()) {
        printerName = component.defaultPrinter();
    }
    const bool quietly = parser.isSet(quiet);
    Progress progress(!quietly && isTerminal(STDERR_FILENO));
    int pending = 0;
    int status = Printed;
    QObject::connect(&component, &zendrik::Zendrik::PrintingPage, &app, [&](qint32 page) {
        if (page == 1)
            progress.start();
        progress.page(page, component.pageCount());
    });
    const auto ended = [&] {
        if (--pending == 0)
            app.exit(status);
    };
    QObject::connect(&component, &zendrik::Zendrik::PrintComplete, &app, [&] {
        const QString summary = progress.summary();
        const QString pdf = component.lastOutputPath();
        if (!quietly) {
            if (component.lastJobId() > 0) {
                out() << "request id is " << shown(printerName, STDOUT_FILENO) << "-" << component.lastJobId()
                      << " (1 file(s))\n";
                out().flush();
                err() << "Print complete" << summary << ".\n";
            } else if (pdf == QLatin1String("/dev/stdout")) {
                err() << "Print complete: standard output" << summary << "\n";
            } else {
                err() << "Print complete: " << shown(QDir::toNativeSeparators(pdf), STDERR_FILENO) << summary << "\n";
            }
        }
        if (const QString notice = component.lastNotice(); !notice.isEmpty())
            err() << shown(notice, STDERR_FILENO) << "\n";
        err().flush();
        ended();
    });
    QObject::connect(&component, &zendrik::Zendrik::PrintError, &app, [&](qint32 code, const QString& description) {
        progress.summary();
        complain(QStringLiteral("print failed (%1): %2").arg(code).arg(description));
        status = PrintFailed;
        ended();
    });
    cancelOnSignals(component);
    if (fromMembers) {
        ++pending;
        component.PrintDoc(printerName);
    }
    for (const QString& document : documents) {
        component.setDocFile(documentPath(document));
        ++pending;
        component.PrintDoc(printerName);
    }
    return app.exec();
}
