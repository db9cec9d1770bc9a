// The main window driven as a user would: menu actions, board controls and
// scripted dialogs, on the offscreen platform.
#include "WindowTest.h"

#include "app/AboutBox.h"
#include "app/FormMain.h"
#include "app/Startup.h"
#include "app/Widgets.h"
#include "platform/Cp932.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <sstream>
#include <sys/stat.h>

using kavum::app::TFormMain;
using kavum::app::test::ReadBytes;
using kavum::app::test::WindowTest;
using kavum::app::test::WriteBytes;
using kavum::platform::MessageIcon;
using kavum::platform::ScriptedDialogs;

namespace {

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

// The captions of a menu, "-" for a separator.
QStringList Captions(const QMenu* menu) {
    QStringList list;
    for (const QAction* a : menu->actions()) list << (a->isSeparator() ? QStringLiteral("-") : a->text());
    return list;
}

class FormMainTest : public WindowTest {
protected:
    QString Exe() const { return dir.filePath(QStringLiteral("kavum")); }
    QString Ini() const { return dir.filePath(QStringLiteral("kavum.ini")); }
    // Writes the settings file beside the executable (UTF-8 text, stored as Shift-JIS).
    void WriteIni(const char* utf8) { WriteBytes(Ini(), kavum::platform::Utf8ToCp932(utf8)); }
    TFormMain& Start(const QStringList& arguments = {}) {
        NewWindow(arguments);
        return *window;
    }
};

TEST_F(FormMainTest, StartsWithDefaultsAndQuittingWritesEveryKey) {
    TFormMain& w = Start();
    EXPECT_EQ(w.windowTitle(), QStringLiteral(" Kavum for Windows"));
    EXPECT_EQ(w.State.IniFileName, Ini());
    EXPECT_EQ(w.EditTitle->text(), QStringLiteral("日本植物三面分布図"));
    EXPECT_EQ(w.EditIniFile->text(), QStringLiteral("Kavum.ini"));
    EXPECT_EQ(w.EditMapFile->text(), QString());
    EXPECT_EQ(w.EditGrdFile->text(), QStringLiteral("Noname.grd"));
    EXPECT_EQ(w.EditGY1->text(), QStringLiteral("30.00"));
    EXPECT_EQ(w.EditGY2->text(), QStringLiteral("46.00"));
    EXPECT_EQ(w.EditGX1->text(), QStringLiteral("128.00"));
    EXPECT_EQ(w.EditGX2->text(), QStringLiteral("146.00"));
    EXPECT_EQ(w.EditGH2->text(), QStringLiteral("3800"));
    EXPECT_EQ(w.EditI2K->text(), QStringLiteral("1.2208"));
    EXPECT_EQ(w.EditNWGrid->text(), QString());
    EXPECT_EQ(w.EditSWGrid->text(), QString());
    EXPECT_TRUE(w.HorizonMap->isChecked());
    EXPECT_TRUE(w.ProfileMap->isChecked());
    EXPECT_FALSE(w.Prefecture->isChecked());
    EXPECT_TRUE(w.GScale1->isChecked());
    EXPECT_TRUE(w.MScale0->isChecked());
    EXPECT_EQ(w.MapLWBtn->text(), QStringLiteral("─幅"));
    EXPECT_EQ(w.SubColorBt->FontColor(), 10789024u);
    EXPECT_EQ(w.MshColorBt->FontColor(), 16776960u);
    EXPECT_EQ(w.State.MshColor, 16776960u);
    EXPECT_EQ(w.State.Marks[8].BrushColor, 0xF0CAA6);
    EXPECT_EQ(w.State.ShowMode, 0);
    EXPECT_EQ(w.State.CategoryCount, 0);
    EXPECT_EQ(w.State.LegendLeft, 50);
    EXPECT_EQ(w.State.LegendTop, 50);
    EXPECT_TRUE(w.State.FitToWidth);
    EXPECT_FALSE(w.SettingBoard->isHidden());
    EXPECT_FALSE(w.MenuEdit->menuAction()->isEnabled());
    EXPECT_TRUE(w.SaveToEMFItem->isEnabled());
    EXPECT_TRUE(w.PlotSize10->isChecked());   // whatever the file holds
    EXPECT_FALSE(w.PrefLines->isChecked());
    EXPECT_EQ(w.OpenDialog1.InitialDir, dir.path());
    EXPECT_FALSE(QFile::exists(Ini()));

    w.show();
    w.MenuQuit->trigger();
    EXPECT_FALSE(w.isVisible());
    EXPECT_TRUE(dialogs.Messages().isEmpty());

    std::vector<std::string> expected = {
        "[DataFile]", "Title=" + kavum::platform::Utf8ToCp932("日本植物三面分布図"), "MapFile=", "GrdFile=Noname.grd",
        "[Draw]", "HorizonMap=1", "ProfileMap=1",
        "[Map]", "GY1=30.00", "GY2=46.00", "GX1=128.00", "GX2=146.00", "GH2=3800", "I2K=1.2208", "GridSize=1",
        "MeshSize=0", "MapColor=0", "SubColor=10789024", "MshColor=16776960", "Prefecture=0", "MLW=1"};
    const char* brushes[] = {"16711680", "16776960", "32768", "65280", "65535",
                             "16711935", "255", "15780518", "8421504"};
    for (int i = 1; i <= 9; ++i) {
        for (std::string line : {"[Mark" + std::to_string(i) + "]", "Styl=" + std::to_string(i), std::string("Size=3"),
                                 "brush=" + std::string(brushes[i - 1]), std::string("pen=0")})
            expected.push_back(line);
    }
    const std::vector<std::string> written = Lines(ReadBytes(Ini()));
    ASSERT_EQ(written.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(written[i], expected[i]) << "line " << i + 1;
}

TEST_F(FormMainTest, ClosingByTheFrameWritesNothing) {
    TFormMain& w = Start();
    w.show();
    w.EditTitle->setText(QStringLiteral("changed"));
    w.close();
    EXPECT_FALSE(w.isVisible());
    EXPECT_FALSE(QFile::exists(Ini()));
}

TEST_F(FormMainTest, CommandLineNamesTheSettingsFile) {
    const QString other = dir.filePath(QStringLiteral("alps.Ini"));
    WriteBytes(other, "[DataFile]\r\nTitle=Alps\r\n");
    WriteIni("[DataFile]\nTitle=Own\n");

    EXPECT_EQ(Start({other}).State.IniFileName, other);
    EXPECT_EQ(window->EditTitle->text(), QStringLiteral("Alps"));

    EXPECT_EQ(Start({QStringLiteral("survey.grd"), other}).State.IniFileName, Ini());
    EXPECT_EQ(window->EditTitle->text(), QStringLiteral("Own"));
    EXPECT_EQ(window->State.GrdFileName, QString());  // not opened as data

    EXPECT_EQ(Start({dir.filePath(QStringLiteral("noext"))}).State.IniFileName, Ini());

    // A settings file named on the command line that does not exist yet is
    // made by quitting.
    const QString fresh = dir.filePath(QStringLiteral("new.INI"));
    Start({fresh}).MenuQuit->trigger();
    EXPECT_TRUE(QFile::exists(fresh));
    EXPECT_FALSE(QFile::exists(Ini()) && ReadBytes(Ini()).find("GridSize") != std::string::npos);
}

TEST_F(FormMainTest, InstalledProgramKeepsItsSettingsPerUser) {
    ASSERT_EQ(chmod(QFile::encodeName(dir.path()).constData(), 0555), 0);
    TFormMain& w = Start();
    EXPECT_EQ(w.State.IniFileName, kavum::app::UserSettingsPath());
    EXPECT_TRUE(w.State.IniFileName.endsWith(QStringLiteral("/kavum/kavum.ini")));
    w.MenuQuit->trigger();
    EXPECT_TRUE(dialogs.Messages().isEmpty()) << dialogs.Messages().join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(QFile::exists(kavum::app::UserSettingsPath()));
    QFile::remove(kavum::app::UserSettingsPath());
    chmod(QFile::encodeName(dir.path()).constData(), 0755);
}

TEST_F(FormMainTest, ValuesReadFromTheFile) {
    WriteIni(
        "[DataFile]\nTitle=\nMapFile=japan.mdt\n[Draw]\nHorizonMap=0\nProfileMap=0\n"
        "[Map]\nGridSize=3\nMeshSize=9\nMapColor=$0000FF\nSubColor=0x00FF00\nPrefecture=1\nMLW=2\n"
        "[Mark3]\nStyl=7\nSize=5\nbrush=255\npen=65280\n");
    TFormMain& w = Start();
    EXPECT_EQ(w.EditTitle->text(), QString());           // empty value, not the default
    EXPECT_EQ(w.EditMapFile->text(), QStringLiteral("japan.mdt"));
    EXPECT_TRUE(w.HorizonMap->isChecked());              // both 0: the horizontal map stays
    EXPECT_FALSE(w.ProfileMap->isChecked());
    EXPECT_EQ(w.State.GridSize, 3);                      // outside the list: kept ...
    EXPECT_TRUE(w.GScale1->isChecked());                 // ... and the selection stays
    EXPECT_EQ(w.State.MeshSize, 9);
    EXPECT_TRUE(w.MScale2->isChecked());
    EXPECT_EQ(w.State.MapColor, 255u);
    EXPECT_EQ(w.MapColorBt->FontColor(), 255u);
    EXPECT_EQ(w.SubColorBt->FontColor(), 0x00FF00u);
    EXPECT_TRUE(w.Prefecture->isChecked());
    EXPECT_FALSE(w.PrefLines->isChecked());              // the menu item starts unchecked
    EXPECT_EQ(w.State.MLW, 2);
    EXPECT_EQ(w.MapLWBtn->text(), QStringLiteral("━幅"));
    EXPECT_EQ(w.State.Marks[3].Style, 7);
    EXPECT_EQ(w.State.Marks[3].PenColor, 65280);

    // Quitting right away writes back what was read.
    w.MenuQuit->trigger();
    const std::string text = ReadBytes(Ini());
    for (const char* line : {"Title=\r\n", "GridSize=3\r\n", "MeshSize=9\r\n", "MapColor=255\r\n", "SubColor=65280\r\n",
                             "HorizonMap=1\r\n", "ProfileMap=0\r\n", "MLW=2\r\n", "Styl=7\r\nSize=5\r\nbrush=255\r\npen=65280"})
        EXPECT_NE(text.find(line), std::string::npos) << line;
}

TEST_F(FormMainTest, GridSizeZeroSelectsLatitudeLongitude) {
    WriteIni("[Map]\nGridSize=0\nMeshSize=3\n");
    TFormMain& w = Start();
    EXPECT_TRUE(w.GScale0->isChecked());
    EXPECT_TRUE(w.MScale3->isChecked());
}

TEST_F(FormMainTest, UnknownEntriesSurviveAndKeysAreReplacedInPlace) {
    WriteBytes(Ini(), "; notes\r\n[Map]\r\nmlw=2\r\nOwn=1\r\n[Extra]\r\nk=v\r\n");
    TFormMain& w = Start();
    w.MenuQuit->trigger();
    const std::vector<std::string> lines = Lines(ReadBytes(Ini()));
    ASSERT_GE(lines.size(), 6u);
    EXPECT_EQ(lines[0], "; notes");
    EXPECT_EQ(lines[1], "[Map]");
    EXPECT_EQ(lines[2], "MLW=2");
    EXPECT_EQ(lines[3], "Own=1");
    EXPECT_EQ(lines[4], "GY1=30.00");
    const std::string text = ReadBytes(Ini());
    EXPECT_NE(text.find("[Extra]\r\nk=v\r\n"), std::string::npos);
}

TEST_F(FormMainTest, SaveUnderANewNameThenQuit) {
    TFormMain& w = Start();
    w.EditTitle->setText(QStringLiteral("at saving"));
    dialogs.AnswerSave(dir.filePath(QStringLiteral("copy")));
    w.SaveIniFileItem->trigger();
    const auto saves = dialogs.UsesOf(ScriptedDialogs::Kind::Save);
    ASSERT_EQ(saves.size(), 1u);
    EXPECT_EQ(saves[0].file.Title, QStringLiteral("地図基本ファイル"));
    EXPECT_EQ(saves[0].file.FilterIndex, 1);
    EXPECT_EQ(saves[0].file.FileName, QStringLiteral("*.ini"));
    EXPECT_EQ(saves[0].file.DefaultExt, QStringLiteral("ini"));
    EXPECT_TRUE(saves[0].file.Filter.startsWith(QStringLiteral("設定ファイル|*.ini|地図データファイル|*.mdt|")));
    EXPECT_EQ(w.State.IniFileName, Ini());

    w.EditTitle->setText(QStringLiteral("at quitting"));
    w.MenuQuit->trigger();
    EXPECT_EQ(kavum::app::LoadSettings(dir.filePath(QStringLiteral("copy.ini")), {}).Title, QStringLiteral("at saving"));
    EXPECT_EQ(kavum::app::LoadSettings(Ini(), {}).Title, QStringLiteral("at quitting"));

    // Cancelling writes nothing.
    Start().SaveIniFileItem->trigger();
    EXPECT_EQ(window->State.IniFileName, Ini());
}

TEST_F(FormMainTest, UnwritableSettingsFileOnQuittingKeepsTheWindowOpen) {
    WriteIni("[DataFile]\nTitle=kept\n");
    ASSERT_EQ(chmod(QFile::encodeName(Ini()).constData(), 0444), 0);
    TFormMain& w = Start();
    w.show();
    w.EditTitle->setText(QStringLiteral("lost"));
    w.MenuQuit->trigger();
    EXPECT_TRUE(w.isVisible());
    const auto messages = dialogs.UsesOf(ScriptedDialogs::Kind::Message);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].caption, QStringLiteral("Kavum for Windows"));
    EXPECT_EQ(messages[0].text, Ini() + QStringLiteral(" に書き込めません（アクセスが許可されていません）"));
    EXPECT_EQ(messages[0].icon, MessageIcon::Error);
    EXPECT_EQ(kavum::app::LoadSettings(Ini(), {}).Title, QStringLiteral("kept"));

    // Saving a copy into a folder that does not exist: the same message, and
    // the settings file in use stays.
    dialogs.AnswerSave(dir.filePath(QStringLiteral("no/such.ini")));
    w.SaveIniFileItem->trigger();
    EXPECT_EQ(dialogs.Messages().size(), 2);
    EXPECT_EQ(w.State.IniFileName, Ini());
    w.close();
}

TEST_F(FormMainTest, ReopenSettingsFile) {
    TFormMain& w = Start();
    const QString other = dir.filePath(QStringLiteral("other.ini"));
    WriteBytes(other, "[Map]\r\nGY1=33.30\r\nGridSize=12\r\n");
    w.SettingBoard->hide();
    dialogs.AnswerOpen(other);
    w.OpenIniFileItem->trigger();
    const auto opens = dialogs.UsesOf(ScriptedDialogs::Kind::Open);
    ASSERT_EQ(opens.size(), 1u);
    EXPECT_EQ(opens[0].file.InitialDir, dir.path());
    EXPECT_EQ(opens[0].file.FilterIndex, 1);
    EXPECT_EQ(opens[0].file.FileName, QStringLiteral("*.ini"));
    EXPECT_EQ(opens[0].file.Filter,
              QStringLiteral("設定ﾌｧｲﾙ (*.ini)|*.ini|地図ﾌｧｲﾙ (*.mdt)|*.mdt|分布データファイル (*.grd, *.csv)|"
                             "*.grd;*.csv|すべてのﾌｧｲﾙ (*.*)|*.*"));
    EXPECT_EQ(w.State.IniFileName, other);
    EXPECT_EQ(w.EditIniFile->text(), other);
    EXPECT_EQ(w.EditGY1->text(), QStringLiteral("33.30"));
    EXPECT_TRUE(w.GScale12->isChecked());
    EXPECT_FALSE(w.SettingBoard->isHidden());

    // Read without the dialog, as another program may ask.
    const QString third = dir.filePath(QStringLiteral("third.conf"));
    WriteBytes(third, "[Map]\r\nGY1=34.00\r\n");
    w.LoadSettingsFile(third);
    EXPECT_EQ(w.State.IniFileName, third);
    EXPECT_EQ(w.EditGY1->text(), QStringLiteral("34.00"));
    EXPECT_TRUE(w.GScale1->isChecked());    // the default GridSize
    w.LoadSettingsFile(other);

    // Cancelled through the board's button: the board shows the file in use.
    w.SettingBoard->hide();
    w.EditIniFile->setText(QStringLiteral("typed"));
    w.BtnGetIniFile->click();
    EXPECT_EQ(w.State.IniFileName, other);
    EXPECT_EQ(w.EditIniFile->text(), other);
    EXPECT_FALSE(w.SettingBoard->isHidden());
}

TEST_F(FormMainTest, Rule1PrecisionItemsSelectTheBoardAndRemake) {
    TFormMain& w = Start();
    w.PlotSize0->trigger();
    EXPECT_TRUE(w.PlotSize0->isChecked());
    EXPECT_FALSE(w.PlotSize10->isChecked());
    EXPECT_TRUE(w.GScale0->isChecked());
    EXPECT_EQ(w.State.GridSize, 0);
    EXPECT_TRUE(w.SettingBoard->isHidden());

    w.ReSetItem->trigger();
    w.GScale5->setChecked(true);
    w.NewMapBtn->click();
    EXPECT_EQ(w.State.GridSize, 5);
    EXPECT_TRUE(w.PlotSize0->isChecked());   // the board moves no check mark

    w.PlotSize12->trigger();
    EXPECT_TRUE(w.GScale12->isChecked());
    EXPECT_EQ(w.State.GridSize, 12);
    int checked = 0;
    for (QAction* a : w.PrecisionItems->actions()) checked += a->isChecked();
    EXPECT_EQ(checked, 1);
}

TEST_F(FormMainTest, Rule2MeshLineItemsShowNoCheckMark) {
    TFormMain& w = Start();
    w.FirstMeshLine->trigger();
    EXPECT_TRUE(w.MScale1->isChecked());
    EXPECT_EQ(w.State.MeshSize, 1);
    w.SecondMeshLine->trigger();
    EXPECT_TRUE(w.MScale2->isChecked());
    w.NoMeshLine->trigger();
    EXPECT_TRUE(w.MScale0->isChecked());
    EXPECT_EQ(w.State.MeshSize, 0);
    for (QAction* a : {w.NoMeshLine, w.FirstMeshLine, w.SecondMeshLine}) EXPECT_FALSE(a->isCheckable());
}

TEST_F(FormMainTest, Rule3PrefectureItemFollowsItsOwnMark) {
    WriteIni("[Map]\nPrefecture=1\n");
    TFormMain& w = Start();
    w.PrefLines->trigger();   // first use: checks the item, boundaries stay on
    EXPECT_TRUE(w.PrefLines->isChecked());
    EXPECT_TRUE(w.Prefecture->isChecked());
    w.PrefLines->trigger();
    EXPECT_FALSE(w.PrefLines->isChecked());
    EXPECT_FALSE(w.Prefecture->isChecked());
    w.Prefecture->setChecked(true);           // the board does not move the mark
    EXPECT_FALSE(w.PrefLines->isChecked());
}

TEST_F(FormMainTest, Rule4ViewBoxesAreNeverBothClear) {
    TFormMain& w = Start();
    w.ProfileMap->click();
    EXPECT_FALSE(w.ProfileMap->isChecked());
    w.HorizonMap->click();                    // unchecking the last one checks the other
    EXPECT_FALSE(w.HorizonMap->isChecked());
    EXPECT_TRUE(w.ProfileMap->isChecked());

    w.ShowAll->trigger();
    EXPECT_TRUE(w.HorizonMap->isChecked());
    EXPECT_TRUE(w.ProfileMap->isChecked());
    EXPECT_EQ(w.State.ShowMode, 3);

    w.ShowHorizon->trigger();                 // from three views: re-lay only
    EXPECT_EQ(w.State.ShowMode, 1);
    EXPECT_TRUE(w.HorizonMap->isChecked());
    EXPECT_TRUE(w.ProfileMap->isChecked());
    w.NewMapBtn->click();
    EXPECT_EQ(w.State.ShowMode, 3);

    w.ShowVertical->trigger();
    EXPECT_FALSE(w.HorizonMap->isChecked());
    EXPECT_TRUE(w.ProfileMap->isChecked());
    EXPECT_EQ(w.State.ShowMode, 2);

    w.ShowHorizon->trigger();                 // from the profiles: remake
    EXPECT_TRUE(w.HorizonMap->isChecked());
    EXPECT_FALSE(w.ProfileMap->isChecked());
    EXPECT_EQ(w.State.ShowMode, 1);

    for (QAction* a : {w.ShowAll, w.ShowHorizon, w.ShowVertical, w.ShowHeightFill, w.ShowWidthFill})
        EXPECT_FALSE(a->isChecked());
    w.ShowHeightFill->trigger();
    EXPECT_FALSE(w.State.FitToWidth);
    w.ShowWidthFill->trigger();
    EXPECT_TRUE(w.State.FitToWidth);
}

TEST_F(FormMainTest, Rules5To7ColoursLineWidthAndBoard) {
    TFormMain& w = Start();
    dialogs.AnswerColor(0x123456);
    w.MapColorBt->Click();
    EXPECT_EQ(w.State.MapColor, 0x123456u);
    EXPECT_EQ(w.MapColorBt->FontColor(), 0x123456u);
    dialogs.AnswerColor(std::nullopt);
    w.MshColorBt->Click();                    // cancelled: nothing changes
    EXPECT_EQ(w.State.MshColor, 16776960u);
    const auto colors = dialogs.UsesOf(ScriptedDialogs::Kind::Color);
    ASSERT_EQ(colors.size(), 2u);
    EXPECT_EQ(colors[0].color.Color, 0u);          // black before its first use
    EXPECT_EQ(colors[1].color.Color, 0x123456u);   // then the colour last chosen

    w.MapLWBtn->Click();
    EXPECT_EQ(w.State.MLW, 2);
    EXPECT_EQ(w.MapLWBtn->text(), QStringLiteral("━幅"));
    w.MapLWBtn->Click();
    EXPECT_EQ(w.State.MLW, 1);
    EXPECT_EQ(w.MapLWBtn->text(), QStringLiteral("─幅"));

    w.EditGY1->setText(QStringLiteral("31.00"));
    w.BtnCansel->click();
    EXPECT_TRUE(w.SettingBoard->isHidden());
    EXPECT_EQ(w.EditGY1->text(), QStringLiteral("31.00"));
    w.MappingSheet->Sheet()->setMinimumHeight(3000);
    w.MappingSheet->resize(800, 500);
    w.MappingSheet->SetVertScrollPosition(120);
    w.ReSetPopItem->trigger();
    EXPECT_FALSE(w.SettingBoard->isHidden());
    EXPECT_EQ(w.MappingSheet->VertScrollPosition(), 0);
}

TEST_F(FormMainTest, ErrorsOfACommandEndInOneMessage) {
    TFormMain& w = Start();
    EXPECT_FALSE(w.RunCommand([] { throw std::runtime_error("壊れた値"); }));
    EXPECT_TRUE(w.RunCommand([] {}));
    EXPECT_FALSE(w.RunCommand([] { throw 42; }));
    const auto messages = dialogs.UsesOf(ScriptedDialogs::Kind::Message);
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].text, QStringLiteral("壊れた値"));
    EXPECT_EQ(messages[0].caption, QStringLiteral("Kavum for Windows"));
    EXPECT_EQ(messages[0].icon, MessageIcon::Error);
}

TEST_F(FormMainTest, ManualShownWhenPresentNothingOtherwise) {
    TFormMain& w = Start();
    w.State.HelpIndexFile.clear();
    w.HelpMokuji->trigger();
    EXPECT_EQ(w.HelpWindow(), nullptr);
    EXPECT_TRUE(dialogs.Messages().isEmpty());

    const QString index = dir.filePath(QStringLiteral("index.html"));
    WriteBytes(index, "<html><body><h1>manual</h1></body></html>");
    w.State.HelpIndexFile = index;
    w.HelpMokuji->trigger();
    ASSERT_NE(w.HelpWindow(), nullptr);
    EXPECT_TRUE(w.HelpWindow()->isVisible());
    EXPECT_TRUE(w.HelpWindow()->toPlainText().contains(QStringLiteral("manual")));
    w.close();   // the help window goes with the main window
    EXPECT_FALSE(w.HelpWindow()->isVisible());
}

TEST_F(FormMainTest, BundledManualIsFound) {
    TFormMain& w = Start();
    ASSERT_FALSE(w.State.HelpIndexFile.isEmpty());
    EXPECT_TRUE(QFile::exists(w.State.HelpIndexFile));
}

TEST_F(FormMainTest, MenusHoldEveryItemInOrder) {
    TFormMain& w = Start();
    QStringList top;
    for (QAction* a : w.menuBar()->actions()) top << a->text();
    EXPECT_EQ(top, QStringList({"ファイル(&F)", "編集(&E)", "詳細(&F)", "表示(&V)", "ヘルプ(&H)"}));
    EXPECT_EQ(Captions(w.MenuFile),
              QStringList({"設定ファイル再読込", "設定ファイルを保存", "-", "分布データを再読込", "分布データを追加読",
                           "表(CSV・TSV)を取り込む", "分布データを保存", "-", "図をEMF形式で保存", "分布区画をGIS形式で保存",
                           "-", "最近使ったファイル", "-", "終  了"}));
    EXPECT_EQ(Captions(w.MenuEdit), QStringList({"図をｸﾘｯﾌﾟﾎﾞｰﾄﾞへ", "分布データをクリア", "分布データを編集", "-",
                                                 "分布の凡例を編集", "-", "描画設定の一覧表示"}));
    EXPECT_EQ(Captions(w.MenuDetail),
              QStringList({"1/2メッシュ表示", "基準メッシュ表示", "２倍メッシュ表示", "５倍メッシュ表示", "２次メッシュ表示",
                           "経緯度による表示", "-", "区画腺の表示無し", "１次区画腺を表示", "２次区画腺を表示", "-",
                           "県界を表示する"}));
    EXPECT_EQ(Captions(w.MenuView), QStringList({"三面分布図を表示", "水平分布図を表示", "垂直分布図を表示", "-",
                                                 "画面の高さに収める", "画面の横幅に収める"}));
    EXPECT_EQ(Captions(w.MenuHelp), QStringList({"使用説明書", "バージョン情報"}));
    EXPECT_EQ(Captions(w.PopupMenu1), QStringList({"BMP形式でコピー", "EMF形式でコピー", "凡例の左上指定",
                                                   "凡例を編集する", "描画設定をやり直す"}));
    EXPECT_EQ(Captions(w.PopupMenu2), QStringList({"BMP形式でコピー", "EMF形式でコピー"}));
    EXPECT_EQ(Captions(w.PopupMenu3), QStringList({"BMP形式でコピー", "EMF形式でコピー"}));
    EXPECT_TRUE(w.PrecisionItems->isExclusive());
    EXPECT_TRUE(w.PrefLines->isCheckable());
    EXPECT_FALSE(w.PrefLines->actionGroup());
}

TEST_F(FormMainTest, BoardAndStatusBarAsDesigned) {
    TFormMain& w = Start();
    EXPECT_EQ(w.SettingBoard->geometry(), QRect(30, 30, 628, 377));
    EXPECT_EQ(w.MappingSheet->verticalScrollBar()->singleStep(), 12);
    EXPECT_EQ(w.RangeGroup->title(), QStringLiteral("作図の範囲"));
    EXPECT_EQ(w.PrecisionGroup->title(), QStringLiteral("点の精度"));
    EXPECT_EQ(w.MeshLineGroup->title(), QStringLiteral("区画線"));
    EXPECT_EQ(w.ViewGroup->title(), QStringLiteral("　作成分布図"));
    // The range laid out as a compass.
    const auto centreX = [](QWidget* c) { return c->geometry().center().x(); };
    const auto centreY = [](QWidget* c) { return c->geometry().center().y(); };
    EXPECT_LT(centreY(w.EditGY2), centreY(w.EditGX1));
    EXPECT_LT(centreY(w.EditGX1), centreY(w.EditGY1));
    EXPECT_EQ(centreY(w.EditGX1), centreY(w.EditGX2));
    EXPECT_LT(centreX(w.EditGX1), centreX(w.EditGY2));
    EXPECT_LT(centreX(w.EditGY2), centreX(w.EditGX2));
    EXPECT_EQ(centreX(w.EditGY2), centreX(w.EditGY1));
    EXPECT_GT(centreX(w.EditNWGrid), centreX(w.EditGY2));
    EXPECT_LT(centreX(w.EditSWGrid), centreX(w.EditGY1));
    // Radio buttons top to bottom.
    QRadioButton* precisions[] = {w.GScale12, w.GScale1, w.GScale2, w.GScale5, w.GScale10, w.GScale0};
    for (int i = 1; i < 6; ++i) EXPECT_LT(precisions[i - 1]->y(), precisions[i]->y());
    QRadioButton* meshes[] = {w.MScale3, w.MScale2, w.MScale1, w.MScale0};
    for (int i = 1; i < 4; ++i) EXPECT_LT(meshes[i - 1]->y(), meshes[i]->y());
    EXPECT_EQ(w.GScale5->text(), QStringLiteral("５倍"));
    EXPECT_EQ(w.MScale3->text(), QStringLiteral("基準"));
    EXPECT_EQ(w.NewMapBtn->text(), QStringLiteral("分布図を作成する"));
    EXPECT_EQ(w.BtnCansel->text(), QStringLiteral("変更中止"));
    EXPECT_EQ(w.MapColorBt->text(), QStringLiteral("└─┐　海岸線"));
    EXPECT_EQ(w.SubColorBt->text(), QStringLiteral("------　行政界"));
    EXPECT_EQ(w.MshColorBt->text(), QStringLiteral("───　区画線"));

    ASSERT_EQ(w.StatusBar1->PanelCount(), 15);
    const int widths[] = {160, 46, 40, 36, 40, 10, 36, 50, 36, 50, 36, 40, 50, 80, 50};
    const char* texts[] = {"Noname", "点精度", "", "区画", "", "", "緯度", "", "経度", "", "標高", "", "コード", "", ""};
    for (int i = 0; i < 15; ++i) {
        EXPECT_EQ(w.StatusBar1->Panel(i)->width(), widths[i]) << i;
        EXPECT_EQ(w.StatusBar1->PanelText(i), QString::fromUtf8(texts[i])) << i;
        EXPECT_EQ(w.StatusBar1->Panel(i)->alignment(), Qt::AlignCenter) << i;
    }
}

TEST_F(FormMainTest, TypedTextIsLimitedButLongerTextFromTheFileIsKept) {
    const std::string longTitle(100, 'T');
    WriteIni(("[DataFile]\nTitle=" + longTitle + "\n").c_str());
    TFormMain& w = Start();
    EXPECT_EQ(w.EditTitle->text().size(), 100);
    QTest::keyClick(w.EditTitle, Qt::Key_End);
    QTest::keyClicks(w.EditTitle, QStringLiteral("more"));
    EXPECT_EQ(w.EditTitle->text().size(), 100);          // no growth beyond the limit
    QTest::keyClick(w.EditTitle, Qt::Key_Backspace);
    EXPECT_EQ(w.EditTitle->text().size(), 99);           // shortening is allowed

    w.EditGY1->clear();
    QTest::keyClicks(w.EditGY1, QStringLiteral("35.3000123"));
    EXPECT_EQ(w.EditGY1->text(), QStringLiteral("35.300"));
    w.EditGX1->clear();
    QTest::keyClicks(w.EditGX1, QStringLiteral("139.45001"));
    EXPECT_EQ(w.EditGX1->text(), QStringLiteral("139.4500"));
    w.EditMapFile->clear();
    QTest::keyClicks(w.EditMapFile, QString(40, QLatin1Char('m')));
    EXPECT_EQ(w.EditMapFile->text().size(), 36);

    // Pasted text is cut to what fits.
    QApplication::clipboard()->setText(QStringLiteral("12.3456789"));
    w.EditGY2->clear();
    QTest::keySequence(w.EditGY2, QKeySequence::Paste);
    EXPECT_EQ(w.EditGY2->text(), QStringLiteral("12.345"));
    // The program's own texts are not cut.
    w.EditGY2->setText(QStringLiteral("12.3456789"));
    EXPECT_EQ(w.EditGY2->text(), QStringLiteral("12.3456789"));
}

TEST_F(FormMainTest, ChartsAsDesigned) {
    using namespace kavum::chart;
    using namespace kavum::platform;
    TFormMain& w = Start();
    TChart* charts[] = {w.Chart1, w.Chart2, w.Chart3};
    TLineSeries* lines[] = {w.SeriesH0, w.SeriesW0, w.SeriesS0};
    const kavum::app::PerCategory<TPointSeries*>* points[] = {&w.SeriesH, &w.SeriesW, &w.SeriesS};
    const char* prefixes[] = {"SeriesH", "SeriesW", "SeriesS"};
    const char* titles[] = {"Horizon Map", "WE-Profile", "SN Profile"};
    for (int c = 0; c < 3; ++c) {
        TChart& chart = *charts[c];
        EXPECT_TRUE(chart.isHidden());
        EXPECT_EQ(chart.parentWidget(), w.MappingSheet->Sheet());
        EXPECT_EQ(chart.SeriesDefaultCapacity(), 64000);
        EXPECT_EQ(chart.MarginLeft() * 1000 + chart.MarginRight() * 100 + chart.MarginTop() * 10 + chart.MarginBottom(),
                  6444);
        EXPECT_FALSE(chart.View3D());
        EXPECT_TRUE(chart.ClipPoints());
        EXPECT_TRUE(chart.BufferedDisplay());
        EXPECT_EQ(chart.Color(), clWhite);
        EXPECT_EQ(chart.Title().Text().value(0), QString::fromLatin1(titles[c]));
        EXPECT_FALSE(chart.Title().Visible());
        EXPECT_EQ(chart.Title().Font().Name(), QStringLiteral("ＭＳ Ｐ明朝"));
        EXPECT_EQ(chart.Title().Font().Height(), 15);
        EXPECT_FALSE(chart.Legend().Visible());
        // The map lines first, then categories 1..9, all empty.
        ASSERT_EQ(chart.SeriesCount(), 10);
        EXPECT_EQ(&chart.Series(0), lines[c]);
        EXPECT_FALSE(lines[c]->ShowInLegend());
        EXPECT_EQ(lines[c]->XValuesOrder(), loNone);
        for (int k = 1; k <= 9; ++k) {
            TPointSeries* s = (*points[c])[k];
            EXPECT_EQ(&chart.Series(k), s);
            EXPECT_EQ(s->Title(), QString::fromLatin1(prefixes[c]) + QString::number(k));
            EXPECT_EQ(s->XValuesOrder(), loAscending);
            EXPECT_EQ(s->Count(), 0);
            EXPECT_FALSE(s->Pointer().InflateMargins());
            // The marks of the horizontal map are those of every chart.
            const TSeriesPointer& h = w.SeriesH[k]->Pointer();
            EXPECT_EQ(s->Pointer().Style(), h.Style());
            EXPECT_EQ(s->Pointer().HorizSize(), h.HorizSize());
            EXPECT_EQ(s->Pointer().Brush().Color(), h.Brush().Color());
            EXPECT_EQ(s->Pointer().Pen().Width(), h.Pen().Width());
            EXPECT_EQ(s->SeriesColor(), w.SeriesH[k]->SeriesColor());
        }
        for (TCustomChartAxis* axis : {&chart.LeftAxis(), &chart.BottomAxis(), &chart.RightAxis(), &chart.TopAxis()}) {
            EXPECT_FALSE(axis->Automatic());
            EXPECT_EQ(axis->Grid().Color(), clAqua);
            EXPECT_EQ(axis->MinorGrid().Color(), clAqua);
            EXPECT_TRUE(axis->MinorGrid().SmallDots());
            EXPECT_FALSE(axis->Ticks().Visible());
            EXPECT_EQ(axis->LabelsFont().Name(), QStringLiteral("ＭＳ ゴシック"));
            EXPECT_EQ(axis->LabelsFont().Height(), c == 0 ? 12 : 13);
            EXPECT_EQ(axis->LabelsFont().Color(), clAqua);
        }
    }
    EXPECT_EQ(w.State.PointSeriesH[4], w.SeriesH[4]);
    EXPECT_EQ(w.State.PointSeriesW[9], w.SeriesW[9]);
    EXPECT_EQ(w.State.PointSeriesS[1], w.SeriesS[1]);
    EXPECT_EQ(w.SeriesH[2]->SeriesColor(), clPurple);
    EXPECT_EQ(w.SeriesH[7]->Pointer().Pen().Width(), 2);
    EXPECT_EQ(w.SeriesH[8]->Pointer().Pen().Width(), 2);
    EXPECT_EQ(w.SeriesH[9]->Pointer().Pen().Width(), 1);
    EXPECT_EQ(w.SeriesH[3]->Pointer().Style(), psTriangle);

    // The axis designs.
    TCustomChartAxis& b1 = w.Chart1->BottomAxis();
    EXPECT_TRUE(b1.Visible() && b1.Labels());
    EXPECT_EQ(b1.AxisValuesFormat(), QStringLiteral("###.0"));
    EXPECT_EQ(b1.Increment(), 7);
    EXPECT_EQ(b1.MinorTickCount(), 7);
    EXPECT_EQ(b1.Minimum(), 132);
    EXPECT_EQ(b1.Maximum(), 133.5);
    EXPECT_FALSE(b1.LabelsOnAxis());
    EXPECT_EQ(b1.LabelsSeparation(), 1);
    EXPECT_FALSE(w.Chart1->LeftAxis().Labels());
    EXPECT_EQ(w.Chart1->LeftAxis().LabelsSeparation(), 20);
    EXPECT_FALSE(w.Chart1->RightAxis().Visible());
    EXPECT_FALSE(w.Chart1->TopAxis().Visible());
    EXPECT_FALSE(w.Chart1->TopAxis().RoundFirstLabel());
    EXPECT_TRUE(w.Chart1->BottomAxis().RoundFirstLabel());
    EXPECT_EQ(w.Chart1->Legend().Font().Height(), 13);
    EXPECT_EQ(w.Chart2->LeftAxis().AxisValuesFormat(), QStringLiteral("###0m"));
    EXPECT_EQ(w.Chart2->LeftAxis().Maximum(), 2000);
    EXPECT_EQ(w.Chart2->BottomAxis().Title().Caption(), QStringLiteral(" "));
    EXPECT_EQ(w.Chart2->BottomAxis().Title().Font().Height(), 17);
    EXPECT_TRUE(w.Chart3->BottomAxis().LabelsOnAxis());
    EXPECT_EQ(w.Chart3->BottomAxis().Axis().Width(), 2);
    EXPECT_FALSE(w.Chart3->LeftAxis().Axis().Visible());
    EXPECT_EQ(w.Chart3->LeftAxis().LabelsSeparation(), 40);
    EXPECT_EQ(w.Chart3->LeftAxis().Minimum(), 33.99);
    EXPECT_TRUE(w.Chart3->RightAxis().Visible());
    EXPECT_EQ(w.Chart3->RightAxis().AxisValuesFormat(), QStringLiteral(" ##"));
    EXPECT_EQ(w.Chart3->RightAxis().Minimum(), 27.5);
    EXPECT_FALSE(w.Chart3->TopAxis().Visible());

    // The map line series.
    EXPECT_EQ(w.SeriesH0->Pointer().Style(), psSmallDot);
    EXPECT_EQ(w.SeriesH0->Pointer().HorizSize(), 1);
    EXPECT_FALSE(w.SeriesH0->Pointer().Pen().Visible());
    EXPECT_EQ(w.SeriesW0->Pointer().Style(), psCross);
    EXPECT_FALSE(w.SeriesW0->Pointer().Pen().Visible());
    EXPECT_TRUE(w.SeriesW0->LinePen().SmallDots());
    EXPECT_FALSE(w.SeriesS0->Pointer().Visible());
    EXPECT_EQ(w.SeriesS0->VertAxis(), aBothVertAxis);
    EXPECT_EQ(w.SettingBoard->parentWidget(), w.MappingSheet->Sheet());
}

TEST_F(FormMainTest, ChartEventsReachTheirCommands) {
    TFormMain& w = Start();
    w.show();
    // A double click on a profile shows the horizontal map alone.
    w.Chart3->OnDblClick(*w.Chart3);
    EXPECT_EQ(w.State.ShowMode, 1);
    EXPECT_FALSE(w.ProfileMap->isChecked());
    // The right button opens the chart's pop-up menu.
    w.Chart2->OnContextPopup(*w.Chart2, QPoint(5, 5), w.mapToGlobal(QPoint(50, 50)));
    EXPECT_TRUE(w.PopupMenu2->isVisible());
    w.PopupMenu2->hide();
    // A failure inside a chart's drawing is shown like any other.
    w.Chart1->OnError(std::runtime_error("描けません"));
    EXPECT_EQ(dialogs.Messages(), QStringList{QStringLiteral("描けません")});
    w.close();
}

}  // namespace

// Pictures of the window, its menus, the about box and the manual, for
// looking at by eye: run with --gtest_also_run_disabled_tests.
TEST_F(FormMainTest, DISABLED_Screenshots) {
    TFormMain& w = Start();
    w.show();
    QApplication::processEvents();
    const QString out = QDir::temp().filePath(QStringLiteral("kavum-shots"));
    QDir().mkpath(out);
    w.grab().save(out + QStringLiteral("/window.png"));
    for (QMenu* menu : {w.MenuFile, w.MenuEdit, w.MenuDetail, w.MenuView, w.MenuHelp, w.PopupMenu1, w.PopupMenu2}) {
        menu->popup(w.mapToGlobal(QPoint(20, 20)));
        QApplication::processEvents();
        menu->grab().save(out + QLatin1Char('/') + menu->objectName() + QStringLiteral(".png"));
        menu->hide();
    }
    w.AboutBox->show();
    QApplication::processEvents();
    w.AboutBox->grab().save(out + QStringLiteral("/about.png"));
    w.AboutBox->hide();
    w.HelpMokuji->trigger();
    QApplication::processEvents();
    if (w.HelpWindow()) w.HelpWindow()->grab().save(out + QStringLiteral("/manual.png"));
    // The charts as designed, before any layout.
    w.SettingBoard->hide();
    w.Chart1->setGeometry(0, 0, 400, 300);
    w.Chart2->setGeometry(400, 0, 400, 200);
    w.Chart3->setGeometry(400, 200, 300, 300);
    for (kavum::chart::TChart* chart : {w.Chart1, w.Chart2, w.Chart3}) chart->show();
    QApplication::processEvents();
    w.grab().save(out + QStringLiteral("/charts.png"));
    w.close();
}
