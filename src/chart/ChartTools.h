#pragma once
// Small parts of a chart: pens, brushes, fonts, the title and the legend.
// Every setter that changes a value marks the owning chart for repainting;
// a setter given the value already held does nothing.
#include "platform/canvas/Canvas.h"
#include "platform/canvas/Color.h"

#include <QString>
#include <QStringList>

namespace kavum::chart {

using platform::clNone;
using platform::TBrushStyle;
using platform::TColor;
using platform::TPenMode;
using platform::TPenStyle;
using platform::UseSeriesColor;

class TCustomChart;

// Marks the chart (if any) for repainting.
void ChartChanged(TCustomChart* chart);

class TChartPen {
public:
    explicit TChartPen(TCustomChart* chart = nullptr, TColor color = platform::clBlack, bool visible = true);

    bool Visible() const { return visible_; }
    void SetVisible(bool value);
    TColor Color() const { return color_; }
    void SetColor(TColor value);
    int Width() const { return width_; }
    void SetWidth(int value);
    TPenStyle Style() const { return style_; }
    void SetStyle(TPenStyle value);
    // Every other pixel, for width 1.
    bool SmallDots() const { return smallDots_; }
    void SetSmallDots(bool value);
    TPenMode Mode() const { return mode_; }
    void SetMode(TPenMode value);

    // Copies every value (the owner stays).
    void Assign(const TChartPen& other);
    // The canvas pen this pen draws with; colour as given.
    platform::TCanvasPen CanvasPen(TColor color) const;
    platform::TCanvasPen CanvasPen() const { return CanvasPen(color_); }

private:
    TCustomChart* chart_;
    bool visible_;
    TColor color_;
    int width_ = 1;
    TPenStyle style_ = TPenStyle::Solid;
    bool smallDots_ = false;
    TPenMode mode_ = TPenMode::Copy;
};

class TChartBrush {
public:
    explicit TChartBrush(TCustomChart* chart = nullptr, TColor color = platform::clWhite);

    TColor Color() const { return color_; }
    void SetColor(TColor value);
    TBrushStyle Style() const { return style_; }
    void SetStyle(TBrushStyle value);

    void Assign(const TChartBrush& other);
    platform::TCanvasBrush CanvasBrush(TColor color) const;

private:
    TCustomChart* chart_;
    TColor color_;
    TBrushStyle style_ = TBrushStyle::Solid;
};

class TChartFont {
public:
    explicit TChartFont(TCustomChart* chart = nullptr, const QString& name = QStringLiteral("ＭＳ ゴシック"), int height = 12,
                        TColor color = platform::clBlack);

    QString Name() const { return font_.name; }
    void SetName(const QString& value);
    // Character height in pixels.
    int Height() const { return font_.height; }
    void SetHeight(int value);
    // Size in points on the 96 dpi screen; sets the height.
    void SetSize(int points);
    TColor Color() const { return font_.color; }
    void SetColor(TColor value);
    int Charset() const { return font_.charset; }
    void SetCharset(int value);
    bool Bold() const { return font_.bold; }
    void SetBold(bool value);

    void Assign(const TChartFont& other);
    const platform::TCanvasFont& CanvasFont() const { return font_; }

private:
    void Set(const platform::TCanvasFont& f);
    TCustomChart* chart_;
    platform::TCanvasFont font_;
};

// Text lines above the plot area.
class TChartTitle {
public:
    explicit TChartTitle(TCustomChart* chart);

    bool Visible() const { return visible_; }
    void SetVisible(bool value);
    const QStringList& Text() const { return text_; }
    void SetText(const QStringList& lines);
    // Sets one line, adding empty lines before it where needed.
    void SetLine(int index, const QString& line);
    TChartFont& Font() { return font_; }
    const TChartFont& Font() const { return font_; }

private:
    TCustomChart* chart_;
    bool visible_ = true;
    QStringList text_;
    TChartFont font_;
};

enum TLegendAlignment { laLeft, laRight, laTop, laBottom };

// The chart's own legend. It is never drawn; its font serves the owner's
// overlays.
class TCustomChartLegend {
public:
    explicit TCustomChartLegend(TCustomChart* chart);

    bool Visible() const { return visible_; }
    void SetVisible(bool value);
    TLegendAlignment Alignment() const { return alignment_; }
    void SetAlignment(TLegendAlignment value);
    TChartFont& Font() { return font_; }
    const TChartFont& Font() const { return font_; }

private:
    TCustomChart* chart_;
    bool visible_ = false;
    TLegendAlignment alignment_ = laRight;
    TChartFont font_;
};

}  // namespace kavum::chart
