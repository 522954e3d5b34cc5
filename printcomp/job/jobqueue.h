#pragma once
// The jobs of one component, run one after another on a thread of their own.
//
// The queue's owner never waits for a job: destroying the queue leaves the jobs already queued
// to finish on their thread (they are the user's prints), and their events still go to the
// callbacks, which must then drop them. Before the application object goes, its destruction
// waits for every job of every queue (waitForAllJobs).

#include "job/job.h"

#include <memory>

namespace zendrik {

class JobQueue {
public:
    struct Events {
        // Both are called on the jobs' thread.
        PageCallback pageStarting;
        std::function<void(const Result<OutputResult>&)> finished;
    };

    explicit JobQueue(Events events);
    ~JobQueue();
    JobQueue(const JobQueue&) = delete;
    JobQueue& operator=(const JobQueue&) = delete;

    void submit(JobSnapshot job);
    // The running job stops as soon as it can and every queued one ends without starting; each
    // ends with a Cancelled failure. Jobs submitted later run as usual.
    void cancelAll();

private:
    struct Shared;
    static void work(std::shared_ptr<Shared> shared);
    std::shared_ptr<Shared> shared_;
};

// Blocks until every job of every queue in the process has ended.
void waitForAllJobs();

} // namespace zendrik
