#pragma once
// The style a mark setting draws and the sizes a mark is given.
#include <array>

namespace kavum::plot {

// The sizes the mark editor offers, in list order.
inline constexpr std::array<int, 11> MarkSizes = {1, 2, 3, 4, 5, 6, 8, 10, 12, 16, 20};

// The style drawn for a setting: styles outside 1..9 draw as 1.
inline int DrawnStyle(int style) { return style >= 1 && style <= 9 ? style : 1; }

}  // namespace kavum::plot
