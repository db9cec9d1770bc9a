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

TPainterCanvas::TPainterCanvas(QImage& image) {
    if (DirectFormat(image.format()) && !image.isNull()) {
        // Detach first, so that the painter and the raster share one buffer.
        auto* bits = reinterpret_cast<std::uint32_t*>(image.bits());
        raster_ = std::make_unique<TPixelRaster>(bits, image.width(), image.height(), image.bytesPerLine() / 4);
        format_ = image.format();
    }
    ownPainter_ = std::make_unique<QPainter>(&image);
    painter_ = ownPainter_.get();
    painter_->setRenderHint(QPainter::Antialiasing, false);
    rasterOps_ = painter_->paintEngine() && painter_->paintEngine()->hasFeature(QPaintEngine::RasterOpModes);
}

// The stamps of the shapes drawn so far: for each form the pieces of rows it
// sets (pixels next to each other), relative to its origin.
struct TPainterCanvas::Stamps {
    struct Piece {
        int row;
        int from;
        int count;
        std::size_t first;  // of its pixels in Stamp::pixels
    };
    struct Stamp {
        std::vector<Piece> pieces;
        std::vector<std::uint32_t> pixels;
    };
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
    std::unordered_map<Key, Stamp, KeyHash> entries;
    // The marks of a series take the same few forms one after another: the
    // last ones found are tried first.
    static constexpr int Recent = 4;
    const Key* recentKeys[Recent] = {};
    const Stamp* recent[Recent] = {};
    int next = 0;
};

TPainterCanvas::~TPainterCanvas() { End(); }

QSize TPainterCanvas::ImageSize() const { return raster_ ? QSize(raster_->Width(), raster_->Height()) : QSize(); }

void TPainterCanvas::PutPixels(int x, int y, const QImage& pixels) {
    if (!raster_ || pixels.isNull() || pixels.format() != format_) return;
    raster_->CopyIn(x, y, reinterpret_cast<const std::uint32_t*>(pixels.constBits()), pixels.width(), pixels.height(),
                    pixels.bytesPerLine() / 4);
}

namespace {

// Shapes up to this size in pixels are stamped; stamps kept at most.
constexpr int MaxStampSize = 400;
constexpr std::size_t MaxStamps = 4096;

}  // namespace

bool TPainterCanvas::Stamp(Shape shape, const QPoint* points, int count) {
    const TCanvasPen& pen = Pen();
    if (!raster_ || pen.mode != TPenMode::Copy || count < 1 || count > 4) return false;
    if (pen.style != TPenStyle::Solid && pen.style != TPenStyle::Clear) return false;
    int left = points[0].x(), right = left, top = points[0].y(), bottom = top;
    for (int i = 1; i < count; ++i) {
        left = std::min(left, points[i].x());
        right = std::max(right, points[i].x());
        top = std::min(top, points[i].y());
        bottom = std::max(bottom, points[i].y());
    }
    if (static_cast<long long>(right) - left > MaxStampSize || static_cast<long long>(bottom) - top > MaxStampSize) {
        return false;
    }
    // Room for the pen on every side.
    const int margin = pen.width + 2;
    const int ox = left - margin;
    const int oy = top - margin;
    Stamps::Key key;
    int* k = key.values;
    *k++ = static_cast<int>(shape) | (count << 4) | (static_cast<int>(pen.style) << 8) |
           (static_cast<int>(Brush().style) << 16);
    *k++ = static_cast<int>(pen.color);
    *k++ = pen.width;
    *k++ = static_cast<int>(Brush().color);
    for (int i = 0; i < count; ++i) {
        *k++ = points[i].x() - ox;
        *k++ = points[i].y() - oy;
    }
    if (!stamps_) stamps_ = std::make_unique<Stamps>();
    const Stamps::Stamp* stamp = nullptr;
    for (int i = 0; i < Stamps::Recent && !stamp; ++i) {
        if (stamps_->recent[i] && *stamps_->recentKeys[i] == key) stamp = stamps_->recent[i];
    }
    if (!stamp) {
        auto it = stamps_->entries.find(key);
        if (it == stamps_->entries.end()) {
            if (stamps_->entries.size() >= MaxStamps) {
                stamps_->entries.clear();
                for (int i = 0; i < Stamps::Recent; ++i) stamps_->recent[i] = nullptr;
            }
            const int w = right - left + 1 + 2 * margin;
            const int h = bottom - top + 1 + 2 * margin;
            // Drawn at its place relative to the origin on a ground no paint
            // gives (every paint is opaque).
            std::vector<std::uint32_t> bits(static_cast<std::size_t>(w) * static_cast<std::size_t>(h), 0u);
            TPixelRaster scratch(bits.data(), w, h, w);
            std::vector<QPoint> local(static_cast<std::size_t>(count));
            for (int i = 0; i < count; ++i) local[static_cast<std::size_t>(i)] = points[i] - QPoint(ox, oy);
            const TPixelRaster::Stroke stroke{ToArgb(pen.color), pen.width, pen.style, false};
            const TPixelRaster::Paint fill{ToArgb(Brush().color), false};
            const TPixelRaster::Stroke* outline = PenVisible() ? &stroke : nullptr;
            const TPixelRaster::Paint* inside = Brush().style == TBrushStyle::Solid ? &fill : nullptr;
            switch (shape) {
                case Shape::Rectangle:
                    scratch.Rectangle(TRect{local[0].x(), local[0].y(), local[1].x(), local[1].y()}, outline, inside);
                    break;
                case Shape::Ellipse:
                    scratch.Ellipse(TRect{local[0].x(), local[0].y(), local[1].x(), local[1].y()}, outline, inside);
                    break;
                case Shape::Polygon: scratch.Polygon(local.data(), count, outline, inside); break;
                case Shape::Polyline: scratch.Polyline(local.data(), count, stroke); break;
            }
            Stamps::Stamp made;
            for (int y = 0; y < h; ++y) {
                const std::uint32_t* row = bits.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(w);
                for (int x = 0; x < w;) {
                    if (row[x] == 0) {
                        ++x;
                        continue;
                    }
                    int end = x + 1;
                    while (end < w && row[end] != 0) ++end;
                    made.pieces.push_back(Stamps::Piece{y, x, end - x, made.pixels.size()});
                    made.pixels.insert(made.pixels.end(), row + x, row + end);
                    x = end;
                }
            }
            it = stamps_->entries.emplace(key, std::move(made)).first;
        }
        stamp = &it->second;
        stamps_->recentKeys[stamps_->next] = &it->first;
        stamps_->recent[stamps_->next] = stamp;
        stamps_->next = (stamps_->next + 1) % Stamps::Recent;
    }
    for (const Stamps::Piece& piece : stamp->pieces) {
        raster_->CopyToRow(oy + piece.row, ox + piece.from, stamp->pixels.data() + piece.first, piece.count);
    }
    return true;
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
    if (stampShapes_) {
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
    if (stampShapes_) {
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
    if (stampShapes_ && Stamp(Shape::Polygon, points, count)) return;
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
    if (stampShapes_ && Stamp(Shape::Polyline, points, count)) return;
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
