#pragma once
// The pages of a document as they would print, drawn on the caller's thread a few at a time. The
// page count comes from the counting pass printing uses. A page is laid out from the nearest page
// start known before it; pages between are laid out and dropped, never drawn, and their starts kept,
// so that any page up to the furthest one asked for costs one page.

#include "base/failure.h"
#include "base/settings.h"
#include "job/prepare.h"
#include "layout/fontmetrics.h"
#include "layout/layout.h"
#include "raster/pagepainter.h"

#include <QDateTime>
#include <QImage>

#include <memory>
#include <vector>

namespace zendrik {

class Preview {
public:
    // Opens the document of `settings` (as PrintDoc would freeze them), checks that its pages have
    // room and counts them; `started` is the date they show. Fails as a print would.
    static Result<std::unique_ptr<Preview>> open(const Settings& settings, const QDateTime& started);

    int pageCount() const { return pageCount_; }
    // The date the pages show; pages drawn later show it.
    Status setStarted(const QDateTime& started);
    // Page `number`, from 1 to pageCount(), as a picture of the whole sheet at `dpi`.
    Result<QImage> page(int number, qreal dpi);

    // What pages have cost so far: laid out (drawn or not), and drawn.
    int pagesLaidOut() const { return laidOut_; }
    int pagesDrawn() const { return drawn_; }

private:
    Preview(const Settings& settings, LayoutSpec spec);
    Status layOut(int number, Page& page);
    // From the start of the body (null) or from a page start.
    Status resumeAt(const PageStart* start);

    Settings settings_;
    LayoutSpec spec_;
    QtFontMetrics metrics_;
    PagePainter painter_;
    int pageCount_ = 0;
    std::unique_ptr<BodySource> body_;
    std::unique_ptr<LayoutEngine> engine_;
    int next_ = 0;                  // the page engine_ lays out next
    std::vector<PageStart> starts_; // of pages 1, 2, ... as far as laid out
    int laidOut_ = 0;
    int drawn_ = 0;
};

} // namespace zendrik
