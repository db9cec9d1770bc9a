// The document on its own: the map made, a missing or unreadable map file,
// a record that does not convert, and the figures, with no window at all.
#include "doc/Document.h"
#include "platform/Cp932.h"
#include "platform/Errors.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

using kavum::chart::TCustomChart;
using kavum::doc::Document;

const QString MapFile = QStringLiteral(KAVUM_SOURCE_DIR "/assets/Kavum_Nippon.mdt");
const QString Sample = QStringLiteral(KAVUM_SOURCE_DIR "/assets/samples/mountains.grd");

struct Drawing {
    TCustomChart map, westEast, southNorth;
    Document doc{map, westEast, southNorth};
    Drawing() {
        doc.InitializeVariables();
        doc.ApplySettings(kavum::doc::DefaultSettings(MapFile));
        doc.Board.GrdFile = Sample;
    }
};

void Write(const QString& path, const std::string& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes.data(), static_cast<qint64>(bytes.size()));
}

TEST(Document, MakesTheThreeViewsOfTheBundledMapWithoutAWindow) {
    Drawing d;
    ASSERT_TRUE(d.doc.MakeMap());
    EXPECT_TRUE(d.doc.MapMade());
    EXPECT_EQ(d.doc.State.ShowMode, 3);
    EXPECT_EQ(d.doc.State.CategoryCount, 4);
    EXPECT_EQ(d.doc.State.LegendNames[1], QStringLiteral("標高2500m以上"));
    // The places the window gives its charts at the same client size.
    EXPECT_EQ(d.map.geometry(), QRect(176, 155, 648, 703));
    EXPECT_EQ(d.westEast.geometry(), QRect(176, 0, 648, 176));
    EXPECT_EQ(d.southNorth.geometry(), QRect(0, 155, 176, 703));
    EXPECT_FALSE(d.map.isHidden());
    EXPECT_GT(d.doc.SeriesH0->Count(), 10000);
    // Every record is a point of each of the three views.
    int points = 0;
    for (int k = 1; k <= 4; ++k) {
        points += d.doc.SeriesH[k]->Count();
        EXPECT_EQ(d.doc.SeriesH[k]->Count(), d.doc.SeriesW[k]->Count());
        EXPECT_EQ(d.doc.SeriesH[k]->Count(), d.doc.SeriesS[k]->Count());
    }
    EXPECT_EQ(points, 1059);
    for (const char* name : {"f.png", "f.svg", "f.pdf", "f.emf"}) {
        const std::optional<QByteArray> bytes = d.doc.FigureFileBytes(QString::fromLatin1(name), {});
        ASSERT_TRUE(bytes) << name;
        EXPECT_GT(bytes->size(), 1000) << name;
    }
    EXPECT_TRUE(d.doc.FigureFileBytes(QStringLiteral("f.png"), {})->startsWith("\x89PNG"));
}

TEST(Document, LayoutFollowsTheBoardAndTheClientSize) {
    Drawing d;
    d.doc.Board.ProfileMap = false;
    d.doc.ClientSize = QSize(810, 879);
    ASSERT_TRUE(d.doc.MakeMap());
    EXPECT_EQ(d.doc.State.ShowMode, 1);
    EXPECT_TRUE(d.westEast.isHidden());
    EXPECT_TRUE(d.southNorth.isHidden());
    EXPECT_EQ(d.map.geometry(), QRect(0, 0, 810, 879));
    // The board's precision and mesh lines are what the pass and the grid use.
    d.doc.Board.ProfileMap = true;
    d.doc.Board.GridSize = 10;
    d.doc.Board.MeshSize = 0;
    ASSERT_TRUE(d.doc.MakeMap());
    EXPECT_EQ(d.doc.State.GridSize, 10);
    EXPECT_EQ(d.doc.State.MeshSize, 0);
    EXPECT_FALSE(d.map.BottomAxis().Grid().Visible());
}

TEST(Document, MissingOrUnreadableMapFile) {
    QTemporaryDir dir;
    Drawing d;
    EXPECT_EQ(d.doc.SavedFigure(), std::nullopt);  // no map yet, no figure
    // A missing map: nothing is drawn and no map counts as made.
    d.doc.Board.MapFile = dir.filePath(QStringLiteral("none.mdt"));
    EXPECT_FALSE(d.doc.MakeMap());
    EXPECT_FALSE(d.doc.MapMade());
    EXPECT_EQ(d.doc.SeriesH0->Count(), 0);
    // A folder under the map's name is refused with the file named.
    d.doc.Board.MapFile = dir.path();
    try {
        d.doc.MakeMap();
        FAIL() << "a folder was read as a map";
    } catch (const kavum::platform::FileError& e) {
        EXPECT_NE(QString::fromStdString(std::string(e.Message())).indexOf(dir.path()), -1);
    }
    EXPECT_FALSE(d.doc.MapMade());
}

TEST(Document, RecordThatDoesNotConvertStopsThePassAtItsLine) {
    QTemporaryDir dir;
    const QString data = dir.filePath(QStringLiteral("bad.grd"));
    Write(data, kavum::platform::Utf8ToCp932("種A\r\n35.2139,138.4339,3776\r\n35.99x,138.1,10\r\n36.1,137.3,5\r\n"));
    Drawing d;
    d.doc.Board.GrdFile = data;
    EXPECT_THROW(d.doc.MakeMap(), std::exception);
    ASSERT_TRUE(d.doc.FailedLine);
    EXPECT_EQ(*d.doc.FailedLine, 2u);
    EXPECT_FALSE(d.doc.FailedLineShown);
    EXPECT_FALSE(d.doc.MapMade());
    // The records before the line are drawn.
    EXPECT_EQ(d.doc.SeriesH[1]->Count(), 1);
}

TEST(Document, AnotherDataTextOnTheSameMap) {
    Drawing d;
    ASSERT_TRUE(d.doc.MakeMap());
    const QByteArray first = *d.doc.FigureFileBytes(QStringLiteral("a.svg"), {});
    d.doc.PlotDataText({kavum::platform::Utf8ToCp932("ブナ"), "35.2139,138.4339,1500"}, QStringLiteral("ブナの分布"));
    EXPECT_EQ(d.doc.Board.Title, QStringLiteral("ブナの分布"));
    EXPECT_EQ(d.doc.State.CategoryCount, 1);
    EXPECT_EQ(d.doc.SeriesH[1]->Count(), 1);
    EXPECT_EQ(d.doc.SeriesH[2]->Count(), 0);
    const QByteArray second = *d.doc.FigureFileBytes(QStringLiteral("a.svg"), {});
    EXPECT_NE(first, second);
    EXPECT_EQ(d.doc.State.LegendNames[1], QStringLiteral("ブナ"));
}

TEST(Document, SettingsRoundTripThroughTheBoard) {
    Drawing d;
    kavum::doc::SettingsValues v = kavum::doc::DefaultSettings(MapFile);
    v.Title = QStringLiteral("試験");
    v.GridSize = 5;
    v.MeshSize = 3;
    v.Prefecture = true;
    v.MapColor = 0x123456;
    d.doc.ApplySettings(v);
    EXPECT_EQ(d.doc.Board.GridSize, 5);
    EXPECT_EQ(d.doc.Board.MeshSize, 3);
    const kavum::doc::SettingsValues back = d.doc.CurrentSettings();
    EXPECT_EQ(back.Title, v.Title);
    EXPECT_EQ(back.GridSize, 5);
    EXPECT_EQ(back.MeshSize, 3);
    EXPECT_TRUE(back.Prefecture);
    EXPECT_EQ(back.MapColor, 0x123456u);
    // A precision the board does not offer is kept in the state, and the
    // board's choice stays as it was.
    v.GridSize = 7;
    d.doc.ApplySettings(v);
    EXPECT_EQ(d.doc.State.GridSize, 7);
    EXPECT_EQ(d.doc.Board.GridSize, 5);
}

TEST(Document, LegendEditingPicksEntriesByRowAndNeverDoublesMarks) {
    Drawing d;
    ASSERT_TRUE(d.doc.MakeMap());
    const int points = d.doc.SeriesH[2]->Count();
    d.doc.BeginLegendEditing();
    // Rows are 20 pixels apart below the legend's top; outside them the
    // nearest entry is taken.
    EXPECT_TRUE(d.doc.PointerPressed(1, 300, d.doc.State.LegendTop + 40));
    EXPECT_EQ(d.doc.EditedCategory(), 2);
    EXPECT_TRUE(d.doc.PointerPressed(1, 5, d.doc.State.LegendTop + 5000));
    EXPECT_EQ(d.doc.EditedCategory(), 9);
    EXPECT_TRUE(d.doc.PointerPressed(1, 5, -5000));
    EXPECT_EQ(d.doc.EditedCategory(), 1);
    d.doc.SetEditedName(QStringLiteral("高山帯"));
    d.doc.SetEditedSize(99);  // not in the list: the size stays
    EXPECT_EQ(d.doc.State.Marks[1].Size, 3);
    d.doc.SetEditedSize(4);
    EXPECT_EQ(d.doc.State.Marks[1].Size, 5);
    d.doc.SetEditedFill(0x0000FF);
    d.doc.SetEditedRim(false);
    EXPECT_EQ(d.doc.State.Marks[1].PenColor, 0x0000FF);
    d.doc.EndLegendEditing();
    EXPECT_FALSE(d.doc.State.LegendEditing);
    EXPECT_EQ(d.doc.State.LegendNames[1], QStringLiteral("高山帯"));
    EXPECT_EQ(d.doc.SeriesH[2]->Count(), points);
    // Out of editing a press only reads the values.
    EXPECT_FALSE(d.doc.PointerPressed(1, 200, 150));
}

#ifdef __linux__
TEST(KavumRender, LinksNoWidgets) {
    QProcess ldd;
    ldd.start(QStringLiteral("ldd"), {QStringLiteral(KAVUM_BINARY_DIR "/kavum-render")});
    if (!ldd.waitForFinished(30000) || ldd.exitCode() != 0) GTEST_SKIP() << "ldd did not run";
    const QString out = QString::fromLocal8Bit(ldd.readAllStandardOutput());
    EXPECT_TRUE(out.contains(QStringLiteral("libQt6Gui")));
    EXPECT_FALSE(out.contains(QStringLiteral("Widgets"), Qt::CaseInsensitive)) << out.toStdString();
}
#endif

}  // namespace
