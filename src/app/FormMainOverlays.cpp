// What the window draws over its charts (axis label texts, the legend box,
// the degree and elevation labels of the three-view figure), the mark
// editor, the pointer readout in the status bar and the commands of the
// data editor pane.
#include "FormMain.h"

#include "app/Widgets.h"
#include "geo/AngleText.h"
#include "geo/MeshCode.h"
#include "map/Overlays.h"
#include "plot/MarkEditor.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>

#include <algorithm>
#include <cmath>
#include <optional>

namespace kavum::app {
namespace {

using chart::TChart;

// Status bar panels of the readout.
constexpr int LatitudePanel = 7;
constexpr int LongitudePanel = 9;
constexpr int ElevationPanel = 11;
constexpr int MeshCodePanel = 13;

int LegendCount(const AppState& s) { return std::clamp(s.CategoryCount, 0, MaxCategories); }
int EditedEntry(const AppState& s) { return std::clamp(s.EditedCategory, 1, MaxCategories); }

QString Text(const std::string& ascii) { return QString::fromLatin1(ascii.data(), static_cast<qsizetype>(ascii.size())); }


}  // namespace

// ---------------------------------------------------------------- wiring

void TFormMain::ConnectOverlayCommands() {
    MrkEdPanel = new plot::TMarkEditor(Chart1);
    MrkEdPanel->setObjectName(QStringLiteral("MrkEdPanel"));
    MrkEdPanel->hide();

    // The axis label texts, the overlays and the names of the series are
    // the document's (its hooks on the charts).
    // A press runs before the chart opens its pop-up menu for the right button.
    Chart1->OnMouseDown = [this](TChart&, Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y) {
        RunCommand([&] { Chart1MouseDown(button, shift, x, y); });
    };
    Chart2->OnMouseDown = [this](TChart&, Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y) {
        RunCommand([&] { Chart2MouseDown(button, shift, x, y); });
    };
    Chart3->OnMouseDown = [this](TChart&, Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y) {
        RunCommand([&] { Chart3MouseDown(button, shift, x, y); });
    };

    ConnectCommand(EditMarkItem, &QAction::triggered, &TFormMain::EditMarkItemClick);
    ConnectCommand(EditMarkPopItem, &QAction::triggered, &TFormMain::EditMarkItemClick);
    ConnectCommand(SetLegendPos, &QAction::triggered, &TFormMain::SetLegendPosClick);
    ConnectCommand(EdDataItem, &QAction::triggered, &TFormMain::EdDataItemClick);

    // The editor's controls answer the user only; what the legend drawing
    // loads into them does not count as a change (the rim box excepted, see
    // LoadMarkControls).
    plot::TMarkEditor* e = MrkEdPanel;
    ConnectCommand(e->EditLegName, &QLineEdit::textEdited, &TFormMain::EditLegNameChange);
    ConnectCommand(e->ComboBoxMark, &QComboBox::activated, &TFormMain::ComboBoxMarkChange);
    ConnectCommand(e->ComboBoxMark->lineEdit(), &QLineEdit::textEdited, &TFormMain::ComboBoxMarkChange);
    ConnectCommand(e->ComboBoxSize, &QComboBox::activated, &TFormMain::ComboBoxSizeChange);
    ConnectCommand(e->BtnMrkColor, &QPushButton::clicked, &TFormMain::BtnMrkColorClick);
    ConnectCommand(e->MarkRim, &QCheckBox::clicked, &TFormMain::MarkRimClick);
    ConnectCommand(e->BtnMrkExit, &QPushButton::clicked, &TFormMain::BtnMrkExitClick);
}

void TFormMain::ConnectEditorPaneCommands() {
    ConnectCommand(EditorBox->EdCancelBtn, &QToolButton::clicked, &TFormMain::EdCancelBtnClick);
    ConnectCommand(EditorBox->EdReDrawBtn, &QToolButton::clicked, &TFormMain::EdReDrawBtnClick);
}

// ---------------------------------------------------------------- axis labels

void TFormMain::Chart1GetAxisLabel(chart::TCustomChartAxis&, chart::TChartSeries*, int, QString& labelText) {
    labelText = Doc.AxisLabel(1, labelText);
}

void TFormMain::Chart2GetAxisLabel(chart::TCustomChartAxis&, chart::TChartSeries*, int, QString& labelText) {
    labelText = Doc.AxisLabel(2, labelText);
}

void TFormMain::Chart3GetAxisLabel(chart::TCustomChartAxis&, chart::TChartSeries*, int, QString& labelText) {
    labelText = Doc.AxisLabel(3, labelText);
}

// ---------------------------------------------------------------- after drawing

void TFormMain::Chart1AfterDraw() { Doc.Chart1AfterDraw(); }
void TFormMain::Chart2AfterDraw() { Doc.Chart2AfterDraw(); }
void TFormMain::Chart3AfterDraw() { Doc.Chart3AfterDraw(); }

void TFormMain::LoadMarkControls() {
    const int e = EditedEntry(State);
    const MarkSetting& mark = State.Marks[e];
    plot::TMarkEditor& ed = *MrkEdPanel;
    // Set only when it differs: the caret stays where the user types.
    if (ed.EditLegName->text() != State.LegendNames[e]) ed.EditLegName->setText(State.LegendNames[e]);
    ed.ComboBoxMark->setCurrentIndex(plot::DrawnStyle(mark.Style) - 1);
    if (const auto item = plot::SizeItemIndex(mark.Size)) ed.ComboBoxSize->setCurrentIndex(*item);
    // A change of the rim box by the program counts as a click on it.
    const bool rim = mark.PenColor == 0;
    if (ed.MarkRim->isChecked() != rim) {
        ed.MarkRim->setChecked(rim);
        MarkRimClick();
    }
}

// ---------------------------------------------------------------- pointer readout

QString TFormMain::ElevationText(double metres) {
    if (!std::isfinite(metres)) return QStringLiteral("0");
    const long double whole = std::round(static_cast<long double>(metres));   // halves away from zero
    if (std::fabs(whole) < 10000) {
        const long long n = static_cast<long long>(whole);
        return QString::number(n);   // -0 reads 0
    }
    return QString::number(metres, 'E', 3);
}

void TFormMain::Chart1MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers, int x, int y) {
    if (Doc.PointerPressed(1, x, y)) return;   // an entry of the legend picked
    if (button != Qt::LeftButton) return;
    StatusBar1->SetPanelText(LatitudePanel, Text(geo::DegToStr(State.PointerY)));
    StatusBar1->SetPanelText(LongitudePanel, Text(geo::DegToStr(State.PointerX)));
    StatusBar1->SetPanelText(ElevationPanel, QString());
    StatusBar1->SetPanelText(MeshCodePanel, Text(geo::PointToMeshCode(State.PointerY, State.PointerX)));
}

void TFormMain::Chart2MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers, int x, int y) {
    Doc.PointerPressed(2, x, y);
    if (button != Qt::LeftButton) return;
    StatusBar1->SetPanelText(LatitudePanel, QString());
    StatusBar1->SetPanelText(LongitudePanel, Text(geo::DegToStr(State.PointerX)));
    StatusBar1->SetPanelText(ElevationPanel, ElevationText(State.PointerY));
    StatusBar1->SetPanelText(MeshCodePanel, QString());
}

void TFormMain::Chart3MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers, int x, int y) {
    Doc.PointerPressed(3, x, y);
    if (button != Qt::LeftButton) return;
    StatusBar1->SetPanelText(LatitudePanel, Text(geo::DegToStr(State.PointerX)));
    StatusBar1->SetPanelText(LongitudePanel, QString());
    StatusBar1->SetPanelText(ElevationPanel, ElevationText(State.PointerY));
    StatusBar1->SetPanelText(MeshCodePanel, QString());
}

// ---------------------------------------------------------------- legend and marks

void TFormMain::EditMarkItemClick() {
    Doc.BeginLegendEditing();
    MrkEdPanel->move(State.LegendLeft, State.LegendTop + 20 * LegendCount(State) + 25);
    MrkEdPanel->show();
    MrkEdPanel->raise();
}

void TFormMain::EditLegNameChange() {
    Doc.SetEditedName(MrkEdPanel->EditLegName->text());
}

void TFormMain::ComboBoxMarkChange() {
    Doc.SetEditedStyle(plot::StyleOfSymbol(MrkEdPanel->ComboBoxMark->currentText()));
}

void TFormMain::ComboBoxSizeChange() {
    Doc.SetEditedSize(MrkEdPanel->ComboBoxSize->currentIndex());
}

void TFormMain::BtnMrkColorClick() {
    // The outline keeps its colour: with the rim off it follows the fill
    // only when the rim box is next toggled.
    if (Dialogs().ExecuteColor(this, ColorDialog1)) Doc.SetEditedFill(ColorDialog1.Color);
    Chart1AfterDraw();
}

void TFormMain::MarkRimClick() {
    Doc.SetEditedRim(MrkEdPanel->MarkRim->isChecked());
}

void TFormMain::BtnMrkExitClick() {
    MrkEdPanel->hide();
    RepaintOnExit repaint(*this);
    Doc.EndLegendEditing();
}

void TFormMain::SetLegendPosClick() {
    Doc.MoveLegendToPointer();
}

// ---------------------------------------------------------------- data editor pane

void TFormMain::EdDataItemClick() {
    Memo1Text();   // edits left in the pane are kept
    EditorBox->move(EditorBox->x(), 6);
    EditorBox->ShowText();
    EditorBox->show();
    EditorBox->raise();
}

void TFormMain::ShowFailedDataLine() {
    if (Doc.FailedLineShown || !Doc.FailedLine || !EditorBox) return;
    Doc.FailedLineShown = true;
    EdDataItemClick();
    EditorBox->SelectLine(static_cast<int>(*Doc.FailedLine));
}

void TFormMain::EdCancelBtnClick() {
    Memo1Text();
    EditorBox->hide();
}

void TFormMain::EdReDrawBtnClick() {
    RepaintOnExit repaint(*this);
    Doc.Replot();
}

}  // namespace kavum::app
