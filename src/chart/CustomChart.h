#pragma once
// TCustomChart: a flat chart. A white panel, a plot rectangle framed by up
// to four axes with grid lines and labels, and an ordered list of series on
// top; after each drawing the owner's hook draws its overlays on the same
// canvas. The chart draws itself onto the canvas interface only, so the
// screen, a bitmap and a metafile differ only in the canvas handed in. It
// needs no window: TChart (chart/Chart.h) shows one in a window.
#include "chart/ChartAxis.h"
#include "chart/ChartSeries.h"
#include "chart/ChartTools.h"
#include "platform/canvas/Canvas.h"

#include <QByteArray>
#include <QImage>
#include <QRect>
#include <QString>

#include <exception>
#include <functional>
#include <memory>
#include <vector>

namespace kavum::platform {
class TPainterCanvas;
class TPdfCanvas;
}

namespace kavum::chart {

using platform::TRect;

class TChart;
class TCustomChart;

// The chart a hook is called for: the chart, or for a chart shown in a
// window (TChart) that window, as the hook takes it.
class TChartSender {
public:
    TChartSender(TCustomChart& chart) : chart_(chart) {}
    operator TCustomChart&() const { return chart_; }
    // Only for a chart window; any other chart throws std::logic_error.
    operator TChart&() const;

private:
    TCustomChart& chart_;
};

class TCustomChart {
public:
    TCustomChart();
    virtual ~TCustomChart();
    TCustomChart(const TCustomChart&) = delete;
    TCustomChart& operator=(const TCustomChart&) = delete;

    // Where the chart lies on its sheet (its size is the size it draws at,
    // its client size), whether it shows, and its name (the name of its
    // group in a vector figure). A chart window keeps them as its widget.
    QRect geometry() const { return ChartGeometry(); }
    int x() const { return ChartGeometry().x(); }
    int y() const { return ChartGeometry().y(); }
    int width() const { return ChartGeometry().width(); }
    int height() const { return ChartGeometry().height(); }
    QSize size() const { return ChartGeometry().size(); }
    void setGeometry(int left, int top, int w, int h) { SetChartGeometry(QRect(left, top, w, h)); }
    void setGeometry(const QRect& r) { SetChartGeometry(r); }
    void resize(int w, int h) { SetChartGeometry(QRect(ChartGeometry().topLeft(), QSize(w, h))); }
    void resize(const QSize& s) { SetChartGeometry(QRect(ChartGeometry().topLeft(), s)); }
    void show() { SetChartShown(true); }
    void hide() { SetChartShown(false); }
    bool isHidden() const { return !ChartShown(); }
    QString objectName() const { return ChartName(); }
    void setObjectName(const QString& name) { SetChartName(name); }

    // Axes; the depth axis exists and is not drawn.
    TCustomChartAxis& LeftAxis() { return *axes_[akLeft]; }
    TCustomChartAxis& TopAxis() { return *axes_[akTop]; }
    TCustomChartAxis& RightAxis() { return *axes_[akRight]; }
    TCustomChartAxis& BottomAxis() { return *axes_[akBottom]; }
    TCustomChartAxis& DepthAxis() { return *axes_[akDepth]; }
    const TCustomChartAxis& LeftAxis() const { return *axes_[akLeft]; }
    const TCustomChartAxis& TopAxis() const { return *axes_[akTop]; }
    const TCustomChartAxis& RightAxis() const { return *axes_[akRight]; }
    const TCustomChartAxis& BottomAxis() const { return *axes_[akBottom]; }

    TChartTitle& Title() { return title_; }
    TCustomChartLegend& Legend() { return legend_; }

    // Background of the whole chart.
    TColor Color() const { return color_; }
    void SetColor(TColor value);
    // Blank border around the plot area in percent of the chart's width
    // (left, right) and height (top, bottom).
    int MarginLeft() const { return margins_[0]; }
    int MarginRight() const { return margins_[1]; }
    int MarginTop() const { return margins_[2]; }
    int MarginBottom() const { return margins_[3]; }
    void SetMarginLeft(int value);
    void SetMarginRight(int value);
    void SetMarginTop(int value);
    void SetMarginBottom(int value);
    bool View3D() const { return view3D_; }
    void SetView3D(bool value);
    // Clip series drawing to the plot rectangle.
    bool ClipPoints() const { return clipPoints_; }
    void SetClipPoints(bool value);
    // Draw into an off-screen picture first, then copy it to the window.
    bool BufferedDisplay() const { return buffered_; }
    void SetBufferedDisplay(bool value);
    // Points reserved by every series at each clearing.
    int SeriesDefaultCapacity() const { return seriesDefaultCapacity_; }
    void SetSeriesDefaultCapacity(int value) { seriesDefaultCapacity_ = value; }

    // Series, in drawing order. The chart owns them.
    template <class T>
    T& AddSeries() {
        auto s = std::make_unique<T>(*this);
        T& ref = *s;
        series_.push_back(std::move(s));
        Invalidate();
        return ref;
    }
    TLineSeries& AddLineSeries() { return AddSeries<TLineSeries>(); }
    TPointSeries& AddPointSeries() { return AddSeries<TPointSeries>(); }
    int SeriesCount() const { return static_cast<int>(series_.size()); }
    TChartSeries& Series(int index) { return *series_.at(static_cast<std::size_t>(index)); }

    // The canvas: during a drawing the one drawn on (the target of DrawInto
    // while that runs), otherwise the chart's on-screen picture, where the
    // owner may draw over the last drawing; the window shows it at its next
    // paint.
    platform::TCanvas& Canvas();
    // Makes the font the canvas's current font.
    void UseFont(const TChartFont& font);
    // One pointer shape on the canvas with its current pen and brush.
    void DrawPointerShape(bool flat, int x, int y, int h, int v, TColor color, TSeriesPointerStyle style);

    // The scale of the drawing in progress (1 outside drawings): every size
    // of the chart is drawn that many times larger, and the canvas
    // coordinates (the axes' pixels included) are pixels of that size.
    double DrawScale() const { return scale_; }
    // How much larger than the rest of the drawing its text is (1 outside
    // drawings): a figure made for print may set its text larger than the
    // figure's scale alone would.
    double TextScale() const { return textScale_; }
    // A length of the chart's design (in pixels at scale 1) at the drawing's
    // scale, to whole pixels.
    int Scaled(int pixels) const;
    // A length that goes with the text (a gap beside a label, a row of the
    // legend) at the drawing's scale and its text scale, to whole pixels.
    int ScaledText(int pixels) const;
    // The half-size of a mark whose 2 x half + 1 pixels are scaled.
    int ScaledHalfSize(int half) const;
    // A pen and a font of the design at the drawing's scale.
    platform::TCanvasPen ScaledPen(platform::TCanvasPen pen) const;
    platform::TCanvasFont ScaledFont(platform::TCanvasFont font) const;
    // A polyline in the canvas's current pen, its dash pattern drawn at the
    // drawing's scale (a canvas knows patterns of thin pens only).
    void StrokePolyline(platform::TCanvas& canvas, const QPoint* points, int count) const;

    // Plot rectangle of the last layout; right and bottom are the last
    // column and row (the pixels of the axes' maxima).
    TRect ChartRect() const { return plot_; }
    // The rectangle the last drawing filled.
    TRect ChartBounds() const { return bounds_; }

    // Draws the whole chart, hook included, into a rectangle of a foreign
    // canvas. The axes map into that rectangle while it runs (and the hook
    // runs); afterwards they are as before, and the on-screen picture is
    // untouched. At a scale the chart is drawn as if each of its pixel
    // sizes were scale times larger (rectangle, margins, fonts, pens, marks,
    // gaps) into the canvas's rectangle scale times rect, with the positions
    // of the points mapped at that finer grid.
    void DrawInto(platform::TCanvas& canvas, const TRect& rect, double scale = 1.0);
    // The same with the text textScale times larger again and no pen
    // thinner than minPenWidth canvas pixels.
    struct DrawStyle {
        double scale = 1.0;
        double textScale = 1.0;
        double minPenWidth = 0.0;
    };
    void DrawInto(platform::TCanvas& canvas, const TRect& rect, const DrawStyle& style);
    // The chart's own pictures at its client size: a bitmap, and a metafile
    // one pixel narrower and lower (at least 1 x 1).
    QImage PictureBitmap();
    QByteArray PictureMetafile();
    void CopyAsBitmap();
    void CopyAsMetafile();
    // Writes the metafile picture, creating or replacing the file.
    void SaveAsMetafile(const QString& fileName);

    // Keeps the picture that a drawing into a bitmap puts below the point
    // series (the background, title, axes and grids, and the series before
    // the first point series: a map's lines) and copies it into the next
    // drawings of the same place, size, scale and state instead of drawing
    // it again, with the same pixels: for the many figures of one map. What
    // the picture was made from is compared at every drawing, and the
    // picture is kept only when its drawing touches nothing outside the
    // chart's rectangle and does not depend on what lies below. Off by
    // default.
    void SetKeepBaseLayer(bool on);
    bool KeepBaseLayer() const { return keepBaseLayer_; }
    // How many drawings copied the kept picture, and how many times it was
    // made.
    int BaseLayerCopies() const { return baseLayerCopies_; }
    int BaseLayersMade() const { return baseLayersMade_; }

    // Marks the chart for repainting at the next paint.
    void Invalidate();
    // Redraws now (when the window is shown).
    void Repaint();
    // Whether a repaint is pending.
    bool NeedsRepaint() const { return dirty_; }

    // Hooks of the owner.
    std::function<void(TChartSender sender)> OnAfterDraw;
    std::function<void(TCustomChartAxis& sender, TChartSeries* series, int valueIndex, QString& labelText)>
        OnGetAxisLabel;
    // The name a figure shows for the group of a series (a category's
    // name); empty: none beside its id.
    std::function<QString(TChartSender sender, TChartSeries& series)> OnGetSeriesLabel;

    // Runs the label hook (used by the axes).
    void GetAxisLabel(TCustomChartAxis& axis, QString& text);

protected:
    // The place, visibility and name; a chart window keeps them as its widget.
    virtual QRect ChartGeometry() const { return geometry_; }
    virtual void SetChartGeometry(const QRect& r);
    virtual bool ChartShown() const { return shown_; }
    virtual void SetChartShown(bool on) { shown_ = on; }
    virtual QString ChartName() const { return name_; }
    virtual void SetChartName(const QString& name) { name_ = name; }
    // A window's repaint requests: soon, and at once; nothing without one.
    virtual void ScheduleRepaint() {}
    virtual void RepaintNow() {}
    // Device pixels per pixel of the picture.
    virtual double PixelRatio() const { return 1.0; }

private:
    friend class TChart;
    // The one drawing path: onto canvas, inside bounds.
    void Draw(platform::TCanvas& canvas, const TRect& bounds);
    void LayOut(platform::TCanvas& canvas, const TRect& bounds, std::vector<TAxisTick> (&ticks)[4]);
    void DrawAxes(platform::TCanvas& canvas, std::vector<TAxisTick> (&ticks)[4]);
    // Steps of Draw: the background, title, layout and axes; the clip of
    // the series; the series [from, to).
    void DrawFrame(platform::TCanvas& canvas, const TRect& bounds);
    void ClipSeries(platform::TCanvas& canvas);
    void DrawSeriesRange(platform::TCanvas& canvas, std::size_t from, std::size_t to);
    // The series drawn before the first point series.
    std::size_t BaseSeriesCount() const;
    // Puts the kept picture of the frame and the first count series into
    // the canvas, making it first when what it shows changed; false when
    // it cannot be kept (nothing was drawn then).
    bool DrawKeptBase(platform::TPainterCanvas& canvas, const TRect& bounds, std::size_t count);
    // On a page of a book, draws a series as the form an earlier page made
    // of the same drawing, named by a key of everything the drawing reads;
    // false when it has to be drawn (then the form it may become is named).
    bool DrawSharedSeries(platform::TPdfCanvas& canvas, const TChartSeries& series) const;

    std::unique_ptr<TCustomChartAxis> axes_[5];
    TChartTitle title_;
    TCustomChartLegend legend_;
    TColor color_ = platform::clWhite;
    int margins_[4] = {6, 4, 4, 4};
    bool view3D_ = false;
    bool clipPoints_ = true;
    bool buffered_ = true;
    int seriesDefaultCapacity_ = 64000;
    std::vector<std::unique_ptr<TChartSeries>> series_;

    TRect bounds_;
    TRect plot_;
    double scale_ = 1.0;
    double textScale_ = 1.0;
    int minPen_ = 1;
    platform::TCanvas* active_ = nullptr;  // the canvas of the drawing in progress
    bool keepBaseLayer_ = false;
    int baseLayerCopies_ = 0;
    int baseLayersMade_ = 0;
    int unusedLayers_ = 0;  // kept pictures replaced before any copy
    struct KeptLayer;
    std::unique_ptr<KeptLayer> kept_;
    bool dirty_ = true;
    // Makes buffer_ the chart's size at the screen's pixel ratio; true when it was remade.
    bool EnsureBuffer();
    QImage buffer_;                                    // the on-screen picture
    std::unique_ptr<platform::TPainterCanvas> bufferCanvas_;  // over buffer_, between paints
    // Canvas state at the end of the last drawing, handed on to the canvas
    // over the picture.
    platform::TCanvasPen lastPen_;
    platform::TCanvasBrush lastBrush_;
    platform::TCanvasFont lastFont_;
    bool lastTransparent_ = true;
    QRect geometry_{0, 0, 100, 30};
    bool shown_ = true;
    QString name_;
};

}  // namespace kavum::chart
