// Drawing checked on real pixels: pointer shapes, line breaks and colours,
// the mask mode, values far outside the picture, clipping, the canvas state
// the hook starts from, and drawing into a foreign canvas.
#include "ChartTestUtil.h"

#include "platform/canvas/PainterCanvas.h"

#include <QTest>

#include <gtest/gtest.h>

#include <limits>
#include <set>

namespace kavum::chart::test {
namespace {

using namespace platform;

QImage WhiteImage(int w, int h) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(Qt::white);
    return image;
}

// The pixels that are not white, as (x, y) pairs.
std::set<std::pair<int, int>> Marked(const QImage& image) {
    std::set<std::pair<int, int>> out;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (PixelAt(image, x, y) != clWhite) out.insert({x, y});
        }
    }
    return out;
}

// A chart whose plot fills the picture: no margins, no axes drawn, and value
// v at column v and row 101 - v.
void MakePlain(TChart& chart) {
    chart.SetMarginLeft(0);
    chart.SetMarginRight(0);
    chart.SetMarginTop(0);
    chart.SetMarginBottom(0);
    chart.Title().SetVisible(false);
    chart.BottomAxis().SetVisible(false);
    chart.LeftAxis().SetVisible(false);
    chart.BottomAxis().SetAxisRange(0, 101);
    chart.LeftAxis().SetAxisRange(0, 101);
}

QImage Render(TChart& chart, int size = 101) {
    QImage image = WhiteImage(size, size);
    TPainterCanvas canvas(image);
    chart.DrawInto(canvas, TRect{0, 0, size, size});
    canvas.End();
    return image;
}

TEST(ChartPointerShapes, SmallDotIsOnePixelWhateverTheSize) {
    QImage image = WhiteImage(60, 60);
    {
        TPainterCanvas c(image);
        DrawPointerShape(c, 30, 30, 20, 20, clRed, psSmallDot);
    }
    EXPECT_EQ(Marked(image), (std::set<std::pair<int, int>>{{30, 30}}));
    EXPECT_EQ(PixelAt(image, 30, 30), clRed);
}

TEST(ChartPointerShapes, CrossSpansSevenPixelsEachWay) {
    QImage image = WhiteImage(40, 40);
    {
        TPainterCanvas c(image);
        c.SetPenColor(clBlue);  // the colour argument wins
        DrawPointerShape(c, 20, 20, 3, 3, clRed, psCross);
    }
    std::set<std::pair<int, int>> expected;
    for (int i = 17; i <= 23; ++i) {
        expected.insert({20, i});
        expected.insert({i, 20});
    }
    EXPECT_EQ(Marked(image), expected);
    EXPECT_EQ(PixelAt(image, 20, 17), clRed);
}

TEST(ChartPointerShapes, DiagonalCrossAndStar) {
    QImage image = WhiteImage(40, 40);
    {
        TPainterCanvas c(image);
        DrawPointerShape(c, 20, 20, 3, 3, clRed, psDiagCross);
    }
    std::set<std::pair<int, int>> expected;
    for (int i = -3; i <= 3; ++i) {
        expected.insert({20 + i, 20 + i});
        expected.insert({20 - i, 20 + i});
    }
    EXPECT_EQ(Marked(image), expected);
    QImage star = WhiteImage(40, 40);
    {
        TPainterCanvas c(star);
        DrawPointerShape(c, 20, 20, 3, 3, clRed, psStar);
    }
    EXPECT_EQ(Marked(star).size(), 13u + 12u);
}

TEST(ChartPointerShapes, RectangleWithAndWithoutOutline) {
    QImage image = WhiteImage(40, 40);
    {
        TPainterCanvas c(image);
        c.SetPen(TCanvasPen{clBlack, 1, TPenStyle::Solid, TPenMode::Copy});
        c.SetBrushColor(clYellow);
        DrawPointerShape(c, 20, 20, 3, 3, clRed, psRectangle);
    }
    const auto marked = Marked(image);
    EXPECT_EQ(marked.size(), 49u);
    EXPECT_EQ(marked.begin()->first, 17);
    EXPECT_EQ(marked.rbegin()->first, 23);
    EXPECT_EQ(PixelAt(image, 17, 17), clBlack);
    EXPECT_EQ(PixelAt(image, 23, 23), clBlack);
    EXPECT_EQ(PixelAt(image, 18, 18), clYellow);
    EXPECT_EQ(PixelAt(image, 22, 22), clYellow);
    // Without a pen the fill is one pixel narrower and lower.
    QImage bare = WhiteImage(40, 40);
    {
        TPainterCanvas c(bare);
        c.SetPenStyle(TPenStyle::Clear);
        c.SetBrushColor(clYellow);
        DrawPointerShape(c, 20, 20, 3, 3, clRed, psRectangle);
    }
    EXPECT_EQ(Marked(bare).size(), 36u);
    EXPECT_EQ(PixelAt(bare, 22, 22), clYellow);
    EXPECT_EQ(PixelAt(bare, 23, 23), clWhite);
}

TEST(ChartPointerShapes, TrianglesPointTheRightWay) {
    for (auto [style, apexRow, baseRow] : {std::tuple{psTriangle, 17, 23}, std::tuple{psDownTriangle, 23, 17}}) {
        QImage image = WhiteImage(40, 40);
        {
            TPainterCanvas c(image);
            c.SetBrushColor(clLime);
            DrawPointerShape(c, 20, 20, 3, 3, clRed, style);
        }
        int apex = 0;
        int base = 0;
        for (int x = 0; x < 40; ++x) {
            apex += PixelAt(image, x, apexRow) != clWhite;
            base += PixelAt(image, x, baseRow) != clWhite;
        }
        EXPECT_EQ(PixelAt(image, 20, apexRow), clBlack) << style;
        EXPECT_LE(apex, 2) << style;
        EXPECT_EQ(base, 7) << style;
        EXPECT_EQ(PixelAt(image, 20, 20), clLime) << style;
    }
}

TEST(ChartPointerShapes, CircleAndDiamondStayInTheirBox) {
    for (auto style : {psCircle, psDiamond}) {
        QImage image = WhiteImage(40, 40);
        {
            TPainterCanvas c(image);
            c.SetBrushColor(clLime);
            DrawPointerShape(c, 20, 20, 4, 4, clRed, style);
        }
        for (const auto& [x, y] : Marked(image)) {
            EXPECT_GE(x, 16);
            EXPECT_LE(x, 24);
            EXPECT_GE(y, 16);
            EXPECT_LE(y, 24);
        }
        EXPECT_EQ(PixelAt(image, 20, 20), clLime);
    }
}

TEST(ChartLineSeries, NullPointBreaksTheLine) {
    TChart chart;
    MakePlain(chart);
    TLineSeries& s = chart.AddLineSeries();
    s.StorePoint(10, 91, QString(), clBlack);  // a: (10, 10)
    s.StorePoint(40, 91, QString(), clRed);    // b: (40, 10)
    s.AddNullPoint(QString());
    s.StorePoint(60, 91, QString(), clBlack);  // c: (60, 10)
    s.StorePoint(90, 91, QString(), clBlue);   // d: (90, 10)
    const QImage image = Render(chart);
    // a-b in the colour of b, c-d in the colour of d, nothing between b and c.
    for (int x = 10; x < 40; ++x) EXPECT_EQ(PixelAt(image, x, 10), clRed) << x;
    for (int x = 40; x < 60; ++x) EXPECT_EQ(PixelAt(image, x, 10), clWhite) << x;
    for (int x = 60; x < 90; ++x) EXPECT_EQ(PixelAt(image, x, 10), clBlue) << x;
    EXPECT_EQ(PixelAt(image, 90, 10), clWhite);  // the last point is not drawn
}

TEST(ChartLineSeries, MaskModeKeepsBlackOverAqua) {
    QImage image = WhiteImage(30, 30);
    {
        TPainterCanvas c(image);
        c.SetPen(TCanvasPen{clAqua, 1, TPenStyle::Solid, TPenMode::Copy});
        c.Line(0, 10, 30, 10);
        c.SetPen(TCanvasPen{clBlack, 1, TPenStyle::Solid, TPenMode::Mask});
        c.Line(15, 0, 15, 30);
        c.SetPen(TCanvasPen{clBlack, 1, TPenStyle::Solid, TPenMode::Copy});
        c.Line(0, 20, 30, 20);
        c.SetPen(TCanvasPen{clAqua, 1, TPenStyle::Solid, TPenMode::Mask});
        c.Line(5, 0, 5, 30);
    }
    EXPECT_EQ(PixelAt(image, 15, 10), clBlack);  // black over aqua
    EXPECT_EQ(PixelAt(image, 15, 5), clBlack);
    EXPECT_EQ(PixelAt(image, 5, 20), clBlack);   // aqua over black
    EXPECT_EQ(PixelAt(image, 5, 5), clAqua);     // aqua over white
    EXPECT_EQ(PixelAt(image, 20, 10), clAqua);
}

TEST(ChartLineSeries, MaskModeOnTheChart) {
    TChart chart;
    MakePlain(chart);
    chart.LeftAxis().SetVisible(true);
    chart.LeftAxis().SetLabels(false);
    chart.LeftAxis().SetIncrement(20);
    chart.LeftAxis().Grid().SetColor(clAqua);
    chart.LeftAxis().SetLabelsSeparation(0);
    TLineSeries& s = chart.AddLineSeries();
    s.LinePen().SetMode(TPenMode::Mask);
    s.StorePoint(50, 0, QString(), clBlack);
    s.StorePoint(50, 101, QString(), clBlack);
    const QImage image = Render(chart);
    const int row = 101 - 60;  // the grid line of 60
    EXPECT_EQ(PixelAt(image, 30, row), clAqua);
    EXPECT_EQ(PixelAt(image, 50, row), clBlack);
}

TEST(ChartFarValues, NeverDrawGarbage) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    TChart chart;
    MakePlain(chart);
    chart.SetClipPoints(false);
    TPointSeries& points = chart.AddPointSeries();
    points.SetXValuesOrder(loNone);
    for (double v : {1e300, -1e300, inf, -inf, nan, 1e9}) {
        points.StorePoint(v, 50, QString(), clRed);
        points.StorePoint(50, v, QString(), clRed);
    }
    TLineSeries& line = chart.AddLineSeries();
    line.StorePoint(nan, 50, QString(), clRed);
    line.StorePoint(50, inf, QString(), clRed);
    line.StorePoint(-inf, 50, QString(), clRed);
    const QImage image = Render(chart);
    EXPECT_TRUE(Marked(image).empty());

    // A segment towards a point far out is drawn towards it, cut at the
    // edge of the drawable area, not towards the middle.
    TChart far;
    MakePlain(far);
    TLineSeries& ray = far.AddLineSeries();
    ray.StorePoint(20, 71, QString(), clBlack);  // (20, 30)
    ray.StorePoint(1e300, 71, QString(), clBlack);
    ray.StorePoint(20, 41, QString(), clBlack);  // (20, 60)
    const QImage drawn = Render(far);
    for (int x = 20; x <= 100; ++x) EXPECT_EQ(PixelAt(drawn, x, 30), clBlack) << x;
    for (int x = 21; x <= 100; ++x) EXPECT_EQ(PixelAt(drawn, x, 60), clBlack) << x;
    for (int y = 31; y < 60; ++y) EXPECT_EQ(PixelAt(drawn, 50, y), clWhite) << y;
}

TEST(ChartClip, SeriesStayInsideThePlot) {
    TChart chart;
    chart.resize(200, 200);
    TPointSeries& s = chart.AddPointSeries();
    chart.BottomAxis().SetAxisRange(0, 10);
    chart.LeftAxis().SetAxisRange(0, 10);
    chart.BottomAxis().SetVisible(false);
    chart.LeftAxis().SetVisible(false);
    s.Pointer().SetHorizSize(8);
    s.Pointer().SetVertSize(8);
    s.Pointer().Brush().SetColor(clRed);
    s.Pointer().Pen().SetColor(clRed);
    s.StorePoint(0, 0, QString(), UseSeriesColor);
    s.StorePoint(10, 10, QString(), UseSeriesColor);
    s.StorePoint(10.5, 5, QString(), UseSeriesColor);  // outside the x range: not visited
    TRect plot;
    chart.OnAfterDraw = [&](TChart& c) { plot = c.ChartRect(); };
    const QImage image = chart.PictureBitmap();
    const auto marked = Marked(image);
    ASSERT_FALSE(marked.empty());
    for (const auto& [x, y] : marked) {
        EXPECT_GE(x, plot.left);
        EXPECT_LE(x, plot.right);
        EXPECT_GE(y, plot.top);
        EXPECT_LE(y, plot.bottom);
    }
    chart.SetClipPoints(false);
    const auto unclipped = Marked(chart.PictureBitmap());
    EXPECT_GT(unclipped.size(), marked.size());
    for (const auto& [x, y] : unclipped) EXPECT_LE(x, plot.right + 8);  // 10.5 is left out
}

TEST(ChartHooks, AfterDrawStartsFromAResetCanvas) {
    TChart chart;
    MakePlain(chart);
    chart.BottomAxis().SetVisible(true);
    chart.BottomAxis().LabelsFont().SetColor(clAqua);
    chart.BottomAxis().LabelsFont().SetHeight(20);
    TPointSeries& s = chart.AddPointSeries();
    s.Pointer().Pen().SetColor(clRed);
    s.Pointer().Pen().SetWidth(3);
    s.StorePoint(50, 50, QString(), UseSeriesColor);
    int calls = 0;
    chart.OnAfterDraw = [&](TChart& c) {
        ++calls;
        const TCanvas& canvas = c.Canvas();
        EXPECT_EQ(canvas.Pen(), (TCanvasPen{clBlack, 1, TPenStyle::Solid, TPenMode::Copy}));
        EXPECT_EQ(canvas.Brush(), (TCanvasBrush{clWhite, TBrushStyle::Solid}));
        EXPECT_EQ(canvas.Font().color, clBlack);
        EXPECT_EQ(canvas.Font().height, 13);  // 10 points
        EXPECT_EQ(canvas.Font().name, QStringLiteral("ＭＳ ゴシック"));
        EXPECT_TRUE(canvas.TextTransparent());
    };
    Render(chart);
    EXPECT_EQ(calls, 1);
}

TEST(ChartDrawInto, MapsIntoTheRectangleAndRestoresTheScreen) {
    TChart chart;
    chart.resize(300, 200);
    chart.BottomAxis().SetAxisRange(0, 10);
    chart.LeftAxis().SetAxisRange(0, 10);
    chart.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&chart));
    chart.Repaint();
    const int start = chart.BottomAxis().StartPos();
    const int end = chart.BottomAxis().EndPos();
    const TRect plot = chart.ChartRect();
    ASSERT_LT(end, 300);

    QImage image = WhiteImage(1000, 800);
    TPainterCanvas canvas(image);
    bool inHook = false;
    chart.OnAfterDraw = [&](TChart& c) {
        inHook = true;
        EXPECT_EQ(&c.Canvas(), &canvas);
        EXPECT_FALSE(c.BufferedDisplay());
        EXPECT_GE(c.BottomAxis().XValueToPixel(0), 500);
        EXPECT_LE(c.BottomAxis().XValueToPixel(10), 900);
        EXPECT_GE(c.LeftAxis().YValueToPixel(10), 100);
    };
    chart.DrawInto(canvas, TRect{500, 100, 900, 400});
    canvas.End();
    EXPECT_TRUE(inHook);
    EXPECT_TRUE(chart.BufferedDisplay());
    EXPECT_EQ(chart.BottomAxis().StartPos(), start);
    EXPECT_EQ(chart.BottomAxis().EndPos(), end);
    EXPECT_EQ(chart.ChartRect(), plot);
    // Nothing outside the rectangle.
    for (const auto& [x, y] : Marked(image)) {
        EXPECT_GE(x, 500);
        EXPECT_LT(x, 900);
        EXPECT_GE(y, 100);
        EXPECT_LT(y, 400);
    }
    // A failing hook still restores the chart.
    chart.OnAfterDraw = [](TChart&) { throw std::runtime_error("hook"); };
    QImage other = WhiteImage(100, 100);
    TPainterCanvas otherCanvas(other);
    EXPECT_THROW(chart.DrawInto(otherCanvas, TRect{0, 0, 100, 100}), std::runtime_error);
    EXPECT_TRUE(chart.BufferedDisplay());
    EXPECT_EQ(chart.BottomAxis().StartPos(), start);
}

TEST(ChartScreen, OwnerDrawsOverThePictureBetweenPaints) {
    TChart chart;
    chart.resize(120, 100);
    chart.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&chart));
    chart.Repaint();
    TCanvas& canvas = chart.Canvas();
    canvas.SetBrushColor(clRed);
    canvas.FillRect(TRect{10, 10, 20, 20});
    const QImage shown = chart.grab().toImage();
    EXPECT_EQ(PixelAt(shown, 15, 15), clRed);
    // A change of the chart redraws it, without the overlay.
    chart.SetColor(clYellow);
    chart.Repaint();
    EXPECT_EQ(PixelAt(chart.grab().toImage(), 15, 15), clYellow);
}

TEST(ChartScreen, HookFailuresDuringPaintAreReported) {
    TChart chart;
    chart.resize(80, 60);
    QString reported;
    chart.OnError = [&](const std::exception& e) { reported = QString::fromUtf8(e.what()); };
    chart.OnAfterDraw = [](TChart&) { throw std::runtime_error("overlay failed"); };
    chart.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&chart));
    chart.Repaint();
    EXPECT_EQ(reported, QStringLiteral("overlay failed"));
}

}  // namespace
}  // namespace kavum::chart::test

namespace kavum::chart::test {
namespace {

// Keeps the polylines a chart draws, as a vector canvas would get them.
class PolylineRecorder : public TCanvas {
public:
    std::vector<std::vector<QPoint>> lines;
    void TextOut(int, int, const QString&) override {}
    void FillRect(const TRect&) override {}
    void Rectangle(const TRect&) override {}
    void Ellipse(const TRect&) override {}
    void Polygon(const QPoint*, int) override {}
    void Polyline(const QPoint* points, int count) override { lines.emplace_back(points, points + count); }
    void SetPixel(int, int, TColor) override {}
    void SetClipRect(const TRect&) override {}
    void ResetClip() override {}
};

TEST(ChartLineSeries, LinesFarOutsideTheClippedPlotAreLeftOutAndLongOnesCut) {
    TChart chart;
    MakePlain(chart);
    TLineSeries& line = chart.AddLineSeries();
    // A coast far outside the range, as all of Japan around one peninsula:
    // 200 small closed squares 300 to 2000 columns to the right.
    for (int k = 0; k < 200; ++k) {
        const double x = 400 + 8.5 * k;
        for (double dx : {0.0, 3.0, 3.0, 0.0, 0.0})
            line.StorePoint(x + dx, (k % 2 ? 2.0 : 0.0) + (dx == 0 ? 10 : 14), QString(), clBlack);
        line.AddNullPoint(QString());
    }
    // A line inside the plot, and one that comes from far off on the left.
    for (double x : {20.0, 40.0, 60.0}) line.StorePoint(x, 50, QString(), clRed);
    line.AddNullPoint(QString());
    line.StorePoint(-1e7, 80, QString(), clBlack);
    line.StorePoint(50, 80, QString(), clBlack);
    line.StorePoint(-1e7, 81, QString(), clBlack);

    const QImage before = Render(chart);
    PolylineRecorder recorder;
    chart.DrawInto(recorder, TRect{0, 0, 101, 101});
    std::size_t points = 0;
    for (const auto& l : recorder.lines) {
        points += l.size();
        // Nothing lies far outside the plot: no coordinate at the edge of the
        // drawable square.
        for (const QPoint& p : l) {
            EXPECT_GT(p.x(), -60) << p.x();
            EXPECT_LT(p.x(), 160) << p.x();
        }
    }
    EXPECT_LE(points, 8u) << "the far squares are written";
    ASSERT_EQ(recorder.lines.size(), 3u);
    EXPECT_EQ(recorder.lines[0], (std::vector<QPoint>{{20, 51}, {40, 51}, {60, 51}}));
    // The picture stays the same: the long lines reach the left edge.
    for (int x = 0; x <= 50; ++x) EXPECT_EQ(PixelAt(before, x, 21), clBlack) << x;

    // Without the clip every square is drawn, since it would show.
    chart.SetClipPoints(false);
    PolylineRecorder unclipped;
    chart.DrawInto(unclipped, TRect{0, 0, 101, 101});
    EXPECT_GE(unclipped.lines.size(), 200u);
}

TEST(ChartLineSeries, LeavingOutFarLinesKeepsTheBitmap) {
    // The same lines with and without a far-away part draw the same pixels,
    // with a thin and a wide pen, also where a far segment joins a near one.
    for (int width : {1, 2, 5}) {
        TChart with;
        TChart without;
        for (TChart* c : {&with, &without}) {
            MakePlain(*c);
            TLineSeries& l = c->AddLineSeries();
            l.LinePen().SetWidth(width);
            if (c == &with) {
                l.StorePoint(-300, 90, QString(), clBlack);
                l.StorePoint(-40, 60, QString(), clBlack);
            } else {
                l.StorePoint(-40, 60, QString(), clBlack);
            }
            l.StorePoint(30, 20, QString(), clBlack);
            l.StorePoint(130, 30, QString(), clBlack);
            if (c == &with) l.StorePoint(300, 200, QString(), clBlack);
        }
        EXPECT_EQ(Render(with), Render(without)) << "pen width " << width;
    }
}

}  // namespace
}  // namespace kavum::chart::test
