#pragma once
// One print job from its snapshot to its outcome: prepare, choose the output target, run the
// pipeline. Runs on the calling thread.

#include "job/pipeline.h"
#include "job/prepare.h"

namespace zendrik {

// Never throws: whatever escapes a step ends the job as an Internal failure.
Result<OutputResult> runJob(const JobSnapshot& job, const QDateTime& started, std::stop_token stop,
                            const PageCallback& pageStarting);

} // namespace zendrik
