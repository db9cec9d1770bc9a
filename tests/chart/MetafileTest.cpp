// Metafiles read back: every record is sound, the header fits the picture,
// GDI objects are created, selected and deleted properly, lines of one
// colour go out as one polyline, text keeps the program's face names, and an
// independent reader converts the file.
#include "ChartTestUtil.h"

#include "platform/Errors.h"
#include "platform/canvas/Clipboard.h"
#include "platform/canvas/MetafileCanvas.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <uemf.h>
#include <uemf_safe.h>

#include <gtest/gtest.h>

#include <map>

namespace kavum::chart::test {
namespace {

using namespace platform;

template <class T>
const T& As(const EmfRecord& r) {
    return *reinterpret_cast<const T*>(r.data);
}

int CountType(const std::vector<EmfRecord>& records, std::uint32_t type) {
    int n = 0;
    for (const EmfRecord& r : records) n += r.type == type;
    return n;
}

QByteArray DemoMetafile() {
    TChart chart;
    BuildDemoChart(chart);
    return chart.PictureMetafile();
}

TEST(ChartMetafile, EveryRecordIsSoundAndTheHeaderAddsUp) {
    const QByteArray emf = DemoMetafile();
    const std::vector<EmfRecord> records = EmfRecords(emf);
    ASSERT_GT(records.size(), 10u);
    for (const EmfRecord& r : records) {
        // The check works on a copy it may not alter; records are 4-aligned.
        std::vector<char> copy(r.data, r.data + r.size);
        EXPECT_NE(U_emf_record_safe(copy.data()), 0) << "record type " << r.type;
    }
    ASSERT_EQ(records.front().type, static_cast<std::uint32_t>(U_EMR_HEADER));
    EXPECT_EQ(records.back().type, static_cast<std::uint32_t>(U_EMR_EOF));
    const auto& header = As<U_EMRHEADER>(records.front());
    EXPECT_EQ(header.nBytes, static_cast<std::uint32_t>(emf.size()));
    EXPECT_EQ(header.nRecords, records.size());
    EXPECT_EQ(header.dSignature, static_cast<std::uint32_t>(U_ENHMETA_SIGNATURE));
}

TEST(ChartMetafile, HeaderBoundsAndFrameAreThePictureSize) {
    TMetafileCanvas canvas(321, 123);
    const QByteArray emf = canvas.Finish();
    const auto& header = *reinterpret_cast<const U_EMRHEADER*>(emf.constData());
    EXPECT_EQ(header.rclBounds.left, 0);
    EXPECT_EQ(header.rclBounds.top, 0);
    EXPECT_EQ(header.rclBounds.right - header.rclBounds.left + 1, 321);
    EXPECT_EQ(header.rclBounds.bottom - header.rclBounds.top + 1, 123);
    // The frame in 0.01 mm at the reference device's 96 dpi.
    EXPECT_EQ(header.rclFrame.right, 8493);
    EXPECT_EQ(header.rclFrame.bottom, 3254);
    EXPECT_DOUBLE_EQ(static_cast<double>(header.szlDevice.cx) / header.szlMillimeters.cx, 96 / 25.4);
    EXPECT_DOUBLE_EQ(static_cast<double>(header.szlDevice.cy) / header.szlMillimeters.cy, 96 / 25.4);

    // The chart's own picture is one pixel narrower and lower than the chart.
    TChart chart;
    chart.resize(200, 150);
    const QByteArray own = chart.PictureMetafile();
    const auto& ownHeader = *reinterpret_cast<const U_EMRHEADER*>(own.constData());
    EXPECT_EQ(ownHeader.rclBounds.right, 198);
    EXPECT_EQ(ownHeader.rclBounds.bottom, 148);
}

// Plays the object records against a model of the device context: objects
// are made once, selected only while alive, deleted only when no context
// (current or saved) selects them, and all gone at the end.
TEST(ChartMetafile, ObjectHandlesAreCreatedSelectedAndDeletedProperly) {
    const QByteArray emf = DemoMetafile();  // the records point into it
    const std::vector<EmfRecord> records = EmfRecords(emf);
    ASSERT_FALSE(records.empty());
    struct Dc {
        std::uint32_t pen = U_BLACK_PEN, brush = U_WHITE_BRUSH, font = U_SYSTEM_FONT;
    };
    Dc dc;
    std::vector<Dc> saved;
    std::map<std::uint32_t, char> live;
    int created = 0;
    auto selected = [&](std::uint32_t h) {
        if (dc.pen == h || dc.brush == h || dc.font == h) return true;
        for (const Dc& s : saved) {
            if (s.pen == h || s.brush == h || s.font == h) return true;
        }
        return false;
    };
    for (const EmfRecord& r : records) {
        switch (r.type) {
            case U_EMR_CREATEPEN:
            case U_EMR_EXTCREATEPEN:
            case U_EMR_CREATEBRUSHINDIRECT:
            case U_EMR_EXTCREATEFONTINDIRECTW: {
                const std::uint32_t h = reinterpret_cast<const std::uint32_t*>(r.data)[2];
                EXPECT_EQ(live.count(h), 0u) << "handle " << h << " made twice";
                live[h] = r.type == U_EMR_CREATEBRUSHINDIRECT ? 'b' : r.type == U_EMR_EXTCREATEFONTINDIRECTW ? 'f' : 'p';
                ++created;
                break;
            }
            case U_EMR_SELECTOBJECT: {
                const std::uint32_t h = As<U_EMRSELECTOBJECT>(r).ihObject;
                char kind = 0;
                if (h & U_STOCK_OBJECT) {
                    kind = (h == U_NULL_PEN || h == U_BLACK_PEN || h == U_WHITE_PEN) ? 'p'
                           : (h <= U_NULL_BRUSH)                                      ? 'b'
                                                                                      : 'f';
                } else {
                    ASSERT_EQ(live.count(h), 1u) << "selects dead handle " << h;
                    kind = live[h];
                }
                (kind == 'p' ? dc.pen : kind == 'b' ? dc.brush : dc.font) = h;
                break;
            }
            case U_EMR_DELETEOBJECT: {
                const std::uint32_t h = As<U_EMRDELETEOBJECT>(r).ihObject;
                ASSERT_EQ(live.count(h), 1u) << "deletes dead handle " << h;
                EXPECT_FALSE(selected(h)) << "deletes selected handle " << h;
                live.erase(h);
                break;
            }
            case U_EMR_SAVEDC:
                saved.push_back(dc);
                break;
            case U_EMR_RESTOREDC:
                ASSERT_FALSE(saved.empty());
                dc = saved.back();
                saved.pop_back();
                for (std::uint32_t h : {dc.pen, dc.brush, dc.font}) {
                    if (!(h & U_STOCK_OBJECT)) {
                        EXPECT_EQ(live.count(h), 1u) << "restores dead handle " << h;
                    }
                }
                break;
            default:
                break;
        }
    }
    EXPECT_GT(created, 5);
    EXPECT_TRUE(live.empty()) << live.size() << " objects left";
    EXPECT_TRUE(saved.empty());
    EXPECT_EQ(CountType(records, U_EMR_SAVEDC), CountType(records, U_EMR_RESTOREDC));
    EXPECT_GE(CountType(records, U_EMR_INTERSECTCLIPRECT), 1);
}

// The point counts of the polylines in the records, in order.
std::vector<std::uint32_t> PolylineSizes(const std::vector<EmfRecord>& records) {
    std::vector<std::uint32_t> sizes;
    for (const EmfRecord& r : records) {
        if (r.type == U_EMR_POLYLINE16) sizes.push_back(As<U_EMRPOLYLINE16>(r).cpts);
        if (r.type == U_EMR_POLYPOLYLINE16) {
            const auto& pp = As<U_EMRPOLYPOLYLINE16>(r);
            for (std::uint32_t i = 0; i < pp.nPolys; ++i) sizes.push_back(pp.aPolyCounts[i]);
        }
    }
    return sizes;
}

TEST(ChartMetafile, LinesOfOneColourGoOutAsOnePolyline) {
    TChart chart;
    chart.resize(400, 300);
    chart.BottomAxis().SetVisible(false);
    chart.LeftAxis().SetVisible(false);
    chart.BottomAxis().SetAxisRange(0, 1000);
    chart.LeftAxis().SetAxisRange(-1, 1);
    TLineSeries& line = chart.AddLineSeries();
    line.LinePen().SetMode(TPenMode::Mask);
    for (int i = 0; i < 1000; ++i) {
        if (i == 250 || i == 500 || i == 750) line.AddNullPoint(QString());
        line.StorePoint(i, (i % 7) / 7.0, QString(), clBlack);
    }
    QByteArray emf = chart.PictureMetafile();  // the records point into it
    std::vector<EmfRecord> records = EmfRecords(emf);
    // Four polylines, one per piece between the breaks, in one record.
    const std::vector<std::uint32_t> sizes = PolylineSizes(records);
    ASSERT_EQ(sizes.size(), 4u);
    for (std::uint32_t n : sizes) EXPECT_GE(n, 200u);
    EXPECT_EQ(CountType(records, U_EMR_POLYLINE16) + CountType(records, U_EMR_POLYPOLYLINE16), 1);
    EXPECT_EQ(CountType(records, U_EMR_MOVETOEX), 0);
    EXPECT_EQ(CountType(records, U_EMR_LINETO), 0);
    // Mask mode before the lines.
    bool mask = false;
    for (const EmfRecord& r : records) {
        if (r.type == U_EMR_SETROP2) mask = As<U_EMRSETROP2>(r).iMode == U_R2_MASKPEN;
        if (r.type == U_EMR_POLYLINE16 || r.type == U_EMR_POLYPOLYLINE16) {
            EXPECT_TRUE(mask);
        }
    }
    // A change of colour starts a new polyline, in a record of its own.
    line.StorePoint(1000, 0, QString(), clRed);
    line.StorePoint(1001, 0, QString(), clRed);
    emf = chart.PictureMetafile();
    records = EmfRecords(emf);
    EXPECT_EQ(PolylineSizes(records).size(), 5u);
    EXPECT_EQ(CountType(records, U_EMR_POLYLINE16) + CountType(records, U_EMR_POLYPOLYLINE16), 2);
}

TEST(ChartMetafile, TextKeepsTheFaceNameAndCharacterSet) {
    TMetafileCanvas canvas(200, 100);
    TCanvasFont font;
    font.name = QStringLiteral("ＭＳ 明朝");
    font.height = 13;
    canvas.SetFont(font);
    const QString text = QStringLiteral("135ﾟ 東京");
    canvas.TextOut(10, 20, text);
    const int width = canvas.TextWidth(text);
    const QByteArray emf = canvas.Finish();  // the records point into it
    const std::vector<EmfRecord> records = EmfRecords(emf);
    int fonts = 0;
    int texts = 0;
    for (const EmfRecord& r : records) {
        if (r.type == U_EMR_EXTCREATEFONTINDIRECTW) {
            ++fonts;
            const U_LOGFONT& lf = As<U_EMREXTCREATEFONTINDIRECTW>(r).elfw.elfLogFont;
            EXPECT_EQ(lf.lfHeight, -13);
            EXPECT_EQ(lf.lfCharSet, U_SHIFTJIS_CHARSET);
            EXPECT_EQ(QString::fromUtf16(reinterpret_cast<const char16_t*>(lf.lfFaceName)), font.name);
        }
        if (r.type == U_EMR_EXTTEXTOUTW) {
            ++texts;
            const auto& t = As<U_EMREXTTEXTOUTW>(r);
            EXPECT_EQ(t.emrtext.ptlReference.x, 10);
            EXPECT_EQ(t.emrtext.ptlReference.y, 20);
            ASSERT_EQ(t.emrtext.nChars, static_cast<std::uint32_t>(text.size()));
            const auto* chars = reinterpret_cast<const char16_t*>(r.data + t.emrtext.offString);
            EXPECT_EQ(QString::fromUtf16(chars, text.size()), text);
            // After the fixed part: the rectangle (unless left out), then the
            // offset of the advances.
            const char* tail = reinterpret_cast<const char*>(&t.emrtext) + sizeof(U_EMRTEXT) +
                               ((t.emrtext.fOptions & U_ETO_NO_RECT) ? 0 : sizeof(U_RECTL));
            const std::uint32_t offDx = *reinterpret_cast<const std::uint32_t*>(tail);
            const auto* dx = reinterpret_cast<const std::uint32_t*>(r.data + offDx);
            std::uint32_t sum = 0;
            for (std::uint32_t i = 0; i < t.emrtext.nChars; ++i) sum += dx[i];
            EXPECT_EQ(sum, static_cast<std::uint32_t>(width));
        }
    }
    EXPECT_EQ(fonts, 1);
    EXPECT_EQ(texts, 1);
}

TEST(ChartMetafile, AnIndependentReaderConvertsIt) {
    if (QStandardPaths::findExecutable("emf2svg-conv").isEmpty()) GTEST_SKIP() << "emf2svg-conv not installed";
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    TChart chart;
    BuildDemoChart(chart);
    const QString emf = dir.filePath("demo.emf");
    const QString svg = dir.filePath("demo.svg");
    chart.SaveAsMetafile(emf);
    QString output;
    EXPECT_EQ(RunProgram("emf2svg-conv", {"-i", emf, "-o", svg}, &output), 0) << output.toStdString();
    QFile f(svg);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray content = f.readAll();
    EXPECT_TRUE(content.contains("<svg"));
    EXPECT_TRUE(content.contains("ＭＳ Ｐ明朝"));  // the title font
}

TEST(ChartMetafile, UnwritableFileRaisesTheFileError) {
    TChart chart;
    chart.resize(50, 50);
    const QString path = QStringLiteral("/nonexistent-dir/figure.emf");
    try {
        chart.SaveAsMetafile(path);
        FAIL() << "no error";
    } catch (const FileError& e) {
        EXPECT_EQ(QString::fromUtf8(e.what()), path + QStringLiteral(" に書き込めません（ファイルまたはフォルダーがありません）"));
    }
}

TEST(ChartClipboard, BitmapAndMetafile) {
    TChart chart;
    BuildDemoChart(chart);
    chart.CopyAsMetafile();
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    ASSERT_NE(data, nullptr);
    const QByteArray emf = chart.PictureMetafile();
    EXPECT_EQ(data->data("image/emf"), emf);
    EXPECT_EQ(data->data("image/x-emf"), emf);
    chart.CopyAsBitmap();
    const QImage image = QGuiApplication::clipboard()->image();
    EXPECT_EQ(image.convertToFormat(QImage::Format_RGB32), chart.PictureBitmap());
}


// A mark hidden by a later one at the same centre is not written: the file
// is the one of the visible marks alone. Marks drawn with a mixing pen are
// all kept, since each changes what lies below.
TEST(ChartMetafile, MarksHiddenAtTheSameCentreAreLeftOut) {
    auto picture = [](const std::vector<std::pair<double, TColor>>& at, TPenMode mode) {
        TChart chart;
        chart.resize(120, 90);
        chart.BottomAxis().SetAxisRange(0, 10);
        chart.LeftAxis().SetAxisRange(0, 10);
        TPointSeries& s = chart.AddPointSeries();
        s.SetXValuesOrder(loNone);
        s.Pointer().SetHorizSize(4);
        s.Pointer().SetVertSize(4);
        s.Pointer().Pen().SetMode(mode);
        for (const auto& [x, color] : at) s.StorePoint(x, 5, QString(), color);
        return std::make_pair(chart.PictureMetafile(), chart.PictureBitmap());
    };
    const auto repeated = picture({{3, clBlue}, {7, clRed}, {3, clLime}, {3, clRed}}, TPenMode::Copy);
    const auto visible = picture({{7, clRed}, {3, clRed}}, TPenMode::Copy);
    EXPECT_EQ(repeated.first, visible.first);
    EXPECT_EQ(repeated.second, visible.second);

    const auto mixed = picture({{3, clBlue}, {7, clRed}, {3, clLime}, {3, clRed}}, TPenMode::Mask);
    const auto mixedVisible = picture({{7, clRed}, {3, clRed}}, TPenMode::Mask);
    EXPECT_GT(EmfRecords(mixed.first).size(), EmfRecords(mixedVisible.first).size());
}

}  // namespace
}  // namespace kavum::chart::test
