#include "application.h"

#include "messagebox.h"
#include "windowregistry.h"

#include <QDir>
#include <QFile>
#include <QFontDatabase>

#include <exception>

namespace demo {

DemoApplication::DemoApplication(int& argc, char** argv) : QApplication(argc, argv) {
    prepareApplication();
}

DemoApplication::~DemoApplication() {
    WindowRegistry::instance().destroyAll();
}

bool DemoApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        reportUntrappedError(QString::fromUtf8(error.what()));
    } catch (...) {
        reportUntrappedError(QStringLiteral("Unknown error"));
    }
    return false;
}

void reportUntrappedError(const QString& description) {
    MessageBox::show(QStringLiteral("Run-time error:\n\n%1").arg(description), kCritical);
    WindowRegistry::instance().endApplication(1);
}

void prepareApplication() {
    QCoreApplication::setApplicationName(QString::fromLatin1(kApplicationTitle));
    // Lets the desktop match the windows to the installed launcher and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("io.github.orvanel.ZendrikDemo"));
    QGuiApplication::setQuitOnLastWindowClosed(false);
    // Debian has Tahoma only as Wine's metric-compatible copy, outside fontconfig's folders.
    for (const char* path : {"/usr/share/wine/fonts/tahoma.ttf", "/usr/share/wine/fonts/tahomabd.ttf"}) {
        if (QFile::exists(QString::fromLatin1(path))) {
            QFontDatabase::addApplicationFont(QString::fromLatin1(path));
        }
    }
}

QString applicationDirectory() {
    return QCoreApplication::applicationDirPath();
}

QString applicationFile(const QString& fileName) {
    const QString beside = applicationDirectory() + QLatin1Char('/') + fileName;
    // Installed, the data files lie in the shared data folder instead (../share/zendrik-demo).
    const QString installed =
        QDir::cleanPath(applicationDirectory() + QStringLiteral("/" ZENDRIK_DEMO_DATA_FROM_PROGRAM "/") + fileName);
    return QDir::toNativeSeparators(!QFile::exists(beside) && QFile::exists(installed) ? installed : beside);
}

} // namespace demo
