#include "layout/pagecount.h"

#include <algorithm>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace zendrik {

namespace {

// Enough text per batch that handing it out costs nothing next to breaking it.
constexpr qsizetype kBatchLength = 64 * 1024;

// The body, handed out in batches of whole paragraphs to the counting threads.
class BatchedBody {
public:
    BatchedBody(BodySource& body, std::stop_token stop) : body_(body), stop_(std::move(stop)) {}

    // Stops every thread after its current batch; the first exception is kept for the caller.
    void abandon(std::exception_ptr error) {
        std::lock_guard lock(mutex_);
        done_ = true;
        if (!error_)
            error_ = std::move(error);
    }
    std::exception_ptr error() const { return error_; }

    // Breaks the next batch with `breaker`, adding its line count to `lines`. Returns false when
    // the body has been read to its end (or reading failed). A paragraph longer than a batch is
    // broken piece by piece as it is read, so that memory stays bounded; the other threads wait
    // for it, as a single thread would have to.
    bool countNextBatch(LineBreaker& breaker, qint64& lines) {
        std::vector<std::pair<QString, bool>> batch;
        std::deque<BodyLine> out;
        auto breakAll = [&] {
            for (auto& [piece, ends] : batch) {
                breaker.addPiece(piece, ends, out);
                lines += qint64(out.size());
                out.clear();
            }
            batch.clear();
        };
        bool more = true;
        {
            std::lock_guard lock(mutex_);
            if (done_ || stop_.stop_requested())
                return false;
            qsizetype length = 0;
            for (;;) {
                QString piece;
                bool ends = true;
                if (!body_.next(piece, ends)) {
                    done_ = true;
                    more = false;
                    break;
                }
                length += piece.size();
                batch.emplace_back(std::move(piece), ends);
                if (length >= kBatchLength) {
                    if (ends)
                        break;
                    breakAll();
                    length = 0;
                }
            }
        }
        breakAll();
        // A body that stops inside a paragraph still prints the paragraph's last line.
        if (!more && breaker.holdsLine()) {
            breaker.addPiece(QString(), true, out);
            lines += qint64(out.size());
        }
        return more;
    }

private:
    BodySource& body_;
    std::stop_token stop_;
    std::mutex mutex_;
    bool done_ = false;
    std::exception_ptr error_;
};

} // namespace

int pagesForLines(qint64 lines, int first, int others) {
    if (lines <= first || others <= 0)
        return 1;
    return int(1 + (lines - first + others - 1) / others);
}

Result<PageCount> countPages(const LayoutSpec& spec, BodySource& body, const FontMetrics& metrics, int threads,
                             std::stop_token stop) {
    const LayoutEngine engine(spec, metrics);
    if (engine.roomFailure())
        return *engine.roomFailure();
    // Without a room failure, page 1 (the fullest) holds at least one line.
    const int first = engine.bodyLinesOnPage(1);
    const int others = engine.bodyLinesOnPage(2);
    Q_ASSERT(first > 0 && others >= first);

    BatchedBody batches(body, stop);
    auto countWith = [&](const FontMetrics& m) -> qint64 {
        try {
            LineBreaker breaker(m, FontRole::Body, engine.bodyWidth());
            qint64 lines = 0;
            while (batches.countNextBatch(breaker, lines)) {
            }
            return lines;
        } catch (...) {
            batches.abandon(std::current_exception());
            return 0;
        }
    };
    std::vector<qint64> helperLines(size_t(std::max(0, threads - 1)), 0);
    qint64 lines = 0;
    {
        std::vector<std::jthread> helpers;
        for (size_t i = 0; i < helperLines.size(); ++i) {
            // Each thread measures with fonts of its own, made on that thread.
            helpers.emplace_back([&, i] { helperLines[i] = countWith(*metrics.clone()); });
        }
        lines = countWith(metrics);
    }
    if (batches.error())
        std::rethrow_exception(batches.error());
    if (stop.stop_requested())
        return cancelledFailure();
    if (body.failure())
        return *body.failure();
    for (const qint64 n : helperLines)
        lines += n;
    return PageCount{pagesForLines(lines, first, others), lines};
}

} // namespace zendrik
