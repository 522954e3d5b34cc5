#pragma once
// Where a completed "Save as PDF" job put its file, for the windows to tell the user.

#include <QString>

namespace zendrik {
class Zendrik;
}

namespace demo {

// The file the component's last completed job wrote ("Save as PDF"), in native separators; empty
// when the job went to a printer.
QString savedPdfPath(const zendrik::Zendrik& component);

// "Saved as <path>", or empty when `path` is.
QString savedAsText(const QString& path);

} // namespace demo
