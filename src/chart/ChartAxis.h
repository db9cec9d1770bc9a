#pragma once
// A chart axis: the value range, its mapping to pixels along one edge of the
// plot rectangle, and the labels and grid lines drawn along it.
#include "chart/ChartTools.h"

#include <QString>

#include <cmath>
#include <vector>

namespace kavum::chart {

class TCustomChart;
class TChartSeries;

enum TAxisKind { akLeft, akTop, akRight, akBottom, akDepth };

// The message of a negative increment.
inline constexpr const char* NegativeIncrementMessage = "軸の増加単位は 0 以上でなければなりません";

// A caption beside the axis, outside its labels.
class TChartAxisTitle {
public:
    explicit TChartAxisTitle(TCustomChart* chart);

    QString Caption() const { return caption_; }
    void SetCaption(const QString& value);
    bool Visible() const { return visible_; }
    void SetVisible(bool value);
    TChartFont& Font() { return font_; }
    const TChartFont& Font() const { return font_; }

private:
    TCustomChart* chart_;
    QString caption_;
    bool visible_ = true;
    TChartFont font_;
};

// One grid position of an axis, with its label text (empty while the axis
// shows no labels).
struct TAxisTick {
    double value = 0;
    int pos = 0;
    QString text;
};

class TCustomChartAxis {
public:
    TCustomChartAxis(TCustomChart& chart, TAxisKind kind);
    TCustomChartAxis(const TCustomChartAxis&) = delete;
    TCustomChartAxis& operator=(const TCustomChartAxis&) = delete;

    TCustomChart& ParentChart() const { return *chart_; }
    TAxisKind Kind() const { return kind_; }
    bool Horizontal() const { return kind_ == akTop || kind_ == akBottom; }

    // Range.
    double Minimum() const { return minimum_; }
    void SetMinimum(double value);
    double Maximum() const { return maximum_; }
    void SetMaximum(double value);
    bool Automatic() const { return automatic_; }
    void SetAutomatic(bool value);
    // Turns automatic scaling off; swaps a reversed pair; widens a range
    // narrower than 1e-10 to exactly that.
    void SetAxisRange(double minimum, double maximum);

    bool Inverted() const { return inverted_; }
    void SetInverted(bool value);
    bool Visible() const { return visible_; }
    void SetVisible(bool value);
    bool Labels() const { return labels_; }
    void SetLabels(bool value);
    bool LabelsOnAxis() const { return labelsOnAxis_; }
    void SetLabelsOnAxis(bool value);
    QString AxisValuesFormat() const { return format_; }
    void SetAxisValuesFormat(const QString& value);
    double Increment() const { return increment_; }
    // Throws KavumError NegativeIncrementMessage for a value below 0.
    void SetIncrement(double value);
    int MinorTickCount() const { return minorTickCount_; }
    void SetMinorTickCount(int value);
    int LabelsSeparation() const { return labelsSeparation_; }
    void SetLabelsSeparation(int value);
    bool RoundFirstLabel() const { return roundFirstLabel_; }
    void SetRoundFirstLabel(bool value);

    TChartPen& Axis() { return axis_; }
    TChartPen& Grid() { return grid_; }
    TChartPen& MinorGrid() { return minorGrid_; }
    TChartPen& Ticks() { return ticks_; }
    TChartPen& MinorTicks() { return minorTicks_; }
    TChartPen& TicksInner() { return ticksInner_; }
    TChartFont& LabelsFont() { return labelsFont_; }
    TChartAxisTitle& Title() { return title_; }
    const TChartPen& Axis() const { return axis_; }
    const TChartPen& Grid() const { return grid_; }
    const TChartPen& MinorGrid() const { return minorGrid_; }
    const TChartPen& Ticks() const { return ticks_; }
    const TChartPen& MinorTicks() const { return minorTicks_; }
    const TChartPen& TicksInner() const { return ticksInner_; }
    const TChartFont& LabelsFont() const { return labelsFont_; }
    const TChartAxisTitle& Title() const { return title_; }

    // Pixel extent, fixed by each drawing: left and right edge of the plot
    // rectangle for a horizontal axis, top and bottom edge for a vertical one.
    int StartPos() const { return startPos_; }
    int EndPos() const { return endPos_; }
    int AxisSize() const { return endPos_ - startPos_; }
    void SetExtent(int startPos, int endPos);

    // Value to pixel column (horizontal axes) or row (vertical axes). A zero
    // range, and values too far out to count, give the middle of the extent.
    int XValueToPixel(double value) const;
    int YValueToPixel(double value) const;
    int ValueToPixel(double value) const { return Horizontal() ? XValueToPixel(value) : YValueToPixel(value); }
    // Pixel to value; not rounded, may lie outside the range; 0 while the
    // extent is shorter than one pixel.
    double PixelToValue(int pixel) const;

    // For drawing: the pixel of a value, rounded as above and unrounded.
    // False when the value cannot be placed (not finite, or too far out to
    // count), where the mapping above would give the middle.
    // Inline: it runs for every point of every series drawn.
    bool PixelForDrawing(double value, long long& rounded, double& exact) const {
        const double range = maximum_ - minimum_;
        if (range == 0) {
            rounded = (static_cast<long long>(startPos_) + endPos_) / 2;
            exact = static_cast<double>(rounded);
            return true;
        }
        const double d = (value - minimum_) * AxisSize() / range;
        if (!(std::abs(d) < 2147483647.0)) return false;
        // Rounded half to even, as nearbyint rounds, by the carry of adding
        // 1.5 * 2^52 (exact for every |d| below 2^51).
        constexpr double Round = 6755399441055744.0;
        const long long r = static_cast<long long>((d + Round) - Round);
        // Horizontal axes run from StartPos, vertical ones from EndPos,
        // unless inverted.
        const bool fromStart = Horizontal() != inverted_;
        if (fromStart) {
            rounded = startPos_ + r;
            exact = startPos_ + d;
        } else {
            rounded = endPos_ - r;
            exact = endPos_ - d;
        }
        return true;
    }

    // A label text: the value in AxisValuesFormat, passed to the chart's
    // label hook.
    QString LabelText(double value);
    // Grid positions and labels for the current extent (the label hook is
    // called for every label, and for the ends of the range).
    std::vector<TAxisTick> CalcTicks();

private:
    void Changed();

    TCustomChart* chart_;
    TAxisKind kind_;
    double minimum_ = 0;
    double maximum_ = 0;
    bool automatic_ = false;
    bool inverted_ = false;
    bool visible_ = true;
    bool labels_ = true;
    bool labelsOnAxis_ = true;
    QString format_ = QStringLiteral("0.###");
    double increment_ = 0;
    int minorTickCount_ = 3;
    int labelsSeparation_ = 10;
    bool roundFirstLabel_ = true;
    TChartPen axis_;
    TChartPen grid_;
    TChartPen minorGrid_;
    TChartPen ticks_;
    TChartPen minorTicks_;
    TChartPen ticksInner_;
    TChartFont labelsFont_;
    TChartAxisTitle title_;
    int startPos_ = 0;
    int endPos_ = 0;
};

// Label arithmetic, kept apart so that it can be checked on its own.

// 1, 2, 5, 10, 20, 50, ...: the next step after step.
double NextLabelStep(double step);
// The label step for a base step: grows while more labels of labelSize
// pixels (plus separationPercent of that) would stand on axisSize pixels
// than fit.
double LabelStep(double baseStep, double range, int axisSize, int labelSize, int separationPercent);
// The label values from the top of the range down.
std::vector<double> LabelValues(double minimum, double maximum, double step, bool roundFirst);
// Minor grid positions between neighbouring grid positions, and beyond the
// first and last as far as the axis reaches.
std::vector<int> MinorGridPositions(const std::vector<int>& grid, int minorCount, int startPos, int endPos);

}  // namespace kavum::chart
