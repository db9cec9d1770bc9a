// Figures at a scale: the picture sizes and chart rectangles of the worked
// composites times the scale, the resolution the files carry, and a scaled
// bitmap that shows the scale-1 bitmap's picture.
#include "ExportTestUtil.h"

#include "export/Figure.h"
#include "platform/Errors.h"
#include "platform/canvas/PainterCanvas.h"

#include <QBuffer>
#include <QImageReader>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <vector>

namespace kavum::exporting::test {
namespace {

using namespace platform;

int Grey(QRgb c) { return (qRed(c) + qGreen(c) + qBlue(c)) / 3; }

TEST(FigureScale, SizesAndChartRectanglesGrowByTheScale) {
    Charts c;
    Figure three = *SavedFigure(c.All(), 3, 1.2, 50, 50);
    for (const double k : {2.0, 3.0}) {
        three.scale = k;
        EXPECT_EQ(ScaledSize(three.size, k), QSize(1040 * k, 1200 * k));
        const int K = static_cast<int>(k);
        EXPECT_EQ(ScaledRect(three.charts[0].rect, k), (TRect{0, 240 * K, 240 * K, 1200 * K}));
        EXPECT_EQ(ScaledRect(three.charts[1].rect, k), (TRect{240 * K, 240 * K, 1040 * K, 1200 * K}));
        EXPECT_EQ(ScaledRect(three.charts[2].rect, k), (TRect{240 * K, 19 * K, 1040 * K, 259 * K}));
        const QImage image = FigureBitmap(three, c.Legend());
        EXPECT_EQ(image.size(), QSize(1040 * k, 1200 * k));
    }
    Figure two = *SavedFigure(c.All(), 2, 0.75, 50, 40);
    EXPECT_EQ(ScaledSize(two.size, 3), QSize(2400, 1800));
    EXPECT_EQ(ScaledRect(two.charts[1].rect, 2), (TRect{0, 598, 1198, 1198}));
    // 600 dpi: scale 6.25, whole pixels.
    EXPECT_DOUBLE_EQ(ScaleOfDpi(600), 6.25);
    EXPECT_EQ(ScaledSize(QSize(1017, 1085), 6.25), QSize(6356, 6781));
}

TEST(FigureScale, FilesCarryTheirSizeAndResolution) {
    Charts c;
    Figure one = *SavedFigure(c.All(), 1, 1.2, 50, 40);
    one.scale = 2.5;
    // The PNG says 240 dpi, so that it opens at the picture's size.
    QByteArray png = FigureBytes(FigureFormat::Png, one);
    QBuffer buffer(&png);
    QImageReader reader(&buffer, "PNG");
    const QImage read = reader.read();
    EXPECT_EQ(read.size(), QSize(1000, 750));
    EXPECT_NEAR(read.dotsPerMeterX() * 0.0254, 240, 0.1);
    // The SVG and the PDF page are 2.5 times the picture, drawn on a grid of
    // ten units to the picture's pixel; the chart fills its rectangle times
    // 2.5.
    EXPECT_DOUBLE_EQ(VectorGrid(2.5, one.size), 10);
    // Scale 1 is on the finer grid too: no coordinate is a whole pixel.
    EXPECT_DOUBLE_EQ(VectorGrid(1, one.size), 12);
    EXPECT_DOUBLE_EQ(VectorGrid(6.25, one.size), 6.25);
    // A tall figure keeps its points inside the coordinates a chart draws.
    EXPECT_DOUBLE_EQ(VectorGrid(2.5, QSize(1000, 3750)), 7.5);
    EXPECT_DOUBLE_EQ(VectorGrid(8, QSize(1000, 5000)), 8);
    const QByteArray svg = FigureBytes(FigureFormat::Svg, one);
    EXPECT_TRUE(svg.contains("width=\"997.5px\" height=\"747.5px\" viewBox=\"0 0 3990 2990\""))
        << svg.left(300).constData();
    EXPECT_TRUE(svg.contains("M0 0h4000v3000h-4000z")) << "the chart's background";
    const QByteArray pdf = FigureBytes(FigureFormat::Pdf, one);
    EXPECT_TRUE(pdf.contains("/MediaBox [0 0 748.125 560.625]"));
    // The points of the line and the marks fall between the picture's
    // pixels and their halves (a scale-1 picture has only those).
    int between = 0;
    const QRegularExpression number(QStringLiteral("[ MLlhv,-]([0-9]+)"));
    for (const QRegularExpressionMatch& m : number.globalMatch(QString::fromUtf8(svg))) {
        if (m.captured(1).toInt() % 5 != 0) ++between;
    }
    EXPECT_GT(between, 100);
}

// The rectangles the charts of a figure are drawn into, and their plot
// rectangles, as the charts see them while they draw.
struct Drawn {
    TRect bounds;
    TRect plot;
};
std::vector<Drawn> DrawnRectangles(Charts& c, const Figure& figure, double scale) {
    std::vector<Drawn> out;
    std::vector<std::function<void(chart::TChart&)>> hooks;
    for (const ChartPlacement& p : figure.charts) {
        hooks.push_back(p.chart->OnAfterDraw);
        p.chart->OnAfterDraw = [&out, hook = p.chart->OnAfterDraw](chart::TChart& chart) {
            out.push_back(Drawn{chart.ChartBounds(), chart.ChartRect()});
            if (hook) hook(chart);
        };
    }
    QImage image(ScaledSize(figure.bitmapSize, scale), QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        TPainterCanvas canvas(image);
        DrawFigure(canvas, figure, c.Legend(), scale);
    }
    for (std::size_t i = 0; i < figure.charts.size(); ++i) figure.charts[i].chart->OnAfterDraw = hooks[i];
    return out;
}

TEST(FigureScale, ChartsAreDrawnIntoTheirRectanglesTimesTheScale) {
    Charts c;
    // The worked cases of the three views and of the two profiles.
    const std::vector<std::pair<Figure, std::vector<TRect>>> cases = {
        {*SavedFigure(c.All(), 3, 1.2, 50, 50), {{0, 240, 240, 1200}, {240, 240, 1040, 1200}, {240, 19, 1040, 259}}},
        {*SavedFigure(c.All(), 3, 0.75, 50, 50), {{0, 200, 200, 800}, {200, 200, 1000, 800}, {200, 12, 1000, 212}}},
        {*SavedFigure(c.All(), 2, 1.2, 50, 50), {{0, 0, 666, 299}, {0, 299, 799, 599}}},
        {*SavedFigure(c.All(), 2, 0.75, 50, 50), {{0, 0, 799, 299}, {0, 299, 599, 599}}},
    };
    for (const auto& [figure, rects] : cases) {
        const std::vector<Drawn> one = DrawnRectangles(c, figure, 1);
        ASSERT_EQ(one.size(), rects.size());
        for (const int k : {2, 3}) {
            EXPECT_EQ(ScaledSize(figure.size, k), figure.size * k);
            const std::vector<Drawn> drawn = DrawnRectangles(c, figure, k);
            ASSERT_EQ(drawn.size(), rects.size());
            for (std::size_t i = 0; i < rects.size(); ++i) {
                const TRect& r = rects[i];
                EXPECT_EQ(one[i].bounds, r);
                EXPECT_EQ(drawn[i].bounds, (TRect{k * r.left, k * r.top, k * r.right, k * r.bottom})) << k;
                // The plot rectangle: margins and label room of the design
                // times k, within the rounding of each at either scale and
                // of the scaled fonts' widths.
                const TRect& p = one[i].plot;
                const TRect& q = drawn[i].plot;
                EXPECT_NEAR(q.left, k * p.left, 2 * k) << k;
                EXPECT_NEAR(q.top, k * p.top, 2 * k) << k;
                EXPECT_NEAR(q.right, k * p.right, 2 * k) << k;
                EXPECT_NEAR(q.bottom, k * p.bottom, 2 * k) << k;
            }
        }
    }
}

// The rows a thin dark line takes in each column of a region.
std::vector<int> TopRows(const QImage& image, int left, int right, int top, int bottom) {
    std::vector<int> rows;
    for (int x = left; x < right; ++x) {
        for (int y = top; y < bottom; ++y) {
            if (Grey(image.pixel(x, y)) < 64) {
                rows.push_back(y);
                break;
            }
        }
    }
    return rows;
}

TEST(FigureScale, LinesTakeTheirPlacesAtTheFinerGrid) {
    // A gently sloping line: at scale 1 it steps down one row at a time; at
    // scale 4 it steps one row of the finer grid at a time, not four.
    chart::TChart chart;
    chart.resize(400, 300);
    chart.LeftAxis().SetVisible(false);
    chart.BottomAxis().SetVisible(false);
    chart.BottomAxis().SetAxisRange(0, 100);
    chart.LeftAxis().SetAxisRange(0, 100);
    chart::TLineSeries& line = chart.AddLineSeries();
    line.StorePoint(0, 50, QString(), clBlack);
    line.StorePoint(100, 53.3, QString(), clBlack);
    Figure f = SingleChartFigure(chart);
    const QImage one = FigureBitmap(f);
    f.scale = 4;
    const QImage four = FigureBitmap(f);
    const TRect plot = [&] {
        TRect r;
        chart.OnAfterDraw = [&r](chart::TChart& c) { r = c.ChartRect(); };
        (void)FigureBitmap(f);
        return r;
    }();
    auto steps = [](const std::vector<int>& rows) {
        int n = 0;
        for (std::size_t i = 1; i < rows.size(); ++i) n += rows[i] != rows[i - 1];
        return n;
    };
    const std::vector<int> rowsOne = TopRows(one, plot.left / 4 + 2, plot.right / 4 - 2, 0, one.height());
    const std::vector<int> rowsFour = TopRows(four, plot.left + 8, plot.right - 8, 0, four.height());
    ASSERT_GT(rowsOne.size(), 300u);
    EXPECT_GE(steps(rowsOne), 7);
    EXPECT_LE(steps(rowsOne), 9);
    // About 4 x 8 single-row steps, where the enlarged picture has 8 steps
    // of four rows.
    EXPECT_GE(steps(rowsFour), 28);
    int tallest = 0;
    for (std::size_t i = 1; i < rowsFour.size(); ++i) tallest = std::max(tallest, std::abs(rowsFour[i] - rowsFour[i - 1]));
    EXPECT_LE(tallest, 1);
    // And the line lies where the enlarged line lies.
    for (std::size_t i = 0; i < rowsOne.size(); i += 50) {
        const int x = plot.left / 4 + 2 + static_cast<int>(i);
        const std::vector<int> at = TopRows(four, 4 * x + 1, 4 * x + 2, 0, four.height());
        ASSERT_EQ(at.size(), 1u);
        EXPECT_NEAR(at[0], 4 * rowsOne[i], 4);
    }
}

TEST(FigureScale, MarksStandWhereTheEnlargedMarksStand) {
    // One mark of each shape: the box of its dark and coloured pixels at
    // scale 3 is the box at scale 1 times 3, within a pixel of the scale-1
    // picture.
    for (int style = 0; style <= 8; ++style) {
        chart::TChart chart;
        chart.resize(200, 200);
        chart.LeftAxis().SetVisible(false);
        chart.BottomAxis().SetVisible(false);
        chart.BottomAxis().SetAxisRange(0, 10);
        chart.LeftAxis().SetAxisRange(0, 10);
        chart::TPointSeries& s = chart.AddPointSeries();
        s.SetSeriesColor(clRed);
        s.Pointer().SetStyle(static_cast<chart::TSeriesPointerStyle>(style));
        s.Pointer().SetHorizSize(4);
        s.Pointer().SetVertSize(4);
        s.Pointer().Brush().SetColor(clBlue);
        s.StorePoint(4.33, 5.71, QString(), platform::UseSeriesColor);
        Figure f = SingleChartFigure(chart);
        auto box = [](const QImage& image) {
            QRect r;
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x)
                    if (Grey(image.pixel(x, y)) < 200) r |= QRect(x, y, 1, 1);
            return r;
        };
        const QRect one = box(FigureBitmap(f));
        f.scale = 3;
        const QRect three = box(FigureBitmap(f));
        ASSERT_FALSE(one.isEmpty()) << style;
        EXPECT_NEAR(three.left(), 3 * one.left(), 3) << style;
        EXPECT_NEAR(three.top(), 3 * one.top(), 3) << style;
        EXPECT_NEAR(three.right(), 3 * one.right() + 2, 3) << style;
        EXPECT_NEAR(three.bottom(), 3 * one.bottom() + 2, 3) << style;
    }
}

TEST(FigureScale, OutsideTheRangeIsRefused) {
    Charts c;
    Figure one = *SavedFigure(c.All(), 1, 1.2, 50, 40);
    for (const double k : {0.5, 25.5, std::nan("")}) {
        one.scale = k;
        EXPECT_THROW(FigureBitmap(one), KavumError);
        EXPECT_THROW(FigureSvg(one), KavumError);
        EXPECT_THROW(FigurePdf(one), KavumError);
    }
}

TEST(FigureScale, AScaledBitmapIsTheScaleOneBitmapMadeSharp) {
    Charts c;
    Figure three = *SavedFigure(c.All(), 3, 1.2, 50, 50);
    const QImage one = FigureBitmap(three, c.Legend());
    three.scale = 3;
    const QImage big = FigureBitmap(three, c.Legend());
    ASSERT_EQ(big.size(), one.size() * 3);
    // Every 3 x 3 block of the scaled bitmap against the pixel it enlarges:
    // dark where the pixel is dark, light where it is light, but for the
    // edges of smooth shapes and text.
    long long differing = 0, inked = 0;
    for (int y = 0; y < one.height(); ++y) {
        for (int x = 0; x < one.width(); ++x) {
            int sum = 0;
            for (int j = 0; j < 3; ++j)
                for (int i = 0; i < 3; ++i) sum += Grey(big.pixel(3 * x + i, 3 * y + j));
            const int a = Grey(one.pixel(x, y));
            if (a < 250) ++inked;
            if (std::abs(sum / 9 - a) > 160) ++differing;
        }
    }
    ASSERT_GT(inked, 5000);
    EXPECT_LT(differing, inked / 10) << differing << " of " << inked;
}

}  // namespace
}  // namespace kavum::exporting::test
