#pragma once
// Mesh lines as axis grids: which increments, minor divisions and pens the
// axes of the three charts get for a mesh-line kind and drawing range.
#include "geo/MeshCode.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace kavum::geo {

enum class AxisId { Left, Bottom, Right, Top };

// Settings to apply to one axis; an empty field is left as the axis has it.
struct AxisGridSettings {
    std::optional<bool> axisVisible;
    std::optional<int> axisWidth;
    std::optional<std::uint32_t> gridColor;
    std::optional<bool> gridVisible;
    std::optional<std::uint32_t> minorColor;
    std::optional<bool> minorSmallDots;
    std::optional<bool> minorVisible;
    std::optional<bool> labelsOnAxis;
    std::optional<double> increment;
    std::optional<int> minorTickCount;
};

struct AxisGridChange {
    int chart;        // 1, 2 or 3
    AxisId axis;
    AxisGridSettings settings;
};

struct GridInput {
    int meshSize = 0;      // MeshLineKind
    int showMode = 3;
    double gx1 = 0, gx2 = 0, gy1 = 0, gy2 = 0;
    double gh2 = 0;
    std::uint32_t meshColor = 0;
};

// The axis changes in the order they are to be applied (later entries for
// the same axis override earlier ones).
std::vector<AxisGridChange> PlanMeshGrid(const GridInput& in);

}  // namespace kavum::geo
