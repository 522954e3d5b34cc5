#include "layout/parallellines.h"

namespace zendrik {

struct ParallelLines::Batch {
    std::vector<std::pair<QString, bool>> pieces; // text, whether it ends its paragraph
    bool continues = false;                       // starts inside the paragraph the batch before ends in
    bool last = false;                            // the body ends with it
    QString heldIn;                               // the line the batch before left unfinished
    // Filled by the worker:
    std::deque<BodyLine> lines;
    QString heldOut;
    std::exception_ptr error;
    bool done = false;
    std::shared_ptr<Batch> successor; // continues this one: queued once this one is done
};

ParallelLines::ParallelLines(BodySource& body, const FontSet& fonts, qreal width, qreal tabDistance, int threads,
                             qsizetype batchLength)
    : body_(body), fonts_(fonts), width_(width), tabDistance_(tabDistance),
      batchLength_(std::max<qsizetype>(1, batchLength)), maxBatches_(size_t(2 * std::max(1, threads) + 1)) {
    for (int i = 0; i < std::max(1, threads); ++i)
        workers_.emplace_back([this](std::stop_token stop) { work(std::move(stop)); });
}

ParallelLines::~ParallelLines() {
    for (std::jthread& worker : workers_)
        worker.request_stop();
    work_.notify_all();
    workers_.clear();
}

void ParallelLines::breakBatch(Batch& batch) const {
    LineBreaker breaker(fonts_, FontRole::Body, width_, tabDistance_);
    if (batch.continues)
        breaker.holdText(batch.heldIn);
    for (auto& [piece, ends] : batch.pieces)
        breaker.addPiece(piece, ends, batch.lines);
    batch.pieces.clear();
    // A body that stops inside a paragraph still prints the paragraph's last line.
    if (batch.last && breaker.holdsLine())
        breaker.addPiece(QString(), true, batch.lines);
    batch.heldOut = breaker.heldText();
}

void ParallelLines::work(std::stop_token stop) {
    for (;;) {
        std::shared_ptr<Batch> batch;
        {
            std::unique_lock lock(mutex_);
            if (!work_.wait(lock, stop, [&] { return !queue_.empty(); }))
                return;
            batch = std::move(queue_.front());
            queue_.pop_front();
        }
        try {
            breakBatch(*batch);
        } catch (...) {
            batch->error = std::current_exception();
        }
        {
            std::lock_guard lock(mutex_);
            batch->done = true;
            if (batch->successor) {
                batch->successor->heldIn = std::move(batch->heldOut);
                queue_.push_back(std::move(batch->successor));
                work_.notify_one();
            }
        }
        done_.notify_all();
    }
}

void ParallelLines::submit(const std::shared_ptr<Batch>& batch) {
    {
        std::lock_guard lock(mutex_);
        if (batch->continues && lastSubmitted_ && !lastSubmitted_->done) {
            lastSubmitted_->successor = batch;
        } else {
            if (batch->continues && lastSubmitted_)
                batch->heldIn = std::move(lastSubmitted_->heldOut);
            queue_.push_back(batch);
            work_.notify_one();
        }
    }
    lastSubmitted_ = batch;
    batches_.push_back(batch);
}

// Reads the next batch and hands it to the workers; false at the end of the body.
bool ParallelLines::readBatch() {
    auto batch = std::make_shared<Batch>();
    batch->continues = !lastEndsParagraph_;
    qsizetype length = 0;
    while (length < batchLength_) {
        QString piece;
        bool ends = true;
        if (!body_.next(piece, ends)) {
            bodyEnded_ = true;
            break;
        }
        length += piece.size();
        batch->pieces.emplace_back(std::move(piece), ends);
        lastEndsParagraph_ = ends;
        // Whole paragraphs while they are short; a long one is cut where a piece ends.
        if (ends && length >= batchLength_ / 2)
            break;
    }
    if (bodyEnded_) {
        if (body_.failure())
            return false;
        batch->last = true;
        if (batch->pieces.empty() && !batch->continues)
            return false;
    }
    submit(batch);
    return true;
}

bool ParallelLines::next(BodyLine& line) {
    for (;;) {
        if (!lines_.empty()) {
            line = std::move(lines_.front());
            lines_.pop_front();
            return true;
        }
        while (!bodyEnded_ && batches_.size() < maxBatches_) {
            if (!readBatch())
                break;
        }
        if (batches_.empty())
            return false;
        std::shared_ptr<Batch> front = std::move(batches_.front());
        batches_.pop_front();
        {
            std::unique_lock lock(mutex_);
            done_.wait(lock, [&] { return front->done; });
        }
        if (front->error)
            std::rethrow_exception(front->error);
        lines_ = std::move(front->lines);
    }
}

} // namespace zendrik
