#include "platform/canvas/PainterCanvas.h"

#include "platform/canvas/PixelRaster.h"

#include <QPaintEngine>
#include <QPolygon>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <unordered_map>
#include <vector>

namespace kavum::platform {

namespace {

bool DirectFormat(QImage::Format f) {
    return f == QImage::Format_RGB32 || f == QImage::Format_ARGB32 || f == QImage::Format_ARGB32_Premultiplied;
}

QRect ToQRect(const TRect& r) { return QRect(r.left, r.top, r.Width(), r.Height()); }

bool IsVectorEngine(const QPaintEngine* engine) {
    if (!engine) return false;
    const QPaintEngine::Type t = engine->type();
    return t == QPaintEngine::SVG || t == QPaintEngine::Pdf || t == QPaintEngine::Picture;
}

// The path of a thin line on a vector device: through the pixel centres,
// from the outer edge of the first pixel to the near edge of the last
// point, which a bitmap does not set. With flat ends that covers the pixels
// of the bitmap's line.
QPolygonF ThinLinePath(const QPoint* points, int count) {
    QPolygonF path;
    path.reserve(count);
    for (int i = 0; i < count; ++i) path << QPointF(points[i].x() + 0.5, points[i].y() + 0.5);
    auto halfStep = [](const QPoint& from, const QPoint& to) {
        const int dx = to.x() - from.x();
        const int dy = to.y() - from.y();
        const int n = std::max(std::abs(dx), std::abs(dy));
        return n == 0 ? QPointF() : QPointF(0.5 * dx / n, 0.5 * dy / n);
    };
    path[0] -= halfStep(points[0], points[1]);
    path[count - 1] -= halfStep(points[count - 2], points[count - 1]);
    return path;
}

QList<qreal> DashPattern(TPenStyle style) {
    switch (style) {
        case TPenStyle::Alternate:
            return {1, 1};
        case TPenStyle::Dot:
            return {3, 3};
        case TPenStyle::Dash:
            return {18, 6};
        case TPenStyle::DashDot:
            return {9, 6, 3, 6};
        case TPenStyle::DashDotDot:
            return {9, 3, 3, 3, 3, 3};
        default:
            return {};
    }
}

}  // namespace

TPainterCanvas::TPainterCanvas(QPainter& painter) : painter_(&painter) {
    painter_->setRenderHint(QPainter::Antialiasing, false);
    rasterOps_ = painter_->paintEngine() && painter_->paintEngine()->hasFeature(QPaintEngine::RasterOpModes);
    vector_ = IsVectorEngine(painter_->paintEngine());
}

TPainterCanvas::TPainterCanvas(QImage& image) : TPainterCanvas(image, 1.0) {}

TPainterCanvas::TPainterCanvas(QImage& image, double scale) {
    if (scale == 1.0) {
        if (DirectFormat(image.format()) && !image.isNull()) {
            // Detach first, so that the painter and the raster share one buffer.
            auto* bits = reinterpret_cast<std::uint32_t*>(image.bits());
            raster_ = std::make_unique<TPixelRaster>(bits, image.width(), image.height(), image.bytesPerLine() / 4);
        }
        ownPainter_ = std::make_unique<QPainter>(&image);
        painter_ = ownPainter_.get();
        painter_->setRenderHint(QPainter::Antialiasing, false);
    } else {
        ownPainter_ = std::make_unique<QPainter>(&image);
        painter_ = ownPainter_.get();
        painter_->setRenderHint(QPainter::Antialiasing, true);
        painter_->setRenderHint(QPainter::TextAntialiasing, true);
        painter_->scale(scale, scale);
        vector_ = true;
        scale_ = scale;
        stamping_ = DirectFormat(image.format()) && !image.isNull();
        if (stamping_) {
            target_ = &image;
            // Detached before the painter shares the buffer.
            targetBits_ = reinterpret_cast<std::uint32_t*>(image.bits());
            targetStride_ = image.bytesPerLine() / 4;
            targetClip_ = image.rect();
        }
    }
    rasterOps_ = painter_->paintEngine() && painter_->paintEngine()->hasFeature(QPaintEngine::RasterOpModes);
}

struct TPainterCanvas::Stamps {
    struct Key {
        int values[16] = {};
        bool operator==(const Key& o) const { return std::memcmp(values, o.values, sizeof values) == 0; }
    };
    struct KeyHash {
        std::size_t operator()(const Key& k) const {
            std::size_t h = 1469598103934665603ull;
            for (int v : k.values) h = (h ^ static_cast<std::size_t>(static_cast<unsigned>(v))) * 1099511628211ull;
            return h;
        }
    };
    std::unordered_map<Key, StampImage, KeyHash> entries;
};

TPainterCanvas::~TPainterCanvas() { End(); }

namespace {

// Shapes up to this size in picture pixels are stamped.
constexpr int MaxStampSize = 48;
// Stamps kept at most; the marks of a chart need a few dozen.
constexpr int MaxStamps = 4096;

}  // namespace

// A stamp: premultiplied pixels, and the columns of each row that show.
struct TPainterCanvas::StampImage {
    QImage image;
    std::vector<std::pair<int, int>> spans;  // per row: first, one past the last
    void FindSpans() {
        spans.assign(static_cast<std::size_t>(image.height()), {0, 0});
        for (int y = 0; y < image.height(); ++y) {
            const auto* p = reinterpret_cast<const std::uint32_t*>(image.constScanLine(y));
            int first = 0, last = image.width();
            while (first < last && (p[first] >> 24) == 0) ++first;
            while (last > first && (p[last - 1] >> 24) == 0) --last;
            spans[static_cast<std::size_t>(y)] = {first, last};
        }
    }
};

namespace {

// Copies a premultiplied stamp over an opaque 32-bit image at (x, y),
// inside the clip.
void Blit(std::uint32_t* bits, qsizetype stride, const QRect& clip, const TPainterCanvas::StampImage& stamp, int x,
          int y) {
    const QRect area = clip.intersected(QRect(x, y, stamp.image.width(), stamp.image.height()));
    if (area.isEmpty()) return;
    const auto* srcBits = reinterpret_cast<const std::uint32_t*>(stamp.image.constBits());
    const qsizetype srcStride = stamp.image.bytesPerLine() / 4;
    for (int row = area.top(); row <= area.bottom(); ++row) {
        const auto [first, last] = stamp.spans[static_cast<std::size_t>(row - y)];
        const int from = std::max(area.left(), x + first);
        const int to = std::min(area.right() + 1, x + last);
        if (from >= to) continue;
        std::uint32_t* d = bits + row * stride;
        const std::uint32_t* src = srcBits + (row - y) * srcStride - x;
        for (int i = from; i < to; ++i) {
            const std::uint32_t sp = src[i];
            const std::uint32_t a = sp >> 24;
            if (a == 255) {
                d[i] = sp;
            } else if (a != 0) {
                const std::uint32_t dp = d[i];
                const std::uint32_t inv = 255 - a;
                // Red and blue, then green, each times the remaining cover.
                std::uint32_t rb = (dp & 0xFF00FFu) * inv + 0x800080u;
                rb = ((rb + ((rb >> 8) & 0xFF00FFu)) >> 8) & 0xFF00FFu;
                std::uint32_t g = (dp & 0xFF00u) * inv + 0x8000u;
                g = ((g + ((g >> 8) & 0xFF00u)) >> 8) & 0xFF00u;
                d[i] = 0xFF000000u | ((sp & 0xFFFFFFu) + rb + g);
            }
        }
    }
}

}  // namespace

bool TPainterCanvas::Stamp(Shape shape, const QPoint* points, int count) {
    if (!stamping_ || Pen().mode != TPenMode::Copy || count < 1) return false;
    int left = points[0].x(), right = left, top = points[0].y(), bottom = top;
    for (int i = 1; i < count; ++i) {
        left = std::min(left, points[i].x());
        right = std::max(right, points[i].x());
        top = std::min(top, points[i].y());
        bottom = std::max(bottom, points[i].y());
    }
    if (right - left > MaxStampSize || bottom - top > MaxStampSize) return false;
    // Room for the pen on every side.
    const int margin = Pen().width / 2 + 1;
    const int ox = left - margin, oy = top - margin;
    const double dx = ox * scale_, dy = oy * scale_;
    const double fx = std::floor(dx), fy = std::floor(dy);
    // The fraction of an image pixel, to 1/64.
    const int phaseX = static_cast<int>(std::lround((dx - fx) * 64));
    const int phaseY = static_cast<int>(std::lround((dy - fy) * 64));

    if (count > 4) return false;
    Stamps::Key key;
    int* k = key.values;
    *k++ = static_cast<int>(shape) | (count << 4) | (static_cast<int>(Pen().style) << 8) |
           (static_cast<int>(Brush().style) << 16);
    *k++ = phaseX | (phaseY << 8);
    *k++ = static_cast<int>(Pen().color);
    *k++ = Pen().width;
    *k++ = static_cast<int>(Brush().color);
    for (int i = 0; i < count; ++i) {
        *k++ = points[i].x() - ox;
        *k++ = points[i].y() - oy;
    }
    if (!stamps_) stamps_ = std::make_unique<Stamps>();
    auto it = stamps_->entries.find(key);
    if (it == stamps_->entries.end()) {
        if (stamps_->entries.size() >= MaxStamps) stamps_->entries.clear();
        const int w = static_cast<int>(std::ceil((right - left + 2 * margin) * scale_)) + 2;
        const int h = static_cast<int>(std::ceil((bottom - top + 2 * margin) * scale_)) + 2;
        QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        {
            TPainterCanvas stamp(image, scale_);
            stamp.stamping_ = false;
            stamp.painter_->resetTransform();
            stamp.painter_->translate(phaseX / 64.0, phaseY / 64.0);
            stamp.painter_->scale(scale_, scale_);
            stamp.painter_->translate(-ox, -oy);
            stamp.SetPen(Pen());
            stamp.SetBrush(Brush());
            stamp.DrawShape(shape, points, count);
        }
        StampImage entry{std::move(image), {}};
        entry.FindSpans();
        it = stamps_->entries.emplace(key, std::move(entry)).first;
    }
    Blit(targetBits_, targetStride_, targetClip_, it->second, static_cast<int>(fx), static_cast<int>(fy));
    return true;
}

void TPainterCanvas::DrawShape(Shape shape, const QPoint* points, int count) {
    switch (shape) {
        case Shape::Rectangle: Rectangle(TRect{points[0].x(), points[0].y(), points[1].x(), points[1].y()}); break;
        case Shape::Ellipse: Ellipse(TRect{points[0].x(), points[0].y(), points[1].x(), points[1].y()}); break;
        case Shape::Polygon: Polygon(points, count); break;
        case Shape::Polyline: Polyline(points, count); break;
    }
}

void TPainterCanvas::End() {
    raster_.reset();
    if (ownPainter_) {
        if (ownPainter_->isActive()) ownPainter_->end();
        ownPainter_.reset();
    }
    painter_ = nullptr;
}

void TPainterCanvas::PrepareMode(TPenMode mode) {
    painter_->setCompositionMode(mode == TPenMode::Mask && rasterOps_ ? QPainter::RasterOp_SourceAndDestination
                                                                      : QPainter::CompositionMode_SourceOver);
}

void TPainterCanvas::PreparePen(bool forShape) {
    const TCanvasPen& p = Pen();
    if (p.style == TPenStyle::Clear) {
        painter_->setPen(Qt::NoPen);
        return;
    }
    QPen pen(ToQColor(p.color));
    if (p.width <= 1 && vector_) {
        // One picture pixel wide, not the thinnest line of the device, which
        // all but vanishes in print.
        pen.setWidthF(1.0);
        pen.setCosmetic(false);
        pen.setCapStyle(Qt::FlatCap);
        pen.setJoinStyle(Qt::MiterJoin);
        const QList<qreal> dashes = DashPattern(p.style);
        if (!dashes.isEmpty()) pen.setDashPattern(dashes);
    } else if (p.width <= 1) {
        pen.setWidth(0);
        pen.setCapStyle(Qt::FlatCap);
        const QList<qreal> dashes = DashPattern(p.style);
        if (!dashes.isEmpty()) pen.setDashPattern(dashes);
    } else {
        pen.setWidth(p.width);
        pen.setCapStyle(forShape ? Qt::SquareCap : Qt::RoundCap);
        pen.setJoinStyle(forShape ? Qt::MiterJoin : Qt::RoundJoin);
    }
    painter_->setPen(pen);
}

void TPainterCanvas::PrepareBrush() {
    const TCanvasBrush& b = Brush();
    if (b.style == TBrushStyle::Clear) {
        painter_->setBrush(Qt::NoBrush);
    } else {
        painter_->setBrush(ToQColor(b.color));
    }
}

void TPainterCanvas::TextOut(int x, int y, const QString& text) {
    if (!painter_ || text.isEmpty()) return;
    const int w = TextWidth(text);
    const int h = TextHeight(text);
    if (!TextTransparent() && Brush().style == TBrushStyle::Solid) {
        if (raster_) {
            raster_->Fill(TRect{x, y, x + w, y + h}, TPixelRaster::Paint{ToArgb(Brush().color), false});
        } else {
            painter_->setCompositionMode(QPainter::CompositionMode_SourceOver);
            painter_->fillRect(QRect(x, y, w, h), ToQColor(Brush().color));
        }
    }
    painter_->setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter_->setFont(MakeQFont(Font()));
    painter_->setPen(ToQColor(Font().color));
    painter_->drawText(QPoint(x, y + Metrics().ascent()), text);
}

void TPainterCanvas::FillRect(const TRect& rect) {
    if (!painter_ || Brush().style == TBrushStyle::Clear || rect.IsEmpty()) return;
    if (raster_) {
        raster_->Fill(rect, TPixelRaster::Paint{ToArgb(Brush().color), false});
        return;
    }
    painter_->setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter_->fillRect(ToQRect(rect), ToQColor(Brush().color));
}

void TPainterCanvas::Rectangle(const TRect& rect) {
    if (!painter_ || rect.IsEmpty()) return;
    if (stamping_) {
        const QPoint corners[2] = {QPoint(rect.left, rect.top), QPoint(rect.right, rect.bottom)};
        if (Stamp(Shape::Rectangle, corners, 2)) return;
    }
    const bool solid = Brush().style == TBrushStyle::Solid;
    if (raster_) {
        const TPixelRaster::Stroke pen{ToArgb(Pen().color), Pen().width, Pen().style, Pen().mode == TPenMode::Mask};
        const TPixelRaster::Paint fill{ToArgb(Brush().color), Pen().mode == TPenMode::Mask};
        raster_->Rectangle(rect, PenVisible() ? &pen : nullptr, solid ? &fill : nullptr);
        return;
    }
    PrepareMode(Pen().mode);
    if (!PenVisible()) {
        if (solid) painter_->fillRect(QRect(rect.left, rect.top, rect.Width() - 1, rect.Height() - 1), ToQColor(Brush().color));
        return;
    }
    if (vector_) {
        // The fill reaches the outer edges; the outline runs through the
        // centres of the border pixels.
        if (solid) painter_->fillRect(ToQRect(rect), ToQColor(Brush().color));
        PreparePen(true);
        painter_->setBrush(Qt::NoBrush);
        painter_->drawRect(QRectF(rect.left + 0.5, rect.top + 0.5, rect.Width() - 1, rect.Height() - 1));
        return;
    }
    PreparePen(true);
    PrepareBrush();
    painter_->drawRect(QRect(rect.left, rect.top, rect.Width() - 1, rect.Height() - 1));
}

void TPainterCanvas::Ellipse(const TRect& rect) {
    if (!painter_ || rect.IsEmpty()) return;
    if (stamping_) {
        const QPoint corners[2] = {QPoint(rect.left, rect.top), QPoint(rect.right, rect.bottom)};
        if (Stamp(Shape::Ellipse, corners, 2)) return;
    }
    const bool solid = Brush().style == TBrushStyle::Solid;
    if (raster_) {
        const TPixelRaster::Stroke pen{ToArgb(Pen().color), Pen().width, Pen().style, Pen().mode == TPenMode::Mask};
        const TPixelRaster::Paint fill{ToArgb(Brush().color), Pen().mode == TPenMode::Mask};
        raster_->Ellipse(rect, PenVisible() ? &pen : nullptr, solid ? &fill : nullptr);
        return;
    }
    PrepareMode(Pen().mode);
    PreparePen(true);
    PrepareBrush();
    if (vector_) {
        if (PenVisible()) {
            painter_->drawEllipse(QRectF(rect.left + 0.5, rect.top + 0.5, rect.Width() - 1, rect.Height() - 1));
        } else {
            painter_->drawEllipse(QRectF(rect.left, rect.top, rect.Width() - 1, rect.Height() - 1));
        }
        return;
    }
    painter_->drawEllipse(QRect(rect.left, rect.top, rect.Width() - 1, rect.Height() - 1));
}

void TPainterCanvas::Polygon(const QPoint* points, int count) {
    if (!painter_ || count < 2) return;
    if (stamping_ && Stamp(Shape::Polygon, points, count)) return;
    const bool solid = Brush().style == TBrushStyle::Solid;
    if (raster_) {
        const TPixelRaster::Stroke pen{ToArgb(Pen().color), Pen().width, Pen().style, Pen().mode == TPenMode::Mask};
        const TPixelRaster::Paint fill{ToArgb(Brush().color), Pen().mode == TPenMode::Mask};
        raster_->Polygon(points, count, PenVisible() ? &pen : nullptr, solid ? &fill : nullptr);
        return;
    }
    PrepareMode(Pen().mode);
    PreparePen(true);
    PrepareBrush();
    if (vector_ && PenVisible()) {
        QPolygonF centres;
        centres.reserve(count);
        for (int i = 0; i < count; ++i) centres << QPointF(points[i].x() + 0.5, points[i].y() + 0.5);
        painter_->drawPolygon(centres, Qt::OddEvenFill);
        return;
    }
    painter_->drawPolygon(points, count, Qt::OddEvenFill);
}

void TPainterCanvas::Polyline(const QPoint* points, int count) {
    if (!painter_ || count < 2 || !PenVisible()) return;
    if (stamping_ && Stamp(Shape::Polyline, points, count)) return;
    if (raster_) {
        const TPixelRaster::Stroke pen{ToArgb(Pen().color), Pen().width, Pen().style, Pen().mode == TPenMode::Mask};
        raster_->Polyline(points, count, pen);
        return;
    }
    PrepareMode(Pen().mode);
    PreparePen(false);
    painter_->setBrush(Qt::NoBrush);
    if (vector_) {
        if (Pen().width <= 1) {
            painter_->drawPolyline(ThinLinePath(points, count));
        } else {
            QPolygonF centres;
            centres.reserve(count);
            for (int i = 0; i < count; ++i) centres << QPointF(points[i].x() + 0.5, points[i].y() + 0.5);
            painter_->drawPolyline(centres);
        }
        return;
    }
    painter_->drawPolyline(points, count);
}

void TPainterCanvas::SetPixel(int x, int y, TColor color) {
    if (!painter_) return;
    if (raster_) {
        raster_->Pixel(x, y, TPixelRaster::Paint{ToArgb(color), false});
        return;
    }
    painter_->setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter_->fillRect(QRect(x, y, 1, 1), ToQColor(color));
}

void TPainterCanvas::SetClipRect(const TRect& rect) {
    if (!painter_) return;
    if (raster_) raster_->SetClip(rect);
    painter_->setClipRect(ToQRect(rect));
    if (target_) {
        const auto at = [&](int v) { return static_cast<int>(std::lround(v * scale_)); };
        targetClip_ = target_->rect().intersected(
            QRect(QPoint(at(rect.left), at(rect.top)), QPoint(at(rect.right) - 1, at(rect.bottom) - 1)));
    }
}

void TPainterCanvas::ResetClip() {
    if (!painter_) return;
    if (raster_) raster_->ResetClip();
    painter_->setClipping(false);
    if (target_) targetClip_ = target_->rect();
}

}  // namespace kavum::platform
