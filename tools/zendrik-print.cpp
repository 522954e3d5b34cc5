// Command-line front end of the print component: sets members by name, then prints.

#include <zendrik/members.h>
#include <zendrik/zendrik.h>

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImageWriter>
#include <QSocketNotifier>
#include <QTextStream>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

enum Exit { Printed = 0, PrintFailed = 1, Usage = 2 };

QTextStream& err() {
    static QTextStream stream(stderr);
    return stream;
}

QTextStream& out() {
    static QTextStream stream(stdout);
    return stream;
}

void printHelp() {
    QTextStream& s = out();
    s << "Usage: zendrik-print [--set Member=Value]... [--printer NAME | --pdf FILE]\n"
         "       zendrik-print [--set Member=Value]... --png DIR [--pages A-B] [--dpi N]\n"
         "       zendrik-print --list-printers\n\n"
         "Prints a document with the Zendrik print component.\n\n"
         "Options:\n"
         "  --set Member=Value      set a member before printing (in the order given)\n"
         "  --printer NAME          print on this printer (default: the system's default printer)\n"
         "  --pdf FILE              print with \"Save as PDF\" into exactly this file\n"
         "  --png DIR               print nothing; write the pages as they would print into DIR as\n"
         "                          page-0001.png, page-0002.png, ...\n"
         "  --pages A-B             with --png: only pages A to B (or page A alone); default all\n"
         "  --dpi N                 with --png: the resolution, above 0 and at most 1200; default 150\n"
         "  --list-printers         list the printers; the default is marked with \" *\"\n"
         "  --help                  show this text\n\n"
         "Members:\n";
    for (const auto& m : zendrik::memberTable()) {
        if (m.kind == zendrik::MemberKind::Put) {
            s << QStringLiteral("  %1").arg(QLatin1String(m.name), -26) << zendrik::acceptedValues(m) << "\n";
        } else if (m.type == zendrik::ValueType::Font) {
            const QString font = QLatin1String(m.name);
            s << QStringLiteral("  %1").arg(font + QStringLiteral(".Name"), -26) << "font family\n";
            s << QStringLiteral("  %1").arg(font + QStringLiteral(".Size"), -26) << "positive number of points\n";
            for (const char* flag : {".Bold", ".Italic", ".Underline"})
                s << QStringLiteral("  %1").arg(font + QLatin1String(flag), -26) << "true or false\n";
        }
    }
    s << "\nDocFile=PATH prints a text file; with DocFileAllData=true its leading \"@title\", \"@header\"\n"
         "and \"@footer\" lines give the title, header and footer.\n"
         "Exit status: 0 printed, 1 the print failed, 2 a refused value or a wrong option.\n";
    s.flush();
}

// Qt warns on every start when the session has no runtime folder (root, cron, CI), which the tool
// never uses; every other message goes where it would have gone.
QtMessageHandler defaultHandler = nullptr;
void filterMessages(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type == QtWarningMsg && message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set")))
        return;
    defaultHandler(type, context, message);
}

// SIGINT and SIGTERM cancel the print like CancelDoc(): the handler only wakes the event loop,
// which cancels, so that the job still ends with its error and leaves nothing behind.
int signalPipe[2] = {-1, -1};

void onSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(signalPipe[1], &byte, 1);
}

void cancelOnSignals(zendrik::Zendrik& component) {
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &component);
    QObject::connect(notifier, &QSocketNotifier::activated, &component, [&component] {
        char byte = 0;
        while (::read(signalPipe[0], &byte, 1) > 0) {
        }
        component.CancelDoc();
    });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

// Writes the pages `range` ("A-B", "A" or empty for all) of the preview at `dpi` into `folder`.
int writePages(zendrik::Zendrik& component, const QString& folder, const QString& range, const QString& dpiText) {
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
    const int count = component.PreviewPageCount();
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
        err() << "zendrik-print: cannot make the folder " << QDir::toNativeSeparators(folder) << "\n";
        return PrintFailed;
    }
    for (int page = first; page <= last; ++page) {
        const QImage image = component.PreviewPage(page, dpi);
        const QString path = QDir(folder).filePath(QStringLiteral("page-%1.png").arg(page, 4, 10, QLatin1Char('0')));
        QImageWriter writer(path, "png");
        if (image.isNull() || !writer.write(image)) {
            err() << "zendrik-print: page " << page << ": "
                  << (image.isNull() ? component.previewError()
                                     : QDir::toNativeSeparators(path) + QStringLiteral(": ") + writer.errorString())
                  << "\n";
            return PrintFailed;
        }
    }
    err() << "Pages " << first << " to " << last << " written to " << QDir::toNativeSeparators(folder) << "\n";
    return Printed;
}

} // namespace

int main(int argc, char* argv[]) {
    defaultHandler = qInstallMessageHandler(filterMessages);
    // A command-line tool needs no display: fonts and PDF output work offscreen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments().mid(1);

    zendrik::Zendrik component;
    QString printer;
    QString pdfFile;
    QString pngFolder, pages, dpi;
    bool listPrinters = false;
    try {
        for (qsizetype i = 0; i < args.size(); ++i) {
            const QString& arg = args[i];
            auto value = [&]() -> QString {
                const qsizetype eq = arg.indexOf(u'=');
                if (arg.startsWith(QLatin1String("--")) && eq > 0)
                    return arg.mid(eq + 1);
                if (i + 1 >= args.size())
                    throw std::runtime_error(QStringLiteral("%1 needs a value").arg(arg).toStdString());
                return args[++i];
            };
            const QString option = arg.section(u'=', 0, 0);
            if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
                printHelp();
                return Printed;
            } else if (option == QLatin1String("--set")) {
                const QString assignment = value();
                const qsizetype eq = assignment.indexOf(u'=');
                if (eq <= 0)
                    throw std::runtime_error(
                        QStringLiteral("--set needs Member=Value, not \"%1\"").arg(assignment).toStdString());
                component.setMember(assignment.left(eq), assignment.mid(eq + 1));
            } else if (option == QLatin1String("--printer")) {
                printer = value();
            } else if (option == QLatin1String("--pdf")) {
                pdfFile = value();
            } else if (option == QLatin1String("--png")) {
                pngFolder = value();
            } else if (option == QLatin1String("--pages")) {
                pages = value();
            } else if (option == QLatin1String("--dpi")) {
                dpi = value();
            } else if (arg == QLatin1String("--list-printers")) {
                listPrinters = true;
            } else {
                throw std::runtime_error(QStringLiteral("unknown option \"%1\" (see --help)").arg(arg).toStdString());
            }
        }
    } catch (const zendrik::RefusedValue& e) {
        err() << "zendrik-print: " << e.what() << "\n";
        return Usage;
    } catch (const std::runtime_error& e) {
        err() << "zendrik-print: " << e.what() << "\n";
        return Usage;
    }

    if (listPrinters) {
        qint16 count = 0;
        const QStringList names = component.GetPrinters(count);
        const QString def = component.defaultPrinter();
        for (qsizetype i = 0; i < count; ++i)
            out() << names[i] << (names[i] == def ? " *" : "") << "\n";
        out().flush();
        return Printed;
    }
    if (pngFolder.isEmpty() && (!pages.isEmpty() || !dpi.isEmpty())) {
        err() << "zendrik-print: --pages and --dpi go with --png\n";
        return Usage;
    }
    if (!pngFolder.isEmpty()) {
        if (!printer.isEmpty() || !pdfFile.isEmpty()) {
            err() << "zendrik-print: --png prints nothing; it cannot be combined with --printer or --pdf\n";
            return Usage;
        }
        return writePages(component, pngFolder, pages, dpi);
    }
    if (!pdfFile.isEmpty()) {
        if (!printer.isEmpty() && printer != QLatin1String(zendrik::kSaveAsPdfPrinter)) {
            err() << "zendrik-print: --pdf prints with \"Save as PDF\"; it cannot be combined with --printer "
                  << printer << "\n";
            return Usage;
        }
        printer = QString::fromLatin1(zendrik::kSaveAsPdfPrinter);
        component.setOutputFileName(QFileInfo(pdfFile).absoluteFilePath());
    }

    const bool terminal = isatty(STDERR_FILENO) != 0;
    QObject::connect(&component, &zendrik::Zendrik::PrintingPage, &app, [terminal](qint32 page) {
        if (terminal) {
            // The page count is not known here, so the bar sweeps rather than fills.
            constexpr int kWidth = 20;
            const int head = (page - 1) % kWidth;
            QString bar(kWidth, u' ');
            for (int i = 0; i <= head; ++i)
                bar[i] = u'=';
            err() << "\r[" << bar << "] page " << page;
        } else {
            err() << "page " << page << "\n";
        }
        err().flush();
    });
    QObject::connect(&component, &zendrik::Zendrik::PrintComplete, &app, [&app, &component, terminal] {
        if (terminal)
            err() << "\n";
        const QString pdf = component.lastOutputPath();
        if (pdf.isEmpty())
            err() << "Print complete.\n";
        else
            err() << "Print complete: " << QDir::toNativeSeparators(pdf) << "\n";
        if (const QString notice = component.lastNotice(); !notice.isEmpty())
            err() << notice << "\n";
        err().flush();
        app.exit(Printed);
    });
    QObject::connect(&component, &zendrik::Zendrik::PrintError, &app,
                     [&app, terminal](qint32 code, const QString& description) {
                         if (terminal)
                             err() << "\n";
                         err() << "zendrik-print: print failed (" << code << "): " << description << "\n";
                         err().flush();
                         app.exit(PrintFailed);
                     });
    cancelOnSignals(component);
    component.PrintDoc(printer);
    return app.exec();
}
