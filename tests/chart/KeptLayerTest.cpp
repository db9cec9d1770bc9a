// The kept picture of a chart's map: copied below the marks, it gives the
// pixels of drawing the chart, and any change of what it shows makes it anew.
#include "ChartTestUtil.h"

#include "platform/canvas/PainterCanvas.h"

#include <gtest/gtest.h>

#include <QImage>

namespace kavum::chart::test {
namespace {

using platform::TRect;
using platform::clBlue;
using platform::clRed;
using platform::clYellow;

QImage Drawn(TCustomChart& chart, const TRect& rect, double scale = 1.0, QSize size = QSize(700, 520)) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        platform::TPainterCanvas canvas(image);
        chart.DrawInto(canvas, rect, scale);
    }
    return image;
}

// Two charts alike, one keeping its map picture.
struct Pair {
    TChart plain;
    TChart kept;
    Pair() {
        BuildDemoChart(plain);
        BuildDemoChart(kept);
        kept.SetKeepBaseLayer(true);
    }
    template <class F>
    void Change(F&& f) {
        f(plain);
        f(kept);
    }
    // Draws both and compares; the picture is drawn twice by the keeping
    // chart, so that the second drawing copies what the first kept.
    void ExpectSame(const TRect& rect, const char* what, double scale = 1.0) {
        const QImage want = Drawn(plain, rect, scale);
        EXPECT_EQ(Drawn(kept, rect, scale), want) << what;
        EXPECT_EQ(Drawn(kept, rect, scale), want) << what << ", copied";
    }
};

TEST(KeptLayer, CopiedPictureGivesTheDrawnPixelsAndFollowsEveryChange) {
    Pair p;
    const TRect rect{30, 20, 670, 500};
    p.Change([](TChart& c) { c.Title().SetVisible(false); });
    p.ExpectSame(rect, "first");
    EXPECT_EQ(p.kept.BaseLayersMade(), 1);
    EXPECT_EQ(p.kept.BaseLayerCopies(), 2);

    // The marks change: the map picture stays.
    p.Change([](TChart& c) {
        static_cast<TChartSeries&>(c.Series(3)).StorePoint(140, 35, QString(), UseSeriesColor);
        c.Series(4).Pointer().SetStyle(psDiamond);
        c.Series(5).SetActive(false);
    });
    p.ExpectSame(rect, "marks");
    EXPECT_EQ(p.kept.BaseLayersMade(), 1);

    // Whatever the map picture shows is made anew, never copied stale.
    p.Change([](TChart& c) { c.Series(0).StorePoint(145, 45, QString(), clRed); });
    p.ExpectSame(rect, "line point");
    p.Change([](TChart& c) { static_cast<TLineSeries&>(c.Series(0)).LinePen().SetColor(clBlue); });
    p.ExpectSame(rect, "line pen");
    p.Change([](TChart& c) { static_cast<TLineSeries&>(c.Series(0)).LinePen().SetMode(TPenMode::Copy); });
    p.ExpectSame(rect, "line mode");
    p.Change([](TChart& c) { c.Series(0).Pointer().SetVisible(false); });
    p.ExpectSame(rect, "line pointer");
    p.Change([](TChart& c) { c.BottomAxis().SetAxisRange(129, 145); });
    p.ExpectSame(rect, "axis range");
    p.Change([](TChart& c) { c.LeftAxis().SetInverted(true); });
    p.ExpectSame(rect, "inverted axis");
    p.Change([](TChart& c) { c.LeftAxis().Grid().SetColor(clRed); });
    p.ExpectSame(rect, "grid colour");
    p.Change([](TChart& c) { c.SetColor(clYellow); });
    p.ExpectSame(rect, "background");
    p.Change([](TChart& c) { c.Series(0).SetActive(false); });
    p.ExpectSame(rect, "line hidden");
    p.Change([](TChart& c) { c.Series(0).SetActive(true); });
    p.ExpectSame(TRect{0, 0, 600, 450}, "another place");
    p.ExpectSame(TRect{10, 10, 330, 250}, "a scale", 2.0);
    EXPECT_GE(p.kept.BaseLayersMade(), 11);
    EXPECT_GT(p.kept.BaseLayerCopies(), 2 * p.kept.BaseLayersMade() - 2);
}

TEST(KeptLayer, ADrawingThatReachesOutsideItsRectangleIsNeverCopied) {
    Pair p;
    // A title wider than the chart writes beside its rectangle.
    p.Change([](TChart& c) {
        c.Title().SetLine(0, QString(80, QChar(0x6797)));
        c.Title().SetVisible(true);
    });
    const TRect rect{200, 20, 500, 300};
    p.ExpectSame(rect, "wide title");
    EXPECT_EQ(p.kept.BaseLayerCopies(), 0);
    // A title that changes at every drawing: after two pictures that served
    // only their own drawing the chart stops making them.
    Pair q;
    for (int i = 0; i < 5; ++i) {
        q.Change([i](TChart& c) { c.Title().SetLine(0, QStringLiteral("図 %1").arg(i)); });
        const QImage want = Drawn(q.plain, TRect{30, 20, 670, 500});
        EXPECT_EQ(Drawn(q.kept, TRect{30, 20, 670, 500}), want) << i;
    }
    EXPECT_EQ(q.kept.BaseLayersMade(), 2);
}

}  // namespace
}  // namespace kavum::chart::test
