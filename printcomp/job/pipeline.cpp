#include "job/pipeline.h"

#include "layout/fontmetrics.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>

namespace zendrik {

namespace {

// Pages laid out ahead of the one being written; bounded so that memory does not grow with the
// document.
constexpr size_t kPagesAhead = 4;

// Pages handed from the layout thread to the writing thread. Both sides stop waiting as soon as
// their stop token is requested.
class PageQueue {
public:
    // False when the consumer is gone (stop requested).
    bool push(PreparedPage&& page, std::stop_token stop) {
        std::unique_lock lock(mutex_);
        if (!notFull_.wait(lock, stop, [&] { return pages_.size() < kPagesAhead; }))
            return false;
        pages_.push_back(std::move(page));
        notEmpty_.notify_one();
        return true;
    }
    // No more pages; a failure says why the layout stopped early.
    void close(std::optional<Failure> failure) {
        std::lock_guard lock(mutex_);
        closed_ = true;
        failure_ = std::move(failure);
        notEmpty_.notify_all();
    }
    // False at the end of the pages, or when stop is requested first.
    bool pop(PreparedPage& page, std::stop_token stop) {
        std::unique_lock lock(mutex_);
        if (!notEmpty_.wait(lock, stop, [&] { return !pages_.empty() || closed_; }) || pages_.empty())
            return false;
        page = std::move(pages_.front());
        pages_.pop_front();
        notFull_.notify_one();
        return true;
    }
    std::optional<Failure> failure() const {
        std::lock_guard lock(mutex_);
        return failure_;
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable_any notEmpty_;
    std::condition_variable_any notFull_;
    std::deque<PreparedPage> pages_;
    bool closed_ = false;
    std::optional<Failure> failure_;
};

// Aborts the target unless the job got through to the end.
class AbortUnlessFinished {
public:
    explicit AbortUnlessFinished(OutputTarget& target) : target_(target) {}
    ~AbortUnlessFinished() {
        if (!finished_)
            target_.abort();
    }
    void finished() { finished_ = true; }

private:
    OutputTarget& target_;
    bool finished_ = false;
};

void layOut(const PipelineInput& input, PageQueue& queue, std::stop_token stop, std::stop_token jobStop) {
    try {
        // This thread's own fonts: Qt's font objects are not shared between threads.
        QtFontMetrics metrics(input.fonts);
        LayoutEngine engine(input.spec, metrics);
        Page page;
        while (!jobStop.stop_requested() && engine.nextPage(input.body, page)) {
            if (!queue.push(std::move(page), stop))
                return;
        }
        queue.close(engine.failure());
    } catch (...) {
        queue.close(internalFailure(std::current_exception()));
    }
}

} // namespace

Failure internalFailure(const std::exception_ptr& error) {
    QString what = QStringLiteral("an unknown exception");
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        what = QString::fromLocal8Bit(e.what());
    } catch (...) {
    }
    return Failure{ErrorCode::Internal, QStringLiteral("The print failed inside the component: %1").arg(what)};
}

Result<OutputResult> runPipeline(const PipelineInput& input, OutputTarget& target, std::stop_token stop,
                                 const PageCallback& pageStarting) {
    AbortUnlessFinished guard(target);
    try {
        const DocumentDescription document{input.spec.title, input.created, input.spec.geometry.paper, input.fonts};
        if (Status begun = target.begin(document); !begun)
            return begun.failure();

        PageQueue queue;
        qint64 boxed = 0;
        {
            // Leaving this block by any way stops the layout thread and joins it.
            std::jthread layout([&](std::stop_token own) { layOut(input, queue, own, stop); });
            PreparedPage page;
            int number = 0;
            boxed = 0;
            while (!stop.stop_requested() && queue.pop(page, stop)) {
                pageStarting(++number);
                if (Status written = target.page(page); !written)
                    return written.failure();
                boxed += page.boxedCharacters;
            }
        }
        if (stop.stop_requested())
            return cancelledFailure();
        if (const std::optional<Failure> failed = queue.failure())
            return *failed;
        Result<OutputResult> result = target.finish();
        if (result) {
            guard.finished();
            result.value().boxedCharacters = boxed;
        }
        return result;
    } catch (...) {
        return internalFailure(std::current_exception());
    }
}

} // namespace zendrik
