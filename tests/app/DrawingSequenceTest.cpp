// Making the map through the window: the board, the layouts, the map lines,
// the data text and the plotting pass, with scripted dialogs.
#include "WindowTest.h"

#include "app/FormMain.h"
#include "app/Widgets.h"
#include "chart/Chart.h"
#include "platform/Cp932.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QImage>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QRadioButton>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTextCursor>

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <sstream>

using kavum::app::TFormMain;
using kavum::app::test::Assets;
using kavum::app::test::ReadBytes;
using kavum::app::test::WindowTest;
using kavum::app::test::WriteBytes;
using kavum::platform::ScriptedDialogs;

namespace {

class DrawingSequenceTest : public WindowTest {
protected:
    TFormMain& Start() {
        NewWindow();
        window->EditMapFile->setText(Assets + QStringLiteral("/Kavum_Nippon.mdt"));
        window->EditGrdFile->setText(Data("data.grd", "ブナ\r\n53394611.12\r\n35.40205,139.4610,850\r\nミズナラ\r\n5339462\r\n53394611\r\n"));
        window->show();
        QApplication::processEvents();
        window->SetClientSize(QSize(810, 559));
        return *window;
    }
    static QRect Place(const kavum::chart::TChart* c) { return c->geometry(); }
};

}  // namespace

TEST_F(DrawingSequenceTest, ThreeViewFigureOfTheBundledMap) {
    TFormMain& w = Start();
    ASSERT_EQ(w.ClientSize(), QSize(810, 559));
    w.NewMapBtnClick();
    EXPECT_TRUE(dialogs.Messages().isEmpty()) << dialogs.Messages().join('\n').toStdString();
    EXPECT_FALSE(w.SettingBoard->isVisible());
    EXPECT_TRUE(w.MenuEdit->menuAction()->isEnabled());
    EXPECT_EQ(w.State.ShowMode, 3);
    EXPECT_NEAR(w.State.MapAspect, 1.0851555, 1e-6);
    EXPECT_EQ(Place(w.Chart1), QRect(176, 155, 648, 703));
    EXPECT_EQ(Place(w.Chart2), QRect(176, 0, 648, 176));
    EXPECT_EQ(Place(w.Chart3), QRect(0, 155, 176, 703));
    EXPECT_TRUE(w.Chart3->BottomAxis().Inverted());
    EXPECT_FALSE(w.Chart1->BottomAxis().Labels());
    // Map lines: coastlines on the map, the two outlines on the profiles, the
    // south-north one turned (elevation across).
    EXPECT_GT(w.SeriesH0->Count(), 30000);
    EXPECT_GT(w.SeriesW0->Count(), 100);
    double maxX = 0;
    for (int i = 0; i < w.SeriesS0->Count(); ++i)
        if (!w.SeriesS0->IsNull(i)) maxX = std::max(maxX, w.SeriesS0->XValue(i));
    EXPECT_NEAR(maxX, 3776, 1);
    // The data: two categories, the road of one record.
    EXPECT_EQ(w.State.CategoryCount, 2);
    EXPECT_EQ(w.State.LegendNames[1], QStringLiteral("ブナ"));
    ASSERT_EQ(w.SeriesH[1]->Count(), 2);
    EXPECT_NEAR(w.SeriesH[1]->XValue(0), 139.76875, 1e-5);
    EXPECT_NEAR(w.SeriesH[1]->YValue(0), 35.679167, 1e-5);
    ASSERT_EQ(w.SeriesS[1]->Count(), 2);
    EXPECT_DOUBLE_EQ(w.SeriesS[1]->XValue(0), 850);
    EXPECT_DOUBLE_EQ(w.SeriesS[1]->XValue(1), 1250);
    EXPECT_EQ(w.SeriesH[2]->Count(), 1);  // the fivefold code is not accepted at standard precision
    EXPECT_EQ(w.StatusBar1->PanelText(0), QStringLiteral("data.grd"));
    EXPECT_EQ(w.StatusBar1->PanelText(2), QStringLiteral("３次"));
    EXPECT_EQ(w.Memo1Text().LineCount(), 6u);
}

TEST_F(DrawingSequenceTest, LayoutsAndFits) {
    TFormMain& w = Start();
    w.ProfileMap->setChecked(false);
    w.NewMapBtnClick();
    EXPECT_EQ(Place(w.Chart1), QRect(0, 0, 810, 879));
    EXPECT_FALSE(w.Chart2->isVisibleTo(&w));
    w.ShowHeightFillClick();
    EXPECT_EQ(Place(w.Chart1).size(), QSize(515, 559));

    w.ProfileMap->setChecked(true);
    w.HorizonMap->setChecked(false);
    w.NewMapBtnClick();
    EXPECT_EQ(w.State.ShowMode, 2);
    EXPECT_FALSE(w.Chart1->isVisibleTo(&w));
    EXPECT_EQ(Place(w.Chart2), QRect(0, 0, 746, 280));
    EXPECT_EQ(Place(w.Chart3), QRect(0, 280, 810, 280));
    EXPECT_GT(w.SeriesS0->Count(), 0);
    // Profiles only: the south-north points lie down (latitude across).
    EXPECT_NEAR(w.SeriesS[1]->XValue(0), 35.67, 0.02);
    // A fit command in this layout empties the south-north map lines; the marks stay.
    w.ShowWidthFillClick();
    EXPECT_EQ(w.SeriesS0->Count(), 0);
    EXPECT_EQ(w.SeriesS[1]->Count(), 2);
}

TEST_F(DrawingSequenceTest, MissingMapFileAsksForOne) {
    TFormMain& w = Start();
    w.EditMapFile->setText(dir.filePath(QStringLiteral("none/nowhere.mdt")));
    w.NewMapBtnClick();  // the dialog is cancelled
    ASSERT_EQ(dialogs.UsesOf(ScriptedDialogs::Kind::Open).size(), 1u);
    EXPECT_EQ(dialogs.UsesOf(ScriptedDialogs::Kind::Open)[0].file.FilterIndex, 2);
    EXPECT_FALSE(w.SettingBoard->isVisible());
    EXPECT_FALSE(w.Chart1->isVisibleTo(&w));
    EXPECT_FALSE(w.MenuEdit->menuAction()->isEnabled());
    dialogs.AnswerOpen(Assets + QStringLiteral("/Kavum_Nippon.mdt"));
    w.NewMapBtnClick();
    EXPECT_EQ(w.EditMapFile->text(), Assets + QStringLiteral("/Kavum_Nippon.mdt"));
    EXPECT_TRUE(w.Chart1->isVisibleTo(&w));
}

TEST_F(DrawingSequenceTest, FailuresStopTheSequence) {
    TFormMain& w = Start();
    // A range field that is not angle text: the board stays, nothing is drawn.
    w.EditGX1->setText(QStringLiteral("12a"));
    EXPECT_FALSE(w.RunCommand([&] { w.NewMapBtnClick(); }));
    EXPECT_EQ(dialogs.Messages().last(), QStringLiteral("'12a' is not a valid integer value"));
    EXPECT_TRUE(w.SettingBoard->isVisible());
    // A reversed range is refused before any chart is shown.
    w.EditGX1->setText(QStringLiteral("146.00"));
    w.EditGX2->setText(QStringLiteral("128.00"));
    EXPECT_FALSE(w.RunCommand([&] { w.NewMapBtnClick(); }));
    EXPECT_TRUE(dialogs.Messages().last().startsWith(QStringLiteral("作図の範囲が正しくありません")));
    EXPECT_FALSE(w.Chart1->isVisibleTo(&w));
    // A data file that cannot be read: map lines without marks, the text kept.
    w.EditGX1->setText(QStringLiteral("128.00"));
    w.EditGX2->setText(QStringLiteral("146.00"));
    w.EditGrdFile->setText(dir.filePath(QStringLiteral("missing.grd")));
    EXPECT_FALSE(w.RunCommand([&] { w.NewMapBtnClick(); }));
    EXPECT_TRUE(dialogs.Messages().last().contains(QStringLiteral("missing.grd")));
    EXPECT_GT(w.SeriesH0->Count(), 0);
    EXPECT_EQ(w.State.CategoryCount, 0);
    ASSERT_EQ(w.Memo1Text().LineCount(), 1u);
    EXPECT_EQ(w.Memo1Text().Line(0), "Mark1");
    EXPECT_FALSE(w.MenuEdit->menuAction()->isEnabled());
    // A record that does not convert: the points above it stay.
    w.EditGrdFile->setText(Data("bad.grd", "A\r\n53394611\r\n35.x,139.00\r\n53394611\r\n"));
    EXPECT_FALSE(w.RunCommand([&] { w.NewMapBtnClick(); }));
    EXPECT_EQ(dialogs.Messages().last(), QStringLiteral("'x0' is not a valid integer value"));
    EXPECT_EQ(w.SeriesH[1]->Count(), 1);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);  // the busy cursor is gone
}

TEST_F(DrawingSequenceTest, AFailedPassShowsItsLineInTheEditorAfterTheMessage) {
    TFormMain& w = Start();
    w.EditGrdFile->setText(Data("bad.grd", "A\r\n53394611\r\n; note\r\n35.x,139.00\r\n53394611\r\n"));
    EXPECT_FALSE(w.RunCommand([&] { w.NewMapBtnClick(); }));
    EXPECT_EQ(dialogs.Messages().last(), QStringLiteral("'x0' is not a valid integer value"));
    ASSERT_EQ(w.FailedDataLine(), std::optional<std::size_t>(3));
    ASSERT_TRUE(w.EditorBox->isVisible());
    const QTextCursor c = w.EditorBox->Memo1->textCursor();
    EXPECT_EQ(c.blockNumber(), 3);
    EXPECT_EQ(c.selectedText(), QStringLiteral("35.x,139.00"));
    // Only once: the next failing command of another kind leaves the editor alone.
    w.EdCancelBtnClick();
    w.EditGX1->setText(QStringLiteral("12a"));
    EXPECT_FALSE(w.RunCommand([&] { w.NewMapBtnClick(); }));
    EXPECT_FALSE(w.EditorBox->isVisible());
    // A whole pass leaves no line behind.
    w.EditGX1->setText(QStringLiteral("128.00"));
    w.EditGrdFile->setText(Data("good.grd", "A\r\n53394611\r\n"));
    EXPECT_TRUE(w.RunCommand([&] { w.NewMapBtnClick(); }));
    EXPECT_FALSE(w.FailedDataLine().has_value());
}

TEST_F(DrawingSequenceTest, AddReloadClearSaveAndReplot) {
    TFormMain& w = Start();
    w.NewMapBtnClick();
    ASSERT_EQ(w.SeriesH[1]->Count(), 2);
    // Adding a file appends it and plots the whole text again without clearing.
    dialogs.AnswerOpen(Data("more.grd", "スギ\r\n53394611\r\n"));
    w.ReadGrdFile();
    EXPECT_EQ(w.State.CategoryCount, 3);
    EXPECT_EQ(w.SeriesH[1]->Count(), 4);
    EXPECT_EQ(w.SeriesH[3]->Count(), 1);
    EXPECT_EQ(w.EditGrdFile->text(), dir.filePath(QStringLiteral("more.grd")));
    EXPECT_EQ(w.StatusBar1->PanelText(0), QStringLiteral("more.grd"));
    EXPECT_EQ(w.Memo1Text().LineCount(), 8u);
    // Re-plot writes the legend names back into the heading lines.
    w.State.LegendNames[1] = QStringLiteral("Fagus crenata");
    w.ClearDotMaps();
    w.PlotOnMap(false);
    EXPECT_EQ(w.Memo1Text().Line(0), "Fagus crenata");
    EXPECT_EQ(w.SeriesH[1]->Count(), 2);
    // Saving writes the text; a failed save leaves the old file whole.
    const QString saved = dir.filePath(QStringLiteral("saved.grd"));
    dialogs.AnswerSave(saved);
    w.SavePlotItemClick();
    EXPECT_EQ(ReadBytes(saved).substr(0, 15), "Fagus crenata\r\n");
    QFile::setPermissions(saved, QFileDevice::ReadOwner);
    dialogs.AnswerSave(saved);
    dialogs.AnswerConfirm(true);   // replace the file that is there
    EXPECT_FALSE(w.RunCommand([&] { w.SavePlotItemClick(); }));
    EXPECT_EQ(ReadBytes(saved).substr(0, 15), "Fagus crenata\r\n");
    // Clearing empties the text and the category series.
    w.ClearPlotItemClick();
    EXPECT_EQ(w.Memo1Text().LineCount(), 0u);
    EXPECT_EQ(w.State.CategoryCount, 0);
    EXPECT_EQ(w.SeriesH[1]->Count(), 0);
    EXPECT_FALSE(w.SeriesH[1]->Active());
    // Reload: clears, then the dialog; cancelled, nothing comes back.
    w.ReLoadGrdClick();
    EXPECT_EQ(w.Memo1Text().LineCount(), 0u);
}

TEST_F(DrawingSequenceTest, MeshLinesBecomeGrids) {
    TFormMain& w = Start();
    w.MScale(2)->setChecked(true);
    w.NewMapBtnClick();
    EXPECT_DOUBLE_EQ(w.Chart1->BottomAxis().Increment(), 1);
    EXPECT_EQ(w.Chart1->BottomAxis().MinorTickCount(), 7);
    EXPECT_DOUBLE_EQ(w.Chart2->LeftAxis().Increment(), 1000);
    EXPECT_TRUE(w.Chart3->RightAxis().Grid().Visible());
    w.MScale(0)->setChecked(true);
    w.NewMapBtnClick();
    EXPECT_FALSE(w.Chart1->BottomAxis().Grid().Visible());
    EXPECT_FALSE(w.Chart3->BottomAxis().MinorGrid().Visible());
}

TEST(KavumRender, EndToEndWithDumps) {
    QTemporaryDir dir;
    const QString exe = QStringLiteral(KAVUM_BINARY_DIR "/kavum-render");
    const QString settings = dir.filePath(QStringLiteral("k.ini"));
    WriteBytes(settings, "[DataFile]\r\nMapFile=" KAVUM_SOURCE_DIR "/assets/Kavum_Nippon.mdt\r\nGrdFile=" KAVUM_SOURCE_DIR
                         "/assets/samples/mountains.grd\r\n");
    QProcess p;
    p.start(exe, {"--settings", settings, "--layout", "3", "--mesh", "1", "--dump-points", dir.filePath("p.csv"),
                  "--dump-state", dir.filePath("s.txt"), dir.filePath("out.png")});
    ASSERT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    const std::string state = ReadBytes(dir.filePath("s.txt"));
    EXPECT_NE(state.find("ShowMode=3\n"), std::string::npos);
    EXPECT_NE(state.find("CategoryCount=4\n"), std::string::npos);
    EXPECT_NE(state.find("MeshSize=1\n"), std::string::npos);
    EXPECT_NE(state.find("Chart1=1,176,155,648,703\n"), std::string::npos);
    EXPECT_NE(state.find("LegendName1=標高2500m以上\n"), std::string::npos);
    const std::string points = ReadBytes(dir.filePath("p.csv"));
    EXPECT_EQ(points.rfind("series,index,x,y\n", 0), 0u);
    EXPECT_NE(points.find("\nSeriesH0,0,"), std::string::npos);
    EXPECT_NE(points.find("\nSeriesS1,0,"), std::string::npos);
    EXPECT_NE(points.find(",,\n"), std::string::npos);  // a break
    EXPECT_TRUE(QImage(dir.filePath("out.png")).width() > 0);

    // Bad arguments: 2; a map file that is not there: 1 with the reason.
    p.start(exe, {"--layout", "9", dir.filePath("x.png")});
    ASSERT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitCode(), 2);
    p.start(exe, {"--settings", settings, "--map", dir.filePath("none.mdt"), dir.filePath("x.png")});
    ASSERT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitCode(), 1);
    EXPECT_FALSE(p.readAllStandardError().isEmpty());
}

TEST_F(DrawingSequenceTest, RedrawKeepsNewHeadingsAndNeverDoublesPoints) {
    TFormMain& w = Start();
    w.NewMapBtnClick();
    // A heading typed into the text for a new category keeps its text.
    kavum::data::DataText& text = w.Memo1Text();
    std::vector<std::string> lines = text.Lines();
    lines.push_back(kavum::platform::Utf8ToCp932("スギ"));
    lines.push_back("53394611");
    text.SetLines(lines);
    w.EdReDrawBtnClick();
    EXPECT_EQ(w.Memo1Text().Line(6), kavum::platform::Utf8ToCp932("スギ"));
    EXPECT_EQ(w.State.LegendNames[3], QStringLiteral("スギ"));
    EXPECT_EQ(w.SeriesH[3]->Count(), 1);
    // Closing the mark editor replots without doubling any point.
    for (int i = 0; i < 2; ++i) {
        w.EditMarkItemClick();
        w.BtnMrkExitClick();
    }
    EXPECT_EQ(w.SeriesH[1]->Count(), 2);
    EXPECT_EQ(w.SeriesW[3]->Count(), 1);
}
