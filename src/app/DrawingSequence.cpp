// Making the map: the board into the state, the layout of the three charts,
// the mesh-line grids, the map lines, the data text and the plotting pass.
#include "FormMain.h"

#include "app/Widgets.h"
#include "chart/Chart.h"
#include "data/EditorPane.h"
#include "geo/AngleText.h"
#include "geo/MeshCode.h"
#include "geo/MeshLines.h"
#include "map/Layout.h"
#include "map/MapFile.h"
#include "platform/Cp932.h"
#include "platform/Errors.h"
#include "platform/Numbers.h"
#include "platform/Profile.h"

#include <cerrno>
#include "plot/MarkEditor.h"
#include "plot/PlotPass.h"

#include <QApplication>
#include <QCheckBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QLineEdit>
#include <QMenuBar>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>

namespace kavum::app {
namespace {

using chart::TChart;
using chart::TCustomChartAxis;

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

// The busy cursor for the length of a command; restored however it ends.
class BusyCursor {
public:
    BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

TCustomChartAxis& AxisOf(TChart& chart, geo::AxisId axis) {
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
        const MarkSetting& mark = state_.Marks[k];
        chart::TSeriesPointer& pointer = series->Pointer();
        pointer.SetStyle(MarkPointerStyles[plot::DrawnStyle(mark.Style)]);
        pointer.Brush().SetColor(static_cast<platform::TColor>(mark.BrushColor));
        pointer.Pen().SetColor(static_cast<platform::TColor>(mark.PenColor));
        pointer.SetHorizSize(mark.Size);
        pointer.SetVertSize(mark.Size);
        series->AddPoint(x, y);
    }

private:
    AppState& state_;
};

}  // namespace

// ---------------------------------------------------------------- the board

void TFormMain::GetDataFromScr() {
    // Precision: the first selected of 0, 12, 10, 5, 2, 1.
    State.GridSize = 0;
    for (int value : {0, 12, 10, 5, 2, 1}) {
        if (GScale(value)->isChecked()) {
            State.GridSize = value;
            break;
        }
    }
    State.MeshSize = MScale1->isChecked() ? 1 : MScale2->isChecked() ? 2 : MScale3->isChecked() ? 3 : 0;
    // A mesh code in the corner boxes keeps the previous range on that side.
    if (EditSWGrid->text().size() < 4) {
        State.GY2 = geo::StrToDeg(Bytes(EditGY2->text()));
        State.GX1 = geo::StrToDeg(Bytes(EditGX1->text()));
    }
    if (EditNWGrid->text().size() < 4) {
        State.GY1 = geo::StrToDeg(Bytes(EditGY1->text()));
        State.GX2 = geo::StrToDeg(Bytes(EditGX2->text()));
    }
    State.GH2 = platform::StrToFloat(Bytes(EditGH2->text()));
    State.GH1 = 0;
    State.I2K = platform::StrToFloat(Bytes(EditI2K->text()));
    State.PointerX = State.GX1;
    State.PointerY = State.GY2;
    State.ShowMode = (HorizonMap->isChecked() ? 1 : 0) + (ProfileMap->isChecked() ? 2 : 0);
    State.MapFileName = EditMapFile->text();
    StatusBar1->SetPanelText(0, QFileInfo(EditGrdFile->text()).fileName());
    if (const geo::PrecisionInfo* info = geo::FindPrecision(State.GridSize)) {
        StatusBar1->SetPanelText(2, QString::fromUtf8(info->statusLabel));
    }
    StatusBar1->SetPanelText(4, QString::number(State.MeshSize));
    State.MapColor = MapColorBt->FontColor();
    State.SubColor = SubColorBt->FontColor();
    State.MshColor = MshColorBt->FontColor();
}

void TFormMain::SetGridType() {
    geo::GridInput in;
    in.meshSize = State.MeshSize;
    in.showMode = State.ShowMode;
    in.gx1 = State.GX1;
    in.gx2 = State.GX2;
    in.gy1 = State.GY1;
    in.gy2 = State.GY2;
    in.gh2 = State.GH2;
    in.meshColor = State.MshColor;
    TChart* charts[] = {Chart1, Chart2, Chart3};
    for (const geo::AxisGridChange& change : geo::PlanMeshGrid(in)) {
        Apply(AxisOf(*charts[change.chart - 1], change.axis), change.settings);
    }
}

// ---------------------------------------------------------------- layout

void TFormMain::SetChartLabels(TChart& chart, bool on) {
    chart.LeftAxis().SetLabels(on);
    chart.BottomAxis().SetLabels(on);
    chart.Title().SetVisible(on);
    if (&chart == Chart3) chart.RightAxis().SetLabels(on);
}

void TFormMain::ReplaceMaps() {
    MappingSheet->SetVertScrollPosition(0);
    map::LayoutInput in;
    in.showMode = State.ShowMode;
    in.fitToWidth = State.FitToWidth;
    const QSize client = ClientSize();
    in.clientWidth = client.width();
    in.clientHeight = client.height();
    in.gx1 = State.GX1;
    in.gx2 = State.GX2;
    in.gy1 = State.GY1;
    in.gy2 = State.GY2;
    in.i2k = State.I2K;
    const map::LayoutResult layout = map::ComputeLayout(in);  // refuses an empty or reversed range
    State.MapAspect = layout.mapAspect;

    const QString title = EditTitle->text();
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

    auto place = [](TChart* chart, const map::ChartPlace& p) { chart->setGeometry(p.left, p.top, p.width, p.height); };
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
    MappingSheet->UpdateRange();
}

QSize TFormMain::ClientSize() const {
    // The form's client area: the window below its menu bar.
    const int menu = menuBar() && menuBar()->isVisible() ? menuBar()->height() : menuBar()->sizeHint().height();
    return QSize(width(), height() - menu);
}

void TFormMain::SetClientSize(const QSize& size) {
    // A shown window may take a pending size first; try again then.
    for (int attempt = 0; attempt < 3 && ClientSize() != size; ++attempt) {
        resize(size.width(), size.height() + (height() - ClientSize().height()));
        QApplication::processEvents();
    }
}

// ---------------------------------------------------------------- the sequence

void TFormMain::NewMapBtnClick() {
    // Making the map reads the data file anew into the editor.
    if (!MayDiscardEditorText()) return;
    GetDataFromScr();
    SettingBoard->hide();
    // A map file that is there but is no regular file (a folder, a FIFO, a
    // device) is refused at once; only a missing one is asked for.
    if (QFileInfo(State.MapFileName).exists() && !QFileInfo(State.MapFileName).isFile()) {
        throw platform::FileError(platform::WithReason(
            QStringLiteral("地図ファイル %1 を読み込めません").arg(State.MapFileName).toStdString(),
            QFileInfo(State.MapFileName).isDir() ? EISDIR : platform::ErrNotRegularFile));
    }
    if (!QFileInfo(State.MapFileName).isFile()) {
        OpenDialog1.InitialDir = DialogFolder(QFileInfo(State.MapFileName).absolutePath());
        OpenDialog1.FilterIndex = 2;
        if (!Dialogs().ExecuteOpen(this, OpenDialog1)) return;
        RememberFolder(OpenDialog1.FileName);
        State.MapFileName = OpenDialog1.FileName;
        EditMapFile->setText(OpenDialog1.FileName);
    }
    MappingSheet->SetVertScrollPosition(0);
    {
        BusyCursor busy;
        RepaintOnExit repaint(*this);
        ReplaceMaps();
        SetGridType();
        DrawMapLines();
        ClearDotMaps();
        LoadGrdFile();
    }
    MenuEdit->menuAction()->setEnabled(true);
}

// ---------------------------------------------------------------- map lines

void TFormMain::ClearMapLines() {
    SeriesH0->ClearPoints();
    SeriesW0->ClearPoints();
    SeriesS0->ClearPoints();
}

void TFormMain::DrawMapLines() {
    ClearMapLines();
    const QString path = EditMapFile->text();
    std::string text;
    try {
        text = platform::ReadWholeFile(FileSystemPath(path));
    } catch (const platform::FileError& e) {
        throw ReadError(QStringLiteral("地図ファイル %1 を読み込めません"), path, e);
    }
    Chart1->SetBufferedDisplay(true);
    map::MapReadOptions options;
    options.horizonMap = HorizonMap->isChecked();
    options.profileMap = ProfileMap->isChecked();
    options.prefecture = Prefecture->isChecked();
    options.mapColor = State.MapColor;
    options.subColor = State.SubColor;
    options.mshColor = State.MshColor;
    options.lineWidth = State.MLW;
    SeriesSink sink(*SeriesH0, *SeriesW0, *SeriesS0);
    map::ReadMapFile(text, path.toStdString(), options, sink);
}

// ---------------------------------------------------------------- plotting

void TFormMain::ClearDotMaps() {
    for (int k = 1; k <= State.CategoryCount; ++k) {
        for (chart::TPointSeries* series : {State.PointSeriesH[k], State.PointSeriesW[k], State.PointSeriesS[k]}) {
            series->ClearPoints();
            series->SetActive(false);
        }
    }
    State.CategoryCount = 0;
}

data::DataText& TFormMain::Memo1Text() {
    if (EditorBox && EditorBox->Edited() && !EditorBox->TakeText()) {
        ShowErrorMessage(QStringLiteral("Shift-JIS で表せない文字を「?」に置き換えました。"));
    }
    return memo1_;
}

void TFormMain::ShowMemoText() {
    if (EditorBox && EditorBox->isVisible()) EditorBox->ShowText();
}

void TFormMain::PlotOnMap(bool captureNames) {
    BusyCursor busy;
    data::DataText& text = Memo1Text();
    plot::PlotOptions options;
    options.precision = static_cast<geo::PointPrecision>(State.GridSize);
    options.horizonMap = HorizonMap->isChecked();
    options.profileMap = ProfileMap->isChecked();
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
        TFormMain* form;
        MemoLines& lines;
        plot::LegendNameArray& names;
        int& count;
        bool capture;
        ~Finish() {
            form->State.CategoryCount = count;
            const int first = capture ? 1 : form->namedCategories_ + 1;
            for (int k = first; k <= count; ++k)
                form->State.LegendNames[k] = platform::Cp932ToQString(names[static_cast<std::size_t>(k)]);
            form->namedCategories_ = capture ? count : std::max(form->namedCategories_, count);
            if (lines.Replaced()) form->ShowMemoText();
        }
    } finish{this, lines, names, count, captureNames};
    failedLine_.reset();
    plotReport_.Clear();
    StatusBar1->clearMessage();
    try {
        plot::PlotOnMap(lines, options, names, target, &count, &plotReport_);
    } catch (...) {
        failedLine_ = lines.LastRead();
        failedLineShown_ = false;
        // The message is the error's; what was drawn above the line, and
        // refused there, goes to the status bar.
        StatusBar1->showMessage(QString::fromStdString(plotReport_.Summary()), 20000);
        throw;
    }
    ReportPlotWarnings();
}

void TFormMain::ReportPlotWarnings() {
    if (plotReport_.Skipped() == 0 && !plotReport_.HasWarnings()) return;
    StatusBar1->showMessage(QString::fromStdString(plotReport_.Summary()), 20000);
    const std::string message = plotReport_.WindowMessage();
    if (message.empty() || !ShowPlotWarnings) return;
    try {
        dialogs_.ShowMessage(this, QStringLiteral("Kavum for Windows"), QString::fromStdString(message),
                             platform::MessageIcon::Warning);
    } catch (...) {
    }
}

void TFormMain::RePlotting() { PlotOnMap(false); }

void TFormMain::RepaintCharts() {
    for (TChart* chart : {Chart1, Chart2, Chart3}) chart->Invalidate();
    update();
}

// ---------------------------------------------------------------- data files

void TFormMain::LoadGrdFile() {
    State.GrdFileName = EditGrdFile->text();
    data::DataText read;
    try {
        if (!ReadImportedTable(State.GrdFileName, read)) read.AppendFile(FileSystemPath(State.GrdFileName));
    } catch (const platform::FileError& e) {
        throw ReadError(QStringLiteral("分布データファイル %1 を読み込めません"), State.GrdFileName, e);
    }
    Memo1Text() = std::move(read);
    SetEditorTextModified(false);
    ShowMemoText();
    PlotOnMap(true);
}

void TFormMain::ReadGrdFile() {
    OpenDialog1.InitialDir = DialogFolder(QFileInfo(State.GrdFileName).absolutePath());
    OpenDialog1.FilterIndex = 3;
    OpenDialog1.FileName = QStringLiteral("*.grd");
    std::exception_ptr readError;
    if (Dialogs().ExecuteOpen(this, OpenDialog1)) {
        const QString path = OpenDialog1.FileName;
        RememberFolder(path);
        try {
            Memo1Text().AppendFile(FileSystemPath(path));
            StatusBar1->SetPanelText(0, QFileInfo(path).fileName());
            EditGrdFile->setText(path);
        } catch (const platform::FileError& e) {
            readError = std::make_exception_ptr(ReadError(QStringLiteral("分布データファイル %1 を読み込めません"), path, e));
        }
        ShowMemoText();
    }
    // The pass runs whether a file was added or not.
    PlotOnMap(true);
    RepaintCharts();
    if (readError) std::rethrow_exception(readError);
}

void TFormMain::ReLoadGrdClick() {
    if (!MayDiscardEditorText()) return;
    ClearDotMaps();
    Memo1Text().Clear();
    ShowMemoText();
    ReadGrdFile();
}

void TFormMain::ClearPlotItemClick() {
    if (!MayDiscardEditorText()) return;
    Memo1Text().Clear();
    SetEditorTextModified(false);
    ShowMemoText();
    ClearDotMaps();
}

void TFormMain::SavePlotItemClick() { SaveDataText(); }

void TFormMain::BtnGetDataFileClick() {
    OpenDialog1.InitialDir = DialogFolder(QFileInfo(State.GrdFileName).absolutePath());
    OpenDialog1.FilterIndex = 3;
    OpenDialog1.FileName = QStringLiteral("*.grd");
    if (!Dialogs().ExecuteOpen(this, OpenDialog1)) return;
    AddRecentFile(OpenDialog1.FileName);
    State.GrdFileName = OpenDialog1.FileName;
    EditGrdFile->setText(OpenDialog1.FileName);
}

void TFormMain::BtnGetMapFileClick() {
    OpenDialog1.InitialDir = DialogFolder(QFileInfo(State.MapFileName).absolutePath());
    OpenDialog1.FilterIndex = 2;
    OpenDialog1.FileName = QStringLiteral("*.mdt");
    if (!Dialogs().ExecuteOpen(this, OpenDialog1)) return;
    AddRecentFile(OpenDialog1.FileName);
    State.MapFileName = OpenDialog1.FileName;
    EditMapFile->setText(OpenDialog1.FileName);
}

void TFormMain::ConnectDataCommands() {
    EditorBox = new data::TEditorBox(memo1_, MappingSheet->Sheet());
    EditorBox->setObjectName(QStringLiteral("EditorBox"));
    EditorBox->move(60, 6);
    EditorBox->hide();
    memo1_.SetLines({"Mark1"});

    ConnectCommand(ReLoadGrd, &QAction::triggered, &TFormMain::ReLoadGrdClick);
    ConnectCommand(AddPlotItem, &QAction::triggered, &TFormMain::ReadGrdFile);
    ConnectCommand(SavePlotItem, &QAction::triggered, &TFormMain::SavePlotItemClick);
    ConnectCommand(ClearPlotItem, &QAction::triggered, &TFormMain::ClearPlotItemClick);
    ConnectCommand(BtnGetMapFile, &QPushButton::clicked, &TFormMain::BtnGetMapFileClick);
    ConnectCommand(BtnGetDataFile, &QPushButton::clicked, &TFormMain::BtnGetDataFileClick);
    ConnectCommand(EditorBox->SpeedButton1, &QToolButton::clicked, &TFormMain::ReadGrdFile);
    ConnectCommand(EditorBox->ClearBtn, &QToolButton::clicked, &TFormMain::ClearPlotItemClick);
    ConnectCommand(EditorBox->EdSaveBtn, &QToolButton::clicked, &TFormMain::SavePlotItemClick);
    ConnectEditorPaneCommands();
}

}  // namespace kavum::app
