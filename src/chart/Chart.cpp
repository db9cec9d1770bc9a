#include "chart/Chart.h"

#include "platform/Numbers.h"
#include "platform/canvas/Clipboard.h"
#include "platform/canvas/MetafileCanvas.h"
#include "platform/canvas/PainterCanvas.h"

#include <QContextMenuEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QtGlobal>

#include <optional>

#include <algorithm>
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

void ChartChanged(TChart* chart) {
    if (chart) chart->Invalidate();
}

TChart::TChart(QWidget* parent) : QWidget(parent), title_(this), legend_(this) {
    for (TAxisKind k : {akLeft, akTop, akRight, akBottom, akDepth}) {
        axes_[k] = std::make_unique<TCustomChartAxis>(*this, k);
    }
    DepthAxis().SetVisible(false);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

TChart::~TChart() {
    // The series and axes refer to the chart; they go first.
    series_.clear();
    bufferCanvas_.reset();
}

void TChart::SetColor(TColor value) {
    if (Change(color_, value)) Invalidate();
}
void TChart::SetMarginLeft(int value) {
    if (Change(margins_[0], value)) Invalidate();
}
void TChart::SetMarginRight(int value) {
    if (Change(margins_[1], value)) Invalidate();
}
void TChart::SetMarginTop(int value) {
    if (Change(margins_[2], value)) Invalidate();
}
void TChart::SetMarginBottom(int value) {
    if (Change(margins_[3], value)) Invalidate();
}
void TChart::SetView3D(bool value) {
    if (Change(view3D_, value)) Invalidate();
}
void TChart::SetClipPoints(bool value) {
    if (Change(clipPoints_, value)) Invalidate();
}
void TChart::SetBufferedDisplay(bool value) {
    if (Change(buffered_, value)) Invalidate();
}

void TChart::Invalidate() {
    // Changes made while the chart draws itself (by its hooks) wait for the
    // next change; they would otherwise make every paint ask for another.
    if (active_) return;
    if (!dirty_) {
        dirty_ = true;
        update();
    }
}

void TChart::Repaint() {
    dirty_ = true;
    if (isVisible()) repaint();
}

void TChart::GetAxisLabel(TCustomChartAxis& axis, QString& text) {
    if (OnGetAxisLabel) OnGetAxisLabel(axis, nullptr, -1, text);
}

TCanvas& TChart::Canvas() {
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
    update();
    return *bufferCanvas_;
}

void TChart::UseFont(const TChartFont& font) { Canvas().SetFont(font.CanvasFont()); }

void TChart::DrawPointerShape(bool /*flat*/, int x, int y, int h, int v, TColor color, TSeriesPointerStyle style) {
    chart::DrawPointerShape(Canvas(), x, y, h, v, color, style);
}

// ---- layout and drawing ----

void TChart::LayOut(TCanvas& /*canvas*/, const TRect& area, std::vector<TAxisTick> (&ticks)[4]) {
    TRect plot = area;
    // Horizontal axes take the height of a label line and of their title.
    auto heightRoom = [](TCustomChartAxis& a) {
        if (!a.Visible()) return 0;
        int room = a.Ticks().Visible() ? TickLength : 0;
        if (a.Labels()) room += LabelGap + platform::TextHeightOf(a.LabelsFont().CanvasFont());
        if (a.Title().Visible() && !a.Title().Caption().isEmpty()) {
            room += TitleGap + platform::TextHeightOf(a.Title().Font().CanvasFont());
        }
        return room;
    };
    plot.bottom -= heightRoom(BottomAxis());
    plot.top += heightRoom(TopAxis());
    if (plot.bottom < plot.top) plot.bottom = plot.top;

    // Vertical axes: their extent is known now, and with it their labels,
    // whose widest text fixes the room they take.
    auto widthRoom = [](TCustomChartAxis& a, const std::vector<TAxisTick>& axisTicks) {
        if (!a.Visible()) return 0;
        int room = a.Ticks().Visible() ? TickLength : 0;
        if (a.Labels()) {
            int widest = 0;
            for (const TAxisTick& t : axisTicks) {
                widest = std::max(widest, platform::TextWidthOf(a.LabelsFont().CanvasFont(), t.text));
            }
            room += LabelGap + widest;
        }
        if (a.Title().Visible() && !a.Title().Caption().isEmpty()) {
            room += TitleGap + platform::TextWidthOf(a.Title().Font().CanvasFont(), a.Title().Caption());
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

void TChart::DrawAxes(TCanvas& c, std::vector<TAxisTick> (&ticks)[4]) {
    const TRect& plot = plot_;
    constexpr TAxisKind order[4] = {akLeft, akRight, akTop, akBottom};
    auto gridLine = [&](const TCustomChartAxis& a, int p) {
        if (a.Horizontal()) {
            c.Line(p, plot.top, p, plot.bottom);
        } else {
            c.Line(plot.left, p, plot.right, p);
        }
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
            c.SetPen(a.MinorGrid().CanvasPen());
            for (int p : minor[k]) gridLine(a, p);
        }
        if (a.Grid().Visible()) {
            c.SetPen(a.Grid().CanvasPen());
            for (int p : positions[k]) gridLine(a, p);
        }
    }
    group.reset();
    group.emplace(c, objectName() + QStringLiteral("Axes"));
    for (TAxisKind k : order) {
        TCustomChartAxis& a = *axes_[k];
        if (!a.Visible() || !a.Axis().Visible()) continue;
        c.SetPen(a.Axis().CanvasPen());
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
            c.SetPen(a.Ticks().CanvasPen());
            for (int p : positions[k]) tick(k, p, TickLength, 0);
        }
        if (a.TicksInner().Visible()) {
            c.SetPen(a.TicksInner().CanvasPen());
            for (int p : positions[k]) tick(k, p, 0, TickLength);
        }
        if (a.MinorTicks().Visible()) {
            c.SetPen(a.MinorTicks().CanvasPen());
            for (int p : minor[k]) tick(k, p, MinorTickLength, 0);
        }
    }
    // Labels beside the axis, outside the plot, centred on their position;
    // titles beyond them.
    for (TAxisKind k : order) {
        TCustomChartAxis& a = *axes_[k];
        if (!a.Visible()) continue;
        const int offset = (a.Ticks().Visible() ? TickLength : 0) + LabelGap;
        int labelRoom = a.Ticks().Visible() ? TickLength : 0;
        if (a.Labels()) {
            c.SetFont(a.LabelsFont().CanvasFont());
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
            labelRoom += LabelGap + (a.Horizontal() ? h : widest);
        }
        const TChartAxisTitle& title = a.Title();
        if (title.Visible() && !title.Caption().isEmpty()) {
            c.SetFont(title.Font().CanvasFont());
            c.SetTextTransparent(true);
            const int w = c.TextWidth(title.Caption());
            const int h = c.TextHeight(title.Caption());
            const int midX = plot.left + (plot.Width() - w) / 2;
            const int midY = plot.top + (plot.Height() - h) / 2;
            switch (k) {
                case akLeft: c.TextOut(plot.left - labelRoom - TitleGap - w, midY, title.Caption()); break;
                case akRight: c.TextOut(plot.right + labelRoom + TitleGap, midY, title.Caption()); break;
                case akTop: c.TextOut(midX, plot.top - labelRoom - TitleGap - h, title.Caption()); break;
                default: c.TextOut(midX, plot.bottom + labelRoom + TitleGap, title.Caption()); break;
            }
        }
    }
}

void TChart::Draw(TCanvas& c, const TRect& bounds) {
    TCanvas* previous = active_;
    active_ = &c;
    Restorer restoreActive{[&] { active_ = previous; }};
    const platform::TCanvasGroup chartGroup(c, objectName());
    bounds_ = bounds;
    c.ResetClip();

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
        c.SetFont(title_.Font().CanvasFont());
        c.SetTextTransparent(true);
        int y = area.top;
        for (const QString& line : title_.Text()) {
            const int tw = c.TextWidth(line);
            c.TextOut(bounds.left + (w - tw) / 2, y, line);
            y += c.TextHeight(line);
        }
        area.top = y + TitleGap;
    }
    if (area.bottom < area.top) area.bottom = area.top;
    if (area.right < area.left) area.right = area.left;

    // 3. Plot rectangle and axis extents.
    std::vector<TAxisTick> ticks[4];
    LayOut(c, area, ticks);

    // 4. Axes.
    DrawAxes(c, ticks);

    // 5. Series, in list order, clipped to the plot rectangle.
    {
        if (clipPoints_) c.SetClipRect(TRect{plot_.left, plot_.top, plot_.right + 1, plot_.bottom + 1});
        Restorer unclip{[&] {
            if (clipPoints_) c.ResetClip();
        }};
        for (std::size_t i = 0; i < series_.size(); ++i) {
            const auto& s = series_[i];
            if (!s->Active()) continue;
            const platform::TCanvasGroup seriesGroup(
                c, s->Title().isEmpty() ? objectName() + QStringLiteral("Series") + QString::number(i) : s->Title());
            s->Draw(c);
        }
    }

    // 6. The canvas state the hook starts from.
    c.SetPen(platform::TCanvasPen{platform::clBlack, 1, platform::TPenStyle::Solid, platform::TPenMode::Copy});
    c.SetBrush(platform::TCanvasBrush{platform::clWhite, platform::TBrushStyle::Solid});
    platform::TCanvasFont font = c.Font();
    font.color = platform::clBlack;
    font.height = platform::PointsToPixels(10);
    c.SetFont(font);
    c.SetTextTransparent(true);

    // 7. The owner's overlays.
    if (OnAfterDraw) OnAfterDraw(*this);
}

void TChart::DrawInto(TCanvas& canvas, const TRect& rect) {
    int extents[5][2];
    for (int k = 0; k < 5; ++k) {
        extents[k][0] = axes_[k]->StartPos();
        extents[k][1] = axes_[k]->EndPos();
    }
    const TRect savedPlot = plot_;
    const TRect savedBounds = bounds_;
    const bool savedBuffered = buffered_;
    buffered_ = false;
    Restorer restore{[&] {
        buffered_ = savedBuffered;
        for (int k = 0; k < 5; ++k) axes_[k]->SetExtent(extents[k][0], extents[k][1]);
        plot_ = savedPlot;
        bounds_ = savedBounds;
    }};
    Draw(canvas, rect);
}

QImage TChart::PictureBitmap() {
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

QByteArray TChart::PictureMetafile() {
    platform::TMetafileCanvas canvas(std::max(1, width() - 1), std::max(1, height() - 1));
    DrawInto(canvas, TRect{0, 0, width(), height()});
    return canvas.Finish();
}

void TChart::CopyAsBitmap() { platform::CopyBitmapToClipboard(PictureBitmap()); }

void TChart::CopyAsMetafile() { platform::CopyMetafileToClipboard(PictureMetafile()); }

void TChart::SaveAsMetafile(const QString& fileName) { platform::WriteMetafileFile(PictureMetafile(), fileName); }

// ---- window events ----

void TChart::ReportError(const std::exception& error) {
    if (OnError) {
        try {
            OnError(error);
        } catch (...) {
            qWarning("chart: %s", error.what());
        }
    } else {
        qWarning("chart: %s", error.what());
    }
}

template <class F>
void TChart::Guarded(F&& f) {
    try {
        f();
    } catch (const std::exception& e) {
        ReportError(e);
    } catch (...) {
        ReportError(std::runtime_error("unknown failure"));
    }
}

bool TChart::EnsureBuffer() {
    const int w = std::max(1, width());
    const int h = std::max(1, height());
    const qreal ratio = devicePixelRatioF();
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

void TChart::paintEvent(QPaintEvent*) {
    bufferCanvas_.reset();
    const int w = std::max(1, width());
    const int h = std::max(1, height());
    EnsureBuffer();
    if (dirty_) {
        dirty_ = false;
        buffer_.fill(Qt::white);
        Guarded([&] {
            platform::TPainterCanvas canvas(buffer_);
            Draw(canvas, TRect{0, 0, w, h});
            lastPen_ = canvas.Pen();
            lastBrush_ = canvas.Brush();
            lastFont_ = canvas.Font();
            lastTransparent_ = canvas.TextTransparent();
        });
    }
    QPainter painter(this);
    painter.drawImage(0, 0, buffer_);
}

void TChart::resizeEvent(QResizeEvent* event) {
    dirty_ = true;
    QWidget::resizeEvent(event);
}

void TChart::mousePressEvent(QMouseEvent* event) {
    if (OnMouseDown) {
        const QPoint p = event->position().toPoint();
        Guarded([&] { OnMouseDown(*this, event->button(), event->modifiers(), p.x(), p.y()); });
    }
    QWidget::mousePressEvent(event);
}

void TChart::mouseReleaseEvent(QMouseEvent* event) {
    if (OnMouseUp) {
        const QPoint p = event->position().toPoint();
        Guarded([&] { OnMouseUp(*this, event->button(), event->modifiers(), p.x(), p.y()); });
    }
    QWidget::mouseReleaseEvent(event);
}

void TChart::mouseDoubleClickEvent(QMouseEvent* event) {
    if (OnDblClick) Guarded([&] { OnDblClick(*this); });
    QWidget::mouseDoubleClickEvent(event);
}

void TChart::contextMenuEvent(QContextMenuEvent* event) {
    if (OnContextPopup) {
        Guarded([&] { OnContextPopup(*this, event->pos(), event->globalPos()); });
        event->accept();
        return;
    }
    QWidget::contextMenuEvent(event);
}

}  // namespace kavum::chart
