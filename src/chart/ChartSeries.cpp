#include "chart/ChartSeries.h"

#include "chart/CustomChart.h"
#include "chart/ChartAxis.h"
#include "platform/Errors.h"
#include "platform/canvas/PainterCanvas.h"
#include "platform/canvas/VectorCanvas.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <type_traits>

namespace kavum::chart {

using platform::TCanvas;
using platform::TRect;

namespace {

// x order with NaN after every number, so that sorting stays well defined.
bool XLess(double a, double b) { return std::isnan(b) ? !std::isnan(a) : a < b; }

// Orders points of either width (or a point and an x) by x.
struct PointXLess {
    template <class A, class B>
    bool operator()(const A& a, const B& b) const { return XLess(X(a), X(b)); }

private:
    static double X(double x) { return x; }
    template <class P>
    static double X(const P& p) { return p.x; }
};

// True when the value is a float's value, bit for bit (NaN included when
// its bits survive), so that a float holds it.
bool FitsFloat(double v) {
    if (std::isfinite(v) && std::fabs(v) > std::numeric_limits<float>::max()) return false;
    const double back = static_cast<double>(static_cast<float>(v));
    return std::memcmp(&back, &v, sizeof v) == 0;
}

template <class T>
bool Change(T& field, const T& value) {
    if (field == value) return false;
    field = value;
    return true;
}

constexpr long long PixelLimit = 32766;

// The largest half-size a mark is drawn with: a mark this large centred
// anywhere a point may be drawn already covers the whole picture, so a
// larger size (possible from a hand-edited settings file) looks the same.
constexpr int MaxDrawnHalfSize = 32767;

}  // namespace

// ---- pointer shapes ----

void DrawPointerShape(TCanvas& c, int x, int y, int h, int v, TColor color, TSeriesPointerStyle style, int dot) {
    switch (style) {
        case psRectangle:
            c.Rectangle(TRect{x - h, y - v, x + h + 1, y + v + 1});
            break;
        case psCircle:
            c.Ellipse(TRect{x - h, y - v, x + h, y + v});
            break;
        case psTriangle: {
            const QPoint pts[3] = {QPoint(x - h, y + v), QPoint(x + h, y + v), QPoint(x, y - v)};
            c.Polygon(pts, 3);
            break;
        }
        case psDownTriangle: {
            const QPoint pts[3] = {QPoint(x - h, y - v), QPoint(x + h, y - v), QPoint(x, y + v)};
            c.Polygon(pts, 3);
            break;
        }
        case psCross:
            c.SetPenColor(color);
            c.Line(x, y - v, x, y + v + 1);
            c.Line(x - h, y, x + h + 1, y);
            break;
        case psDiagCross:
            c.SetPenColor(color);
            c.Line(x - h, y - v, x + h + 1, y + v + 1);
            c.Line(x + h, y - v, x - h - 1, y + v + 1);
            break;
        case psStar:
            DrawPointerShape(c, x, y, h, v, color, psCross);
            DrawPointerShape(c, x, y, h, v, color, psDiagCross);
            break;
        case psDiamond: {
            const QPoint pts[4] = {QPoint(x - h, y), QPoint(x, y - v), QPoint(x + h, y), QPoint(x, y + v)};
            c.Polygon(pts, 4);
            break;
        }
        case psSmallDot:
            if (dot <= 1) {
                c.SetPixel(x, y, color);
            } else {
                const platform::TCanvasBrush brush = c.Brush();
                const bool transparent = c.TextTransparent();
                c.SetBrush(platform::TCanvasBrush{color, platform::TBrushStyle::Solid});
                if (dynamic_cast<const platform::TVectorCanvas*>(&c)) {
                    // A vector picture draws wide lines round, through the
                    // pixel centres: the dot is round too, centred where
                    // a line through the point runs, so that the dots of a
                    // map line stay inside it.
                    const platform::TCanvasPen pen = c.Pen();
                    c.SetPenStyle(platform::TPenStyle::Clear);
                    const int d = dot % 2 ? dot : dot - 1;
                    const int l = x - d / 2;
                    const int t = y - d / 2;
                    c.Ellipse(TRect{l, t, l + d + 1, t + d + 1});
                    c.SetPen(pen);
                } else {
                    const int o = dot / 2;
                    c.FillRect(TRect{x - o, y - o, x - o + dot, y - o + dot});
                }
                c.SetBrush(brush);
                c.SetTextTransparent(transparent);
            }
            break;
    }
}

// ---- TSeriesPointer ----

TSeriesPointer::TSeriesPointer(TCustomChart* chart)
    : chart_(chart), brush_(chart, UseSeriesColor), pen_(chart, platform::clBlack, true) {}

void TSeriesPointer::SetStyle(TSeriesPointerStyle value) {
    if (Change(style_, value)) ChartChanged(chart_);
}
void TSeriesPointer::SetHorizSize(int value) {
    if (value < 1) throw platform::KavumError(PointerSizeMessage);
    if (Change(horizSize_, value)) ChartChanged(chart_);
}
void TSeriesPointer::SetVertSize(int value) {
    if (value < 1) throw platform::KavumError(PointerSizeMessage);
    if (Change(vertSize_, value)) ChartChanged(chart_);
}
void TSeriesPointer::SetVisible(bool value) {
    if (Change(visible_, value)) ChartChanged(chart_);
}
void TSeriesPointer::SetDraw3D(bool value) {
    if (Change(draw3D_, value)) ChartChanged(chart_);
}
void TSeriesPointer::SetInflateMargins(bool value) {
    if (Change(inflateMargins_, value)) ChartChanged(chart_);
}

void TSeriesPointer::Assign(const TSeriesPointer& other) {
    if (&other == this) return;
    SetStyle(other.style_);
    if (Change(horizSize_, other.horizSize_)) ChartChanged(chart_);
    if (Change(vertSize_, other.vertSize_)) ChartChanged(chart_);
    brush_.Assign(other.brush_);
    pen_.Assign(other.pen_);
    SetVisible(other.visible_);
    SetDraw3D(other.draw3D_);
    SetInflateMargins(other.inflateMargins_);
}

void TSeriesPointer::Prepare(TCanvas& canvas, TColor pointColor) const {
    const TColor penColor = pen_.Color() == UseSeriesColor ? pointColor : pen_.Color();
    const TColor brushColor = brush_.Color() == UseSeriesColor ? pointColor : brush_.Color();
    canvas.SetPen(chart_ ? chart_->ScaledPen(pen_.CanvasPen(penColor)) : pen_.CanvasPen(penColor));
    canvas.SetBrush(brush_.CanvasBrush(brushColor));
}

void TSeriesPointer::DrawPointerShape(bool /*flat*/, int x, int y, int h, int v, TColor color,
                                      TSeriesPointerStyle style) const {
    if (!chart_) return;
    chart::DrawPointerShape(chart_->Canvas(), x, y, h, v, color, style, chart_->Scaled(1));
}

// ---- point list ----

namespace {

// The key of a float x that orders as XLess does: numbers ascending, both
// zeros equal, every NaN equal and after every number.
std::uint32_t XKey(float x) {
    if (std::isnan(x)) return 0xffffffffu;
    if (x == 0) x = 0;
    std::uint32_t bits = 0;
    std::memcpy(&bits, &x, sizeof bits);
    return (bits & 0x80000000u) ? ~bits : bits | 0x80000000u;
}

// Sorts points by x, keeping the adding order of equal x (as a stable sort
// by XLess would): three passes of a radix sort on eleven-bit digits.
void SortNarrowByX(TPointList::Narrow* points, std::size_t n) {
    if (n < 2) return;
    if (n < 256) {
        std::stable_sort(points, points + n, PointXLess{});
        return;
    }
    constexpr int Bits = 11;
    constexpr std::size_t Buckets = std::size_t{1} << Bits;
    std::vector<std::size_t> counts(3 * Buckets, 0);
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint32_t k = XKey(points[i].x);
        ++counts[k & (Buckets - 1)];
        ++counts[Buckets + ((k >> Bits) & (Buckets - 1))];
        ++counts[2 * Buckets + (k >> (2 * Bits))];
    }
    std::vector<TPointList::Narrow> buffer(n);
    TPointList::Narrow* from = points;
    TPointList::Narrow* to = buffer.data();
    for (int pass = 0; pass < 3; ++pass) {
        std::size_t* count = counts.data() + static_cast<std::size_t>(pass) * Buckets;
        const int shift = pass * Bits;
        // A digit all keys share moves nothing.
        if (count[(XKey(from[0].x) >> shift) & (Buckets - 1)] == n) continue;
        std::size_t sum = 0;
        for (std::size_t b = 0; b < Buckets; ++b) {
            const std::size_t c = count[b];
            count[b] = sum;
            sum += c;
        }
        for (std::size_t i = 0; i < n; ++i) {
            const std::uint32_t digit = (XKey(from[i].x) >> shift) & (Buckets - 1);
            to[count[digit]++] = from[i];
        }
        std::swap(from, to);
    }
    if (from != points) std::copy(from, from + n, points);
}

}  // namespace

TChartPoint TPointList::at(std::size_t i) const {
    if (i >= size()) throw std::out_of_range("point index");
    return (*this)[i];
}

void TPointList::clear() {
    wide_ = false;
    narrows_.clear();
    wides_.clear();
    wides_.shrink_to_fit();
}

void TPointList::reserve(std::size_t n) {
    if (wide_) {
        wides_.reserve(n);
    } else {
        narrows_.reserve(n);
    }
}

void TPointList::push_back(TChartPoint p) {
    if (!wide_) {
        if (FitsFloat(p.x) && FitsFloat(p.y)) {
            narrows_.push_back(Narrow{static_cast<float>(p.x), static_cast<float>(p.y)});
            return;
        }
        Widen();
    }
    wides_.push_back(p);
}

void TPointList::Widen() {
    wides_.reserve(std::max(narrows_.capacity(), narrows_.size() + 1));
    for (const Narrow& n : narrows_) wides_.push_back(TChartPoint{n.x, n.y});
    narrows_.clear();
    narrows_.shrink_to_fit();
    wide_ = true;
}

// ---- rank index ----

// The sorted x values of a series in blocks, with a Fenwick tree over the
// block sizes: inserting a value and telling how many values are not above
// it both take logarithmic time (plus a short move inside one block).
class TChartSeries::RankIndex {
public:
    explicit RankIndex(const TPointList& sorted) {
        for (std::size_t i = 0; i < sorted.size(); i += HalfBlock) {
            const std::size_t end = std::min(sorted.size(), i + HalfBlock);
            std::vector<double> block;
            block.reserve(2 * HalfBlock);
            for (std::size_t j = i; j < end; ++j) block.push_back(sorted[j].x);
            blocks_.push_back(std::move(block));
        }
        if (blocks_.empty()) blocks_.emplace_back();
        Rebuild();
    }

    // Inserts x after the values equal to it; returns the number of values
    // before it.
    std::size_t Insert(double x) {
        // The first block whose last value is above x; the last block when
        // none is.
        std::size_t b = static_cast<std::size_t>(
            std::upper_bound(lasts_.begin(), lasts_.end(), x, XLess) - lasts_.begin());
        if (b == blocks_.size()) b = blocks_.size() - 1;
        std::vector<double>& block = blocks_[b];
        const auto at = std::upper_bound(block.begin(), block.end(), x, XLess);
        const std::size_t inBlock = static_cast<std::size_t>(at - block.begin());
        const std::size_t rank = Prefix(b) + inBlock;
        block.insert(at, x);
        lasts_[b] = block.back();
        if (block.size() >= 2 * HalfBlock) {
            std::vector<double> upper(block.begin() + HalfBlock, block.end());
            block.resize(HalfBlock);
            lasts_[b] = block.back();
            blocks_.insert(blocks_.begin() + static_cast<std::ptrdiff_t>(b) + 1, std::move(upper));
            lasts_.insert(lasts_.begin() + static_cast<std::ptrdiff_t>(b) + 1, blocks_[b + 1].back());
            Rebuild();
        } else {
            Add(b, 1);
        }
        return rank;
    }

private:
    static constexpr std::size_t HalfBlock = 256;

    void Rebuild() {
        lasts_.resize(blocks_.size());
        tree_.assign(blocks_.size() + 1, 0);
        for (std::size_t i = 0; i < blocks_.size(); ++i) {
            lasts_[i] = blocks_[i].empty() ? std::numeric_limits<double>::quiet_NaN() : blocks_[i].back();
            tree_[i + 1] += blocks_[i].size();
            const std::size_t parent = (i + 1) + ((i + 1) & (~(i + 1) + 1));
            if (parent < tree_.size()) tree_[parent] += tree_[i + 1];
        }
    }
    void Add(std::size_t block, std::size_t n) {
        for (std::size_t i = block + 1; i < tree_.size(); i += i & (~i + 1)) tree_[i] += n;
    }
    // Values in the blocks before this one.
    std::size_t Prefix(std::size_t block) const {
        std::size_t sum = 0;
        for (std::size_t i = block; i > 0; i -= i & (~i + 1)) sum += tree_[i];
        return sum;
    }

    std::vector<std::vector<double>> blocks_;
    std::vector<double> lasts_;
    std::vector<std::size_t> tree_;
};

// ---- TChartSeries ----

namespace {

std::uint64_t NextSeriesRevision() {
    static std::atomic<std::uint64_t> last{0};
    return ++last;
}

}  // namespace

TChartSeries::TChartSeries(TCustomChart& chart, TChartListOrder order)
    : chart_(&chart), revision_(NextSeriesRevision()), pointer_(&chart), order_(order) {
    labels_.emplace_back();
}

TChartSeries::~TChartSeries() = default;

void TChartSeries::Changed() const {
    revision_ = NextSeriesRevision();
    ChartChanged(chart_);
}

void TChartSeries::SetActive(bool value) {
    if (Change(active_, value)) Changed();
}
void TChartSeries::SetSeriesColor(TColor value) {
    if (Change(seriesColor_, value)) Changed();
}
void TChartSeries::SetTitle(const QString& value) { title_ = value; }
void TChartSeries::SetShowInLegend(bool value) { showInLegend_ = value; }

void TChartSeries::SetXValuesOrder(TChartListOrder value) {
    if (!Change(order_, value)) return;
    rank_.reset();
    // Points already held are put in the new order at the next reading.
    sortedCount_ = order_ == loNone ? points_.size() : 0;
    Changed();
}

void TChartSeries::SetHorizAxis(THorizAxis value) {
    if (Change(horizAxis_, value)) Changed();
}
void TChartSeries::SetVertAxis(TVertAxis value) {
    if (Change(vertAxis_, value)) Changed();
}

TCustomChartAxis& TChartSeries::GetHorizAxis() const {
    return horizAxis_ == aTopAxis ? chart_->TopAxis() : chart_->BottomAxis();
}
TCustomChartAxis& TChartSeries::GetVertAxis() const {
    return vertAxis_ == aRightAxis ? chart_->RightAxis() : chart_->LeftAxis();
}

void TChartSeries::ClearPoints() {
    points_.clear();
    points_.reserve(static_cast<std::size_t>(std::max(0, chart_->SeriesDefaultCapacity())));
    tags_.clear();
    tags_.shrink_to_fit();
    sortedCount_ = 0;
    labels_.resize(1);
    rank_.reset();
    Changed();
}

std::uint32_t TChartSeries::StoreLabel(const QString& label) {
    if (label.isEmpty()) return 0;
    labels_.push_back(label);
    return static_cast<std::uint32_t>(labels_.size() - 1);
}

int TChartSeries::StorePoint(double x, double y, const QString& label, TColor color) {
    const TPointTag tag{color, StoreLabel(label)};
    std::size_t index = points_.size();
    if (order_ == loAscending) {
        const bool inOrder = sortedCount_ == points_.size() && (points_.empty() || !XLess(x, points_.back().x));
        if (!inOrder && !rank_) {
            // The first point out of order: index the x values held so far.
            EnsureOrdered();
            rank_ = std::make_unique<RankIndex>(points_);
        }
        if (rank_) index = rank_->Insert(x);
        if (inOrder) ++sortedCount_;
    } else {
        sortedCount_ = points_.size() + 1;
    }
    PushPoint(x, y, tag);
    Changed();
    return static_cast<int>(index);
}

void TChartSeries::PushPoint(double x, double y, TPointTag tag) {
    const bool plain = tag.color == UseSeriesColor && tag.label == 0;
    if (!plain || !tags_.empty()) {
        // The first tagged point gives every earlier point the plain tag.
        tags_.resize(points_.size());
        tags_.push_back(tag);
    }
    points_.push_back(TChartPoint{x, y});
}

void TChartSeries::AddPoint(double x, double y, TColor color) {
    if (order_ == loAscending) {
        if (sortedCount_ == points_.size() && (points_.empty() || !XLess(x, points_.back().x))) {
            ++sortedCount_;
            if (rank_) rank_->Insert(x);
        } else {
            // A point out of order waits to be merged in; the index, when
            // there is one, takes its x at once, so that the next
            // StorePoint tells its place without rebuilding it.
            if (rank_) rank_->Insert(x);
        }
    } else {
        sortedCount_ = points_.size() + 1;
    }
    PushPoint(x, y, TPointTag{color, 0});
    Changed();
}

int TChartSeries::AddNullPoint(const QString& label) {
    if (order_ == loAscending) {
        // A null point goes to the end: it takes the greatest x so far.
        const TPointList& pts = Points();
        const double x = pts.empty() ? 0.0 : pts.back().x;
        return StorePoint(x, 0, label, clNone);
    }
    return StorePoint(static_cast<double>(points_.size()), 0, label, clNone);
}

void TChartSeries::EnsureOrdered() const {
    if (sortedCount_ >= points_.size()) return;
    const std::size_t sorted = sortedCount_;
    std::vector<TPointTag>& tags = tags_;
    points_.Visit([sorted, &tags](auto& points) {
        using Point = typename std::decay_t<decltype(points)>::value_type;
        const auto mid = points.begin() + static_cast<std::ptrdiff_t>(sorted);
        // The late points are sorted among themselves, keeping their adding
        // order on equal x, and merged after the earlier ones of equal x.
        if (tags.empty()) {
            if constexpr (std::is_same_v<Point, TPointList::Narrow>) {
                SortNarrowByX(&*mid, points.size() - sorted);
            } else {
                std::stable_sort(mid, points.end(), PointXLess{});
            }
            std::inplace_merge(points.begin(), mid, points.end(), PointXLess{});
            return;
        }
        // The tags move with their points.
        struct Tagged {
            Point point;
            TPointTag tag;
        };
        auto less = [](const Tagged& a, const Tagged& b) { return XLess(a.point.x, b.point.x); };
        std::vector<Tagged> all(points.size());
        for (std::size_t i = 0; i < all.size(); ++i) all[i] = Tagged{points[i], tags[i]};
        const auto tmid = all.begin() + static_cast<std::ptrdiff_t>(sorted);
        std::stable_sort(tmid, all.end(), less);
        std::inplace_merge(all.begin(), tmid, all.end(), less);
        for (std::size_t i = 0; i < all.size(); ++i) {
            points[i] = all[i].point;
            tags[i] = all[i].tag;
        }
    });
    sortedCount_ = points_.size();
}

const TPointList& TChartSeries::Points() const {
    EnsureOrdered();
    return points_;
}

double TChartSeries::XValue(int index) const { return Points().at(static_cast<std::size_t>(index)).x; }
double TChartSeries::YValue(int index) const { return Points().at(static_cast<std::size_t>(index)).y; }
TColor TChartSeries::ValueColor(int index) const {
    const std::size_t i = static_cast<std::size_t>(index);
    Points().at(i);
    return Tag(i).color;
}
bool TChartSeries::IsNull(int index) const { return ValueColor(index) == clNone; }
QString TChartSeries::Label(int index) const {
    const std::size_t i = static_cast<std::size_t>(index);
    Points().at(i);
    return labels_.at(Tag(i).label);
}

double TChartSeries::XPixelToValue(int pixel) const { return GetHorizAxis().PixelToValue(pixel); }
double TChartSeries::YPixelToValue(int pixel) const { return GetVertAxis().PixelToValue(pixel); }

void TChartSeries::VisibleRange(std::size_t& first, std::size_t& last) const {
    const TPointList& pts = Points();
    first = 0;
    last = pts.size();
    if (order_ != loAscending) return;
    const TCustomChartAxis& axis = GetHorizAxis();
    const double lo = axis.Minimum();
    const double hi = axis.Maximum();
    if (std::isnan(lo) || std::isnan(hi) || hi < lo) {
        last = 0;
        return;
    }
    pts.Visit([&](const auto& v) {
        first = static_cast<std::size_t>(std::lower_bound(v.begin(), v.end(), lo, PointXLess{}) - v.begin());
        last = static_cast<std::size_t>(std::upper_bound(v.begin(), v.end(), hi, PointXLess{}) - v.begin());
    });
    if (last < first) last = first;
}

namespace {

// A pointer to draw: its centre and its point.
struct PlacedPointer {
    int x;
    int y;
    std::uint32_t index;
};

// With copying pens every pointer of one series covers the same pixels
// around its centre, whatever its colour, so a pointer drawn later at the
// same centre hides an earlier one wholly.
// Keeps only the last pointer at each centre, in drawing order; false
// (nothing changed) where the picture could differ or the centres spread
// too wide to mark.
bool KeepLastAtEachCentre(std::vector<PlacedPointer>& placed) {
    if (placed.size() < 2) return false;
    int left = placed.front().x;
    int right = left;
    int top = placed.front().y;
    int bottom = top;
    for (const PlacedPointer& p : placed) {
        left = std::min(left, p.x);
        right = std::max(right, p.x);
        top = std::min(top, p.y);
        bottom = std::max(bottom, p.y);
    }
    const std::uint64_t columns = static_cast<std::uint64_t>(right - left) + 1;
    const std::uint64_t cells = columns * (static_cast<std::uint64_t>(bottom - top) + 1);
    if (cells > (std::uint64_t{1} << 26)) return false;
    auto cellOf = [&](const PlacedPointer& p) {
        return static_cast<std::uint64_t>(p.y - top) * columns + static_cast<std::uint64_t>(p.x - left);
    };
    if (cells / 64 > 4 * static_cast<std::uint64_t>(placed.size())) {
        // Few marks over a large picture (a vector figure's fine grid): by
        // sorting, not by a bitmap of every cell.
        std::vector<std::pair<std::uint64_t, std::uint32_t>> order(placed.size());
        for (std::size_t i = 0; i < placed.size(); ++i) order[i] = {cellOf(placed[i]), static_cast<std::uint32_t>(i)};
        std::sort(order.begin(), order.end(), [](const auto& a, const auto& b) {
            return a.first != b.first ? a.first < b.first : a.second > b.second;
        });
        std::vector<bool> keep(placed.size(), false);
        for (std::size_t i = 0; i < order.size(); ++i) {
            if (i == 0 || order[i].first != order[i - 1].first) keep[order[i].second] = true;
        }
        std::size_t kept = 0;
        for (std::size_t i = 0; i < placed.size(); ++i) {
            if (keep[i]) placed[kept++] = placed[i];
        }
        placed.resize(kept);
        return true;
    }
    std::vector<std::uint64_t> seen((cells + 63) / 64, 0);
    std::size_t kept = placed.size();
    for (std::size_t i = placed.size(); i-- > 0;) {
        const std::uint64_t cell = static_cast<std::uint64_t>(placed[i].y - top) * columns +
                                   static_cast<std::uint64_t>(placed[i].x - left);
        std::uint64_t& word = seen[cell / 64];
        const std::uint64_t bit = std::uint64_t{1} << (cell % 64);
        if (word & bit) continue;
        word |= bit;
        placed[--kept] = placed[i];
    }
    placed.erase(placed.begin(), placed.begin() + static_cast<std::ptrdiff_t>(kept));
    return true;
}

}  // namespace

void TChartSeries::DrawPointers(TCanvas& canvas, std::size_t first, std::size_t last) const {
    if (!pointer_.Visible()) return;
    const TPointList& pts = Points();
    const TCustomChartAxis& hx = GetHorizAxis();
    const TCustomChartAxis& vy = GetVertAxis();
    // At a scale a mark covers the square its pixels at scale 1 become.
    const auto half = [&](int size) {
        const int s = std::min(size, MaxDrawnHalfSize);
        return std::min(chart_->ScaledHalfSize(s), MaxDrawnHalfSize);
    };
    const int h = half(pointer_.HorizSize());
    const int v = half(pointer_.VertSize());
    const int dot = chart_->Scaled(1);
    const TSeriesPointerStyle style = pointer_.Style();
    // Shapes that lie wholly outside the clip are left out: the clip would
    // remove them anyway.
    const bool clipped = chart_->ClipPoints();
    const TRect plot = chart_->ChartRect();
    const long long reachX = static_cast<long long>(h) + chart_->Scaled(2);
    const long long reachY = static_cast<long long>(v) + chart_->Scaled(2);
    std::vector<PlacedPointer> placed;
    placed.reserve(last > first ? last - first : 0);
    pts.Visit([&](const auto& points) {
        for (std::size_t i = first; i < last; ++i) {
            const auto& p = points[i];
            if (Tag(i).color == clNone) continue;
            long long px = 0;
            long long py = 0;
            double ex = 0;
            double ey = 0;
            if (!hx.PixelForDrawing(p.x, px, ex) || !vy.PixelForDrawing(p.y, py, ey)) continue;
            if (px < -PixelLimit || px > PixelLimit || py < -PixelLimit || py > PixelLimit) continue;
            if (clipped && (px + reachX < plot.left || px - reachX > plot.right || py + reachY < plot.top ||
                            py - reachY > plot.bottom)) {
                continue;
            }
            placed.push_back(PlacedPointer{static_cast<int>(px), static_cast<int>(py), static_cast<std::uint32_t>(i)});
        }
    });
    if (placed.empty()) return;

    // The pens the pointers are drawn with: copying, solid or none. Then a
    // pointer hidden by a later one at its centre is left out, on every
    // canvas: a device sets the same pixels without it, and a picture file
    // of a million records holds only the marks that can be seen.
    const platform::TCanvasPen pen = pointer_.Pen().CanvasPen(platform::clBlack);
    const bool copying = pen.mode == platform::TPenMode::Copy &&
                         (pen.style == platform::TPenStyle::Solid || pen.style == platform::TPenStyle::Clear);
    if (copying) KeepLastAtEachCentre(placed);
    auto* bitmap = dynamic_cast<platform::TPainterCanvas*>(&canvas);
    // The marks of a series are alike: each form is drawn once and copied
    // to its places.
    const bool stamped = bitmap && bitmap->DirectPixels();
    struct StampScope {
        platform::TPainterCanvas* canvas;
        ~StampScope() {
            if (canvas) canvas->SetStampShapes(false);
        }
    } stampScope{stamped ? bitmap : nullptr};
    if (stamped) bitmap->SetStampShapes(true);

    bool prepared = false;
    TColor preparedFor = 0;
    for (const PlacedPointer& at : placed) {
        const TColor color = DrawColor(Tag(at.index).color);
        // The line-only shapes set the pen colour to the point colour
        // themselves, so the canvas needs preparing only when it changes.
        if (!prepared || preparedFor != color) {
            pointer_.Prepare(canvas, color);
            prepared = true;
            preparedFor = color;
        }
        DrawPointerShape(canvas, at.x, at.y, h, v, color, style, dot);
    }
}

// ---- TLineSeries ----

TLineSeries::TLineSeries(TCustomChart& chart) : TChartSeries(chart, loNone), linePen_(&chart, platform::clBlack, true) {
    Pointer().SetVisible(false);
}

namespace {

// The part [t0, t1] of the segment a + t (b - a) inside the rectangle
// [left, right] x [top, bottom] (Liang-Barsky); false when nothing of it is
// inside.
bool ClipParameters(double ax, double ay, double bx, double by, double left, double top, double right, double bottom,
                    double& t0, double& t1) {
    t0 = 0;
    t1 = 1;
    const double dx = bx - ax;
    const double dy = by - ay;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {ax - left, right - ax, ay - top, bottom - ay};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0) {
            if (q[i] < 0) return false;
            continue;
        }
        const double r = q[i] / p[i];
        if (p[i] < 0) {
            if (r > t1) return false;
            t0 = std::max(t0, r);
        } else {
            if (r < t0) return false;
            t1 = std::min(t1, r);
        }
    }
    return t0 <= t1;
}

// Clips the segment a-b to a rectangle; false when nothing of it lies
// inside. Each end of the result is computed from the nearer of the two
// original ends, so that a point 1e300 pixels away does not wash out the
// other one.
bool ClipSegment(double& ax, double& ay, double& bx, double& by, double left, double top, double right,
                 double bottom) {
    double t0 = 0, t1 = 1, s0 = 0, s1 = 1;  // t from a, s from b
    if (!ClipParameters(ax, ay, bx, by, left, top, right, bottom, t0, t1)) return false;
    if (!ClipParameters(bx, by, ax, ay, left, top, right, bottom, s0, s1)) return false;
    double nax = 0, nay = 0, nbx = 0, nby = 0;
    if (t0 <= s1) {
        nax = ax + t0 * (bx - ax);
        nay = ay + t0 * (by - ay);
    } else {
        nax = bx + s1 * (ax - bx);
        nay = by + s1 * (ay - by);
    }
    if (s0 <= t1) {
        nbx = bx + s0 * (ax - bx);
        nby = by + s0 * (ay - by);
    } else {
        nbx = ax + t1 * (bx - ax);
        nby = ay + t1 * (by - ay);
    }
    if (!std::isfinite(nax) || !std::isfinite(nay) || !std::isfinite(nbx) || !std::isfinite(nby)) return false;
    ax = std::clamp(nax, left, right);
    ay = std::clamp(nay, top, bottom);
    bx = std::clamp(nbx, left, right);
    by = std::clamp(nby, top, bottom);
    return true;
}

}  // namespace

void TLineSeries::Draw(TCanvas& canvas) const {
    std::size_t first = 0;
    std::size_t last = 0;
    VisibleRange(first, last);
    if (first >= last) return;
    const TPointList& pts = Points();
    if (linePen_.Visible()) {
        const TCustomChartAxis& hx = GetHorizAxis();
        const TCustomChartAxis& vy = GetVertAxis();
        const TCustomChart& chart = ParentChart();
        const platform::TCanvasPen pen = chart.ScaledPen(linePen_.CanvasPen());
        canvas.SetPen(pen);
        // Where the drawing is clipped to the plot, a segment that lies
        // wholly outside it leaves no pixel and is left out, and one that
        // comes from far away is cut at a margin around the plot rather than
        // at the edge of the drawable square: a map of all Japan drawn over
        // one peninsula then writes only the lines near the peninsula. The
        // margin is wider than any join of the pen reaches. Patterned pens
        // keep their runs whole, since their dashes count from the start of
        // a polyline.
        const bool cull = chart.ClipPoints() && pen.style == platform::TPenStyle::Solid;
        const TRect plot = chart.ChartRect();
        const double margin = 8.0 + 4.0 * std::max(1, pen.width);
        const double keepLeft = plot.left - margin;
        const double keepTop = plot.top - margin;
        const double keepRight = plot.right + margin;
        const double keepBottom = plot.bottom + margin;
        const auto outsideKeep = [&](QPoint a, QPoint b) {
            if (std::max(a.x(), b.x()) < keepLeft || std::min(a.x(), b.x()) > keepRight ||
                std::max(a.y(), b.y()) < keepTop || std::min(a.y(), b.y()) > keepBottom) {
                return true;
            }
            double t0 = 0, t1 = 1;
            return !ClipParameters(a.x(), a.y(), b.x(), b.y(), keepLeft, keepTop, keepRight, keepBottom, t0, t1);
        };
        // Segments of one colour that follow each other go out as one
        // polyline.
        std::vector<QPoint> run;
        run.reserve(1024);
        TColor runColor = 0;
        auto flush = [&] {
            if (run.size() >= 2) {
                canvas.SetPenColor(runColor);
                chart.StrokePolyline(canvas, run.data(), static_cast<int>(run.size()));
            }
            run.clear();
        };
        auto addSegment = [&](QPoint a, QPoint b, TColor color) {
            if (!run.empty() && (runColor != color || run.back() != a)) flush();
            if (run.empty()) {
                run.push_back(a);
                runColor = color;
            }
            run.push_back(b);
        };
        bool havePrev = false;
        bool prevSafe = false;
        QPoint prevPixel;
        double prevX = 0;
        double prevY = 0;
        for (std::size_t i = first; i < last; ++i) {
            const TChartPoint p = pts[i];
            long long rx = 0;
            long long ry = 0;
            double ex = 0;
            double ey = 0;
            const TColor tagColor = Tag(i).color;
            const bool placed = tagColor != clNone && std::isfinite(p.x) && std::isfinite(p.y);
            bool okX = placed && hx.PixelForDrawing(p.x, rx, ex);
            bool okY = placed && vy.PixelForDrawing(p.y, ry, ey);
            if (placed && (!okX || !okY)) {
                // Too far out for the rounded mapping: keep the exact pixel
                // for clipping, if it is a number at all.
                const double range = hx.Maximum() - hx.Minimum();
                const double rangeY = vy.Maximum() - vy.Minimum();
                if (!okX) {
                    const double d = (p.x - hx.Minimum()) * hx.AxisSize() / range;
                    ex = (hx.Horizontal() != hx.Inverted()) ? hx.StartPos() + d : hx.EndPos() - d;
                }
                if (!okY) {
                    const double d = (p.y - vy.Minimum()) * vy.AxisSize() / rangeY;
                    ey = (vy.Horizontal() != vy.Inverted()) ? vy.StartPos() + d : vy.EndPos() - d;
                }
            }
            if (!placed || !std::isfinite(ex) || !std::isfinite(ey)) {
                // A null point, or one that cannot be placed: a break.
                flush();
                havePrev = false;
                continue;
            }
            const bool safe = okX && okY && rx >= -PixelLimit && rx <= PixelLimit && ry >= -PixelLimit &&
                              ry <= PixelLimit;
            const QPoint pixel = safe ? QPoint(static_cast<int>(rx), static_cast<int>(ry)) : QPoint();
            const TColor color = DrawColor(tagColor);
            if (havePrev) {
                if (prevSafe && safe) {
                    if (cull && outsideKeep(prevPixel, pixel)) {
                        flush();
                    } else {
                        addSegment(prevPixel, pixel, color);
                    }
                } else {
                    // One end lies far outside: the part of the segment
                    // inside the drawable square is drawn on its own.
                    double ax = prevSafe ? prevPixel.x() : prevX;
                    double ay = prevSafe ? prevPixel.y() : prevY;
                    double bx = safe ? pixel.x() : ex;
                    double by = safe ? pixel.y() : ey;
                    flush();
                    const double limit = static_cast<double>(PixelLimit);
                    const bool kept = cull ? ClipSegment(ax, ay, bx, by, keepLeft, keepTop, keepRight, keepBottom)
                                           : ClipSegment(ax, ay, bx, by, -limit, -limit, limit, limit);
                    if (kept) {
                        const QPoint a(static_cast<int>(std::lround(ax)), static_cast<int>(std::lround(ay)));
                        const QPoint b = safe ? pixel
                                              : QPoint(static_cast<int>(std::lround(bx)),
                                                       static_cast<int>(std::lround(by)));
                        if (a != b) {
                            addSegment(a, b, color);
                            if (!safe) flush();
                        }
                    }
                }
            }
            havePrev = true;
            prevSafe = safe;
            prevPixel = pixel;
            prevX = ex;
            prevY = ey;
        }
        flush();
    }
    DrawPointers(canvas, first, last);
}

// ---- TPointSeries ----

TPointSeries::TPointSeries(TCustomChart& chart) : TChartSeries(chart, loAscending) {}

void TPointSeries::Draw(TCanvas& canvas) const {
    std::size_t first = 0;
    std::size_t last = 0;
    VisibleRange(first, last);
    if (first >= last) return;
    DrawPointers(canvas, first, last);
}

}  // namespace kavum::chart
