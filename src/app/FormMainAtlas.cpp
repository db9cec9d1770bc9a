// Atlas production: figure after figure on one map, each from its own data
// text, with the drawing sequence of making the map minus the map lines.
#include "FormMain.h"

#include <QLineEdit>

namespace kavum::app {

void TFormMain::PlotDataText(std::vector<std::string> lines, const QString& title) {
    RepaintOnExit repaint(*this);
    ClearDotMaps();
    EditTitle->setText(title);
    ReplaceMaps();
    Memo1Text().SetLines(std::move(lines));
    ShowMemoText();
    PlotOnMap(true);
}

}  // namespace kavum::app
