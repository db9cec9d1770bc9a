#pragma once
// The canvas over QPainter: the screen buffer, bitmaps, SVG and PDF pictures.
// On a 32-bit image lines, shapes and pixels are set straight into the image
// memory (pixel-exact, and the mask mode is a true AND); on other devices they
// go through QPainter, where the mask mode is a raster operation if the
// device has them and a plain colour otherwise. Text always goes through
// QPainter. On vector devices (SVG, PDF) lines run through the centres of
// the pixels a bitmap would set and areas keep to pixel edges, so that the
// picture is as crisp as the bitmap when shown at its size.
#include "platform/canvas/Canvas.h"

#include <QImage>
#include <QPainter>

#include <cstdint>
#include <memory>

namespace kavum::platform {

class TPixelRaster;

class TPainterCanvas : public TCanvas {
public:
    // Draws with a painter the caller has begun on any device.
    explicit TPainterCanvas(QPainter& painter);
    // Draws into an image; the canvas owns its painter until End().
    explicit TPainterCanvas(QImage& image);
    ~TPainterCanvas() override;

    // Ends the canvas's own painter (image canvases); nothing may be drawn
    // afterwards.
    void End();

    void TextOut(int x, int y, const QString& text) override;
    void FillRect(const TRect& rect) override;
    void Rectangle(const TRect& rect) override;
    void Ellipse(const TRect& rect) override;
    void Polygon(const QPoint* points, int count) override;
    void Polyline(const QPoint* points, int count) override;
    void SetPixel(int x, int y, TColor color) override;
    void SetClipRect(const TRect& rect) override;
    void ResetClip() override;

    // True when shapes are rasterized into image memory.
    bool DirectPixels() const { return raster_ != nullptr; }
    // The image drawn into, for direct pixels: its size and format.
    QSize ImageSize() const;
    QImage::Format ImageFormat() const { return format_; }
    // Sets the image's pixels at (x, y) to those of a picture of the same
    // format, past the clip (direct pixels only).
    void PutPixels(int x, int y, const QImage& pixels);
    // While on, small rectangles, ellipses, polygons and lines of copying pens
    // are rasterized once for each form (geometry and paint) and copied to
    // their places afterwards, with the same pixels: for the many marks of
    // a chart. Image canvases only.
    void SetStampShapes(bool on) { stampShapes_ = on && raster_ != nullptr; }
    bool StampShapes() const { return stampShapes_; }
    // True on a vector device: SVG, PDF.
    bool VectorDevice() const { return vector_; }

private:
    void PreparePen(bool forShape);
    enum class Shape { Rectangle, Ellipse, Polygon, Polyline };
    // Draws the shape through the stamps; false when it is not drawn so.
    bool Stamp(Shape shape, const QPoint* points, int count);

    void PrepareBrush();
    void PrepareMode(TPenMode mode);
    bool PenVisible() const { return Pen().style != TPenStyle::Clear; }

    QPainter* painter_ = nullptr;
    std::unique_ptr<QPainter> ownPainter_;
    std::unique_ptr<TPixelRaster> raster_;
    bool rasterOps_ = false;  // the device can AND pixels
    bool vector_ = false;     // the device keeps shapes, not pixels
    bool stampShapes_ = false;
    QImage::Format format_ = QImage::Format_Invalid;
    struct Stamps;
    std::unique_ptr<Stamps> stamps_;
};

}  // namespace kavum::platform
