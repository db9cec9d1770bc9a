// The drawing sequence on the bundled maps: reading the map lines, and the
// plotting pass over a million mesh-code records in nine categories.
#include "app/FormMain.h"
#include "chart/Chart.h"
#include "data/DataText.h"
#include "platform/Dialogs.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>

#include <cstdio>
#include <fstream>
#include <memory>
#include <random>
#include <string>

namespace {

kavum::platform::ScriptedDialogs dialogs;
std::unique_ptr<kavum::app::TFormMain> form;

kavum::app::TFormMain& Form() {
    if (!form) {
        form = std::make_unique<kavum::app::TFormMain>(QStringLiteral("/nonexistent/kavum"), QStringList{}, dialogs);
        form->EditMapFile->setText(QStringLiteral(KAVUM_SOURCE_DIR "/assets/Kavum_Nippon.mdt"));
        form->EditGrdFile->setText(QStringLiteral(KAVUM_SOURCE_DIR "/assets/samples/mountains.grd"));
        form->NewMapBtnClick();
    }
    return *form;
}

std::vector<std::string> MillionRecords() {
    std::mt19937 rng(3);
    std::vector<std::string> lines;
    lines.reserve(1000009);
    for (int k = 1; k <= 9; ++k) {
        lines.push_back("Species " + std::to_string(k));
        for (int i = 0; i < 111111; ++i) {
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

void BM_DrawMapLines(benchmark::State& state) {
    auto& w = Form();
    w.Prefecture->setChecked(true);
    for (auto _ : state) w.DrawMapLines();
    state.counters["points"] = w.SeriesH0->Count();
}
BENCHMARK(BM_DrawMapLines)->Unit(benchmark::kMillisecond);

// The detailed map (GSHHG full resolution), with the boundaries drawn.
void BM_DrawMapLinesDetail(benchmark::State& state) {
    auto& w = Form();
    w.Prefecture->setChecked(true);
    w.EditMapFile->setText(QStringLiteral(KAVUM_SOURCE_DIR "/assets/Kavum_Nippon_detail.mdt"));
    for (auto _ : state) w.DrawMapLines();
    state.counters["points"] = w.SeriesH0->Count();
    w.EditMapFile->setText(QStringLiteral(KAVUM_SOURCE_DIR "/assets/Kavum_Nippon.mdt"));
}
BENCHMARK(BM_DrawMapLinesDetail)->Unit(benchmark::kMillisecond);

void BM_PlotOnMapMillion(benchmark::State& state) {
    auto& w = Form();
    const std::vector<std::string> lines = MillionRecords();
    for (auto _ : state) {
        state.PauseTiming();
        w.ClearDotMaps();
        w.Memo1Text().SetLines(lines);
        state.ResumeTiming();
        w.PlotOnMap(true);
        // Reading the series (as a drawing does) includes any pending sort.
        benchmark::DoNotOptimize(w.SeriesH[9]->XValue(0));
        benchmark::DoNotOptimize(w.SeriesW[9]->XValue(0));
        benchmark::DoNotOptimize(w.SeriesS[9]->XValue(0));
    }
    state.counters["points"] = w.SeriesH[1]->Count();
}
BENCHMARK(BM_PlotOnMapMillion)->Unit(benchmark::kMillisecond)->Iterations(3);

// The window shown at 1024×768 on the bundled map.
void ShowOnBundledMap(kavum::app::TFormMain& w) {
    w.show();
    w.SetClientSize(QSize(1024, 768));
    QApplication::processEvents();
    w.EditMapFile->setText(QStringLiteral(KAVUM_SOURCE_DIR "/assets/Kavum_Nippon.mdt"));
}

// "分布図を作成する" and the paint of the sheet, timed.
void TimeNewMap(benchmark::State& state, kavum::app::TFormMain& w) {
    for (auto _ : state) {
        w.NewMapBtnClick();
        w.repaint();
        QApplication::processEvents();
    }
    state.counters["points"] = w.SeriesH[1]->Count();
}

// "分布図を作成する" in the shown window with a data file of a million
// records: reading the map and the file, the plotting pass and the paint
// of the sheet as the window shows it.
void BM_NewMapMillion(benchmark::State& state) {
    const std::string path = "/tmp/kavum-bench-million-" + std::to_string(QCoreApplication::applicationPid()) + ".grd";
    {
        std::ofstream out(path, std::ios::binary);
        for (const std::string& line : MillionRecords()) out << line << "\r\n";
    }
    kavum::platform::ScriptedDialogs windowDialogs;
    kavum::app::TFormMain w(QStringLiteral("/nonexistent/kavum"), QStringList{}, windowDialogs);
    ShowOnBundledMap(w);
    w.EditGrdFile->setText(QString::fromStdString(path));
    TimeNewMap(state, w);
    std::remove(path.c_str());
}
BENCHMARK(BM_NewMapMillion)->Unit(benchmark::kMillisecond)->Iterations(3);

// A table of a million rows in decimal degrees (species, latitude,
// longitude, elevation), imported through the preview and then made into
// the map again as the window does while the board names it; against the
// same records as the data file the import gives.
std::string MillionRowTable() {
    std::mt19937 rng(5);
    std::string table = "species,decimalLatitude,decimalLongitude,elevation\n";
    table.reserve(48u << 20);
    char row[96];
    for (int i = 0; i < 1000000; ++i) {
        const double lat = 31.0 + static_cast<double>(rng() % 1400000) / 100000.0;
        const double lon = 130.0 + static_cast<double>(rng() % 1500000) / 100000.0;
        std::snprintf(row, sizeof row, "Species %u,%.5f,%.5f,%u\n", 1 + static_cast<unsigned>(i % 9), lat, lon,
                      static_cast<unsigned>(rng() % 3000));
        table += row;
    }
    return table;
}

void NewMapFrom(benchmark::State& state, bool table) {
    const std::string stem = "/tmp/kavum-bench-table-" + std::to_string(QCoreApplication::applicationPid());
    const std::string csv = stem + ".csv", grd = stem + ".grd";
    std::ofstream(csv, std::ios::binary) << MillionRowTable();
    kavum::platform::ScriptedDialogs windowDialogs;
    kavum::app::TFormMain w(QStringLiteral("/nonexistent/kavum"), QStringList{}, windowDialogs);
    ShowOnBundledMap(w);
    w.ImportTable(QString::fromStdString(csv));
    if (!table) {
        w.Memo1Text().SaveToFile(grd);
        w.EditGrdFile->setText(QString::fromStdString(grd));
    }
    TimeNewMap(state, w);
    std::remove(csv.c_str());
    std::remove(grd.c_str());
}
void BM_NewMapMillionRowTable(benchmark::State& state) { NewMapFrom(state, true); }
void BM_NewMapMillionRowTableAsDataFile(benchmark::State& state) { NewMapFrom(state, false); }
BENCHMARK(BM_NewMapMillionRowTable)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_NewMapMillionRowTableAsDataFile)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    form.reset();
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM", 0) == 0) std::printf("peak memory %s\n", line.c_str());
    return 0;
}
