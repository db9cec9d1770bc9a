// The three charts of the main window: the document designs them; the window
// puts them on the mapping sheet and gives them their pop-up menus.
#include "FormMain.h"

#include "app/Widgets.h"

#include <QMenu>

namespace kavum::app {

using chart::TChart;

void TFormMain::BuildCharts() {
    QWidget* sheet = MappingSheet->Sheet();
    for (TChart* chart : {Chart1, Chart2, Chart3}) chart->setParent(sheet);

    // Events of the charts. Mouse presses and the drawing hooks belong to the
    // pointer readout and the overlays.
    QMenu* popups[] = {PopupMenu1, PopupMenu2, PopupMenu3};
    int index = 0;
    for (TChart* chart : {Chart1, Chart2, Chart3}) {
        QMenu* popup = popups[index++];
        chart->OnContextPopup = [popup](TChart&, const QPoint&, const QPoint& globalPos) { popup->popup(globalPos); };
        chart->OnError = [this](const std::exception& e) { ShowErrorMessage(QString::fromUtf8(e.what())); };
        chart->hide();
        MappingSheet->Track(chart);
    }
    for (TChart* chart : {Chart2, Chart3})
        chart->OnDblClick = [this](TChart&) { RunCommand([this] { ShowHorizonClick(); }); };
    ConnectOverlayCommands();
    ConnectExportCommands();
}

}  // namespace kavum::app
