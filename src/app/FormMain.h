#pragma once
// The main window: menus, the mapping sheet with the settings board and the
// three charts, the status bar, and the commands. It shows a document
// (doc/Document.h), which holds the drawing and runs its commands: the board's
// boxes write their values into the document as they change, and show them
// again when a command of the document changes them.
#include "app/AppState.h"
#include "app/Settings.h"
#include "doc/Document.h"
#include "data/DataText.h"
#include "data/EditorPane.h"
#include "plot/MarkEditor.h"
#include "plot/PlotReport.h"
#include "chart/Chart.h"
#include "chart/CustomChart.h"
#include "export/PrintSize.h"
#include "platform/Dialogs.h"

#include <QMainWindow>
#include <QPointer>
#include <QTextBrowser>

#include <memory>
#include <optional>

#include <exception>
#include <utility>

class QAction;
class QActionGroup;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QRadioButton;

namespace kavum::app {

class TAboutBox;
class TClickPanel;
class TScrollBox;
class TStatusBar;

class TFormMain : public QMainWindow {
    Q_OBJECT
public:
    // executablePath: the running program (the settings file and the open
    // dialog's folder follow from it); arguments: the command line after the
    // program name; dialogs: answers every dialog and shows every message.
    // The window is built and the settings read, but not shown.
    TFormMain(const QString& executablePath, const QStringList& arguments, platform::Dialogs& dialogs,
              QWidget* parent = nullptr);
    ~TFormMain() override;

    // ---- The document ----------------------------------------------------
    // Chart1 the horizontal map, Chart2 the west-east profile, Chart3 the
    // south-north profile; children of the mapping sheet, hidden until a map
    // is made. Each holds its map line series, then the point series of
    // categories 1..9 (SeriesH[1] is SeriesH1, and so on; entry 0 unused).
    chart::TChart* Chart1;
    chart::TChart* Chart2;
    chart::TChart* Chart3;
private:
    class View;
    std::unique_ptr<View> view_;
public:
    doc::Document Doc;
    AppState& State = Doc.State;
    chart::TLineSeries*& SeriesH0 = Doc.SeriesH0;
    chart::TLineSeries*& SeriesW0 = Doc.SeriesW0;
    chart::TLineSeries*& SeriesS0 = Doc.SeriesS0;
    PerCategory<chart::TPointSeries*>& SeriesH = Doc.SeriesH;
    PerCategory<chart::TPointSeries*>& SeriesW = Doc.SeriesW;
    PerCategory<chart::TPointSeries*>& SeriesS = Doc.SeriesS;
    platform::FileDialog OpenDialog1;
    platform::FileDialog SaveDialog1;
    platform::ColorDialog ColorDialog1;
    // The scale of a figure saved as SVG, PDF or PNG, asked after the file
    // is chosen; the last choice stays for the session.
    platform::FigureScaleDialog FigureScaleDialog1;
    platform::Dialogs& Dialogs() const { return dialogs_; }
    const QString& ExecutablePath() const { return executablePath_; }

    // ---- Menus ---------------------------------------------------------
    QMenu* MenuFile;      // "ファイル(&F)"
    QMenu* MenuEdit;      // "編集(&E)"
    QMenu* MenuDetail;    // "詳細(&F)"
    QMenu* MenuView;      // "表示(&V)"
    QMenu* MenuHelp;      // "ヘルプ(&H)"
    QAction* OpenIniFileItem;
    QAction* SaveIniFileItem;
    QAction* ReLoadGrd;
    QAction* AddPlotItem;
    QAction* SavePlotItem;
    QAction* SaveToEMFItem;
    QAction* MenuQuit;
    QAction* CopyEMFItem;
    QAction* ClearPlotItem;
    QAction* EdDataItem;
    QAction* EditMarkItem;
    QAction* ReSetItem;
    QAction* PlotSize12;
    QAction* PlotSize1;
    QAction* PlotSize2;
    QAction* PlotSize5;
    QAction* PlotSize10;
    QAction* PlotSize0;
    QAction* NoMeshLine;
    QAction* FirstMeshLine;
    QAction* SecondMeshLine;
    QAction* PrefLines;
    QAction* ShowAll;
    QAction* ShowHorizon;
    QAction* ShowVertical;
    QAction* ShowHeightFill;
    QAction* ShowWidthFill;
    QAction* HelpMokuji;
    QAction* HelpVersion;
    QActionGroup* PrecisionItems;
    QActionGroup* MeshLineItems;
    QActionGroup* ViewItems;
    QActionGroup* FitItems;
    // Pop-up menus of the charts.
    QMenu* PopupMenu1;
    QMenu* PopupMenu2;
    QMenu* PopupMenu3;
    QAction* BMPCopyTo_C1;
    QAction* EMFCopyTo_C1;
    QAction* SetLegendPos;
    QAction* EditMarkPopItem;   // "凡例を編集する"
    QAction* ReSetPopItem;      // "描画設定をやり直す"
    QAction* BMPCopyTo_C2;
    QAction* EMFCopyTo_C2;
    QAction* BMPCopyTo_C3;
    QAction* EMFCopyTo_C3;

    // ---- Mapping sheet and settings board ------------------------------
    TScrollBox* MappingSheet;
    QGroupBox* SettingBoard;
    QLineEdit* EditTitle;
    QLineEdit* EditIniFile;
    QPushButton* BtnGetIniFile;
    QLineEdit* EditMapFile;
    QPushButton* BtnGetMapFile;
    QLineEdit* EditGrdFile;
    QPushButton* BtnGetDataFile;
    QGroupBox* RangeGroup;          // "作図の範囲"
    QLineEdit* EditGY2;
    QLineEdit* EditGY1;
    QLineEdit* EditGX1;
    QLineEdit* EditGX2;
    QLineEdit* EditNWGrid;
    QLineEdit* EditSWGrid;
    QLineEdit* EditGH2;
    QLineEdit* EditI2K;
    QGroupBox* PrecisionGroup;      // "点の精度"
    QRadioButton* GScale12;
    QRadioButton* GScale1;
    QRadioButton* GScale2;
    QRadioButton* GScale5;
    QRadioButton* GScale10;
    QRadioButton* GScale0;
    QGroupBox* MeshLineGroup;       // "区画線"
    QRadioButton* MScale3;
    QRadioButton* MScale2;
    QRadioButton* MScale1;
    QRadioButton* MScale0;
    QCheckBox* Prefecture;
    QGroupBox* ViewGroup;           // "　作成分布図"
    QCheckBox* HorizonMap;
    QCheckBox* ProfileMap;
    TClickPanel* MapColorBt;
    TClickPanel* SubColorBt;
    TClickPanel* MshColorBt;
    TClickPanel* MapLWBtn;
    QPushButton* BtnCansel;
    QPushButton* NewMapBtn;

    // The precision radio button of a GridSize value, the mesh-line radio
    // button of a MeshSize value; nullptr for a value outside the list.
    QRadioButton* GScale(int gridSize) const;
    QRadioButton* MScale(int meshSize) const;
    // The value of the selected radio button of each group.
    int SelectedGridSize() const;
    int SelectedMeshSize() const;


    // ---- Status bar and dialogs ----------------------------------------
    TStatusBar* StatusBar1;
    TAboutBox* AboutBox;
    QTextBrowser* HelpWindow() const { return helpWindow_; }

    // ---- Start-up and settings -----------------------------------------
    void InitializeVariables();
    void ReadIniFile();
    void WriteIniFile();
    // Makes path the settings file in use and reads it, as reopening does
    // without the dialog (for a settings file named by another program).
    void LoadSettingsFile(const QString& path);
    // The board and AppState as the settings file keeps them.
    SettingsValues CurrentSettings() const;

    // ---- Commands (each runs inside RunCommand when the user starts it) -
    void OpenIniFileItemClick();
    void SaveIniFileItemClick();
    void MenuQuitClick();
    void HelpMokujiClick();
    void HelpVersionClick();
    void ReSetItemClick();
    void PlotSize12Click();
    void PlotSize1Click();
    void PlotSize2Click();
    void PlotSize5Click();
    void PlotSize10Click();
    void PlotSize0Click();
    void NoMeshLineClick();
    void FirstMeshLineClick();
    void SecondMeshLineClick();
    void PrefLinesClick();
    void ShowAllClick();
    void ShowHorizonClick();
    void ShowVerticalClick();
    void ShowHeightFillClick();
    void ShowWidthFillClick();
    void HorizonMapClick();
    void ProfileMapClick();
    void MapColorBtClick();
    void SubColorBtClick();
    void MshColorBtClick();
    void MapLWBtnClick();
    void BtnCanselClick();
    void NewMapBtnClick();
    void ReplaceMaps();

    // ---- Drawing sequence, map lines, data and plotting (DrawingSequence.cpp)
    void GetDataFromScr();
    void SetGridType();
    void SetChartLabels(chart::TCustomChart& chart, bool on);
    void DrawMapLines();
    void ClearMapLines();
    void ClearDotMaps();
    // The plotting pass over the data text; captureNames false writes the
    // legend names back into the heading lines.
    void PlotOnMap(bool captureNames);
    void RePlotting();
    // The message and status bar text of the last pass's warnings.
    void ReportPlotWarnings();
    // The line of the data text (from 0) at which the last plotting pass
    // stopped on a record that does not convert; empty after a whole pass.
    std::optional<std::size_t> FailedDataLine() const { return Doc.FailedLine; }
    // After the message of a failed pass: the data editor shows and selects
    // the line it stopped at (once per failure).
    void ShowFailedDataLine();
    // What the last plotting pass had to say (notices, tenth heading,
    // records not drawn); filled up to a failing line too.
    const plot::PlotReport& LastPlotReport() const { return Doc.LastPlotReport(); }
    // Whether a pass with warnings shows them in a message box (the
    // command-line renderer prints them itself).
    bool ShowPlotWarnings = true;
    // Atlas production (FormMainAtlas.cpp): on the map already made, the
    // figure of another data text, as making the map with a data file of
    // these lines would draw it, titled `title`. A record line that does
    // not convert throws, as the pass does; FailedDataLine tells where.
    void PlotDataText(std::vector<std::string> lines, const QString& title);
    // Replaces the data text with the file named on the board.
    void LoadGrdFile();
    void ReadGrdFile();
    void ReLoadGrdClick();
    void ClearPlotItemClick();
    void SavePlotItemClick();
    void BtnGetDataFileClick();
    void BtnGetMapFileClick();
    // The data text (the data editor's lines). Edits made in the open
    // editor pane are taken in first.
    data::DataText& Memo1Text();
    // Shows the data text in the editor pane when the pane is open.
    void ShowMemoText();
    void ConnectDataCommands();
    // Marks the three charts for repainting and repaints the window.
    void RepaintCharts();
    // Repaints the charts when it goes out of scope, however a command ends.
    class RepaintOnExit {
    public:
        explicit RepaintOnExit(TFormMain& form) : form_(form) {}
        ~RepaintOnExit() { form_.RepaintCharts(); }
        RepaintOnExit(const RepaintOnExit&) = delete;
        RepaintOnExit& operator=(const RepaintOnExit&) = delete;

    private:
        TFormMain& form_;
    };
    // The form's client area: the window below its menu bar.
    QSize ClientSize() const;
    // Resizes the window to the given client area (a shown window).
    void SetClientSize(const QSize& size);
    data::TEditorBox* EditorBox = nullptr;

    // ---- Files given to the window, questions, conventions (FormMainFiles.cpp)
    // Opens a file by its kind, as the matching command would: a data file
    // or a map file is named on the board and the map made; a settings file
    // is read as by reopening it. Given on the command line, dropped on the
    // window or chosen from the recent files.
    void OpenFile(const QString& path);
    void OpenDataFile(const QString& path);
    void OpenMapFile(const QString& path);
    // A table (.csv, .tsv) given to the window. Read as a data file for now.
    void OpenTableFile(const QString& path);
    // True when the data editor's text was edited and not saved since.
    bool EditorTextModified() const;
    void SetEditorTextModified(bool modified);
    // Before a command replaces or empties edited data text: asks whether
    // to save it first (はい saves, いいえ lets it go); false when the user
    // cancels, at the question or in the save dialog.
    bool MayDiscardEditorText();
    // Before a file chosen for saving replaces one that exists: asks, and
    // true only when the user agrees (or there is no such file).
    bool MayReplaceFile(const QString& path);
    // Saves the data text under a chosen name; false when nothing was written.
    bool SaveDataText();
    // On quitting with edited data text: はい saves it first, いいえ quits
    // without; false when the window is to stay open.
    bool MayQuitWithEditorText();
    // The folder a file dialog starts in (see StartFolder); the folder of the
    // last file chosen in a dialog is remembered.
    QString DialogFolder(const QString& preferred) const;
    void RememberFolder(const QString& chosenFile);
    const QString& LastFolder() const { return lastFolder_; }
    // The recent files, newest first, and their submenu "最近使ったファイル".
    QMenu* MenuRecent = nullptr;
    const QStringList& RecentFiles() const { return recentFiles_; }
    void AddRecentFile(const QString& path);
    // Keeps the window's size and place, the recent files and the last
    // folder in this file between runs; empty (the default): nothing kept.
    void UseWindowStateFile(const QString& path);
    void SaveWindowState() const;

    // ---- Figure export (FormMainExport.cpp)
    void SaveToEMFItemClick();
    void CopyEMFItemClick();
    void BMPCopyTo_C1Click();
    void BMPCopyTo_C2Click();
    void BMPCopyTo_C3Click();
    void EMFCopyTo_C1Click();
    void EMFCopyTo_C2Click();
    void EMFCopyTo_C3Click();
    // The two profiles and the three views, written to an enhanced metafile.
    void Save2VChart(const QString& fileName);
    void Save3DChart(const QString& fileName);
    // Writes the figure of the show mode, as "図をEMF形式で保存" saves it, in
    // the format the file's extension names (.emf, .svg, .pdf, .png; any
    // other an enhanced metafile); nothing before the first map.
    void SaveFigure(const QString& fileName, double scale = 1.0);
    // The file contents SaveFigure would write, without writing them; none
    // before the first map.
    std::optional<QByteArray> FigureFileBytes(const QString& fileName, double scale = 1.0);
    // The same at the size, text and lines the print options ask for.
    void SaveFigure(const QString& fileName, const exporting::PrintOptions& print);
    std::optional<QByteArray> FigureFileBytes(const QString& fileName, const exporting::PrintOptions& print);
    void ConnectExportCommands();

    // ---- Overlays, legend, marks, readout, data editor (FormMainOverlays.cpp)
    // The mark editor, lying on Chart1 under the legend box; hidden until
    // the legend is edited.
    plot::TMarkEditor* MrkEdPanel = nullptr;
    // Axis label hooks: whole degrees with the degree sign in the layouts
    // that show axis labels.
    void Chart1GetAxisLabel(chart::TCustomChartAxis& sender, chart::TChartSeries* series, int valueIndex,
                            QString& labelText);
    void Chart2GetAxisLabel(chart::TCustomChartAxis& sender, chart::TChartSeries* series, int valueIndex,
                            QString& labelText);
    void Chart3GetAxisLabel(chart::TCustomChartAxis& sender, chart::TChartSeries* series, int valueIndex,
                            QString& labelText);
    // After-draw hooks: the legend box (every layout) and the degree labels
    // on Chart1, the elevation labels on the profiles (three views only).
    // Chart1AfterDraw also runs outside a paint, over the chart's picture.
    void Chart1AfterDraw();
    void Chart2AfterDraw();
    void Chart3AfterDraw();
    // The edited legend entry into the mark editor's controls.
    void LoadMarkControls();
    // Pointer readout: chart values under a press, status panels for the
    // left button, the legend entry under a press while editing it.
    void Chart1MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y);
    void Chart2MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y);
    void Chart3MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y);
    // Whole metres, at most four digits (1235 for 1234.6); exponent form beyond.
    static QString ElevationText(double metres);
    // Legend and mark editor.
    void EditMarkItemClick();
    void EditLegNameChange();
    void ComboBoxMarkChange();
    void ComboBoxSizeChange();
    void BtnMrkColorClick();
    void MarkRimClick();
    void BtnMrkExitClick();
    void SetLegendPosClick();
    // Data editor pane.
    void EdDataItemClick();
    void EdCancelBtnClick();
    void EdReDrawBtnClick();
    // Hooks of the charts, the mark editor and the legend and editor items
    // (at the end of BuildCharts); the pane's buttons once the pane exists.
    void ConnectOverlayCommands();
    void ConnectEditorPaneCommands();

    // The one error path: runs a command and shows any error it raises in a
    // message box (caption "Kavum for Windows", error icon). Nothing thrown
    // leaves it. Returns false when the command failed.
    template <class F>
    bool RunCommand(F&& command) noexcept {
        try {
            std::forward<F>(command)();
            return true;
        } catch (...) {
            ShowError(std::current_exception());
            ShowFailedDataLine();
            return false;
        }
    }
    // Connects a signal to a command of the window through RunCommand.
    template <class Sender, class Signal>
    void ConnectCommand(Sender* sender, Signal signal, void (TFormMain::*command)()) {
        connect(sender, signal, this, [this, command] { RunCommand([this, command] { (this->*command)(); }); });
    }

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void BuildMenus();
    void BuildBoard();
    void BuildStatusBar();
    void BuildCharts();
    void BuildConventions();
    // The board's boxes and buttons write into the document's board as they
    // change; ShowBoard shows the document's board in them.
    void BindBoard();
public:
    void ShowBoard();
private:
    void UpdateRecentMenu();
    void FormCreate(const QStringList& arguments);
public:
    // Shows an error as the command wrapper does.
    void ShowError(std::exception_ptr error) noexcept;
    void ShowErrorMessage(const QString& message) noexcept;

private:
    void ChoosePrecision(QAction* item, int gridSize);
    // The executable's folder, where the settings dialog starts; empty for an
    // installed program.
    QString ProgramFolder() const;
    void ChooseMeshLines(int meshSize);
    void ChooseLineColor(TClickPanel* panel, std::uint32_t& field);
    void SetLineWidthCaption();

    platform::Dialogs& dialogs_;
    QString executablePath_;
    QPointer<QTextBrowser> helpWindow_;
    bool sized_ = false;
    QString lastFolder_;
    QStringList recentFiles_;
    QString windowStateFile_;
    bool geometryRestored_ = false;
    // Set by 終了 once the user has agreed: the window then closes without
    // asking again.
    bool closeAgreed_ = false;
    // The precision item whose check mark a cancelled choice puts back.
    QAction* precisionChecked_ = nullptr;
};

}  // namespace kavum::app
