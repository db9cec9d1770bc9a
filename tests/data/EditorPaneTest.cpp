#include "data/EditorPane.h"
#include "platform/Cp932.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QFontInfo>
#include <QFontMetrics>
#include <QTest>
#include <QToolButton>

using namespace kavum::data;

TEST(EditorPane, ShowsEditsAndHandsBackTheText) {
    DataText text;
    text.SetLines({"Mark1", "53394611.12", kavum::platform::Utf8ToCp932("ブナ")});
    TEditorBox box(text);
    EXPECT_EQ(box.size(), QSize(270, 413));
    EXPECT_EQ(box.SpeedButton1->toolTip(), "分布データ追加読み");
    EXPECT_EQ(box.EdReDrawBtn->width(), 56);
    EXPECT_EQ(box.StatusPanel(2)->text(), "NoName.grd");
    box.ShowText();
    EXPECT_EQ(box.Memo1->toPlainText(), "Mark1\n53394611.12\nブナ");
    EXPECT_FALSE(box.Edited());

    // Caret panels: line and column from 0.
    QTextCursor c(box.Memo1->document()->findBlockByNumber(1));
    c.movePosition(QTextCursor::Right, QTextCursor::MoveAnchor, 4);
    box.Memo1->setTextCursor(c);
    EXPECT_EQ(box.StatusPanel(0)->text(), "1");
    EXPECT_EQ(box.StatusPanel(1)->text(), "4");
    box.Memo1->moveCursor(QTextCursor::Start);
    EXPECT_EQ(box.StatusPanel(0)->text(), "0");
    EXPECT_EQ(box.StatusPanel(1)->text(), "0");

    // An edit reaches the store only when taken; a character without a
    // Shift-JIS form becomes "?".
    box.Memo1->moveCursor(QTextCursor::End);
    box.Memo1->insertPlainText(QStringLiteral("\n한"));
    EXPECT_TRUE(box.Edited());
    EXPECT_EQ(text.LineCount(), 3u);
    EXPECT_FALSE(box.TakeText());
    ASSERT_EQ(text.LineCount(), 4u);
    EXPECT_EQ(text.Line(3), "?");
    EXPECT_TRUE(box.TakeText());  // nothing new

    // Clipboard round trip.
    box.Memo1->selectAll();
    box.EdCutBtnClick();
    EXPECT_TRUE(box.Memo1->toPlainText().isEmpty());
    box.EdPasteBtnClick();
    EXPECT_TRUE(box.Memo1->toPlainText().startsWith("Mark1"));
    box.Memo1->selectAll();
    box.EdCutBtnClick();
    box.TakeText();
    EXPECT_EQ(text.LineCount(), 0u);
}

TEST(EditorPane, ALoneCarriageReturnEndsALine) {
    DataText text;
    text.SetLines({"Mark1", "53394611\r;note", "5339462"});
    EXPECT_EQ(text.LineCount(), 4u);
    TEditorBox box(text);
    box.ShowText();
    EXPECT_EQ(box.Memo1->document()->blockCount(), 4);
    // Pasted or typed, a lone CR ends its line as well.
    box.Memo1->moveCursor(QTextCursor::End);
    box.Memo1->insertPlainText(QStringLiteral("\r53394612\r\n;end"));
    EXPECT_TRUE(box.TakeText());
    EXPECT_EQ(text.Lines(), (std::vector<std::string>{"Mark1", "53394611", ";note", "5339462", "53394612", ";end"}));
}

namespace {
// The widget that has the keyboard gets the keys, as from a real keyboard.
void Keys(QKeySequence keys) {
    QWidget* target = QApplication::focusWidget();
    ASSERT_NE(target, nullptr);
    QTest::keySequence(target, keys);
}
}  // namespace

TEST(EditorPane, ToolbarButtonsLeaveTheKeyboardWithTheText) {
    DataText text;
    text.SetLines({"Mark1", "53394611.12"});
    TEditorBox box(text);
    box.show();
    box.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&box));
    box.ShowText();
    box.Memo1->setFocus();
    for (QToolButton* b : {box.SpeedButton1, box.ClearBtn, box.EdCutBtn, box.EdCopyBtn, box.EdPasteBtn,
                           box.EdSaveBtn, box.EdReDrawBtn, box.EdCancelBtn}) {
        EXPECT_EQ(b->focusPolicy(), Qt::NoFocus);
        EXPECT_FALSE(b->toolTip().isEmpty());
    }

    // Select the second line, copy it with the button, go to the end, start a
    // new line and paste with the button: both lines are there.
    QTextCursor c(box.Memo1->document()->findBlockByNumber(1));
    c.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    box.Memo1->setTextCursor(c);
    QTest::mouseClick(box.EdCopyBtn, Qt::LeftButton);
    EXPECT_EQ(QApplication::focusWidget(), box.Memo1);
    EXPECT_EQ(QApplication::clipboard()->text(), "53394611.12");
    Keys(QKeySequence(Qt::CTRL | Qt::Key_End));
    Keys(QKeySequence(Qt::Key_Return));
    QTest::mouseClick(box.EdPasteBtn, Qt::LeftButton);
    EXPECT_EQ(box.Memo1->toPlainText(), "Mark1\n53394611.12\n53394611.12");
    EXPECT_EQ(box.StatusPanel(0)->text(), "2");
    EXPECT_EQ(box.StatusPanel(1)->text(), "11");

    // A new showing of the text (as after a redraw) keeps the caret's line and
    // column and the selection.
    c = box.Memo1->textCursor();
    c.setPosition(box.Memo1->document()->findBlockByNumber(1).position() + 3);
    c.setPosition(box.Memo1->document()->findBlockByNumber(1).position() + 8, QTextCursor::KeepAnchor);
    box.Memo1->setTextCursor(c);
    box.TakeText();
    box.ShowText();
    EXPECT_EQ(box.Memo1->textCursor().selectedText(), "94611");
    EXPECT_EQ(box.StatusPanel(1)->text(), "8");
    Keys(QKeySequence(Qt::Key_End));
    EXPECT_EQ(box.StatusPanel(1)->text(), "11");
}

TEST(EditorPane, OneMinchoFaceForEveryLine) {
    DataText text;
    TEditorBox box(text);
    const QFont font = box.Memo1->font();
    EXPECT_EQ(font.family(), "ＭＳ 明朝");
    EXPECT_EQ(font.pixelSize(), 13);
    // The face drawn is the installed Mincho for ASCII lines as for Japanese.
    EXPECT_EQ(QFontInfo(font).family(), "IPAMincho");
    // Half-width characters all take one column, a Japanese character two.
    const QFontMetricsF m(font);
    const qreal column = m.horizontalAdvance(QLatin1Char('0'));
    EXPECT_DOUBLE_EQ(column, 6.5);
    EXPECT_DOUBLE_EQ(m.horizontalAdvance(QStringLiteral("53394611.12")), 11 * column);
    EXPECT_DOUBLE_EQ(m.horizontalAdvance(QStringLiteral("ブナ")), 4 * column);
    EXPECT_DOUBLE_EQ(m.horizontalAdvance(QStringLiteral("; aW,b")), 6 * column);
}

TEST(EditorPane, RedrawButtonShowsItsCaption) {
    DataText text;
    TEditorBox box(text);
    box.show();
    EXPECT_EQ(box.EdReDrawBtn->text(), "再描画");
    EXPECT_EQ(box.EdReDrawBtn->width(), 56);
    EXPECT_LE(box.EdReDrawBtn->sizeHint().width(), 56) << "the caption fits, without an ellipsis";
    EXPECT_EQ(box.EdReDrawBtn->toolTip(), "再描画");
}

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

// A line of megabytes is shown in pieces, each but the last ending with the
// fold mark; the caret panels, line selection and the text taken back count
// it as the one line it is.
TEST(EditorPane, ALongLineIsShownFoldedAndTakenBackWhole) {
    std::string longLine;
    while (longLine.size() < 3 * EditorFoldLength + 100) longLine += "35.40205,139.4610,850 ";
    DataText text;
    text.SetLines({"Mark1", longLine, "53394611.12"});
    TEditorBox box(text);
    box.ShowText();
    QTextDocument* doc = box.Memo1->document();
    const int pieces = static_cast<int>((longLine.size() + EditorFoldLength - 1) / EditorFoldLength);
    ASSERT_EQ(doc->blockCount(), 2 + pieces);
    EXPECT_EQ(doc->findBlockByNumber(1).text().size(), EditorFoldLength + 1);
    EXPECT_TRUE(doc->findBlockByNumber(1).text().endsWith(QChar(EditorFoldMark)));
    EXPECT_FALSE(doc->findBlockByNumber(pieces).text().contains(QChar(EditorFoldMark)));

    // Line and column of the caret in the third piece, and on the line after.
    QTextCursor c(doc->findBlockByNumber(3));
    c.movePosition(QTextCursor::Right, QTextCursor::MoveAnchor, 5);
    box.Memo1->setTextCursor(c);
    EXPECT_EQ(box.StatusPanel(0)->text(), "1");
    EXPECT_EQ(box.StatusPanel(1)->text(), QString::number(2 * EditorFoldLength + 5));
    box.Memo1->moveCursor(QTextCursor::End);
    EXPECT_EQ(box.StatusPanel(0)->text(), "2");
    EXPECT_EQ(box.StatusPanel(1)->text(), "11");
    // After a piece's mark is the same place as the next piece's start.
    c = QTextCursor(doc->findBlockByNumber(1));
    c.movePosition(QTextCursor::EndOfBlock);
    box.Memo1->setTextCursor(c);
    EXPECT_EQ(box.StatusPanel(1)->text(), QString::number(EditorFoldLength));

    // Typing in a piece and taking the text: the line, whole, with the edit.
    c = QTextCursor(doc->findBlockByNumber(2));
    box.Memo1->setTextCursor(c);
    box.Memo1->insertPlainText(QStringLiteral("xy"));
    EXPECT_EQ(box.StatusPanel(1)->text(), QString::number(EditorFoldLength + 2));
    EXPECT_TRUE(box.TakeText());
    std::string edited = longLine;
    edited.insert(EditorFoldLength, "xy");
    EXPECT_EQ(text.Lines(), (std::vector<std::string>{"Mark1", edited, "53394611.12"}));

    // The line after it is selected by its own number; a new showing keeps
    // the caret's line and column.
    box.SelectLine(2);
    EXPECT_EQ(box.Memo1->textCursor().selectedText(), "53394611.12");
    box.SelectLine(1);
    EXPECT_EQ(box.Memo1->textCursor().selectedText().size(), static_cast<qsizetype>(edited.size() + pieces - 1 + pieces - 1));
    c = QTextCursor(doc->findBlockByNumber(2));
    c.movePosition(QTextCursor::Right, QTextCursor::MoveAnchor, 7);
    box.Memo1->setTextCursor(c);
    box.ShowText();
    EXPECT_EQ(box.StatusPanel(0)->text(), "1");
    EXPECT_EQ(box.StatusPanel(1)->text(), QString::number(EditorFoldLength + 7));
    EXPECT_EQ(box.Memo1->textCursor().position(), doc->findBlockByNumber(2).position() + 7);

    // Joining two pieces (the mark left inside) or breaking a piece with
    // Return: the mark is no character of the text, and the line ends where
    // the new line break is.
    c = QTextCursor(doc->findBlockByNumber(2));
    box.Memo1->setTextCursor(c);
    box.Memo1->textCursor().deletePreviousChar();
    EXPECT_EQ(doc->blockCount(), 1 + pieces);
    EXPECT_EQ(box.StatusPanel(0)->text(), "1");
    EXPECT_TRUE(box.TakeText());
    EXPECT_EQ(text.Line(1), edited);
    EXPECT_EQ(text.Line(2), "53394611.12");
    c = QTextCursor(doc->findBlockByNumber(1));
    c.movePosition(QTextCursor::Right, QTextCursor::MoveAnchor, 10);
    box.Memo1->setTextCursor(c);
    box.Memo1->textCursor().insertBlock();
    box.Memo1->moveCursor(QTextCursor::End);
    EXPECT_EQ(box.StatusPanel(0)->text(), "3");
    EXPECT_TRUE(box.TakeText());
    EXPECT_EQ(text.Lines(), (std::vector<std::string>{"Mark1", edited.substr(0, 10), edited.substr(10), "53394611.12"}));
}
