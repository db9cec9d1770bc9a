// Figures of the chart component: storing a million points out of order and
// drawing them; drawing a full map (a line of 60,000 points with breaks and
// nine point series of 100,000 points) into a bitmap and into a metafile.
#include "chart/Chart.h"
#include "platform/canvas/MetafileCanvas.h"
#include "platform/canvas/PainterCanvas.h"

#include <QApplication>

#include <benchmark/benchmark.h>

#include <random>

namespace {

using namespace kavum::chart;
using namespace kavum::platform;

void SetUpAxes(TChart& chart) {
    chart.resize(1000, 1000);
    chart.BottomAxis().SetAxisRange(128, 146);
    chart.BottomAxis().SetIncrement(1);
    chart.BottomAxis().SetMinorTickCount(3);
    chart.LeftAxis().SetAxisRange(30, 46);
    chart.LeftAxis().SetIncrement(1);
    chart.LeftAxis().SetMinorTickCount(3);
    for (TCustomChartAxis* a : {&chart.BottomAxis(), &chart.LeftAxis()}) {
        a->Grid().SetColor(clAqua);
        a->MinorGrid().SetColor(clAqua);
        a->MinorGrid().SetSmallDots(true);
        a->MinorGrid().SetVisible(true);
    }
}

// The marks of the nine categories as the program sets them.
void StyleCategory(TPointSeries& s, int k) {
    static const TColor brushes[9] = {0xFF0000, 0xFFFF00, 0x008000, 0x00FF00, 0x00FFFF,
                                      0xFF00FF, 0x0000FF, 0xF0CAA6, 0x808080};
    static const TColor seriesColors[9] = {clBlack, clPurple, clLime, clAqua, clYellow,
                                           clRed,   clGreen,  clBlue, clBlack};
    s.SetSeriesColor(seriesColors[k]);
    s.Pointer().SetStyle(static_cast<TSeriesPointerStyle>(k));
    s.Pointer().SetHorizSize(3);
    s.Pointer().SetVertSize(3);
    s.Pointer().Brush().SetColor(brushes[k]);
    s.Pointer().Pen().SetColor(clBlack);
    s.Pointer().Pen().SetWidth(k == 6 || k == 7 ? 2 : 1);
}

void FillMap(TChart& chart) {
    std::mt19937 rng(42);
    std::uniform_real_distribution<double> lon(128, 146), lat(30, 46), step(-0.02, 0.02);
    TLineSeries& line = chart.AddLineSeries();
    line.LinePen().SetMode(TPenMode::Mask);
    line.Pointer().SetStyle(psSmallDot);
    line.Pointer().Pen().SetVisible(false);
    line.Pointer().SetVisible(true);
    line.ClearPoints();
    double x = lon(rng), y = lat(rng);
    for (int i = 0; i < 60000; ++i) {
        if (i % 500 == 499) {
            line.AddNullPoint(QString());
            x = lon(rng);
            y = lat(rng);
            continue;
        }
        x += step(rng);
        y += step(rng);
        line.StorePoint(x, y, QString(), i < 40000 ? clBlack : 0xA4A0A0);
    }
    for (int k = 0; k < 9; ++k) {
        TPointSeries& s = chart.AddPointSeries();
        StyleCategory(s, k);
        s.ClearPoints();
        for (int i = 0; i < 100000 / 9; ++i) s.StorePoint(lon(rng), lat(rng), QString(), UseSeriesColor);
    }
}

void BM_StoreMillionThenDraw(benchmark::State& state) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> lon(128, 146), lat(30, 46);
    std::vector<std::pair<double, double>> pts(1000000);
    for (auto& p : pts) p = {lon(rng), lat(rng)};
    for (auto _ : state) {
        TChart chart;
        SetUpAxes(chart);
        TPointSeries& s = chart.AddPointSeries();
        StyleCategory(s, 0);
        s.ClearPoints();
        for (const auto& p : pts) benchmark::DoNotOptimize(s.StorePoint(p.first, p.second, QString(), UseSeriesColor));
        QImage image(1000, 1000, QImage::Format_RGB32);
        TPainterCanvas canvas(image);
        chart.DrawInto(canvas, TRect{0, 0, 1000, 1000});
    }
}
BENCHMARK(BM_StoreMillionThenDraw)->Unit(benchmark::kMillisecond)->Iterations(3);

// The storing alone, out of order and in order.
void BM_StoreMillion(benchmark::State& state) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> lon(128, 146), lat(30, 46);
    std::vector<std::pair<double, double>> pts(1000000);
    for (auto& p : pts) p = {lon(rng), lat(rng)};
    if (state.range(0) == 1) std::sort(pts.begin(), pts.end());
    for (auto _ : state) {
        TChart chart;
        TPointSeries& s = chart.AddPointSeries();
        s.ClearPoints();
        for (const auto& p : pts) benchmark::DoNotOptimize(s.StorePoint(p.first, p.second, QString(), UseSeriesColor));
        benchmark::DoNotOptimize(s.XValue(0));
    }
}
BENCHMARK(BM_StoreMillion)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_DrawMapBitmap(benchmark::State& state) {
    TChart chart;
    SetUpAxes(chart);
    FillMap(chart);
    QImage image(1000, 1000, QImage::Format_RGB32);
    for (auto _ : state) {
        TPainterCanvas canvas(image);
        chart.DrawInto(canvas, TRect{0, 0, 1000, 1000});
    }
}
BENCHMARK(BM_DrawMapBitmap)->Unit(benchmark::kMillisecond);

void BM_DrawMapMetafile(benchmark::State& state) {
    TChart chart;
    SetUpAxes(chart);
    FillMap(chart);
    std::size_t bytes = 0;
    for (auto _ : state) {
        TMetafileCanvas canvas(1000, 1000);
        chart.DrawInto(canvas, TRect{0, 0, 1000, 1000});
        bytes = static_cast<std::size_t>(canvas.Finish().size());
    }
    state.counters["bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_DrawMapMetafile)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
