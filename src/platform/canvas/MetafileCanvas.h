#pragma once
// The canvas that records an enhanced metafile (EMF) with libUEMF. The
// picture has a size in pixels; the screen at 96 dpi is its reference device.
// Pens, brushes and fonts become GDI objects that are created when first
// needed, selected, and deleted once nothing selects them; the mask mode is
// the R2_MASKPEN mix; fonts keep the program's face names and the Shift-JIS
// character set; text goes out as EXTTEXTOUTW with the advance of every
// character taken from the same metrics as on screen. Dotted lines, single
// pixels, thin straight lines across or up and the thin frames of rectangles
// go out as filled paths over the pixels a device sets, so that vector
// readers, which take coordinates as the edges between pixels, show them on
// those pixels rather than between them.
#include "platform/canvas/Canvas.h"

#include <QByteArray>

#include <memory>

namespace kavum::platform {

class TMetafileCanvas : public TCanvas {
public:
    // width and height in pixels, at least 1 each.
    TMetafileCanvas(int width, int height);
    ~TMetafileCanvas() override;

    int Width() const;
    int Height() const;

    // Closes the picture and returns the metafile bytes. Drawing afterwards
    // is ignored; a second call returns the same bytes.
    QByteArray Finish();

    void TextOut(int x, int y, const QString& text) override;
    void FillRect(const TRect& rect) override;
    void Rectangle(const TRect& rect) override;
    void Ellipse(const TRect& rect) override;
    void Polygon(const QPoint* points, int count) override;
    void Polyline(const QPoint* points, int count) override;
    void SetPixel(int x, int y, TColor color) override;
    void SetClipRect(const TRect& rect) override;
    void ResetClip() override;

private:
    struct Impl;
    std::unique_ptr<Impl> d_;
};

// Writes metafile bytes to a file, creating or replacing it as a whole.
// Throws FileError when the file cannot be written.
void WriteMetafileFile(const QByteArray& emf, const QString& path);

}  // namespace kavum::platform
