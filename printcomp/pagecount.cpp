#include "pagecount.h"

#include <algorithm>
#include <deque>
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
    explicit BatchedBody(BodySource& body) : body_(body) {}

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
            if (done_)
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
    std::mutex mutex_;
    bool done_ = false;
};

} // namespace

int pagesForLines(qint64 lines, int first, int others) {
    if (lines <= first || others <= 0)
        return 1;
    return int(1 + (lines - first + others - 1) / others);
}

PageCount countPages(const LayoutSpec& spec, BodySource& body, const FontMetrics& metrics, int threads) {
    PageCount count;
    const LayoutEngine engine(spec, metrics);
    if (!engine.roomError().isEmpty()) {
        count.error = engine.roomError();
        return count;
    }
    // Without a room error, page 1 (the fullest) holds at least one line.
    const int first = engine.bodyLinesOnPage(1);
    const int others = engine.bodyLinesOnPage(2);
    Q_ASSERT(first > 0 && others >= first);

    BatchedBody batches(body);
    auto countWith = [&](const FontMetrics& m) {
        LineBreaker breaker(m, FontRole::Body, engine.bodyWidth());
        qint64 lines = 0;
        while (batches.countNextBatch(breaker, lines)) {
        }
        return lines;
    };
    std::vector<qint64> helperLines(size_t(std::max(0, threads - 1)), 0);
    std::vector<std::thread> helpers;
    for (size_t i = 0; i < helperLines.size(); ++i) {
        // Each thread measures with fonts of its own, made on that thread.
        helpers.emplace_back([&, i] { helperLines[i] = countWith(*metrics.clone()); });
    }
    qint64 lines = countWith(metrics);
    for (size_t i = 0; i < helpers.size(); ++i) {
        helpers[i].join();
        lines += helperLines[i];
    }
    if (!body.error().isEmpty()) {
        count.error = body.error();
        count.readFailed = true;
        return count;
    }
    count.lines = lines;
    count.pages = pagesForLines(lines, first, others);
    return count;
}

} // namespace zendrik
