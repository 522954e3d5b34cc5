#pragma once
// Counting the pages of a body before it is printed ("Page N of M" needs M on page 1).

#include "base/failure.h"
#include "document/docreader.h"
#include "layout/fontmetrics.h"
#include "layout/layout.h"

#include <stop_token>

namespace zendrik {

struct PageCount {
    int pages = 0;
    qint64 lines = 0; // body lines in all
};

// The number of pages LayoutEngine gives for this body, without laying any page out. A
// paragraph takes the same number of lines wherever it starts, and every page after the first
// holds the same number of lines, so paragraphs are broken in batches on `threads` threads, in
// any order, and only their total is kept. A paragraph is never split between threads. Fails
// when the body cannot be read, the page has no room, or `stop` is requested (Cancelled).
Result<PageCount> countPages(const LayoutSpec& spec, BodySource& body, const FontMetrics& metrics, int threads,
                             std::stop_token stop = {});

// Pages for `lines` body lines when the first page holds `first` and every other `others`.
int pagesForLines(qint64 lines, int first, int others);

} // namespace zendrik
