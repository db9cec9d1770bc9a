// Figures at a physical size: the print options, the sizes the files
// declare, the text and lines measured in them, their structure, the
// metafile's records, and the question before a figure replaces a file.
#include "ExportTestUtil.h"

#include "export/PrintSize.h"
#include "platform/Errors.h"
#include "platform/canvas/MetafileCanvas.h"
#include "platform/canvas/PainterCanvas.h"

#include <QDir>
#include <QPainter>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>

namespace kavum::exporting::test {
namespace {

using platform::KavumError;

TEST(PrintSize, LengthsReadWithTheirUnit) {
    EXPECT_DOUBLE_EQ(*LengthInMillimetres("85mm"), 85);
    EXPECT_DOUBLE_EQ(*LengthInMillimetres("17.5 cm"), 175);
    EXPECT_DOUBLE_EQ(*LengthInMillimetres("2IN"), 50.8);
    EXPECT_DOUBLE_EQ(*LengthInMillimetres("72pt"), 25.4);
    for (const char* bad : {"85", "mm", "-3mm", "8,5cm", "1e3mm", "85 px", ""}) {
        EXPECT_FALSE(LengthInMillimetres(QString::fromUtf8(bad))) << bad;
    }
}

// The journal's columns: an 85 mm figure at 1200 dpi is 4,016 pixels wide
// and records 1200 dpi; its text is raised to 6 pt, its lines to 0.25 pt.
// At 175 mm the text keeps the design's size (6.3 pt).
TEST(PrintSize, ColumnWidthsGiveSizeTextAndLines) {
    const QSize threeView(1017, 1085);
    PrintOptions o;
    o.widthMm = 85;
    o.dpi = 1200;
    const PrintGeometry png = PrintGeometryOf(threeView, FigureFormat::Png, o);
    EXPECT_EQ(ScaledSize(threeView, png.scale).width(), 4016);
    EXPECT_EQ(*png.dpi, 1200);
    EXPECT_NEAR(png.sizeMm.width(), 85, 1e-9);
    EXPECT_DOUBLE_EQ(png.fontPt, 6);
    EXPECT_NEAR(png.textScale, 6 / (13 * 85 / 25.4 * 72 / 1017), 1e-9);
    EXPECT_NEAR(png.minLineWidth * (85 / 25.4 * 72 / 1017), 0.25, 1e-9);

    const PrintGeometry svg = PrintGeometryOf(threeView, FigureFormat::Svg, o);
    EXPECT_NEAR(1017 * svg.scale, 85 / 25.4 * 96, 1e-9);
    EXPECT_FALSE(svg.dpi);

    o.widthMm = 175;
    const PrintGeometry wide = PrintGeometryOf(threeView, FigureFormat::Pdf, o);
    EXPECT_NEAR(wide.fontPt, 13 * 175 / 25.4 * 72 / 1017, 1e-9);
    EXPECT_GT(wide.fontPt, 6.3);
    EXPECT_DOUBLE_EQ(wide.textScale, 1);

    // A height, and both: the figure fits within both.
    PrintOptions tall;
    tall.heightMm = 100;
    tall.widthMm = 200;
    EXPECT_NEAR(PrintGeometryOf(threeView, FigureFormat::Svg, tall).sizeMm.height(), 100, 1e-9);
    // A text size asked for is kept, also below 6 pt.
    tall.fontPt = 5;
    EXPECT_DOUBLE_EQ(PrintGeometryOf(threeView, FigureFormat::Svg, tall).fontPt, 5);

    // No options: the figure as it always was.
    const PrintGeometry plain = PrintGeometryOf(threeView, FigureFormat::Png, PrintOptions{});
    EXPECT_EQ(plain.scale, 1.0);
    EXPECT_EQ(plain.textScale, 1.0);
    EXPECT_FALSE(plain.dpi);
}

TEST(PrintSize, ValuesOutOfRangeAndMismatchesAreRefused) {
    const QSize size(1017, 1085);
    auto refused = [&](PrintOptions o, FigureFormat f = FigureFormat::Png) {
        EXPECT_THROW(PrintGeometryOf(size, f, o), KavumError);
    };
    PrintOptions o;
    o.dpi = 2401;
    refused(o);
    o.dpi = 1200;  // without a size: scale 12.5, fine
    EXPECT_NO_THROW(PrintGeometryOf(size, FigureFormat::Png, o));
    o.scale = 2;
    refused(o);
    o = {};
    o.widthMm = 5;
    refused(o);
    o.widthMm = 85;
    o.scale = 2;
    refused(o);
    o = {};
    o.widthMm = 85;
    refused(o, FigureFormat::Emf);
    o = {};
    o.fontPt = 100;
    refused(o);
}

double Attribute(const QString& svg, const QString& name) {
    const QRegularExpression re(QStringLiteral("<svg[^>]* %1=\"([0-9.]+)").arg(name));
    return re.match(svg).captured(1).toDouble();
}

// In the files: the declared size, text of at least 6 pt and lines of at
// least 0.25 pt measured in them, and their groups.
TEST(PrintSize, FilesMeasureAsAsked) {
    // The window's figure, overlays included, as kavum-render makes it.
    QTemporaryDir dir;
    const QString exe = QStringLiteral(KAVUM_BINARY_DIR "/kavum-render");
    const QString settings = BundledSettings(dir.path());
    ASSERT_EQ(RunProgram(exe, {"--settings", settings, "--layout", "3", "--width", "85mm", dir.filePath("f.svg")}), 0);
    // Without --force a data file is not replaced by a figure.
    QFile data(dir.filePath("survey.grd"));
    ASSERT_TRUE(data.open(QIODevice::WriteOnly));
    data.write("ABC\r\n53394611\r\n");
    data.close();
    QFile::copy(dir.filePath("survey.grd"), dir.filePath("survey.svg"));
    EXPECT_EQ(RunProgram(exe, {"--settings", settings, "--layout", "3", dir.filePath("survey.svg")}), 1);
    EXPECT_EQ(ReadFile(dir.filePath("survey.svg")), QByteArray("ABC\r\n53394611\r\n"));
    EXPECT_EQ(RunProgram(exe, {"--settings", settings, "--layout", "3", "--force", dir.filePath("survey.svg")}), 0);

    const QString svg = QString::fromUtf8(ReadFile(dir.filePath("f.svg")));
    EXPECT_TRUE(svg.contains(QStringLiteral("width=\"85mm\""))) << svg.left(400).toStdString();
    const QRegularExpression viewBox(QStringLiteral("viewBox=\"0 0 ([0-9]+) ([0-9]+)\""));
    const double units = viewBox.match(svg).captured(1).toDouble();
    ASSERT_GT(units, 0);
    const double ptPerUnit = 85 / 25.4 * 72 / units;
    double smallestFont = 1e9, thinnestLine = 1e9;
    for (auto it = QRegularExpression(QStringLiteral("font-size=\"([0-9.]+)px\"")).globalMatch(svg); it.hasNext();)
        smallestFont = std::min(smallestFont, it.next().captured(1).toDouble() * ptPerUnit);
    for (auto it = QRegularExpression(QStringLiteral("stroke-width=\"([0-9.]+)\"")).globalMatch(svg); it.hasNext();)
        thinnestLine = std::min(thinnestLine, it.next().captured(1).toDouble() * ptPerUnit);
    EXPECT_GE(smallestFont, 6 - 1e-6);
    EXPECT_LT(smallestFont, 6.3);
    EXPECT_GE(thinnestLine, 0.25 - 1e-6);
    // No stroke without a width of its own (one unit would be far below
    // 0.25 pt).
    EXPECT_FALSE(QRegularExpression(QStringLiteral("stroke=\"#[0-9a-f]+\" stroke-linecap=\"butt\"")).match(svg).hasMatch());
    // No empty group; the degree labels in a group of their own.
    EXPECT_FALSE(QRegularExpression(QStringLiteral("<g[^>]*>\\s*</g>")).match(svg).hasMatch());
    EXPECT_TRUE(svg.contains(QStringLiteral("id=\"Chart1Labels\" inkscape:label=\"Labels\"")));

    Charts c;
    PrintOptions o;
    o.widthMm = 85;
    Figure page = *SavedFigure(c.All(), 3, 1.2, 50, 40);
    ApplyPrintOptions(page, FigureFormat::Pdf, o);
    const QByteArray pdf = FigurePdf(page, c.Legend());
    const QRegularExpression mediaBox(QStringLiteral("/MediaBox \\[0 0 ([0-9.]+) ([0-9.]+)\\]"));
    EXPECT_NEAR(mediaBox.match(QString::fromLatin1(pdf)).captured(1).toDouble(), 85 / 25.4 * 72, 0.01);

    Figure bitmap = *SavedFigure(c.All(), 3, 1.2, 50, 40);
    o.dpi = 300;
    ApplyPrintOptions(bitmap, FigureFormat::Png, o);
    const QImage image = FigureBitmap(bitmap, c.Legend());
    EXPECT_EQ(image.width(), qRound(85 / 25.4 * 300));
    EXPECT_EQ(image.dotsPerMeterX(), qRound(300 / 0.0254));
}

// The content streams of a PDF, inflated one after another.
QByteArray InflatedStreams(const QByteArray& pdf) {
    QByteArray out;
    for (qsizetype at = pdf.indexOf("stream\n"); at >= 0; at = pdf.indexOf("stream\n", at + 1)) {
        if (at >= 3 && pdf.mid(at - 3, 3) == "end") continue;
        if (!Inflate(pdf.constData() + at + 7, pdf.size() - at - 7, out)) break;
        out += '\n';
    }
    return out;
}

// The smallest text and the thinnest line of the window's figure for
// print, in points, measured in each of its files at one and two columns.
TEST(PrintSize, TextAndLinesMeasureInEveryFormat) {
    QTemporaryDir dir;
    const QString exe = QStringLiteral(KAVUM_BINARY_DIR "/kavum-render");
    const QString settings = BundledSettings(dir.path());
    for (const int mm : {85, 175}) {
        SCOPED_TRACE(mm);
        const QString width = QString::number(mm) + QStringLiteral("mm");
        const double pagePt = mm / 25.4 * 72;
        auto render = [&](const QString& name, QStringList more = {}) {
            const QString file = dir.filePath(name);
            EXPECT_EQ(RunProgram(exe, QStringList{"--settings", settings, "--layout", "3", "--width", width} + more +
                                          QStringList{file}),
                      0);
            return ReadFile(file);
        };

        const QString svg = QString::fromUtf8(render(QStringLiteral("f.svg")));
        EXPECT_TRUE(svg.contains(QStringLiteral("width=\"%1mm\"").arg(mm)));
        const double units = QRegularExpression(QStringLiteral("viewBox=\"0 0 ([0-9.]+) ")).match(svg).captured(1).toDouble();
        ASSERT_GT(units, 0);
        double font = 1e9, line = 1e9;
        for (auto it = QRegularExpression(QStringLiteral("font-size=\"([0-9.]+)px\"")).globalMatch(svg); it.hasNext();)
            font = std::min(font, it.next().captured(1).toDouble() * pagePt / units);
        for (auto it = QRegularExpression(QStringLiteral("stroke-width=\"([0-9.]+)\"")).globalMatch(svg); it.hasNext();)
            line = std::min(line, it.next().captured(1).toDouble() * pagePt / units);
        // A stroke without a width is one unit wide.
        if (QRegularExpression(QStringLiteral("stroke=\"#[0-9a-f]+\" stroke-linecap")).match(svg).hasMatch())
            line = std::min(line, pagePt / units);
        EXPECT_GE(font, 6 - 1e-6);
        EXPECT_GE(line, 0.25 - 1e-6);
        // The enlarged text of the elevation scale: the unit stands above
        // the highest number, not over it.
        double unit = -1, highest = 1e9, unitSize = 0;
        for (auto it = QRegularExpression(QStringLiteral("<text [^>]* y=\"([0-9.]+)\"[^>]* font-size=\"([0-9.]+)px\"[^>]*>"
                                                         "(   m|[0-9]+000)</text>"))
                           .globalMatch(svg);
             it.hasNext();) {
            const QRegularExpressionMatch m = it.next();
            if (m.captured(3) == QStringLiteral("   m")) {
                unit = m.captured(1).toDouble();
                unitSize = m.captured(2).toDouble();
            } else {
                highest = std::min(highest, m.captured(1).toDouble());
            }
        }
        ASSERT_GE(unit, 0);
        EXPECT_GE(highest - unit, unitSize * 0.95);

        const QByteArray pdf = render(QStringLiteral("f.pdf"));
        const QRegularExpression mediaBox(QStringLiteral("/MediaBox \\[0 0 ([0-9.]+) ([0-9.]+)\\]"));
        EXPECT_NEAR(mediaBox.match(QString::fromLatin1(pdf)).captured(1).toDouble(), pagePt, 0.01);
        // The page's content: its units in points from the first matrix,
        // then the sizes of its fonts and the widths of its lines.
        const QString content = QString::fromLatin1(InflatedStreams(pdf));
        const QRegularExpressionMatch matrix =
            QRegularExpression(QStringLiteral("([0-9.]+) 0 0 -([0-9.]+) 0 [0-9.]+ cm")).match(content);
        ASSERT_TRUE(matrix.hasMatch());
        const double ptPerUnit = matrix.captured(1).toDouble();
        font = line = 1e9;
        int fonts = 0, lines = 0;
        for (auto it = QRegularExpression(QStringLiteral("/F[0-9]+ ([0-9.]+) Tf")).globalMatch(content); it.hasNext(); ++fonts)
            font = std::min(font, it.next().captured(1).toDouble() * ptPerUnit);
        for (auto it = QRegularExpression(QStringLiteral("(?:^|\\n)([0-9.]+) w ")).globalMatch(content); it.hasNext(); ++lines)
            line = std::min(line, it.next().captured(1).toDouble() * ptPerUnit);
        EXPECT_GT(fonts, 0);
        EXPECT_GT(lines, 0);
        EXPECT_GE(font, 6 - 1e-6);
        EXPECT_GE(line, 0.25 - 1e-6);

        // The bitmap at 600 dpi: its resolution and width, the rows of its
        // thinnest long lines across, and the ink of the legend's first
        // name where the SVG has it (a 6-point character is 50 pixels
        // high, its ink a little less).
        const QImage image = QImage::fromData(render(QStringLiteral("f.png"), {"--dpi", "600"}));
        ASSERT_FALSE(image.isNull());
        EXPECT_EQ(image.dotsPerMeterX(), qRound(600 / 0.0254));
        EXPECT_EQ(image.width(), qRound(pagePt / 72 * 600));
        const double pxPerPt = 600.0 / 72.0;
        int thinnest = 1 << 30, run = 0;
        for (int y = 0; y < image.height(); ++y) {
            const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
            int longest = 0, length = 0;
            for (int x = 0; x < image.width(); ++x) {
                length = qRed(row[x]) + qGreen(row[x]) + qBlue(row[x]) < 120 ? length + 1 : 0;
                longest = std::max(longest, length);
            }
            if (longest >= 400) {
                ++run;
            } else if (run > 0) {
                thinnest = std::min(thinnest, run);
                run = 0;
            }
        }
        ASSERT_LT(thinnest, 1 << 30);
        EXPECT_GE(thinnest, std::floor(0.25 * pxPerPt));
        const QRegularExpressionMatch name =
            QRegularExpression(QStringLiteral("<g id=\"Legend\">[^t]*(?:t[^e][^t]*)*<text xml:space=\"preserve\" x=\"([0-9.]+)[^\"]*\" "
                                              "y=\"([0-9.]+)\"[^>]* font-size=\"([0-9.]+)px\""))
                .match(svg);
        ASSERT_TRUE(name.hasMatch());
        const double k = image.width() / units;  // bitmap pixels per unit
        const double x0 = name.captured(1).toDouble(), base = name.captured(2).toDouble(), size = name.captured(3).toDouble();
        int top = 1 << 30, bottom = -1;
        for (int y = qRound((base - size) * k); y <= qRound((base + size / 4) * k) && y < image.height(); ++y) {
            for (int x = qRound(x0 * k); x < qRound((x0 + 2 * size) * k) && x < image.width(); ++x) {
                const QRgb p = image.pixel(x, y);
                if (qRed(p) < 60 && qGreen(p) < 60 && qBlue(p) > 90 && qBlue(p) < 180) {
                    top = std::min(top, y);
                    bottom = std::max(bottom, y);
                }
            }
        }
        ASSERT_GE(bottom, 0) << "no legend text";
        EXPECT_GE(bottom - top + 1, 0.7 * 6 * pxPerPt);
    }
}

// A group per category bears its name; the degree labels have their own.
TEST(PrintSize, GroupsAreNamedAndNeverEmpty) {
    Charts c;
    c.map.OnGetSeriesLabel = [&](chart::TChart&, chart::TChartSeries& s) {
        return &s == &c.map.Series(c.map.SeriesCount() - 1) ? QStringLiteral("ブナ") : QString();
    };
    const Figure figure = *SavedFigure(c.All(), 3, 1.2, 50, 40);
    const QString svg = QString::fromUtf8(FigureSvg(figure, c.Legend()));
    EXPECT_TRUE(svg.contains(QStringLiteral("inkscape:label=\"ブナ\""))) << svg.left(2000).toStdString();
    EXPECT_TRUE(svg.contains(QStringLiteral("<title>ブナ</title>")));
    EXPECT_FALSE(QRegularExpression(QStringLiteral("<g[^>]*>\\s*</g>")).match(svg).hasMatch());
    const QByteArray pdf = FigurePdf(figure, c.Legend());
    EXPECT_EQ(pdf.count("BDC"), pdf.count("EMC"));
}

// Metafile records of at most 60,000 parts, and no point twice in a row.
TEST(PrintSize, MetafileRecordsStayReadable) {
    platform::TMetafileCanvas canvas(800, 400);
    // A dotted grid of many dashes: one area each.
    canvas.SetPen(platform::TCanvasPen{platform::clBlack, 1, platform::TPenStyle::Alternate});
    for (int y = 0; y < 400; y += 2) canvas.Line(0, y, 800, y);
    canvas.SetPen(platform::TCanvasPen{platform::clBlue, 2});
    const QPoint coast[] = {QPoint(10, 10), QPoint(10, 10), QPoint(20, 15), QPoint(20, 15), QPoint(20, 15), QPoint(40, 30)};
    canvas.Polyline(coast, 6);
    const std::vector<Record> records = Records(canvas.Finish());
    ASSERT_FALSE(records.empty());
    std::size_t parts = 0;
    bool sawLine = false;
    for (const Record& r : records) {
        if (r.type == 91 || r.type == 90 || r.type == 7 || r.type == 8) {  // POLYPOLYGON16, POLYPOLYLINE16, 32-bit forms
            EXPECT_LE(r.U32(24), 60000u);
            parts += r.U32(24);
        }
        if (r.type == 87) {  // POLYLINE16
            sawLine = true;
            const std::uint32_t n = r.U32(24);
            EXPECT_EQ(n, 3u);
            for (std::uint32_t i = 1; i < n; ++i) {
                EXPECT_FALSE(r.I16(28 + 4 * i) == r.I16(24 + 4 * i) && r.I16(30 + 4 * i) == r.I16(26 + 4 * i));
            }
        }
    }
    EXPECT_GE(parts, 200u * 400u);
    EXPECT_TRUE(sawLine);
}

// A mesh grid of small dots too dense for one record, framed.
void DrawDottedGrid(platform::TCanvas& c, int width, int height) {
    c.SetBrush(platform::TCanvasBrush{platform::clWhite, platform::TBrushStyle::Solid});
    c.FillRect(platform::TRect{0, 0, width, height});
    c.SetPen(platform::TCanvasPen{platform::clBlack, 1});
    c.SetBrushStyle(platform::TBrushStyle::Clear);
    c.Rectangle(platform::TRect{0, 0, width, height});
    c.SetPen(platform::TCanvasPen{platform::clBlue, 1, platform::TPenStyle::Alternate});
    for (int y = 3; y < height - 2; y += 3) c.Line(2, y, width - 2, y);
    for (int x = 3; x < width - 2; x += 3) c.Line(x, 2, x, height - 2);
}

// LibreOffice plays back the whole dotted grid of a metafile: every dot of
// the bitmap is there (one record of more than 60,000 parts made it drop
// most of them).
TEST(PrintSize, LibreOfficeShowsTheWholeDottedGrid) {
    if (!HaveProgram("soffice")) GTEST_SKIP() << "LibreOffice is not installed";
    // Small enough to stand on the page at its size.
    constexpr int W = 600, H = 400;
    QImage bitmap(W, H, QImage::Format_RGB32);
    {
        platform::TPainterCanvas c(bitmap);
        DrawDottedGrid(c, W, H);
    }
    platform::TMetafileCanvas m(W, H);
    DrawDottedGrid(m, W, H);
    const QByteArray emf = m.Finish();
    std::size_t parts = 0, records = 0;
    for (const Record& r : Records(emf)) {
        if (r.type == 91 || r.type == 8) {  // POLYPOLYGON16, POLYPOLYGON
            parts += r.U32(24);
            ++records;
        }
    }
    ASSERT_GT(parts, 60000u);
    EXPECT_GE(records, 2u);

    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("grid.emf"));
    platform::WriteMetafileFile(emf, file);
    // A profile of its own, so that a LibreOffice the user has open does
    // not take the conversion; kept in the build tree, where the next run
    // starts quicker.
    const QString profile = QUrl::fromLocalFile(QStringLiteral(KAVUM_BINARY_DIR "/libreoffice-profile")).toString();
    ASSERT_EQ(RunProgram(QStringLiteral("soffice"),
                         {QStringLiteral("-env:UserInstallation=") + profile, QStringLiteral("--headless"),
                          QStringLiteral("--convert-to"), QStringLiteral("png"), QStringLiteral("--outdir"), dir.path(),
                          file}),
              0);
    const QImage converted(dir.filePath(QStringLiteral("grid.png")));
    ASSERT_FALSE(converted.isNull());
    QImage shown(converted.size(), QImage::Format_RGB32);
    shown.fill(Qt::white);
    {
        QPainter p(&shown);
        p.drawImage(0, 0, converted);
    }
    // The picture stands on the page where its frame is.
    auto dark = [](QRgb c) { return qRed(c) + qGreen(c) + qBlue(c) < 600; };
    int left = shown.width(), top = shown.height(), right = -1, bottom = -1;
    for (int y = 0; y < shown.height(); ++y) {
        for (int x = 0; x < shown.width(); ++x) {
            if (!dark(shown.pixel(x, y))) continue;
            left = std::min(left, x);
            right = std::max(right, x);
            top = std::min(top, y);
            bottom = std::max(bottom, y);
        }
    }
    ASSERT_GE(right, 0) << "nothing shown";
    // At its size, to a pixel (the reader may take the frame's last row
    // and column as one more).
    EXPECT_NEAR(right - left + 1, W, 2);
    EXPECT_NEAR(bottom - top + 1, H, 2);
    // The reader smooths the dots over their neighbours: the ink of the
    // grid, cell by cell, is the bitmap's, and no cell of the grid is left
    // out.
    auto ink = [](const QImage& image, int x0, int y0, int size) {
        long long sum = 0;
        for (int y = y0; y < y0 + size; ++y) {
            for (int x = x0; x < x0 + size; ++x) {
                const QRgb c = image.pixel(x, y);
                sum += 765 - qRed(c) - qGreen(c) - qBlue(c);
            }
        }
        return static_cast<double>(sum);
    };
    constexpr int Cell = 24;
    double lowest = 1e9, highest = 0, bitmapInk = 0, shownInk = 0;
    for (int y = 8; y + Cell <= H - 8; y += Cell) {
        for (int x = 8; x + Cell <= W - 8; x += Cell) {
            const double want = ink(bitmap, x, y, Cell);
            const double got = ink(shown, left + x, top + y, Cell);
            ASSERT_GT(want, 0);
            lowest = std::min(lowest, got / want);
            highest = std::max(highest, got / want);
            bitmapInk += want;
            shownInk += got;
        }
    }
    EXPECT_GT(lowest, 0.75) << "part of the grid is missing";
    EXPECT_LT(highest, 1.33);
    EXPECT_NEAR(shownInk / bitmapInk, 1.0, 0.1);
}

TEST(PrintSize, ReplacingAFileThatIsNoFigureAsksMore) {
    QTemporaryDir dir;
    const QString data = dir.filePath(QStringLiteral("survey.grd"));
    QFile f(data);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("\x83\x75\x83\x69\r\n53394611.12\r\n");
    f.close();
    const ExistingFile e = ExistingFigureFile(data, FigureFormat::Emf);
    EXPECT_TRUE(e.exists);
    EXPECT_FALSE(e.sameFormat);
    EXPECT_EQ(e.kind, QStringLiteral("分布データファイル"));
    EXPECT_TRUE(ReplaceFigureQuestion(data, e).contains(QStringLiteral("EMF の図ではなく、分布データファイルのようです")));

    Charts c;
    const QString png = dir.filePath(QStringLiteral("f.png"));
    SaveFigure(FigureFormat::Png, *SavedFigure(c.All(), 2, 1.2, 50, 40), png);
    EXPECT_TRUE(ExistingFigureFile(png, FigureFormat::Png).sameFormat);
    // A PNG named .svg is no SVG figure.
    EXPECT_FALSE(ExistingFigureFile(png, FigureFormat::Svg).sameFormat);
    EXPECT_EQ(ReplaceFigureQuestion(png, ExistingFigureFile(png, FigureFormat::Png)),
              QStringLiteral("f.png は既に存在します。\n置き換えますか?"));
    EXPECT_FALSE(ExistingFigureFile(dir.filePath(QStringLiteral("none.emf")), FigureFormat::Emf).exists);
}

}  // namespace
}  // namespace kavum::exporting::test
