#include "raster/pagepainter.h"

#include "layout/drawing.h"

#include <cmath>

namespace zendrik {

namespace {

constexpr qreal kUnitsPerPoint = PrintResolutionDevice::kDpi / 72.0;
// Glyphs kept per painter; more are dropped and made again.
constexpr qsizetype kMaxKept = 16384;
// A glyph exactly on a pixel's edge, but for the rounding of the scale, stands on that edge.
constexpr qreal kSnap = 1e-6;

// A rectangle widened to whole pixels, at least one each way, as PDF readers adjust thin strokes:
// rules stay sharp and as dark as printed.
QRectF toPixels(const QRectF& r) {
    qreal left = std::round(r.left()), right = std::round(r.right());
    qreal top = std::round(r.top()), bottom = std::round(r.bottom());
    if (right <= left)
        right = left + 1;
    if (bottom <= top)
        bottom = top + 1;
    return QRectF(QPointF(left, top), QPointF(right, bottom));
}

} // namespace

PagePainter::PagePainter(const std::array<bool, kFontRoles>& underline) : underline_(underline) {}

QImage PagePainter::render(const Page& page, const QSizeF& paper, qreal dpi) {
    // Whole pixels covering the sheet, as PDF rasterisers size a page.
    const auto pixels = [&](qreal points) { return int(std::ceil(points * dpi / 72 - 1e-6)); };
    QImage image(pixels(paper.width()), pixels(paper.height()), QImage::Format_RGB32);
    if (image.isNull())
        return image;
    const int dotsPerMeter = int(std::lround(dpi / 0.0254));
    image.setDotsPerMeterX(dotsPerMeter);
    image.setDotsPerMeterY(dotsPerMeter);
    image.fill(Qt::white);
    QPainter painter(&image);
    paint(painter, page, dpi);
    return image;
}

void PagePainter::paint(QPainter& painter, const Page& page, qreal dpi) {
    const qreal pixelsPerPoint = dpi / 72;
    const QTransform base = painter.worldTransform();
    painter.save();
    painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
    painter.setPen(Qt::NoPen);
    const auto line = [&](const QRectF& points) {
        painter.fillRect(
            toPixels(base.mapRect(QRectF(points.topLeft() * pixelsPerPoint, points.bottomRight() * pixelsPerPoint))),
            Qt::black);
    };
    painter.setWorldTransform(QTransform());
    const qreal rule = drawing::kRuleWidth / 2;
    for (const QLineF& r : page.rules) {
        // Square ends, as the PDF draws them.
        const qreal x1 = std::min(r.x1(), r.x2()), x2 = std::max(r.x1(), r.x2());
        const qreal y1 = std::min(r.y1(), r.y2()), y2 = std::max(r.y1(), r.y2());
        line(QRectF(QPointF(x1 - rule, y1 - rule), QPointF(x2 + rule, y2 + rule)));
    }
    if (!page.border.isNull()) {
        const QRectF& b = page.border;
        const qreal w = drawing::kBorderWidth / 2;
        line(QRectF(QPointF(b.left() - w, b.top() - w), QPointF(b.right() + w, b.top() + w)));
        line(QRectF(QPointF(b.left() - w, b.bottom() - w), QPointF(b.right() + w, b.bottom() + w)));
        line(QRectF(QPointF(b.left() - w, b.top() + w), QPointF(b.left() + w, b.bottom() - w)));
        line(QRectF(QPointF(b.right() - w, b.top() + w), QPointF(b.right() + w, b.bottom() - w)));
    }
    painter.setWorldTransform(base);
    const qreal scale = dpi / PrintResolutionDevice::kDpi;
    for (const TextRun& run : page.runs)
        paintRun(painter, run, scale);
    painter.restore();
}

void PagePainter::paintRun(QPainter& painter, const TextRun& run, qreal scale) {
    const QTransform base = painter.worldTransform();
    const QTransform pixels = QTransform::fromScale(scale, scale);
    // Device units from here, as the glyphs' positions are.
    const QPointF origin(std::round(run.origin.x() * kUnitsPerPoint), std::round(run.origin.y() * kUnitsPerPoint));
    const bool underlined = underline_[size_t(run.role)];
    for (const GlyphRun& glyphs : run.glyphs) {
        if (glyphs.glyphs.isEmpty())
            continue;
        const FontFace& face = glyphs.face->kind() == FontFace::Kind::Boxes ? *FontFace::boxes() : *glyphs.face;
        const qreal size = glyphs.size * kUnitsPerPoint;
        const qreal s = size / face.unitsPerEm();
        const qreal slant = face.syntheticItalic() ? drawing::kSyntheticSlant : 0;
        QPen bold(Qt::black, face.unitsPerEm() * drawing::kSyntheticBoldStroke, Qt::SolidLine, Qt::FlatCap,
                  Qt::MiterJoin);
        bold.setMiterLimit(5);
        qreal left = 0, right = 0;
        bool any = false;
        for (const PositionedGlyph& g : glyphs.glyphs) {
            const qreal x = origin.x() + g.x;
            const qreal y = origin.y() + g.y;
            const qreal advance = face.advance(g.id) * s;
            left = any ? std::min(left, x) : x;
            right = any ? std::max(right, x + advance) : x + advance;
            any = true;
            if (face.kind() == FontFace::Kind::Bitmaps) {
                const Picture& p = picture(face, g.id);
                if (p.image.isNull())
                    continue;
                const QRectF box(x + p.box.left() * s, y + p.box.top() * s, p.box.width() * s, p.box.height() * s);
                // On whole pixels, the box's edges taken outwards, and scaled by averaging, as PDF
                // readers draw a picture.
                const QRectF r = pixels.mapRect(box);
                const QRect target(QPoint(int(std::floor(r.left())), int(std::floor(r.top()))),
                                   QPoint(int(std::floor(r.right())), int(std::floor(r.bottom()))));
                painter.setWorldTransform(base);
                painter.drawImage(target,
                                  p.image.scaled(target.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
                continue;
            }
            const QPainterPath& path = outline(face, g.id);
            if (path.isEmpty())
                continue;
            // Baselines on whole pixels and glyphs at quarter pixels across, as PDF readers place
            // them: a page looks as a viewer of the PDF shows it at the same resolution.
            const QPointF at = pixels.map(QPointF(x, y));
            const QPointF snapped(std::floor(at.x() * 4 + kSnap) / 4, std::floor(at.y() + kSnap));
            painter.setWorldTransform(
                QTransform(s * scale, 0, -slant * s * scale, s * scale, snapped.x(), snapped.y()) * base);
            painter.fillPath(path, Qt::black);
            if (face.syntheticBold())
                painter.strokePath(path, bold);
        }
        painter.setWorldTransform(base);
        if (underlined && any) {
            const drawing::Underline u = drawing::underline(face, size);
            const QRectF line(left, origin.y() + u.position - u.thickness / 2, right - left, u.thickness);
            painter.fillRect(toPixels(pixels.mapRect(line)), Qt::black);
        }
    }
}

const QPainterPath& PagePainter::outline(const FontFace& face, quint32 glyph) {
    const QPair<quint64, quint32> key(face.serial(), glyph);
    if (auto it = outlines_.constFind(key); it != outlines_.constEnd())
        return *it;
    if (outlines_.size() >= kMaxKept)
        outlines_.clear();
    QPainterPath path = face.outline(glyph);
    // Contours of one glyph may overlap; font outlines fill by the non-zero rule.
    path.setFillRule(Qt::WindingFill);
    return *outlines_.insert(key, path);
}

const PagePainter::Picture& PagePainter::picture(const FontFace& face, quint32 glyph) {
    const QPair<quint64, quint32> key(face.serial(), glyph);
    if (auto it = pictures_.constFind(key); it != pictures_.constEnd())
        return *it;
    if (pictures_.size() >= kMaxKept / 16)
        pictures_.clear();
    Picture p;
    p.image = face.bitmap(glyph, &p.box).convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (p.box.isEmpty())
        p.image = QImage();
    return *pictures_.insert(key, p);
}

} // namespace zendrik
