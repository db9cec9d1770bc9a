#include "MeshLines.h"

namespace kavum::geo {
namespace {

// Grid settings of one axis for one kind: increment, minor count (if set),
// minor visibility (if set).
struct Cell {
    double increment;
    std::optional<int> minorTicks;
    std::optional<bool> minorOn;
};

AxisGridSettings FromCell(const Cell& c) {
    AxisGridSettings s;
    s.increment = c.increment;
    s.minorTickCount = c.minorTicks;
    s.minorVisible = c.minorOn;
    return s;
}

constexpr double Deg1 = 1.0;
constexpr double Lat1 = 2.0 / 3.0;
constexpr double Lon2 = 1.0 / 8.0;
constexpr double Lat2 = 1.0 / 12.0;

// Elevation axes, the same on both profiles.
Cell ElevationCell(MeshLineKind kind) {
    if (kind == MeshLineKind::MeshLineStandard) return {500, 4, true};
    return {1000, 1, true};
}

}  // namespace

std::vector<AxisGridChange> PlanMeshGrid(const GridInput& in) {
    std::vector<AxisGridChange> out;
    const bool chart3 = in.showMode == 2 || in.showMode == 3;
    const AxisId latAxis3 = in.showMode == 3 ? AxisId::Right : AxisId::Bottom;
    const AxisId elevAxis3 = in.showMode == 3 ? AxisId::Bottom : AxisId::Left;

    // Preparation.
    for (AxisId a : {AxisId::Bottom, AxisId::Left}) {
        AxisGridSettings s;
        s.gridColor = in.meshColor;
        s.gridVisible = true;
        s.minorColor = in.meshColor;
        s.minorSmallDots = true;
        s.minorVisible = true;
        s.labelsOnAxis = false;
        out.push_back({1, a, s});
    }
    for (AxisId a : {AxisId::Bottom, AxisId::Left}) {
        AxisGridSettings s;
        s.axisVisible = true;
        s.gridColor = in.meshColor;
        s.gridVisible = true;
        s.minorColor = in.meshColor;
        out.push_back({2, a, s});
    }
    if (in.showMode == 2) {
        for (AxisId a : {AxisId::Bottom, AxisId::Left}) {
            AxisGridSettings s;
            s.axisVisible = true;
            if (a == AxisId::Bottom) s.axisWidth = 2;
            s.gridColor = in.meshColor;
            s.gridVisible = true;
            s.minorColor = in.meshColor;
            out.push_back({3, a, s});
        }
    } else if (in.showMode == 3) {
        AxisGridSettings right;
        right.axisVisible = true;
        right.gridColor = in.meshColor;
        right.gridVisible = true;
        right.minorColor = in.meshColor;
        right.minorVisible = true;
        right.labelsOnAxis = false;
        out.push_back({3, AxisId::Right, right});
        AxisGridSettings bottom;
        bottom.axisVisible = true;
        bottom.axisWidth = 1;
        bottom.gridColor = in.meshColor;
        bottom.gridVisible = true;
        bottom.minorColor = in.meshColor;
        bottom.labelsOnAxis = false;
        out.push_back({3, AxisId::Bottom, bottom});
    }

    const auto kind = static_cast<MeshLineKind>(in.meshSize);
    const bool known = kind == MeshLineKind::MeshLineFirst || kind == MeshLineKind::MeshLineSecond ||
                       kind == MeshLineKind::MeshLineStandard;
    if (!known) {
        // No mesh lines: every prepared axis loses its grids.
        AxisGridSettings off;
        off.gridVisible = false;
        off.minorVisible = false;
        out.push_back({1, AxisId::Bottom, off});
        out.push_back({1, AxisId::Left, off});
        out.push_back({2, AxisId::Bottom, off});
        out.push_back({2, AxisId::Left, off});
        if (chart3) {
            out.push_back({3, latAxis3, off});
            out.push_back({3, elevAxis3, off});
        }
        return out;
    }

    const bool largeLat = in.gy2 - in.gy1 > 1.4;
    const bool largeLon = in.gx2 - in.gx1 > 2;

    Cell lon1{}, lat1{}, lon2{}, lat3{};
    switch (kind) {
    case MeshLineKind::MeshLineFirst:
        lon1 = {Deg1, std::nullopt, false};
        lat1 = {Lat1, std::nullopt, false};
        lon2 = {Deg1, std::nullopt, false};
        lat3 = {Lat1, std::nullopt, false};
        break;
    case MeshLineKind::MeshLineSecond:
        if (largeLat && largeLon) {
            lon1 = {Deg1, 7, true};
            lat1 = {Lat1, 7, true};
        } else {
            lon1 = {Lon2, std::nullopt, false};
            lat1 = {Lat2, std::nullopt, false};
        }
        lon2 = largeLon ? Cell{Deg1, 7, true} : Cell{Lon2, std::nullopt, false};
        if (largeLat) {
            lat3 = {Lat1, 7, true};
        } else if (in.showMode == 3) {
            lat3 = {Lat2, std::nullopt, true};
        } else {
            lat3 = {Lat2, std::nullopt, false};
        }
        break;
    default:  // MeshLineStandard
        lon1 = {Lon2, 9, std::nullopt};
        lat1 = {Lat2, 9, std::nullopt};
        lon2 = {Lon2, 9, true};
        lat3 = {Lat2, 9, true};
        break;
    }
    out.push_back({1, AxisId::Bottom, FromCell(lon1)});
    out.push_back({1, AxisId::Left, FromCell(lat1)});
    out.push_back({2, AxisId::Bottom, FromCell(lon2)});
    out.push_back({2, AxisId::Left, FromCell(ElevationCell(kind))});
    if (chart3) {
        out.push_back({3, latAxis3, FromCell(lat3)});
        out.push_back({3, elevAxis3, FromCell(ElevationCell(kind))});
    }

    // Low elevation ranges get a line every 500 m and no minor lines.
    if (in.gh2 < 2001) {
        AxisGridSettings low;
        low.increment = 500;
        low.minorVisible = false;
        out.push_back({2, AxisId::Left, low});
        if (chart3) out.push_back({3, elevAxis3, low});
    }
    return out;
}

}  // namespace kavum::geo
