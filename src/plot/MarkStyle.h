#pragma once
// The style a mark setting draws.

namespace kavum::plot {

// The style drawn for a setting: styles outside 1..9 draw as 1.
inline int DrawnStyle(int style) { return style >= 1 && style <= 9 ? style : 1; }

}  // namespace kavum::plot
