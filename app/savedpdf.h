#pragma once
// Where a completed "Save as PDF" job put its file, for the windows to tell the user.

#include <QString>

namespace zendrik {
class Zendrik;
}

namespace demo {

// The file the component's last completed job wrote when that job went to "Save as PDF" (by name,
// or as the default printer when the system has none), in native separators; empty for a printer.
QString savedPdfPath(const zendrik::Zendrik& component, const QString& printerName);

// "Saved as <path>", or empty when `path` is.
QString savedAsText(const QString& path);

} // namespace demo
