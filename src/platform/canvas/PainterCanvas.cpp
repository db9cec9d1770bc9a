#include "platform/canvas/PainterCanvas.h"

#include "platform/canvas/PixelRaster.h"

#include <QPaintEngine>
#include <QPolygon>

#include <algorithm>
#include <cstdlib>
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

TPainterCanvas::TPainterCanvas(QImage& image) {
    if (DirectFormat(image.format()) && !image.isNull()) {
        // Detach first, so that the painter and the raster share one buffer.
        auto* bits = reinterpret_cast<std::uint32_t*>(image.bits());
        raster_ = std::make_unique<TPixelRaster>(bits, image.width(), image.height(), image.bytesPerLine() / 4);
    }
    ownPainter_ = std::make_unique<QPainter>(&image);
    painter_ = ownPainter_.get();
    painter_->setRenderHint(QPainter::Antialiasing, false);
    rasterOps_ = painter_->paintEngine() && painter_->paintEngine()->hasFeature(QPaintEngine::RasterOpModes);
}

TPainterCanvas::~TPainterCanvas() { End(); }

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
}

void TPainterCanvas::ResetClip() {
    if (!painter_) return;
    if (raster_) raster_->ResetClip();
    painter_->setClipping(false);
}

}  // namespace kavum::platform
