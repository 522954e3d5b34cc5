#include "job/job.h"

#include "output/cupstarget.h"
#include "output/pdffile.h"
#include "output/streamtarget.h"

#include <QFileInfo>

namespace zendrik {

namespace {

std::unique_ptr<OutputTarget> makeTarget(const PreparedJob& prepared, std::stop_token stop) {
    const Settings& s = prepared.job.settings;
    if (prepared.toPdf) {
        const JobSnapshot& job = prepared.job;
        if (job.exactPdfPath.isEmpty())
            return std::make_unique<PdfFileTarget>(pdfFolder(), QString());
        if (job.pdfDescriptor) {
            return std::make_unique<PdfStreamTarget>(FileDescriptor(duplicateDescriptor(job.pdfDescriptor->get())),
                                                     job.exactPdfPath, std::move(stop));
        }
        const ResolvedPdfPath& path = prepared.pdfPath;
        if (path.stream)
            return std::make_unique<PdfStreamTarget>(path.path, std::move(stop));
        return std::make_unique<PdfFileTarget>(QFileInfo(path.path).absolutePath(), path.path);
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
