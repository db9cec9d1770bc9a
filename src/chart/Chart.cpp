#include "chart/CustomChart.h"

#include "platform/Numbers.h"
#include "platform/canvas/Clipboard.h"
#include "platform/canvas/MetafileCanvas.h"
#include "platform/canvas/PainterCanvas.h"
#include "platform/canvas/PdfCanvas.h"
#include "platform/canvas/PixelRaster.h"

#include <QtGlobal>

#include <optional>
#include <string>
#include <type_traits>
#include <typeinfo>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>

namespace kavum::chart {

using platform::TCanvas;

namespace {

constexpr int LabelGap = 4;    // between the axis line and its labels
constexpr int TitleGap = 2;    // before a title
constexpr int TickLength = 4;  // ticks outside and inside the plot
constexpr int MinorTickLength = 2;

template <class T>
bool Change(T& field, const T& value) {
    if (field == value) return false;
    field = value;
    return true;
}

// Restores what a drawing into a foreign canvas changes.
struct Restorer {
    std::function<void()> undo;
    ~Restorer() {
        if (undo) undo();
    }
};

bool HasTitleText(const QStringList& lines) {
    return std::any_of(lines.begin(), lines.end(), [](const QString& s) { return !s.isEmpty(); });
}

}  // namespace

void ChartChanged(TCustomChart* chart) {
    if (chart) chart->Invalidate();
}

TCustomChart::TCustomChart() : title_(this), legend_(this) {
    for (TAxisKind k : {akLeft, akTop, akRight, akBottom, akDepth}) {
        axes_[k] = std::make_unique<TCustomChartAxis>(*this, k);
    }
    DepthAxis().SetVisible(false);
}

TCustomChart::~TCustomChart() {
    // The series and axes refer to the chart; they go first.
    series_.clear();
    bufferCanvas_.reset();
}

void TCustomChart::SetColor(TColor value) {
    if (Change(color_, value)) Invalidate();
}
void TCustomChart::SetMarginLeft(int value) {
    if (Change(margins_[0], value)) Invalidate();
}
void TCustomChart::SetMarginRight(int value) {
    if (Change(margins_[1], value)) Invalidate();
}
void TCustomChart::SetMarginTop(int value) {
    if (Change(margins_[2], value)) Invalidate();
}
void TCustomChart::SetMarginBottom(int value) {
    if (Change(margins_[3], value)) Invalidate();
}
void TCustomChart::SetView3D(bool value) {
    if (Change(view3D_, value)) Invalidate();
}
void TCustomChart::SetClipPoints(bool value) {
    if (Change(clipPoints_, value)) Invalidate();
}
void TCustomChart::SetBufferedDisplay(bool value) {
    if (Change(buffered_, value)) Invalidate();
}

void TCustomChart::Invalidate() {
    // Changes made while the chart draws itself (by its hooks) wait for the
    // next change; they would otherwise make every paint ask for another.
    if (active_) return;
    if (!dirty_) {
        dirty_ = true;
        ScheduleRepaint();
    }
}

void TCustomChart::Repaint() {
    dirty_ = true;
    RepaintNow();
}

void TCustomChart::SetChartGeometry(const QRect& r) {
    if (r.size() != geometry_.size()) dirty_ = true;
    geometry_ = r;
}

void TCustomChart::GetAxisLabel(TCustomChartAxis& axis, QString& text) {
    if (OnGetAxisLabel) OnGetAxisLabel(axis, nullptr, -1, text);
}

TCanvas& TCustomChart::Canvas() {
    if (active_) return *active_;
    if (!bufferCanvas_) {
        if (EnsureBuffer()) buffer_.fill(Qt::white);
        bufferCanvas_ = std::make_unique<platform::TPainterCanvas>(buffer_);
        bufferCanvas_->SetPen(lastPen_);
        bufferCanvas_->SetBrush(lastBrush_);
        bufferCanvas_->SetFont(lastFont_);
        bufferCanvas_->SetTextTransparent(lastTransparent_);
    }
    // What the owner draws shows at the next paint, which only copies the
    // picture unless the chart has changed.
    ScheduleRepaint();
    return *bufferCanvas_;
}

void TCustomChart::UseFont(const TChartFont& font) { Canvas().SetFont(ScaledFont(font.CanvasFont())); }

void TCustomChart::DrawPointerShape(bool /*flat*/, int x, int y, int h, int v, TColor color, TSeriesPointerStyle style) {
    chart::DrawPointerShape(Canvas(), x, y, h, v, color, style, Scaled(1));
}

// ---- scale ----

int TCustomChart::Scaled(int pixels) const {
    if (scale_ == 1.0) return pixels;
    return platform::RoundHalfEven(pixels * scale_);
}

int TCustomChart::ScaledText(int pixels) const {
    if (textScale_ == 1.0) return Scaled(pixels);
    return platform::RoundHalfEven(pixels * scale_ * textScale_);
}

int TCustomChart::ScaledHalfSize(int half) const {
    if (scale_ == 1.0) return half;
    return (platform::RoundHalfEven((2.0 * half + 1) * scale_) - 1) / 2;
}

platform::TCanvasPen TCustomChart::ScaledPen(platform::TCanvasPen pen) const {
    if (scale_ != 1.0) pen.width = std::max(1, Scaled(std::max(1, pen.width)));
    pen.width = std::max(pen.width, minPen_);
    return pen;
}

platform::TCanvasFont TCustomChart::ScaledFont(platform::TCanvasFont font) const {
    if (textScale_ != 1.0) {
        font.height = std::max(1, platform::RoundHalfEven(font.height * scale_ * textScale_));
    } else if (scale_ != 1.0) {
        font.height = std::max(1, Scaled(font.height));
    }
    return font;
}

namespace {

// The convex hull of points, counter-clockwise (monotone chain).
std::vector<QPoint> Hull(std::vector<QPoint> pts) {
    std::sort(pts.begin(), pts.end(), [](const QPoint& a, const QPoint& b) {
        return a.x() != b.x() ? a.x() < b.x() : a.y() < b.y();
    });
    pts.erase(std::unique(pts.begin(), pts.end()), pts.end());
    if (pts.size() < 3) return pts;
    auto cross = [](const QPoint& o, const QPoint& a, const QPoint& b) {
        return static_cast<long long>(a.x() - o.x()) * (b.y() - o.y()) -
               static_cast<long long>(a.y() - o.y()) * (b.x() - o.x());
    };
    std::vector<QPoint> h(2 * pts.size());
    std::size_t k = 0;
    for (std::size_t i = 0; i < pts.size(); ++i) {
        while (k >= 2 && cross(h[k - 2], h[k - 1], pts[i]) <= 0) --k;
        h[k++] = pts[i];
    }
    for (std::size_t i = pts.size() - 1, t = k + 1; i-- > 0;) {
        while (k >= t && cross(h[k - 2], h[k - 1], pts[i]) <= 0) --k;
        h[k++] = pts[i];
    }
    h.resize(k - 1);
    return h;
}

}  // namespace

void TCustomChart::StrokePolyline(TCanvas& c, const QPoint* points, int count) const {
    const platform::TCanvasPen pen = c.Pen();
    if (scale_ == 1.0 || pen.style == platform::TPenStyle::Solid || pen.style == platform::TPenStyle::Clear ||
        count < 2) {
        c.Polyline(points, count);
        return;
    }
    // The dashes of a pattern step scale pixels long, each filled as the
    // area a pen as wide as the line sweeps along it: as long as its steps
    // along the line, as wide as the pen across it.
    const platform::TCanvasBrush brush = c.Brush();
    const bool transparent = c.TextTransparent();
    c.SetPen(platform::TCanvasPen{pen.color, 1, platform::TPenStyle::Clear, pen.mode});
    c.SetBrush(platform::TCanvasBrush{pen.color, platform::TBrushStyle::Solid});
    const long long w = pen.width;
    const long long o = w / 2;
    // The part of the pen at one step: one pixel along the line, the pen's
    // width across.
    auto square = [&](long long x, long long y, bool xMajor, std::vector<QPoint>& out) {
        const int l = static_cast<int>(x - o), t = static_cast<int>(y - o);
        const int r = static_cast<int>(x - o + (xMajor ? 1 : w)), b = static_cast<int>(y - o + (xMajor ? w : 1));
        out.insert(out.end(), {QPoint(l, t), QPoint(r, t), QPoint(r, b), QPoint(l, b)});
    };
    long long phase = 0;
    for (int i = 0; i + 1 < count; ++i) {
        const QPoint a = points[i];
        const QPoint b = points[i + 1];
        const long long dx = static_cast<long long>(b.x()) - a.x();
        const long long dy = static_cast<long long>(b.y()) - a.y();
        const long long n = std::max(std::llabs(dx), std::llabs(dy));
        if (n == 0) continue;
        const bool xMajor = std::llabs(dx) >= std::llabs(dy);
        auto at = [&](long long k) {
            return QPoint(static_cast<int>(a.x() + platform::RoundHalfEven64(static_cast<double>(dx) * k / n)),
                          static_cast<int>(a.y() + platform::RoundHalfEven64(static_cast<double>(dy) * k / n)));
        };
        auto on = [&](long long k) {
            return platform::PenPatternOn(pen.style, static_cast<long long>(std::floor((phase + k) / scale_)));
        };
        for (long long k = 0; k < n;) {
            if (!on(k)) {
                ++k;
                continue;
            }
            long long end = k + 1;
            while (end < n && on(end)) ++end;
            const QPoint p0 = at(k);
            const QPoint p1 = at(end - 1);
            std::vector<QPoint> corners;
            corners.reserve(8);
            square(p0.x(), p0.y(), xMajor, corners);
            square(p1.x(), p1.y(), xMajor, corners);
            const std::vector<QPoint> hull = Hull(std::move(corners));
            if (hull.size() >= 3) c.Polygon(hull.data(), static_cast<int>(hull.size()));
            k = end;
        }
        phase += n;
    }
    c.SetPen(pen);
    c.SetBrush(brush);
    c.SetTextTransparent(transparent);
}

// ---- layout and drawing ----

void TCustomChart::LayOut(TCanvas& /*canvas*/, const TRect& area, std::vector<TAxisTick> (&ticks)[4]) {
    TRect plot = area;
    // Horizontal axes take the height of a label line and of their title.
    auto heightRoom = [this](TCustomChartAxis& a) {
        if (!a.Visible()) return 0;
        int room = a.Ticks().Visible() ? Scaled(TickLength) : 0;
        if (a.Labels()) room += ScaledText(LabelGap) + platform::TextHeightOf(ScaledFont(a.LabelsFont().CanvasFont()));
        if (a.Title().Visible() && !a.Title().Caption().isEmpty()) {
            room += ScaledText(TitleGap) + platform::TextHeightOf(ScaledFont(a.Title().Font().CanvasFont()));
        }
        return room;
    };
    plot.bottom -= heightRoom(BottomAxis());
    plot.top += heightRoom(TopAxis());
    if (plot.bottom < plot.top) plot.bottom = plot.top;

    // Vertical axes: their extent is known now, and with it their labels,
    // whose widest text fixes the room they take.
    auto widthRoom = [this](TCustomChartAxis& a, const std::vector<TAxisTick>& axisTicks) {
        if (!a.Visible()) return 0;
        int room = a.Ticks().Visible() ? Scaled(TickLength) : 0;
        if (a.Labels()) {
            int widest = 0;
            const platform::TCanvasFont font = ScaledFont(a.LabelsFont().CanvasFont());
            for (const TAxisTick& t : axisTicks) widest = std::max(widest, platform::TextWidthOf(font, t.text));
            room += ScaledText(LabelGap) + widest;
        }
        if (a.Title().Visible() && !a.Title().Caption().isEmpty()) {
            room += ScaledText(TitleGap) +
                    platform::TextWidthOf(ScaledFont(a.Title().Font().CanvasFont()), a.Title().Caption());
        }
        return room;
    };
    for (TAxisKind k : {akLeft, akRight}) {
        axes_[k]->SetExtent(plot.top, plot.bottom);
        ticks[k] = axes_[k]->Visible() ? axes_[k]->CalcTicks() : std::vector<TAxisTick>{};
    }
    plot.left += widthRoom(LeftAxis(), ticks[akLeft]);
    plot.right -= widthRoom(RightAxis(), ticks[akRight]);
    if (plot.right < plot.left) plot.right = plot.left;
    for (TAxisKind k : {akTop, akBottom}) {
        axes_[k]->SetExtent(plot.left, plot.right);
        ticks[k] = axes_[k]->Visible() ? axes_[k]->CalcTicks() : std::vector<TAxisTick>{};
    }
    DepthAxis().SetExtent(0, 0);
    plot_ = plot;
}

void TCustomChart::DrawAxes(TCanvas& c, std::vector<TAxisTick> (&ticks)[4]) {
    const TRect& plot = plot_;
    constexpr TAxisKind order[4] = {akLeft, akRight, akTop, akBottom};
    auto gridLine = [&](const TCustomChartAxis& a, int p) {
        const QPoint line[2] = {a.Horizontal() ? QPoint(p, plot.top) : QPoint(plot.left, p),
                                a.Horizontal() ? QPoint(p, plot.bottom) : QPoint(plot.right, p)};
        StrokePolyline(c, line, 2);
        c.MoveTo(line[1].x(), line[1].y());
    };
    std::vector<int> positions[4];
    std::vector<int> minor[4];
    for (TAxisKind k : order) {
        TCustomChartAxis& a = *axes_[k];
        if (!a.Visible()) continue;
        for (const TAxisTick& t : ticks[k]) positions[k].push_back(t.pos);
        if (a.MinorGrid().Visible() || a.MinorTicks().Visible()) {
            minor[k] = MinorGridPositions(positions[k], a.MinorTickCount(), a.StartPos(), a.EndPos());
        }
    }
    // Grid lines of every axis first, then the axis lines over them, then
    // ticks and labels.
    std::optional<platform::TCanvasGroup> group;
    group.emplace(c, objectName() + QStringLiteral("Grid"));
    for (TAxisKind k : order) {
        TCustomChartAxis& a = *axes_[k];
        if (!a.Visible()) continue;
        if (a.MinorGrid().Visible() && !minor[k].empty()) {
            c.SetPen(ScaledPen(a.MinorGrid().CanvasPen()));
            for (int p : minor[k]) gridLine(a, p);
        }
        if (a.Grid().Visible()) {
            c.SetPen(ScaledPen(a.Grid().CanvasPen()));
            for (int p : positions[k]) gridLine(a, p);
        }
    }
    group.reset();
    group.emplace(c, objectName() + QStringLiteral("Axes"));
    for (TAxisKind k : order) {
        TCustomChartAxis& a = *axes_[k];
        if (!a.Visible() || !a.Axis().Visible()) continue;
        c.SetPen(ScaledPen(a.Axis().CanvasPen()));
        switch (k) {
            case akLeft: c.Line(plot.left, plot.top, plot.left, plot.bottom + 1); break;
            case akRight: c.Line(plot.right, plot.top, plot.right, plot.bottom + 1); break;
            case akTop: c.Line(plot.left, plot.top, plot.right + 1, plot.top); break;
            default: c.Line(plot.left, plot.bottom, plot.right + 1, plot.bottom); break;
        }
    }
    // Ticks: short marks across the axis line, outward and inward.
    auto tick = [&](TAxisKind k, int p, int outward, int inward) {
        switch (k) {
            case akLeft: c.Line(plot.left - outward, p, plot.left + inward, p); break;
            case akRight: c.Line(plot.right - inward, p, plot.right + outward, p); break;
            case akTop: c.Line(p, plot.top - outward, p, plot.top + inward); break;
            default: c.Line(p, plot.bottom - inward, p, plot.bottom + outward); break;
        }
    };
    for (TAxisKind k : order) {
        TCustomChartAxis& a = *axes_[k];
        if (!a.Visible()) continue;
        if (a.Ticks().Visible()) {
            c.SetPen(ScaledPen(a.Ticks().CanvasPen()));
            for (int p : positions[k]) tick(k, p, Scaled(TickLength), 0);
        }
        if (a.TicksInner().Visible()) {
            c.SetPen(ScaledPen(a.TicksInner().CanvasPen()));
            for (int p : positions[k]) tick(k, p, 0, Scaled(TickLength));
        }
        if (a.MinorTicks().Visible()) {
            c.SetPen(ScaledPen(a.MinorTicks().CanvasPen()));
            for (int p : minor[k]) tick(k, p, Scaled(MinorTickLength), 0);
        }
    }
    // Labels beside the axis, outside the plot, centred on their position;
    // titles beyond them.
    for (TAxisKind k : order) {
        TCustomChartAxis& a = *axes_[k];
        if (!a.Visible()) continue;
        const int tickLength = a.Ticks().Visible() ? Scaled(TickLength) : 0;
        const int labelGap = ScaledText(LabelGap);
        const int titleGap = ScaledText(TitleGap);
        const int offset = tickLength + labelGap;
        int labelRoom = tickLength;
        if (a.Labels()) {
            c.SetFont(ScaledFont(a.LabelsFont().CanvasFont()));
            c.SetTextTransparent(true);
            const int h = c.TextHeight(QString());
            int widest = 0;
            for (const TAxisTick& t : ticks[k]) {
                const int w = c.TextWidth(t.text);
                widest = std::max(widest, w);
                switch (k) {
                    case akLeft: c.TextOut(plot.left - offset - w, t.pos - h / 2, t.text); break;
                    case akRight: c.TextOut(plot.right + offset, t.pos - h / 2, t.text); break;
                    case akTop: c.TextOut(t.pos - w / 2, plot.top - offset - h, t.text); break;
                    default: c.TextOut(t.pos - w / 2, plot.bottom + offset, t.text); break;
                }
            }
            labelRoom += labelGap + (a.Horizontal() ? h : widest);
        }
        const TChartAxisTitle& title = a.Title();
        if (title.Visible() && !title.Caption().isEmpty()) {
            c.SetFont(ScaledFont(title.Font().CanvasFont()));
            c.SetTextTransparent(true);
            const int w = c.TextWidth(title.Caption());
            const int h = c.TextHeight(title.Caption());
            const int midX = plot.left + (plot.Width() - w) / 2;
            const int midY = plot.top + (plot.Height() - h) / 2;
            switch (k) {
                case akLeft: c.TextOut(plot.left - labelRoom - titleGap - w, midY, title.Caption()); break;
                case akRight: c.TextOut(plot.right + labelRoom + titleGap, midY, title.Caption()); break;
                case akTop: c.TextOut(midX, plot.top - labelRoom - titleGap - h, title.Caption()); break;
                default: c.TextOut(midX, plot.bottom + labelRoom + titleGap, title.Caption()); break;
            }
        }
    }
}

void TCustomChart::DrawFrame(TCanvas& c, const TRect& bounds) {
    // 1. Background.
    c.SetPen(platform::TCanvasPen{});
    c.SetBrush(platform::TCanvasBrush{color_, platform::TBrushStyle::Solid});
    c.FillRect(bounds);

    // The margins, in percent of the chart's width and height.
    const int w = bounds.Width();
    const int h = bounds.Height();
    TRect area{bounds.left + platform::RoundHalfEven(w * margins_[0] / 100.0),
               bounds.top + platform::RoundHalfEven(h * margins_[2] / 100.0),
               bounds.right - platform::RoundHalfEven(w * margins_[1] / 100.0),
               bounds.bottom - platform::RoundHalfEven(h * margins_[3] / 100.0)};

    // 2. Title, centred above the plot area.
    if (title_.Visible() && HasTitleText(title_.Text())) {
        c.SetFont(ScaledFont(title_.Font().CanvasFont()));
        c.SetTextTransparent(true);
        int y = area.top;
        for (const QString& line : title_.Text()) {
            const int tw = c.TextWidth(line);
            c.TextOut(bounds.left + (w - tw) / 2, y, line);
            y += c.TextHeight(line);
        }
        area.top = y + ScaledText(TitleGap);
    }
    if (area.bottom < area.top) area.bottom = area.top;
    if (area.right < area.left) area.right = area.left;

    // 3. Plot rectangle and axis extents.
    std::vector<TAxisTick> ticks[4];
    LayOut(c, area, ticks);

    // 4. Axes.
    DrawAxes(c, ticks);
}

void TCustomChart::ClipSeries(TCanvas& c) {
    if (!clipPoints_) return;
    // The plot rectangle's last column and row included, and at a scale
    // the rest of the square a pixel there becomes.
    const int k = Scaled(1);
    const int before = k / 2;
    const int after = k - 1 - before;
    c.SetClipRect(TRect{plot_.left - before, plot_.top - before, plot_.right + 1 + after, plot_.bottom + 1 + after});
}

void TCustomChart::DrawSeriesRange(TCanvas& c, std::size_t from, std::size_t to) {
    for (std::size_t i = from; i < to && i < series_.size(); ++i) {
        const auto& s = series_[i];
        if (!s->Active()) continue;
        const platform::TCanvasGroup seriesGroup(
            c, s->Title().isEmpty() ? ChartName() + QStringLiteral("Series") + QString::number(i) : s->Title(),
            OnGetSeriesLabel ? OnGetSeriesLabel(*this, *s) : QString());
        if (auto* pdf = dynamic_cast<platform::TPdfCanvas*>(&c); pdf && DrawSharedSeries(*pdf, *s)) continue;
        s->Draw(c);
    }
}

std::size_t TCustomChart::BaseSeriesCount() const {
    std::size_t n = 0;
    while (n < series_.size() && !dynamic_cast<const TPointSeries*>(series_[n].get())) ++n;
    return n;
}

void TCustomChart::SetKeepBaseLayer(bool on) {
    keepBaseLayer_ = on;
    if (!on) kept_.reset();
    unusedLayers_ = 0;
}

namespace {

// The state of a canvas that drawing leaves behind.
struct CanvasState {
    platform::TCanvasPen pen;
    platform::TCanvasBrush brush;
    platform::TCanvasFont font;
    bool transparent = false;
    QPoint position;
    bool operator==(const CanvasState&) const = default;
};

CanvasState StateOf(const TCanvas& c) { return {c.Pen(), c.Brush(), c.Font(), c.TextTransparent(), c.PenPos()}; }

void Apply(TCanvas& c, const CanvasState& s) {
    c.SetPen(s.pen);
    c.SetBrush(s.brush);  // sets the text ground too: the state's comes after
    c.SetTextTransparent(s.transparent);
    c.SetFont(s.font);
    c.MoveTo(s.position.x(), s.position.y());
}

// Bytes that tell drawings apart.
class Record {
public:
    template <class T>
    void Add(const T& v) {
        static_assert(std::is_trivially_copyable_v<T>);
        bytes_.append(reinterpret_cast<const char*>(&v), sizeof v);
    }
    void Add(const QString& text) {
        Add(static_cast<qsizetype>(text.size()));
        bytes_.append(reinterpret_cast<const char*>(text.constData()), static_cast<std::size_t>(text.size()) * 2);
    }
    void Add(const TRect& r) {
        Add(r.left);
        Add(r.top);
        Add(r.right);
        Add(r.bottom);
    }
    void Add(const CanvasState& s) {
        Add(s.pen.color);
        Add(s.pen.width);
        Add(s.pen.style);
        Add(s.pen.mode);
        Add(s.brush.color);
        Add(s.brush.style);
        Add(s.font.name);
        Add(s.font.height);
        Add(s.font.color);
        Add(s.font.charset);
        Add(s.font.bold);
        Add(s.font.italic);
        Add(s.transparent);
        Add(s.position.x());
        Add(s.position.y());
    }
    void Add(const TChartPen& p) {
        Add(p.Visible());
        Add(p.Color());
        Add(p.Width());
        Add(p.Style());
        Add(p.SmallDots());
        Add(p.Mode());
    }
    std::string& Bytes() { return bytes_; }

    // What places a chart's drawing: its plot, scales, clipping and axes.
    template <class Axes>
    void AddPlacing(const TRect& plot, double scale, double textScale, int minPen, bool clipPoints, const Axes& axes) {
        Add(plot);
        Add(scale);
        Add(textScale);
        Add(minPen);
        Add(clipPoints);
        for (const auto& axis : axes) {
            Add(axis->StartPos());
            Add(axis->EndPos());
            Add(axis->Minimum());
            Add(axis->Maximum());
            Add(axis->Inverted());
            Add(axis->Visible());
        }
    }

    // What a series draws from: itself (its revision), its axes, its
    // pointer and, for a line series, its line pen.
    void AddSeries(const TChartSeries& s) {
        Add(reinterpret_cast<std::uintptr_t>(&s));
        Add(s.Revision());
        Add(s.Active());
        Add(s.SeriesColor());
        Add(s.XValuesOrder());
        Add(s.HorizAxis());
        Add(s.VertAxis());
        const TSeriesPointer& p = s.Pointer();
        Add(p.Visible());
        Add(p.Style());
        Add(p.HorizSize());
        Add(p.VertSize());
        Add(p.Brush().Color());
        Add(p.Brush().Style());
        Add(p.Pen());
        Add(p.Draw3D());
        Add(p.InflateMargins());
        if (const auto* line = dynamic_cast<const TLineSeries*>(&s)) Add(line->LinePen());
    }

private:
    std::string bytes_;
};

// A canvas that draws nothing and records what it was asked to draw, with
// the state of the canvas at each call.
class RecordingCanvas : public TCanvas {
public:
    Record record;

    void TextOut(int x, int y, const QString& text) override {
        Op('T');
        record.Add(x);
        record.Add(y);
        record.Add(text);
    }
    void FillRect(const TRect& rect) override {
        Op('F');
        record.Add(rect);
    }
    void Rectangle(const TRect& rect) override {
        Op('R');
        record.Add(rect);
    }
    void Ellipse(const TRect& rect) override {
        Op('E');
        record.Add(rect);
    }
    void Polygon(const QPoint* points, int count) override { Points('G', points, count); }
    void Polyline(const QPoint* points, int count) override { Points('L', points, count); }
    void SetPixel(int x, int y, TColor color) override {
        Op('P');
        record.Add(x);
        record.Add(y);
        record.Add(color);
    }
    void SetClipRect(const TRect& rect) override {
        Op('C');
        record.Add(rect);
    }
    void ResetClip() override { Op('U'); }

private:
    void Op(char code) {
        record.Add(code);
        record.Add(StateOf(*this));
    }
    void Points(char code, const QPoint* points, int count) {
        Op(code);
        record.Add(count);
        for (int i = 0; i < count; ++i) {
            record.Add(points[i].x());
            record.Add(points[i].y());
        }
    }
};

}  // namespace

struct TCustomChart::KeptLayer {
    std::string key;      // what the picture was made from
    bool usable = false;  // false: its drawing reaches outside the chart or reads what lies below
    QPoint at;
    QImage pixels;
    CanvasState end;  // the canvas state after it
    int copies = 0;
};

bool TCustomChart::DrawKeptBase(platform::TPainterCanvas& c, const TRect& bounds, std::size_t count) {
    const CanvasState start = StateOf(c);
    TCanvas* const drawing = active_;
    Restorer restoreActive{[&] { active_ = drawing; }};

    // What the frame would draw (cheap to lay out and record) and every
    // value the series below the point series are drawn from tell whether
    // the kept picture still holds. The layout of the recording is the
    // drawing's: the axes map as they will for the series drawn over it.
    RecordingCanvas probe;
    Apply(probe, start);
    active_ = &probe;
    DrawFrame(probe, bounds);
    Record& key = probe.record;
    key.Add(bounds);
    key.Add(c.ImageSize().width());
    key.Add(c.ImageSize().height());
    key.Add(c.ImageFormat());
    key.Add(c.StampShapes());
    key.Add(start);
    key.AddPlacing(plot_, scale_, textScale_, minPen_, clipPoints_, axes_);
    key.Add(series_.size());
    key.Add(count);
    for (std::size_t i = 0; i < count; ++i) key.AddSeries(*series_[i]);

    if (!kept_ || kept_->key != key.Bytes()) {
        // A chart whose pictures serve only the drawing that made them (it
        // changes between every two drawings, as a title that names each
        // figure) stops making them: they would only cost.
        if (unusedLayers_ >= 2) return false;
        if (kept_ && kept_->copies <= 1 && ++unusedLayers_ >= 2) return false;
        // Drawn twice on two different grounds: the picture is kept only
        // when both give the same pixels inside the chart's rectangle and
        // leave every pixel outside it as it was.
        auto layer = std::make_unique<KeptLayer>();
        layer->key = std::move(key.Bytes());
        const QSize size = c.ImageSize();
        const TRect box = platform::Intersect(bounds, TRect{0, 0, size.width(), size.height()});
        constexpr std::uint32_t grounds[2] = {0xFFFFFFFFu, 0xFF5A3C96u};
        QImage images[2];
        CanvasState ends[2];
        for (int i = 0; i < 2 && !box.IsEmpty(); ++i) {
            images[i] = QImage(size, c.ImageFormat());
            if (images[i].isNull()) break;
            images[i].fill(grounds[i]);
            platform::TPainterCanvas scratch(images[i]);
            scratch.SetStampShapes(c.StampShapes());
            Apply(scratch, start);
            active_ = &scratch;
            scratch.ResetClip();
            DrawFrame(scratch, bounds);
            ClipSeries(scratch);
            DrawSeriesRange(scratch, 0, count);
            ends[i] = StateOf(scratch);
            scratch.End();
        }
        bool same = !box.IsEmpty() && !images[0].isNull() && !images[1].isNull() && ends[0] == ends[1];
        for (int y = 0; same && y < size.height(); ++y) {
            const auto* a = reinterpret_cast<const std::uint32_t*>(images[0].constScanLine(y));
            const auto* b = reinterpret_cast<const std::uint32_t*>(images[1].constScanLine(y));
            const bool inside = y >= box.top && y < box.bottom;
            for (int x = 0; same && x < size.width(); ++x) {
                if (inside && x >= box.left && x < box.right) {
                    same = a[x] == b[x];
                } else {
                    same = a[x] == grounds[0] && b[x] == grounds[1];
                }
            }
        }
        layer->usable = same;
        if (same) {
            layer->at = QPoint(box.left, box.top);
            layer->pixels = images[0].copy(box.left, box.top, box.Width(), box.Height());
            layer->end = ends[0];
        }
        kept_ = std::move(layer);
        ++baseLayersMade_;
    }
    if (!kept_->usable) return false;
    c.PutPixels(kept_->at.x(), kept_->at.y(), kept_->pixels);
    Apply(c, kept_->end);
    ++kept_->copies;
    ++baseLayerCopies_;
    return true;
}

bool TCustomChart::DrawSharedSeries(platform::TPdfCanvas& c, const TChartSeries& s) const {
    // Lines only (with their marks), whose drawing reads no more than the
    // key holds: the series' own state (its revision), its line pen and
    // pointer, its axes and the chart's plot, scale and clipping. The
    // canvas adds the page size, the clip and the canvas state the drawing
    // begins in.
    if (typeid(s) != typeid(TLineSeries)) return false;
    Record key;
    key.Add(reinterpret_cast<std::uintptr_t>(this));
    key.AddSeries(s);
    key.AddPlacing(plot_, scale_, textScale_, minPen_, clipPoints_, axes_);
    return c.DrawKeyedGroup(key.Bytes());
}

void TCustomChart::Draw(TCanvas& c, const TRect& bounds) {
    TCanvas* previous = active_;
    active_ = &c;
    Restorer restoreActive{[&] { active_ = previous; }};
    const platform::TCanvasGroup chartGroup(c, ChartName());
    bounds_ = bounds;
    c.ResetClip();

    // 1.-4. Background, title, layout and axes, and with them the series
    // below the point series where a kept picture of them is copied.
    std::size_t drawn = 0;
    auto* bitmap = keepBaseLayer_ ? dynamic_cast<platform::TPainterCanvas*>(&c) : nullptr;
    bool copied = false;
    if (bitmap && bitmap->DirectPixels() && !bitmap->VectorDevice()) {
        const std::size_t count = BaseSeriesCount();
        copied = DrawKeptBase(*bitmap, bounds, count);
        if (copied) drawn = count;
    }
    if (!copied) DrawFrame(c, bounds);

    // 5. Series, in list order, clipped to the plot rectangle.
    {
        ClipSeries(c);
        Restorer unclip{[&] {
            if (clipPoints_) c.ResetClip();
        }};
        DrawSeriesRange(c, drawn, series_.size());
    }

    // 6. The canvas state the hook starts from.
    c.SetPen(ScaledPen(
        platform::TCanvasPen{platform::clBlack, 1, platform::TPenStyle::Solid, platform::TPenMode::Copy}));
    c.SetBrush(platform::TCanvasBrush{platform::clWhite, platform::TBrushStyle::Solid});
    platform::TCanvasFont font = c.Font();
    font.color = platform::clBlack;
    font.height = platform::PointsToPixels(10);
    c.SetFont(ScaledFont(font));
    c.SetTextTransparent(true);

    // 7. The owner's overlays.
    if (OnAfterDraw) OnAfterDraw(*this);
}

void TCustomChart::DrawInto(TCanvas& canvas, const TRect& rect, double scale) {
    DrawInto(canvas, rect, DrawStyle{scale, 1.0, 0.0});
}

void TCustomChart::DrawInto(TCanvas& canvas, const TRect& rect, const DrawStyle& style) {
    const double scale = style.scale;
    int extents[5][2];
    for (int k = 0; k < 5; ++k) {
        extents[k][0] = axes_[k]->StartPos();
        extents[k][1] = axes_[k]->EndPos();
    }
    const TRect savedPlot = plot_;
    const TRect savedBounds = bounds_;
    const bool savedBuffered = buffered_;
    const double savedScale = scale_;
    const double savedTextScale = textScale_;
    const int savedMinPen = minPen_;
    buffered_ = false;
    scale_ = scale > 0 && std::isfinite(scale) ? scale : 1.0;
    textScale_ = style.textScale > 0 && std::isfinite(style.textScale) ? style.textScale : 1.0;
    // Whole pixels at least as wide as asked (a hair less counts as that).
    minPen_ = style.minPenWidth > 1 && std::isfinite(style.minPenWidth)
                  ? static_cast<int>(std::min<double>(platform::MaxDrawnPenWidth, std::ceil(style.minPenWidth - 1e-6)))
                  : 1;
    Restorer restore{[&] {
        buffered_ = savedBuffered;
        scale_ = savedScale;
        textScale_ = savedTextScale;
        minPen_ = savedMinPen;
        for (int k = 0; k < 5; ++k) axes_[k]->SetExtent(extents[k][0], extents[k][1]);
        plot_ = savedPlot;
        bounds_ = savedBounds;
    }};
    if (scale_ == 1.0) {
        Draw(canvas, rect);
        return;
    }
    const auto at = [&](int v) { return platform::RoundHalfEven(v * scale_); };
    Draw(canvas, TRect{at(rect.left), at(rect.top), at(rect.right), at(rect.bottom)});
}

QImage TCustomChart::PictureBitmap() {
    const int w = std::max(1, width());
    const int h = std::max(1, height());
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        platform::TPainterCanvas canvas(image);
        DrawInto(canvas, TRect{0, 0, w, h});
    }
    return image;
}

QByteArray TCustomChart::PictureMetafile() {
    platform::TMetafileCanvas canvas(std::max(1, width() - 1), std::max(1, height() - 1));
    DrawInto(canvas, TRect{0, 0, width(), height()});
    return canvas.Finish();
}

void TCustomChart::CopyAsBitmap() { platform::CopyBitmapToClipboard(PictureBitmap()); }

void TCustomChart::CopyAsMetafile() { platform::CopyMetafileToClipboard(PictureMetafile()); }

void TCustomChart::SaveAsMetafile(const QString& fileName) { platform::WriteMetafileFile(PictureMetafile(), fileName); }

bool TCustomChart::EnsureBuffer() {
    const int w = std::max(1, width());
    const int h = std::max(1, height());
    const qreal ratio = PixelRatio();
    if (buffer_.devicePixelRatio() == ratio && buffer_.deviceIndependentSize() == QSizeF(w, h)) return false;
    if (ratio == 1.0) {
        // Pixel for pixel: the canvas sets the pixels straight into the image.
        buffer_ = QImage(w, h, QImage::Format_RGB32);
    } else {
        // On a high-density screen the picture has the device's pixels and
        // is drawn in logical pixels through the painter, which scales
        // lines, marks and text to the device, so that they stay sharp.
        buffer_ = QImage(qRound(w * ratio), qRound(h * ratio), QImage::Format_RGBX8888);
        buffer_.setDevicePixelRatio(ratio);
    }
    dirty_ = true;
    return true;
}

}  // namespace kavum::chart
