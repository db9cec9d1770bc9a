#pragma once
// The pixels a Windows device sets for lines and shapes, as areas that any
// vector reader fills the same way, and the bookkeeping that lets separate
// shapes share one record of a vector picture.
#include "platform/canvas/Canvas.h"

#include <QPoint>

#include <cstdint>
#include <vector>

namespace kavum::platform {

long long FloorDiv(long long a, long long b);

// Appends the area of the pixels from a to b (both set) of one run along a
// line: a quadrilateral, clockwise, one pixel thick across the line. A single
// pixel is its unit square.
void PushRunArea(std::vector<QPoint>& out, QPoint a, QPoint b, bool xMajor);

// The pixels a line of width 1 in the style sets, run by run, as areas (four
// points each): the pattern steps along the longer axis of each segment and
// runs on across the segments, the last point is not set. Runs wholly
// outside the clip are left out.
std::vector<QPoint> DashAreasOf(const QPoint* points, int count, TPenStyle style, const TRect& clip);

// The pixels themselves, one by one.
std::vector<QPoint> DashPixelsOf(const QPoint* points, int count, TPenStyle style, const TRect& clip);

// Whether a polyline of two points is a line across, up or at 45 degrees,
// whose pixels a run area covers exactly.
bool IsStraightRun(const QPoint* points, int count);

// Remembers which cells of a grid over the picture the shapes of the batch
// in progress cover (their bounding boxes widened by a margin), to tell
// whether a new shape may touch one of them. Shapes off the picture count
// on its border cells, which can only end a batch early.
class TShapeGrid {
public:
    TShapeGrid(int width, int height);
    ~TShapeGrid();
    TShapeGrid(const TShapeGrid&) = default;
    TShapeGrid& operator=(const TShapeGrid&) = default;
    // True when the box (inclusive, widened by margin) touches a cell of the
    // batch; boxes of more than 64 cells always touch.
    bool Touches(int left, int top, int right, int bottom, int margin) const;
    void Add(int left, int top, int right, int bottom, int margin);
    // Starts a new batch.
    void Clear() { ++batch_; }

private:
    struct Span {
        int c0, c1, r0, r1;
    };
    Span Cells(int left, int top, int right, int bottom, int margin) const;

    int cell_;
    int columns_;
    int rows_;
    std::vector<std::uint32_t> cells_;
    std::uint32_t batch_ = 1;
};

}  // namespace kavum::platform
