// The data side of a large run: a table of a million rows read into data
// text, the plotting pass over that text, and the plotted cells written for
// GIS programs. Run by hand: ./build/bench/io/bench_io
#include "data/DataText.h"
#include "io/CellExport.h"
#include "io/Table.h"
#include "plot/PlotPass.h"
#include "plot/PlotReport.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <random>
#include <string>

using namespace kavum;

namespace {

constexpr int Rows = 1000000;

// A spreadsheet's table of Rows occurrences in decimal degrees (nine
// species, five or six decimals, most with an elevation), always the same.
const std::string& CsvTable() {
    static const std::string table = [] {
        std::mt19937 rng(5);
        std::uniform_real_distribution<double> lat(31, 45), lon(130, 145), elev(0, 3000);
        std::string t = "種名,緯度,経度,標高\n";
        char line[96];
        for (int i = 0; i < Rows; ++i) {
            const int digits = 5 + static_cast<int>(rng() % 2);
            std::snprintf(line, sizeof line, "Species %u,%.*f,%.*f,%d\n", static_cast<unsigned>(rng() % 9 + 1), digits,
                          lat(rng), digits, lon(rng), static_cast<int>(elev(rng)));
            t += line;
        }
        return t;
    }();
    return table;
}

// The same rows as a GBIF download: tab-separated, fifty columns.
const std::string& GbifTable() {
    static const std::string table = [] {
        std::string t;
        for (int c = 0; c < 50; ++c) t += c == 9 ? "species\t" : c == 21 ? "decimalLatitude\t" : c == 22 ? "decimalLongitude\t" : c == 25 ? "elevation\t" : "column" + std::to_string(c) + '\t';
        t.back() = '\n';
        io::RowReader rows(CsvTable(), ',');
        rows.Next();
        while (rows.Next()) {
            for (int c = 0; c < 50; ++c) {
                if (c == 0) t += "4000000000";
                else if (c == 1) t += "50c9509d-22c7-4a22-a47d-8c48425ef4a7";
                else if (c == 9) t += rows.Field(0);
                else if (c == 12) t += std::string(rows.Field(0)) + " L.";
                else if (c == 21) t += rows.Field(1);
                else if (c == 22) t += rows.Field(2);
                else if (c == 25) t += rows.Field(3);
                else if (c == 15) t += "JP";
                t += c == 49 ? '\n' : '\t';
            }
        }
        return t;
    }();
    return table;
}

const data::DataText& TableText() {
    static const data::DataText text = [] {
        io::TableConverter converter;
        converter.Add(CsvTable(), {}, "bench.csv");
        data::DataText t;
        t.AppendFileText(converter.DataText());
        return t;
    }();
    return text;
}

void ReadTable(benchmark::State& state, const std::string& table) {
    for (auto _ : state) {
        io::TableConverter converter;
        converter.Add(table, {}, "bench");
        benchmark::DoNotOptimize(converter.DataText());
    }
    state.SetItemsProcessed(state.iterations() * Rows);
    state.SetBytesProcessed(state.iterations() * static_cast<long long>(table.size()));
}

void BM_TableCsv(benchmark::State& state) { ReadTable(state, CsvTable()); }
void BM_TableGbif(benchmark::State& state) { ReadTable(state, GbifTable()); }

class Text : public plot::PlotText {
public:
    explicit Text(const data::DataText& t) : t_(t) {}
    std::size_t LineCount() const override { return t_.LineCount(); }
    std::string Line(std::size_t i) const override { return std::string(t_.Line(i)); }
    void ReplaceLine(std::size_t, const std::string&) override {}

private:
    const data::DataText& t_;
};

class Nowhere : public plot::PlotTarget {
public:
    void ActivateCategory(int) override {}
    void AddPoint(plot::View, int, double x, double y) override { sum += x + y; }
    double sum = 0;
};

// The plotting pass over the table's data text (the charts' storage left out).
void BM_PlotPass(benchmark::State& state) {
    const data::DataText& t = TableText();
    for (auto _ : state) {
        Text text(t);
        Nowhere target;
        plot::LegendNameArray names;
        plot::PlotReport report;
        plot::PlotOnMap(text, {}, names, target, nullptr, &report);
        benchmark::DoNotOptimize(target.sum);
    }
    state.SetItemsProcessed(state.iterations() * Rows);
}

void BM_CollectCells(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(io::CollectCells(TableText(), geo::PointPrecision::StandardMesh));
    state.SetItemsProcessed(state.iterations() * Rows);
}

void WriteCells(benchmark::State& state, const char* name) {
    QTemporaryDir dir;
    const std::string path = dir.filePath(QString::fromLatin1(name)).toStdString();
    const io::CellSet cells = io::CollectCells(TableText(), geo::PointPrecision::StandardMesh);
    for (auto _ : state) io::WriteCells(cells, path);
    state.counters["features"] = static_cast<double>(cells.cells.size());
}

// Collecting and writing the cells of a million records, as --export-cells does.
void BM_ExportGeoPackage(benchmark::State& state) {
    QTemporaryDir dir;
    const std::string path = dir.filePath(QStringLiteral("cells.gpkg")).toStdString();
    for (auto _ : state) io::WriteCells(io::CollectCells(TableText(), geo::PointPrecision::StandardMesh), path);
}
void BM_ExportGeoJson(benchmark::State& state) {
    QTemporaryDir dir;
    const std::string path = dir.filePath(QStringLiteral("cells.geojson")).toStdString();
    for (auto _ : state) io::WriteCells(io::CollectCells(TableText(), geo::PointPrecision::StandardMesh), path);
}
void BM_WriteGeoPackage(benchmark::State& state) { WriteCells(state, "cells.gpkg"); }
void BM_WriteGeoJson(benchmark::State& state) { WriteCells(state, "cells.geojson"); }

}  // namespace

BENCHMARK(BM_TableCsv)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_TableGbif)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_PlotPass)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_CollectCells)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_WriteGeoPackage)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_WriteGeoJson)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ExportGeoPackage)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ExportGeoJson)->Unit(benchmark::kMillisecond)->Iterations(3);

BENCHMARK_MAIN();
