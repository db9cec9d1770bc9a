#include "chart/ChartTools.h"

#include <algorithm>

namespace kavum::chart {

namespace {

template <class T>
bool Change(T& field, const T& value) {
    if (field == value) return false;
    field = value;
    return true;
}

}  // namespace

// ---- TChartPen ----

TChartPen::TChartPen(TCustomChart* chart, TColor color, bool visible) : chart_(chart), visible_(visible), color_(color) {}

void TChartPen::SetVisible(bool value) {
    if (Change(visible_, value)) ChartChanged(chart_);
}
void TChartPen::SetColor(TColor value) {
    if (Change(color_, value)) ChartChanged(chart_);
}
void TChartPen::SetWidth(int value) {
    if (Change(width_, std::max(1, value))) ChartChanged(chart_);
}
void TChartPen::SetStyle(TPenStyle value) {
    if (Change(style_, value)) ChartChanged(chart_);
}
void TChartPen::SetSmallDots(bool value) {
    if (Change(smallDots_, value)) ChartChanged(chart_);
}
void TChartPen::SetMode(TPenMode value) {
    if (Change(mode_, value)) ChartChanged(chart_);
}

void TChartPen::Assign(const TChartPen& other) {
    if (&other == this) return;
    const bool changed = visible_ != other.visible_ || color_ != other.color_ || width_ != other.width_ ||
                         style_ != other.style_ || smallDots_ != other.smallDots_ || mode_ != other.mode_;
    visible_ = other.visible_;
    color_ = other.color_;
    width_ = other.width_;
    style_ = other.style_;
    smallDots_ = other.smallDots_;
    mode_ = other.mode_;
    if (changed) ChartChanged(chart_);
}

platform::TCanvasPen TChartPen::CanvasPen(TColor color) const {
    platform::TCanvasPen p;
    p.color = color;
    p.width = width_;
    p.mode = mode_;
    if (!visible_) {
        p.style = TPenStyle::Clear;
    } else if (smallDots_ && width_ <= 1) {
        p.style = TPenStyle::Alternate;
    } else {
        p.style = style_;
    }
    return p;
}

// ---- TChartBrush ----

TChartBrush::TChartBrush(TCustomChart* chart, TColor color) : chart_(chart), color_(color) {}

void TChartBrush::SetColor(TColor value) {
    if (Change(color_, value)) ChartChanged(chart_);
}
void TChartBrush::SetStyle(TBrushStyle value) {
    if (Change(style_, value)) ChartChanged(chart_);
}

void TChartBrush::Assign(const TChartBrush& other) {
    if (&other == this) return;
    const bool changed = color_ != other.color_ || style_ != other.style_;
    color_ = other.color_;
    style_ = other.style_;
    if (changed) ChartChanged(chart_);
}

platform::TCanvasBrush TChartBrush::CanvasBrush(TColor color) const { return platform::TCanvasBrush{color, style_}; }

// ---- TChartFont ----

TChartFont::TChartFont(TCustomChart* chart, const QString& name, int height, TColor color) : chart_(chart) {
    font_.name = name;
    font_.height = std::max(1, height);
    font_.color = color;
}

void TChartFont::Set(const platform::TCanvasFont& f) {
    if (Change(font_, f)) ChartChanged(chart_);
}
void TChartFont::SetName(const QString& value) {
    platform::TCanvasFont f = font_;
    f.name = value;
    Set(f);
}
void TChartFont::SetHeight(int value) {
    platform::TCanvasFont f = font_;
    f.height = std::max(1, value);
    Set(f);
}
void TChartFont::SetSize(int points) { SetHeight(platform::PointsToPixels(points)); }
void TChartFont::SetColor(TColor value) {
    platform::TCanvasFont f = font_;
    f.color = value;
    Set(f);
}
void TChartFont::SetCharset(int value) {
    platform::TCanvasFont f = font_;
    f.charset = value;
    Set(f);
}
void TChartFont::SetBold(bool value) {
    platform::TCanvasFont f = font_;
    f.bold = value;
    Set(f);
}
void TChartFont::Assign(const TChartFont& other) {
    if (&other != this) Set(other.font_);
}

// ---- TChartTitle ----

TChartTitle::TChartTitle(TCustomChart* chart)
    : chart_(chart), font_(chart, QStringLiteral("ＭＳ Ｐ明朝"), 15, platform::clBlack) {}

void TChartTitle::SetVisible(bool value) {
    if (Change(visible_, value)) ChartChanged(chart_);
}
void TChartTitle::SetText(const QStringList& lines) {
    if (Change(text_, lines)) ChartChanged(chart_);
}
void TChartTitle::SetLine(int index, const QString& line) {
    if (index < 0) return;
    QStringList lines = text_;
    while (lines.size() <= index) lines.append(QString());
    lines[index] = line;
    SetText(lines);
}

// ---- TCustomChartLegend ----

TCustomChartLegend::TCustomChartLegend(TCustomChart* chart)
    : chart_(chart), font_(chart, QStringLiteral("ＭＳ ゴシック"), 13, platform::clBlack) {}

void TCustomChartLegend::SetVisible(bool value) {
    if (Change(visible_, value)) ChartChanged(chart_);
}
void TCustomChartLegend::SetAlignment(TLegendAlignment value) {
    if (Change(alignment_, value)) ChartChanged(chart_);
}

}  // namespace kavum::chart
