#include "application.h"

#include "messagebox.h"
#include "windowregistry.h"

#include <QDir>
#include <QFile>
#include <QFontDatabase>

#include <fontconfig/fontconfig.h>

#include <exception>

namespace demo {
namespace {

bool registerFonts() {
    // Debian has Tahoma only as Wine's metric-compatible copy, outside fontconfig's folders. Only
    // the regular face: Wine's "Tahoma Bold" has the regular outlines, so text set in it would not
    // look bold. Without a bold face Qt makes bold up, and so does the component's PDF writer.
    const QString tahoma = QStringLiteral("/usr/share/wine/fonts/tahoma.ttf");
    if (QFile::exists(tahoma)) {
        QFontDatabase::addApplicationFont(tahoma);
    }
    // Stand-ins for the other Windows fonts the windows name.
    const QString aliases = applicationFile(QString::fromLatin1(kFontAliasFile));
    const QByteArray path = QFile::encodeName(aliases);
    if (!FcConfigParseAndLoad(FcConfigGetCurrent(), reinterpret_cast<const FcChar8*>(path.constData()), FcTrue)) {
        qWarning("ZendrikDemo: font stand-ins not loaded from %s", path.constData());
    }
    return true;
}

} // namespace

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
    static const bool fontsRegistered = registerFonts();
    Q_UNUSED(fontsRegistered);
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
