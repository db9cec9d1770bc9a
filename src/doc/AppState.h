#pragma once
// The one record of state that the document's commands share. It lives as
// long as the document; only the settings file keeps anything of it.
#include "chart/ChartSeries.h"
#include "platform/canvas/Color.h"

#include <QString>

#include <array>
#include <cstdint>

namespace kavum::doc {

// Number of distribution categories; every per-category array is indexed 1..9.
inline constexpr int MaxCategories = 9;

// The mark of one category.
struct MarkSetting {
    std::int32_t Style = 1;       // 1..9: index into MarkSymbols and MarkPointerStyles
    std::int32_t Size = 3;        // half-size of the mark in pixels
    std::int32_t BrushColor = 0;  // fill, 0x00BBGGRR
    std::int32_t PenColor = 0;    // outline, 0x00BBGGRR
};

template <class T>
using PerCategory = std::array<T, MaxCategories + 1>;  // entry 0 unused

// The symbol shown for each mark style in the mark editor.
const PerCategory<QString>& MarkSymbols();
// The pointer style drawn for each mark style.
inline constexpr PerCategory<chart::TSeriesPointerStyle> MarkPointerStyles = {
    chart::psRectangle, chart::psRectangle, chart::psCircle,   chart::psTriangle, chart::psDownTriangle,
    chart::psCross,     chart::psDiagCross, chart::psStar,     chart::psDiamond,  chart::psSmallDot};
// Default fill colour of category i.
inline constexpr PerCategory<std::int32_t> DefaultBrushColors = {
    0, 0xFF0000, 0xFFFF00, 0x008000, 0x00FF00, 0x00FFFF, 0xFF00FF, 0x0000FF, 0xF0CAA6, 0x808080};

struct AppState {
    // Files and view mode.
    QString IniFileName;      // path of the settings file
    QString MapFileName;      // map data file in use
    QString GrdFileName;      // distribution data file in use
    int ShowMode = 0;         // 0 no map yet; 1 horizontal map; 2 the two profiles; 3 all three
    bool FitToWidth = true;   // layout fits the client width (true) or height (false)

    // Drawing range (degrees, metres) and precision.
    double GX1 = 0, GX2 = 0, GY1 = 0, GY2 = 0;
    double GH1 = 0, GH2 = 0;
    double I2K = 0;
    double MapAspect = 0;
    int GridSize = 1;         // a geo::PointPrecision value, kept as read
    int MeshSize = 0;         // a geo::MeshLineKind value, kept as read

    // Map line appearance; colours 0x00BBGGRR.
    platform::TColor MapColor = 0;
    platform::TColor SubColor = 0;
    platform::TColor MshColor = 0;
    int MLW = 1;

    // Categories, legend and marks.
    int CategoryCount = 0;
    PerCategory<QString> LegendNames;
    PerCategory<MarkSetting> Marks;
    int EditedCategory = 1;
    bool LegendEditing = false;
    int LegendLeft = 50;
    int LegendTop = 50;
    int LegendTextWidth = 0;
    PerCategory<chart::TPointSeries*> PointSeriesH{};
    PerCategory<chart::TPointSeries*> PointSeriesW{};
    PerCategory<chart::TPointSeries*> PointSeriesS{};

    // Chart values under the last mouse press on a chart.
    double PointerX = 0;
    double PointerY = 0;

    // The manual's index page; empty when no manual was found.
    QString HelpIndexFile;
};

}  // namespace kavum::doc
