#include "data/EditorPane.h"
#include "platform/Cp932.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTextBlock>
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

TEST(EditorPane, LoneCarriageReturnInsideALineSurvivesEditsElsewhere) {
    DataText text;
    text.SetLines({"Mark1", "53394611\r;note", "5339462"});
    TEditorBox box(text);
    box.ShowText();
    EXPECT_EQ(box.Memo1->document()->blockCount(), 3);
    // An edit on another line.
    QTextCursor c(box.Memo1->document()->findBlockByNumber(2));
    c.movePosition(QTextCursor::EndOfBlock);
    box.Memo1->setTextCursor(c);
    box.Memo1->insertPlainText(QStringLiteral("1"));
    EXPECT_TRUE(box.TakeText());
    EXPECT_EQ(text.Lines(), (std::vector<std::string>{"Mark1", "53394611\r;note", "53394621"}));
    // And again through a second round of showing and taking.
    box.ShowText();
    box.Memo1->moveCursor(QTextCursor::End);
    box.Memo1->insertPlainText(QStringLiteral("\n;end"));
    EXPECT_TRUE(box.TakeText());
    EXPECT_EQ(text.Line(1), "53394611\r;note");
    EXPECT_EQ(text.LineCount(), 4u);
}

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
