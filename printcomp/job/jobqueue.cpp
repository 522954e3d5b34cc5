#include "job/jobqueue.h"

#include <QCoreApplication>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace zendrik {

namespace {

// Every job thread of the process, so that the application's end can wait for them.
class JobThreads {
public:
    static JobThreads& instance() {
        // Never destroyed: a thread may still be on its way out while the process exits.
        static auto* threads = new JobThreads;
        return *threads;
    }

    void starting() {
        std::lock_guard lock(mutex_);
        ++running_;
        if (!waitRegistered_ && QCoreApplication::instance()) {
            // Runs at the start of the application object's destruction, while fonts still work.
            qAddPostRoutine(&waitForAllJobs);
            waitRegistered_ = true;
        }
    }
    void ended() {
        std::lock_guard lock(mutex_);
        if (--running_ == 0)
            idle_.notify_all();
    }
    void waitForAll() {
        std::unique_lock lock(mutex_);
        idle_.wait(lock, [&] { return running_ == 0; });
        waitRegistered_ = false;
    }

private:
    std::mutex mutex_;
    std::condition_variable idle_;
    int running_ = 0;
    bool waitRegistered_ = false;
};

} // namespace

struct JobQueue::Shared {
    struct Entry {
        JobSnapshot job;
        std::stop_source stop;
    };
    Events events;
    std::mutex mutex;
    std::deque<Entry> waiting;
    std::stop_source running{std::nostopstate}; // of the job under way; none while idle
    bool threadRunning = false;
};

JobQueue::JobQueue(Events events) : shared_(std::make_shared<Shared>()) {
    shared_->events = std::move(events);
}

JobQueue::~JobQueue() = default;

void JobQueue::submit(JobSnapshot job) {
    std::lock_guard lock(shared_->mutex);
    shared_->waiting.push_back(Shared::Entry{std::move(job), {}});
    if (shared_->threadRunning)
        return;
    shared_->threadRunning = true;
    JobThreads::instance().starting();
    std::thread(&JobQueue::work, shared_).detach();
}

void JobQueue::cancelAll() {
    std::lock_guard lock(shared_->mutex);
    for (Shared::Entry& entry : shared_->waiting)
        entry.stop.request_stop();
    shared_->running.request_stop();
}

void JobQueue::work(std::shared_ptr<Shared> shared) {
    for (;;) {
        Shared::Entry entry;
        {
            std::lock_guard lock(shared->mutex);
            if (shared->waiting.empty()) {
                shared->threadRunning = false;
                shared->running = std::stop_source(std::nostopstate);
                break;
            }
            entry = std::move(shared->waiting.front());
            shared->waiting.pop_front();
            shared->running = entry.stop;
        }
        const std::stop_token stop = entry.stop.get_token();
        const Result<OutputResult> outcome =
            stop.stop_requested() ? Result<OutputResult>(cancelledFailure())
                                  : runJob(entry.job, QDateTime::currentDateTime(), stop, shared->events.pageStarting);
        shared->events.finished(outcome);
    }
    shared.reset();
    JobThreads::instance().ended();
}

void waitForAllJobs() {
    JobThreads::instance().waitForAll();
}

} // namespace zendrik
