#pragma once
// Hooks for the component's own tools; not part of the public interface.

#include <QString>

namespace zendrik {

class Zendrik;

// Makes "Save as PDF" write exactly `path` (replacing it) instead of a new file named after the
// title in the PDF folder. Empty restores the normal behaviour.
void setExactPdfPath(Zendrik& component, const QString& path);

// What the last successful job's user should still be told (a stopped queue); empty if nothing.
QString lastJobNotice(const Zendrik& component);

} // namespace zendrik
