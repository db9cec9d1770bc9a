// Figures at a scale: the picture sizes and chart rectangles of the worked
// composites times the scale, the resolution the files carry, and a scaled
// bitmap that shows the scale-1 bitmap's picture.
#include "ExportTestUtil.h"

#include "export/Figure.h"
#include "platform/Errors.h"

#include <QBuffer>
#include <QImageReader>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <cmath>

namespace kavum::exporting::test {
namespace {

using namespace platform;

struct Charts {
    int legendLeft = 50;
    int legendTop = 40;
    chart::TChart map, westEast, southNorth;
    Charts() {
        BuildChart(map, &legendLeft, &legendTop, QStringLiteral("地図"));
        BuildChart(westEast, &legendLeft, &legendTop, QStringLiteral("東西"));
        BuildChart(southNorth, &legendLeft, &legendTop, QStringLiteral("南北"));
    }
    FigureCharts All() { return FigureCharts{&map, &westEast, &southNorth}; }
    LegendPosition Legend() { return LegendPosition{&legendLeft, &legendTop}; }
};

int Grey(QRgb c) { return (qRed(c) + qGreen(c) + qBlue(c)) / 3; }

TEST(FigureScale, SizesAndChartRectanglesGrowByTheScale) {
    Charts c;
    Figure three = *SavedFigure(c.All(), 3, 1.2, 50, 50);
    for (const double k : {2.0, 3.0}) {
        three.scale = k;
        EXPECT_EQ(ScaledSize(three.size, k), QSize(1040 * k, 1200 * k));
        EXPECT_EQ(ScaledRect(three.charts[0].rect, k), QRectF(0, 240 * k, 240 * k, 960 * k));
        EXPECT_EQ(ScaledRect(three.charts[1].rect, k), QRectF(240 * k, 240 * k, 800 * k, 960 * k));
        EXPECT_EQ(ScaledRect(three.charts[2].rect, k), QRectF(240 * k, 19 * k, 800 * k, 240 * k));
        const QImage image = FigureBitmap(three, c.Legend());
        EXPECT_EQ(image.size(), QSize(1040 * k, 1200 * k));
    }
    Figure two = *SavedFigure(c.All(), 2, 0.75, 50, 40);
    EXPECT_EQ(ScaledSize(two.size, 3), QSize(2400, 1800));
    EXPECT_EQ(ScaledRect(two.charts[1].rect, 2), QRectF(0, 598, 1198, 600));
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
    // The SVG and the PDF page are 2.5 times the picture, its drawing the same.
    const QByteArray svg = FigureBytes(FigureFormat::Svg, one);
    EXPECT_TRUE(svg.contains("width=\"997.5px\" height=\"747.5px\" viewBox=\"0 0 399 299\"")) << svg.left(300).constData();
    const QByteArray pdf = FigureBytes(FigureFormat::Pdf, one);
    EXPECT_TRUE(pdf.contains("/MediaBox [0 0 748.125 560.625]"));
    one.scale = 1;
    const QByteArray plain = FigureBytes(FigureFormat::Svg, one);
    EXPECT_EQ(plain.mid(plain.indexOf("<desc>")), svg.mid(svg.indexOf("<desc>")))
        << "the drawing does not depend on the scale";
}

TEST(FigureScale, OutsideTheRangeIsRefused) {
    Charts c;
    Figure one = *SavedFigure(c.All(), 1, 1.2, 50, 40);
    for (const double k : {0.5, 8.5, std::nan("")}) {
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
