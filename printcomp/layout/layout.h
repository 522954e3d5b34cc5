#pragma once
// The layout engine: document, page geometry, font metrics and the job's fixed facts in, pages out
// as display lists. Pure: it paints nothing and needs no QPainter.

#include "base/failure.h"
#include "document/docreader.h"
#include "layout/fontmetrics.h"
#include "layout/pagegeometry.h"
#include "layout/shaping.h"

#include <QLineF>
#include <QList>
#include <QRectF>
#include <QString>

#include <deque>
#include <optional>
#include <utility>

namespace zendrik {

// A glyph as shaping placed it: its number in the face, its position from the origin of its text
// run in device units (PrintResolutionDevice, y downwards), and the first character of the run's
// text it stands for (glyphs of one cluster share it).
struct PositionedGlyph {
    quint32 id = 0;
    qint32 x = 0;
    qint32 y = 0;
    quint32 cluster = 0;
};

// Glyphs of one face and one direction, in the order they stand from left to right.
struct GlyphRun {
    std::shared_ptr<const FontFace> face;
    qreal size = 0; // points
    bool rightToLeft = false;
    QList<PositionedGlyph> glyphs;
};

struct TextRun {
    QString text;
    QPointF origin; // left end of the baseline, points
    qreal width = 0;
    FontRole role = FontRole::Body;
    bool rightToLeft = false; // the paragraph's direction
    QList<GlyphRun> glyphs;   // from left to right; what output draws, and nothing else
};

struct Page {
    int number = 0;
    QList<TextRun> runs;
    QList<QLineF> rules;
    QRectF border; // null without a border
    int bodyLines = 0;
    int boxedCharacters = 0; // characters printed as hollow boxes: no installed font has them
    // "Page N of M" left out while M is not known (LayoutSpec::pageCountPending): whoever knows M
    // at the end draws it in pageNumberBand with LayoutEngine::pageNumberRun.
    bool pageNumberPending = false;
    // Where each part lies; null when the part is absent from the page.
    QRectF headerBand;
    QRectF titleBand;
    QRectF bodyBand;
    QRectF footerBand;
    QRectF pageNumberBand;
    QRectF dateBand;
};

struct LayoutSpec {
    PageGeometry geometry;
    QString title;
    QString header;
    QString footer;
    qreal lineSpacing = 1.0; // 1, 1.5 or 2
    bool pageNumbers = false;
    bool dateTime = false;
    bool border = false;
    bool lineBelowHeader = false;
    bool lineAboveFooter = false;
    QString dateText;  // the job's start time, formatted
    int pageCount = 0; // M of "Page N of M"; 0 while counting
    // With page numbers and no pageCount: lay out in one pass, each page's "Page N of M" left for
    // the end (Page::pageNumberPending), when M is known.
    bool pageCountPending = false;
};

// Line spacing factor of a LineSpacing code (0 and 1 single, 2 one and a half, 3 double).
qreal lineSpacingFactor(int code);

// A line of body text: runs at offsets from the start of the line (tabs split runs).
struct LineRun {
    QString text;
    qreal x = 0;
    qreal width = 0;
    QList<GlyphRun> glyphs; // positions from the run's start
};

struct BodyLine {
    QList<LineRun> runs;
    qreal width = 0;
    bool rightToLeft = false;
};

// One run of text shaped on its own, never broken (page numbers, the date).
LineRun shapedRun(const FontSet& fonts, FontRole role, const QString& text);

// Breaks paragraphs into lines of at most `width` points from the advances HarfBuzz shaped them
// with: at Unicode line-break opportunities, a word wider than the line across lines, tabs to stops
// every 8 average character widths (spaces in right-to-left paragraphs).
class LineBreaker {
public:
    LineBreaker(const FontMetrics& metrics, FontRole role, qreal width);
    // Breaking needs only the faces (shared by threads) and the tab distance in points.
    LineBreaker(const FontSet& fonts, FontRole role, qreal width, qreal tabDistance);
    // Adds a piece of a paragraph. Completed lines are appended to out; while the paragraph
    // continues, its last line is held back to be continued by the next piece.
    void addPiece(const QString& piece, bool paragraphEnds, std::deque<BodyLine>& out);
    // Whether a line is held back for the rest of its paragraph, and its text.
    bool holdsLine() const { return !carry_.isEmpty(); }
    const QString& heldText() const { return carry_; }
    void holdText(const QString& text) { carry_ = text; }
    // All lines of a short text with line breaks (title, header, footer).
    QList<BodyLine> breakText(const QString& text);
    qreal tabDistance() const { return tabDistance_; }

private:
    void breakShaped(const ShapedText& shaped, bool paragraphEnds, std::deque<BodyLine>& out);
    qreal nextTabStop(qreal x) const;

    const FontSet& fonts_;
    FontRole role_;
    qreal width_;
    qreal tabDistance_;
    QString carry_;
};

// The body's lines in order, as LineBreaker breaks them.
class LineSource {
public:
    virtual ~LineSource() = default;
    // The next line; false at the end of the body or when reading it failed (failure() says why).
    virtual bool next(BodyLine& line) = 0;
    virtual std::optional<Failure> failure() const = 0;
};

// Where a page begins in the body: enough to lay it and the pages after it out again without
// those before it.
struct PageStart {
    int page = 1;
    BodySource::Position piece; // where the piece holding the page's first line begins
    QString held;               // the start of that piece's paragraph held back before it
    int linesBefore = 0;        // lines that piece gives before the page's first
};

class LayoutEngine {
public:
    LayoutEngine(LayoutSpec spec, const FontMetrics& metrics);

    // Set when a page has no room for its bands and one body line: why not.
    const std::optional<Failure>& roomFailure() const { return roomFailure_; }

    // Lays out the next page. Returns false when the body is finished (an empty body still
    // gives one page) or when reading it failed (failure() then says why).
    bool nextPage(BodySource& body, Page& page);
    // The same from lines broken elsewhere (LineBreaker to bodyWidth(), the tab distance of
    // tabDistance()).
    bool nextPage(LineSource& lines, Page& page);
    const std::optional<Failure>& failure() const { return failure_; }

    // "Page N of M" for page `number` of `count`, where the page puts it; what a page left
    // pending gets once M is known.
    TextRun pageNumberRun(int number, int count) const;
    qreal tabDistance() const { return bodyBreaker_.tabDistance(); }
    // Where the page nextPage(body) lays out next begins; `body` is the source it reads.
    PageStart nextPageStart(const BodySource& body) const;
    // Makes a new engine continue at `start`, which an engine of the same spec and metrics gave,
    // with `body` (the same text) standing at start.piece. False when reading fails.
    bool resume(const PageStart& start, BodySource& body);

    // How many body lines page `number` holds (every page after the first holds the same), and
    // the width the body is broken to: what counting pages needs without laying them out.
    int bodyLinesOnPage(int number) const;
    qreal bodyWidth() const { return content_.width(); }

private:
    struct Bands {
        qreal bodyTop = 0;
        qreal bodyBottom = 0;
    };
    void placeFixedParts(Page& page, Bands& bands) const;
    Failure narrowFailure(const char* what, qreal width) const;
    void placeLines(const QList<BodyLine>& lines, FontRole role, qreal top, bool centred, Page& page) const;
    TextRun runAt(const LineRun& run, const BodyLine& line, qreal baseline, FontRole role, bool centred) const;

    LayoutSpec spec_;
    const FontMetrics& metrics_;
    QRectF content_;
    qreal gap_ = 0;
    QList<BodyLine> titleLines_;
    QList<BodyLine> headerLines_;
    QList<BodyLine> footerLines_;
    LineBreaker bodyBreaker_;
    bool pull(BodySource& body);
    template <class Pull> bool layOutPage(Page& page, Pull pull);

    // Lines of the last piece read, all of them but those placed; from a LineSource, the one line
    // read ahead.
    std::deque<BodyLine> pending_;
    PageStart lastPiece_; // where that piece began
    int linesOfLastPiece_ = 0;
    bool bodyDone_ = false;
    int pagesDone_ = 0;
    std::optional<Failure> roomFailure_;
    std::optional<Failure> failure_;
};

} // namespace zendrik
