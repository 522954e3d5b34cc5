#pragma once
// The pages of a job from layout to output: layout runs ahead on a thread of its own, at most a
// few pages, while the calling thread hands each page to the output target.

#include "base/failure.h"
#include "base/settings.h"
#include "document/docreader.h"
#include "layout/layout.h"
#include "output/outputtarget.h"

#include <QDateTime>

#include <functional>
#include <stop_token>

namespace zendrik {

// Called just before page n (from 1) is written, on the thread that runs the pipeline, with the
// job's page count when it was counted ("Page N of M"), else 0.
using PageCallback = std::function<void(int page, int pageCount)>;

struct PipelineInput {
    const LayoutSpec& spec;
    const std::array<FontSpec, kFontRoles>& fonts;
    BodySource& body;
    QDateTime created;
};

// Writes the whole document to `target` (begin, every page, finish). On any failure, on
// `stop`, or when anything throws, the target is aborted and nothing of the job remains. An
// exception, on the layout thread or this one, comes back as a failure with code Internal.
Result<OutputResult> runPipeline(const PipelineInput& input, OutputTarget& target, std::stop_token stop,
                                 const PageCallback& pageStarting);

// The failure an exception that escaped a step of the job stands for.
Failure internalFailure(const std::exception_ptr& error);

} // namespace zendrik
