// Prints a document with the Zendrik component: three lines of code, as promised. The component
// needs a QGuiApplication (it measures text with Qt's fonts); on a machine without a display, run
// the program with QT_QPA_PLATFORM=offscreen.
#include <zendrik/zendrik.h>

#include <QGuiApplication>
#include <cstdio>

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    zendrik::Zendrik Zendrik1;
    QObject::connect(&Zendrik1, &zendrik::Zendrik::PrintComplete, &app, [] { QCoreApplication::exit(0); });
    QObject::connect(&Zendrik1, &zendrik::Zendrik::PrintError, &app, [](qint32, const QString& why) {
        std::fprintf(stderr, "%s\n", qPrintable(why));
        QCoreApplication::exit(1);
    });

    Zendrik1.setDocTitle("Orvanel Demo");
    Zendrik1.setDocText("Orvanel greatly simplifies printing documents from Qt applications!");
    Zendrik1.PrintDoc();

    return app.exec();
}
