#include "layoutchecks.h"

#include "layout/pagecount.h"
#include "layout/parallellines.h"

#include <array>
#include <string_view>

using namespace zendrik;

namespace layoutchecks {

namespace {

// Layout places in points with sums of measured advances; a hundredth of a point is far below
// anything a printer shows and far above rounding.
constexpr qreal kTolerance = 0.01;
// The least space between parts that must not touch.
constexpr qreal kMinGap = 1.0;

QString where(const Page& page, const QString& what) {
    return QStringLiteral("page %1: %2").arg(page.number).arg(what);
}

QString describe(const QRectF& r) {
    return QStringLiteral("(%1, %2, %3 x %4)").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
}

bool inside(const QRectF& outer, const QRectF& inner) {
    return inner.left() >= outer.left() - kTolerance && inner.right() <= outer.right() + kTolerance &&
           inner.top() >= outer.top() - kTolerance && inner.bottom() <= outer.bottom() + kTolerance;
}

QString roleName(FontRole role) {
    static const std::array<const char*, kFontRoles> names{"title", "body", "header", "footer"};
    return QLatin1String(names[static_cast<size_t>(role)]);
}

QStringList runsOf(const Page& page) {
    QStringList runs;
    for (const TextRun& run : page.runs)
        runs << QStringLiteral("%1@%2,%3").arg(run.text).arg(run.origin.x()).arg(run.origin.y());
    return runs;
}

} // namespace

QString printableCharacters(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        if (!c.isSpace())
            out.append(c);
    }
    return out;
}

namespace {

// The same body laid out as the other paths do: lines broken on one thread as the body is read, and
// pages counted from the lines alone, as the preview counts them.
QString crossChecked(const LayoutSpec& spec, const QString& body, const FontMetrics& metrics,
                     const QList<Page>& pages) {
    // Lines broken on one thread, as the body is read, must be the same lines.
    LayoutEngine serial(spec, metrics);
    Page page;
    StringBodySource again(body);
    qsizetype index = 0;
    while (serial.nextPage(again, page)) {
        if (index >= pages.size() || runsOf(page) != runsOf(pages[index]) || page.bodyLines != pages[index].bodyLines) {
            return QStringLiteral("page %1 differs between lines broken on one thread and on three").arg(page.number);
        }
        ++index;
    }
    if (index != pages.size()) {
        return QStringLiteral("one thread gives %1 pages, three %2").arg(index).arg(pages.size());
    }
    // The preview counts pages on several threads from the number of body lines alone: it must
    // agree with laying them out, line for line.
    LayoutSpec uncounted = spec;
    uncounted.pageCountPending = false;
    StringBodySource counting(body);
    const Result<PageCount> counted = countPages(uncounted, counting, metrics, 3);
    qint64 bodyLines = 0;
    for (const Page& p : pages)
        bodyLines += p.bodyLines;
    if (!counted) {
        return QStringLiteral("counting failed: %1").arg(counted.failure().message);
    }
    if (counted.value().pages != pages.size() || counted.value().lines != bodyLines) {
        return QStringLiteral("laid out: %1 pages, %2 lines; counted: %3 pages, %4 lines")
            .arg(pages.size())
            .arg(bodyLines)
            .arg(counted.value().pages)
            .arg(counted.value().lines);
    }
    return QString();
}

} // namespace

Laid layOut(LayoutSpec spec, const QString& body, const FontMetrics& metrics, bool crossCheck) {
    Laid laid;
    spec.pageCountPending = spec.pageNumbers;
    laid.spec = spec;
    LayoutEngine engine(spec, metrics);
    StringBodySource source(body);
    // Small batches on three threads, so that paragraphs cross batches and finish out of order.
    ParallelLines lines(source, metrics.fontSet(), engine.bodyWidth(), engine.tabDistance(), 3, 256);
    Page page;
    while (engine.nextPage(lines, page))
        laid.pages.push_back(page);
    laid.error = engine.failure() ? engine.failure()->message : QString();
    if (!laid.error.isEmpty())
        return laid;
    if (crossCheck)
        laid.error = crossChecked(spec, body, metrics, laid.pages);
    if (!laid.error.isEmpty())
        return laid;
    if (spec.pageNumbers) {
        // What the writer does once the last page is out: each page gets "Page N of M".
        const int count = int(laid.pages.size());
        laid.spec.pageCount = count;
        for (Page& p : laid.pages) {
            if (!p.pageNumberPending) {
                laid.error = QStringLiteral("page %1 does not wait for the page count").arg(p.number);
                return laid;
            }
            p.pageNumberPending = false;
            p.runs.push_back(engine.pageNumberRun(p.number, count));
        }
    }
    return laid;
}

QString check(const LayoutSpec& spec, const FontMetrics& metrics, const QList<Page>& pages, const QString& body) {
    if (pages.isEmpty())
        return QStringLiteral("no page at all");
    const QRectF paper(QPointF(0, 0), spec.geometry.paper);
    const QRectF margins = spec.geometry.marginRect();
    if (!inside(paper, margins))
        return QStringLiteral("the area inside the margins %1 is not on the paper").arg(describe(margins));
    const qsizetype count = pages.size();
    QString printed;
    for (qsizetype index = 0; index < count; ++index) {
        const Page& page = pages[index];
        if (page.number != index + 1)
            return QStringLiteral("page %1 is numbered %2").arg(index + 1).arg(page.number);
        if (index > 0 && page.bodyLines == 0)
            return where(page, QStringLiteral("a page without body lines"));
        if (spec.border ? page.border != margins : !page.border.isNull())
            return where(page,
                         QStringLiteral("border %1 for margins %2").arg(describe(page.border), describe(margins)));

        struct Band {
            const char* name;
            QRectF rect;
        };
        const std::array<Band, 6> bands{Band{"header", page.headerBand},
                                        Band{"title", page.titleBand},
                                        Band{"body", page.bodyBand},
                                        Band{"footer", page.footerBand},
                                        Band{"page number", page.pageNumberBand},
                                        Band{"date", page.dateBand}};
        for (size_t i = 0; i < bands.size(); ++i) {
            if (bands[i].rect.isNull())
                continue;
            if (bands[i].rect.height() < -kTolerance || !inside(margins, bands[i].rect))
                return where(page, QStringLiteral("%1 band %2 outside the margins %3")
                                       .arg(QLatin1String(bands[i].name), describe(bands[i].rect), describe(margins)));
            for (size_t j = i + 1; j < bands.size(); ++j) {
                if (bands[j].rect.isNull())
                    continue;
                const qreal overlap = std::min(bands[i].rect.bottom(), bands[j].rect.bottom()) -
                                      std::max(bands[i].rect.top(), bands[j].rect.top());
                if (overlap > kTolerance)
                    return where(page, QStringLiteral("%1 and %2 bands overlap by %3 points")
                                           .arg(QLatin1String(bands[i].name), QLatin1String(bands[j].name))
                                           .arg(overlap));
                // The body stands apart from every other part, and the title from the header, so
                // that no two parts read as one; the footer, page number and date are stacked.
                const bool apart = bands[i].name == std::string_view("body") ||
                                   bands[j].name == std::string_view("body") || (i == 0 && j == 1);
                if (apart && -overlap < kMinGap)
                    return where(page, QStringLiteral("%1 and %2 bands are only %3 points apart")
                                           .arg(QLatin1String(bands[i].name), QLatin1String(bands[j].name))
                                           .arg(-overlap));
            }
        }
        if (page.bodyBand.isNull())
            return where(page, QStringLiteral("no body band"));
        if (page.titleBand.isNull() != (index > 0 || spec.title.isEmpty()))
            return where(page, QStringLiteral("title band present on the wrong page"));
        if (page.pageNumberBand.isNull() == spec.pageNumbers || page.dateBand.isNull() == spec.dateTime)
            return where(page, QStringLiteral("page-number or date band does not follow the options"));

        for (const QLineF& rule : page.rules) {
            if (!inside(margins, QRectF(rule.p1(), rule.p2()).normalized()))
                return where(page, QStringLiteral("a rule at y = %1 outside the margins").arg(rule.y1()));
            for (const Band& band : bands) {
                if (!band.rect.isNull() && rule.y1() > band.rect.top() + kTolerance &&
                    rule.y1() < band.rect.bottom() - kTolerance)
                    return where(page, QStringLiteral("a rule at y = %1 crosses the %2 band")
                                           .arg(rule.y1())
                                           .arg(QLatin1String(band.name)));
            }
        }
        const int expectedRules = (spec.lineBelowHeader ? 1 : 0) + (spec.lineAboveFooter ? 1 : 0);
        if (page.rules.size() != expectedRules)
            return where(page, QStringLiteral("%1 rules, expected %2").arg(page.rules.size()).arg(expectedRules));

        int pageNumberRuns = 0;
        int dateRuns = 0;
        for (const TextRun& run : page.runs) {
            const qreal ascent = metrics.ascent(run.role);
            const qreal descent = metrics.descent(run.role);
            const QRectF box(run.origin.x(), run.origin.y() - ascent, run.width, ascent + descent);
            if (run.width < 0 || !inside(margins, box))
                return where(page, QStringLiteral("%1 run \"%2\" at %3 outside the margins %4")
                                       .arg(roleName(run.role), run.text.left(40), describe(box), describe(margins)));
            QRectF band;
            switch (run.role) {
            case FontRole::Title:
                band = page.titleBand;
                break;
            case FontRole::Body:
                band = page.bodyBand;
                printed += run.text;
                break;
            case FontRole::Header:
                band = page.headerBand;
                break;
            case FontRole::Footer:
                if (spec.pageNumbers && run.origin.y() > page.pageNumberBand.top() &&
                    run.origin.y() < page.pageNumberBand.bottom()) {
                    band = page.pageNumberBand;
                    ++pageNumberRuns;
                    const QString expected = QStringLiteral("Page %1 of %2").arg(page.number).arg(count);
                    if (run.text != expected)
                        return where(page,
                                     QStringLiteral("page number \"%1\", expected \"%2\"").arg(run.text, expected));
                } else if (spec.dateTime && run.origin.y() > page.dateBand.top() &&
                           run.origin.y() < page.dateBand.bottom()) {
                    band = page.dateBand;
                    ++dateRuns;
                    if (run.text != spec.dateText)
                        return where(page, QStringLiteral("date \"%1\"").arg(run.text));
                } else {
                    band = page.footerBand;
                }
                break;
            }
            if (band.isNull() || !inside(band, box))
                return where(page, QStringLiteral("%1 run \"%2\" at %3 outside its band %4")
                                       .arg(roleName(run.role), run.text.left(40), describe(box), describe(band)));
        }
        if (pageNumberRuns != (spec.pageNumbers ? 1 : 0) || dateRuns != (spec.dateTime ? 1 : 0))
            return where(page,
                         QStringLiteral("%1 page-number runs and %2 date runs").arg(pageNumberRuns).arg(dateRuns));
    }
    const QString expected = printableCharacters(body);
    const QString got = printableCharacters(printed);
    if (got != expected) {
        qsizetype at = 0;
        while (at < got.size() && at < expected.size() && got.at(at) == expected.at(at))
            ++at;
        return QStringLiteral(
                   "body characters differ from character %1 of %2 (printed %3): expected \"%4\", got \"%5\"")
            .arg(at)
            .arg(expected.size())
            .arg(got.size())
            .arg(expected.mid(at, 20), got.mid(at, 20));
    }
    return QString();
}

} // namespace layoutchecks
