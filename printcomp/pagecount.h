#pragma once
// Counting the pages of a body before it is printed ("Page N of M" needs M on page 1).

#include "docreader.h"
#include "fontmetrics.h"
#include "layout.h"

namespace zendrik {

struct PageCount {
    int pages = 0;
    qint64 lines = 0;        // body lines in all
    QString error;           // why the body could not be counted; pages is then 0
    bool readFailed = false; // the error is the body's own (reading), not the layout's
};

// The number of pages LayoutEngine gives for this body, without laying any page out. A
// paragraph takes the same number of lines wherever it starts, and every page after the first
// holds the same number of lines, so paragraphs are broken in batches on `threads` threads, in
// any order, and only their total is kept. A paragraph is never split between threads.
PageCount countPages(const LayoutSpec& spec, BodySource& body, const FontMetrics& metrics, int threads);

// Pages for `lines` body lines when the first page holds `first` and every other `others`.
int pagesForLines(qint64 lines, int first, int others);

} // namespace zendrik
