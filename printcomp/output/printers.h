#pragma once
// The printers a job can go to: the CUPS destinations, then the built-in "Save as PDF".

#include <QString>
#include <QStringList>

namespace zendrik {

// The installed printers (CUPS destinations) followed by "Save as PDF".
QStringList availablePrinters();
// The CUPS default destination, else "Save as PDF".
QString defaultPrinterName();

} // namespace zendrik
