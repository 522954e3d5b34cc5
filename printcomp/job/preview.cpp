#include "job/preview.h"

#include "layout/pagecount.h"

#include <algorithm>
#include <thread>

namespace zendrik {

namespace {

std::array<bool, kFontRoles> underlined(const Settings& s) {
    std::array<bool, kFontRoles> result{};
    for (size_t i = 0; i < result.size(); ++i)
        result[i] = s.fonts[i].underline;
    return result;
}

} // namespace

Preview::Preview(const Settings& settings, LayoutSpec spec)
    : settings_(settings), spec_(std::move(spec)), metrics_(settings.fonts), painter_(underlined(settings)) {}

Result<std::unique_ptr<Preview>> Preview::open(const Settings& settings, const QDateTime& started) {
    Result<OpenedDocument> doc = openDocument(settings);
    if (!doc)
        return doc.failure();
    std::unique_ptr<Preview> preview(new Preview(settings, layoutSpec(settings, doc->parts, started)));
    if (const LayoutEngine check(preview->spec_, preview->metrics_); check.roomFailure())
        return *check.roomFailure();
    const int cores = std::clamp(int(std::thread::hardware_concurrency()), 1, 8);
    Result<PageCount> count = countPages(preview->spec_, *doc->body, preview->metrics_, cores);
    if (!count)
        return count.failure();
    preview->pageCount_ = count->pages;
    if (settings.printPageNumbers) {
        preview->spec_.pageCount = count->pages;
        // "Page M of M" must fit as well.
        if (const LayoutEngine check(preview->spec_, preview->metrics_); check.roomFailure())
            return *check.roomFailure();
    }
    return preview;
}

Status Preview::setStarted(const QDateTime& started) {
    const QString date = layoutSpec(settings_, DocumentParts{}, started).dateText;
    if (date == spec_.dateText)
        return {};
    // Page starts stay: the date takes the same room whatever it says.
    spec_.dateText = date;
    engine_.reset();
    if (const LayoutEngine check(spec_, metrics_); check.roomFailure())
        return *check.roomFailure();
    return {};
}

Result<QImage> Preview::page(int number, qreal dpi) {
    if (number < 1 || number > pageCount_) {
        return Failure{ErrorCode::NoSuchPage,
                       QStringLiteral("There is no page %1: the document has %2 %3.")
                           .arg(number)
                           .arg(pageCount_)
                           .arg(pageCount_ == 1 ? QStringLiteral("page") : QStringLiteral("pages"))};
    }
    Page laid;
    if (Status done = layOut(number, laid); !done)
        return done.failure();
    QImage image = painter_.render(laid, sheetSize(spec_.geometry.paper), dpi);
    ++drawn_;
    if (image.isNull()) {
        return Failure{
            ErrorCode::Internal,
            QStringLiteral("There is not enough memory for a picture of page %1 at %2 dpi.").arg(number).arg(dpi)};
    }
    return image;
}

Status Preview::resumeAt(const PageStart* start) {
    Result<OpenedDocument> doc = openDocument(settings_);
    if (!doc)
        return doc.failure();
    body_ = std::move(doc->body);
    engine_ = std::make_unique<LayoutEngine>(spec_, metrics_);
    next_ = 1;
    if (!start)
        return {};
    if (!body_->skipTo(start->piece) || !engine_->resume(*start, *body_)) {
        engine_.reset();
        if (body_->failure())
            return *body_->failure();
        return Failure{ErrorCode::DocumentUnreadable,
                       QStringLiteral("The document file changed while its pages were shown.")};
    }
    next_ = start->page;
    return {};
}

Status Preview::layOut(int number, Page& page) {
    // The nearest start known at or before the page, unless the engine already stands between.
    const int known = std::min(number, int(starts_.size()));
    if (!engine_ || next_ > number || next_ < known) {
        if (Status resumed = resumeAt(known > 0 ? &starts_[size_t(known - 1)] : nullptr); !resumed)
            return resumed;
    }
    while (next_ <= number) {
        if (size_t(next_) > starts_.size())
            starts_.push_back(engine_->nextPageStart(*body_));
        const bool laid = engine_->nextPage(*body_, page);
        if (!laid) {
            const std::optional<Failure> failed = engine_->failure();
            engine_.reset();
            if (failed)
                return *failed;
            return Failure{
                ErrorCode::NoSuchPage,
                QStringLiteral("There is no page %1: the document ends on page %2.").arg(number).arg(next_ - 1)};
        }
        ++laidOut_;
        ++next_;
    }
    return {};
}

} // namespace zendrik
