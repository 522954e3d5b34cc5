// Stands in for the libcups back end when the component is built without it: no system printers,
// and any other printer name is unknown.
#include "output/cupsqueue.h"

namespace zendrik::cups {

namespace {
Failure noCups(const QString& queue) {
    return Failure{
        ErrorCode::UnknownPrinter,
        QStringLiteral("There is no printer named \"%1\": this build of the component has no CUPS support").arg(queue)};
}
} // namespace

QList<Destination> listDestinations() {
    return {};
}

Status checkDestination(const QString& queue, std::stop_token) {
    return noCups(queue);
}

struct Job::State {};

Job::Job(std::unique_ptr<State> state) : d(std::move(state)) {}
Job::~Job() = default;

Result<std::unique_ptr<Job>> Job::start(const QString& queue, const JobSettings&, std::stop_token) {
    return noCups(queue);
}

int Job::jobId() const {
    return 0;
}

Status Job::write(const char*, qint64) {
    return noCups(QString());
}

Result<Job::Accepted> Job::finish() {
    return noCups(QString());
}

void Job::cancel() noexcept {}

} // namespace zendrik::cups
