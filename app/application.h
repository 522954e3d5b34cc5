#pragma once
// The application object: title, application directory, fonts, and the handling of errors that
// escape a handler (reported in a message box, then the application ends with status 1).

#include <QApplication>
#include <QString>

#include <functional>

namespace demo {

class DemoApplication : public QApplication {
    Q_OBJECT
public:
    DemoApplication(int& argc, char** argv);
    // Destroys the windows while the application object still exists.
    ~DemoApplication() override;
    bool notify(QObject* receiver, QEvent* event) override;
};

// Reports an error that no handler trapped and ends the application with a non-zero status.
void reportUntrappedError(const QString& description);

// The fontconfig file beside the executable that names free stand-ins for the Windows fonts.
inline constexpr const char* kFontAliasFile = "zendrik-demo-fonts.conf";

// Sets the application's name and makes the fonts the windows are designed with available: Wine's
// regular Tahoma, and the stand-ins of kFontAliasFile. The fonts are registered once per process.
void prepareApplication();

// The folder the application runs from (where the executable and its data files lie).
QString applicationDirectory();

// The application directory and a file name, joined by the platform's separator; for an installed
// application whose folder lacks the file, the file in the installed data folder.
QString applicationFile(const QString& fileName);

} // namespace demo
