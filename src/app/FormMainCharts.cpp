// The three charts of the main window as they are designed: fonts, margins,
// axes, series and their marks. The layout and the mesh-line grids change
// most axis values before anything is shown.
#include "FormMain.h"

#include "app/Widgets.h"

#include <QMenu>

namespace kavum::app {
namespace {

using chart::TChart;
using chart::TCustomChartAxis;
using namespace platform;

const QString Gothic = QStringLiteral("ＭＳ ゴシック");
const QString PMincho = QStringLiteral("ＭＳ Ｐ明朝");
// The active-caption colour of the classic desktop scheme (navy).
constexpr TColor ActiveCaptionColor = clNavy;

struct AxisDesign {
    bool visible = true;
    bool labels = true;
    const char* format = "";
    double increment = 0;
    int minorTickCount = 3;
    double minimum = 0;
    double maximum = 0;
    bool labelsOnAxis = true;
    int labelsSeparation = 10;
};

void DesignAxis(TCustomChartAxis& axis, const AxisDesign& d, int labelHeight) {
    axis.SetAutomatic(false);
    axis.SetVisible(d.visible);
    axis.SetRoundFirstLabel(true);
    axis.Axis().SetColor(clBlack);
    axis.Axis().SetWidth(1);
    axis.Grid().SetColor(clAqua);
    axis.Grid().SetStyle(TPenStyle::Solid);
    axis.Grid().SetVisible(true);
    axis.MinorGrid().SetColor(clAqua);
    axis.MinorGrid().SetSmallDots(true);
    axis.MinorGrid().SetVisible(true);
    axis.Ticks().SetVisible(false);
    axis.MinorTicks().SetVisible(false);
    axis.TicksInner().SetVisible(false);
    axis.LabelsFont().SetName(Gothic);
    axis.LabelsFont().SetHeight(labelHeight);
    axis.LabelsFont().SetColor(clAqua);
    if (!d.visible) return;
    axis.SetLabels(d.labels);
    axis.SetAxisValuesFormat(QString::fromUtf8(d.format));
    axis.SetIncrement(d.increment);
    axis.SetMinorTickCount(d.minorTickCount);
    axis.SetAxisRange(d.minimum, d.maximum);
    axis.SetLabelsOnAxis(d.labelsOnAxis);
    axis.SetLabelsSeparation(d.labelsSeparation);
}

TChart* NewChart(QWidget* sheet, const char* name, const char* title, int labelHeight) {
    auto* chart = new TChart(sheet);
    chart->setObjectName(QString::fromLatin1(name));
    chart->SetColor(clWhite);
    chart->SetMarginLeft(6);
    chart->SetMarginRight(4);
    chart->SetMarginTop(4);
    chart->SetMarginBottom(4);
    chart->SetView3D(false);
    chart->SetClipPoints(true);
    chart->SetBufferedDisplay(true);
    chart->Title().SetLine(0, QString::fromLatin1(title));
    chart->Title().Font().SetName(PMincho);
    chart->Title().Font().SetHeight(15);
    chart->Title().Font().SetColor(clBlack);
    chart->Title().SetVisible(false);
    chart->Legend().SetVisible(false);
    // Axes not named by a design keep these values.
    for (TCustomChartAxis* axis : {&chart->LeftAxis(), &chart->TopAxis(), &chart->RightAxis(), &chart->BottomAxis()})
        DesignAxis(*axis, AxisDesign{false}, labelHeight);
    return chart;
}

// The map line series, not in the legend.
chart::TLineSeries* AddMapLines(TChart& chart, const char* name) {
    chart::TLineSeries& series = chart.AddLineSeries();
    series.SetTitle(QString::fromLatin1(name));
    series.SetShowInLegend(false);
    series.SetXValuesOrder(chart::loNone);
    return &series;
}

// Series colour and outline width of each category's marks.
constexpr PerCategory<TColor> CategorySeriesColors = {0,      clBlack, clPurple, clLime,  clAqua,
                                                      clYellow, clRed, clGreen,  clBlue, clBlack};
constexpr PerCategory<int> CategoryPenWidths = {0, 1, 1, 1, 1, 1, 1, 2, 2, 1};

void AddCategories(TChart& chart, const char* prefix, PerCategory<chart::TPointSeries*>& series) {
    for (int k = 1; k <= MaxCategories; ++k) {
        chart::TPointSeries& s = chart.AddPointSeries();
        s.SetTitle(QString::fromLatin1(prefix) + QString::number(k));
        s.SetXValuesOrder(chart::loAscending);
        s.SetSeriesColor(CategorySeriesColors[k]);
        chart::TSeriesPointer& p = s.Pointer();
        p.SetVisible(true);
        p.SetInflateMargins(false);
        p.SetStyle(MarkPointerStyles[k]);
        p.SetHorizSize(3);
        p.SetVertSize(3);
        p.Brush().SetColor(static_cast<TColor>(DefaultBrushColors[k]));
        p.Pen().SetColor(clBlack);
        p.Pen().SetWidth(CategoryPenWidths[k]);
        p.Pen().SetVisible(true);
        series[k] = &s;
    }
}

}  // namespace

void TFormMain::BuildCharts() {
    QWidget* sheet = MappingSheet->Sheet();

    // The horizontal map.
    Chart1 = NewChart(sheet, "Chart1", "Horizon Map", 12);
    DesignAxis(Chart1->BottomAxis(), {true, true, "###.0", 7, 7, 132, 133.5, false, 1}, 12);
    DesignAxis(Chart1->LeftAxis(), {true, false, "##.0", 0.666666667, 7, 32, 36, false, 20}, 12);
    Chart1->TopAxis().SetRoundFirstLabel(false);
    Chart1->Legend().Font().SetName(Gothic);
    Chart1->Legend().Font().SetHeight(13);
    Chart1->Legend().Font().SetColor(ActiveCaptionColor);
    SeriesH0 = AddMapLines(*Chart1, "SeriesH0");
    SeriesH0->Pointer().SetVisible(true);
    SeriesH0->Pointer().SetStyle(chart::psSmallDot);
    SeriesH0->Pointer().SetHorizSize(1);
    SeriesH0->Pointer().SetVertSize(1);
    SeriesH0->Pointer().Pen().SetVisible(false);
    AddCategories(*Chart1, "SeriesH", SeriesH);

    // The west-east profile.
    Chart2 = NewChart(sheet, "Chart2", "WE-Profile", 13);
    DesignAxis(Chart2->BottomAxis(), {true, true, "###.0", 2, 1, 128, 146, false, 1}, 13);
    DesignAxis(Chart2->LeftAxis(), {true, true, "###0m", 1000, 1, 0, 2000, false, 10}, 13);
    Chart2->BottomAxis().Title().SetCaption(QStringLiteral(" "));
    Chart2->BottomAxis().Title().Font().SetName(QStringLiteral("Times New Roman"));
    Chart2->BottomAxis().Title().Font().SetHeight(17);
    SeriesW0 = AddMapLines(*Chart2, "SeriesW0");
    SeriesW0->Pointer().SetVisible(true);
    SeriesW0->Pointer().SetStyle(chart::psCross);
    SeriesW0->Pointer().Pen().SetVisible(false);
    SeriesW0->LinePen().SetSmallDots(true);
    AddCategories(*Chart2, "SeriesW", SeriesW);

    // The south-north profile.
    Chart3 = NewChart(sheet, "Chart3", "SN Profile", 13);
    DesignAxis(Chart3->BottomAxis(), {true, true, "###0", 2, 1, 30, 40, true, 10}, 13);
    Chart3->BottomAxis().Axis().SetWidth(2);
    DesignAxis(Chart3->LeftAxis(), {true, false, "###0", 2, 3, 33.99, 35.1, false, 40}, 13);
    Chart3->LeftAxis().Axis().SetVisible(false);
    DesignAxis(Chart3->RightAxis(), {true, true, " ##", 2, 2, 27.5, 46, false, 10}, 13);
    SeriesS0 = AddMapLines(*Chart3, "SeriesS0");
    SeriesS0->Pointer().SetVisible(false);
    SeriesS0->SetVertAxis(chart::aBothVertAxis);
    AddCategories(*Chart3, "SeriesS", SeriesS);

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
