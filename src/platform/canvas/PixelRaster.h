#pragma once
// Pixel-exact drawing of lines, shapes and pixels straight into 32-bit image
// memory (0xAARRGGBB, opaque), with the rules of a Windows canvas: the last
// point of a line is not drawn, rectangles exclude their right and bottom
// edges, the mask mode ANDs the pen colour into the pixel. Much faster than
// going through QPainter for the many small marks of a chart.
#include "platform/canvas/Canvas.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace kavum::platform {

// Whether pixel number pos (from 0) of a line of width 1 in the style is
// drawn; the pattern runs on across the segments of a polyline, counted in
// steps along the longer axis of each segment.
bool PenPatternOn(TPenStyle style, long long pos);

class TPixelRaster {
public:
    struct Paint {
        std::uint32_t argb = 0xFF000000u;
        bool mask = false;
    };
    struct Stroke {
        std::uint32_t argb = 0xFF000000u;
        int width = 1;
        TPenStyle style = TPenStyle::Solid;
        bool mask = false;
    };

    // Pixels left..right of a row; empty when right < left.
    struct RowSpan {
        int left = 0;
        int right = -1;
        bool Empty() const { return right < left; }
    };

    TPixelRaster(std::uint32_t* bits, int width, int height, std::ptrdiff_t stridePixels);

    void SetClip(const TRect& rect);
    void ResetClip();
    const TRect& Clip() const { return clip_; }

    int Width() const { return width_; }
    int Height() const { return height_; }
    // Copies a block of w x h pixels (rows stridePixels apart) to (x, y),
    // past the clip; the part outside the image is left out.
    void CopyIn(int x, int y, const std::uint32_t* pixels, int w, int h, std::ptrdiff_t stridePixels);

    void Pixel(int x, int y, Paint paint);
    // Pixels x1..x2 (both included) of row y.
    void Span(int y, int x1, int x2, Paint paint);
    void Fill(const TRect& rect, Paint paint);
    // Copies count pixels to row y from column x on, cut to the clip.
    void CopyToRow(int y, int x, const std::uint32_t* pixels, int count) {
        if (y < clip_.top || y >= clip_.bottom) return;
        int from = 0;
        if (x < clip_.left) from = clip_.left - x;
        int to = count;
        if (static_cast<long long>(x) + count > clip_.right) to = clip_.right - x;
        if (to <= from) return;
        std::memcpy(bits_ + static_cast<std::ptrdiff_t>(y) * stride_ + x + from, pixels + from,
                    static_cast<std::size_t>(to - from) * sizeof(std::uint32_t));
    }
    // The last point is not drawn; a dash pattern runs on across the segments.
    void Polyline(const QPoint* points, int count, const Stroke& stroke);
    // Shapes: fill (when given) first, then the outline (when given).
    void Polygon(const QPoint* points, int count, const Stroke* pen, const Paint* fill);
    void Rectangle(const TRect& rect, const Stroke* pen, const Paint* fill);
    void Ellipse(const TRect& rect, const Stroke* pen, const Paint* fill);

private:
    void Put(int x, int y, std::uint32_t argb, bool mask) {
        std::uint32_t* p = bits_ + static_cast<std::ptrdiff_t>(y) * stride_ + x;
        *p = mask ? (*p & argb) : argb;
    }
    bool Inside(int x, int y) const {
        return x >= clip_.left && x < clip_.right && y >= clip_.top && y < clip_.bottom;
    }
    void Dot(int x, int y, const Stroke& stroke);
    // One segment without its end point; phase counts pattern pixels.
    void Segment(int x1, int y1, int x2, int y2, const Stroke& stroke, long long& phase);
    // A segment of a pen wider than one pixel, row by row inside the clip.
    void WideSegment(long long x1, long long y1, long long x2, long long y2, const Stroke& stroke);
    // The outline of an ellipse of the given row spans (with an empty row
    // before and after) in a pen wider than one pixel.
    void WideEllipseOutline(const std::vector<RowSpan>& spans, int firstRow, int rows, const Stroke& pen);
    // Rows top..bottom, columns left..right (all included), cut to the clip.
    void SquareRows(long long top, long long bottom, long long left, long long right, Paint paint);

    std::uint32_t* bits_;
    int width_;
    int height_;
    std::ptrdiff_t stride_;
    TRect clip_;
};

}  // namespace kavum::platform
