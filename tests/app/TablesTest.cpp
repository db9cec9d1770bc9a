// Tables and GIS files through the window: the import preview, the data
// text it gives (the same as kavum-render --convert writes), the map made
// and remade from it, the export of the plotted cells, and the warnings of
// the plotting pass.
#include "WindowTest.h"

#include "app/FormMain.h"
#include "app/Widgets.h"
#include "chart/Chart.h"
#include "platform/Cp932.h"
#include "data/EditorPane.h"
#include "platform/Dialogs.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

#include <cmath>
#include <sys/stat.h>
#include <fstream>
#include <memory>
#include <sstream>

using kavum::app::TFormMain;
using kavum::app::test::Assets;
using kavum::app::test::ReadBytes;
using kavum::app::test::WindowTest;
using kavum::app::test::WriteBytes;
using kavum::platform::Answer;
using kavum::platform::ScriptedDialogs;
using kavum::platform::TableImportDialog;
using kavum::platform::TableRoleColumns;

namespace {

// A GBIF "simple" download cut to its columns of interest: a species left
// empty (scientificName stands in), an elevation only in the minimum, a
// row without coordinates and one outside the mesh system.
const char* const Gbif =
    "gbifID\tdatasetKey\tkingdom\tspecies\tscientificName\tdecimalLatitude\tdecimalLongitude\televation\t"
    "minimumElevationInMeters\tcountryCode\n"
    "1\tk\tPlantae\tFagus crenata\tFagus crenata Blume\t35.36083\t138.7275\t1500\t\tJP\n"
    "2\tk\tPlantae\t\tQuercus L.\t35.6586\t139.7454\t\t40\tJP\n"
    "3\tk\tPlantae\tFagus crenata\tFagus crenata Blume\t43.06417\t141.34694\t20\t\tJP\n"
    "4\tk\tPlantae\tFagus crenata\tFagus crenata Blume\t\t\t\t\tJP\n"
    "5\tk\tPlantae\tAbies firma\tAbies firma\t-12.5\t139\t\t\tJP\n";

class TablesTest : public WindowTest {
protected:
    TFormMain& Start() {
        NewWindow();
        window->EditMapFile->setText(Assets + QStringLiteral("/Kavum_Nippon.mdt"));
        window->EditGrdFile->setText(Write("data.grd", kavum::platform::Utf8ToCp932("ブナ\r\n53394611.12\r\n")));
        window->GScale(1)->setChecked(true);
        window->show();
        QApplication::processEvents();
        return *window;
    }
    QString Write(const char* name, const std::string& bytes) {
        const QString path = dir.filePath(QString::fromUtf8(name));
        WriteBytes(path, bytes);
        return path;
    }
    // What kavum-render --convert writes for the table with these options.
    std::string Converted(const QString& table, QStringList options) {
        const QString out = dir.filePath(QStringLiteral("converted.grd"));
        QFile::remove(out);
        QProcess p;
        p.start(QStringLiteral(KAVUM_BINARY_DIR "/kavum-render"), QStringList{"--table", table} << options
                                                                         << QStringList{"--convert", out});
        EXPECT_TRUE(p.waitForFinished(60000));
        EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
        return ReadBytes(out);
    }
    std::vector<ScriptedDialogs::Use> Imports() const { return dialogs.UsesOf(ScriptedDialogs::Kind::TableImport); }
};

bool HasPoint(const kavum::chart::TPointSeries* series, double x, double y) {
    for (int i = 0; i < series->Count(); ++i)
        if (std::abs(series->XValue(i) - x) < 5e-5 && std::abs(series->YValue(i) - y) < 5e-5) return true;
    return false;
}

}  // namespace

// A GBIF download as it is: the preview proposes the columns found by their
// names, the data text is the one --convert writes, the map is made with
// it, and making the map again reads the table again, not as a data file.
TEST_F(TablesTest, GbifDownloadImportsAsConvertWritesIt) {
    TFormMain& w = Start();
    const QString table = Write("0012345-240101.csv", Gbif);
    dialogs.AnswerOpen(table);
    w.ImportTableItem->trigger();

    ASSERT_EQ(Imports().size(), 1u);
    const std::vector<ScriptedDialogs::Use> imports = Imports();
    const ScriptedDialogs::Use& shown = imports[0];
    EXPECT_EQ(shown.table.FileName, table);
    EXPECT_FALSE(shown.table.ShiftJis);
    EXPECT_FALSE(shown.table.DegreesMinutes);
    EXPECT_EQ(shown.table.Columns, (TableRoleColumns{3, 5, 6, 7, -1}));
    EXPECT_EQ(shown.preview.Found, shown.table.Columns);
    EXPECT_EQ(shown.preview.Header.value(4), "scientificName");
    ASSERT_EQ(shown.preview.Rows.size(), 5u);
    EXPECT_EQ(shown.preview.Rows[1].value(4), "Quercus L.");
    EXPECT_TRUE(shown.preview.Usable);
    EXPECT_EQ(shown.preview.Lines.value(0), "Fagus crenata");
    EXPECT_TRUE(shown.preview.Note.contains(QStringLiteral("5 行から 3 件"))) << shown.preview.Note.toStdString();

    const std::string expected = Converted(table, {});
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(w.Memo1Text().FileText(), expected);
    EXPECT_EQ(w.EditGrdFile->text(), table);
    EXPECT_EQ(w.RecentFiles().value(0), table);
    EXPECT_FALSE(w.EditorTextModified());
    // The rows that could not be used are told once, with their lines.
    const QStringList messages = dialogs.Messages();
    ASSERT_EQ(messages.size(), 1) << messages.join('\n').toStdString();
    EXPECT_TRUE(messages[0].contains(QStringLiteral("0012345-240101.csv:5:"))) << messages[0].toStdString();
    EXPECT_TRUE(messages[0].contains(QStringLiteral("0012345-240101.csv:6:")));
    EXPECT_TRUE(messages[0].contains(QStringLiteral("使えない 2 行")));

    // Every point in its standard cell: Fuji, Tokyo, Sapporo.
    ASSERT_EQ(w.State.CategoryCount, 2);
    EXPECT_EQ(w.State.LegendNames[1], "Fagus crenata");
    EXPECT_EQ(w.State.LegendNames[2], "Quercus L.");
    EXPECT_TRUE(HasPoint(w.SeriesH[1], 138.73125, 35.3625));
    EXPECT_TRUE(HasPoint(w.SeriesH[1], 141.34375, 43.0625));
    EXPECT_TRUE(HasPoint(w.SeriesH[2], 139.74375, 35.6625));
    EXPECT_TRUE(HasPoint(w.SeriesW[1], 138.73125, 1550));

    // Another precision remakes the map from the table, silently.
    dialogs.ClearUses();
    w.PlotSize10->trigger();
    EXPECT_TRUE(dialogs.Messages().isEmpty()) << dialogs.Messages().join('\n').toStdString();
    EXPECT_EQ(w.State.CategoryCount, 2);
    EXPECT_EQ(w.SeriesH[1]->Count(), 2);
    EXPECT_EQ(w.Memo1Text().FileText(), expected);

    // Opened again, the dialog proposes the same choice.
    dialogs.AnswerOpen(table);
    w.ImportTableItem->trigger();
    ASSERT_EQ(Imports().size(), 1u);
    EXPECT_EQ(Imports()[0].table.Columns, (TableRoleColumns{3, 5, 6, 7, -1}));
}

// A spreadsheet in Shift-JIS with names the program does not know and
// degrees.minutes text: nothing is proposed for the position, the columns
// are chosen by hand, and the text is what --columns and --degrees give.
// A column left out (the elevation) is not read.
TEST_F(TablesTest, ColumnsChosenByHandMatchTheOptionsOfTheRenderer) {
    TFormMain& w = Start();
    const QString table = Write("調査.csv", kavum::platform::Utf8ToCp932("調査地,北緯,東経,高さ,標高\r\n"
                                                                        "富士山,35.2138,138.4339,3776,3776\r\n"
                                                                        "高尾山,35.3730,139.1435,599,599\r\n"));
    dialogs.AnswerOpen(table);
    dialogs.AnswerTableImport([](TableImportDialog& d) {
        d.Columns = {0, 1, 2, 3, -1};
        d.DegreesMinutes = true;
    });
    w.ImportTableItem->trigger();
    ASSERT_EQ(Imports().size(), 1u);
    const std::vector<ScriptedDialogs::Use> imports = Imports();
    const ScriptedDialogs::Use& shown = imports[0];
    EXPECT_TRUE(shown.table.ShiftJis);
    EXPECT_EQ(shown.table.Columns, (TableRoleColumns{-1, -1, -1, 4, -1}));
    EXPECT_FALSE(shown.preview.Usable);
    EXPECT_TRUE(shown.preview.Lines.isEmpty());
    EXPECT_EQ(shown.preview.Header.value(0), QStringLiteral("調査地"));
    // The preview of the choice made.
    TableImportDialog chosen = shown.table;
    chosen.Columns = {0, 1, 2, 3, -1};
    chosen.DegreesMinutes = true;
    const kavum::platform::TablePreview preview = chosen.Preview(chosen);
    EXPECT_TRUE(preview.Usable);
    EXPECT_EQ(preview.Lines, QStringList({QStringLiteral("富士山"), "35.21380,138.43390,3776", QStringLiteral("高尾山"),
                                          "35.37300,139.14350,599"}));

    EXPECT_EQ(w.Memo1Text().FileText(),
              Converted(table, {"--columns", "category=調査地,lat=北緯,lon=東経,elev=高さ", "--degrees", "dms",
                                "--encoding", "shift_jis"}));
    EXPECT_TRUE(dialogs.Messages().isEmpty()) << dialogs.Messages().join('\n').toStdString();
    EXPECT_EQ(w.State.CategoryCount, 2);

    // The same table without its elevation: no point on the profiles.
    dialogs.AnswerOpen(table);
    dialogs.AnswerTableImport([](TableImportDialog& d) { d.Columns = {0, 1, 2, -1, -1}; });
    w.ImportTableItem->trigger();
    EXPECT_EQ(w.Memo1Text().Line(1), "35.21380,138.43390");
    EXPECT_EQ(w.SeriesH[1]->Count(), 1);
    EXPECT_TRUE(HasPoint(w.SeriesW[1], 138.73125, 8888));   // no elevation

    // A choice without a position is refused through the error path.
    dialogs.ClearUses();
    dialogs.AnswerOpen(table);
    dialogs.AnswerTableImport([](TableImportDialog& d) { d.Columns = {0, 1, -1, 3, -1}; });
    w.ImportTableItem->trigger();
    ASSERT_EQ(dialogs.UsesOf(ScriptedDialogs::Kind::Message).size(), 1u);
    EXPECT_EQ(dialogs.UsesOf(ScriptedDialogs::Kind::Message)[0].icon, kavum::platform::MessageIcon::Error);
    EXPECT_EQ(w.Memo1Text().Line(1), "35.21380,138.43390");
}

// Cancelling anywhere changes nothing; edited text is asked about first; a
// .csv of the program's own format dropped on the window is a data file,
// a table there goes through the preview.
TEST_F(TablesTest, CancelAndEditedTextAndOpenedFiles) {
    TFormMain& w = Start();
    w.NewMapBtnClick();
    const std::string before = w.Memo1Text().FileText();
    const QString table = Write("t.tsv", Gbif);

    dialogs.AnswerOpen(table);
    dialogs.AnswerTableImport(std::nullopt);
    w.ImportTableItem->trigger();
    EXPECT_EQ(Imports().size(), 1u);
    EXPECT_EQ(w.Memo1Text().FileText(), before);
    EXPECT_NE(w.EditGrdFile->text(), table);

    // Edited text: the question comes before the file dialog.
    w.SetEditorTextModified(true);
    dialogs.ClearUses();
    dialogs.AnswerYesNoCancel(Answer::Cancel);
    w.ImportTableItem->trigger();
    EXPECT_EQ(dialogs.UsesOf(ScriptedDialogs::Kind::YesNoCancel).size(), 1u);
    EXPECT_TRUE(dialogs.UsesOf(ScriptedDialogs::Kind::Open).empty());
    EXPECT_TRUE(w.EditorTextModified());
    EXPECT_EQ(w.Memo1Text().FileText(), before);
    // Let go: the table replaces it.
    dialogs.AnswerYesNoCancel(Answer::No);
    dialogs.AnswerOpen(table);
    w.ImportTableItem->trigger();
    EXPECT_EQ(w.EditGrdFile->text(), table);
    EXPECT_EQ(w.State.CategoryCount, 2);

    // Opened files: a data file named .csv stays a data file.
    dialogs.ClearUses();
    const QString own = Write("own.csv", kavum::platform::Utf8ToCp932("ミズナラ\r\n53394611\r\n53394612\r\n"));
    w.OpenFile(own);
    EXPECT_TRUE(Imports().empty());
    EXPECT_EQ(w.SeriesH[1]->Count(), 2);
    w.OpenFile(table);
    EXPECT_EQ(Imports().size(), 1u);
    EXPECT_EQ(w.EditGrdFile->text(), table);
    EXPECT_TRUE(TFormMain::IsTableFile(table));
    EXPECT_FALSE(TFormMain::IsTableFile(own));
    EXPECT_FALSE(TFormMain::IsTableFile(dir.filePath(QStringLiteral("missing.csv"))));
    const QString fifo = dir.filePath(QStringLiteral("fifo.csv"));
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0644), 0);
    EXPECT_FALSE(TFormMain::IsTableFile(fifo));   // not opened: it would block
}

// A table named on the board without the preview (chosen with 参照, or
// kept in the settings file from an earlier session) is read with the
// columns found by their names, as --table reads it, and never as a data
// file of the program's own.
TEST_F(TablesTest, TableNamedOnTheBoardIsReadAsATable) {
    TFormMain& w = Start();
    const QString table = Write("gbif.tsv", Gbif);
    w.EditGrdFile->setText(table);
    w.NewMapBtnClick();
    EXPECT_TRUE(Imports().empty());
    EXPECT_EQ(w.Memo1Text().FileText(), Converted(table, {}));
    EXPECT_EQ(w.State.CategoryCount, 2);
    ASSERT_EQ(dialogs.Messages().size(), 1);
    EXPECT_TRUE(dialogs.Messages()[0].contains(QStringLiteral("gbif.tsv:5:")));
    dialogs.ClearUses();
    w.NewMapBtnClick();
    EXPECT_TRUE(dialogs.Messages().isEmpty());
    EXPECT_EQ(w.SeriesH[1]->Count(), 2);
}

// The choice made in the preview is kept with the window's state: in the
// next session the table named by the settings reads the same.
TEST_F(TablesTest, ChoiceIsKeptForTheNextSession) {
    const QString state = dir.filePath(QStringLiteral("window-state.conf"));
    const QString table = Write("s.csv", "地点,y,x\nA,35.6586,139.7454\nB,43.06417,141.34694\n");
    {
        TFormMain& w = Start();
        w.UseWindowStateFile(state);
        dialogs.AnswerOpen(table);
        dialogs.AnswerTableImport([](TableImportDialog& d) { d.Columns = {0, 1, 2, -1, -1}; });
        w.ImportTableItem->trigger();
        EXPECT_EQ(w.State.CategoryCount, 2);
    }
    const std::string expected = Converted(table, {"--columns", "category=地点,lat=y,lon=x"});
    window.reset();
    TFormMain& next = Start();
    next.UseWindowStateFile(state);
    next.EditGrdFile->setText(table);
    next.NewMapBtnClick();
    EXPECT_EQ(next.Memo1Text().FileText(), expected);
    EXPECT_EQ(next.State.LegendNames[1], "A");
}

// The plotted cells to GeoPackage and GeoJSON: the file holds a feature per
// category and cell; an existing file is replaced only when the user
// agrees; a wrong extension, a text that stops the pass, or no records at
// all are refused with a message and write nothing.
TEST_F(TablesTest, ExportOfThePlottedCells) {
    TFormMain& w = Start();
    w.EditGrdFile->setText(Write("cells.grd", kavum::platform::Utf8ToCp932("ブナ\r\n53394611.12\r\n533946114\r\n"
                                                                            "35.40205,139.4610,850\r\nミズナラ\r\n53394612\r\n")));
    w.NewMapBtnClick();
    ASSERT_EQ(w.State.CategoryCount, 2);

    const QString json = dir.filePath(QStringLiteral("cells.geojson"));
    dialogs.AnswerSave(json);
    w.ExportCellsItem->trigger();
    ASSERT_EQ(dialogs.UsesOf(ScriptedDialogs::Kind::Save).size(), 1u);
    EXPECT_EQ(dialogs.UsesOf(ScriptedDialogs::Kind::Save)[0].file.FileName, "cells.gpkg");
    EXPECT_TRUE(dialogs.Messages().isEmpty()) << dialogs.Messages().join('\n').toStdString();
    const QJsonArray features =
        QJsonDocument::fromJson(QByteArray::fromStdString(ReadBytes(json))).object().value("features").toArray();
    ASSERT_EQ(features.size(), 3);   // ブナ in two standard cells (two records in one), ミズナラ in one
    int records = 0;
    for (const QJsonValue& f : features) records += f.toObject().value("properties").toObject().value("records").toInt();
    EXPECT_EQ(records, 4);
    EXPECT_TRUE(w.StatusBar1->currentMessage().contains(QStringLiteral("4 件の記録を 3 個の地物")))
        << w.StatusBar1->currentMessage().toStdString();

    // GeoPackage, read back by GDAL where it is installed.
    const QString gpkg = dir.filePath(QStringLiteral("cells"));
    dialogs.AnswerSave(gpkg);
    w.ExportCellsItem->trigger();
    ASSERT_TRUE(QFile::exists(gpkg + QStringLiteral(".gpkg")));
    const QString ogrinfo = QStandardPaths::findExecutable(QStringLiteral("ogrinfo"));
    if (!ogrinfo.isEmpty()) {
        QProcess p;
        p.start(ogrinfo, {"-so", "-al", gpkg + QStringLiteral(".gpkg")});
        ASSERT_TRUE(p.waitForFinished(60000));
        const QString out = QString::fromUtf8(p.readAllStandardOutput());
        EXPECT_EQ(p.exitCode(), 0) << out.toStdString();
        EXPECT_TRUE(out.contains(QStringLiteral("Feature Count: 3"))) << out.toStdString();
    }

    // Replacing asks; declined, the file stays.
    const std::string kept = ReadBytes(json);
    dialogs.ClearUses();
    dialogs.AnswerSave(json);
    dialogs.AnswerConfirm(false);
    w.GScale(10)->setChecked(true);
    w.NewMapBtnClick();
    w.ExportCellsItem->trigger();
    ASSERT_EQ(dialogs.UsesOf(ScriptedDialogs::Kind::Confirm).size(), 1u);
    EXPECT_TRUE(dialogs.UsesOf(ScriptedDialogs::Kind::Confirm)[0].text.contains(json));
    EXPECT_EQ(ReadBytes(json), kept);
    // Agreed: written at the new precision (one second-order cell a category).
    dialogs.AnswerSave(json);
    dialogs.AnswerConfirm(true);
    w.ExportCellsItem->trigger();
    EXPECT_EQ(QJsonDocument::fromJson(QByteArray::fromStdString(ReadBytes(json))).object().value("features").toArray().size(), 2) << ReadBytes(json);

    // Another extension: refused before anything is asked.
    dialogs.ClearUses();
    dialogs.AnswerSave(dir.filePath(QStringLiteral("cells.txt")));
    w.ExportCellsItem->trigger();
    ASSERT_EQ(dialogs.Messages().size(), 1);
    EXPECT_TRUE(dialogs.Messages()[0].contains(QStringLiteral(".gpkg")));
    EXPECT_TRUE(dialogs.UsesOf(ScriptedDialogs::Kind::Confirm).empty());
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("cells.txt"))));

    // A line that does not convert: the figure stops there, so does the export.
    dialogs.ClearUses();
    std::vector<std::string> lines = w.Memo1Text().Lines();
    lines.insert(lines.begin() + 2, "35.4x,139.4610");
    w.Memo1Text().SetLines(lines);
    w.ExportCellsItem->trigger();
    EXPECT_TRUE(dialogs.UsesOf(ScriptedDialogs::Kind::Save).empty());
    ASSERT_EQ(dialogs.Messages().size(), 1);
    EXPECT_TRUE(dialogs.Messages()[0].contains(QStringLiteral("3 行目"))) << dialogs.Messages()[0].toStdString();
    EXPECT_TRUE(dialogs.Messages()[0].contains(QStringLiteral("is not a valid"))) << dialogs.Messages()[0].toStdString();

    dialogs.ClearUses();
    w.Memo1Text().SetLines({"ブナ"});
    w.ExportCellsItem->trigger();
    EXPECT_TRUE(dialogs.UsesOf(ScriptedDialogs::Kind::Save).empty());
    ASSERT_EQ(dialogs.Messages().size(), 1);
    EXPECT_TRUE(dialogs.Messages()[0].contains(QStringLiteral("記録がありません")));
}

// The warnings of a pass: one message naming the first lines, and the
// summary in the status bar; a pass that stops at a line that does not
// convert still leaves the summary of the lines above it.
TEST_F(TablesTest, PlottingWarningsReachTheMessageAndTheStatusBar) {
    TFormMain& w = Start();
    std::string text;
    for (int k = 1; k <= 10; ++k) text += "種" + std::to_string(k) + "\r\n53394611\r\n";
    text += "35.40205,200.4610\r\n";
    w.EditGrdFile->setText(Write("many.grd", kavum::platform::Utf8ToCp932(text)));
    w.NewMapBtnClick();
    ASSERT_EQ(dialogs.Messages().size(), 1);
    EXPECT_EQ(dialogs.UsesOf(ScriptedDialogs::Kind::Message)[0].icon, kavum::platform::MessageIcon::Warning);
    EXPECT_TRUE(dialogs.Messages()[0].contains(QStringLiteral("10 番目の見出し"))) << dialogs.Messages()[0].toStdString();
    EXPECT_TRUE(dialogs.Messages()[0].contains(QStringLiteral("19 行目")));
    EXPECT_TRUE(w.StatusBar1->currentMessage().contains(QStringLiteral("10 番目以降の分類 2 件")))
        << w.StatusBar1->currentMessage().toStdString();
    EXPECT_EQ(w.State.CategoryCount, 9);

    // Stopped by a line that does not convert: the error is the message,
    // the status bar tells what was drawn above it and what was refused.
    dialogs.ClearUses();
    w.Memo1Text().SetLines({"ブナ", "35.40205,200.4610", "53394611", "35.4x,139.4610"});
    w.EditorBox->EdReDrawBtn->click();
    ASSERT_EQ(dialogs.Messages().size(), 1);
    EXPECT_EQ(dialogs.UsesOf(ScriptedDialogs::Kind::Message)[0].icon, kavum::platform::MessageIcon::Error);
    EXPECT_TRUE(w.StatusBar1->currentMessage().contains(QStringLiteral("1 件のレコードを描きました")))
        << w.StatusBar1->currentMessage().toStdString();
    EXPECT_TRUE(w.StatusBar1->currentMessage().contains(QStringLiteral("位置やコードが不正 1 件")));
}

// The dialog on the screen: the columns found are selected, the first rows
// and lines show, a change of encoding finds the columns anew, OK is
// offered only with a position, and OK gives the choice.
TEST(TableImportDialogTest, ShowsTheChoiceAndItsPreview) {
    kavum::platform::QtDialogs dialogs;
    TableImportDialog dialog;
    dialog.FileName = QStringLiteral("/data/t.csv");
    dialog.Columns = {0, 1, 2, -1, -1};
    int previews = 0;
    dialog.Preview = [&previews](const TableImportDialog& d) {
        ++previews;
        kavum::platform::TablePreview p;
        p.Header = d.ShiftJis ? QStringList{"x", "y", "lat", "lon"} : QStringList{"name", "lat", "lon", "elev"};
        p.Rows = {{"ブナ", "35.1", "139.2", "800"}, {"ミズナラ", "35.2", "139.3", "900"}};
        p.Found = d.ShiftJis ? TableRoleColumns{-1, 2, 3, -1, -1} : TableRoleColumns{0, 1, 2, 3, -1};
        p.Usable = (d.Columns[1] >= 0 && d.Columns[2] >= 0) || d.Columns[4] >= 0;
        p.Lines = {QStringLiteral("ブナ"), QStringLiteral("35.06000,139.12000,800")};
        p.Note = QStringLiteral("note %1").arg(d.DegreesMinutes ? "dms" : "dec");
        return p;
    };
    QString title, note, firstCell, header0, lines;
    int latitude = -2, categoryAfter = -2, latitudeAfter = -2;
    bool okWithout = true;
    QTimer::singleShot(0, [&] {
        QWidget* box = QApplication::activeModalWidget();
        ASSERT_NE(box, nullptr);
        title = box->windowTitle();
        auto* rows = box->findChild<QTableWidget*>(QStringLiteral("PreviewRows"));
        auto* lat = box->findChild<QComboBox*>(QStringLiteral("LatitudeColumn"));
        auto* lon = box->findChild<QComboBox*>(QStringLiteral("LongitudeColumn"));
        auto* category = box->findChild<QComboBox*>(QStringLiteral("CategoryColumn"));
        auto* encoding = box->findChild<QComboBox*>(QStringLiteral("EncodingChoice"));
        auto* degrees = box->findChild<QComboBox*>(QStringLiteral("DegreesChoice"));
        auto* ok = box->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
        ASSERT_TRUE(rows && lat && lon && category && encoding && degrees && ok);
        latitude = lat->currentData().toInt();
        firstCell = rows->item(0, 0)->text();
        header0 = rows->horizontalHeaderItem(1)->text();
        lines = box->findChild<QPlainTextEdit*>(QStringLiteral("PreviewLines"))->toPlainText();
        lon->setCurrentIndex(0);   // (使わない)
        okWithout = ok->isEnabled();
        encoding->setCurrentIndex(1);
        categoryAfter = category->currentData().toInt();
        latitudeAfter = lat->currentData().toInt();
        degrees->setCurrentIndex(1);
        note = box->findChild<QLabel*>(QStringLiteral("PreviewNote"))->text();
        ASSERT_TRUE(ok->isEnabled());
        ok->click();
    });
    ASSERT_TRUE(dialogs.ExecuteTableImport(nullptr, dialog));
    EXPECT_EQ(title, QStringLiteral("表の取り込み - t.csv"));
    EXPECT_EQ(latitude, 1);
    EXPECT_EQ(firstCell, QStringLiteral("ブナ"));
    EXPECT_EQ(header0, QStringLiteral("[緯度] lat"));
    EXPECT_EQ(lines, QStringLiteral("ブナ\n35.06000,139.12000,800"));
    EXPECT_FALSE(okWithout);
    EXPECT_EQ(categoryAfter, -1);
    EXPECT_EQ(latitudeAfter, 2);
    EXPECT_EQ(note, "note dms");
    EXPECT_TRUE(dialog.ShiftJis);
    EXPECT_TRUE(dialog.DegreesMinutes);
    EXPECT_EQ(dialog.Columns, (TableRoleColumns{-1, 2, 3, -1, -1}));
    EXPECT_GT(previews, 3);

    // Cancelled: the choice stays as proposed.
    TableImportDialog again = dialog;
    QTimer::singleShot(0, [&] {
        QWidget* box = QApplication::activeModalWidget();
        ASSERT_NE(box, nullptr);
        box->findChild<QComboBox*>(QStringLiteral("DegreesChoice"))->setCurrentIndex(0);
        qobject_cast<QDialog*>(box)->reject();
    });
    EXPECT_FALSE(dialogs.ExecuteTableImport(nullptr, again));
    EXPECT_TRUE(again.DegreesMinutes);
}
