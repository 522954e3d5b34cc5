#pragma once
// What the fuzz targets share: the offscreen application that font metrics need, and a failure that
// libFuzzer records as a crash with its input.

#include <QGuiApplication>
#include <QString>

#include <cstdio>
#include <cstdlib>

namespace fuzzcommon {

inline void startGuiApplication(int* argc, char*** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Qt's warnings about fonts without OpenType tables are not failures and slow every run.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    // Lives as long as the process: Qt's font database belongs to it.
    static QGuiApplication* app = new QGuiApplication(*argc, *argv);
    (void)app;
}

[[noreturn]] inline void fail(const char* what, const QString& detail) {
    std::fprintf(stderr, "%s: %s\n", what, detail.toUtf8().constData());
    std::fflush(stderr);
    std::abort();
}

} // namespace fuzzcommon
