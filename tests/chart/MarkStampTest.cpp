// Marks drawn through stamps (each form rasterized once, its rows copied to
// every place) set the same pixels as marks rasterized one by one, at every
// place against the clip, in every shape, size and pen.
#include "chart/ChartSeries.h"
#include "platform/canvas/PainterCanvas.h"

#include <gtest/gtest.h>

#include <QImage>

namespace kavum::chart::test {
namespace {

using namespace platform;

// The marks of one shape, size and pen at every place around and across the
// clip rectangle, drawn with stamps on or off, over a ground of grey.
QImage Marks(TSeriesPointerStyle style, int h, int v, const TCanvasPen& pen, TBrushStyle brush, bool stamped) {
    QImage image(48, 40, QImage::Format_RGB32);
    image.fill(QColor(128, 128, 128));
    TPainterCanvas canvas(image);
    canvas.SetClipRect(TRect{10, 8, 38, 30});
    canvas.SetStampShapes(stamped);
    int n = 0;
    for (int y = 2; y < 38; y += 3) {
        for (int x = 1; x < 47; x += 2) {
            // Colours change from mark to mark, so that a stamp made for one
            // colour must not serve another.
            const TColor fill = (n % 3 == 0) ? clBlue : (n % 3 == 1 ? clLime : clRed);
            TCanvasPen p = pen;
            if (n % 5 == 0) p.color = clPurple;
            canvas.SetPen(p);
            canvas.SetBrush(TCanvasBrush{fill, brush});
            DrawPointerShape(canvas, x, y, h, v, fill, style);
            ++n;
        }
    }
    canvas.End();
    return image;
}

TEST(MarkStamp, StampedMarksSetTheSamePixelsAsMarksDrawnOneByOne) {
    const TSeriesPointerStyle styles[] = {psRectangle, psCircle, psTriangle, psDownTriangle, psCross,
                                          psDiagCross, psStar,   psDiamond,  psSmallDot};
    for (TSeriesPointerStyle style : styles) {
        for (int size : {1, 2, 3, 5}) {
            for (int width : {1, 2, 3}) {
                for (TPenStyle penStyle : {TPenStyle::Solid, TPenStyle::Clear}) {
                    for (TBrushStyle brush : {TBrushStyle::Solid, TBrushStyle::Clear}) {
                        const TCanvasPen pen{clBlack, width, penStyle, TPenMode::Copy};
                        const QImage one = Marks(style, size, size + (style == psCircle ? 1 : 0), pen, brush, false);
                        const QImage stamped =
                            Marks(style, size, size + (style == psCircle ? 1 : 0), pen, brush, true);
                        ASSERT_EQ(one, stamped) << "style " << style << ", size " << size << ", width " << width
                                                << ", pen " << static_cast<int>(penStyle) << ", brush "
                                                << static_cast<int>(brush);
                    }
                }
            }
        }
    }
}

// A mask pen is never stamped: the marks AND into what lies below them.
TEST(MarkStamp, MaskPenMarksStillAndIntoTheGround) {
    const TCanvasPen pen{clAqua, 1, TPenStyle::Solid, TPenMode::Mask};
    const QImage one = Marks(psRectangle, 3, 3, pen, TBrushStyle::Clear, false);
    const QImage stamped = Marks(psRectangle, 3, 3, pen, TBrushStyle::Clear, true);
    EXPECT_EQ(one, stamped);
    // ANDed into the grey ground, a pixel can only lose bits.
    int changed = 0;
    for (int y = 0; y < stamped.height(); ++y) {
        for (int x = 0; x < stamped.width(); ++x) {
            const QRgb c = stamped.pixel(x, y);
            ASSERT_LE(qRed(c), 128);
            ASSERT_LE(qGreen(c), 128);
            ASSERT_LE(qBlue(c), 128);
            if ((c & 0xFFFFFFu) != 0x808080u) ++changed;
        }
    }
    EXPECT_GT(changed, 0);
}

}  // namespace
}  // namespace kavum::chart::test
