#pragma once
// The drawing's state lives in the document; the window uses it by these names.
#include "doc/AppState.h"

namespace kavum::app {

using doc::AppState;
using doc::DefaultBrushColors;
using doc::MarkPointerStyles;
using doc::MarkSetting;
using doc::MarkSymbols;
using doc::MaxCategories;
using doc::PerCategory;

}  // namespace kavum::app
