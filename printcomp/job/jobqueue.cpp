#include "job/jobqueue.h"

#include <QCoreApplication>

#include <condition_variable>
#include <deque>
#include <functional>
#include <list>
#include <mutex>
#include <thread>

namespace zendrik {

namespace {

// Every job thread of the process, so that the application's end can wait for them. The threads
// are joined there (and, once finished, when the next one starts), not detached: a thread's fonts
// and caches are gone only once it has ended completely.
class JobThreads {
public:
    static JobThreads& instance() {
        // Never destroyed: a thread may still be on its way out while the process exits.
        static auto* threads = new JobThreads;
        return *threads;
    }

    void run(std::function<void()> work) {
        std::list<Thread> finished;
        {
            std::lock_guard lock(mutex_);
            takeFinished(finished);
            ++running_;
            if (!waitRegistered_ && QCoreApplication::instance()) {
                // Runs at the start of the application object's destruction, while fonts still work.
                qAddPostRoutine(&waitForAllJobs);
                waitRegistered_ = true;
            }
            const auto entry = threads_.emplace(threads_.end());
            entry->thread = std::thread([this, entry, work = std::move(work)] {
                work();
                std::lock_guard lock(mutex_);
                entry->finished = true;
                if (--running_ == 0)
                    idle_.notify_all();
            });
        }
        for (Thread& thread : finished)
            thread.thread.join();
    }
    void waitForAll() {
        std::list<Thread> all;
        {
            std::unique_lock lock(mutex_);
            idle_.wait(lock, [&] { return running_ == 0; });
            all.swap(threads_);
            waitRegistered_ = false;
        }
        for (Thread& thread : all)
            thread.thread.join();
    }

private:
    struct Thread {
        std::thread thread;
        bool finished = false;
    };
    void takeFinished(std::list<Thread>& into) {
        for (auto it = threads_.begin(); it != threads_.end();) {
            const auto next = std::next(it);
            if (it->finished)
                into.splice(into.end(), threads_, it);
            it = next;
        }
    }

    std::mutex mutex_;
    std::condition_variable idle_;
    std::list<Thread> threads_;
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
    JobThreads::instance().run([shared = shared_] { work(shared); });
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
}

void waitForAllJobs() {
    JobThreads::instance().waitForAll();
}

} // namespace zendrik
