#include "layout/layout.h"

#include "layout/linebreaks.h"

#include <QTextBoundaryFinder>
#include <QVarLengthArray>

#include <cmath>

namespace zendrik {

namespace {

// A line longer than this is never held back waiting for the rest of its paragraph; only a
// paragraph of nothing but white space gets there.
constexpr qsizetype kMaxCarry = 4096;
// Characters on one line at most: only text of nothing but marks or invisible characters, which
// take no width, gets there.
constexpr qsizetype kMaxLineLength = 4096;
constexpr qreal kBorderPadding = 4.0;
constexpr qreal kEpsilon = 1e-6;
// The least distance between body baselines: every page loop advances by it, so a page holds a
// bounded number of lines whatever the font reports.
constexpr qreal kMinLineStep = 0.5;

// std::lround for the positions of glyphs, without the call.
inline qint32 roundToUnit(double v) {
    return v >= 0 ? qint32(v + 0.5) : -qint32(-v + 0.5);
}

bool isBlank(QChar c) {
    return c == u' ' || c == u'\t';
}

QRectF contentRect(const LayoutSpec& spec) {
    const QRectF margins = spec.geometry.marginRect();
    if (!spec.border)
        return margins;
    return margins.adjusted(kBorderPadding, kBorderPadding, -kBorderPadding, -kBorderPadding);
}

} // namespace

qreal lineSpacingFactor(int code) {
    switch (code) {
    case 2:
        return 1.5;
    case 3:
        return 2.0;
    default:
        return 1.0;
    }
}

LineBreaker::LineBreaker(const FontMetrics& metrics, FontRole role, qreal width)
    : LineBreaker(metrics.fontSet(), role, width, std::max<qreal>(1.0, 8 * metrics.averageCharWidth(role))) {}

LineBreaker::LineBreaker(const FontSet& fonts, FontRole role, qreal width, qreal tabDistance)
    : fonts_(fonts), role_(role), width_(width), tabDistance_(tabDistance) {}

qreal LineBreaker::nextTabStop(qreal x) const {
    return (std::floor(x / tabDistance_ + kEpsilon) + 1) * tabDistance_;
}

void LineBreaker::addPiece(const QString& piece, bool paragraphEnds, std::deque<BodyLine>& out) {
    QString text = carry_.isEmpty() ? piece : carry_ + piece;
    carry_.clear();
    if (text.isEmpty()) {
        if (paragraphEnds)
            out.emplace_back();
        return;
    }
    breakShaped(shapeText(fonts_, role_, text), paragraphEnds, out);
}

QList<BodyLine> LineBreaker::breakText(const QString& text) {
    std::deque<BodyLine> lines;
    if (!text.isEmpty()) {
        StringBodySource source(text);
        QString piece;
        bool ends = true;
        while (source.next(piece, ends))
            addPiece(piece, ends, lines);
    }
    return QList<BodyLine>(lines.begin(), lines.end());
}

namespace {

// The glyphs of characters [start, end) of shaped text, in visual order: the items' pieces
// reordered by their embedding levels (rule L2 of the bidirectional algorithm), positions from
// the start in device units, clusters from `start`. Lines are made by the thousand: the glyphs
// are gathered first, so that each run's list is allocated once, at its size.
QList<GlyphRun> glyphRunsOf(const ShapedText& shaped, qsizetype start, qsizetype end) {
    struct Piece {
        const ShapedItem* item;
        qsizetype start;
        qsizetype end;
    };
    QVarLengthArray<Piece, 8> pieces;
    quint8 highest = 0, lowestOdd = 255;
    for (const ShapedItem& item : shaped.items) {
        if (item.end <= start || item.start >= end)
            continue;
        pieces.push_back(Piece{&item, std::max(item.start, start), std::min(item.end, end)});
        highest = std::max(highest, item.level);
        if (item.level & 1)
            lowestOdd = std::min(lowestOdd, item.level);
    }
    for (int level = highest; level >= lowestOdd && level > 0; --level) {
        for (qsizetype i = 0; i < pieces.size();) {
            if (pieces[i].item->level < level) {
                ++i;
                continue;
            }
            qsizetype j = i;
            while (j < pieces.size() && pieces[j].item->level >= level)
                ++j;
            std::reverse(pieces.begin() + i, pieces.begin() + j);
            i = j;
        }
    }
    constexpr double unitsPerPoint = PrintResolutionDevice::kDpi / 72.0;
    struct RunStart {
        const FontFace* face;
        bool rightToLeft;
        size_t first; // in `placed`
    };
    QVarLengthArray<RunStart, 4> starts;
    thread_local std::vector<PositionedGlyph> placed;
    placed.clear();
    double pen = 0;
    const auto inPiece = [](const ShapedGlyph& g, const Piece& piece) {
        return qsizetype(g.cluster) >= piece.start && qsizetype(g.cluster) < piece.end;
    };
    for (const Piece& piece : pieces) {
        const bool rtl = piece.item->level & 1;
        const auto first = shaped.glyphs.begin() + qsizetype(piece.item->firstGlyph);
        const auto last = shaped.glyphs.begin() + qsizetype(piece.item->lastGlyph);
        const auto byCluster = [](const ShapedGlyph& g, qsizetype at) { return qsizetype(g.cluster) < at; };
        // Left to right, clusters rise: the piece's glyphs are found without scanning the item.
        const auto from = rtl ? first : std::lower_bound(first, last, piece.start, byCluster);
        const auto to = rtl ? last : std::lower_bound(from, last, piece.end, byCluster);
        for (auto g = from; g != to; ++g) {
            const ShapedGlyph& glyph = *g;
            if (rtl && !inPiece(glyph, piece))
                continue;
            if (starts.isEmpty() || starts.back().face != glyph.face || starts.back().rightToLeft != rtl)
                starts.push_back(RunStart{glyph.face, rtl, placed.size()});
            placed.push_back(PositionedGlyph{glyph.id, roundToUnit((pen + glyph.xOffset) * unitsPerPoint),
                                             roundToUnit(-glyph.yOffset * unitsPerPoint),
                                             quint32(qsizetype(glyph.cluster) - start)});
            pen += glyph.advance;
        }
    }
    QList<GlyphRun> runs;
    runs.reserve(starts.size());
    for (qsizetype r = 0; r < starts.size(); ++r) {
        const size_t runEnd = r + 1 < starts.size() ? starts[r + 1].first : placed.size();
        GlyphRun run;
        for (const auto& face : shaped.faces) {
            if (face.get() == starts[r].face)
                run.face = face;
        }
        if (!run.face)
            run.face = FontFace::boxes();
        run.rightToLeft = starts[r].rightToLeft;
        run.glyphs =
            QList<PositionedGlyph>(placed.begin() + qsizetype(starts[r].first), placed.begin() + qsizetype(runEnd));
        runs.push_back(std::move(run));
    }
    return runs;
}

} // namespace

LineRun shapedRun(const FontSet& fonts, FontRole role, const QString& text) {
    const ShapedText shaped = shapeText(fonts, role, text);
    LineRun run{text, 0, 0, glyphRunsOf(shaped, 0, text.size())};
    for (const double a : shaped.clusterAdvance)
        run.width += a;
    for (GlyphRun& g : run.glyphs)
        g.size = fonts.pointSize(role);
    return run;
}

void LineBreaker::breakShaped(const ShapedText& shaped, bool paragraphEnds, std::deque<BodyLine>& out) {
    struct Span {
        qsizetype start;
        qsizetype end;
        qreal x;
        qreal width;
    };
    const QString& text = shaped.text;
    const bool rtl = shaped.rightToLeft;
    const qreal size = fonts_.pointSize(role_);
    // Widths of character ranges from the shaped clusters' advances.
    std::vector<double> prefix(size_t(text.size()) + 1, 0.0);
    for (size_t i = 0; i < shaped.clusterAdvance.size(); ++i)
        prefix[i + 1] = prefix[i] + shaped.clusterAdvance[i];
    const auto widthOf = [&](qsizetype a, qsizetype b) { return prefix[size_t(b)] - prefix[size_t(a)]; };
    const auto isTab = [&](qsizetype i) { return !rtl && text.at(i) == u'\t'; };

    QList<Span> spans;
    qsizetype lineStart = 0;
    qsizetype runStart = 0;
    qreal runX = 0;
    qreal x = 0;
    qreal contentX = 0;
    qsizetype contentEnd = 0;
    bool lineUsed = false;

    auto closeRun = [&] {
        if (contentEnd > runStart)
            spans.push_back(Span{runStart, contentEnd, runX, contentX - runX});
    };
    auto emitLine = [&](qsizetype nextStart) {
        closeRun();
        BodyLine line;
        line.rightToLeft = rtl;
        for (const Span& s : spans) {
            QString runText = text.mid(s.start, s.end - s.start);
            if (rtl)
                runText.replace(u'\t', u' ');
            QList<GlyphRun> glyphs = glyphRunsOf(shaped, s.start, s.end);
            for (GlyphRun& g : glyphs)
                g.size = size;
            line.runs.push_back(LineRun{std::move(runText), s.x, s.width, std::move(glyphs)});
        }
        line.width = spans.isEmpty() ? 0 : contentX;
        out.push_back(std::move(line));
        spans.clear();
        lineStart = runStart = contentEnd = nextStart;
        runX = x = contentX = 0;
        lineUsed = false;
    };
    auto place = [&](qsizetype end, qreal width) {
        x += width;
        contentX = x;
        contentEnd = end;
        lineUsed = true;
    };
    // A word wider than a whole line, or longer than a line may hold: as many graphemes as fit on
    // each line, at least one.
    auto breakWord = [&](qsizetype start, qsizetype end) {
        QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, QStringView(text).mid(start, end - start));
        qsizetype chunkStart = start;
        qsizetype g = start;
        qreal chunkWidth = 0;
        while (g < end) {
            const qsizetype next = graphemes.toNextBoundary();
            const qsizetype ge = next < 0 ? end : start + next;
            const qreal gw = widthOf(g, ge);
            const bool full = x + chunkWidth + gw > width_ || g - lineStart >= kMaxLineLength;
            if (full && (chunkWidth > 0 || lineUsed || g > chunkStart)) {
                if (g > chunkStart)
                    place(g, chunkWidth);
                emitLine(g);
                chunkStart = g;
                chunkWidth = 0;
            }
            chunkWidth += gw;
            g = ge;
        }
        place(end, chunkWidth);
    };

    LineBoundaries boundaries(text);
    qsizetype a = 0;
    for (qsizetype b = boundaries.next(); b > 0; b = boundaries.next()) {
        qsizetype c = b;
        while (c > a && isBlank(text.at(c - 1)))
            --c;
        if (c > a) {
            const qreal wc = widthOf(a, c);
            if (lineUsed && (x + wc > width_ + kEpsilon || c - lineStart > kMaxLineLength))
                emitLine(a);
            if (x + wc > width_ + kEpsilon || c - lineStart > kMaxLineLength)
                breakWord(a, c);
            else
                place(c, wc);
        }
        qsizetype i = c;
        while (i < b) {
            if (isTab(i)) {
                const qreal stop = nextTabStop(x);
                if (stop > width_ + kEpsilon) {
                    // A tab past the last stop ends the line (emitLine closes the run).
                    emitLine(i + 1);
                } else {
                    closeRun();
                    x = stop;
                    runStart = i + 1;
                    runX = x;
                    lineUsed = true;
                }
                ++i;
                continue;
            }
            qsizetype j = i;
            while (j < b && !isTab(j))
                ++j;
            x += widthOf(i, j);
            lineUsed = true;
            i = j;
        }
        a = b;
    }
    if (paragraphEnds || text.size() - lineStart > kMaxCarry)
        emitLine(text.size());
    else
        carry_ = text.mid(lineStart);
}

LayoutEngine::LayoutEngine(LayoutSpec spec, const FontMetrics& metrics)
    : spec_(std::move(spec)), metrics_(metrics), content_(contentRect(spec_)),
      gap_(std::max<qreal>(2.0, 0.35 * metrics.lineHeight(FontRole::Body))),
      bodyBreaker_(metrics, FontRole::Body, content_.width()) {
    const QSizeF paper = spec_.geometry.paper;
    const qreal minWidth = 2 * metrics_.averageCharWidth(FontRole::Body);
    const QString noRoom = QStringLiteral("The margins leave no room for the body: %1 x %2 points remain inside the "
                                          "margins of the %3 x %4 point page, and one line of the body needs %5.");
    const auto noRoomFor = [](const QString& message) { return Failure{ErrorCode::NoRoomForBody, message}; };
    const QMarginsF& m = spec_.geometry.margins;
    if (m.left() < 0 || m.top() < 0 || m.right() < 0 || m.bottom() < 0) {
        roomFailure_ = noRoomFor(QStringLiteral("The margins leave no room for the body: a negative margin (left %1, "
                                                "top %2, right %3, bottom %4 points) would put the text off the paper.")
                                     .arg(m.left())
                                     .arg(m.top())
                                     .arg(m.right())
                                     .arg(m.bottom()));
        return;
    }
    // A font past what the font engine can measure (its metrics overflow) gives no usable lines.
    for (int role = 0; role < kFontRoles; ++role) {
        const auto r = static_cast<FontRole>(role);
        const qreal ascent = metrics_.ascent(r);
        const qreal descent = metrics_.descent(r);
        if (!(ascent >= 0 && descent >= 0 && ascent + descent < 1e6)) {
            roomFailure_ = noRoomFor(QStringLiteral("A font of the document cannot be measured at its size (ascent %1, "
                                                    "descent %2 points).")
                                         .arg(ascent)
                                         .arg(descent));
            return;
        }
    }
    const qreal step = metrics_.lineHeight(FontRole::Body) * spec_.lineSpacing;
    if (!(step >= kMinLineStep) || !std::isfinite(step)) {
        roomFailure_ = noRoomFor(QStringLiteral("The body font's lines are %1 points apart; they need at least %2.")
                                     .arg(step)
                                     .arg(kMinLineStep));
        return;
    }
    if (content_.width() < minWidth || content_.height() <= 0) {
        roomFailure_ = noRoomFor(noRoom.arg(std::max<qreal>(0, content_.width()), 0, 'f', 1)
                                     .arg(std::max<qreal>(0, content_.height()), 0, 'f', 1)
                                     .arg(paper.width(), 0, 'f', 1)
                                     .arg(paper.height(), 0, 'f', 1)
                                     .arg(QStringLiteral("at least %1 points of width").arg(minWidth, 0, 'f', 1)));
        return;
    }
    // Title, header and footer lines need room for two of their characters, like the body; the
    // page number and the date are never wrapped, so they must fit whole.
    struct Need {
        const char* what;
        qreal width;
    };
    QList<Need> needs;
    if (!spec_.title.isEmpty())
        needs.push_back({"the title", 2 * metrics_.averageCharWidth(FontRole::Title)});
    if (!spec_.header.isEmpty())
        needs.push_back({"the header", 2 * metrics_.averageCharWidth(FontRole::Header)});
    if (!spec_.footer.isEmpty() || spec_.pageNumbers || spec_.dateTime)
        needs.push_back({"the footer", 2 * metrics_.averageCharWidth(FontRole::Footer)});
    if (spec_.pageNumbers && (spec_.pageCount > 0 || spec_.pageCountPending)) {
        // While the count is pending, the least it can be; the last page checks the count itself.
        const QString last = QStringLiteral("Page %1 of %1").arg(std::max(1, spec_.pageCount));
        needs.push_back({"the page number", metrics_.advance(FontRole::Footer, last)});
    }
    if (spec_.dateTime)
        needs.push_back({"the date", metrics_.advance(FontRole::Footer, spec_.dateText)});
    for (const Need& need : needs) {
        if (content_.width() + kEpsilon < need.width) {
            roomFailure_ = narrowFailure(need.what, need.width);
            return;
        }
    }
    titleLines_ = LineBreaker(metrics_, FontRole::Title, content_.width()).breakText(spec_.title);
    headerLines_ = LineBreaker(metrics_, FontRole::Header, content_.width()).breakText(spec_.header);
    footerLines_ = LineBreaker(metrics_, FontRole::Footer, content_.width()).breakText(spec_.footer);

    // Page 1 carries the title as well, so it has the least room.
    Page first;
    first.number = 1;
    Bands bands;
    placeFixedParts(first, bands);
    const qreal lineNeeds = metrics_.ascent(FontRole::Body) + metrics_.descent(FontRole::Body);
    if (bands.bodyBottom - bands.bodyTop < lineNeeds) {
        roomFailure_ = noRoomFor(noRoom.arg(content_.width(), 0, 'f', 1)
                                     .arg(std::max<qreal>(0, bands.bodyBottom - bands.bodyTop), 0, 'f', 1)
                                     .arg(paper.width(), 0, 'f', 1)
                                     .arg(paper.height(), 0, 'f', 1)
                                     .arg(QStringLiteral("%1 points of height").arg(lineNeeds, 0, 'f', 1)));
    }
}

Failure LayoutEngine::narrowFailure(const char* what, qreal width) const {
    const QSizeF paper = spec_.geometry.paper;
    return Failure{ErrorCode::NoRoomForBody, QStringLiteral("The margins leave no room for %1: %2 points of width "
                                                            "remain inside the margins of the %3 x %4 point page, "
                                                            "and it needs %5.")
                                                 .arg(QLatin1String(what))
                                                 .arg(content_.width(), 0, 'f', 1)
                                                 .arg(paper.width(), 0, 'f', 1)
                                                 .arg(paper.height(), 0, 'f', 1)
                                                 .arg(width, 0, 'f', 1)};
}

TextRun LayoutEngine::pageNumberRun(int number, int count) const {
    const QRectF& r = content_;
    const qreal footerLine = metrics_.lineHeight(FontRole::Footer);
    const qreal top = r.bottom() - footerLine * (spec_.dateTime ? 2 : 1);
    const QString text =
        count > 0 ? QStringLiteral("Page %1 of %2").arg(number).arg(count) : QStringLiteral("Page %1").arg(number);
    LineRun shaped = shapedRun(metrics_.fontSet(), FontRole::Footer, text);
    return TextRun{text,         QPointF(r.right() - shaped.width, top + metrics_.ascent(FontRole::Footer)),
                   shaped.width, FontRole::Footer,
                   false,        std::move(shaped.glyphs)};
}

TextRun LayoutEngine::runAt(const LineRun& run, const BodyLine& line, qreal baseline, FontRole role,
                            bool centred) const {
    qreal x = content_.left() + run.x;
    if (line.rightToLeft)
        x = content_.right() - line.width + run.x;
    else if (centred)
        x += (content_.width() - line.width) / 2;
    return TextRun{run.text, QPointF(x, baseline), run.width, role, line.rightToLeft, run.glyphs};
}

void LayoutEngine::placeLines(const QList<BodyLine>& lines, FontRole role, qreal top, bool centred, Page& page) const {
    const qreal height = metrics_.lineHeight(role);
    const qreal ascent = metrics_.ascent(role);
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const qreal baseline = top + i * height + ascent;
        for (const LineRun& run : lines[i].runs)
            page.runs.push_back(runAt(run, lines[i], baseline, role, centred));
    }
}

void LayoutEngine::placeFixedParts(Page& page, Bands& bands) const {
    const QRectF& r = content_;
    if (spec_.border)
        page.border = spec_.geometry.marginRect();

    qreal y = r.top();
    if (!headerLines_.isEmpty()) {
        const qreal h = headerLines_.size() * metrics_.lineHeight(FontRole::Header);
        placeLines(headerLines_, FontRole::Header, y, false, page);
        page.headerBand = QRectF(r.left(), y, r.width(), h);
        y += h;
    }
    if (!headerLines_.isEmpty() || spec_.lineBelowHeader)
        y += gap_;
    if (spec_.lineBelowHeader) {
        page.rules.push_back(QLineF(r.left(), y, r.right(), y));
        y += gap_;
    }
    if (page.number == 1 && !titleLines_.isEmpty()) {
        const qreal h = titleLines_.size() * metrics_.lineHeight(FontRole::Title);
        placeLines(titleLines_, FontRole::Title, y, true, page);
        page.titleBand = QRectF(r.left(), y, r.width(), h);
        y += h + gap_;
    }
    bands.bodyTop = y;

    const qreal footerLine = metrics_.lineHeight(FontRole::Footer);
    const qreal footerAscent = metrics_.ascent(FontRole::Footer);
    qreal yb = r.bottom();
    if (spec_.dateTime) {
        yb -= footerLine;
        page.dateBand = QRectF(r.left(), yb, r.width(), footerLine);
        LineRun date = shapedRun(metrics_.fontSet(), FontRole::Footer, spec_.dateText);
        page.runs.push_back(TextRun{spec_.dateText, QPointF(r.left(), yb + footerAscent), date.width, FontRole::Footer,
                                    false, std::move(date.glyphs)});
    }
    if (spec_.pageNumbers) {
        yb -= footerLine;
        page.pageNumberBand = QRectF(r.left(), yb, r.width(), footerLine);
        if (spec_.pageCountPending && spec_.pageCount == 0)
            page.pageNumberPending = true;
        else
            page.runs.push_back(pageNumberRun(page.number, spec_.pageCount));
    }
    if (!footerLines_.isEmpty()) {
        const qreal h = footerLines_.size() * footerLine;
        yb -= h;
        placeLines(footerLines_, FontRole::Footer, yb, false, page);
        page.footerBand = QRectF(r.left(), yb, r.width(), h);
    }
    if (!footerLines_.isEmpty() || spec_.lineAboveFooter || spec_.pageNumbers || spec_.dateTime)
        yb -= gap_;
    if (spec_.lineAboveFooter) {
        page.rules.push_back(QLineF(r.left(), yb, r.right(), yb));
        yb -= gap_;
    }
    bands.bodyBottom = yb;
    page.bodyBand = QRectF(r.left(), bands.bodyTop, r.width(), yb - bands.bodyTop);
}

int LayoutEngine::bodyLinesOnPage(int number) const {
    if (roomFailure_)
        return 0;
    Page page;
    page.number = number;
    Bands bands;
    placeFixedParts(page, bands);
    // The same steps as nextPage takes, so that the count is exact to the last rounding.
    const qreal descent = metrics_.descent(FontRole::Body);
    const qreal step = metrics_.lineHeight(FontRole::Body) * spec_.lineSpacing;
    int lines = 0;
    for (qreal baseline = bands.bodyTop + metrics_.ascent(FontRole::Body);
         baseline + descent <= bands.bodyBottom + kEpsilon; baseline += step)
        ++lines;
    return lines;
}

bool LayoutEngine::pull(BodySource& body) {
    // Only an empty queue is refilled, so that every line waiting comes from one piece.
    lastPiece_.piece = body.position();
    lastPiece_.held = bodyBreaker_.heldText();
    QString piece;
    bool ends = true;
    if (body.next(piece, ends)) {
        bodyBreaker_.addPiece(piece, ends, pending_);
    } else if (body.failure()) {
        failure_ = body.failure();
        return false;
    } else {
        // A body that stops inside a paragraph still prints the paragraph's last line.
        if (bodyBreaker_.holdsLine())
            bodyBreaker_.addPiece(QString(), true, pending_);
        bodyDone_ = true;
    }
    linesOfLastPiece_ = int(pending_.size());
    return true;
}

PageStart LayoutEngine::nextPageStart(const BodySource& body) const {
    if (pending_.empty())
        return PageStart{pagesDone_ + 1, body.position(), bodyBreaker_.heldText(), 0};
    PageStart start = lastPiece_;
    start.page = pagesDone_ + 1;
    start.linesBefore = linesOfLastPiece_ - int(pending_.size());
    return start;
}

bool LayoutEngine::resume(const PageStart& start, BodySource& body) {
    pagesDone_ = start.page - 1;
    bodyBreaker_.holdText(start.held);
    if (start.linesBefore == 0)
        return true;
    if (!pull(body))
        return false;
    for (int i = 0; i < start.linesBefore && !pending_.empty(); ++i)
        pending_.pop_front();
    return true;
}

bool LayoutEngine::nextPage(BodySource& body, Page& page) {
    return layOutPage(page, [&] { return pull(body); });
}

bool LayoutEngine::nextPage(LineSource& lines, Page& page) {
    return layOutPage(page, [&] {
        BodyLine line;
        if (lines.next(line)) {
            pending_.push_back(std::move(line));
            return true;
        }
        if (std::optional<Failure> failed = lines.failure()) {
            failure_ = std::move(failed);
            return false;
        }
        bodyDone_ = true;
        return true;
    });
}

// `pull` adds lines to pending_, or sets bodyDone_ at the end; false when reading failed.
template <class Pull> bool LayoutEngine::layOutPage(Page& page, Pull pull) {
    if (roomFailure_) {
        failure_ = roomFailure_;
        return false;
    }
    // Know whether anything is left before starting a page, so that none comes out empty.
    while (pending_.empty() && !bodyDone_) {
        if (!pull())
            return false;
    }
    if (pending_.empty() && pagesDone_ > 0) {
        if (spec_.pageNumbers && spec_.pageCountPending && spec_.pageCount == 0) {
            // The count is known now: the last page's number must fit, as it would have had to
            // with the count known from the start.
            const qreal width = metrics_.advance(FontRole::Footer, QStringLiteral("Page %1 of %1").arg(pagesDone_));
            if (content_.width() + kEpsilon < width)
                failure_ = narrowFailure("the page number", width);
        }
        return false;
    }

    page = Page{};
    page.number = pagesDone_ + 1;
    Bands bands;
    placeFixedParts(page, bands);
    const qreal ascent = metrics_.ascent(FontRole::Body);
    const qreal descent = metrics_.descent(FontRole::Body);
    const qreal step = metrics_.lineHeight(FontRole::Body) * spec_.lineSpacing;
    qreal baseline = bands.bodyTop + ascent;
    int placed = 0;
    for (;;) {
        if (pending_.empty()) {
            if (bodyDone_)
                break;
            if (!pull())
                return false;
            continue;
        }
        if (baseline + descent > bands.bodyBottom + kEpsilon)
            break;
        const BodyLine& line = pending_.front();
        for (const LineRun& run : line.runs)
            page.runs.push_back(runAt(run, line, baseline, FontRole::Body, false));
        pending_.pop_front();
        ++placed;
        baseline += step;
    }
    // The room check guarantees a line on every page; a page without one would never end.
    if (placed == 0 && !pending_.empty()) {
        failure_ = Failure{ErrorCode::Internal, QStringLiteral("A page of the document held no line of its body.")};
        return false;
    }
    page.bodyLines = placed;
    for (const TextRun& run : page.runs) {
        for (const GlyphRun& glyphs : run.glyphs) {
            if (glyphs.face->kind() == FontFace::Kind::Boxes)
                page.boxedCharacters += int(glyphs.glyphs.size());
        }
    }
    ++pagesDone_;
    return true;
}

} // namespace zendrik
