#include "chart/ChartAxis.h"

#include "chart/CustomChart.h"
#include "platform/Errors.h"
#include "platform/Numbers.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace kavum::chart {

namespace {

template <class T>
bool Change(T& field, const T& value) {
    if (field == value) return false;
    field = value;
    return true;
}

// Doubles compare as values; two NaNs count as equal, so that setting NaN
// twice is no change.
bool ChangeDouble(double& field, double value) {
    if (field == value || (std::isnan(field) && std::isnan(value))) return false;
    field = value;
    return true;
}

int ClampToInt(long long v) {
    return static_cast<int>(std::clamp<long long>(v, INT_MIN, INT_MAX));
}

constexpr double TooFar = 2147483647.0;

}  // namespace

// ---- TChartAxisTitle ----

TChartAxisTitle::TChartAxisTitle(TCustomChart* chart)
    : chart_(chart), font_(chart, QStringLiteral("ＭＳ ゴシック"), 13, platform::clBlack) {}

void TChartAxisTitle::SetCaption(const QString& value) {
    if (Change(caption_, value)) ChartChanged(chart_);
}
void TChartAxisTitle::SetVisible(bool value) {
    if (Change(visible_, value)) ChartChanged(chart_);
}

// ---- TCustomChartAxis ----

TCustomChartAxis::TCustomChartAxis(TCustomChart& chart, TAxisKind kind)
    : chart_(&chart),
      kind_(kind),
      visible_(kind == akLeft || kind == akBottom),
      axis_(&chart, platform::clBlack, true),
      grid_(&chart, platform::clGray, true),
      minorGrid_(&chart, platform::clGray, false),
      ticks_(&chart, platform::clBlack, false),
      minorTicks_(&chart, platform::clBlack, false),
      ticksInner_(&chart, platform::clBlack, false),
      labelsFont_(&chart, QStringLiteral("ＭＳ ゴシック"), 12, platform::clBlack),
      title_(&chart) {}

void TCustomChartAxis::Changed() { ChartChanged(chart_); }

void TCustomChartAxis::SetMinimum(double value) {
    if (ChangeDouble(minimum_, value)) Changed();
}
void TCustomChartAxis::SetMaximum(double value) {
    if (ChangeDouble(maximum_, value)) Changed();
}
void TCustomChartAxis::SetAutomatic(bool value) {
    if (Change(automatic_, value)) Changed();
}

void TCustomChartAxis::SetAxisRange(double minimum, double maximum) {
    if (minimum > maximum) std::swap(minimum, maximum);
    if (maximum - minimum < 1e-10) maximum = minimum + 1e-10;
    bool changed = Change(automatic_, false);
    changed = ChangeDouble(minimum_, minimum) || changed;
    changed = ChangeDouble(maximum_, maximum) || changed;
    if (changed) Changed();
}

void TCustomChartAxis::SetInverted(bool value) {
    if (Change(inverted_, value)) Changed();
}
void TCustomChartAxis::SetVisible(bool value) {
    if (Change(visible_, value)) Changed();
}
void TCustomChartAxis::SetLabels(bool value) {
    if (Change(labels_, value)) Changed();
}
void TCustomChartAxis::SetLabelsOnAxis(bool value) {
    if (Change(labelsOnAxis_, value)) Changed();
}
void TCustomChartAxis::SetAxisValuesFormat(const QString& value) {
    if (Change(format_, value)) Changed();
}
void TCustomChartAxis::SetIncrement(double value) {
    if (!(value >= 0)) throw platform::KavumError(NegativeIncrementMessage);
    if (ChangeDouble(increment_, value)) Changed();
}
void TCustomChartAxis::SetMinorTickCount(int value) {
    if (Change(minorTickCount_, value)) Changed();
}
void TCustomChartAxis::SetLabelsSeparation(int value) {
    if (Change(labelsSeparation_, value)) Changed();
}
void TCustomChartAxis::SetRoundFirstLabel(bool value) {
    if (Change(roundFirstLabel_, value)) Changed();
}

void TCustomChartAxis::SetExtent(int startPos, int endPos) {
    startPos_ = startPos;
    endPos_ = endPos;
}

int TCustomChartAxis::XValueToPixel(double value) const {
    const double range = maximum_ - minimum_;
    const long long middle = (static_cast<long long>(startPos_) + endPos_) / 2;
    if (range == 0) return ClampToInt(middle);
    const double d = (value - minimum_) * AxisSize() / range;
    if (!(std::abs(d) < TooFar)) return ClampToInt(middle);
    const long long r = static_cast<long long>(std::nearbyint(d));
    return ClampToInt(inverted_ ? endPos_ - r : startPos_ + r);
}

int TCustomChartAxis::YValueToPixel(double value) const {
    const double range = maximum_ - minimum_;
    const long long middle = (static_cast<long long>(startPos_) + endPos_) / 2;
    if (range == 0) return ClampToInt(middle);
    const double d = (value - minimum_) * AxisSize() / range;
    if (!(std::abs(d) < TooFar)) return ClampToInt(middle);
    const long long r = static_cast<long long>(std::nearbyint(d));
    return ClampToInt(inverted_ ? startPos_ + r : endPos_ - r);
}

double TCustomChartAxis::PixelToValue(int pixel) const {
    const int size = AxisSize();
    if (size < 1) return 0;
    const double range = maximum_ - minimum_;
    const double t = inverted_ ? static_cast<double>(endPos_) - pixel : static_cast<double>(pixel) - startPos_;
    if (Horizontal()) return minimum_ + t * range / size;
    return maximum_ - t * range / size;
}

QString TCustomChartAxis::LabelText(double value) {
    const QByteArray picture = format_.toUtf8();
    QString text = QString::fromStdString(
        platform::FormatFloat(std::string_view(picture.constData(), static_cast<std::size_t>(picture.size())), value));
    chart_->GetAxisLabel(*this, text);
    return text;
}

std::vector<TAxisTick> TCustomChartAxis::CalcTicks() {
    std::vector<TAxisTick> ticks;
    const double range = maximum_ - minimum_;
    if (!std::isfinite(minimum_) || !std::isfinite(maximum_) || !std::isfinite(range)) return ticks;
    double step = increment_ > 0 ? increment_ : (std::abs(range) >= 1 ? 1.0 : 1e-12);
    if (labelsSeparation_ > 0) {
        const QString low = LabelText(minimum_);
        const QString high = LabelText(maximum_);
        const platform::TCanvasFont& font = labelsFont_.CanvasFont();
        const int size = Horizontal() ? std::max(platform::TextWidthOf(font, low), platform::TextWidthOf(font, high))
                                      : platform::TextHeightOf(font);
        // The labels of a drawing at a scale are those of the design: the
        // step is found for the axis at scale 1.
        const double scale = chart_->DrawScale();
        const int axisSize = scale == 1.0 ? AxisSize() : platform::RoundHalfEven(AxisSize() / scale);
        step = LabelStep(step, range, axisSize, size, labelsSeparation_);
    }
    for (double v : LabelValues(minimum_, maximum_, step, roundFirstLabel_)) {
        const int p = ValueToPixel(v);
        if (labelsOnAxis_ || (p > startPos_ && p < endPos_)) {
            ticks.push_back(TAxisTick{v, p, labels_ ? LabelText(v) : QString()});
        }
    }
    return ticks;
}

// ---- label arithmetic ----

double NextLabelStep(double step) {
    if (!(step > 0) || !std::isfinite(step)) return step;
    double power = std::pow(10.0, std::floor(std::log10(step)));
    double lead = step / power;
    if (lead < 1) {
        power /= 10;
        lead = step / power;
    } else if (lead >= 10) {
        power *= 10;
        lead = step / power;
    }
    // A hair of tolerance, so that 2 x 10^k computed a little low still
    // counts as 2.
    constexpr double eps = 1e-9;
    double next = lead < 2 - eps ? 2 * power : lead < 5 - eps ? 5 * power : 10 * power;
    if (!(next > step)) next = step * 2;
    return next;
}

double LabelStep(double baseStep, double range, int axisSize, int labelSize, int separationPercent) {
    long long fit = 1;
    if (labelSize > 0) {
        const int extra = platform::RoundHalfEven(labelSize * separationPercent / 100.0);
        const int room = labelSize + extra;
        fit = room > 0 ? platform::RoundHalfEven(static_cast<double>(axisSize) / room) : 1;
    }
    double step = baseStep;
    for (int guard = 0; guard < 4000; ++guard) {
        const double count = std::abs(range) / step;
        if (std::isfinite(count) && count < 9e18 && platform::RoundHalfEven64(count) <= fit) break;
        const double next = NextLabelStep(step);
        if (!(next > step) || !std::isfinite(next)) break;
        step = next;
    }
    return step;
}

std::vector<double> LabelValues(double minimum, double maximum, double step, bool roundFirst) {
    std::vector<double> values;
    step = std::max(step, 1e-12);
    if (!(std::abs(maximum - minimum) / step < 10000)) return values;
    double v = roundFirst ? std::trunc(maximum / step) * step : maximum;
    while (v > maximum) {
        const double next = v - step;
        if (!(next < v)) return values;
        v = next;
    }
    // The lowest label may fall a hair below the minimum through rounding;
    // the tolerance is relative, on either side of zero.
    const double limit = minimum - 1e-12 - std::abs(minimum) * 1e-12;
    while (v >= limit && values.size() < 10002) {
        values.push_back(v);
        const double next = v - step;
        if (!(next < v)) break;
        v = next;
    }
    return values;
}

std::vector<int> MinorGridPositions(const std::vector<int>& grid, int minorCount, int startPos, int endPos) {
    std::vector<int> out;
    if (minorCount <= 0 || grid.empty()) return out;
    const double parts = static_cast<double>(minorCount) + 1;
    for (std::size_t i = 0; i + 1 < grid.size(); ++i) {
        const double a = grid[i];
        const double b = grid[i + 1];
        for (int k = 1; k <= minorCount; ++k) out.push_back(platform::RoundHalfEven(a + (b - a) * k / parts));
    }
    if (grid.size() < 2) return out;
    const double delta = (static_cast<double>(grid[1]) - grid[0]) / parts;
    if (!(std::abs(delta) >= 0.5)) return out;
    const int lo = std::min(startPos, endPos);
    const int hi = std::max(startPos, endPos);
    const double first = grid.front();
    const double last = grid.back();
    for (int j = 1;; ++j) {
        const int p = platform::RoundHalfEven(first - j * delta);
        if (p <= lo || p >= hi) break;
        out.push_back(p);
    }
    for (int j = 1;; ++j) {
        const int p = platform::RoundHalfEven(last + j * delta);
        if (p <= lo || p >= hi) break;
        out.push_back(p);
    }
    return out;
}

}  // namespace kavum::chart
