// Making the map: the window's part of the drawing sequence (the board, the
// questions and dialogs, the sheet and the status bar); the sequence itself
// is the document's.
#include "FormMain.h"

#include "app/BusyCursor.h"
#include "app/Widgets.h"
#include "chart/Chart.h"
#include "data/EditorPane.h"
#include "geo/MeshCode.h"

#include <QApplication>
#include <QFile>
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

}  // namespace

// ---------------------------------------------------------------- the board

void TFormMain::GetDataFromScr() {
    Doc.GetDataFromBoard();
    StatusBar1->SetPanelText(0, QFileInfo(Doc.Board.GrdFile).fileName());
    if (const geo::PrecisionInfo* info = geo::FindPrecision(State.GridSize)) {
        StatusBar1->SetPanelText(2, QString::fromUtf8(info->statusLabel));
    }
    StatusBar1->SetPanelText(4, QString::number(State.MeshSize));
}

void TFormMain::SetGridType() { Doc.SetGridType(); }

// ---------------------------------------------------------------- layout

void TFormMain::SetChartLabels(chart::TCustomChart& chart, bool on) { Doc.SetChartLabels(chart, on); }

void TFormMain::ReplaceMaps() { Doc.ReplaceMaps(); }

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
    if (!Doc.MapFileFound()) {
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
        Doc.DrawMap();
    }
    Doc.SetMapMade();
    MenuEdit->menuAction()->setEnabled(true);
}

// ---------------------------------------------------------------- map lines

void TFormMain::ClearMapLines() { Doc.ClearMapLines(); }

void TFormMain::DrawMapLines() { Doc.DrawMapLines(); }

// ---------------------------------------------------------------- plotting

void TFormMain::ClearDotMaps() { Doc.ClearDotMaps(); }

data::DataText& TFormMain::Memo1Text() { return Doc.Text(); }

void TFormMain::ShowMemoText() {
    if (EditorBox && EditorBox->isVisible()) EditorBox->ShowText();
}

void TFormMain::PlotOnMap(bool captureNames) { Doc.PlotOnMap(captureNames); }

void TFormMain::ReportPlotWarnings() {
    const plot::PlotReport& report = Doc.LastPlotReport();
    if (report.Skipped() == 0 && !report.HasWarnings()) return;
    StatusBar1->showMessage(QString::fromStdString(report.Summary()), 20000);
    const std::string message = report.WindowMessage();
    if (message.empty() || !ShowPlotWarnings) return;
    try {
        dialogs_.ShowMessage(this, QStringLiteral("Kavum for Windows"), QString::fromStdString(message),
                             platform::MessageIcon::Warning);
    } catch (...) {
    }
}

void TFormMain::RePlotting() { Doc.RePlotting(); }

void TFormMain::RepaintCharts() {
    for (TChart* chart : {Chart1, Chart2, Chart3}) chart->Invalidate();
    update();
}

// ---------------------------------------------------------------- data files

void TFormMain::LoadGrdFile() { Doc.LoadGrdFile(); }

void TFormMain::ReadGrdFile() {
    OpenDialog1.InitialDir = DialogFolder(QFileInfo(State.GrdFileName).absolutePath());
    OpenDialog1.FilterIndex = 3;
    OpenDialog1.FileName = QStringLiteral("*.grd");
    std::exception_ptr readError;
    if (Dialogs().ExecuteOpen(this, OpenDialog1)) {
        const QString path = OpenDialog1.FileName;
        RememberFolder(path);
        try {
            Memo1Text().AppendFile(QFile::encodeName(path).toStdString());
            StatusBar1->SetPanelText(0, QFileInfo(path).fileName());
            EditGrdFile->setText(path);
        } catch (const platform::FileError& e) {
            readError = std::make_exception_ptr(doc::DataFileReadError(path, e));
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
    EditorBox = new data::TEditorBox(Doc.RawText(), MappingSheet->Sheet());
    EditorBox->setObjectName(QStringLiteral("EditorBox"));
    EditorBox->move(60, 6);
    EditorBox->hide();
    Doc.RawText().SetLines({"Mark1"});

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
