// Atlas production: figure after figure on one map, each from its own data
// text, with the drawing sequence of making the map minus the map lines.
#include "FormMain.h"

#include "chart/Chart.h"

#include <QLineEdit>

namespace kavum::app {

void TFormMain::PlotDataText(std::vector<std::string> lines, const QString& title) {
    RepaintOnExit repaint(*this);
    ClearDotMaps();
    // The titles as the layout sets them; the layout itself stays as the
    // map was made (laying out the profiles again would empty the
    // south-north profile line).
    EditTitle->setText(title);
    Chart1->Title().SetLine(0, title);
    Chart2->Title().SetLine(0, title + QStringLiteral("　東西断面図"));
    Chart3->Title().SetLine(0, title + QStringLiteral("　南北断面図"));
    Memo1Text().SetLines(std::move(lines));
    ShowMemoText();
    PlotOnMap(true);
}

}  // namespace kavum::app
