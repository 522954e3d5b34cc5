#include "job/job.h"

#include "output/cupstarget.h"
#include "output/pdffile.h"

#include <QFileInfo>

namespace zendrik {

namespace {

std::unique_ptr<OutputTarget> makeTarget(const PreparedJob& prepared, std::stop_token stop) {
    const Settings& s = prepared.job.settings;
    if (prepared.toPdf) {
        const QString& exact = prepared.job.exactPdfPath;
        return std::make_unique<PdfFileTarget>(exact.isEmpty() ? pdfFolder() : QFileInfo(exact).absolutePath(), exact);
    }
    cups::JobSettings settings;
    settings.jobName = prepared.spec.title;
    settings.copies = s.copies;
    settings.paperSize = s.paperSize;
    settings.orientation = s.orientation;
    settings.paperBin = s.paperBin;
    settings.printQuality = s.printQuality;
    return std::make_unique<CupsTarget>(prepared.printer, settings, std::move(stop));
}

} // namespace

Result<OutputResult> runJob(const JobSnapshot& job, const QDateTime& started, std::stop_token stop,
                            const PageCallback& pageStarting) {
    try {
        Result<PreparedJob> prepared = prepareJob(job, started, stop);
        if (!prepared)
            return prepared.failure();
        const std::unique_ptr<OutputTarget> target = makeTarget(*prepared, stop);
        const PipelineInput input{prepared->spec, job.settings.fonts, *prepared->body, started};
        return runPipeline(input, *target, stop, pageStarting);
    } catch (...) {
        return internalFailure(std::current_exception());
    }
}

} // namespace zendrik
