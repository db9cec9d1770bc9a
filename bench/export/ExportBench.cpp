// The figures of the three-view layout on the bundled map with 100,000
// records in nine categories: the enhanced metafile, SVG, PDF and PNG, with
// the size of each; the PDF also at scales 2.5 and 4; the figures for print
// at 85 and 175 mm.
#include "app/FormMain.h"
#include "data/DataText.h"
#include "export/Figure.h"
#include "export/PrintSize.h"
#include "platform/Dialogs.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>

#include <cstdlib>
#include <memory>
#include <random>
#include <string>

namespace {

kavum::platform::ScriptedDialogs dialogs;
std::unique_ptr<kavum::app::TFormMain> form;

// Mesh-code records with elevations spread over the map's range.
std::vector<std::string> Records(int count) {
    std::mt19937 rng(5);
    std::vector<std::string> lines;
    const int perCategory = count / 9;
    for (int k = 1; k <= 9; ++k) {
        lines.push_back("Species " + std::to_string(k));
        for (int i = 0; i < perCategory; ++i) {
            char code[32];
            std::snprintf(code, sizeof code, "%02u%02u%u%u%u%u.%02u", 45 + static_cast<unsigned>(rng() % 22),
                          30 + static_cast<unsigned>(rng() % 12), static_cast<unsigned>(rng() % 8),
                          static_cast<unsigned>(rng() % 8), static_cast<unsigned>(rng() % 10),
                          static_cast<unsigned>(rng() % 10), static_cast<unsigned>(rng() % 30));
            lines.emplace_back(code);
        }
    }
    return lines;
}

kavum::app::TFormMain& Form() {
    if (!form) {
        form = std::make_unique<kavum::app::TFormMain>(QStringLiteral("/nonexistent/kavum"), QStringList{}, dialogs);
        form->EditMapFile->setText(QStringLiteral(KAVUM_SOURCE_DIR "/assets/Kavum_Nippon.mdt"));
        form->EditGrdFile->setText(QStringLiteral(KAVUM_SOURCE_DIR "/assets/samples/mountains.grd"));
        form->HorizonMap->setChecked(true);
        form->ProfileMap->setChecked(true);
        form->show();
        form->NewMapBtnClick();
        form->ClearDotMaps();
        form->Memo1Text().SetLines(Records(100000));
        form->PlotOnMap(true);
    }
    return *form;
}

kavum::exporting::Figure ThreeViews() {
    auto& w = Form();
    return kavum::exporting::ThreeViewFigure(*w.Chart1, *w.Chart2, *w.Chart3, w.State.MapAspect, w.State.LegendLeft,
                                             w.State.LegendTop);
}

kavum::exporting::LegendPosition Legend() {
    auto& w = Form();
    return kavum::exporting::LegendPosition{&w.State.LegendLeft, &w.State.LegendTop};
}

// Makes the figure's file for as long as the benchmark runs; its size in
// bytes, counted in MB.
qsizetype TimeFigure(benchmark::State& state, kavum::exporting::FigureFormat format,
                     const kavum::exporting::Figure& figure) {
    qsizetype bytes = 0;
    for (auto _ : state) {
        const QByteArray out = kavum::exporting::FigureBytes(format, figure, Legend());
        bytes = out.size();
        benchmark::DoNotOptimize(out.constData());
    }
    state.counters["MB"] = static_cast<double>(bytes) / 1e6;
    return bytes;
}

void Run(benchmark::State& state, kavum::exporting::FigureFormat format, double scale = 1.0) {
    kavum::exporting::Figure figure = ThreeViews();
    figure.scale = scale;
    TimeFigure(state, format, figure);
    int points = 0;
    for (int k = 1; k <= 9; ++k) points += Form().SeriesH[k]->Count();
    state.counters["records"] = points;
}

void BM_ThreeViewEmf(benchmark::State& state) {
    Run(state, kavum::exporting::FigureFormat::Emf);
    if (const char* dump = std::getenv("KAVUM_BENCH_DUMP")) {
        for (auto f : {kavum::exporting::FigureFormat::Emf, kavum::exporting::FigureFormat::Png})
            kavum::exporting::SaveFigure(f, ThreeViews(), QString::fromLocal8Bit(dump) + "." + kavum::exporting::FigureExtension(f), Legend());
    }
}
void BM_ThreeViewSvg(benchmark::State& state) { Run(state, kavum::exporting::FigureFormat::Svg); }
void BM_ThreeViewPdf(benchmark::State& state) { Run(state, kavum::exporting::FigureFormat::Pdf); }
void BM_ThreeViewPng(benchmark::State& state) { Run(state, kavum::exporting::FigureFormat::Png); }
// At a scale: the PNG at 600 dpi (scale 6.25), the SVG and PDF at 300 dpi
// (scale 3.125, where coordinates fall between the picture's pixels).
void BM_ThreeViewPng600Dpi(benchmark::State& state) { Run(state, kavum::exporting::FigureFormat::Png, 6.25); }
void BM_ThreeViewSvg300Dpi(benchmark::State& state) { Run(state, kavum::exporting::FigureFormat::Svg, 3.125); }
void BM_ThreeViewPdf300Dpi(benchmark::State& state) { Run(state, kavum::exporting::FigureFormat::Pdf, 3.125); }
// The PDF at scale K (the argument, in quarters): its time, its size and
// that size as a share of the 4,497,610 bytes the same figure had at scale
// 1 while the page's content gave every point in full (measured on the
// program as it was before the figures at a scale came).
void BM_ThreeViewPdfAtScale(benchmark::State& state) {
    kavum::exporting::Figure figure = ThreeViews();
    figure.scale = static_cast<double>(state.range(0)) / 4.0;
    const qsizetype bytes = TimeFigure(state, kavum::exporting::FigureFormat::Pdf, figure);
    state.counters["of_full_points"] = static_cast<double>(bytes) / 4497610.0;
    state.counters["bytes_per_record"] = static_cast<double>(bytes) / 99999.0;
}
// For print: the figure at a width in millimetres (the argument), the PNG
// at 1200 dpi (4,016 pixels wide at 85 mm).
void RunAtWidth(benchmark::State& state, kavum::exporting::FigureFormat format) {
    kavum::exporting::Figure figure = ThreeViews();
    kavum::exporting::PrintOptions print;
    print.widthMm = static_cast<double>(state.range(0));
    if (format == kavum::exporting::FigureFormat::Png) print.dpi = 1200;
    kavum::exporting::ApplyPrintOptions(figure, format, print);
    TimeFigure(state, format, figure);
}
void BM_PrintPng1200Dpi(benchmark::State& state) { RunAtWidth(state, kavum::exporting::FigureFormat::Png); }
void BM_PrintSvg(benchmark::State& state) { RunAtWidth(state, kavum::exporting::FigureFormat::Svg); }
void BM_PrintPdf(benchmark::State& state) { RunAtWidth(state, kavum::exporting::FigureFormat::Pdf); }

BENCHMARK(BM_ThreeViewEmf)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ThreeViewSvg)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ThreeViewPdf)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ThreeViewPng)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ThreeViewPng600Dpi)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ThreeViewSvg300Dpi)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ThreeViewPdf300Dpi)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ThreeViewPdfAtScale)->Arg(4)->Arg(10)->Arg(16)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PrintPng1200Dpi)->Arg(85)->Arg(175)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PrintSvg)->Arg(85)->Arg(175)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PrintPdf)->Arg(85)->Arg(175)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    form.reset();
    return 0;
}
