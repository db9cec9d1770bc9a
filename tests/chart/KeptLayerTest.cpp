// The kept picture of a chart's map: copied below the marks, it gives the
// pixels of drawing the chart, and any change of what it shows makes it anew.
#include "ChartTestUtil.h"

#include "platform/canvas/PainterCanvas.h"
#include "platform/canvas/PdfCanvas.h"

#include <gtest/gtest.h>

#include <QImage>

#include <functional>
#include <string>
#include <vector>

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

// The pages of a book draw the map from the form an earlier page made of it
// only while nothing it is drawn from changed: every page is byte for byte
// the page a fresh book makes of the same chart (the pages are not
// confirmed, so each carries its forms whole), and the unchanged pages are
// drawn by the key.
void BuildBookChart(TChart& chart) {
    chart.resize(400, 300);
    chart.Title().SetVisible(false);
    chart.BottomAxis().SetAxisRange(0, 100);
    chart.LeftAxis().SetAxisRange(0, 100);
    TLineSeries& map = chart.AddLineSeries();
    map.LinePen().SetMode(TPenMode::Copy);
    map.Pointer().SetStyle(psSmallDot);
    map.Pointer().SetHorizSize(1);
    map.Pointer().SetVertSize(1);
    map.Pointer().Pen().SetVisible(false);
    map.Pointer().SetVisible(true);
    for (int i = 0; i < 3000; ++i) {
        const double x = i / 30.0;
        const TColor color = i % 2 ? platform::clBlack : platform::clNavy;
        map.StorePoint(x, 10 + (i % 80), QString(), color);
        map.StorePoint(x + 0.02, 12 + (i % 80), QString(), color);
        map.AddNullPoint(QString());
    }
    TPointSeries& marks = chart.AddPointSeries();
    marks.StorePoint(50, 50, QString(), clRed);
}

TEST(KeptLayer, BookPagesDrawTheStoredMapOnlyWhileItIsUnchanged) {
    using Change = std::function<void(TChart&)>;
    const std::vector<std::pair<const char*, Change>> steps = {
        {"first", [](TChart&) {}},
        {"same", [](TChart&) {}},
        {"map point", [](TChart& c) { c.Series(0).StorePoint(60, 95, QString(), clRed); }},
        {"same again", [](TChart&) {}},
        {"map range", [](TChart& c) { c.BottomAxis().SetAxisRange(5, 100); }},
        {"line pen", [](TChart& c) { static_cast<TLineSeries&>(c.Series(0)).LinePen().SetColor(clBlue); }},
        {"map dots", [](TChart& c) { c.Series(0).Pointer().SetStyle(psCross); }},
        {"marks only", [](TChart& c) { c.Series(1).StorePoint(20, 20, QString(), clYellow); }},
    };
    const auto page = [](TChart& chart, platform::TPdfShared& shared) {
        platform::TPdfCanvas canvas(400, 300, QString(), 1.0, &shared);
        chart.DrawInto(canvas, TRect{0, 0, 400, 300});
        return canvas.Finish();
    };
    TChart book;
    BuildBookChart(book);
    platform::TPdfShared shared;
    long long keyed = 0;
    for (std::size_t n = 0; n < steps.size(); ++n) {
        steps[n].second(book);
        const QByteArray got = page(book, shared);
        TChart fresh;
        BuildBookChart(fresh);
        for (std::size_t k = 0; k <= n; ++k) steps[k].second(fresh);
        platform::TPdfShared own;
        EXPECT_EQ(got, page(fresh, own)) << steps[n].first;
        EXPECT_TRUE(got.contains(platform::PdfSharedMark)) << steps[n].first;
        const bool unchanged = n > 0 && (std::string(steps[n].first).starts_with("same") ||
                                         std::string(steps[n].first) == "marks only");
        EXPECT_EQ(shared.KeyedDraws(), keyed + (unchanged ? 1 : 0)) << steps[n].first;
        keyed = shared.KeyedDraws();
    }
}

}  // namespace
}  // namespace kavum::chart::test
