#include "platform/canvas/PixelRaster.h"

#include <algorithm>
#include <cstring>
#include <cmath>
#include <vector>

namespace kavum::platform {

namespace {

long long FloorDiv(long long a, long long b) {
    long long q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
    return q;
}

using RowSpan = TPixelRaster::RowSpan;

}  // namespace

// Whether pixel number pos of a styled line is drawn. The patterns are those
// of the Windows cosmetic pens.
bool PenPatternOn(TPenStyle style, long long pos) {
    switch (style) {
        case TPenStyle::Solid:
            return true;
        case TPenStyle::Alternate:
            return pos % 2 == 0;
        case TPenStyle::Dot:
            return pos % 6 < 3;
        case TPenStyle::Dash:
            return pos % 24 < 18;
        case TPenStyle::DashDot: {
            const long long m = pos % 24;
            return m < 9 || (m >= 15 && m < 18);
        }
        case TPenStyle::DashDotDot: {
            const long long m = pos % 24;
            return m < 9 || (m >= 12 && m < 15) || (m >= 18 && m < 21);
        }
        case TPenStyle::Clear:
            return false;
    }
    return true;
}

TPixelRaster::TPixelRaster(std::uint32_t* bits, int width, int height, std::ptrdiff_t stridePixels)
    : bits_(bits), width_(std::max(0, width)), height_(std::max(0, height)), stride_(stridePixels) {
    ResetClip();
}

void TPixelRaster::CopyIn(int x, int y, const std::uint32_t* pixels, int w, int h, std::ptrdiff_t stridePixels) {
    const int left = std::max(0, x);
    const int right = std::min(width_, x + w);
    if (right <= left) return;
    for (int row = std::max(0, y); row < std::min(height_, y + h); ++row) {
        std::memcpy(bits_ + static_cast<std::ptrdiff_t>(row) * stride_ + left,
                    pixels + static_cast<std::ptrdiff_t>(row - y) * stridePixels + (left - x),
                    static_cast<std::size_t>(right - left) * sizeof(std::uint32_t));
    }
}

void TPixelRaster::SetClip(const TRect& rect) { clip_ = Intersect(rect, TRect{0, 0, width_, height_}); }

void TPixelRaster::ResetClip() { clip_ = TRect{0, 0, width_, height_}; }

void TPixelRaster::Pixel(int x, int y, Paint paint) {
    if (Inside(x, y)) Put(x, y, paint.argb, paint.mask);
}

void TPixelRaster::Span(int y, int x1, int x2, Paint paint) {
    if (y < clip_.top || y >= clip_.bottom) return;
    x1 = std::max(x1, clip_.left);
    x2 = std::min(x2, clip_.right - 1);
    if (x2 < x1) return;
    std::uint32_t* p = bits_ + static_cast<std::ptrdiff_t>(y) * stride_ + x1;
    const int n = x2 - x1 + 1;
    if (paint.mask) {
        for (int i = 0; i < n; ++i) p[i] &= paint.argb;
    } else {
        std::fill_n(p, n, paint.argb);
    }
}

void TPixelRaster::Fill(const TRect& rect, Paint paint) {
    const TRect r = Intersect(rect, clip_);
    for (int y = r.top; y < r.bottom; ++y) Span(y, r.left, r.right - 1, paint);
}

void TPixelRaster::Dot(int x, int y, const Stroke& stroke) {
    if (stroke.width <= 1) {
        if (Inside(x, y)) Put(x, y, stroke.argb, stroke.mask);
        return;
    }
    // The square of the pen, cut to the clip before any row is visited.
    const long long o = stroke.width / 2;
    const long long left = static_cast<long long>(x) - o;
    const long long top = static_cast<long long>(y) - o;
    SquareRows(top, top + stroke.width - 1, left, left + stroke.width - 1, Paint{stroke.argb, stroke.mask});
}

void TPixelRaster::SquareRows(long long top, long long bottom, long long left, long long right, Paint paint) {
    top = std::max<long long>(top, clip_.top);
    bottom = std::min<long long>(bottom, clip_.bottom - 1);
    left = std::max<long long>(left, clip_.left);
    right = std::min<long long>(right, clip_.right - 1);
    if (right < left) return;
    for (long long yy = top; yy <= bottom; ++yy) {
        Span(static_cast<int>(yy), static_cast<int>(left), static_cast<int>(right), paint);
    }
}

namespace {

// The minor coordinate of step k of a line from (major1, minor1) over n
// steps that moves dMinor along the minor axis.
long long MinorAt(long long minor1, long long dMinor, long long n, long long k) {
    return minor1 + FloorDiv(2 * k * dMinor + n, 2 * n);
}

// The first step in [lo, hi] whose minor coordinate passes bound (>= bound
// when the line rises, <= bound when it falls); hi + 1 when none does.
long long FirstStepPast(long long minor1, long long dMinor, long long n, long long lo, long long hi, long long bound,
                        bool rising) {
    while (lo <= hi) {
        const long long mid = lo + (hi - lo) / 2;
        const long long m = MinorAt(minor1, dMinor, n, mid);
        if (rising ? m >= bound : m <= bound) {
            hi = mid - 1;
        } else {
            lo = mid + 1;
        }
    }
    return lo;
}

}  // namespace

void TPixelRaster::WideSegment(long long x1, long long y1, long long x2, long long y2, const Stroke& stroke) {
    // A wide pen stamps its square at every step; the squares of one row
    // join into a single run, so each row of the clip is filled once, from
    // the first to the last step whose square reaches it. The result is the
    // same set of pixels (and, in mask mode, the same AND) as stamping each
    // square, at a cost bounded by the pixels inside the clip.
    const long long dx = x2 - x1;
    const long long dy = y2 - y1;
    const long long n = std::max(dx < 0 ? -dx : dx, dy < 0 ? -dy : dy);
    const bool xMajor = (dx < 0 ? -dx : dx) >= (dy < 0 ? -dy : dy);
    const long long w = stroke.width;
    const long long o = w / 2;
    const long long major1 = xMajor ? x1 : y1;
    const long long minor1 = xMajor ? y1 : x1;
    const long long dMinor = xMajor ? dy : dx;
    const long long step = (xMajor ? dx : dy) > 0 ? 1 : -1;
    const Paint paint{stroke.argb, stroke.mask};
    // Rows that some square reaches, cut to the clip.
    long long firstRow = 0;
    long long lastRow = 0;
    if (xMajor) {
        const long long m2 = MinorAt(minor1, dMinor, n, n - 1);
        firstRow = std::min(minor1, m2) - o;
        lastRow = std::max(minor1, m2) + (w - 1 - o);
    } else {
        const long long m2 = major1 + step * (n - 1);
        firstRow = std::min(major1, m2) - o;
        lastRow = std::max(major1, m2) + (w - 1 - o);
    }
    firstRow = std::max<long long>(firstRow, clip_.top);
    lastRow = std::min<long long>(lastRow, clip_.bottom - 1);
    for (long long yy = firstRow; yy <= lastRow; ++yy) {
        long long kFrom = 0;
        long long kTo = -1;
        if (xMajor) {
            // Steps whose square covers row yy: minor in [yy - (w - 1 - o), yy + o].
            const long long a = yy - (w - 1 - o);
            const long long b = yy + o;
            if (dMinor >= 0) {
                kFrom = FirstStepPast(minor1, dMinor, n, 0, n - 1, a, true);
                kTo = FirstStepPast(minor1, dMinor, n, 0, n - 1, b + 1, true) - 1;
            } else {
                kFrom = FirstStepPast(minor1, dMinor, n, 0, n - 1, b, false);
                kTo = FirstStepPast(minor1, dMinor, n, 0, n - 1, a - 1, false) - 1;
            }
            if (kTo < kFrom) continue;
            const long long m1 = major1 + step * kFrom;
            const long long m2 = major1 + step * kTo;
            SquareRows(yy, yy, std::min(m1, m2) - o, std::max(m1, m2) - o + w - 1, paint);
        } else {
            // Steps whose square covers row yy: major in [yy - (w - 1 - o), yy + o].
            const long long a = yy - (w - 1 - o);
            const long long b = yy + o;
            if (step > 0) {
                kFrom = std::max<long long>(0, a - major1);
                kTo = std::min<long long>(n - 1, b - major1);
            } else {
                kFrom = std::max<long long>(0, major1 - b);
                kTo = std::min<long long>(n - 1, major1 - a);
            }
            if (kTo < kFrom) continue;
            // The minor coordinate is monotonic in the step.
            const long long c1 = MinorAt(minor1, dMinor, n, kFrom);
            const long long c2 = MinorAt(minor1, dMinor, n, kTo);
            SquareRows(yy, yy, std::min(c1, c2) - o, std::max(c1, c2) - o + w - 1, paint);
        }
    }
}

void TPixelRaster::Segment(int x1, int y1, int x2, int y2, const Stroke& stroke, long long& phase) {
    const long long dx = static_cast<long long>(x2) - x1;
    const long long dy = static_cast<long long>(y2) - y1;
    const long long adx = dx < 0 ? -dx : dx;
    const long long ady = dy < 0 ? -dy : dy;
    const long long n = std::max(adx, ady);
    if (n == 0) return;
    if (stroke.width > 1) {
        WideSegment(x1, y1, x2, y2, stroke);
        phase += n;
        return;
    }
    const bool patterned = stroke.style != TPenStyle::Solid;

    // The pixels run along the major axis, one per step; only the steps whose
    // major coordinate lies in the clip are visited.
    const bool xMajor = adx >= ady;
    const long long major1 = xMajor ? x1 : y1;
    const long long minor1 = xMajor ? y1 : x1;
    const long long dMinor = xMajor ? dy : dx;
    const long long step = (xMajor ? dx : dy) > 0 ? 1 : -1;
    const long long lo = xMajor ? clip_.left : clip_.top;
    const long long hi = (xMajor ? clip_.right : clip_.bottom) - 1;
    long long kFirst = 0;
    long long kLast = n - 1;
    if (step > 0) {
        kFirst = std::max(kFirst, lo - major1);
        kLast = std::min(kLast, hi - major1);
    } else {
        kFirst = std::max(kFirst, major1 - hi);
        kLast = std::min(kLast, major1 - lo);
    }
    const long long minorLo = xMajor ? clip_.top : clip_.left;
    const long long minorHi = (xMajor ? clip_.bottom : clip_.right) - 1;
    for (long long k = kFirst; k <= kLast; ++k) {
        if (patterned && !PenPatternOn(stroke.style, phase + k)) continue;
        const long long minor = MinorAt(minor1, dMinor, n, k);
        if (minor < minorLo || minor > minorHi) continue;
        const long long major = major1 + step * k;
        if (xMajor) {
            Dot(static_cast<int>(major), static_cast<int>(minor), stroke);
        } else {
            Dot(static_cast<int>(minor), static_cast<int>(major), stroke);
        }
    }
    phase += n;
}

void TPixelRaster::Polyline(const QPoint* points, int count, const Stroke& stroke) {
    if (stroke.style == TPenStyle::Clear || count < 2) return;
    long long phase = 0;
    for (int i = 1; i < count; ++i) {
        Segment(points[i - 1].x(), points[i - 1].y(), points[i].x(), points[i].y(), stroke, phase);
    }
}

void TPixelRaster::Polygon(const QPoint* points, int count, const Stroke* pen, const Paint* fill) {
    if (count < 2) return;
    if (fill) {
        int minY = points[0].y();
        int maxY = points[0].y();
        for (int i = 1; i < count; ++i) {
            minY = std::min(minY, points[i].y());
            maxY = std::max(maxY, points[i].y());
        }
        minY = std::max(minY, clip_.top);
        maxY = std::min(maxY, clip_.bottom - 1);
        std::vector<double> xs;
        xs.reserve(static_cast<std::size_t>(count));
        // A pixel is filled when its centre lies inside (alternate rule);
        // the half-open tests leave the right and bottom edges to the pen.
        for (int y = minY; y <= maxY; ++y) {
            xs.clear();
            for (int i = 0; i < count; ++i) {
                const QPoint& a = points[i];
                const QPoint& b = points[(i + 1) % count];
                if (a.y() == b.y()) continue;
                if ((a.y() <= y && y < b.y()) || (b.y() <= y && y < a.y())) {
                    xs.push_back(a.x() + static_cast<double>(y - a.y()) * (b.x() - a.x()) / (b.y() - a.y()));
                }
            }
            std::sort(xs.begin(), xs.end());
            for (std::size_t i = 0; i + 1 < xs.size(); i += 2) {
                const int from = static_cast<int>(std::ceil(xs[i]));
                const int to = static_cast<int>(std::ceil(xs[i + 1])) - 1;
                Span(y, from, to, *fill);
            }
        }
    }
    if (pen && pen->style != TPenStyle::Clear) {
        long long phase = 0;
        for (int i = 0; i < count; ++i) {
            const QPoint& a = points[i];
            const QPoint& b = points[(i + 1) % count];
            Segment(a.x(), a.y(), b.x(), b.y(), *pen, phase);
        }
    }
}

void TPixelRaster::Rectangle(const TRect& rect, const Stroke* pen, const Paint* fill) {
    if (rect.IsEmpty()) return;
    const bool outlined = pen && pen->style != TPenStyle::Clear;
    if (!outlined) {
        // Without a pen the filled area is one pixel narrower and lower.
        if (fill) Fill(TRect{rect.left, rect.top, rect.right - 1, rect.bottom - 1}, *fill);
        return;
    }
    const int l = rect.left;
    const int t = rect.top;
    const int r = rect.right - 1;  // last column
    const int b = rect.bottom - 1;  // last row
    if (fill) Fill(TRect{l + 1, t + 1, r, b}, *fill);
    if (pen->width <= 1 && pen->style == TPenStyle::Solid) {
        const Paint p{pen->argb, pen->mask};
        Span(t, l, r, p);
        if (b > t) Span(b, l, r, p);
        for (int y = std::max(t + 1, clip_.top); y < b && y < clip_.bottom; ++y) {
            Span(y, l, l, p);
            if (r > l) Span(y, r, r, p);
        }
        return;
    }
    if (l == r || t == b) {
        if (pen->width > 1) {
            // The squares of the pen along the line join into one block.
            const long long o = pen->width / 2;
            const long long w = pen->width;
            SquareRows(t - o, b - o + w - 1, l - o, r - o + w - 1, Paint{pen->argb, pen->mask});
            return;
        }
        const int pad = pen->width;
        const TRect area = Intersect(TRect{l, t, r + 1, b + 1},
                                     TRect{clip_.left - pad, clip_.top - pad, clip_.right + pad, clip_.bottom + pad});
        for (int y = area.top; y < area.bottom; ++y) {
            for (int x = area.left; x < area.right; ++x) Dot(x, y, *pen);
        }
        return;
    }
    const QPoint frame[4] = {QPoint(l, t), QPoint(r, t), QPoint(r, b), QPoint(l, b)};
    Polygon(frame, 4, pen, nullptr);
}

void TPixelRaster::Ellipse(const TRect& rect, const Stroke* pen, const Paint* fill) {
    if (rect.IsEmpty()) return;
    const int w = rect.Width();
    const int h = rect.Height();
    const double cx = rect.left + (w - 1) / 2.0;
    const double cy = rect.top + (h - 1) / 2.0;
    const double a = w / 2.0;
    const double bb = h / 2.0;
    // The pixels whose centres lie inside the ellipse that touches the outer
    // edges of the box, row by row; only the rows at the clip (and one more
    // on each side, for the outline test) are looked at.
    const int firstRow = std::max(rect.top, clip_.top - 1);
    const int lastRow = std::min(rect.bottom - 1, clip_.bottom);
    if (lastRow < firstRow) return;
    const int rows = lastRow - firstRow + 1;
    std::vector<RowSpan> spans(static_cast<std::size_t>(rows) + 2);
    for (int i = 0; i < rows; ++i) {
        const double t = (firstRow + i - cy) / bb;
        RowSpan s;
        if (t * t <= 1.0) {
            const double half = a * std::sqrt(1.0 - t * t);
            s.left = std::max(rect.left, static_cast<int>(std::ceil(cx - half - 1e-9)));
            s.right = std::min(rect.right - 1, static_cast<int>(std::floor(cx + half + 1e-9)));
        }
        spans[static_cast<std::size_t>(i) + 1] = s;
    }
    const bool outlined = pen && pen->style != TPenStyle::Clear;
    // Interior of each row: pixels whose four neighbours are all inside.
    auto interior = [&](int i) {
        const RowSpan& s = spans[static_cast<std::size_t>(i) + 1];
        const RowSpan& above = spans[static_cast<std::size_t>(i)];
        const RowSpan& below = spans[static_cast<std::size_t>(i) + 2];
        RowSpan in;
        if (s.Empty() || above.Empty() || below.Empty()) return in;
        in.left = std::max({s.left + 1, above.left, below.left});
        in.right = std::min({s.right - 1, above.right, below.right});
        return in;
    };
    // Fill first, then the outline over it.
    if (fill) {
        for (int i = 0; i < rows; ++i) {
            const RowSpan s = outlined ? interior(i) : spans[static_cast<std::size_t>(i) + 1];
            if (!s.Empty()) Span(firstRow + i, s.left, s.right, *fill);
        }
    }
    if (!outlined) return;
    if (pen->width > 1) {
        WideEllipseOutline(spans, firstRow, rows, *pen);
        return;
    }
    const int pad = pen->width;
    auto outlineRun = [&](int y, int from, int to) {
        from = std::max(from, clip_.left - pad);
        to = std::min(to, clip_.right - 1 + pad);
        for (int x = from; x <= to; ++x) Dot(x, y, *pen);
    };
    for (int i = 0; i < rows; ++i) {
        const RowSpan& s = spans[static_cast<std::size_t>(i) + 1];
        if (s.Empty()) continue;
        const int y = firstRow + i;
        const RowSpan in = interior(i);
        if (in.Empty()) {
            outlineRun(y, s.left, s.right);
        } else {
            outlineRun(y, s.left, in.left - 1);
            outlineRun(y, in.right + 1, s.right);
        }
    }
}

// The outline pixels of an ellipse stamped with a wide pen's square: row by
// row the union of the squares that reach the row, which sets the pixels
// (and, in mask mode, ANDs them once) as stamping each square does, in time
// bounded by the rows and the pen's width rather than the square's area at
// every outline pixel.
void TPixelRaster::WideEllipseOutline(const std::vector<RowSpan>& spans, int firstRow, int rows, const Stroke& pen) {
    const long long w = pen.width;
    const long long o = w / 2;
    // The runs of outline pixels of each row: the row less its interior.
    std::vector<RowSpan> runs(static_cast<std::size_t>(rows) * 2);
    for (int i = 0; i < rows; ++i) {
        const RowSpan& s = spans[static_cast<std::size_t>(i) + 1];
        if (s.Empty()) continue;
        const RowSpan& above = spans[static_cast<std::size_t>(i)];
        const RowSpan& below = spans[static_cast<std::size_t>(i) + 2];
        RowSpan in;
        if (!above.Empty() && !below.Empty()) {
            in.left = std::max({s.left + 1, above.left, below.left});
            in.right = std::min({s.right - 1, above.right, below.right});
        }
        if (in.Empty()) {
            runs[static_cast<std::size_t>(i) * 2] = s;
        } else {
            runs[static_cast<std::size_t>(i) * 2] = RowSpan{s.left, in.left - 1};
            runs[static_cast<std::size_t>(i) * 2 + 1] = RowSpan{in.right + 1, s.right};
        }
    }
    const Paint paint{pen.argb, pen.mask};
    const long long top = std::max<long long>(static_cast<long long>(firstRow) - o, clip_.top);
    const long long bottom = std::min<long long>(static_cast<long long>(firstRow) + rows - 1 + (w - 1 - o),
                                                 static_cast<long long>(clip_.bottom) - 1);
    std::vector<std::pair<long long, long long>> cover;
    for (long long r = top; r <= bottom; ++r) {
        // Source rows y whose square reaches row r: y - o <= r <= y - o + w - 1.
        const long long from = std::max<long long>(r - (w - 1 - o), firstRow) - firstRow;
        const long long to = std::min<long long>(r + o, static_cast<long long>(firstRow) + rows - 1) - firstRow;
        cover.clear();
        for (long long i = from; i <= to; ++i) {
            for (int k = 0; k < 2; ++k) {
                const RowSpan& run = runs[static_cast<std::size_t>(i) * 2 + static_cast<std::size_t>(k)];
                if (!run.Empty()) cover.emplace_back(run.left - o, run.right - o + w - 1);
            }
        }
        if (cover.empty()) continue;
        std::sort(cover.begin(), cover.end());
        long long l = cover[0].first;
        long long rr = cover[0].second;
        auto put = [&](long long a, long long b) {
            a = std::max<long long>(a, clip_.left);
            b = std::min<long long>(b, static_cast<long long>(clip_.right) - 1);
            if (a <= b) Span(static_cast<int>(r), static_cast<int>(a), static_cast<int>(b), paint);
        };
        for (std::size_t j = 1; j < cover.size(); ++j) {
            if (cover[j].first <= rr + 1) {
                rr = std::max(rr, cover[j].second);
            } else {
                put(l, rr);
                l = cover[j].first;
                rr = cover[j].second;
            }
        }
        put(l, rr);
    }
}

}  // namespace kavum::platform
