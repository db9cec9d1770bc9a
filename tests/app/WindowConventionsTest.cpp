// The window as a desktop program: text boxes under the typed limit, the
// readout panels, files given on the command line or dropped, the questions
// before a file is replaced or edited data are let go, the dialogs' folders,
// the recent files and the window's state between runs.
#include "WindowTest.h"

#include "app/FormMain.h"
#include "app/Startup.h"
#include "app/Widgets.h"
#include "data/EditorPane.h"
#include "platform/Cp932.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <sstream>

using kavum::app::OpenedFileKind;
using kavum::app::TFormMain;
using kavum::app::test::Assets;
using kavum::app::test::ReadBytes;
using kavum::app::test::WindowTest;
using kavum::app::test::WriteBytes;
using kavum::platform::Answer;
using kavum::platform::ScriptedDialogs;

namespace {

// Key presses carrying any text (QTest::keyClicks takes ASCII only).
void TypeText(QWidget* widget, const QString& text) {
    for (const QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(widget, &press);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(widget, &release);
    }
}

class WindowConventionsTest : public WindowTest {
protected:
    TFormMain& Start(const QStringList& arguments = {}) {
        NewWindow(arguments);
        window->EditMapFile->setText(Assets + QStringLiteral("/Kavum_Nippon.mdt"));
        window->show();
        QApplication::processEvents();
        return *window;
    }
    // Types a new line into the open data editor, as the user would.
    void TypeLineInEditor(TFormMain& w, const QString& line) {
        w.EdDataItemClick();
        w.EditorBox->Memo1->moveCursor(QTextCursor::End);
        QTest::keyClick(w.EditorBox->Memo1, Qt::Key_Return);
        QTest::keyClicks(w.EditorBox->Memo1, line);
    }
};

}  // namespace

TEST_F(WindowConventionsTest, TypingOverASelectionGivesTheValueTyped) {
    TFormMain& w = Start();
    ASSERT_EQ(w.EditGX2->text(), QStringLiteral("146.00"));
    w.EditGX2->setFocus();
    w.EditGX2->selectAll();
    QTest::keyClicks(w.EditGX2, QStringLiteral("145.30"));
    EXPECT_EQ(w.EditGX2->text(), QStringLiteral("145.30"));

    // The caret moves and stays where it was put.
    QTest::keyClick(w.EditGX2, Qt::Key_Home);
    QTest::keyClick(w.EditGX2, Qt::Key_Right);
    QTest::keyClick(w.EditGX2, Qt::Key_Right);
    QTest::keyClick(w.EditGX2, Qt::Key_Right);
    QTest::keyClicks(w.EditGX2, QStringLiteral("9"));
    EXPECT_EQ(w.EditGX2->text(), QStringLiteral("1459.30"));
    EXPECT_EQ(w.EditGX2->cursorPosition(), 4);
    // A key beyond the limit is refused without moving the caret or the text.
    QTest::keyClicks(w.EditGX2, QStringLiteral("12"));
    EXPECT_EQ(w.EditGX2->text(), QStringLiteral("14591.30"));
    EXPECT_EQ(w.EditGX2->cursorPosition(), 5);
    // Undo goes back step by step.
    w.EditGX2->undo();
    EXPECT_EQ(w.EditGX2->text(), QStringLiteral("145.30"));
    w.EditGX2->undo();
    EXPECT_EQ(w.EditGX2->text(), QStringLiteral("146.00"));

    // In the title, a word typed in the middle lands there.
    w.EditTitle->setText(QStringLiteral("日本分布図"));
    w.EditTitle->setFocus();
    w.EditTitle->setCursorPosition(2);
    TypeText(w.EditTitle, QStringLiteral("植物三面"));
    EXPECT_EQ(w.EditTitle->text(), QStringLiteral("日本植物三面分布図"));

    // A paste over a selection is cut to what fits in its place.
    w.EditGY1->setText(QStringLiteral("30.00"));
    w.EditGY1->setSelection(3, 2);
    QApplication::clipboard()->setText(QStringLiteral("45678"));
    QTest::keySequence(w.EditGY1, QKeySequence::Paste);
    EXPECT_EQ(w.EditGY1->text(), QStringLiteral("30.456"));
}

TEST_F(WindowConventionsTest, JapaneseInputMethodTextIsTakenWithinTheLimit) {
    TFormMain& w = Start();
    w.EditTitle->setText(QStringLiteral("標題"));
    w.EditTitle->setFocus();
    w.EditTitle->setCursorPosition(1);
    QInputMethodEvent preedit(QStringLiteral("ぶな"), {});
    QApplication::sendEvent(w.EditTitle, &preedit);
    QInputMethodEvent commit;
    commit.setCommitString(QStringLiteral("分布"));
    QApplication::sendEvent(w.EditTitle, &commit);
    EXPECT_EQ(w.EditTitle->text(), QStringLiteral("標分布題"));
    // A commit that would pass the limit of 80 is refused whole.
    w.EditTitle->setText(QString(79, QLatin1Char('x')));
    w.EditTitle->setCursorPosition(79);
    QInputMethodEvent tooLong;
    tooLong.setCommitString(QStringLiteral("分布"));
    QApplication::sendEvent(w.EditTitle, &tooLong);
    EXPECT_EQ(w.EditTitle->text().size(), 79);
}

TEST_F(WindowConventionsTest, ReadoutPanelsShowTheWholeLongitude) {
    TFormMain& w = Start();
    w.StatusBar1->SetPanelText(9, QStringLiteral("141.1357"));
    QLabel* panel = w.StatusBar1->Panel(9);
    EXPECT_GE(panel->contentsRect().width(), panel->fontMetrics().horizontalAdvance(panel->text()));
    // Panels that follow move along rather than lie under it.
    EXPECT_GE(w.StatusBar1->Panel(10)->x(), panel->geometry().right());
    // A short text leaves the designed width.
    w.StatusBar1->SetPanelText(11, QStringLiteral("12"));
    EXPECT_EQ(w.StatusBar1->Panel(11)->width(), 40);
}

TEST_F(WindowConventionsTest, FileArgumentsAndKinds) {
    using kavum::app::FileArgument;
    using kavum::app::KindOfOpenedFile;
    EXPECT_EQ(KindOfOpenedFile(QStringLiteral("/a/b.GRD")), OpenedFileKind::Data);
    EXPECT_EQ(KindOfOpenedFile(QStringLiteral("b.csv")), OpenedFileKind::Table);
    EXPECT_EQ(KindOfOpenedFile(QStringLiteral("b.tsv")), OpenedFileKind::Table);
    EXPECT_EQ(KindOfOpenedFile(QStringLiteral("japan.Mdt")), OpenedFileKind::Map);
    EXPECT_EQ(KindOfOpenedFile(QStringLiteral("x.ini")), OpenedFileKind::Settings);
    EXPECT_EQ(KindOfOpenedFile(QStringLiteral("x.grd/readme")), OpenedFileKind::None);
    EXPECT_EQ(FileArgument({QStringLiteral("survey.grd")}), QStringLiteral("survey.grd"));
    EXPECT_EQ(FileArgument({QStringLiteral("alps.ini"), QStringLiteral("survey.grd")}), QStringLiteral("survey.grd"));
    EXPECT_EQ(FileArgument({QStringLiteral("-x"), QStringLiteral("notes.txt"), QStringLiteral("j.mdt")}),
              QStringLiteral("j.mdt"));
    EXPECT_EQ(FileArgument({QStringLiteral("alps.ini")}), QString());
    // The settings argument rule is unchanged: a data file first leaves the
    // default settings file in use.
    TFormMain& w = Start({QStringLiteral("survey.grd"), dir.filePath(QStringLiteral("other.ini"))});
    EXPECT_EQ(w.State.IniFileName, dir.filePath(QStringLiteral("kavum.ini")));
}

TEST_F(WindowConventionsTest, ADataOrMapFileGivenToTheWindowIsOpened) {
    TFormMain& w = Start();
    const QString data = Data("survey.grd", "ブナ\r\n53394611\r\n");
    w.OpenFile(data);
    EXPECT_TRUE(dialogs.Messages().isEmpty()) << dialogs.Messages().join('\n').toStdString();
    EXPECT_EQ(w.EditGrdFile->text(), data);
    EXPECT_EQ(w.State.CategoryCount, 1);
    EXPECT_EQ(w.SeriesH[1]->Count(), 1);
    EXPECT_FALSE(w.SettingBoard->isVisible());
    EXPECT_EQ(w.RecentFiles().value(0), data);

    // A table goes the same way for now.
    const QString table = Data("table.csv", "ミズナラ\r\n53394611\r\n53394612\r\n");
    w.OpenFile(table);
    EXPECT_EQ(w.SeriesH[1]->Count(), 2);

    const QString map = dir.filePath(QStringLiteral("japan.mdt"));
    QFile::copy(Assets + QStringLiteral("/Kavum_Nippon.mdt"), map);
    w.OpenFile(map);
    EXPECT_EQ(w.EditMapFile->text(), map);
    EXPECT_GT(w.SeriesH0->Count(), 0);

    // Dropped on the window: opened once the drop is over.
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(data)});
    QDragEnterEvent enter(QPoint(100, 100), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    static_cast<QObject&>(w).event(&enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(100, 100), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    static_cast<QObject&>(w).event(&drop);
    QApplication::processEvents();
    EXPECT_EQ(w.EditGrdFile->text(), data);
    EXPECT_EQ(w.SeriesH[1]->Count(), 1);

    // A file that is not there, or of another kind, is reported.
    EXPECT_FALSE(w.RunCommand([&] { w.OpenFile(dir.filePath(QStringLiteral("none.grd"))); }));
    EXPECT_FALSE(w.RunCommand([&] { w.OpenFile(dir.path()); }));
    EXPECT_EQ(dialogs.Messages().size(), 2);
}

TEST_F(WindowConventionsTest, EditedDataAreNotLetGoWithoutAsking) {
    TFormMain& w = Start();
    w.OpenFile(Data("survey.grd", "ブナ\r\n53394611\r\n"));
    TypeLineInEditor(w, QStringLiteral("53394612"));
    ASSERT_TRUE(w.EditorTextModified());

    // キャンセル: the precision choice is undone, the text stays.
    dialogs.AnswerYesNoCancel(Answer::Cancel);
    w.PlotSize0->trigger();
    EXPECT_EQ(dialogs.UsesOf(ScriptedDialogs::Kind::YesNoCancel).size(), 1u);
    EXPECT_TRUE(w.PlotSize10->isChecked());
    EXPECT_FALSE(w.GScale0->isChecked());
    EXPECT_EQ(w.Memo1Text().LineCount(), 3u);

    // はい: saved first (asking before replacing the file), then reloaded.
    const QString saved = dir.filePath(QStringLiteral("saved.grd"));
    WriteBytes(saved, "old\r\n");
    dialogs.AnswerYesNoCancel(Answer::Yes);
    dialogs.AnswerSave(saved);
    dialogs.AnswerConfirm(true);
    w.PlotSize0->trigger();
    EXPECT_EQ(ReadBytes(saved), kavum::platform::Utf8ToCp932("ブナ\r\n53394611\r\n53394612\r\n"));
    EXPECT_TRUE(w.GScale0->isChecked());
    EXPECT_EQ(w.Memo1Text().LineCount(), 2u);
    EXPECT_FALSE(w.EditorTextModified());
    // Only one question per command.
    EXPECT_EQ(dialogs.UsesOf(ScriptedDialogs::Kind::YesNoCancel).size(), 2u);

    // いいえ: let go.
    TypeLineInEditor(w, QStringLiteral("53394613"));
    dialogs.AnswerYesNoCancel(Answer::No);
    w.NewMapBtnClick();
    EXPECT_EQ(w.Memo1Text().LineCount(), 2u);

    // Without edits, nothing is asked.
    dialogs.ClearUses();
    w.NewMapBtnClick();
    w.ClearPlotItemClick();
    EXPECT_TRUE(dialogs.UsesOf(ScriptedDialogs::Kind::YesNoCancel).empty());
}

TEST_F(WindowConventionsTest, SavesAskBeforeReplacingAFile) {
    TFormMain& w = Start();
    const QString existing = dir.filePath(QStringLiteral("copy.ini"));
    WriteBytes(existing, "[Mine]\r\nKey=1\r\n");
    dialogs.AnswerSave(existing);   // declined
    w.SaveIniFileItemClick();
    EXPECT_EQ(ReadBytes(existing), "[Mine]\r\nKey=1\r\n");
    ASSERT_EQ(dialogs.UsesOf(ScriptedDialogs::Kind::Confirm).size(), 1u);
    EXPECT_TRUE(dialogs.UsesOf(ScriptedDialogs::Kind::Confirm)[0].text.contains(existing));
    dialogs.AnswerSave(existing);
    dialogs.AnswerConfirm(true);
    w.SaveIniFileItemClick();
    EXPECT_NE(ReadBytes(existing).find("GY1=30.00"), std::string::npos);
    EXPECT_NE(ReadBytes(existing).find("[Mine]"), std::string::npos);
    // A new name is written without a question.
    dialogs.ClearUses();
    const QString fresh = dir.filePath(QStringLiteral("fresh.grd"));
    dialogs.AnswerSave(fresh);
    w.SavePlotItemClick();
    EXPECT_TRUE(QFile::exists(fresh));
    EXPECT_TRUE(dialogs.UsesOf(ScriptedDialogs::Kind::Confirm).empty());
    // Declined over a data file: the file stays.
    WriteBytes(fresh, "keep\r\n");
    dialogs.AnswerSave(fresh);
    w.SavePlotItemClick();
    EXPECT_EQ(ReadBytes(fresh), "keep\r\n");
}

TEST_F(WindowConventionsTest, QuittingWithEditedDataAsks) {
    TFormMain& w = Start();
    w.OpenFile(Data("survey.grd", "ブナ\r\n53394611\r\n"));
    TypeLineInEditor(w, QStringLiteral("53394612"));
    const QString ini = dir.filePath(QStringLiteral("kavum.ini"));

    dialogs.AnswerYesNoCancel(Answer::Cancel);
    w.MenuQuitClick();
    EXPECT_TRUE(w.isVisible());
    EXPECT_FALSE(QFile::exists(ini));   // nothing written yet
    // Closing by the frame asks as well.
    dialogs.AnswerYesNoCancel(Answer::Cancel);
    w.close();
    EXPECT_TRUE(w.isVisible());
    // はい with the save dialog cancelled: the window stays.
    dialogs.AnswerYesNoCancel(Answer::Yes);
    w.MenuQuitClick();
    EXPECT_TRUE(w.isVisible());
    // いいえ quits, writing the settings, and asks only once.
    dialogs.ClearUses();
    dialogs.AnswerYesNoCancel(Answer::No);
    w.MenuQuitClick();
    EXPECT_FALSE(w.isVisible());
    EXPECT_TRUE(QFile::exists(ini));
    EXPECT_EQ(dialogs.UsesOf(ScriptedDialogs::Kind::YesNoCancel).size(), 1u);
}

TEST_F(WindowConventionsTest, DialogsStartInAFolderTheUserCanWrite) {
    using kavum::app::StartFolder;
    auto writable = [](const QString& folder) { return folder.startsWith(QLatin1String("/home")); };
    EXPECT_EQ(StartFolder(QStringLiteral("/home/u/data"), QStringLiteral("/home/u/last"), QStringLiteral("/home/u"), writable),
              QStringLiteral("/home/u/data"));
    EXPECT_EQ(StartFolder(QStringLiteral("/usr/bin"), QStringLiteral("/home/u/last"), QStringLiteral("/home/u"), writable),
              QStringLiteral("/home/u/last"));
    EXPECT_EQ(StartFolder(QStringLiteral("/usr/bin"), QStringLiteral("/usr/share"), QStringLiteral("/home/u"), writable),
              QStringLiteral("/home/u"));
    EXPECT_EQ(StartFolder(QString(), QString(), QStringLiteral("/home/u"), writable), QStringLiteral("/home/u"));
    EXPECT_FALSE(kavum::app::IsWritableFolder(dir.filePath(QStringLiteral("none"))));
    EXPECT_TRUE(kavum::app::IsWritableFolder(dir.path()));

    // An installed program: the settings dialog does not open in its bin folder.
    QDir(dir.path()).mkpath(QStringLiteral("usr/bin"));
    QDir(dir.path()).mkpath(QStringLiteral("usr/share/kavum"));
    WriteBytes(dir.filePath(QStringLiteral("usr/share/kavum/kavum.ini")), "");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.filePath(QStringLiteral("config"))));
    TFormMain installed(dir.filePath(QStringLiteral("usr/bin/kavum")), {}, dialogs);
    installed.OpenIniFileItemClick();
    const auto opens = dialogs.UsesOf(ScriptedDialogs::Kind::Open);
    ASSERT_FALSE(opens.empty());
    EXPECT_NE(opens.back().file.InitialDir, dir.filePath(QStringLiteral("usr/bin")));
    EXPECT_EQ(opens.back().file.InitialDir, QDir::homePath());
    qunsetenv("XDG_CONFIG_HOME");
}

TEST_F(WindowConventionsTest, RecentFilesAndGeometryAreKeptBetweenRuns) {
    const QString store = dir.filePath(QStringLiteral("state/window-state.conf"));
    const QString data = Data("survey.grd", "ブナ\r\n53394611\r\n");
    {
        TFormMain& w = Start();
        w.UseWindowStateFile(store);
        w.OpenFile(data);
        w.resize(700, 500);
        w.close();
    }
    // Never in the settings file.
    EXPECT_EQ(ReadBytes(dir.filePath(QStringLiteral("kavum.ini"))).find("RecentFiles"), std::string::npos);
    window.reset();
    NewWindow();
    window->UseWindowStateFile(store);
    EXPECT_EQ(window->RecentFiles(), QStringList({data}));
    ASSERT_EQ(window->MenuRecent->actions().size(), 1);
    EXPECT_EQ(window->MenuRecent->actions()[0]->text(), QStringLiteral("&1 survey.grd"));
    EXPECT_EQ(window->LastFolder(), dir.path());
    EXPECT_EQ(window->size(), QSize(700, 500));
}

TEST_F(WindowConventionsTest, ShortcutsAndATitleOutsideShiftJis) {
    TFormMain& w = Start();
    EXPECT_EQ(w.ReLoadGrd->shortcut(), QKeySequence(QStringLiteral("Ctrl+O")));
    EXPECT_EQ(w.SavePlotItem->shortcut(), QKeySequence(QStringLiteral("Ctrl+S")));
    EXPECT_EQ(w.MenuQuit->shortcut(), QKeySequence(QStringLiteral("Ctrl+Q")));
    EXPECT_EQ(w.HelpMokuji->shortcut(), QKeySequence(QStringLiteral("F1")));
    QAction* remake = w.findChild<QAction*>(QStringLiteral("RemakeMapShortcut"));
    ASSERT_NE(remake, nullptr);
    EXPECT_EQ(remake->shortcut(), QKeySequence(QStringLiteral("F5")));

    w.EditTitle->setText(QStringLiteral("分布図 \u00E9t\u00E9"));
    w.WriteIniFile();
    ASSERT_EQ(dialogs.Messages().size(), 1);
    EXPECT_EQ(dialogs.Messages()[0], QStringLiteral("Shift-JIS で表せない文字を「?」に置き換えました。"));
}
