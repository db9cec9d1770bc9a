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
#include <limits>
#include <cmath>
#include <optional>

namespace kavum::app {
namespace {

using chart::TChart;
using platform::TCanvas;
using platform::TColor;

// Status bar panels of the readout.
constexpr int LatitudePanel = 7;
constexpr int LongitudePanel = 9;
constexpr int ElevationPanel = 11;
constexpr int MeshCodePanel = 13;

// The largest half-size the legend draws: a size from a hand-edited settings
// file may be anything, and the legend must still fit in pixel arithmetic.
constexpr int MaxLegendMarkSize = 1000;

int LegendCount(const AppState& s) { return std::clamp(s.CategoryCount, 0, MaxCategories); }
int EditedEntry(const AppState& s) { return std::clamp(s.EditedCategory, 1, MaxCategories); }

QString Text(const std::string& ascii) { return QString::fromLatin1(ascii.data(), static_cast<qsizetype>(ascii.size())); }

platform::TRect ToTRect(const QRect& r) { return platform::TRect{r.left(), r.top(), r.right() + 1, r.bottom() + 1}; }

}  // namespace

// ---------------------------------------------------------------- wiring

void TFormMain::ConnectOverlayCommands() {
    MrkEdPanel = new plot::TMarkEditor(Chart1);
    MrkEdPanel->setObjectName(QStringLiteral("MrkEdPanel"));
    MrkEdPanel->hide();

    Chart1->OnGetAxisLabel = [this](chart::TCustomChartAxis& axis, chart::TChartSeries* series, int index,
                                    QString& text) { Chart1GetAxisLabel(axis, series, index, text); };
    Chart2->OnGetAxisLabel = [this](chart::TCustomChartAxis& axis, chart::TChartSeries* series, int index,
                                    QString& text) { Chart2GetAxisLabel(axis, series, index, text); };
    Chart3->OnGetAxisLabel = [this](chart::TCustomChartAxis& axis, chart::TChartSeries* series, int index,
                                    QString& text) { Chart3GetAxisLabel(axis, series, index, text); };
    Chart1->OnAfterDraw = [this](TChart&) { Chart1AfterDraw(); };
    Chart2->OnAfterDraw = [this](TChart&) { Chart2AfterDraw(); };
    Chart3->OnAfterDraw = [this](TChart&) { Chart3AfterDraw(); };
    // A category's series are named after it in a figure.
    auto seriesLabel = [this](TChart&, chart::TChartSeries& series) {
        const int count = LegendCount(State);
        for (int k = 1; k <= count; ++k) {
            if (&series == SeriesH[k] || &series == SeriesW[k] || &series == SeriesS[k]) return State.LegendNames[k];
        }
        return QString();
    };
    Chart1->OnGetSeriesLabel = seriesLabel;
    Chart2->OnGetSeriesLabel = seriesLabel;
    Chart3->OnGetSeriesLabel = seriesLabel;
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
    labelText = map::AxisLabelText(State.ShowMode, 1, labelText);
}

void TFormMain::Chart2GetAxisLabel(chart::TCustomChartAxis&, chart::TChartSeries*, int, QString& labelText) {
    labelText = map::AxisLabelText(State.ShowMode, 2, labelText);
}

void TFormMain::Chart3GetAxisLabel(chart::TCustomChartAxis&, chart::TChartSeries*, int, QString& labelText) {
    labelText = map::AxisLabelText(State.ShowMode, 3, labelText);
}

// ---------------------------------------------------------------- after drawing

void TFormMain::Chart1AfterDraw() {
    TCanvas& c = Chart1->Canvas();
    std::optional<platform::TCanvasGroup> group;
    group.emplace(c, QStringLiteral("Legend"));
    Chart1->UseFont(Chart1->Legend().Font());
    const int count = LegendCount(State);

    // The box, as wide as the widest name.
    // A figure at a scale draws everything of it that many times larger.
    const TChart& chart = *Chart1;
    const double scale = chart.DrawScale();
    int textWidth = 0;
    for (int i = 1; i <= count; ++i) textWidth = std::max(textWidth, c.TextWidth(State.LegendNames[i]));
    if (scale == 1.0 && chart.TextScale() == 1.0) State.LegendTextWidth = textWidth;
    const int left = chart.Scaled(State.LegendLeft);
    const int top = chart.Scaled(State.LegendTop);
    // The box and its rows go with the text, the marks with the figure.
    const map::LegendGeometry g = map::LegendLayout(left, top, textWidth, count, scale * chart.TextScale());
    c.SetPen(chart.ScaledPen(
        platform::TCanvasPen{platform::clBlack, 1, platform::TPenStyle::Solid, platform::TPenMode::Copy}));
    c.SetBrushColor(platform::clWhite);
    c.FillRect(ToTRect(g.box));
    c.Rectangle(ToTRect(g.box));

    // One mark and one name per category.
    for (int i = 1; i <= count; ++i) {
        const MarkSetting& mark = State.Marks[i];
        const auto pen = static_cast<TColor>(mark.PenColor);
        const int size = chart.ScaledHalfSize(std::clamp(mark.Size, 0, MaxLegendMarkSize));
        const QPoint centre = g.markCentres[static_cast<std::size_t>(i - 1)];
        const QPoint origin = g.nameOrigins[static_cast<std::size_t>(i - 1)];
        c.SetBrushColor(static_cast<TColor>(mark.BrushColor));
        c.SetPenColor(pen);
        SeriesH[1]->Pointer().DrawPointerShape(false, centre.x(), centre.y(), size, size, pen,
                                               MarkPointerStyles[plot::DrawnStyle(mark.Style)]);
        c.SetBrushColor(platform::clWhite);
        c.SetPenColor(platform::clBlack);
        c.TextOut(origin.x(), origin.y(), platform::TextPrefixWithin(c.Metrics(), State.LegendNames[i], platform::MaxPictureExtent));
    }

    // The entry in the mark editor stands on yellow; its settings go into
    // the editor's controls.
    if (State.LegendEditing) {
        const int e = EditedEntry(State);
        c.SetBrushColor(platform::RGBColor(255, 255, 0));
        c.TextOut(left + chart.ScaledText(40), top + chart.ScaledText(20 * e - 8),
                  platform::TextPrefixWithin(c.Metrics(), State.LegendNames[e], platform::MaxPictureExtent));
        c.SetBrushColor(platform::clWhite);
        LoadMarkControls();
    }

    // Whole degrees along the bottom and the left of the three-view map.
    if (State.ShowMode == 3) {
        group.reset();
        const platform::TCanvasGroup labels(c, Chart1->objectName() + QStringLiteral("Labels"), QStringLiteral("Labels"));
        c.SetFontHeight(chart.ScaledText(platform::PointsToPixels(10)));
        c.SetBrushColor(platform::clWhite);
        const int row = Chart1->LeftAxis().YValueToPixel(State.GY1) + chart.ScaledText(6);
        for (const map::DegreeLabel& l : map::DegreeLabels(State.GX1, State.GX2, false))
            c.TextOut(Chart1->BottomAxis().XValueToPixel(l.value) - chart.ScaledText(10), row, l.text);
        const int column = Chart1->BottomAxis().XValueToPixel(State.GX1) - chart.ScaledText(30);
        for (const map::DegreeLabel& l : map::DegreeLabels(State.GY1, State.GY2, true))
            c.TextOut(column, Chart1->LeftAxis().YValueToPixel(l.value) - chart.ScaledText(6), l.text);
    }
}

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

void TFormMain::Chart2AfterDraw() {
    if (State.ShowMode != 3) return;
    TCanvas& c = Chart2->Canvas();
    const platform::TCanvasGroup labels(c, Chart2->objectName() + QStringLiteral("Labels"), QStringLiteral("Labels"));
    Chart2->UseFont(Chart1->Legend().Font());
    c.SetTextTransparent(true);
    const TChart& chart = *Chart2;
    const int column = Chart2->BottomAxis().XValueToPixel(State.GX1) - chart.ScaledText(32);
    const std::vector<map::ElevationLabel> elevations = map::WestEastElevationLabels(State.GH1, State.GH2);
    // Text set larger than the design's (a figure for print) keeps the
    // unit above the highest number rather than over it.
    int unitLimit = std::numeric_limits<int>::max();
    if (chart.TextScale() != 1.0) {
        for (std::size_t i = 1; i < elevations.size(); ++i) {
            unitLimit = std::min(unitLimit, Chart2->LeftAxis().YValueToPixel(elevations[i].value) +
                                                chart.ScaledText(elevations[i].shift) - c.TextHeight(elevations[i].text));
        }
    }
    for (std::size_t i = 0; i < elevations.size(); ++i) {
        const map::ElevationLabel& l = elevations[i];
        int y = Chart2->LeftAxis().YValueToPixel(l.value) + chart.ScaledText(l.shift);
        if (i == 0) y = std::min(y, unitLimit);
        c.TextOut(column, y, l.text);
    }
    // Longitudes in the band kept free under the axis.
    const int row = Chart2->LeftAxis().YValueToPixel(State.GH1) + chart.ScaledText(10);
    for (const map::DegreeLabel& l : map::DegreeLabels(State.GX1, State.GX2, false))
        c.TextOut(Chart2->BottomAxis().XValueToPixel(l.value) - chart.ScaledText(10), row, l.text);
}

void TFormMain::Chart3AfterDraw() {
    if (State.ShowMode != 3) return;
    TCanvas& c = Chart3->Canvas();
    const platform::TCanvasGroup labels(c, Chart3->objectName() + QStringLiteral("Labels"), QStringLiteral("Labels"));
    Chart3->UseFont(Chart1->Legend().Font());
    c.SetTextTransparent(true);
    const TChart& chart = *Chart3;
    const int row = Chart3->LeftAxis().YValueToPixel(State.GY1) + chart.ScaledText(6);
    for (const map::ElevationLabel& l : map::SouthNorthElevationLabels(State.GH2))
        c.TextOut(Chart3->BottomAxis().XValueToPixel(l.value) + chart.ScaledText(l.shift), row, l.text);
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
    State.PointerX = SeriesH[1]->XPixelToValue(x);
    State.PointerY = SeriesH[1]->YPixelToValue(y);
    if (State.LegendEditing) {
        // Entries are 20 pixels apart; the row picks one, whatever the column.
        const long long row = (static_cast<long long>(y) - State.LegendTop + 8) / 20;
        State.EditedCategory = static_cast<int>(std::clamp<long long>(row, 1, MaxCategories));
        Chart1AfterDraw();
        return;
    }
    if (button != Qt::LeftButton) return;
    StatusBar1->SetPanelText(LatitudePanel, Text(geo::DegToStr(State.PointerY)));
    StatusBar1->SetPanelText(LongitudePanel, Text(geo::DegToStr(State.PointerX)));
    StatusBar1->SetPanelText(ElevationPanel, QString());
    StatusBar1->SetPanelText(MeshCodePanel, Text(geo::PointToMeshCode(State.PointerY, State.PointerX)));
}

void TFormMain::Chart2MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers, int x, int y) {
    State.PointerX = SeriesW[1]->XPixelToValue(x);
    State.PointerY = SeriesW[1]->YPixelToValue(y);
    if (button != Qt::LeftButton) return;
    StatusBar1->SetPanelText(LatitudePanel, QString());
    StatusBar1->SetPanelText(LongitudePanel, Text(geo::DegToStr(State.PointerX)));
    StatusBar1->SetPanelText(ElevationPanel, ElevationText(State.PointerY));
    StatusBar1->SetPanelText(MeshCodePanel, QString());
}

void TFormMain::Chart3MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers, int x, int y) {
    if (State.ShowMode == 2) {
        // Profiles only: latitude along the bottom.
        State.PointerX = SeriesS[1]->XPixelToValue(x);
        State.PointerY = SeriesS[1]->YPixelToValue(y);
    } else if (State.ShowMode == 3) {
        // Beside the map: latitude upright, elevation across.
        State.PointerX = SeriesS[1]->YPixelToValue(y);
        State.PointerY = SeriesS[1]->XPixelToValue(x);
    }
    if (button != Qt::LeftButton) return;
    StatusBar1->SetPanelText(LatitudePanel, Text(geo::DegToStr(State.PointerX)));
    StatusBar1->SetPanelText(LongitudePanel, QString());
    StatusBar1->SetPanelText(ElevationPanel, ElevationText(State.PointerY));
    StatusBar1->SetPanelText(MeshCodePanel, QString());
}

// ---------------------------------------------------------------- legend and marks

void TFormMain::EditMarkItemClick() {
    State.LegendEditing = true;
    Chart1AfterDraw();
    MrkEdPanel->move(State.LegendLeft, State.LegendTop + 20 * LegendCount(State) + 25);
    MrkEdPanel->show();
    MrkEdPanel->raise();
}

void TFormMain::EditLegNameChange() {
    State.LegendNames[EditedEntry(State)] = MrkEdPanel->EditLegName->text();
    Chart1AfterDraw();
}

void TFormMain::ComboBoxMarkChange() {
    if (const auto style = plot::StyleOfSymbol(MrkEdPanel->ComboBoxMark->currentText()))
        State.Marks[EditedEntry(State)].Style = *style;
    Chart1AfterDraw();
}

void TFormMain::ComboBoxSizeChange() {
    const int item = MrkEdPanel->ComboBoxSize->currentIndex();
    if (item >= 0 && item < static_cast<int>(plot::MarkSizes.size()))
        State.Marks[EditedEntry(State)].Size = plot::MarkSizes[static_cast<std::size_t>(item)];
    Chart1AfterDraw();
}

void TFormMain::BtnMrkColorClick() {
    // The outline keeps its colour: with the rim off it follows the fill
    // only when the rim box is next toggled.
    if (Dialogs().ExecuteColor(this, ColorDialog1))
        State.Marks[EditedEntry(State)].BrushColor = static_cast<std::int32_t>(ColorDialog1.Color);
    Chart1AfterDraw();
}

void TFormMain::MarkRimClick() {
    MarkSetting& mark = State.Marks[EditedEntry(State)];
    mark.PenColor = MrkEdPanel->MarkRim->isChecked() ? 0 : mark.BrushColor;
    Chart1AfterDraw();
}

void TFormMain::BtnMrkExitClick() {
    MrkEdPanel->hide();
    State.LegendEditing = false;
    RepaintOnExit repaint(*this);
    // The pass adds every record again: the old points go first, or each
    // closing of the editor would double them.
    ClearDotMaps();
    RePlotting();
}

void TFormMain::SetLegendPosClick() {
    State.LegendLeft = Chart1->BottomAxis().XValueToPixel(State.PointerX);
    State.LegendTop = Chart1->LeftAxis().YValueToPixel(State.PointerY);
    Chart1->Repaint();
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
    if (failedLineShown_ || !failedLine_ || !EditorBox) return;
    failedLineShown_ = true;
    EdDataItemClick();
    EditorBox->SelectLine(static_cast<int>(*failedLine_));
}

void TFormMain::EdCancelBtnClick() {
    Memo1Text();
    EditorBox->hide();
}

void TFormMain::EdReDrawBtnClick() {
    RepaintOnExit repaint(*this);
    ClearDotMaps();
    PlotOnMap(false);
}

}  // namespace kavum::app
