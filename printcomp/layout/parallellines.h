#pragma once
// The body's lines broken on several threads, handed out in order: what lets layout use every core
// while pages are still laid out, and written, one after another.

#include "document/docreader.h"
#include "layout/layout.h"

#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <stop_token>
#include <thread>
#include <vector>

namespace zendrik {

// Reads the body on the calling thread in batches of whole paragraphs, which `threads` workers
// break into lines; lines come back in the body's order, exactly as one LineBreaker would give
// them. A paragraph longer than a batch goes on in the next batch, broken only once the batch
// before has handed over its unfinished line. A few batches are under way at most, so memory does
// not grow with the body. Used by one thread; destroying it stops the workers.
class ParallelLines : public LineSource {
public:
    // Enough text per batch that handing it over costs nothing next to breaking it, little enough
    // that the first page comes at once and the batches under way hold little.
    static constexpr qsizetype kBatchLength = 8 * 1024;

    // `batchLength`: the characters a batch aims at (a batch holds at least one piece of the body).
    ParallelLines(BodySource& body, const FontSet& fonts, qreal width, qreal tabDistance, int threads,
                  qsizetype batchLength = kBatchLength);
    ~ParallelLines() override;
    ParallelLines(const ParallelLines&) = delete;
    ParallelLines& operator=(const ParallelLines&) = delete;

    // Rethrows what breaking a batch threw, when its lines are reached.
    bool next(BodyLine& line) override;
    std::optional<Failure> failure() const override { return body_.failure(); }

private:
    struct Batch;
    bool readBatch();
    void submit(const std::shared_ptr<Batch>& batch);
    void work(std::stop_token stop);
    void breakBatch(Batch& batch) const;

    BodySource& body_;
    const FontSet& fonts_;
    qreal width_;
    qreal tabDistance_;
    qsizetype batchLength_;
    size_t maxBatches_;
    bool bodyEnded_ = false;
    bool lastEndsParagraph_ = true;
    std::deque<std::shared_ptr<Batch>> batches_; // in the body's order; the front's lines are next
    std::shared_ptr<Batch> lastSubmitted_;
    std::deque<BodyLine> lines_;

    std::mutex mutex_;
    std::condition_variable_any work_;
    std::condition_variable done_;
    std::deque<std::shared_ptr<Batch>> queue_; // ready for a worker
    std::vector<std::jthread> workers_;
};

} // namespace zendrik
