#pragma once
// Series of a chart: an ordered list of points (x, y, colour, label) drawn
// against a horizontal and a vertical axis, with a pointer (mark) at every
// point. TPointSeries keeps its points sorted by x; TLineSeries keeps the
// order of adding and joins consecutive points by lines.
#include "chart/ChartTools.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

namespace kavum::platform {
class TCanvas;
}

namespace kavum::chart {

class TCustomChart;
class TCustomChartAxis;

enum TSeriesPointerStyle {
    psRectangle,
    psCircle,
    psTriangle,
    psDownTriangle,
    psCross,
    psDiagCross,
    psStar,
    psDiamond,
    psSmallDot,
};

enum TChartListOrder { loNone, loAscending };
enum THorizAxis { aTopAxis, aBottomAxis, aBothHorizAxis };
enum TVertAxis { aLeftAxis, aRightAxis, aBothVertAxis };

// The message of a pointer size below 1.
inline constexpr const char* PointerSizeMessage = "ポインタの大きさは 1 以上でなければなりません";

// Draws one pointer shape, flat, centred at (x, y) with half-width h and
// half-height v, with the canvas's current pen and brush; the line-only
// shapes and the dot take color instead. dot is the side of the square the
// dot covers (a pixel of a drawing at a scale).
void DrawPointerShape(platform::TCanvas& canvas, int x, int y, int h, int v, TColor color, TSeriesPointerStyle style,
                      int dot = 1);

class TSeriesPointer {
public:
    explicit TSeriesPointer(TCustomChart* chart = nullptr);
    TSeriesPointer(const TSeriesPointer&) = delete;
    TSeriesPointer& operator=(const TSeriesPointer&) = delete;

    TSeriesPointerStyle Style() const { return style_; }
    void SetStyle(TSeriesPointerStyle value);
    int HorizSize() const { return horizSize_; }
    // Throws KavumError PointerSizeMessage for a size below 1.
    void SetHorizSize(int value);
    int VertSize() const { return vertSize_; }
    void SetVertSize(int value);
    TChartBrush& Brush() { return brush_; }
    const TChartBrush& Brush() const { return brush_; }
    TChartPen& Pen() { return pen_; }
    const TChartPen& Pen() const { return pen_; }
    bool Visible() const { return visible_; }
    void SetVisible(bool value);
    bool Draw3D() const { return draw3D_; }
    void SetDraw3D(bool value);
    bool InflateMargins() const { return inflateMargins_; }
    void SetInflateMargins(bool value);

    // Style, sizes, fill, outline (colour, width, visibility), visibility and
    // the 3-D flags.
    void Assign(const TSeriesPointer& other);

    // Sets the canvas pen and brush for a point of the given colour.
    void Prepare(platform::TCanvas& canvas, TColor pointColor) const;
    // Draws a shape on the chart's current canvas (flat in every case).
    void DrawPointerShape(bool flat, int x, int y, int h, int v, TColor color, TSeriesPointerStyle style) const;

private:
    TCustomChart* chart_;
    TSeriesPointerStyle style_ = psRectangle;
    int horizSize_ = 4;
    int vertSize_ = 4;
    TChartBrush brush_;
    TChartPen pen_;
    bool visible_ = true;
    bool draw3D_ = true;
    bool inflateMargins_ = true;
};

// One entry of a series: its place. Its colour and label are kept beside
// it (TPointTag), and only once some point of the series has either.
struct TChartPoint {
    double x = 0;
    double y = 0;
};

// The points of a series. While every coordinate is exactly a float (as the
// plotting pass gives them) a point takes two floats, eight bytes; the
// first point that is not moves them all to doubles. Values read back are
// the doubles stored, bit for bit.
class TPointList {
public:
    struct Narrow {
        float x;
        float y;
    };

    std::size_t size() const { return wide_ ? wides_.size() : narrows_.size(); }
    bool empty() const { return size() == 0; }
    std::size_t capacity() const { return wide_ ? wides_.capacity() : narrows_.capacity(); }
    const void* data() const { return wide_ ? static_cast<const void*>(wides_.data()) : narrows_.data(); }
    TChartPoint operator[](std::size_t i) const {
        return wide_ ? wides_[i] : TChartPoint{narrows_[i].x, narrows_[i].y};
    }
    // Throws std::out_of_range past the end.
    TChartPoint at(std::size_t i) const;
    TChartPoint back() const { return (*this)[size() - 1]; }

    void clear();
    void reserve(std::size_t n);
    void push_back(TChartPoint p);

    // Calls f with the vector that holds the points (of Narrow or of
    // TChartPoint; both have x and y).
    template <class F>
    decltype(auto) Visit(F&& f) const {
        return wide_ ? f(wides_) : f(narrows_);
    }
    template <class F>
    decltype(auto) Visit(F&& f) {
        return wide_ ? f(wides_) : f(narrows_);
    }

private:
    void Widen();

    bool wide_ = false;
    std::vector<Narrow> narrows_;
    std::vector<TChartPoint> wides_;
};

struct TPointTag {
    TColor color = UseSeriesColor;
    std::uint32_t label = 0;  // index into the series' labels; 0 is no label
};

class TChartSeries {
public:
    virtual ~TChartSeries();
    TChartSeries(const TChartSeries&) = delete;
    TChartSeries& operator=(const TChartSeries&) = delete;

    TCustomChart& ParentChart() const { return *chart_; }

    bool Active() const { return active_; }
    void SetActive(bool value);
    TColor SeriesColor() const { return seriesColor_; }
    void SetSeriesColor(TColor value);
    QString Title() const { return title_; }
    void SetTitle(const QString& value);
    bool ShowInLegend() const { return showInLegend_; }
    void SetShowInLegend(bool value);

    TSeriesPointer& Pointer() { return pointer_; }
    const TSeriesPointer& Pointer() const { return pointer_; }
    void AssignPointer(const TSeriesPointer& other) { pointer_.Assign(other); }

    TChartListOrder XValuesOrder() const { return order_; }
    void SetXValuesOrder(TChartListOrder value);

    THorizAxis HorizAxis() const { return horizAxis_; }
    void SetHorizAxis(THorizAxis value);
    TVertAxis VertAxis() const { return vertAxis_; }
    void SetVertAxis(TVertAxis value);
    // The axes that map x and y ("both" maps through the bottom or left one).
    TCustomChartAxis& GetHorizAxis() const;
    TCustomChartAxis& GetVertAxis() const;

    // Removes every point and reserves the chart's SeriesDefaultCapacity.
    void ClearPoints();
    // Adds a point where the x order puts it (after every point of equal x
    // in an ascending series, at the end otherwise); returns its index.
    int StorePoint(double x, double y, const QString& label, TColor color);
    // Adds a point where StorePoint would put it, without telling its
    // index: the cheap way to add many points at once. Points added so are
    // put in order when the points are next read (or at the next
    // StorePoint), in the same order StorePoint gives.
    void AddPoint(double x, double y, TColor color = UseSeriesColor);
    // Appends a null point (colour clNone): never drawn, it breaks a line.
    int AddNullPoint(const QString& label);

    int Count() const { return static_cast<int>(points_.size()); }
    double XValue(int index) const;
    double YValue(int index) const;
    TColor ValueColor(int index) const;
    QString Label(int index) const;
    bool IsNull(int index) const;
    // Entries in their order (sorted first where pending).
    const TPointList& Points() const;
    // The colour and label of an entry (after Points()).
    TPointTag Tag(std::size_t index) const { return tags_.empty() ? TPointTag{} : tags_[index]; }

    // Pixel to value through the series' axes.
    double XPixelToValue(int pixel) const;
    double YPixelToValue(int pixel) const;

    // The colour a point is drawn in.
    TColor DrawColor(TColor color) const { return color == UseSeriesColor ? seriesColor_ : color; }
    // Draws the series; the canvas is clipped by the caller.
    virtual void Draw(platform::TCanvas& canvas) const = 0;

    // A number that changes at every change of the series' own state (its
    // points, activity, colour, order and axes; not its pointer or pens),
    // never the same for two states of any series of the process.
    std::uint64_t Revision() const { return revision_; }

protected:
    TChartSeries(TCustomChart& chart, TChartListOrder order);
    void Changed() const;
    // The index range [first, last) of the points inside the horizontal
    // axis' range (all points for a series in adding order).
    void VisibleRange(std::size_t& first, std::size_t& last) const;
    // Draws the pointer at every drawable point of [first, last).
    void DrawPointers(platform::TCanvas& canvas, std::size_t first, std::size_t last) const;

private:
    class RankIndex;
    void EnsureOrdered() const;
    std::uint32_t StoreLabel(const QString& label);
    void PushPoint(double x, double y, TPointTag tag);

    TCustomChart* chart_;
    mutable std::uint64_t revision_;
    bool active_ = true;
    TColor seriesColor_ = platform::clRed;
    QString title_;
    bool showInLegend_ = true;
    TSeriesPointer pointer_;
    TChartListOrder order_;
    THorizAxis horizAxis_ = aBottomAxis;
    TVertAxis vertAxis_ = aLeftAxis;

    // Points in order up to sortedCount_; the rest were added since, in
    // adding order, and are merged in before the points are next read.
    mutable TPointList points_;
    // The tags of the points, in the same order; empty while every point
    // has the series colour and no label.
    mutable std::vector<TPointTag> tags_;
    mutable std::size_t sortedCount_ = 0;
    std::vector<QString> labels_;
    // The x values of an ascending series that received points out of
    // order, to tell each new point its index in logarithmic time.
    std::unique_ptr<RankIndex> rank_;
};

class TLineSeries : public TChartSeries {
public:
    explicit TLineSeries(TCustomChart& chart);
    TChartPen& LinePen() { return linePen_; }
    const TChartPen& LinePen() const { return linePen_; }
    void Draw(platform::TCanvas& canvas) const override;

private:
    TChartPen linePen_;
};

class TPointSeries : public TChartSeries {
public:
    explicit TPointSeries(TCustomChart& chart);
    void Draw(platform::TCanvas& canvas) const override;
};

}  // namespace kavum::chart
