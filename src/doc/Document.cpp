#include "doc/Document.h"

#include "geo/AngleText.h"
#include "geo/MeshCode.h"
#include "geo/MeshLines.h"
#include "map/Layout.h"
#include "map/MapFile.h"
#include "map/Overlays.h"
#include "platform/Cp932.h"
#include "platform/Errors.h"
#include "platform/Numbers.h"
#include "platform/Profile.h"
#include "plot/MarkStyle.h"
#include "plot/PlotPass.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <limits>

namespace kavum::doc {
namespace {

using chart::TCustomChart;
using chart::TCustomChartAxis;
using platform::TCanvas;
using platform::TColor;
using namespace platform;

std::string Bytes(const QString& text) { return platform::QStringToCp932(text); }
std::string FileSystemPath(const QString& path) { return QFile::encodeName(path).toStdString(); }

// The message of a file that could not be read, with the reason where it is
// not plain: a file larger than the program reads.
platform::FileError ReadError(const QString& message, const QString& path, const platform::FileError& cause) {
    QString text = message.arg(path);
    if (dynamic_cast<const platform::FileTooLargeError*>(&cause) && cause.Reason().empty()) {
        text += QStringLiteral("（%1 GB を超えるファイルは読み込めません）").arg(platform::MaxReadSize >> 30);
    } else if (!cause.Reason().empty()) {
        text += QStringLiteral("（%1）").arg(QString::fromStdString(cause.Reason()));
    }
    return platform::FileError(text.toStdString());
}

TCustomChartAxis& AxisOf(TCustomChart& chart, geo::AxisId axis) {
    switch (axis) {
    case geo::AxisId::Left: return chart.LeftAxis();
    case geo::AxisId::Bottom: return chart.BottomAxis();
    case geo::AxisId::Right: return chart.RightAxis();
    case geo::AxisId::Top: return chart.TopAxis();
    }
    return chart.LeftAxis();
}

void Apply(TCustomChartAxis& axis, const geo::AxisGridSettings& s) {
    if (s.axisVisible) axis.Axis().SetVisible(*s.axisVisible);
    if (s.axisWidth) axis.Axis().SetWidth(*s.axisWidth);
    if (s.gridColor) axis.Grid().SetColor(*s.gridColor);
    if (s.gridVisible) axis.Grid().SetVisible(*s.gridVisible);
    if (s.minorColor) axis.MinorGrid().SetColor(*s.minorColor);
    if (s.minorSmallDots) axis.MinorGrid().SetSmallDots(*s.minorSmallDots);
    if (s.minorVisible) axis.MinorGrid().SetVisible(*s.minorVisible);
    if (s.labelsOnAxis) axis.SetLabelsOnAxis(*s.labelsOnAxis);
    if (s.increment) axis.SetIncrement(*s.increment);
    if (s.minorTickCount) axis.SetMinorTickCount(*s.minorTickCount);
}

// The map reader's entries go straight into the three map line series.
class SeriesSink : public map::MapLineSink {
public:
    SeriesSink(chart::TLineSeries& h, chart::TLineSeries& w, chart::TLineSeries& s) : series_{&h, &w, &s} {}
    void AddPoint(map::MapSeries series, double x, double y, std::uint32_t colour) override {
        Of(series).StorePoint(x, y, QString(), colour);
    }
    void AddBreak(map::MapSeries series) override { Of(series).AddNullPoint(QString()); }
    void SetPen(map::MapSeries series, map::LinePenMode mode, std::optional<int> width) override {
        chart::TChartPen& pen = Of(series).LinePen();
        pen.SetMode(mode == map::LinePenMode::Mask ? platform::TPenMode::Mask : platform::TPenMode::Copy);
        if (width) pen.SetWidth(*width);
    }

private:
    chart::TLineSeries& Of(map::MapSeries s) { return *series_[static_cast<int>(s)]; }
    chart::TLineSeries* series_[3];
};

// The data text seen by the plotting pass.
class MemoLines : public plot::PlotText {
public:
    explicit MemoLines(data::DataText& text) : text_(text) {}
    std::size_t LineCount() const override { return text_.LineCount(); }
    std::string Line(std::size_t i) const override {
        last_ = i;
        return std::string(text_.Line(i));
    }
    // The line read last: where a pass that throws stopped.
    std::size_t LastRead() const { return last_; }
    void ReplaceLine(std::size_t i, const std::string& line) override {
        text_.ReplaceLine(i, line);
        replaced_ = true;
    }
    bool Replaced() const { return replaced_; }

private:
    data::DataText& text_;
    bool replaced_ = false;
    mutable std::size_t last_ = 0;
};

// Marks on the category series of the three charts.
class CategorySeries : public plot::PlotTarget {
public:
    CategorySeries(AppState& state) : state_(state) {}
    void ActivateCategory(int k) override {
        state_.PointSeriesH[k]->SetActive(true);
        state_.PointSeriesS[k]->SetActive(true);
        state_.PointSeriesW[k]->SetActive(true);
    }
    void AddPoint(plot::View view, int k, double x, double y) override {
        chart::TPointSeries* series = view == plot::View::Horizontal ? state_.PointSeriesH[k]
                                      : view == plot::View::WestEast ? state_.PointSeriesW[k]
                                                                     : state_.PointSeriesS[k];
        // Nothing changes a mark while a pass runs: applying it again at
        // every later point of the series would change nothing.
        bool& applied = applied_[static_cast<int>(view) - 1][k];
        if (!applied) {
            const MarkSetting& mark = state_.Marks[k];
            chart::TSeriesPointer& pointer = series->Pointer();
            pointer.SetStyle(MarkPointerStyles[plot::DrawnStyle(mark.Style)]);
            pointer.Brush().SetColor(static_cast<platform::TColor>(mark.BrushColor));
            pointer.Pen().SetColor(static_cast<platform::TColor>(mark.PenColor));
            pointer.SetHorizSize(mark.Size);
            pointer.SetVertSize(mark.Size);
            applied = true;
        }
        series->AddPoint(x, y);
    }

private:
    AppState& state_;
    bool applied_[3][MaxCategories + 1] = {};
};

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

void DesignChart(TCustomChart* chart, const char* name, const char* title, int labelHeight) {
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
}

// The map line series, not in the legend.
chart::TLineSeries* AddMapLines(TCustomChart& chart, const char* name) {
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

void AddCategories(TCustomChart& chart, const char* prefix, PerCategory<chart::TPointSeries*>& series) {
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

// The largest half-size the legend draws: a size from a hand-edited settings
// file may be anything, and the legend must still fit in pixel arithmetic.
constexpr int MaxLegendMarkSize = 1000;

int LegendCount(const AppState& s) { return std::clamp(s.CategoryCount, 0, MaxCategories); }
int EditedEntry(const AppState& s) { return std::clamp(s.EditedCategory, 1, MaxCategories); }

platform::TRect ToTRect(const QRect& r) { return platform::TRect{r.left(), r.top(), r.right() + 1, r.bottom() + 1}; }

}  // namespace

// ---------------------------------------------------------------- the charts

Document::Document(TCustomChart& chart1, TCustomChart& chart2, TCustomChart& chart3, DocumentView* view)
    : Chart1(&chart1), Chart2(&chart2), Chart3(&chart3), view_(view ? view : &none_) {
    DesignCharts();
}

void Document::DesignCharts() {
    // The horizontal map.
    DesignChart(Chart1, "Chart1", "Horizon Map", 12);
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
    DesignChart(Chart2, "Chart2", "WE-Profile", 13);
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
    DesignChart(Chart3, "Chart3", "SN Profile", 13);
    DesignAxis(Chart3->BottomAxis(), {true, true, "###0", 2, 1, 30, 40, true, 10}, 13);
    Chart3->BottomAxis().Axis().SetWidth(2);
    DesignAxis(Chart3->LeftAxis(), {true, false, "###0", 2, 3, 33.99, 35.1, false, 40}, 13);
    Chart3->LeftAxis().Axis().SetVisible(false);
    DesignAxis(Chart3->RightAxis(), {true, true, " ##", 2, 2, 27.5, 46, false, 10}, 13);
    SeriesS0 = AddMapLines(*Chart3, "SeriesS0");
    SeriesS0->Pointer().SetVisible(false);
    SeriesS0->SetVertAxis(chart::aBothVertAxis);
    AddCategories(*Chart3, "SeriesS", SeriesS);

    // The overlays and label texts are the document's.
    Chart1->OnGetAxisLabel = [this](chart::TCustomChartAxis&, chart::TChartSeries*, int, QString& text) {
        text = AxisLabel(1, text);
    };
    Chart2->OnGetAxisLabel = [this](chart::TCustomChartAxis&, chart::TChartSeries*, int, QString& text) {
        text = AxisLabel(2, text);
    };
    Chart3->OnGetAxisLabel = [this](chart::TCustomChartAxis&, chart::TChartSeries*, int, QString& text) {
        text = AxisLabel(3, text);
    };
    Chart1->OnAfterDraw = [this](TCustomChart&) { Chart1AfterDraw(); };
    Chart2->OnAfterDraw = [this](TCustomChart&) { Chart2AfterDraw(); };
    Chart3->OnAfterDraw = [this](TCustomChart&) { Chart3AfterDraw(); };
    // A category's series are named after it in a figure.
    for (TCustomChart* chart : {Chart1, Chart2, Chart3})
        chart->OnGetSeriesLabel = [this](TCustomChart&, chart::TChartSeries& series) { return SeriesLabel(series); };
    for (TCustomChart* chart : {Chart1, Chart2, Chart3}) chart->hide();
}

// ---------------------------------------------------------------- settings

void Document::InitializeVariables() {
    for (TCustomChart* chart : {Chart1, Chart2, Chart3}) chart->SetSeriesDefaultCapacity(64000);
    for (int i = 1; i <= MaxCategories; ++i) {
        State.PointSeriesH[i] = SeriesH[i];
        State.PointSeriesW[i] = SeriesW[i];
        State.PointSeriesS[i] = SeriesS[i];
    }
    // The marks designed for the horizontal map become those of all three charts.
    for (int i = 1; i <= MaxCategories; ++i) {
        for (chart::TPointSeries* profile : {State.PointSeriesW[i], State.PointSeriesS[i]}) {
            profile->AssignPointer(State.PointSeriesH[i]->Pointer());
            profile->SetSeriesColor(State.PointSeriesH[i]->SeriesColor());
        }
    }
    State.CategoryCount = 0;
    State.LegendEditing = false;
    State.EditedCategory = 1;
    State.FitToWidth = true;
    State.LegendLeft = 50;
    State.LegendTop = 50;
}

SettingsValues Document::LoadIniFile(bool* unreadable, std::string* reason) const {
    return LoadSettings(State.IniFileName, State.MapFileName, unreadable, reason);
}

void Document::ApplySettings(const SettingsValues& v) {
    Board.Title = v.Title;
    Board.MapFile = v.MapFile;
    Board.GrdFile = v.GrdFile;
    Board.HorizonMap = v.HorizonMap;
    Board.ProfileMap = v.ProfileMap;
    Board.GY1 = v.GY1;
    Board.GY2 = v.GY2;
    Board.GX1 = v.GX1;
    Board.GX2 = v.GX2;
    Board.GH2 = v.GH2;
    Board.I2K = v.I2K;
    State.GridSize = v.GridSize;
    State.MeshSize = v.MeshSize;
    State.MapColor = v.MapColor;
    Board.MapColor = v.MapColor;
    State.SubColor = v.SubColor;
    Board.SubColor = v.SubColor;
    State.MshColor = v.MshColor;
    Board.MshColor = v.MshColor;
    Board.Prefecture = v.Prefecture;
    State.MLW = v.MLW;
    for (int i = 1; i <= MaxCategories; ++i) State.Marks[i] = v.Marks[i];
    // A precision or mesh-line value the board does not offer leaves its
    // choice as it was.
    if (geo::FindPrecision(State.GridSize)) Board.GridSize = State.GridSize;
    for (const geo::MeshLineInfo& info : geo::MeshLineKinds()) {
        if (static_cast<int>(info.kind) == State.MeshSize) Board.MeshSize = State.MeshSize;
    }
}

SettingsValues Document::CurrentSettings() const {
    SettingsValues v;
    v.Title = Board.Title;
    v.MapFile = Board.MapFile;
    v.GrdFile = Board.GrdFile;
    v.HorizonMap = Board.HorizonMap;
    v.ProfileMap = Board.ProfileMap;
    v.GY1 = Board.GY1;
    v.GY2 = Board.GY2;
    v.GX1 = Board.GX1;
    v.GX2 = Board.GX2;
    v.GH2 = Board.GH2;
    v.I2K = Board.I2K;
    v.GridSize = State.GridSize;
    v.MeshSize = State.MeshSize;
    v.MapColor = State.MapColor;
    v.SubColor = State.SubColor;
    v.MshColor = State.MshColor;
    v.Prefecture = Board.Prefecture;
    v.MLW = State.MLW;
    for (int i = 1; i <= MaxCategories; ++i) v.Marks[i] = State.Marks[i];
    return v;
}

int Document::SelectedGridSize() const { return Board.GridSize >= 0 ? Board.GridSize : State.GridSize; }
int Document::SelectedMeshSize() const { return Board.MeshSize >= 0 ? Board.MeshSize : State.MeshSize; }

QString SettingsUnreadableMessage(const QString& path, const std::string& reason) {
    return QStringLiteral("設定ファイル %1 を読み込めません%2。\n既定の設定で始めます。"
                          "このファイルは、確認なしには書き換えません。")
        .arg(path, reason.empty() ? QString() : QStringLiteral("（%1）").arg(QString::fromStdString(reason)));
}

QString SettingsFolderMessage(const QString& folder, int error) {
    return QStringLiteral("設定ファイルのフォルダー %1 を作れません（%2）。\n"
                          "終了するときに設定を保存できません。")
        .arg(folder, QString::fromStdString(platform::SystemReason(error)));
}

platform::FileError DataFileReadError(const QString& path, const platform::FileError& cause) {
    return ReadError(QStringLiteral("分布データファイル %1 を読み込めません"), path, cause);
}

// ---------------------------------------------------------------- the board

void Document::GetDataFromBoard() {
    // Precision: the chosen one of 0, 12, 10, 5, 2, 1, else 0.
    State.GridSize = Board.GridSize >= 0 ? Board.GridSize : 0;
    State.MeshSize = Board.MeshSize == 1 || Board.MeshSize == 2 || Board.MeshSize == 3 ? Board.MeshSize : 0;
    // A mesh code in the corner boxes keeps the previous range on that side.
    if (Board.SWGrid.size() < 4) {
        State.GY2 = geo::StrToDeg(Bytes(Board.GY2));
        State.GX1 = geo::StrToDeg(Bytes(Board.GX1));
    }
    if (Board.NWGrid.size() < 4) {
        State.GY1 = geo::StrToDeg(Bytes(Board.GY1));
        State.GX2 = geo::StrToDeg(Bytes(Board.GX2));
    }
    State.GH2 = platform::StrToFloat(Bytes(Board.GH2));
    State.GH1 = 0;
    State.I2K = platform::StrToFloat(Bytes(Board.I2K));
    State.PointerX = State.GX1;
    State.PointerY = State.GY2;
    State.ShowMode = (Board.HorizonMap ? 1 : 0) + (Board.ProfileMap ? 2 : 0);
    State.MapFileName = Board.MapFile;
    State.MapColor = Board.MapColor;
    State.SubColor = Board.SubColor;
    State.MshColor = Board.MshColor;
}

void Document::SetGridType() {
    geo::GridInput in;
    in.meshSize = State.MeshSize;
    in.showMode = State.ShowMode;
    in.gx1 = State.GX1;
    in.gx2 = State.GX2;
    in.gy1 = State.GY1;
    in.gy2 = State.GY2;
    in.gh2 = State.GH2;
    in.meshColor = State.MshColor;
    TCustomChart* charts[] = {Chart1, Chart2, Chart3};
    for (const geo::AxisGridChange& change : geo::PlanMeshGrid(in)) {
        Apply(AxisOf(*charts[change.chart - 1], change.axis), change.settings);
    }
}

// ---------------------------------------------------------------- layout

void Document::SetChartLabels(TCustomChart& chart, bool on) {
    chart.LeftAxis().SetLabels(on);
    chart.BottomAxis().SetLabels(on);
    chart.Title().SetVisible(on);
    if (&chart == Chart3) chart.RightAxis().SetLabels(on);
}

void Document::ReplaceMaps() {
    view_->PlacingCharts();
    map::LayoutInput in;
    in.showMode = State.ShowMode;
    in.fitToWidth = State.FitToWidth;
    const QSize client = view_->ClientArea().value_or(ClientSize);
    in.clientWidth = client.width();
    in.clientHeight = client.height();
    in.gx1 = State.GX1;
    in.gx2 = State.GX2;
    in.gy1 = State.GY1;
    in.gy2 = State.GY2;
    in.i2k = State.I2K;
    const map::LayoutResult layout = map::ComputeLayout(in);  // refuses an empty or reversed range
    State.MapAspect = layout.mapAspect;

    const QString title = Board.Title;
    Chart1->show();
    Chart1->Title().SetLine(0, title);
    Chart1->BottomAxis().SetAxisRange(State.GX1, State.GX2);
    Chart1->LeftAxis().SetAxisRange(State.GY1, State.GY2);
    Chart1->Title().SetVisible(false);

    Chart2->show();
    Chart2->Title().SetLine(0, title + QStringLiteral("　東西断面図"));
    Chart2->BottomAxis().Axis().SetColor(platform::clBlack);
    Chart2->BottomAxis().Axis().SetWidth(2);
    Chart2->BottomAxis().SetAxisRange(State.GX1, State.GX2);
    Chart2->LeftAxis().SetAxisRange(State.GH1, State.GH2);
    Chart2->Title().SetVisible(false);

    Chart3->show();
    Chart3->Title().SetLine(0, title + QStringLiteral("　南北断面図"));
    Chart3->Title().SetVisible(false);

    auto place = [](TCustomChart* chart, const map::ChartPlace& p) { chart->setGeometry(p.left, p.top, p.width, p.height); };
    const auto& [c1, c2, c3] = layout.charts;
    switch (State.ShowMode) {
    case 1:
        Chart2->hide();
        Chart3->hide();
        place(Chart1, c1);
        SetChartLabels(*Chart1, true);
        Chart1->Title().SetVisible(true);
        Chart1->Legend().SetAlignment(chart::laBottom);
        break;
    case 2:
        Chart1->hide();
        SetChartLabels(*Chart2, true);
        SetChartLabels(*Chart3, true);
        place(Chart2, c2);
        Chart2->Title().SetVisible(true);
        Chart2->BottomAxis().Axis().SetWidth(2);
        SeriesS0->ClearPoints();
        place(Chart3, c3);
        Chart3->RightAxis().SetVisible(false);
        Chart3->RightAxis().Axis().SetVisible(false);
        Chart3->RightAxis().SetLabels(false);
        Chart3->BottomAxis().SetInverted(false);
        Chart3->BottomAxis().SetAxisRange(State.GY1, State.GY2);
        Chart3->BottomAxis().SetVisible(true);
        Chart3->BottomAxis().Axis().SetWidth(2);
        Chart3->BottomAxis().SetAxisValuesFormat(QStringLiteral("##.0"));
        Chart3->LeftAxis().SetInverted(false);
        Chart3->LeftAxis().SetAxisRange(State.GH1, State.GH2);
        Chart3->LeftAxis().SetVisible(true);
        Chart3->LeftAxis().Axis().SetVisible(true);
        Chart3->LeftAxis().SetAxisValuesFormat(QStringLiteral("###0m"));
        Chart3->Title().SetVisible(true);
        Chart3->Legend().SetAlignment(chart::laBottom);
        Chart3->Legend().SetVisible(false);
        break;
    case 3:
        place(Chart1, c1);
        place(Chart2, c2);
        Chart2->BottomAxis().Axis().SetWidth(1);
        place(Chart3, c3);
        SetChartLabels(*Chart1, false);
        SetChartLabels(*Chart2, false);
        SetChartLabels(*Chart3, false);
        Chart3->LeftAxis().SetAxisRange(State.GY1, State.GY2);
        Chart3->LeftAxis().SetVisible(false);
        Chart3->RightAxis().SetVisible(true);
        Chart3->RightAxis().SetInverted(false);
        Chart3->RightAxis().SetAxisRange(State.GY1, State.GY2);
        Chart3->RightAxis().Axis().SetWidth(1);
        Chart3->RightAxis().Axis().SetVisible(true);
        Chart3->BottomAxis().SetVisible(true);
        Chart3->BottomAxis().SetInverted(true);
        Chart3->BottomAxis().SetAxisRange(State.GH1, State.GH2);
        Chart3->BottomAxis().Axis().SetVisible(true);
        break;
    default:
        break;
    }
    view_->ChartsPlaced();
}

// ---------------------------------------------------------------- the sequence

bool Document::MapFileFound() const {
    // A map file that is there but is no regular file (a folder, a FIFO, a
    // device) is refused at once; only a missing one is asked for.
    if (QFileInfo(State.MapFileName).exists() && !QFileInfo(State.MapFileName).isFile()) {
        throw platform::FileError(platform::WithReason(
            QStringLiteral("地図ファイル %1 を読み込めません").arg(State.MapFileName).toStdString(),
            QFileInfo(State.MapFileName).isDir() ? EISDIR : platform::ErrNotRegularFile));
    }
    return QFileInfo(State.MapFileName).isFile();
}

void Document::DrawMap() {
    ReplaceMaps();
    SetGridType();
    DrawMapLines();
    ClearDotMaps();
    LoadGrdFile();
}

bool Document::MakeMap() {
    GetDataFromBoard();
    if (!MapFileFound()) return false;
    DrawMap();
    mapMade_ = true;
    return true;
}

// ---------------------------------------------------------------- map lines

void Document::ClearMapLines() {
    SeriesH0->ClearPoints();
    SeriesW0->ClearPoints();
    SeriesS0->ClearPoints();
}

void Document::DrawMapLines() {
    ClearMapLines();
    const QString path = Board.MapFile;
    std::string text;
    try {
        text = platform::ReadWholeFile(FileSystemPath(path));
    } catch (const platform::FileError& e) {
        throw ReadError(QStringLiteral("地図ファイル %1 を読み込めません"), path, e);
    }
    Chart1->SetBufferedDisplay(true);
    map::MapReadOptions options;
    options.horizonMap = Board.HorizonMap;
    options.profileMap = Board.ProfileMap;
    options.prefecture = Board.Prefecture;
    options.mapColor = State.MapColor;
    options.subColor = State.SubColor;
    options.mshColor = State.MshColor;
    options.lineWidth = State.MLW;
    SeriesSink sink(*SeriesH0, *SeriesW0, *SeriesS0);
    map::ReadMapFile(text, path.toStdString(), options, sink);
}

// ---------------------------------------------------------------- plotting

void Document::ClearDotMaps() {
    for (int k = 1; k <= State.CategoryCount; ++k) {
        for (chart::TPointSeries* series : {State.PointSeriesH[k], State.PointSeriesW[k], State.PointSeriesS[k]}) {
            series->ClearPoints();
            series->SetActive(false);
        }
    }
    State.CategoryCount = 0;
}

data::DataText& Document::Text() {
    view_->TakeEditedText();
    return text_;
}

void Document::PlotOnMap(bool captureNames) {
    struct BusyWhile {
        DocumentView& view;
        explicit BusyWhile(DocumentView& v) : view(v) { view.Busy(true); }
        ~BusyWhile() { view.Busy(false); }
    } busy(*view_);
    data::DataText& text = Text();
    plot::PlotOptions options;
    options.precision = static_cast<geo::PointPrecision>(State.GridSize);
    options.horizonMap = Board.HorizonMap;
    options.profileMap = Board.ProfileMap;
    options.captureNames = captureNames;
    // Headings below the named categories (typed in the editor since) keep
    // their text and name their category.
    options.replaceUpTo = captureNames ? 0 : namedCategories_;
    plot::LegendNameArray names;
    for (int k = 1; k <= MaxCategories; ++k) names[static_cast<std::size_t>(k)] = Bytes(State.LegendNames[k]);
    MemoLines lines(text);
    CategorySeries target(State);
    int count = 0;
    struct Finish {
        Document* doc;
        MemoLines& lines;
        plot::LegendNameArray& names;
        int& count;
        bool capture;
        ~Finish() {
            doc->State.CategoryCount = count;
            const int first = capture ? 1 : doc->namedCategories_ + 1;
            for (int k = first; k <= count; ++k)
                doc->State.LegendNames[k] = platform::Cp932ToQString(names[static_cast<std::size_t>(k)]);
            doc->namedCategories_ = capture ? count : std::max(doc->namedCategories_, count);
            if (lines.Replaced()) doc->view_->DataTextChanged();
        }
    } finish{this, lines, names, count, captureNames};
    FailedLine.reset();
    report_.Clear();
    view_->PlotPassStarted();
    try {
        plot::PlotOnMap(lines, options, names, target, &count, &report_);
    } catch (...) {
        FailedLine = lines.LastRead();
        FailedLineShown = false;
        view_->PlotPassFailed(report_);
        throw;
    }
    if (report_.Skipped() != 0 || report_.HasWarnings()) view_->PlotPassReport(report_);
}

// ---------------------------------------------------------------- data files

void Document::LoadGrdFile() {
    State.GrdFileName = Board.GrdFile;
    data::DataText read;
    try {
        if (!view_->ReadDataFile(State.GrdFileName, read)) read.AppendFile(FileSystemPath(State.GrdFileName));
    } catch (const platform::FileError& e) {
        throw ReadError(QStringLiteral("分布データファイル %1 を読み込めません"), State.GrdFileName, e);
    }
    Text() = std::move(read);
    view_->DataTextLoaded();
    PlotOnMap(true);
}

void Document::PlotDataText(std::vector<std::string> lines, const QString& title) {
    ClearDotMaps();
    // The titles as the layout sets them; the layout itself stays as the
    // map was made (laying out the profiles again would empty the
    // south-north profile line).
    Board.Title = title;
    view_->BoardChanged();
    Chart1->Title().SetLine(0, title);
    Chart2->Title().SetLine(0, title + QStringLiteral("　東西断面図"));
    Chart3->Title().SetLine(0, title + QStringLiteral("　南北断面図"));
    Text().SetLines(std::move(lines));
    view_->DataTextChanged();
    PlotOnMap(true);
}

// ---------------------------------------------------------------- overlays

QString Document::AxisLabel(int chart, const QString& text) const {
    return map::AxisLabelText(State.ShowMode, chart, text);
}

QString Document::SeriesLabel(const chart::TChartSeries& series) const {
    const int count = LegendCount(State);
    for (int k = 1; k <= count; ++k) {
        if (&series == SeriesH[k] || &series == SeriesW[k] || &series == SeriesS[k]) return State.LegendNames[k];
    }
    return QString();
}

void Document::Chart1AfterDraw() {
    TCanvas& c = Chart1->Canvas();
    std::optional<platform::TCanvasGroup> group;
    group.emplace(c, QStringLiteral("Legend"));
    Chart1->UseFont(Chart1->Legend().Font());
    const int count = LegendCount(State);

    // The box, as wide as the widest name.
    // A figure at a scale draws everything of it that many times larger.
    const TCustomChart& chart = *Chart1;
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
        view_->LegendEdited();
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

void Document::Chart2AfterDraw() {
    if (State.ShowMode != 3) return;
    TCanvas& c = Chart2->Canvas();
    const platform::TCanvasGroup labels(c, Chart2->objectName() + QStringLiteral("Labels"), QStringLiteral("Labels"));
    Chart2->UseFont(Chart1->Legend().Font());
    c.SetTextTransparent(true);
    const TCustomChart& chart = *Chart2;
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

void Document::Chart3AfterDraw() {
    if (State.ShowMode != 3) return;
    TCanvas& c = Chart3->Canvas();
    const platform::TCanvasGroup labels(c, Chart3->objectName() + QStringLiteral("Labels"), QStringLiteral("Labels"));
    Chart3->UseFont(Chart1->Legend().Font());
    c.SetTextTransparent(true);
    const TCustomChart& chart = *Chart3;
    const int row = Chart3->LeftAxis().YValueToPixel(State.GY1) + chart.ScaledText(6);
    for (const map::ElevationLabel& l : map::SouthNorthElevationLabels(State.GH2))
        c.TextOut(Chart3->BottomAxis().XValueToPixel(l.value) + chart.ScaledText(l.shift), row, l.text);
}

// ---------------------------------------------------------------- pointer, legend and marks

bool Document::PointerPressed(int chart, int x, int y) {
    switch (chart) {
    case 1:
        State.PointerX = SeriesH[1]->XPixelToValue(x);
        State.PointerY = SeriesH[1]->YPixelToValue(y);
        if (State.LegendEditing) {
            // Entries are 20 pixels apart; the row picks one, whatever the column.
            const long long row = (static_cast<long long>(y) - State.LegendTop + 8) / 20;
            State.EditedCategory = static_cast<int>(std::clamp<long long>(row, 1, MaxCategories));
            Chart1AfterDraw();
            return true;
        }
        return false;
    case 2:
        State.PointerX = SeriesW[1]->XPixelToValue(x);
        State.PointerY = SeriesW[1]->YPixelToValue(y);
        return false;
    case 3:
        if (State.ShowMode == 2) {
            // Profiles only: latitude along the bottom.
            State.PointerX = SeriesS[1]->XPixelToValue(x);
            State.PointerY = SeriesS[1]->YPixelToValue(y);
        } else if (State.ShowMode == 3) {
            // Beside the map: latitude upright, elevation across.
            State.PointerX = SeriesS[1]->YPixelToValue(y);
            State.PointerY = SeriesS[1]->XPixelToValue(x);
        }
        return false;
    default:
        return false;
    }
}

void Document::MoveLegendToPointer() {
    State.LegendLeft = Chart1->BottomAxis().XValueToPixel(State.PointerX);
    State.LegendTop = Chart1->LeftAxis().YValueToPixel(State.PointerY);
    Chart1->Repaint();
}

void Document::BeginLegendEditing() {
    State.LegendEditing = true;
    Chart1AfterDraw();
}

void Document::EndLegendEditing() {
    State.LegendEditing = false;
    // The pass adds every record again: the old points go first, or each
    // closing of the editor would double them.
    ClearDotMaps();
    RePlotting();
}

int Document::EditedCategory() const { return EditedEntry(State); }

void Document::SetEditedName(const QString& name) {
    State.LegendNames[EditedCategory()] = name;
    Chart1AfterDraw();
}

void Document::SetEditedStyle(std::optional<int> style) {
    if (style) State.Marks[EditedCategory()].Style = *style;
    Chart1AfterDraw();
}

void Document::SetEditedSize(int item) {
    if (item >= 0 && item < static_cast<int>(plot::MarkSizes.size()))
        State.Marks[EditedCategory()].Size = plot::MarkSizes[static_cast<std::size_t>(item)];
    Chart1AfterDraw();
}

void Document::SetEditedFill(std::uint32_t colour) {
    // The outline keeps its colour: with the rim off it follows the fill
    // only when the rim is next set.
    State.Marks[EditedCategory()].BrushColor = static_cast<std::int32_t>(colour);
}

void Document::SetEditedRim(bool rim) {
    MarkSetting& mark = State.Marks[EditedCategory()];
    mark.PenColor = rim ? 0 : mark.BrushColor;
    Chart1AfterDraw();
}

void Document::Replot() {
    ClearDotMaps();
    PlotOnMap(false);
}

// ---------------------------------------------------------------- figures

exporting::PrintOptions ScaleOnly(double scale) {
    exporting::PrintOptions print;
    if (scale != 1.0) print.scale = scale;
    return print;
}

std::optional<exporting::Figure> Document::SavedFigure() const {
    return exporting::SavedFigure(Charts(), State.ShowMode, State.MapAspect, State.LegendLeft, State.LegendTop);
}

void Document::SaveFigureAs(const QString& fileName, exporting::FigureFormat format,
                            const exporting::PrintOptions& print) {
    std::optional<exporting::Figure> figure = SavedFigure();
    if (!figure) return;
    exporting::ApplyPrintOptions(*figure, format, print);
    exporting::SaveFigure(format, *figure, fileName, Legend());
}

void Document::SaveFigure(const QString& fileName, const exporting::PrintOptions& print) {
    SaveFigureAs(fileName, exporting::FigureFormatOfPath(fileName).value_or(exporting::FigureFormat::Emf), print);
}

std::optional<QByteArray> Document::FigureFileBytes(const QString& fileName, const exporting::PrintOptions& print,
                                                    platform::TPdfShared* shared) {
    std::optional<exporting::Figure> figure = SavedFigure();
    if (!figure) return std::nullopt;
    const exporting::FigureFormat format =
        exporting::FigureFormatOfPath(fileName).value_or(exporting::FigureFormat::Emf);
    exporting::ApplyPrintOptions(*figure, format, print);
    return exporting::FigureBytes(format, *figure, Legend(), QFileInfo(fileName).completeBaseName(), shared);
}

void Document::Save2VChart(const QString& fileName) {
    exporting::SaveFigure(exporting::FigureFormat::Emf, exporting::TwoProfileFigure(*Chart2, *Chart3, State.MapAspect),
                          fileName);
}

void Document::Save3DChart(const QString& fileName) {
    exporting::SaveFigure(exporting::FigureFormat::Emf,
                          exporting::ThreeViewFigure(*Chart1, *Chart2, *Chart3, State.MapAspect, State.LegendLeft,
                                                     State.LegendTop),
                          fileName, Legend());
}

void Document::CopyFigure() {
    const std::optional<exporting::Figure> figure =
        exporting::ClipboardFigure(Charts(), State.ShowMode, State.MapAspect, State.LegendLeft, State.LegendTop);
    if (figure) exporting::CopyFigureToClipboard(*figure, Legend());
}

}  // namespace kavum::doc
