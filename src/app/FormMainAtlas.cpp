// Atlas production: figure after figure on one map, each from its own data
// text (the document's command), repainted when done.
#include "FormMain.h"

namespace kavum::app {

void TFormMain::PlotDataText(std::vector<std::string> lines, const QString& title) {
    RepaintOnExit repaint(*this);
    Doc.PlotDataText(std::move(lines), title);
}

}  // namespace kavum::app
