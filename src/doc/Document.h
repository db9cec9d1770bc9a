#pragma once
// The document: the state of one drawing (the values of the settings board,
// the map lines, the data text, the three charts and their legend) and the
// commands over it: making the map, the plotting pass, redrawing, the
// figures and the settings file. The main window shows a document and turns
// the user's actions into its commands; kavum-render runs the same commands
// without a window.
#include "chart/CustomChart.h"
#include "data/DataText.h"
#include "doc/AppState.h"
#include "doc/Settings.h"
#include "export/Figure.h"
#include "export/PrintSize.h"
#include "platform/Errors.h"
#include "plot/PlotReport.h"

#include <QByteArray>
#include <QSize>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kavum::doc {

// The values of the settings board, as its boxes and buttons hold them.
struct BoardValues {
    QString Title;
    QString IniFile;
    QString MapFile;
    QString GrdFile;
    QString GY2, GY1, GX1, GX2;
    QString NWGrid, SWGrid;
    QString GH2, I2K;
    // The GridSize value of the chosen precision button and the MeshSize
    // value of the chosen mesh-line button; -1 while none is chosen.
    int GridSize = -1;
    int MeshSize = -1;
    bool Prefecture = false;
    bool HorizonMap = true;
    bool ProfileMap = true;
    // The colours the line colour buttons show.
    platform::TColor MapColor = 0;
    platform::TColor SubColor = 0;
    platform::TColor MshColor = 0;
};

// What a document tells the window that shows it. Every call comes at the
// point of the command where the window's part of it belongs; a document
// without a window ignores them.
class DocumentView {
public:
    virtual ~DocumentView() = default;
    // The area the charts are laid out in; nullopt: the document's ClientSize.
    virtual std::optional<QSize> ClientArea() const { return std::nullopt; }
    // Before and after the charts are laid out anew.
    virtual void PlacingCharts() {}
    virtual void ChartsPlaced() {}
    // Before the data text is used: edits not yet taken into it.
    virtual void TakeEditedText() {}
    // The data text was replaced by a file's (loaded: it is as saved).
    virtual void DataTextLoaded() {}
    // The data text was changed in place and is to be shown anew.
    virtual void DataTextChanged() {}
    // A plotting pass starts, and a pass ended with something to report.
    virtual void PlotPassStarted() {}
    virtual void PlotPassReport(const plot::PlotReport& /*report*/) {}
    // A pass stopped at a line that does not convert: what was drawn and
    // refused above it.
    virtual void PlotPassFailed(const plot::PlotReport& /*report*/) {}
    // A file named as data file that the view reads itself (a table it
    // imported): true with its data text, false to read it as a data file.
    // Throws platform::FileError.
    virtual bool ReadDataFile(const QString& /*path*/, data::DataText& /*text*/) { return false; }
    // The legend was drawn while it is edited.
    virtual void LegendEdited() {}
    // The board's values were changed by a command.
    virtual void BoardChanged() {}
    // A command is busy for a while.
    virtual void Busy(bool /*on*/) {}
};

class Document {
public:
    // The three charts: the horizontal map, the west-east profile and the
    // south-north profile (windows of their own in the main window, plain
    // charts elsewhere). They are designed here and get their series.
    Document(chart::TCustomChart& chart1, chart::TCustomChart& chart2, chart::TCustomChart& chart3,
             DocumentView* view = nullptr);
    Document(const Document&) = delete;
    Document& operator=(const Document&) = delete;

    AppState State;
    BoardValues Board;
    // The client area the charts are laid out in when no window says.
    QSize ClientSize{810, 559};

    chart::TCustomChart* Chart1;
    chart::TCustomChart* Chart2;
    chart::TCustomChart* Chart3;
    chart::TLineSeries* SeriesH0 = nullptr;
    chart::TLineSeries* SeriesW0 = nullptr;
    chart::TLineSeries* SeriesS0 = nullptr;
    PerCategory<chart::TPointSeries*> SeriesH{};
    PerCategory<chart::TPointSeries*> SeriesW{};
    PerCategory<chart::TPointSeries*> SeriesS{};

    // ---- Settings ------------------------------------------------------
    void InitializeVariables();
    // The settings file in use (State.IniFileName), read; *unreadable is set
    // when it is there but cannot be read (the values are the defaults).
    SettingsValues LoadIniFile(bool* unreadable, std::string* reason) const;
    // The values of a settings file into the board and the state.
    void ApplySettings(const SettingsValues& values);
    // The board and the state as the settings file keeps them.
    SettingsValues CurrentSettings() const;
    // The precision and mesh lines chosen on the board (the state's while
    // none is chosen).
    int SelectedGridSize() const;
    int SelectedMeshSize() const;

    // ---- Making the map -------------------------------------------------
    // The board into the state.
    void GetDataFromBoard();
    // A map file that is there but is no regular file is refused (throws);
    // false when there is no such file.
    bool MapFileFound() const;
    // Lays out the charts, the mesh-line grids, the map lines, and the data
    // file read and plotted: the map made from the state.
    void DrawMap();
    // The whole command without a window: the board into the state, then the
    // map; false when the map file is missing (nothing drawn).
    bool MakeMap();
    // Whether a map has been made.
    bool MapMade() const { return mapMade_; }
    void SetMapMade() { mapMade_ = true; }

    void SetGridType();
    void SetChartLabels(chart::TCustomChart& chart, bool on);
    void ReplaceMaps();
    void DrawMapLines();
    void ClearMapLines();
    void ClearDotMaps();

    // ---- Data text and plotting -----------------------------------------
    // The data text, edits of the window taken in first; Lines() without.
    data::DataText& Text();
    data::DataText& RawText() { return text_; }
    // Replaces the data text with the file named on the board and plots it.
    void LoadGrdFile();
    // The plotting pass over the data text; captureNames false writes the
    // legend names back into the heading lines.
    void PlotOnMap(bool captureNames);
    void RePlotting() { PlotOnMap(false); }
    // On the map already made, the figure of another data text, titled.
    void PlotDataText(std::vector<std::string> lines, const QString& title);
    // The line of the data text (from 0) at which the last pass stopped.
    std::optional<std::size_t> FailedLine;
    // Whether the window has shown that line since.
    bool FailedLineShown = true;
    const plot::PlotReport& LastPlotReport() const { return report_; }

    // ---- Overlays --------------------------------------------------------
    void Chart1AfterDraw();
    void Chart2AfterDraw();
    void Chart3AfterDraw();
    QString AxisLabel(int chart, const QString& text) const;
    // The name a figure shows for a category's series.
    QString SeriesLabel(const chart::TChartSeries& series) const;

    // ---- Pointer, legend and marks --------------------------------------
    // A press on chart 1, 2 or 3 at (x, y): the chart values under it into
    // PointerX and PointerY (for the south-north profile: latitude and
    // elevation, in the layouts that show it). While the legend is edited a
    // press on the map picks the entry of its row and redraws the legend;
    // true then, and nothing else of the press counts.
    bool PointerPressed(int chart, int x, int y);
    // The legend's top left corner at the last press on the map.
    void MoveLegendToPointer();
    // Starts and ends editing the legend; the end plots the records anew
    // (without doubling them).
    void BeginLegendEditing();
    void EndLegendEditing();
    // The edited entry's name, mark style (a symbol of the editor's list),
    // size, fill and rim; each redraws the legend. A style or size the
    // lists do not hold changes nothing.
    int EditedCategory() const;
    void SetEditedName(const QString& name);
    void SetEditedStyle(std::optional<int> style);
    void SetEditedSize(int listIndex);
    void SetEditedFill(std::uint32_t colour);
    void SetEditedRim(bool rim);
    // Clears the marks and runs the pass again (names back into the text).
    void Replot();

    // ---- Figures ---------------------------------------------------------
    exporting::FigureCharts Charts() const { return exporting::FigureCharts{Chart1, Chart2, Chart3}; }
    exporting::LegendPosition Legend() { return exporting::LegendPosition{&State.LegendLeft, &State.LegendTop}; }
    // The figure of the show mode as saved; none before the first map.
    std::optional<exporting::Figure> SavedFigure() const;
    // Writes the figure of the show mode in the format, at the print
    // options; nothing before the first map.
    void SaveFigureAs(const QString& fileName, exporting::FigureFormat format, const exporting::PrintOptions& print);
    // The same in the format the file's extension names (.emf otherwise).
    void SaveFigure(const QString& fileName, const exporting::PrintOptions& print);
    // The file contents SaveFigure would write; none before the first map.
    // The files of one run share what their PDF pages draw alike.
    std::optional<QByteArray> FigureFileBytes(const QString& fileName, const exporting::PrintOptions& print,
                                              platform::TPdfShared* shared = nullptr);
    // The metafiles of the two profiles and of the three views.
    void Save2VChart(const QString& fileName);
    void Save3DChart(const QString& fileName);
    // The figure of the show mode on the clipboard.
    void CopyFigure();

private:
    void DesignCharts();

    DocumentView* view_;
    DocumentView none_;
    data::DataText text_;
    // Categories whose legend names were taken from the data text.
    int namedCategories_ = 0;
    plot::PlotReport report_;
    bool mapMade_ = false;
};

// The messages of a settings file that cannot be read and of a settings
// folder that cannot be made.
QString SettingsUnreadableMessage(const QString& path, const std::string& reason);
QString SettingsFolderMessage(const QString& folder, int error);

// The error of a data file that could not be read, with the reason.
platform::FileError DataFileReadError(const QString& path, const platform::FileError& cause);

// Scale-only print options.
exporting::PrintOptions ScaleOnly(double scale);

}  // namespace kavum::doc
