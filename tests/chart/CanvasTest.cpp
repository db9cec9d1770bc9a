// The canvases themselves: styled and wide pens on a bitmap, the same chart
// on the QPainter path (SVG, PDF), and text metrics shared by all canvases.
#include "ChartTestUtil.h"

#include "platform/canvas/MetafileCanvas.h"
#include "platform/canvas/PainterCanvas.h"

#include <QBuffer>
#include <QFontInfo>
#include <QPdfWriter>
#include <QSvgGenerator>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace kavum::chart::test {
namespace {

using namespace platform;

QImage WhiteImage(int w, int h) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(Qt::white);
    return image;
}

TEST(PainterCanvas, AlternatePenSetsEveryOtherPixelAcrossSegments) {
    QImage image = WhiteImage(20, 20);
    {
        TPainterCanvas c(image);
        c.SetPen(TCanvasPen{clBlack, 1, TPenStyle::Alternate, TPenMode::Copy});
        const QPoint pts[3] = {QPoint(0, 5), QPoint(5, 5), QPoint(5, 10)};
        c.Polyline(pts, 3);
    }
    // (0,5) (2,5) (4,5), then on down the corner: (5,6) (5,8); (5,10) is the
    // end and is not drawn.
    for (int x = 0; x < 5; ++x) EXPECT_EQ(PixelAt(image, x, 5), x % 2 == 0 ? clBlack : clWhite) << x;
    EXPECT_EQ(PixelAt(image, 5, 5), clWhite);
    EXPECT_EQ(PixelAt(image, 5, 6), clBlack);
    EXPECT_EQ(PixelAt(image, 5, 7), clWhite);
    EXPECT_EQ(PixelAt(image, 5, 8), clBlack);
    EXPECT_EQ(PixelAt(image, 5, 10), clWhite);
}

TEST(PainterCanvas, WidePenIsWider) {
    QImage image = WhiteImage(20, 20);
    {
        TPainterCanvas c(image);
        c.SetPen(TCanvasPen{clBlack, 2, TPenStyle::Solid, TPenMode::Copy});
        c.Line(2, 10, 18, 10);
    }
    int rows = 0;
    for (int y = 0; y < 20; ++y) rows += PixelAt(image, 10, y) == clBlack;
    EXPECT_EQ(rows, 2);
}

TEST(PainterCanvas, ClipAndOpaqueText) {
    QImage image = WhiteImage(100, 40);
    {
        TPainterCanvas c(image);
        c.SetClipRect(TRect{0, 0, 50, 40});
        c.SetBrushColor(clYellow);  // text stands on the brush colour
        c.TextOut(40, 10, QStringLiteral("東京都"));
        c.ResetClip();
        c.SetPen(TCanvasPen{clRed, 1, TPenStyle::Solid, TPenMode::Copy});
        c.Line(0, 35, 100, 35);
    }
    EXPECT_EQ(PixelAt(image, 40, 10), clYellow);  // the corner of the text cell
    EXPECT_EQ(PixelAt(image, 55, 10), clWhite);  // clipped
    EXPECT_EQ(PixelAt(image, 99, 35), clRed);
}

TEST(PainterCanvas, SvgAndPdfThroughQPainter) {
    TChart chart;
    BuildDemoChart(chart);
    QBuffer svg;
    svg.open(QIODevice::WriteOnly);
    {
        QSvgGenerator generator;
        generator.setOutputDevice(&svg);
        generator.setSize(QSize(640, 480));
        generator.setViewBox(QRect(0, 0, 640, 480));
        QPainter painter(&generator);
        TPainterCanvas canvas(painter);
        EXPECT_FALSE(canvas.DirectPixels());
        chart.DrawInto(canvas, TRect{0, 0, 640, 480});
    }
    const QByteArray text = svg.data();
    EXPECT_TRUE(text.contains("<svg"));
    EXPECT_TRUE(text.contains("polyline") || text.contains("<path"));

    QTemporaryDir dir;
    const QString pdf = dir.filePath("demo.pdf");
    {
        QPdfWriter writer(pdf);
        writer.setResolution(96);
        QPainter painter(&writer);
        TPainterCanvas canvas(painter);
        chart.DrawInto(canvas, TRect{0, 0, 640, 480});
    }
    EXPECT_GT(QFileInfo(pdf).size(), 1000);
}

TEST(CanvasMetrics, SameOnEveryCanvasAndSubstituted) {
    TCanvasFont font;
    font.name = QStringLiteral("ＭＳ ゴシック");
    font.height = 13;
    QImage image = WhiteImage(10, 10);
    TPainterCanvas screen(image);
    TMetafileCanvas file(10, 10);
    screen.SetFont(font);
    file.SetFont(font);
    const QString text = QStringLiteral("ブナ 第1類 135ﾟ");
    EXPECT_EQ(screen.TextWidth(text), file.TextWidth(text));
    EXPECT_EQ(screen.TextWidth(text), TextWidthOf(font, text));
    EXPECT_GT(screen.TextWidth(text), 50);
    EXPECT_EQ(QFontInfo(MakeQFont(font)).family(), QStringLiteral("IPAGothic"));
    font.name = QStringLiteral("ＭＳ Ｐ明朝");
    EXPECT_EQ(QFontInfo(MakeQFont(font)).family(), QStringLiteral("IPAPMincho"));
    EXPECT_EQ(PointsToPixels(10), 13);
    EXPECT_EQ(PointsToPixels(9), 12);
}

}  // namespace
}  // namespace kavum::chart::test
