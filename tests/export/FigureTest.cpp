// Figures of charts of the test's own: the composites, the legend moved and
// set back, the metafile read back record by record, files written whole or
// not at all, and the vector pictures set the pixels of the bitmap.
#include "ExportTestUtil.h"

#include "export/Figure.h"
#include "platform/Errors.h"
#include "platform/canvas/MetafileCanvas.h"
#include "platform/canvas/PainterCanvas.h"
#include "platform/canvas/PdfCanvas.h"
#include "platform/canvas/SvgCanvas.h"
#include "platform/canvas/TrueTypeSubset.h"

#include <QClipboard>
#include <QDir>
#include <QGuiApplication>
#include <QMimeData>
#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QPainterPath>
#include <QRawFont>
#include <QSvgRenderer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <stdexcept>

namespace kavum::exporting::test {
namespace {

using namespace platform;

constexpr std::uint32_t EmrHeader = 1, EmrEof = 14, EmrSetPixelV = 15, EmrIntersectClip = 30, EmrPolygon16 = 86, EmrPolyPolygon16 = 91,
                        EmrExtTextOutW = 84;

QRect Rect(const TRect& r) { return QRect(QPoint(r.left, r.top), QPoint(r.right, r.bottom)); }

QSize PictureSizeOf(const QByteArray& emf) {
    const std::vector<Record> records = Records(emf);
    if (records.empty()) return QSize();
    return QSize(records[0].I32(16) - records[0].I32(8) + 1, records[0].I32(20) - records[0].I32(12) + 1);
}

TEST(Figure, FormatFollowsTheExtension) {
    EXPECT_EQ(FigureFormatOfPath("/a/b/Noname-3D.EMF"), FigureFormat::Emf);
    EXPECT_EQ(FigureFormatOfPath("x.svg"), FigureFormat::Svg);
    EXPECT_EQ(FigureFormatOfPath("a.b.Pdf"), FigureFormat::Pdf);
    EXPECT_EQ(FigureFormatOfPath("x.png"), FigureFormat::Png);
    EXPECT_FALSE(FigureFormatOfPath("x.wmf").has_value());
    EXPECT_FALSE(FigureFormatOfPath("x").has_value());
    EXPECT_FALSE(FigureFormatOfPath("dir.svg/file").has_value());
    for (FigureFormat f : {FigureFormat::Emf, FigureFormat::Svg, FigureFormat::Pdf, FigureFormat::Png})
        EXPECT_EQ(FigureFormatOfPath("x." + FigureExtension(f)), f);
}

TEST(Figure, EachShowModeHasItsComposite) {
    Charts c;
    EXPECT_FALSE(SavedFigure(c.All(), 0, 1.2, 50, 40).has_value());
    EXPECT_FALSE(ClipboardFigure(c.All(), 0, 1.2, 50, 40).has_value());

    // The map chart's own picture: the metafile one pixel smaller.
    const Figure one = *SavedFigure(c.All(), 1, 1.2, 50, 40);
    EXPECT_EQ(one.size, QSize(399, 299));
    EXPECT_EQ(one.bitmapSize, QSize(400, 300));
    ASSERT_EQ(one.charts.size(), 1u);
    EXPECT_EQ(one.charts[0].chart, &c.map);
    EXPECT_EQ(Rect(one.charts[0].rect), QRect(QPoint(0, 0), QPoint(400, 300)));
    EXPECT_FALSE(one.legend.has_value());
    EXPECT_EQ(FigureMetafile(one), c.map.PictureMetafile());

    const Figure two = *SavedFigure(c.All(), 2, 0.75, 50, 40);
    EXPECT_EQ(two.size, QSize(800, 600));
    ASSERT_EQ(two.charts.size(), 2u);
    EXPECT_EQ(two.charts[0].chart, &c.westEast);
    EXPECT_EQ(Rect(two.charts[0].rect), QRect(QPoint(0, 0), QPoint(799, 299)));
    EXPECT_EQ(two.charts[1].chart, &c.southNorth);
    EXPECT_EQ(Rect(two.charts[1].rect), QRect(QPoint(0, 299), QPoint(599, 599)));
    const Figure copied = *ClipboardFigure(c.All(), 2, 0.75, 50, 40);
    EXPECT_EQ(copied.size, QSize(1200, 1600));
    EXPECT_EQ(Rect(copied.charts[1].rect), QRect(QPoint(0, 800), QPoint(1199, 1599)));

    // Three views: south-north, map, west-east, the legend in the picture.
    for (const Figure& three : {*SavedFigure(c.All(), 3, 1.2, 50, 50), *ClipboardFigure(c.All(), 3, 1.2, 50, 50)}) {
        EXPECT_EQ(three.size, QSize(1040, 1200));
        ASSERT_EQ(three.charts.size(), 3u);
        EXPECT_EQ(three.charts[0].chart, &c.southNorth);
        EXPECT_EQ(three.charts[1].chart, &c.map);
        EXPECT_EQ(three.charts[2].chart, &c.westEast);
        EXPECT_EQ(Rect(three.charts[2].rect), QRect(QPoint(240, 19), QPoint(1040, 259)));
        EXPECT_EQ(three.legend, QPoint(302, 302));
    }
}

TEST(Figure, TheLegendStandsInThePictureWhileDrawnAndGoesBack) {
    Charts c;
    std::vector<QPoint> seen;
    c.map.OnAfterDraw = [&](chart::TChart&) { seen.emplace_back(c.legendLeft, c.legendTop); };
    const Figure three = ThreeViewFigure(c.map, c.westEast, c.southNorth, 0.75, c.legendLeft, c.legendTop);
    FigureMetafile(three, c.Legend());
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0], QPoint(200 + 62, 200 + 50));
    EXPECT_EQ(QPoint(c.legendLeft, c.legendTop), QPoint(50, 40));

    // Also when the drawing fails.
    c.map.OnAfterDraw = [&](chart::TChart&) { throw KavumError("broken"); };
    EXPECT_THROW(FigureSvg(three, c.Legend()), KavumError);
    EXPECT_EQ(QPoint(c.legendLeft, c.legendTop), QPoint(50, 40));
    QTemporaryDir dir;
    const QString file = dir.filePath("broken.emf");
    EXPECT_THROW(SaveFigure(FigureFormat::Emf, three, file, c.Legend()), KavumError);
    EXPECT_EQ(QPoint(c.legendLeft, c.legendTop), QPoint(50, 40));
    EXPECT_FALSE(QFileInfo::exists(file));
}

// The three-view metafile read back: its size, the three charts drawn in
// their order into their rectangles, each clipped to its plot area, and the
// legend on the map where the picture puts it.
TEST(FigureMetafile, ThreeViewsReadBackRecordByRecord) {
    Charts c;
    const Figure three = ThreeViewFigure(c.map, c.westEast, c.southNorth, 0.75, c.legendLeft, c.legendTop);
    const QByteArray emf = FigureMetafile(three, c.Legend());
    const std::vector<Record> records = Records(emf);
    ASSERT_GT(records.size(), 20u);
    ASSERT_EQ(records.front().type, EmrHeader);
    EXPECT_EQ(records.back().type, EmrEof);
    // Bounds, inclusive: the picture of 1000 x 800.
    EXPECT_EQ(QRect(QPoint(records[0].I32(8), records[0].I32(12)), QPoint(records[0].I32(16), records[0].I32(20))),
              QRect(0, 0, 1000, 800));
    EXPECT_EQ(records[0].U32(48), static_cast<std::uint32_t>(emf.size()));
    EXPECT_EQ(records[0].U32(52), static_cast<std::uint32_t>(records.size()));

    // Each chart fills its rectangle first: in the order of drawing.
    const QRect boxes[3] = {QRect(QPoint(0, 200), QPoint(200, 800)), QRect(QPoint(200, 200), QPoint(1000, 800)),
                            QRect(QPoint(200, 12), QPoint(1000, 212))};
    std::vector<int> order;
    std::vector<QRect> clips;
    bool legendBox = false;
    for (const Record& r : records) {
        if (r.type == EmrPolygon16 || r.type == EmrPolyPolygon16) {
            for (const auto& polygon : Polygons(r)) {
                const QRect box = BoxOf(polygon);
                for (int k = 0; k < 3; ++k) {
                    if (box == boxes[k]) order.push_back(k);
                }
                // The legend's frame, through its last pixels, at (262, 250).
                if (box == QRect(QPoint(262, 250), QPoint(262 + 79, 250 + 23))) legendBox = true;
            }
        }
        if (r.type == EmrIntersectClip) clips.emplace_back(QPoint(r.I32(8), r.I32(12)), QPoint(r.I32(16), r.I32(20)));
    }
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2}));
    EXPECT_TRUE(legendBox);
    ASSERT_EQ(clips.size(), 3u);
    for (int k = 0; k < 3; ++k) {
        EXPECT_TRUE(boxes[k].contains(clips[static_cast<std::size_t>(k)])) << k;
        EXPECT_GT(clips[static_cast<std::size_t>(k)].width(), boxes[k].width() / 2);
    }
}

TEST(FigureMetafile, TextComesAfterItsGround) {
    TMetafileCanvas canvas(100, 40);
    canvas.SetBrush(TCanvasBrush{clYellow, TBrushStyle::Solid});
    canvas.TextOut(5, 5, QStringLiteral("ブナ"));
    canvas.TextOut(5, 20, QStringLiteral("ナラ"));
    const std::vector<Record> records = Records(canvas.Finish());
    std::vector<char> kinds;
    for (const Record& r : records) {
        if (r.type == EmrPolygon16 || r.type == EmrPolyPolygon16) kinds.push_back('g');
        if (r.type == EmrExtTextOutW) kinds.push_back('t');
    }
    EXPECT_EQ(kinds, (std::vector<char>{'g', 't', 'g', 't'}));
}

// Dotted lines, dashes and single pixels go out as the areas of the pixels a
// bitmap sets, so that every reader shows the same dots.
TEST(FigureMetafile, DotsAndDashesAreTheBitmapsPixels) {
    auto draw = [](TCanvas& c) {
        for (TPenStyle style : {TPenStyle::Alternate, TPenStyle::Dot, TPenStyle::DashDot}) {
            c.SetPen(TCanvasPen{clRed, 1, style, TPenMode::Copy});
            const int y = 5 + 10 * static_cast<int>(style);
            const QPoint line[3] = {QPoint(3, y), QPoint(40, y), QPoint(52, y + 9)};
            c.Polyline(line, 3);
        }
        c.SetPixel(70, 3, clRed);
        c.SetPixel(70, 3, clRed);
    };
    QImage image(80, 80, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        TPainterCanvas c(image);
        draw(c);
    }
    TMetafileCanvas m(80, 80);
    draw(m);
    QImage areas(80, 80, QImage::Format_RGB32);
    areas.fill(Qt::white);
    int records = 0;
    std::size_t squares = 0;
    for (const Record& r : Records(m.Finish())) {
        if (r.type != EmrPolyPolygon16) continue;
        ++records;
        for (const auto& polygon : Polygons(r)) {
            const std::vector<QPoint> inside = PixelsInside(polygon);
            squares += inside.size() == 1 && BoxOf(polygon).isValid();
            for (const QPoint& p : inside) areas.setPixel(p, qRgb(255, 0, 0));
        }
    }
    EXPECT_EQ(records, 1);  // one colour, one record
    for (int y = 0; y < 80; ++y) {
        for (int x = 0; x < 80; ++x) ASSERT_EQ(image.pixel(x, y), areas.pixel(x, y)) << x << "," << y;
    }
    // The pixel set twice goes out once.
    TMetafileCanvas once(80, 80);
    draw(once);
    once.SetPixel(71, 3, clRed);
    std::size_t squaresOnce = 0;
    for (const Record& r : Records(once.Finish())) {
        for (const auto& polygon : Polygons(r)) squaresOnce += PixelsInside(polygon).size() == 1 && BoxOf(polygon).isValid();
    }
    EXPECT_EQ(squaresOnce, squares + 1);
}

// Thin straight lines across or up and the thin frames of rectangles: drawn
// by a bitmap and by the metafile, whose fills are played back here.
void DrawUprightScene(TCanvas& c, bool mask = true) {
    c.SetBrush(TCanvasBrush{clWhite, TBrushStyle::Solid});
    c.FillRect(TRect{0, 0, 90, 60});
    c.SetPen(TCanvasPen{clBlue, 1, TPenStyle::Solid, TPenMode::Copy});
    c.Line(5, 5, 60, 5);
    c.Line(8, 50, 8, 10);  // drawn upwards: the end at the top is left out
    c.SetBrush(TCanvasBrush{clYellow, TBrushStyle::Solid});
    c.SetPen(TCanvasPen{clBlack, 1, TPenStyle::Solid, TPenMode::Copy});
    c.Rectangle(TRect{20, 15, 40, 30});
    c.Rectangle(TRect{45, 15, 47, 17});  // all frame
    c.Rectangle(TRect{45, 20, 46, 28});  // one pixel wide
    c.SetBrush(TCanvasBrush{clYellow, TBrushStyle::Clear});
    c.Rectangle(TRect{50, 15, 60, 25});  // a frame alone
    if (mask) {
        c.SetPen(TCanvasPen{clRed, 1, TPenStyle::Solid, TPenMode::Mask});
        c.Line(3, 20, 70, 20);  // across the blue line, the frames and the fill
    }
    c.SetPen(TCanvasPen{clGreen, 1, TPenStyle::Alternate, TPenMode::Copy});
    c.Line(70, 55, 70, 30);
}

// The fills of a metafile played back on white: brushes, the mix, the fill
// rule and paths; pens are not played, and a pen-less polygon outside a path
// is a failure.
QImage PlayFills(const QByteArray& emf, QSize size) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    std::map<std::uint32_t, QRgb> brushes;
    QRgb brush = qRgb(255, 255, 255);
    bool noBrush = false;
    bool mask = false, winding = false, inPath = false;
    std::vector<std::vector<QPoint>> path;
    for (const Record& r : Records(emf)) {
        switch (r.type) {
            case 39: {  // CREATEBRUSHINDIRECT
                const std::uint32_t c = r.U32(16);
                brushes[r.U32(8)] = qRgb(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF));
                break;
            }
            case 37: {  // SELECTOBJECT
                const std::uint32_t h = r.U32(8);
                if (h == 0x80000005u) noBrush = true;
                if (h == 0x80000000u) noBrush = false, brush = qRgb(255, 255, 255);
                if (brushes.count(h)) noBrush = false, brush = brushes[h];
                break;
            }
            case 20: mask = r.U32(8) == 9; break;      // SETROP2
            case 19: winding = r.U32(8) == 2; break;   // SETPOLYFILLMODE
            case 59: inPath = true; path.clear(); break;
            case 60: inPath = false; break;
            case 62: {  // FILLPATH
                if (noBrush) break;
                std::map<std::pair<int, int>, int> cover;
                for (const auto& polygon : path) {
                    for (const QPoint& p : PixelsInside(polygon)) ++cover[{p.x(), p.y()}];
                }
                for (const auto& [at, n] : cover) {
                    if (winding ? n == 0 : n % 2 == 0) continue;
                    const QPoint p(at.first, at.second);
                    if (!image.rect().contains(p)) continue;
                    image.setPixel(p, mask ? (image.pixel(p) & brush) : brush);
                }
                break;
            }
            case 86:
            case 91:
                EXPECT_TRUE(inPath) << "a polygon drawn with a pen";
                for (const auto& polygon : Polygons(r)) path.push_back(polygon);
                break;
            default:
                break;
        }
    }
    return image;
}

TEST(FigureMetafile, ThinUprightLinesAndFramesAreFilledOnTheBitmapsPixels) {
    QImage bitmap(90, 60, QImage::Format_RGB32);
    bitmap.fill(Qt::white);
    {
        TPainterCanvas c(bitmap);
        DrawUprightScene(c);
    }
    TMetafileCanvas m(90, 60);
    DrawUprightScene(m);
    const QByteArray emf = m.Finish();
    std::size_t polylines = 0;
    for (const Record& r : Records(emf)) polylines += r.type == 87 || r.type == 90 || r.type == 2 || r.type == 4;
    EXPECT_EQ(polylines, 0u);
    const QImage played = PlayFills(emf, bitmap.size());
    for (int y = 0; y < 60; ++y) {
        for (int x = 0; x < 90; ++x) ASSERT_EQ(played.pixel(x, y), bitmap.pixel(x, y)) << x << "," << y;
    }

    // Sloped lines, lines of several steps, wide pens and frames in the mask
    // mode stay lines and outlines.
    TMetafileCanvas lines(90, 60);
    lines.SetPen(TCanvasPen{clGreen, 1, TPenStyle::Solid, TPenMode::Copy});
    lines.Line(10, 40, 30, 52);
    const QPoint steps[3] = {QPoint(40, 40), QPoint(60, 40), QPoint(60, 55)};
    lines.Polyline(steps, 3);
    lines.SetPen(TCanvasPen{clGreen, 2, TPenStyle::Solid, TPenMode::Copy});
    lines.Line(5, 5, 60, 5);
    lines.SetPen(TCanvasPen{clGreen, 1, TPenStyle::Solid, TPenMode::Mask});
    lines.Rectangle(TRect{20, 15, 40, 30});
    std::vector<std::uint32_t> counts;
    int outlined = 0;
    for (const Record& r : Records(lines.Finish())) {
        if (r.type == 87) counts.push_back(r.U32(24));
        if (r.type == 90) {
            for (std::uint32_t i = 0; i < r.U32(24); ++i) counts.push_back(r.U32(32 + 4 * static_cast<int>(i)));
        }
        outlined += r.type == 86 && BoxOf(Polygons(r)[0]) == QRect(QPoint(20, 15), QPoint(39, 29));
    }
    EXPECT_EQ(counts, (std::vector<std::uint32_t>{2, 3, 2}));
    EXPECT_EQ(outlined, 1);
}

// Vector readers show the thin lines, frames and dots on the bitmap's
// pixels: not two pixels wide at half strength, not run together. (They
// know no mask mode: the scene has none.)
TEST(FigureMetafile, OtherReadersShowThinLinesOnThePixels) {
    QImage bitmap(90, 60, QImage::Format_RGB32);
    bitmap.fill(Qt::white);
    {
        TPainterCanvas c(bitmap);
        DrawUprightScene(c, false);
    }
    TMetafileCanvas m(90, 60);
    DrawUprightScene(m, false);
    QTemporaryDir dir;
    const QString emf = dir.filePath("upright.emf");
    WriteMetafileFile(m.Finish(), emf);
    // The picture as a reader shows it, on white, against the bitmap (a
    // reader may leave out the last column and row).
    auto compare = [&](const QString& png, const char* reader) {
        QImage shown(png);
        ASSERT_FALSE(shown.isNull()) << reader;
        QImage flat(shown.size(), QImage::Format_RGB32);
        flat.fill(Qt::white);
        {
            QPainter p(&flat);
            p.drawImage(0, 0, shown);
        }
        ASSERT_GE(flat.width(), 89) << reader;
        ASSERT_GE(flat.height(), 59) << reader;
        const QRect common(0, 0, 89, 59);
        EXPECT_EQ(Differences(bitmap.copy(common), flat.copy(common), 72), 0) << reader;
    };
    bool any = false;
    if (HaveProgram("emf2svg-conv") && HaveProgram("rsvg-convert")) {
        any = true;
        ASSERT_EQ(RunProgram("emf2svg-conv", {"-i", emf, "-o", dir.filePath("e.svg")}), 0);
        ASSERT_EQ(RunProgram("rsvg-convert", {"-o", dir.filePath("e.png"), dir.filePath("e.svg")}), 0);
        compare(dir.filePath("e.png"), "emf2svg-conv");
    }
    if (HaveProgram("inkscape")) {
        any = true;
        ASSERT_EQ(RunProgram("inkscape", {emf, "--export-type=png", "--export-filename=" + dir.filePath("i.png")}), 0);
        compare(dir.filePath("i.png"), "inkscape");
    }
    if (!any) GTEST_SKIP() << "neither emf2svg-conv with rsvg-convert nor inkscape is installed";
}

// Separate shapes of one pen and brush share a record; a shape that may
// touch one of them starts the next, so that drawing order still holds.
TEST(FigureMetafile, SeparateShapesShareARecordTouchingOnesFollow) {
    TMetafileCanvas m(200, 100);
    m.SetPen(TCanvasPen{clBlack, 1, TPenStyle::Solid, TPenMode::Copy});
    m.SetBrush(TCanvasBrush{clYellow, TBrushStyle::Solid});
    auto triangle = [&](int x, int y) {
        const QPoint p[3] = {QPoint(x - 3, y + 3), QPoint(x + 3, y + 3), QPoint(x, y - 3)};
        m.Polygon(p, 3);
    };
    triangle(10, 10);
    triangle(40, 10);
    triangle(70, 10);
    triangle(72, 12);  // over the last one
    m.SetBrush(TCanvasBrush{clRed, TBrushStyle::Solid});
    triangle(100, 10);
    std::vector<std::size_t> batches;
    for (const Record& r : Records(m.Finish())) {
        if (r.type == EmrPolygon16 || r.type == EmrPolyPolygon16) batches.push_back(Polygons(r).size());
    }
    EXPECT_EQ(batches, (std::vector<std::size_t>{3, 1, 1}));
}

// A scene of fills, outlines, lines across and up, dotted lines, pixels, a
// clip and the mask mode.
void DrawScene(TCanvas& c) {
    c.SetBrush(TCanvasBrush{clWhite, TBrushStyle::Solid});
    c.FillRect(TRect{0, 0, 120, 90});
    c.SetPen(TCanvasPen{clAqua, 1, TPenStyle::Alternate, TPenMode::Copy});
    for (int x = 10; x < 120; x += 20) c.Line(x, 0, x, 90);
    c.SetPen(TCanvasPen{clAqua, 1, TPenStyle::Solid, TPenMode::Copy});
    for (int y = 10; y < 90; y += 20) c.Line(0, y, 120, y);
    c.SetBrush(TCanvasBrush{clYellow, TBrushStyle::Solid});
    c.SetPen(TCanvasPen{clBlack, 1, TPenStyle::Solid, TPenMode::Copy});
    c.Rectangle(TRect{5, 5, 25, 18});
    c.SetPen(TCanvasPen{clBlack, 1, TPenStyle::Clear, TPenMode::Copy});
    c.Rectangle(TRect{30, 5, 45, 18});
    c.SetBrush(TCanvasBrush{clRed, TBrushStyle::Solid});
    c.FillRect(TRect{50, 5, 53, 60});
    c.SetPixel(60, 60, clBlue);
    c.SetPixel(62, 60, clBlue);
    c.SetPen(TCanvasPen{clNavy, 1, TPenStyle::Dot, TPenMode::Copy});
    c.Line(70, 30, 110, 30);
    c.SetPen(TCanvasPen{clBlack, 1, TPenStyle::Solid, TPenMode::Mask});
    c.Line(0, 50, 120, 50);
    c.SetClipRect(TRect{20, 60, 40, 80});
    c.SetPen(TCanvasPen{clGreen, 1, TPenStyle::Solid, TPenMode::Copy});
    c.Line(0, 70, 120, 70);
    c.ResetClip();
    c.SetPen(TCanvasPen{clPurple, 1, TPenStyle::Solid, TPenMode::Copy});
    c.Line(80, 80, 115, 80);
}

QImage SceneBitmap() {
    QImage image(120, 90, QImage::Format_RGB32);
    image.fill(Qt::white);
    TPainterCanvas c(image);
    DrawScene(c);
    return image;
}

TEST(FigureVector, SvgSetsTheBitmapsPixels) {
    TSvgCanvas svg(120, 90, QStringLiteral("scene"));
    DrawScene(svg);
    const QByteArray document = svg.Finish();
    // Qt's own renderer reads the document; it knows no clip paths, and
    // draws all but what the clip cuts off as the bitmap.
    QSvgRenderer renderer(document);
    ASSERT_TRUE(renderer.isValid());
    EXPECT_EQ(renderer.defaultSize(), QSize(120, 90));
    QImage qt(120, 90, QImage::Format_RGB32);
    qt.fill(Qt::white);
    {
        QPainter painter(&qt);
        renderer.render(&painter);
    }
    const QImage bitmap = SceneBitmap();
    const int cutOff = 120 - 20;  // the green line outside its clip
    EXPECT_LE(Differences(bitmap, qt, 72), cutOff + 2);
    if (!HaveProgram("rsvg-convert")) GTEST_SKIP() << "rsvg-convert is not installed";
    QTemporaryDir dir;
    const QString file = dir.filePath("scene.svg");
    QFile out(file);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(document);
    out.close();
    ASSERT_EQ(RunProgram("rsvg-convert", {"-b", "white", "-o", dir.filePath("scene.png"), file}), 0);
    const QImage shown = QImage(dir.filePath("scene.png")).convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(shown.size(), QSize(120, 90));
    if (qEnvironmentVariableIsSet("KAVUM_TEST_DUMP")) {
        SceneBitmap().save("/tmp/scene-bitmap.png");
        shown.save("/tmp/scene-svg.png");
    }
    EXPECT_EQ(Differences(SceneBitmap(), shown), 0);
}

TEST(FigureVector, PdfSetsTheBitmapsPixels) {
    if (!HaveProgram("pdftoppm")) GTEST_SKIP() << "pdftoppm is not installed";
    TPdfCanvas pdf(120, 90, QStringLiteral("scene"));
    DrawScene(pdf);
    QTemporaryDir dir;
    const QString file = dir.filePath("scene.pdf");
    QFile out(file);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(pdf.Finish());
    out.close();
    ASSERT_EQ(RunProgram("pdftoppm", {"-r", "96", "-png", "-singlefile", file,
                               dir.filePath("scene")}),
              0);
    const QImage shown = QImage(dir.filePath("scene.png")).convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(shown.size(), QSize(120, 90));
    if (qEnvironmentVariableIsSet("KAVUM_TEST_DUMP")) shown.save("/tmp/scene-pdf.png");
    // Poppler's smoothing lets fills bleed an eighth of a pixel right and
    // down; nothing more may differ.
    EXPECT_EQ(Differences(SceneBitmap(), shown, 72), 0);
}

TEST(FigureVector, PdfEmbedsTheGlyphsItUses) {
    TPdfCanvas pdf(200, 60, QStringLiteral("標高の図"));
    pdf.SetFont(TCanvasFont{QStringLiteral("ＭＳ ゴシック"), 13, clNavy});
    pdf.SetTextTransparent(true);
    pdf.TextOut(5, 5, QStringLiteral("標高2500m以上"));
    pdf.SetFont(TCanvasFont{QStringLiteral("ＭＳ Ｐ明朝"), 15, clBlack});
    pdf.TextOut(5, 30, QStringLiteral("三面分布図"));
    const QByteArray document = pdf.Finish();
    EXPECT_TRUE(document.startsWith("%PDF-1.4"));
    EXPECT_TRUE(document.trimmed().endsWith("%%EOF"));
    // Small: the fonts hold the glyphs used, not all of them.
    EXPECT_LT(document.size(), 200000);
    if (!HaveProgram("pdffonts") || !HaveProgram("pdftotext")) GTEST_SKIP() << "poppler-utils are not installed";
    QTemporaryDir dir;
    const QString file = dir.filePath("text.pdf");
    QFile out(file);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(document);
    out.close();
    QByteArray fonts, text;
    ASSERT_EQ(RunProgram("pdffonts", {file}, &fonts), 0);
    const QList<QByteArray> lines = fonts.split('\n');
    int embedded = 0;
    for (const QByteArray& line : lines) {
        if (line.contains("CID TrueType")) {
            EXPECT_TRUE(line.contains(" yes yes yes ")) << line.constData();
            ++embedded;
        }
    }
    EXPECT_EQ(embedded, 2);
    ASSERT_EQ(RunProgram("pdftotext", {file, "-"}, &text), 0);
    EXPECT_TRUE(QString::fromUtf8(text).contains(QStringLiteral("標高2500m以上")));
    EXPECT_TRUE(QString::fromUtf8(text).contains(QStringLiteral("三面分布図")));
}

TEST(FigureVector, TrueTypeSubsetKeepsGlyphNumbersAndDropsTheRest) {
    QFont font = MakeQFont(TCanvasFont{QStringLiteral("ＭＳ ゴシック"), 13});
    const QRawFont raw = QRawFont::fromFont(font);
    TTrueTypeFont tt(raw);
    ASSERT_TRUE(tt.Valid());
    const QList<quint32> glyphs = raw.glyphIndexesForString(QStringLiteral("標高"));
    ASSERT_EQ(glyphs.size(), 2);
    const QByteArray subset = tt.Subset({glyphs[0], glyphs[1]});
    EXPECT_LT(subset.size(), raw.fontTable("glyf").size() / 10);
    // The subset is a font of the same glyph count whose outlines of the
    // glyphs used are those of the whole font.
    QRawFont reread(subset, 13);
    ASSERT_TRUE(reread.isValid());
    for (quint32 g : glyphs) {
        EXPECT_EQ(reread.pathForGlyph(g).boundingRect(), raw.pathForGlyph(g).boundingRect());
        EXPECT_EQ(tt.Advance(g), TTrueTypeFont(reread).Advance(g));
    }
    EXPECT_TRUE(reread.pathForGlyph(glyphs[0] + 1).isEmpty() || glyphs.contains(glyphs[0] + 1));
}

TEST(FigureFile, WrittenWholeOrNotAtAll) {
    Charts c;
    const Figure two = TwoProfileFigure(c.westEast, c.southNorth, 1.2);
    QTemporaryDir dir;
    // Replaced as a whole.
    const QString file = dir.filePath("two.emf");
    QFile old(file);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write(QByteArray(5000000, 'x'));
    old.close();
    SaveFigure(FigureFormat::Emf, two, file);
    EXPECT_EQ(ReadFile(file), FigureMetafile(two));
    // A folder that is not there: the error names the file, nothing is left.
    const QString missing = dir.filePath("none/two.svg");
    try {
        SaveFigure(FigureFormat::Svg, two, missing);
        ADD_FAILURE() << "no error";
    } catch (const FileError& e) {
        EXPECT_TRUE(QString::fromUtf8(e.what()).contains(missing));
    }
    EXPECT_FALSE(QFileInfo::exists(missing));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"two.emf"});
    // Every format starts as its readers expect.
    EXPECT_TRUE(FigureBytes(FigureFormat::Svg, two).startsWith("<?xml"));
    EXPECT_TRUE(FigureBytes(FigureFormat::Pdf, two).startsWith("%PDF"));
    EXPECT_EQ(QImage::fromData(FigureBytes(FigureFormat::Png, two)).size(), QSize(800, 600));
}

// A three-view figure of a very narrow range is very tall: the metafile and
// the vector pictures are made, a bitmap is refused with a message, and the
// clipboard gets the metafile alone.
TEST(FigureFile, AHugeFigureHasNoBitmap) {
    Charts c;
    const Figure tall = ThreeViewFigure(c.map, c.westEast, c.southNorth, 400.0, 50, 50);
    EXPECT_EQ(tall.size, QSize(80800, 400000));
    EXPECT_EQ(PictureSizeOf(FigureMetafile(tall, c.Legend())), tall.size);
    EXPECT_THROW(FigureBytes(FigureFormat::Png, tall), KavumError);
    CopyFigureToClipboard(tall, c.Legend());
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    ASSERT_NE(data, nullptr);
    EXPECT_TRUE(data->hasFormat("image/x-emf"));
    EXPECT_FALSE(data->hasImage());
    EXPECT_EQ(QPoint(c.legendLeft, c.legendTop), QPoint(50, 40));
}

}  // namespace
}  // namespace kavum::exporting::test

// A name from a data file may hold control characters: the SVG shows them
// as their symbols and stays well-formed, so that every reader opens it.
TEST(FigureSvg, ControlCharactersInTextKeepTheFileWellFormed) {
    kavum::platform::TSvgCanvas canvas(200, 100, QStringLiteral("t\x1b"));
    canvas.TextOut(10, 10, QStringLiteral("Abies\x1b[2J\x07") + QChar(0xFFFE));
    const QByteArray svg = canvas.Finish();
    EXPECT_FALSE(svg.contains('\x1b'));
    EXPECT_TRUE(svg.contains(QStringLiteral("Abies\u241B[2J\u2407").toUtf8()));
    QSvgRenderer renderer(svg);
    EXPECT_TRUE(renderer.isValid());
}
