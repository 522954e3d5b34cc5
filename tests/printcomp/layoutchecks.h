#pragma once
// The promises every laid-out document keeps, checked on the pages themselves. Shared by the layout
// tests and the layout fuzzer.

#include "layout/layout.h"

#include <QList>
#include <QString>

namespace layoutchecks {

struct Laid {
    zendrik::LayoutSpec spec; // as laid out: with M of "Page N of M" when page numbers are on
    QList<zendrik::Page> pages;
    QString error; // the engine's reason for stopping early (no room, unreadable body)
};

// Lays out `body` to the end as a job does: lines broken on several threads, and with page numbers
// each page's "Page N of M" added once the last page is laid out. With `crossCheck`, pages that
// differ from lines broken on one thread as the body is read, or from the pages counted from the
// lines alone, are reported in `error`.
Laid layOut(zendrik::LayoutSpec spec, const QString& body, const zendrik::FontMetrics& metrics, bool crossCheck = true);

// Empty when the pages keep every promise; otherwise the first one broken, with the page:
// - every body character exactly once across the pages, in order, apart from white space;
// - every run, rule and border on the paper and inside the margins;
// - each run inside its own part's band; header, title, body, footer, page-number and date bands
//   apart; rules between the bands;
// - pages numbered 1..n, "Page N of M" with M = n on every page when page numbers are on (the
//   LayoutSpec as laid out, Laid::spec, carries M);
// - a body line wholly on one page (inside the body band), no page but the first without body lines.
QString check(const zendrik::LayoutSpec& spec, const zendrik::FontMetrics& metrics, const QList<zendrik::Page>& pages,
              const QString& body);

// The body characters a layout must keep, in order: everything but white space.
QString printableCharacters(const QString& text);

} // namespace layoutchecks
