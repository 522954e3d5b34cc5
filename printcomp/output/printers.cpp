#include "output/printers.h"

#include "output/cupsqueue.h"

#include <zendrik/zendrikglobal.h>

namespace zendrik {

QStringList availablePrinters() {
    QStringList names;
    for (const auto& dest : cups::listDestinations())
        names.push_back(dest.name);
    names.push_back(QString::fromLatin1(kSaveAsPdfPrinter));
    return names;
}

QString defaultPrinterName() {
    for (const auto& dest : cups::listDestinations()) {
        if (dest.isDefault)
            return dest.name;
    }
    return QString::fromLatin1(kSaveAsPdfPrinter);
}

} // namespace zendrik
