#include "platform/canvas/PixelGeometry.h"

#include "platform/canvas/PixelRaster.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace kavum::platform {

long long FloorDiv(long long a, long long b) {
    long long q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
    return q;
}

void PushRunArea(std::vector<QPoint>& out, QPoint a, QPoint b, bool xMajor) {
    if (xMajor) {
        if (b.x() < a.x()) std::swap(a, b);
        out.insert(out.end(), {a, QPoint(b.x() + 1, b.y()), QPoint(b.x() + 1, b.y() + 1), QPoint(a.x(), a.y() + 1)});
    } else {
        if (b.y() < a.y()) std::swap(a, b);
        out.insert(out.end(), {a, QPoint(a.x() + 1, a.y()), QPoint(b.x() + 1, b.y() + 1), QPoint(b.x(), b.y() + 1)});
    }
}

namespace {

// One segment stepped pixel by pixel along its major axis, as the line
// drawing of the raster canvas steps it (end point excluded).
struct SegmentSteps {
    SegmentSteps(QPoint from, QPoint to) : x1(from.x()), y1(from.y()) {
        dx = static_cast<long long>(to.x()) - x1;
        dy = static_cast<long long>(to.y()) - y1;
        adx = dx < 0 ? -dx : dx;
        ady = dy < 0 ? -dy : dy;
        n = std::max(adx, ady);
        xMajor = adx >= ady;
        step = (xMajor ? dx : dy) > 0 ? 1 : -1;
    }
    // The pixel of step k, 0 <= k < n.
    void At(long long k, long long& x, long long& y) const {
        const long long minor = FloorDiv(2 * k * (xMajor ? dy : dx) + n, 2 * n);
        x = xMajor ? x1 + step * k : x1 + minor;
        y = xMajor ? y1 + minor : y1 + step * k;
    }
    QPoint At(long long k) const {
        long long x, y;
        At(k, x, y);
        return QPoint(static_cast<int>(x), static_cast<int>(y));
    }

    long long x1, y1, dx, dy, adx, ady, n, step;
    bool xMajor;
};

}  // namespace

std::vector<QPoint> DashAreasOf(const QPoint* points, int count, TPenStyle style, const TRect& clip) {
    std::vector<QPoint> out;
    long long phase = 0;
    for (int i = 1; i < count; ++i) {
        const SegmentSteps seg(points[i - 1], points[i]);
        const long long n = seg.n;
        if (n == 0) continue;
        const bool xMajor = seg.xMajor;
        const long long adx = seg.adx;
        const long long ady = seg.ady;
        auto at = [&seg](long long k) { return seg.At(k); };
        long long k = 0;
        while (k < n) {
            if (!PenPatternOn(style, phase + k)) {
                ++k;
                continue;
            }
            long long end = k;
            while (end + 1 < n && PenPatternOn(style, phase + end + 1)) ++end;
            const QPoint a = at(k);
            const QPoint b = at(end);
            const bool outside = std::max(a.x(), b.x()) < clip.left || std::min(a.x(), b.x()) >= clip.right ||
                                 std::max(a.y(), b.y()) < clip.top || std::min(a.y(), b.y()) >= clip.bottom;
            if (!outside) {
                if (adx == 0 || ady == 0 || adx == ady) {
                    // Across, up or at 45 degrees the run's area is exact.
                    PushRunArea(out, a, b, xMajor);
                } else {
                    // Otherwise one strip for each row (or column) it steps through.
                    long long from = k;
                    for (long long j = k + 1; j <= end + 1; ++j) {
                        if (j <= end && (xMajor ? at(j).y() == at(from).y() : at(j).x() == at(from).x())) continue;
                        PushRunArea(out, at(from), at(j - 1), xMajor);
                        from = j;
                    }
                }
            }
            k = end + 1;
        }
        phase += n;
    }
    return out;
}

std::vector<QPoint> DashPixelsOf(const QPoint* points, int count, TPenStyle style, const TRect& clip) {
    std::vector<QPoint> out;
    long long phase = 0;
    for (int i = 1; i < count; ++i) {
        const SegmentSteps seg(points[i - 1], points[i]);
        const long long n = seg.n;
        if (n == 0) continue;
        for (long long k = 0; k < n; ++k) {
            if (!PenPatternOn(style, phase + k)) continue;
            long long x, y;
            seg.At(k, x, y);
            if (x >= clip.left && x < clip.right && y >= clip.top && y < clip.bottom) {
                out.emplace_back(static_cast<int>(x), static_cast<int>(y));
            }
        }
        phase += n;
    }
    return out;
}

bool IsStraightRun(const QPoint* points, int count) {
    if (count != 2) return false;
    const int dx = std::abs(points[1].x() - points[0].x());
    const int dy = std::abs(points[1].y() - points[0].y());
    return dx == 0 || dy == 0 || dx == dy;
}

namespace {

// Cells of 8 pixels, larger on pictures so large that the grid would hold
// more than about a million of them.
int CellSize(int width, int height) {
    const double area = static_cast<double>(std::max(1, width)) * std::max(1, height);
    return std::max(8, static_cast<int>(std::ceil(std::sqrt(area / 1e6))));
}

}  // namespace

namespace {

// The cells of the grid let go last on this thread, with the batch they
// had reached: a grid of the same size takes them over and goes on from
// that batch, so that a picture after picture clears nothing.
struct SpareGrid {
    std::vector<std::uint32_t> cells;
    std::uint32_t batch = 0;
};
thread_local SpareGrid spareGrid;

}  // namespace

TShapeGrid::TShapeGrid(int width, int height)
    : cell_(CellSize(width, height)),
      columns_(std::max(1, width) / cell_ + 1),
      rows_(std::max(1, height) / cell_ + 1) {
    const std::size_t size = static_cast<std::size_t>(columns_) * rows_;
    if (spareGrid.cells.size() == size && spareGrid.batch < (1u << 31)) {
        cells_.swap(spareGrid.cells);
        batch_ = spareGrid.batch + 1;
    } else {
        cells_.assign(size, 0);
    }
}

TShapeGrid::~TShapeGrid() {
    spareGrid.cells.swap(cells_);
    spareGrid.batch = batch_;
}

TShapeGrid::Span TShapeGrid::Cells(int left, int top, int right, int bottom, int margin) const {
    auto column = [&](long long x) {
        return static_cast<int>(std::clamp<long long>(FloorDiv(x, cell_), 0, columns_ - 1));
    };
    auto row = [&](long long y) { return static_cast<int>(std::clamp<long long>(FloorDiv(y, cell_), 0, rows_ - 1)); };
    return Span{column(static_cast<long long>(left) - margin), column(static_cast<long long>(right) + margin),
                row(static_cast<long long>(top) - margin), row(static_cast<long long>(bottom) + margin)};
}

bool TShapeGrid::Touches(int left, int top, int right, int bottom, int margin) const {
    const Span s = Cells(left, top, right, bottom, margin);
    if ((s.c1 - s.c0 + 1) * (s.r1 - s.r0 + 1) > 64) return true;
    for (int r = s.r0; r <= s.r1; ++r) {
        const std::uint32_t* cell = &cells_[static_cast<std::size_t>(r) * columns_];
        for (int c = s.c0; c <= s.c1; ++c) {
            if (cell[c] == batch_) return true;
        }
    }
    return false;
}

void TShapeGrid::Add(int left, int top, int right, int bottom, int margin) {
    const Span s = Cells(left, top, right, bottom, margin);
    for (int r = s.r0; r <= s.r1; ++r) {
        std::uint32_t* cell = &cells_[static_cast<std::size_t>(r) * columns_];
        for (int c = s.c0; c <= s.c1; ++c) cell[c] = batch_;
    }
}

}  // namespace kavum::platform
