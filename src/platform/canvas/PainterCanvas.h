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
    struct StampImage;
    // Draws with a painter the caller has begun on any device.
    explicit TPainterCanvas(QPainter& painter);
    // Draws into an image; the canvas owns its painter until End().
    explicit TPainterCanvas(QImage& image);
    // Draws into an image scale times the size of the picture drawn: the
    // picture's pixels become scale x scale image pixels, and lines, shapes
    // and text are drawn smooth at the image's resolution (through the
    // painter, with the placement of the vector devices). Scale 1 is the
    // pixel-exact canvas above.
    TPainterCanvas(QImage& image, double scale);
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
    // True on a vector device: SVG, PDF.
    bool VectorDevice() const { return vector_; }

private:
    enum class Shape { Rectangle, Ellipse, Polygon, Polyline };
    // Draws a small shape of a scaled image as a stamp: the shape is drawn
    // once into a small image for each of its forms (geometry, paint and the
    // fraction of an image pixel where it starts) and copied for the others.
    // False when the shape is not drawn so.
    bool Stamp(Shape shape, const QPoint* points, int count);
    void DrawShape(Shape shape, const QPoint* points, int count);
    void PreparePen(bool forShape);

    void PrepareBrush();
    void PrepareMode(TPenMode mode);
    bool PenVisible() const { return Pen().style != TPenStyle::Clear; }

    QPainter* painter_ = nullptr;
    std::unique_ptr<QPainter> ownPainter_;
    std::unique_ptr<TPixelRaster> raster_;
    bool rasterOps_ = false;  // the device can AND pixels
    bool vector_ = false;     // the device keeps shapes, not pixels
    double scale_ = 1.0;      // image pixels per picture pixel
    bool stamping_ = false;   // small shapes go through the stamps
    QImage* target_ = nullptr; // the scaled image, where stamps are copied
    std::uint32_t* targetBits_ = nullptr;
    qsizetype targetStride_ = 0;
    QRect targetClip_;         // the clip in the image's pixels
    struct Stamps;
    std::unique_ptr<Stamps> stamps_;
};

}  // namespace kavum::platform
