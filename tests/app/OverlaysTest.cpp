// The figure's overlays, the legend and its mark editor, the pointer readout
// and the data editor pane, driven through the real window on the offscreen
// platform with the bundled map.
#include "WindowTest.h"

#include "app/FormMain.h"
#include "app/Widgets.h"
#include "geo/AngleText.h"
#include "geo/MeshCode.h"
#include "map/Overlays.h"
#include "platform/Cp932.h"
#include "plot/MarkEditor.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QToolButton>

#include <gtest/gtest.h>

#include <fstream>
#include <memory>

using kavum::app::TFormMain;
using kavum::app::test::WindowTest;
using kavum::chart::TChart;
using kavum::map::DegreeSign;
using kavum::platform::ScriptedDialogs;
using kavum::platform::TColor;
using kavum::platform::TRect;

namespace {

const QString MapFile = QStringLiteral(KAVUM_SOURCE_DIR "/assets/Kavum_Nippon.mdt");
const QString Mountains = QStringLiteral(KAVUM_SOURCE_DIR "/assets/samples/mountains.grd");

// Three categories with a point each, and a comment on the first heading.
const char* const ThreeCategories =
    "; test data\n"
    "ブナ\n"
    "35.40205,139.4610,850\n"
    "ミズナラ ; oak\n"
    "36.0000,138.0000,1500\n"
    "ハイマツ\n"
    "36.3000,137.3000,2800\n";

QString Deg(int d) { return QString::number(d) + DegreeSign; }

// Types text into a widget one key at a time, Japanese included.
void Type(QWidget* widget, const QString& text) {
    for (QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(widget, &press);
        QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(widget, &release);
    }
}

TColor PixelAt(const QImage& image, int x, int y) {
    return kavum::platform::FromQColor(QColor::fromRgb(image.pixel(x, y)));
}

// A canvas that keeps what is written on it.
class RecordingCanvas : public kavum::platform::TCanvas {
public:
    struct Text {
        int x, y;
        QString text;
        bool transparent;
        TColor ground;
        int height;
    };
    std::vector<Text> texts;
    std::vector<TRect> rectangles;

    void TextOut(int x, int y, const QString& text) override {
        texts.push_back({x, y, text, TextTransparent(), Brush().color, Font().height});
    }
    void FillRect(const TRect&) override {}
    void Rectangle(const TRect& r) override { rectangles.push_back(r); }
    void Ellipse(const TRect&) override {}
    void Polygon(const QPoint*, int) override {}
    void Polyline(const QPoint*, int) override {}
    void SetPixel(int, int, TColor) override {}
    void SetClipRect(const TRect&) override {}
    void ResetClip() override {}
};

// The texts a chart writes when it draws itself at its own size, blanks left out.
std::vector<RecordingCanvas::Text> Drawn(TChart& chart) {
    RecordingCanvas canvas;
    chart.DrawInto(canvas, TRect{0, 0, chart.width(), chart.height()});
    std::vector<RecordingCanvas::Text> out;
    for (auto& t : canvas.texts)
        if (!t.text.trimmed().isEmpty()) out.push_back(t);
    return out;
}

QStringList TextsOf(const std::vector<RecordingCanvas::Text>& texts) {
    QStringList list;
    for (const auto& t : texts) list << t.text;
    return list;
}

std::vector<RecordingCanvas::Text> EndingWith(const std::vector<RecordingCanvas::Text>& texts, QChar c) {
    std::vector<RecordingCanvas::Text> out;
    for (const auto& t : texts)
        if (t.text.endsWith(c)) out.push_back(t);
    return out;
}

class OverlayTest : public WindowTest {
protected:
    // The window with the bundled map and the data (UTF-8 text, written as
    // Shift-JIS), not yet drawn.
    TFormMain& Start(const char* data = ThreeCategories) {
        const QString grd = dir.filePath(QStringLiteral("data.grd"));
        std::ofstream(QFile::encodeName(grd).toStdString(), std::ios::binary) << kavum::platform::Utf8ToCp932(data);
        return StartWith(grd);
    }
    TFormMain& StartWith(const QString& grd) {
        NewWindow();
        window->EditMapFile->setText(MapFile);
        window->EditGrdFile->setText(grd);
        window->show();
        return *window;
    }
    // Makes the map as the board's button does, and lets the charts paint.
    void Make() {
        TFormMain& w = *window;
        w.NewMapBtn->click();
        ASSERT_EQ(dialogs.Messages(), QStringList{});
        Paint();
    }
    void Paint() {
        QApplication::processEvents();
        for (TChart* chart : {window->Chart1, window->Chart2, window->Chart3})
            if (chart->isVisible()) chart->repaint();
    }
    QString Panel(int i) const { return window->StatusBar1->PanelText(i); }
    QString Line(int i) const { return kavum::platform::Cp932ToQString(window->Memo1Text().Line(static_cast<std::size_t>(i))); }
    void Click(QWidget* widget, Qt::MouseButton button, QPoint at) {
        QTest::mouseClick(widget, button, Qt::NoModifier, at);
    }
};

// ---------------------------------------------------------------- labels

TEST_F(OverlayTest, AxisLabelHooksWriteWholeDegreesWhereLabelsShow) {
    TFormMain& w = Start();
    w.ProfileMap->setChecked(false);   // the map alone: its axes carry labels
    Make();
    ASSERT_EQ(w.State.ShowMode, 1);
    auto& left = w.Chart1->LeftAxis();
    EXPECT_EQ(left.LabelText(30.0), Deg(30));
    EXPECT_EQ(left.LabelText(30.0 + 2.0 / 3), QStringLiteral(" "));
    EXPECT_EQ(left.LabelText(31.0 + 1.0 / 3), QStringLiteral(" "));
    EXPECT_EQ(w.Chart1->BottomAxis().LabelText(130), Deg(130));
    // An elevation label is left alone; so is every label of a chart whose
    // axes show none in the layout.
    QString text = QStringLiteral("1000m");
    w.State.ShowMode = 2;
    w.Chart2GetAxisLabel(w.Chart2->LeftAxis(), nullptr, -1, text);
    EXPECT_EQ(text, QStringLiteral("1000m"));
    text = QStringLiteral("35.0");
    w.Chart3GetAxisLabel(w.Chart3->BottomAxis(), nullptr, -1, text);
    EXPECT_EQ(text, Deg(35));
    text = QStringLiteral("35.0");
    w.Chart1GetAxisLabel(w.Chart1->LeftAxis(), nullptr, -1, text);
    EXPECT_EQ(text, QStringLiteral("35.0"));
}

TEST_F(OverlayTest, ThreeViewLabelsOfTheDefaultRange) {
    TFormMain& w = Start();
    Make();
    ASSERT_EQ(w.State.ShowMode, 3);
    // The map: longitudes under the plot, latitudes left of it, on white.
    const auto degrees = EndingWith(Drawn(*w.Chart1), DegreeSign);
    ASSERT_EQ(degrees.size(), 7u + 9u);
    const int row = w.Chart1->LeftAxis().YValueToPixel(30) + 6;
    for (int i = 0; i < 7; ++i) {
        const int d = 128 + 3 * i;
        EXPECT_EQ(degrees[i].text, Deg(d));
        EXPECT_EQ(degrees[i].x, w.Chart1->BottomAxis().XValueToPixel(d) - 10);
        EXPECT_EQ(degrees[i].y, row);
    }
    const int column = w.Chart1->BottomAxis().XValueToPixel(128) - 30;
    for (int i = 0; i < 9; ++i) {
        const int d = 30 + 2 * i;
        EXPECT_EQ(degrees[7 + i].text, Deg(d));
        EXPECT_EQ(degrees[7 + i].x, column);
        EXPECT_EQ(degrees[7 + i].y, w.Chart1->LeftAxis().YValueToPixel(d) - 6);
    }
    for (const auto& t : degrees) {
        EXPECT_FALSE(t.transparent);
        EXPECT_EQ(t.ground, kavum::platform::clWhite);
        EXPECT_EQ(t.height, kavum::platform::PointsToPixels(10));
    }

    // The west-east profile: a column of thousands topped by the unit, then
    // the longitudes in the band under the axis, on no ground.
    const auto we = Drawn(*w.Chart2);
    const QStringList elevations = {QStringLiteral("   m"), QStringLiteral("1000"), QStringLiteral("2000"),
                                    QStringLiteral("3000"), QStringLiteral("   0")};
    ASSERT_GE(we.size(), 5u + 7u);
    EXPECT_EQ(TextsOf(we).mid(0, 5), elevations);
    const int x2 = w.Chart2->BottomAxis().XValueToPixel(128) - 32;
    EXPECT_EQ(we[0].y, w.Chart2->LeftAxis().YValueToPixel(3800) + 4);
    EXPECT_EQ(we[2].y, w.Chart2->LeftAxis().YValueToPixel(2000) - 6);
    EXPECT_EQ(we[4].y, w.Chart2->LeftAxis().YValueToPixel(0) - 6);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(we[i].x, x2);
    EXPECT_EQ(we[5].text, Deg(128));
    EXPECT_EQ(we[5].y, w.Chart2->LeftAxis().YValueToPixel(0) + 10);
    EXPECT_EQ(we[11].text, Deg(146));
    for (const auto& t : we) EXPECT_TRUE(t.transparent);
    EXPECT_EQ(we[0].height, 13);   // the legend font's own size

    // The south-north profile: the top thousand and 0 under its reversed axis.
    const auto sn = Drawn(*w.Chart3);
    EXPECT_EQ(TextsOf(sn), (QStringList{QStringLiteral("3000m"), QStringLiteral("0")}));
    const int y3 = w.Chart3->LeftAxis().YValueToPixel(30) + 6;
    ASSERT_EQ(sn.size(), 2u);
    EXPECT_EQ(sn[0].x, w.Chart3->BottomAxis().XValueToPixel(3000) - 16);
    EXPECT_EQ(sn[1].x, w.Chart3->BottomAxis().XValueToPixel(0) - 2);
    EXPECT_GT(sn[1].x, sn[0].x);   // reversed: 0 to the right
    EXPECT_EQ(sn[0].y, y3);
}

TEST_F(OverlayTest, ThreeViewLabelsOfNarrowerRanges) {
    TFormMain& w = Start();
    w.EditGX1->setText(QStringLiteral("128.30"));   // 128°30'
    w.EditGY1->setText(QStringLiteral("33.00"));
    w.EditGY2->setText(QStringLiteral("35.00"));
    w.EditGH2->setText(QStringLiteral("800"));
    Make();
    ASSERT_DOUBLE_EQ(w.State.GX1, 128.5);
    const auto degrees = EndingWith(Drawn(*w.Chart1), DegreeSign);
    EXPECT_EQ(TextsOf(degrees), (QStringList{Deg(130), Deg(132), Deg(134), Deg(136), Deg(138), Deg(140), Deg(142),
                                             Deg(144), Deg(146), Deg(33), Deg(34), Deg(35)}));
    const auto we = Drawn(*w.Chart2);
    EXPECT_EQ(TextsOf(we).mid(0, 3), (QStringList{QStringLiteral("   m"), QStringLiteral("   0"), QStringLiteral(" 500")}));
    EXPECT_EQ(we[2].y, w.Chart2->LeftAxis().YValueToPixel(500) - 6);
    const auto sn = Drawn(*w.Chart3);
    EXPECT_EQ(TextsOf(sn), (QStringList{QStringLiteral("0m"), QStringLiteral("0"), QStringLiteral(" 500m")}));
    // Both near the right end of the reversed axis.
    const int right = w.Chart3->BottomAxis().XValueToPixel(0);
    EXPECT_EQ(sn[0].x, right - 16);
    EXPECT_EQ(sn[1].x, right - 2);

    // Less than a degree each way: minute labels, and the drawing ends.
    w.EditGX1->setText(QStringLiteral("139.00"));
    w.EditGX2->setText(QStringLiteral("139.40"));
    w.EditGY1->setText(QStringLiteral("35.00"));
    w.EditGY2->setText(QStringLiteral("35.30"));
    w.ReSetItem->trigger();
    Make();
    const QStringList narrow = TextsOf(EndingWith(Drawn(*w.Chart1), QLatin1Char('\'')));
    EXPECT_FALSE(narrow.isEmpty());
    EXPECT_LE(narrow.size(), 12);
    EXPECT_TRUE(narrow.contains(Deg(139) + QStringLiteral("10'"))) << narrow.join(QLatin1Char('|')).toStdString();
}

// ---------------------------------------------------------------- legend

TEST_F(OverlayTest, LegendBoxOnThePicture) {
    TFormMain& w = Start("");
    Make();
    using namespace kavum::platform;
    // No categories: an empty white box of 70 x 25 pixels.
    QImage picture = w.Chart1->PictureBitmap();
    EXPECT_EQ(w.State.LegendTextWidth, 0);
    EXPECT_EQ(PixelAt(picture, 50, 50), clBlack);
    EXPECT_EQ(PixelAt(picture, 119, 74), clBlack);
    EXPECT_EQ(PixelAt(picture, 119, 60), clBlack);
    EXPECT_EQ(PixelAt(picture, 85, 74), clBlack);
    EXPECT_EQ(PixelAt(picture, 60, 60), clWhite);
    EXPECT_EQ(PixelAt(picture, 118, 73), clWhite);

    // Three categories: the box ends at row 135 and is as wide as the widest name.
    window.reset();
    Start();
    Make();
    TFormMain& v = *window;
    ASSERT_EQ(v.State.CategoryCount, 3);
    EXPECT_EQ(v.State.LegendNames[2], QStringLiteral("ミズナラ "));
    picture = v.Chart1->PictureBitmap();
    int widest = 0;
    for (int i = 1; i <= 3; ++i) widest = std::max(widest, TextWidthOf(v.Chart1->Legend().Font().CanvasFont(), v.State.LegendNames[i]));
    EXPECT_GT(widest, 0);
    EXPECT_EQ(v.State.LegendTextWidth, widest);
    const int right = 50 + widest + 70 - 1;
    EXPECT_EQ(PixelAt(picture, 50, 134), clBlack);
    EXPECT_EQ(PixelAt(picture, right, 134), clBlack);
    EXPECT_EQ(PixelAt(picture, right, 100), clBlack);
    EXPECT_EQ(PixelAt(picture, right - 1, 133), clWhite);
    // The mark of category 1 (a square of half-size 3, blue, black rim) at (70, 70).
    EXPECT_EQ(PixelAt(picture, 70, 70), clBlue);
    EXPECT_EQ(PixelAt(picture, 72, 72), clBlue);
    EXPECT_EQ(PixelAt(picture, 67, 70), clBlack);
    EXPECT_EQ(PixelAt(picture, 73, 70), clBlack);
    EXPECT_EQ(PixelAt(picture, 74, 70), clWhite);
    // Category 2: an aqua circle at (70, 90).
    EXPECT_EQ(PixelAt(picture, 70, 90), clAqua);
    // The names stand on white in the legend font's colour (navy).
    bool navy = false;
    for (int x = 90; x < 90 + widest && !navy; ++x)
        for (int y = 62; y < 75 && !navy; ++y) navy = PixelAt(picture, x, y) == clNavy;
    EXPECT_TRUE(navy);
}

TEST_F(OverlayTest, MarkEditorOpensUnderTheLegendAndSelectsByRow) {
    TFormMain& w = Start();
    Make();
    auto* ed = w.MrkEdPanel;
    ASSERT_NE(ed, nullptr);
    EXPECT_TRUE(ed->isHidden());
    EXPECT_EQ(ed->parentWidget(), w.Chart1);
    EXPECT_EQ(ed->size(), QSize(240, 101));
    EXPECT_EQ(ed->EditLegName->geometry(), QRect(8, 8, 220, 22));
    EXPECT_EQ(ed->BtnMrkColor->geometry(), QRect(76, 38, 53, 23));
    EXPECT_EQ(ed->MarkRim->geometry(), QRect(148, 38, 69, 23));
    EXPECT_EQ(ed->BtnMrkExit->geometry(), QRect(172, 68, 53, 23));
    EXPECT_EQ(ed->ComboBoxMark->geometry().topLeft(), QPoint(8, 38));
    EXPECT_EQ(ed->ComboBoxSize->geometry().topLeft(), QPoint(8, 68));

    w.EditMarkItem->trigger();
    EXPECT_TRUE(w.State.LegendEditing);
    EXPECT_TRUE(ed->isVisible());
    EXPECT_EQ(ed->pos(), QPoint(50, 135));
    EXPECT_EQ(ed->EditLegName->text(), QStringLiteral("ブナ"));
    EXPECT_EQ(ed->ComboBoxMark->currentText(), QStringLiteral("□"));
    EXPECT_EQ(ed->ComboBoxSize->currentText(), QStringLiteral(" 3"));
    EXPECT_TRUE(ed->MarkRim->isChecked());

    // The edited entry stands on yellow, drawn over the picture at once.
    auto yellowIn = [&](int top) {
        const QImage shown = w.Chart1->grab().toImage();
        for (int x = 90; x < 90 + w.State.LegendTextWidth; ++x)
            for (int y = top; y < top + 13; ++y)
                if (PixelAt(shown, x, y) == kavum::platform::clYellow) return true;
        return false;
    };
    EXPECT_TRUE(yellowIn(62));
    EXPECT_FALSE(yellowIn(82));

    // A press picks the entry by its row, whatever the button and column.
    const int top = w.State.LegendTop;
    const QString beforePanel = Panel(7);
    struct Case { int dy; int entry; };
    for (Case c : {Case{12, 1}, Case{31, 1}, Case{32, 2}, Case{-30, 1}, Case{52, 3}}) {
        Click(w.Chart1, c.dy == 52 ? Qt::MiddleButton : Qt::LeftButton, QPoint(300, top + c.dy));
        EXPECT_EQ(w.State.EditedCategory, c.entry) << c.dy;
    }
    w.Chart1MouseDown(Qt::RightButton, Qt::NoModifier, 300, top + 400);   // far below the last entry
    EXPECT_EQ(w.State.EditedCategory, 9);
    EXPECT_EQ(Panel(7), beforePanel);   // no readout while editing
    Click(w.Chart1, Qt::LeftButton, QPoint(10, top + 32));
    EXPECT_EQ(ed->EditLegName->text(), QStringLiteral("ミズナラ "));
    EXPECT_EQ(ed->ComboBoxMark->currentText(), QStringLiteral("○"));
    EXPECT_TRUE(yellowIn(82));
    EXPECT_FALSE(yellowIn(62));
    // Far outside the chart.
    w.Chart1MouseDown(Qt::LeftButton, Qt::NoModifier, -2000000000, 2000000000);
    EXPECT_EQ(w.State.EditedCategory, 9);
    w.Chart1MouseDown(Qt::LeftButton, Qt::NoModifier, 2000000000, -2000000000);
    EXPECT_EQ(w.State.EditedCategory, 1);
}

TEST_F(OverlayTest, MarkEditorPanelWithoutCategories) {
    TFormMain& w = Start("");
    Make();
    w.State.LegendTop = 80;
    w.EditMarkPopItem->trigger();
    EXPECT_EQ(w.MrkEdPanel->pos(), QPoint(50, 105));
    EXPECT_EQ(w.State.LegendTextWidth, 0);
}

TEST_F(OverlayTest, EditorControlsChangeTheLegendAtOnce) {
    TFormMain& w = Start();
    Make();
    auto* ed = w.MrkEdPanel;
    w.EditMarkItem->trigger();
    // Typing widens the box with every keystroke.
    const int before = w.State.LegendTextWidth;
    ed->EditLegName->setFocus();
    Type(ed->EditLegName, QStringLiteral("林"));
    EXPECT_EQ(w.State.LegendNames[1], QStringLiteral("ブナ林"));
    const int one = w.State.LegendTextWidth;
    Type(ed->EditLegName, QStringLiteral("林林林"));
    EXPECT_GT(w.State.LegendTextWidth, one);
    EXPECT_GE(one, before);
    // A character without a Shift-JIS form is refused.
    Type(ed->EditLegName, QStringLiteral("한"));
    EXPECT_EQ(w.State.LegendNames[1], QStringLiteral("ブナ林林林林"));
    // Typing inside the name keeps the caret there.
    ed->EditLegName->setCursorPosition(2);
    Type(ed->EditLegName, QStringLiteral("の"));
    EXPECT_EQ(w.State.LegendNames[1], QStringLiteral("ブナの林林林林"));
    EXPECT_EQ(ed->EditLegName->cursorPosition(), 3);

    // The symbol list, and a typed text that is no symbol.
    ed->ComboBoxMark->setCurrentIndex(4);
    emit ed->ComboBoxMark->activated(4);
    EXPECT_EQ(w.State.Marks[1].Style, 5);
    ed->ComboBoxMark->lineEdit()->clear();
    Type(ed->ComboBoxMark->lineEdit(), QStringLiteral("x"));
    EXPECT_EQ(w.State.Marks[1].Style, 5);
    EXPECT_EQ(ed->ComboBoxMark->count(), 9);
    // The size list.
    ed->ComboBoxSize->setCurrentIndex(7);
    emit ed->ComboBoxSize->activated(7);
    EXPECT_EQ(w.State.Marks[1].Size, 10);

    // The legend shows a cross in the outline colour (black with the rim on).
    const QImage shown = w.Chart1->grab().toImage();
    EXPECT_EQ(PixelAt(shown, 70, 70 - 10), kavum::platform::clBlack);
    EXPECT_EQ(PixelAt(shown, 70 + 10, 70), kavum::platform::clBlack);
    EXPECT_EQ(PixelAt(shown, 70 + 5, 70 + 5), kavum::platform::clWhite);
    // The chart series keep their marks until the editor closes.
    EXPECT_EQ(w.SeriesH[1]->Pointer().Style(), kavum::chart::psRectangle);
}

TEST_F(OverlayTest, RimRulesWithANewColour) {
    TFormMain& w = Start();
    Make();
    auto* ed = w.MrkEdPanel;
    w.EditMarkItem->trigger();
    auto& mark = w.State.Marks[1];
    ASSERT_EQ(mark.BrushColor, 0xFF0000);
    ed->MarkRim->click();   // off: the outline takes the fill
    EXPECT_EQ(mark.PenColor, 0xFF0000);
    dialogs.AnswerColor(0x0000FF);
    ed->BtnMrkColor->click();
    EXPECT_EQ(mark.BrushColor, 0x0000FF);
    EXPECT_EQ(mark.PenColor, 0xFF0000);   // the former fill stays as outline
    // Cancelling changes nothing; the dialog starts at the colour it returned.
    ed->BtnMrkColor->click();
    EXPECT_EQ(mark.BrushColor, 0x0000FF);
    const auto uses = dialogs.UsesOf(ScriptedDialogs::Kind::Color);
    ASSERT_EQ(uses.size(), 2u);
    EXPECT_EQ(uses[1].color.Color, 0x0000FFu);
    ed->MarkRim->click();
    EXPECT_EQ(mark.PenColor, 0);
    ed->MarkRim->click();
    EXPECT_EQ(mark.PenColor, 0x0000FF);

    // Loading an entry whose outline is neither black nor its fill, while
    // the rim box is ticked, counts as a click: the outline becomes the fill.
    w.State.Marks[3].PenColor = 0x123456;
    ed->MarkRim->click();
    ASSERT_TRUE(ed->MarkRim->isChecked());
    Click(w.Chart1, Qt::LeftButton, QPoint(300, w.State.LegendTop + 60));
    ASSERT_EQ(w.State.EditedCategory, 3);
    EXPECT_FALSE(ed->MarkRim->isChecked());
    EXPECT_EQ(w.State.Marks[3].PenColor, w.State.Marks[3].BrushColor);
    // With the box already clear, such an outline stays.
    w.State.Marks[2].PenColor = 0x654321;
    Click(w.Chart1, Qt::LeftButton, QPoint(300, w.State.LegendTop + 40));
    EXPECT_EQ(w.State.Marks[2].PenColor, 0x654321);
}

TEST_F(OverlayTest, RedrawAppliesMarksAndWritesNamesBack) {
    TFormMain& w = Start();
    Make();
    w.EdDataItem->trigger();
    auto* ed = w.MrkEdPanel;
    w.EditMarkItem->trigger();
    Click(w.Chart1, Qt::LeftButton, QPoint(300, w.State.LegendTop + 40));
    ed->EditLegName->clear();
    Type(ed->EditLegName, QStringLiteral("コナラ"));
    ed->ComboBoxMark->setCurrentIndex(7);
    emit ed->ComboBoxMark->activated(7);
    ed->BtnMrkExit->click();
    EXPECT_EQ(dialogs.Messages(), QStringList{});
    EXPECT_FALSE(w.State.LegendEditing);
    EXPECT_TRUE(ed->isHidden());
    // The heading line (and its comment) became the new name, in the text
    // and in the open pane.
    EXPECT_EQ(Line(1), QStringLiteral("ブナ"));
    EXPECT_EQ(Line(3), QStringLiteral("コナラ"));
    EXPECT_TRUE(w.EditorBox->Memo1->toPlainText().contains(QStringLiteral("\nコナラ\n")));
    EXPECT_EQ(w.SeriesH[2]->Pointer().Style(), kavum::chart::psDiamond);
    EXPECT_EQ(w.SeriesW[2]->Pointer().Style(), kavum::chart::psDiamond);
    EXPECT_TRUE(w.Chart1->NeedsRepaint());
}

TEST_F(OverlayTest, LegendMovesToARightPress) {
    TFormMain& w = Start();
    Make();
    // Before any press: the north-west corner of the map.
    w.SetLegendPos->trigger();
    EXPECT_EQ(w.State.LegendLeft, w.Chart1->BottomAxis().XValueToPixel(128));
    EXPECT_EQ(w.State.LegendTop, w.Chart1->LeftAxis().YValueToPixel(46));

    w.StatusBar1->SetPanelText(7, QStringLiteral("x"));
    // Through the window, as the platform delivers it: the press, then the pop-up menu.
    const QPoint at = w.Chart1->mapTo(&w, QPoint(200, 150));
    QTest::mousePress(w.windowHandle(), Qt::RightButton, Qt::NoModifier, at);
    QApplication::processEvents();
    EXPECT_TRUE(w.PopupMenu1->isVisible());
    w.PopupMenu1->hide();
    QTest::mouseRelease(w.windowHandle(), Qt::RightButton, Qt::NoModifier, at);
    EXPECT_EQ(Panel(7), QStringLiteral("x"));
    EXPECT_NEAR(w.State.PointerX, w.SeriesH[1]->XPixelToValue(200), 1e-9);
    w.SetLegendPos->trigger();
    EXPECT_NEAR(w.State.LegendLeft, 200, 1);
    EXPECT_NEAR(w.State.LegendTop, 150, 1);
    const QImage picture = w.Chart1->PictureBitmap();
    EXPECT_EQ(PixelAt(picture, w.State.LegendLeft, w.State.LegendTop), kavum::platform::clBlack);
}

// ---------------------------------------------------------------- readout

TEST_F(OverlayTest, ReadoutOfEachChart) {
    TFormMain& w = Start();
    Make();
    // The map: latitude, longitude and mesh code; elevation emptied.
    w.StatusBar1->SetPanelText(11, QStringLiteral("x"));
    const QPoint tokyo(w.Chart1->BottomAxis().XValueToPixel(139.76875), w.Chart1->LeftAxis().YValueToPixel(35.679167));
    Click(w.Chart1, Qt::LeftButton, tokyo);
    const double pixelDegrees = 18.0 / w.Chart1->BottomAxis().AxisSize();
    EXPECT_NEAR(w.State.PointerX, 139.76875, pixelDegrees);
    EXPECT_NEAR(w.State.PointerY, 35.679167, pixelDegrees * 2);
    EXPECT_EQ(Panel(7), QString::fromStdString(kavum::geo::DegToStr(w.State.PointerY)));
    EXPECT_EQ(Panel(9), QString::fromStdString(kavum::geo::DegToStr(w.State.PointerX)));
    EXPECT_EQ(Panel(11), QString());
    EXPECT_EQ(Panel(13), QString::fromStdString(kavum::geo::PointToMeshCode(w.State.PointerY, w.State.PointerX)));
    EXPECT_EQ(Panel(13).size(), 8);
    EXPECT_TRUE(Panel(13).startsWith(QStringLiteral("533"))) << Panel(13).toStdString();
    EXPECT_TRUE(Panel(7).startsWith(QStringLiteral("35."))) << Panel(7).toStdString();
    EXPECT_TRUE(Panel(9).startsWith(QStringLiteral("139."))) << Panel(9).toStdString();
    // Other buttons record the point and leave the panels.
    const QString code = Panel(13);
    Click(w.Chart1, Qt::MiddleButton, QPoint(5, 5));
    EXPECT_EQ(Panel(13), code);
    EXPECT_NEAR(w.State.PointerY, w.SeriesH[1]->YPixelToValue(5), 1e-9);

    // The west-east profile: longitude and elevation; latitude and code emptied.
    const QPoint we(w.Chart2->BottomAxis().XValueToPixel(138), w.Chart2->LeftAxis().YValueToPixel(2000));
    Click(w.Chart2, Qt::LeftButton, we);
    EXPECT_NEAR(w.State.PointerX, 138, 0.2);
    EXPECT_NEAR(w.State.PointerY, 2000, 3800.0 / w.Chart2->LeftAxis().AxisSize() + 1);
    EXPECT_EQ(Panel(7), QString());
    EXPECT_EQ(Panel(9), QString::fromStdString(kavum::geo::DegToStr(w.State.PointerX)));
    EXPECT_EQ(Panel(11), TFormMain::ElevationText(w.State.PointerY));
    EXPECT_EQ(Panel(13), QString());

    // The south-north profile beside the map: latitude upright, elevation across.
    const QPoint sn3(w.Chart3->BottomAxis().XValueToPixel(1500), w.Chart3->LeftAxis().YValueToPixel(36));
    Click(w.Chart3, Qt::LeftButton, sn3);
    EXPECT_NEAR(w.State.PointerX, 36, 0.2);
    EXPECT_NEAR(w.State.PointerY, 1500, 3800.0 / w.Chart3->BottomAxis().AxisSize() + 1);
    EXPECT_EQ(Panel(7), QString::fromStdString(kavum::geo::DegToStr(w.State.PointerX)));
    EXPECT_EQ(Panel(9), QString());
    EXPECT_EQ(Panel(11), TFormMain::ElevationText(w.State.PointerY));
    EXPECT_EQ(Panel(13), QString());

    // The profiles alone: latitude along the bottom.
    w.ShowVertical->trigger();
    Paint();
    ASSERT_EQ(w.State.ShowMode, 2);
    const QPoint sn2(w.Chart3->BottomAxis().XValueToPixel(40), w.Chart3->LeftAxis().YValueToPixel(1000));
    Click(w.Chart3, Qt::LeftButton, sn2);
    EXPECT_NEAR(w.State.PointerX, 40, 0.2);
    EXPECT_NEAR(w.State.PointerY, 1000, 3800.0 / w.Chart3->LeftAxis().AxisSize() + 1);
    EXPECT_EQ(Panel(7), QString::fromStdString(kavum::geo::DegToStr(w.State.PointerX)));
    EXPECT_EQ(Panel(9), QString());
    EXPECT_EQ(Panel(11), TFormMain::ElevationText(w.State.PointerY));

    // Far outside every plot area: numbers all the same.
    for (int far : {-2000000000, 2000000000}) {
        w.Chart2MouseDown(Qt::LeftButton, Qt::NoModifier, far, -far);
        w.Chart3MouseDown(Qt::LeftButton, Qt::NoModifier, far, far);
    }
    w.State.ShowMode = 1;
    w.Chart1MouseDown(Qt::LeftButton, Qt::NoModifier, -2000000000, 2000000000);
    EXPECT_FALSE(Panel(13).isEmpty());
}

TEST(ElevationText, WholeMetresWithAtMostFourDigits) {
    EXPECT_EQ(TFormMain::ElevationText(1234.6), QStringLiteral("1235"));
    EXPECT_EQ(TFormMain::ElevationText(25.4), QStringLiteral("25"));
    EXPECT_EQ(TFormMain::ElevationText(-3.2), QStringLiteral("-3"));
    EXPECT_EQ(TFormMain::ElevationText(0.4), QStringLiteral("0"));
    EXPECT_EQ(TFormMain::ElevationText(-0.4), QStringLiteral("0"));
    EXPECT_EQ(TFormMain::ElevationText(2.5), QStringLiteral("3"));
    EXPECT_EQ(TFormMain::ElevationText(9999.4), QStringLiteral("9999"));
    EXPECT_EQ(TFormMain::ElevationText(12345), QStringLiteral("1.235E+04"));
    EXPECT_EQ(TFormMain::ElevationText(9999.6), QStringLiteral("1.000E+04"));
}

// ---------------------------------------------------------------- data editor

TEST_F(OverlayTest, EditorPaneOpensOverTheChartsAndRedraws) {
    TFormMain& w = Start();
    Make();
    auto* pane = w.EditorBox;
    EXPECT_TRUE(pane->isHidden());
    pane->move(60, 200);
    w.EdDataItem->trigger();
    EXPECT_TRUE(pane->isVisible());
    EXPECT_EQ(pane->pos(), QPoint(60, 6));
    EXPECT_EQ(pane->size(), QSize(270, 413));
    EXPECT_EQ(pane->Memo1->toPlainText().split(QLatin1Char('\n')).value(1), QStringLiteral("ブナ"));
    // The pane lies over the map.
    QWidget* sheet = w.MappingSheet->Sheet();
    const QPoint inside = pane->geometry().center();
    ASSERT_TRUE(w.Chart1->geometry().contains(inside));
    QWidget* top = sheet->childAt(inside);
    EXPECT_TRUE(top == pane || pane->isAncestorOf(top));

    // Caret panels: line and column from 0; the third never changes.
    QTextCursor c = pane->Memo1->textCursor();
    c.movePosition(QTextCursor::Start);
    pane->Memo1->setTextCursor(c);
    EXPECT_EQ(pane->StatusPanel(0)->text(), QStringLiteral("0"));
    EXPECT_EQ(pane->StatusPanel(1)->text(), QStringLiteral("0"));
    c = QTextCursor(pane->Memo1->document()->findBlockByNumber(2));
    c.movePosition(QTextCursor::Right, QTextCursor::MoveAnchor, 3);
    pane->Memo1->setTextCursor(c);
    EXPECT_EQ(pane->StatusPanel(0)->text(), QStringLiteral("2"));
    EXPECT_EQ(pane->StatusPanel(1)->text(), QStringLiteral("3"));
    EXPECT_EQ(pane->StatusPanel(2)->text(), QStringLiteral("NoName.grd"));

    // The window goes on working while the pane is open.
    Click(w.Chart2, Qt::LeftButton, QPoint(w.Chart2->width() / 2, w.Chart2->height() / 2));
    EXPECT_FALSE(Panel(11).isEmpty());

    // An edit, then "戻る": the text keeps it, the charts keep their points.
    const int points = w.SeriesH[1]->Count();
    pane->Memo1->appendPlainText(QStringLiteral("35.40205,139.5610,900"));
    pane->EdCancelBtn->click();
    EXPECT_TRUE(pane->isHidden());
    EXPECT_EQ(w.SeriesH[1]->Count(), points);
    EXPECT_EQ(Line(7), QStringLiteral("35.40205,139.5610,900"));
    // Opening again shows the kept edit; redraw plots it under the last heading.
    w.EdDataItem->trigger();
    EXPECT_TRUE(pane->Memo1->toPlainText().endsWith(QStringLiteral("35.40205,139.5610,900")));
    pane->EdReDrawBtn->click();
    EXPECT_EQ(dialogs.Messages(), QStringList{});
    EXPECT_EQ(w.State.CategoryCount, 3);
    EXPECT_EQ(w.SeriesH[1]->Count(), 1);
    EXPECT_EQ(w.SeriesH[3]->Count(), 2);
    // Re-plot mode: the comment of a heading line is gone.
    EXPECT_EQ(Line(3), QStringLiteral("ミズナラ "));

    // Redraw with an empty text: map lines only.
    pane->Memo1->clear();
    pane->EdReDrawBtn->click();
    EXPECT_EQ(w.State.CategoryCount, 0);
    for (int k = 1; k <= 9; ++k) {
        EXPECT_EQ(w.SeriesH[k]->Count(), 0);
        EXPECT_FALSE(w.SeriesH[k]->Active() && w.SeriesH[k]->Count() > 0);
    }
    EXPECT_GT(w.SeriesH0->Count(), 0);
    EXPECT_EQ(w.Memo1Text().LineCount(), 0u);
    Paint();
    const auto legend = Drawn(*w.Chart1);
    EXPECT_TRUE(EndingWith(legend, QChar(0x30CA)).empty());   // no "ブナ" left
}

// ---------------------------------------------------------------- bad input

TEST_F(OverlayTest, OddMarksFromAHandEditedFile) {
    TFormMain& w = Start();
    Make();
    auto& m = w.State.Marks;
    m[1].Style = 42;   // drawn as a square
    m[2].Style = 0;
    m[2].Size = 7;     // not in the size list
    QImage picture = w.Chart1->PictureBitmap();
    EXPECT_EQ(PixelAt(picture, 70, 70), kavum::platform::clBlue);
    EXPECT_EQ(PixelAt(picture, 67, 67), kavum::platform::clBlack);
    EXPECT_EQ(PixelAt(picture, 63, 90), kavum::platform::clBlack);   // a square of half-size 7
    EXPECT_EQ(PixelAt(picture, 66, 90), kavum::platform::clAqua);
    // A size beyond reason still draws (and covers the legend).
    m[3].Size = 2000000000;
    m[3].Style = -5;
    picture = w.Chart1->PictureBitmap();
    EXPECT_EQ(PixelAt(picture, 70, 70), kavum::platform::clGreen);

    w.EditMarkItem->trigger();
    auto* ed = w.MrkEdPanel;
    EXPECT_EQ(ed->ComboBoxMark->currentText(), QStringLiteral("□"));
    ed->ComboBoxSize->setCurrentIndex(4);   // " 5"
    Click(w.Chart1, Qt::LeftButton, QPoint(300, w.State.LegendTop + 40));
    EXPECT_EQ(ed->ComboBoxMark->currentText(), QStringLiteral("□"));
    EXPECT_EQ(ed->ComboBoxSize->currentText(), QStringLiteral(" 5"));   // 7 leaves the selection
    emit ed->ComboBoxSize->activated(4);
    EXPECT_EQ(m[2].Size, 5);
    // Closing re-plots: the huge mark goes onto the charts, which still draw.
    ed->BtnMrkExit->click();
    EXPECT_EQ(dialogs.Messages(), QStringList{});
    EXPECT_EQ(w.SeriesH[3]->Pointer().HorizSize(), 2000000000);
    Paint();
    EXPECT_EQ(PixelAt(w.Chart1->PictureBitmap(), 300, 300), kavum::platform::clGreen);
    // A size below 1 is refused by the chart, and the error goes through the
    // one error path.
    w.EditMarkItem->trigger();
    m[3].Size = 0;
    ed->BtnMrkExit->click();
    EXPECT_EQ(dialogs.Messages().size(), 1);
    EXPECT_FALSE(w.State.LegendEditing);
}

// ---------------------------------------------------------------- pictures

// The three-view figure of the bundled map with the sample data, the mark
// editor and the readout, for looking at: run with
// --gtest_also_run_disabled_tests (under Xvfb with QT_QPA_PLATFORM=xcb the
// whole screen is taken as well).
TEST_F(OverlayTest, DISABLED_Screenshots) {
    const QString out = QDir::temp().filePath(QStringLiteral("kavum-overlays"));
    QDir().mkpath(out);
    auto shot = [&](const char* name) {
        Paint();
        QTest::qWait(300);
        window->grab().save(out + QLatin1Char('/') + QLatin1String(name) + QStringLiteral(".png"));
        if (QGuiApplication::platformName() == QLatin1String("xcb"))
            QProcess::execute(QStringLiteral("import"), {QStringLiteral("-window"), QStringLiteral("root"),
                                                         out + QStringLiteral("/screen-") + QLatin1String(name) +
                                                             QStringLiteral(".png")});
    };
    TFormMain& w = StartWith(Mountains);
    w.setGeometry(0, 0, 1270, 1000);
    QTest::qWait(500);
    Make();
    w.ShowHeightFill->trigger();   // the whole figure in view
    shot("1-figure");
    w.EditMarkItem->trigger();
    Click(w.Chart1, Qt::LeftButton, QPoint(100, w.State.LegendTop + 40));
    auto* ed = w.MrkEdPanel;
    ed->EditLegName->selectAll();
    Type(ed->EditLegName, QStringLiteral("標高1500-2500m"));
    ed->ComboBoxMark->setCurrentIndex(7);
    emit ed->ComboBoxMark->activated(7);
    ed->ComboBoxSize->setCurrentIndex(4);
    emit ed->ComboBoxSize->activated(4);
    dialogs.AnswerColor(0x0000FF);
    ed->BtnMrkColor->click();
    shot("2-mark-editor");
    w.EdDataItem->trigger();
    ed->BtnMrkExit->click();
    // The pane scrolled to the heading line that took the new name.
    QTextCursor heading(w.EditorBox->Memo1->document()->find(QStringLiteral("標高1500-2500m")));
    ASSERT_FALSE(heading.isNull());
    heading.clearSelection();
    w.EditorBox->Memo1->setTextCursor(heading);
    w.EditorBox->Memo1->centerCursor();
    shot("3-redrawn");
    w.EditorBox->EdCancelBtn->click();
    const QPoint p(w.Chart1->BottomAxis().XValueToPixel(138.7), w.Chart1->LeftAxis().YValueToPixel(35.36));
    Click(w.Chart1, Qt::LeftButton, p);
    shot("4-readout");
}

}  // namespace
