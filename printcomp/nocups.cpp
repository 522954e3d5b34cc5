// Stands in for the libcups back end when the component is built without it: no system printers,
// and a submission fails with the reason.
#include "cupsqueue.h"

namespace zendrik::cups {

QList<Destination> listDestinations() {
    return {};
}

DestinationCheck checkDestination(const QString& queue) {
    DestinationCheck check;
    check.unknown = true;
    check.error =
        QStringLiteral("There is no printer named \"%1\": this build of the component has no CUPS support").arg(queue);
    return check;
}

SubmitResult submitPdf(const QString&, const QString&, const JobSettings&) {
    SubmitResult result;
    result.error = QStringLiteral("this build of the component has no CUPS support");
    return result;
}

} // namespace zendrik::cups
