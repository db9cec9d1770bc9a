// The PDF figure read back: its page content inflated and walked operator by
// operator, its text as a reader extracts it, its paths without segments of
// length zero, the blend mode only where a mask line falls on something
// drawn, and the pixels a reader shows.
#include "ExportTestUtil.h"

#include "platform/canvas/PainterCanvas.h"
#include "platform/canvas/PdfCanvas.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <zlib.h>

#include <fstream>
#include <map>

namespace kavum::exporting::test {
namespace {

using namespace platform;

// The page's content stream (object 4), inflated.
QByteArray PageContent(const QByteArray& pdf) {
    const qsizetype obj = pdf.indexOf("\n4 0 obj\n");
    if (obj < 0) return {};
    const QRegularExpression length(QStringLiteral("/Length (\\d+) >>\nstream\n"));
    const QRegularExpressionMatch m = length.match(QString::fromLatin1(pdf.mid(obj, 200)));
    if (!m.hasMatch()) return {};
    const QByteArray packed = pdf.mid(obj + m.capturedEnd(), m.captured(1).toLongLong());
    QByteArray out;
    return Inflate(packed.constData(), packed.size(), out) == Z_STREAM_END ? out : QByteArray();
}

// What a walk over the content's path operators found.
struct PathStats {
    int subpaths = 0;
    int segments = 0;
    int zeroLength = 0;  // segments (closing ones included) that go nowhere
    int lonePoints = 0;  // subpaths without a segment
    int textObjects = 0;
    int textRuns = 0;    // TJ and Tj inside them
    int runsOutside = 0;
};

PathStats Walk(const QByteArray& content) {
    PathStats s;
    std::vector<double> nums;
    double cx = 0, cy = 0, sx = 0, sy = 0;
    bool open = false;
    int segmentsOfSub = 0;
    bool inText = false;
    bool lastCurve = false;
    int runsOfObject = 0;
    auto endSub = [&] {
        if (open && segmentsOfSub == 0) ++s.lonePoints;
        open = false;
    };
    // Tokens split on white space; the text of a TJ array is skipped whole.
    const QList<QByteArray> lines = content.split('\n');
    for (const QByteArray& line : lines) {
        QByteArray rest = line;
        const qsizetype bracket = rest.indexOf('[');
        if (inText && bracket >= 0) {
            // "... [<0012>-3<0013>] TJ ET": keep what stands before and after.
            const qsizetype close = rest.lastIndexOf(']');
            rest = rest.left(bracket) + ' ' + rest.mid(close + 1);
        }
        for (const QByteArray& token : rest.simplified().split(' ')) {
            if (token.isEmpty()) continue;
            bool number = false;
            const double v = token.toDouble(&number);
            if (number) {
                nums.push_back(v);
                continue;
            }
            if (token == "m") {
                endSub();
                ++s.subpaths;
                open = true;
                segmentsOfSub = 0;
                cx = sx = nums.at(nums.size() - 2);
                cy = sy = nums.back();
            } else if (token == "l" || token == "c") {
                const double x = nums.at(nums.size() - 2), y = nums.back();
                ++s.segments;
                ++segmentsOfSub;
                bool still = x == cx && y == cy;
                if (token == "c") {
                    for (std::size_t k = nums.size() - 6; k < nums.size(); k += 2) still = still && nums[k] == cx && nums[k + 1] == cy;
                }
                if (still) ++s.zeroLength;
                cx = x;
                cy = y;
            } else if (token == "h") {
                // A curve that has come back closes on itself; a line that
                // has would leave the closing segment nothing to do.
                if (cx == sx && cy == sy && !lastCurve) ++s.zeroLength;
                ++s.segments;
                ++segmentsOfSub;
                cx = sx;
                cy = sy;
            } else if (token == "re") {
                endSub();
                ++s.subpaths;
                ++s.segments;
                if (nums.at(nums.size() - 2) == 0 && nums.back() == 0) ++s.zeroLength;
            } else if (token == "S" || token == "f" || token == "f*" || token == "B" || token == "B*" || token == "n") {
                endSub();
            } else if (token == "BT") {
                inText = true;
                runsOfObject = 0;
                ++s.textObjects;
            } else if (token == "ET") {
                inText = false;
                s.textRuns += runsOfObject;
            } else if (token == "TJ" || token == "Tj") {
                if (inText) {
                    ++runsOfObject;
                } else {
                    ++s.runsOutside;
                }
            }
            if (token == "c" || token == "l" || token == "m") lastCurve = token == "c";
            nums.clear();
        }
    }
    endSub();
    return s;
}

bool WriteFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// Blocks of 8 x 8 pixels whose mean colours differ by more than the
// tolerance in a channel: a mark out of place changes its block, a reader's
// smoothing of edges and mitred corners does not.
int BlockDifferences(const QImage& a, const QImage& b, int tolerance = 48) {
    constexpr int B = 8;
    int n = 0;
    for (int by = 0; by + B <= a.height(); by += B) {
        for (int bx = 0; bx + B <= a.width(); bx += B) {
            int sum[2][3] = {};
            for (int y = by; y < by + B; ++y) {
                for (int x = bx; x < bx + B; ++x) {
                    const QRgb p[2] = {a.pixel(x, y), b.pixel(x, y)};
                    for (int i = 0; i < 2; ++i) {
                        sum[i][0] += qRed(p[i]);
                        sum[i][1] += qGreen(p[i]);
                        sum[i][2] += qBlue(p[i]);
                    }
                }
            }
            for (int k = 0; k < 3; ++k) {
                if (std::abs(sum[0][k] - sum[1][k]) > tolerance * B * B) {
                    ++n;
                    break;
                }
            }
        }
    }
    return n;
}

// The page as poppler shows it at the picture's own resolution.
QImage Shown(const QByteArray& pdf, const QString& dir) {
    const QString file = dir + QStringLiteral("/shown.pdf");
    if (!WriteFile(file, pdf)) return {};
    if (RunProgram("pdftoppm", {"-r", "96", "-png", "-singlefile", file, dir + QStringLiteral("/shown")}) != 0) return {};
    return QImage(dir + QStringLiteral("/shown.png")).convertToFormat(QImage::Format_RGB32);
}

// The three views of the bundled map and sample data, as kavum-render
// writes them: every label one text object of one run, read back by a
// reader whole and once; paths without segments of length zero; no blend
// mode (the sample's mask lines are black); the groups as layers; a
// document without faults.
TEST(PdfFigure, ThreeViewsOfTheBundledMapReadBackClean) {
    QTemporaryDir dir;
    const QString exe = QStringLiteral(KAVUM_BINARY_DIR "/kavum-render");
    const QString settings = BundledSettings(dir.path());
    for (const char* name : {"f.pdf", "f.svg"}) {
        ASSERT_EQ(RunProgram(exe, {"--settings", settings, "--layout", "3", dir.filePath(name)}), 0) << name;
    }
    const QByteArray pdf = ReadFile(dir.filePath("f.pdf"));
    const QByteArray content = PageContent(pdf);
    ASSERT_FALSE(content.isEmpty());

    // The labels, as the SVG of the same figure has them.
    const QString svg = QString::fromUtf8(ReadFile(dir.filePath("f.svg")));
    QStringList labels;
    const QRegularExpression text(QStringLiteral("<text[^>]*>([^<]*)</text>"));
    for (auto it = text.globalMatch(svg); it.hasNext();) labels << it.next().captured(1);
    ASSERT_GT(labels.size(), 30);
    EXPECT_TRUE(labels.contains(QStringLiteral("標高2500m以上")));

    const PathStats s = Walk(content);
    EXPECT_EQ(s.textObjects, labels.size());
    EXPECT_EQ(s.textRuns, labels.size());
    EXPECT_EQ(s.runsOutside, 0);
    EXPECT_GT(s.subpaths, 1000);
    EXPECT_EQ(s.zeroLength, 0);
    EXPECT_EQ(s.lonePoints, 0);
    EXPECT_FALSE(pdf.contains("/BM"));
    EXPECT_FALSE(content.contains(" gs"));

    // The groups a user selects together are layers of the page, named as
    // the SVG's groups, each drawing between its own marks.
    EXPECT_TRUE(pdf.startsWith("%PDF-1.5"));
    EXPECT_TRUE(pdf.contains("/OCProperties"));
    // A category's series bears its name, as the legend shows it.
    for (const QString& name : {QStringLiteral("Chart1"), QStringLiteral("Chart2"), QStringLiteral("Chart3"),
                                QStringLiteral("SeriesH0"), QStringLiteral("標高2500m以上"), QStringLiteral("Legend"),
                                QStringLiteral("Labels")}) {
        QByteArray hex = "<FEFF";
        for (const QChar c : name) hex += QByteArray::number(0x10000 + c.unicode(), 16).mid(1).toUpper();
        EXPECT_TRUE(pdf.contains("/Type /OCG /Name " + hex + '>')) << name.toStdString();
    }
    for (const char* id : {"Chart1", "Chart2", "Chart3", "SeriesH0", "SeriesH1", "Legend", "Chart1Labels"}) {
        EXPECT_TRUE(svg.contains(QStringLiteral("id=\"%1\"").arg(QLatin1String(id)))) << id;
    }
    EXPECT_EQ(content.count("BDC\n"), content.count("EMC\n"));
    EXPECT_GT(content.count("BDC\n"), 20);

    if (HaveProgram("pdftotext")) {
        // Word by word, the page's text is the labels' text: no label split
        // into letters, none missing, none twice.
        QByteArray out;
        ASSERT_EQ(RunProgram("pdftotext", {"-raw", dir.filePath("f.pdf"), "-"}, &out), 0);
        std::map<QString, int> read, drawn;
        for (const QString& w : QString::fromUtf8(out).split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts))
            ++read[w];
        for (const QString& label : labels) {
            for (const QString& w : label.split(QLatin1Char(' '), Qt::SkipEmptyParts)) ++drawn[w];
        }
        EXPECT_EQ(read, drawn);
    }
    if (HaveProgram("qpdf")) {
        QByteArray out;
        EXPECT_EQ(RunProgram("qpdf", {"--check", dir.filePath("f.pdf")}, &out), 0) << out.constData();
        EXPECT_TRUE(out.contains("No syntax or stream encoding errors")) << out.constData();
    }
    if (HaveProgram("pdftoppm")) {
        // The same picture as the bitmap, up to the reader's smoothing of
        // edges.
        ASSERT_EQ(RunProgram(exe, {"--settings", settings, "--layout", "3", dir.filePath("f.png")}), 0);
        const QImage bitmap = QImage(dir.filePath("f.png")).convertToFormat(QImage::Format_RGB32);
        const QImage shown = Shown(pdf, dir.path());
        ASSERT_EQ(shown.size(), bitmap.size());
        // The page keeps the fractions of its lengths (the bitmap's pixels
        // are whole): the outlines of the marks differ by their width at
        // most, in well under one block in a hundred.
        EXPECT_LT(BlockDifferences(bitmap, shown), (bitmap.width() / 8) * (bitmap.height() / 8) / 100);
    }
}

// Marks drawn many times over: each shape written from its own place, the
// same shape the same text wherever it stands, so that the page compresses
// to little more than the places; drawn as the bitmap draws them.
TEST(PdfFigure, ManyMarksStaySmallAndInPlace) {
    const int w = 400, h = 300;
    auto draw = [&](TCanvas& c) {
        c.SetBrush(TCanvasBrush{clWhite, TBrushStyle::Solid});
        c.FillRect(TRect{0, 0, w, h});
        c.SetPen(TCanvasPen{clBlack, 1, TPenStyle::Solid, TPenMode::Copy});
        unsigned seed = 7;
        auto next = [&](int n) {
            seed = seed * 1103515245u + 12345u;
            return static_cast<int>((seed >> 8) % static_cast<unsigned>(n));
        };
        for (int i = 0; i < 3000; ++i) {
            const int x = 10 + next(w - 20), y = 10 + next(h - 20);
            switch (i % 4) {
                case 0:
                    c.SetBrush(TCanvasBrush{clBlue, TBrushStyle::Solid});
                    c.Rectangle(TRect{x - 3, y - 3, x + 4, y + 4});
                    break;
                case 1:
                    c.SetBrush(TCanvasBrush{clAqua, TBrushStyle::Solid});
                    c.Ellipse(TRect{x - 3, y - 3, x + 4, y + 4});
                    break;
                case 2: {
                    c.SetBrush(TCanvasBrush{clGreen, TBrushStyle::Solid});
                    const QPoint tri[3] = {QPoint(x - 3, y + 3), QPoint(x + 3, y + 3), QPoint(x, y - 3)};
                    c.Polygon(tri, 3);
                    break;
                }
                default:
                    c.SetPen(TCanvasPen{clRed, 1, TPenStyle::Solid, TPenMode::Copy});
                    c.Line(x, y - 3, x, y + 4);
                    c.Line(x - 3, y, x + 4, y);
                    c.SetPen(TCanvasPen{clBlack, 1, TPenStyle::Solid, TPenMode::Copy});
            }
        }
    };
    TPdfCanvas pdf(w, h);
    draw(pdf);
    const QByteArray document = pdf.Finish();
    const QByteArray content = PageContent(document);
    ASSERT_FALSE(content.isEmpty());
    const PathStats s = Walk(content);
    EXPECT_EQ(s.zeroLength, 0);
    EXPECT_EQ(s.lonePoints, 0);
    // Some ten bytes a mark at most, fonts and all.
    EXPECT_LT(document.size(), 3000 * 10);
    // The shapes' own figures repeat: a circle is one text wherever it is.
    EXPECT_GT(content.count("0 0 m\n0 1.66 -1.34 3 -3 3 c"), 600);

    if (!HaveProgram("pdftoppm")) GTEST_SKIP() << "pdftoppm is not installed";
    QImage bitmap(w, h, QImage::Format_RGB32);
    bitmap.fill(Qt::white);
    {
        TPainterCanvas c(bitmap);
        draw(c);
    }
    QTemporaryDir dir;
    const QImage shown = Shown(document, dir.path());
    ASSERT_EQ(shown.size(), bitmap.size());
    if (qEnvironmentVariableIsSet("KAVUM_TEST_DUMP")) {
        bitmap.save("/tmp/marks-bitmap.png");
        shown.save("/tmp/marks-pdf.png");
    }
    EXPECT_EQ(BlockDifferences(bitmap, shown), 0);
}

// A page of many megabytes of content, deflated beside the drawing: the
// stream reads back whole, every shape in it once, in the order drawn.
TEST(PdfFigure, ALargePageReadsBackWhole) {
    TPdfCanvas pdf(1000, 1000);
    pdf.SetPen(TCanvasPen{clBlack, 1, TPenStyle::Solid, TPenMode::Copy});
    int drawn = 0;
    for (int pass = 0; pass < 2; ++pass) {
        pdf.SetBrush(TCanvasBrush{pass ? clRed : clBlue, TBrushStyle::Solid});
        for (int y = 0; y < 990; y += 3) {
            for (int x = 0; x < 990; x += 3) {
                pdf.Rectangle(TRect{x, y, x + 2, y + 2});
                ++drawn;
            }
        }
    }
    const QByteArray document = pdf.Finish();
    const QByteArray content = PageContent(document);
    ASSERT_GT(content.size(), 4 << 20);
    const PathStats s = Walk(content);
    EXPECT_EQ(s.subpaths, drawn);
    EXPECT_EQ(s.zeroLength, 0);
    // The blue pass before the red one, each whole.
    EXPECT_EQ(content.count(" rg\n"), 2);
    EXPECT_LT(content.indexOf("0 0 1 rg"), content.indexOf("1 0 0 rg"));
    EXPECT_TRUE(document.trimmed().endsWith("%%EOF"));
}

// A mask line of a colour on the white ground is that colour: written
// plainly, without a blend mode; where it crosses a line drawn before it,
// the multiply blend makes the crossing the AND of the two colours, as the
// bitmap has it.
TEST(PdfFigure, MaskLinesBlendOnlyWhereTheyCrossALine) {
    auto alone = [](TCanvas& c) {
        c.SetBrush(TCanvasBrush{clWhite, TBrushStyle::Solid});
        c.FillRect(TRect{0, 0, 60, 40});
        c.SetPen(TCanvasPen{clYellow, 1, TPenStyle::Solid, TPenMode::Mask});
        c.Line(5, 20, 55, 20);
        c.SetPen(TCanvasPen{clBlue, 1, TPenStyle::Solid, TPenMode::Copy});
        c.Line(30, 5, 30, 15);  // near the mask line, not on it
    };
    auto crossing = [](TCanvas& c) {
        c.SetBrush(TCanvasBrush{clWhite, TBrushStyle::Solid});
        c.FillRect(TRect{0, 0, 60, 40});
        c.SetPen(TCanvasPen{clBlue, 1, TPenStyle::Solid, TPenMode::Copy});
        c.Line(30, 5, 30, 35);
        c.SetPen(TCanvasPen{clYellow, 1, TPenStyle::Solid, TPenMode::Mask});
        c.Line(5, 20, 55, 20);
    };
    auto bitmapOf = [](auto draw) {
        QImage image(60, 40, QImage::Format_RGB32);
        image.fill(Qt::white);
        TPainterCanvas c(image);
        draw(c);
        return image;
    };
    TPdfCanvas plain(60, 40);
    alone(plain);
    const QByteArray plainDoc = plain.Finish();
    EXPECT_FALSE(plainDoc.contains("/BM"));
    TPdfCanvas blended(60, 40);
    crossing(blended);
    const QByteArray blendedDoc = blended.Finish();
    EXPECT_TRUE(blendedDoc.contains("/BM /Multiply"));

    if (!HaveProgram("pdftoppm")) GTEST_SKIP() << "pdftoppm is not installed";
    QTemporaryDir dir;
    const QImage a = Shown(plainDoc, dir.path());
    ASSERT_EQ(a.size(), QSize(60, 40));
    EXPECT_EQ(Differences(bitmapOf(alone), a, 72), 0);
    const QImage b = Shown(blendedDoc, dir.path());
    ASSERT_EQ(b.size(), QSize(60, 40));
    const QImage expected = bitmapOf(crossing);
    EXPECT_EQ(qRgb(0, 0, 0), expected.pixel(30, 20));  // blue AND yellow
    EXPECT_EQ(Differences(expected, b, 72), 0);
}

// The pages of a book: a group of many calls that comes again the same is
// drawn once, as a form the pages draw (carried whole until a page that
// carried it is confirmed); a group that differs, holds text or depends on
// what lies below stays in its page; and a mask mark over the form still
// blends, as it does over the drawing itself.
// With a key, the map is named by it, as a chart names its map lines.
void BookPage(TCanvas& c, int dots, TColor mark, bool text, const std::string& key = std::string()) {
    c.SetBrush(TCanvasBrush{clWhite, TBrushStyle::Solid});
    c.FillRect(TRect{0, 0, 300, 200});
    [&] {
        TCanvasGroup map(c, QStringLiteral("Map"));
        auto* pdf = dynamic_cast<TPdfCanvas*>(&c);
        if (!key.empty() && pdf && pdf->DrawKeyedGroup(key)) return;
        c.SetPen(TCanvasPen{clBlack, 1, TPenStyle::Solid, TPenMode::Mask});
        c.SetBrush(TCanvasBrush{clBlack, TBrushStyle::Solid});
        for (int i = 0; i < dots; ++i) c.Ellipse(TRect{10 + i % 100 * 2, 10 + i / 100 * 3, 13 + i % 100 * 2, 13 + i / 100 * 3});
        c.Line(5, 150, 295, 150);
        if (text) c.TextOut(5, 160, QStringLiteral("地図"));
    }();
    TCanvasGroup marks(c, QStringLiteral("Marks"));
    c.SetPen(TCanvasPen{mark, 1, TPenStyle::Solid, TPenMode::Mask});
    c.Line(5, 150, 100, 150);  // on the map's line
    c.Line(5, 190, 100, 190);  // on the white ground
}

TEST(PdfBookPages, ARepeatedGroupIsOneSharedFormThatLooksTheSame) {
    TPdfShared shared;
    auto page = [&](int dots, bool commit) {
        TPdfCanvas c(300, 200, QString(), 1.0, &shared);
        BookPage(c, dots, clYellow, false);
        QByteArray doc = c.Finish();
        if (commit) shared.Commit();
        return doc;
    };
    const QByteArray first = page(2400, false);
    const QByteArray again = page(2400, true);  // the first was not confirmed: carried whole again
    const QByteArray third = page(2400, true);
    const QByteArray other = page(2500, true);
    for (const QByteArray* doc : {&first, &again, &third, &other}) {
        EXPECT_EQ(doc->count(PdfSharedMark), 1);
        EXPECT_TRUE(PageContent(*doc).contains("/K1 Do")) << PageContent(*doc).left(300).toStdString();
        // The yellow mask line meets the map's line drawn by the form.
        EXPECT_TRUE(doc->contains("/BM /Multiply"));
        EXPECT_LT(PageContent(*doc).size(), 2000);
    }
    const auto key = [](const QByteArray& doc) {
        const qsizetype at = doc.indexOf(PdfSharedMark) + qsizetype(sizeof PdfSharedMark) - 1;
        return doc.mid(at, doc.indexOf('\n', at) - at);
    };
    EXPECT_EQ(key(first), key(again));
    EXPECT_EQ(key(first), key(third));
    EXPECT_NE(key(first), key(other));
    EXPECT_TRUE(first.contains("/Subtype /Form"));
    EXPECT_TRUE(again.contains("/Subtype /Form"));
    EXPECT_FALSE(third.contains("/Subtype /Form"));
    EXPECT_TRUE(third.contains(key(third) + "\nnull\n"));
    EXPECT_TRUE(other.contains("/Subtype /Form"));

    // A page of its own (a group no key names stays in it) draws the same
    // pixels as the page of the book.
    TPdfCanvas alone(300, 200);
    BookPage(alone, 2400, clYellow, false);
    const QByteArray aloneDoc = alone.Finish();
    EXPECT_FALSE(aloneDoc.contains(PdfSharedMark));
    EXPECT_TRUE(aloneDoc.contains("/BM /Multiply"));
    if (!HaveProgram("pdftoppm")) GTEST_SKIP() << "pdftoppm is not installed";
    QTemporaryDir dir;
    const QImage a = Shown(aloneDoc, dir.path());
    QByteArray whole = first;
    const QImage b = Shown(whole.replace(PdfSharedMark + key(first) + '\n', QByteArray()), dir.path());
    ASSERT_EQ(a.size(), QSize(300, 200));
    ASSERT_EQ(b.size(), a.size());
    EXPECT_EQ(Differences(a, b, 0), 0);
}

// The files of a run share the drawing of the groups their caller names by
// a key, and each is whole: the same file as the figure made alone, whatever
// was made before it. A group no key names is drawn in the page.
TEST(PdfBookPages, FilesOfARunAreEachWholeAndTheSameAsAlone) {
    TPdfShared files(TPdfShared::Kind::Files);
    auto page = [&](TPdfShared* share, int dots, TColor mark, const std::string& key) {
        TPdfCanvas c(300, 200, QString(), 1.0, share);
        BookPage(c, dots, mark, false, key);
        QByteArray doc = c.Finish();
        if (share) share->Commit();
        return doc;
    };
    for (int k = 0; k < 2; ++k) {
        for (const TColor mark : {clYellow, clRed}) {
            const QByteArray inRun = page(&files, 2400, mark, "map 2400");
            EXPECT_EQ(inRun, page(nullptr, 2400, mark, "map 2400"));
            EXPECT_EQ(inRun.count("/Subtype /Form"), 1);
            EXPECT_FALSE(inRun.contains("\nnull\n"));
            EXPECT_TRUE(inRun.contains("/BM /Multiply"));  // the mask mark over the form's line
        }
        EXPECT_EQ(page(&files, 2500, clYellow, "map 2500"), page(nullptr, 2500, clYellow, "map 2500"));
        EXPECT_FALSE(page(&files, 2400, clYellow, "").contains(PdfSharedMark));
    }
    // The red files drew the form the yellow one before them made, by its
    // key (a form no file used of late is let go: the others made theirs).
    EXPECT_EQ(files.KeyedDraws(), 2);
}

TEST(PdfBookPages, GroupsWithTextFewCallsOrColouredMasksStayInThePage) {
    TPdfShared shared;
    auto page = [&](auto draw) {
        TPdfCanvas c(300, 200, QString(), 1.0, &shared);
        draw(c);
        QByteArray doc = c.Finish();
        shared.Commit();
        return doc;
    };
    auto withText = [](TCanvas& c) { BookPage(c, 2400, clYellow, true); };
    auto few = [](TCanvas& c) { BookPage(c, 100, clYellow, false); };
    auto coloured = [](TCanvas& c) {
        TCanvasGroup g(c, QStringLiteral("Masked"));
        c.SetPen(TCanvasPen{clRed, 1, TPenStyle::Solid, TPenMode::Mask});
        for (int i = 0; i < 2400; ++i) c.Line(i % 290, i / 20, i % 290 + 5, i / 20);
    };
    for (int k = 0; k < 2; ++k) {
        EXPECT_FALSE(page(withText).contains(PdfSharedMark));
        EXPECT_FALSE(page(few).contains(PdfSharedMark));
        EXPECT_FALSE(page(coloured).contains(PdfSharedMark));
    }
}

}  // namespace
}  // namespace kavum::exporting::test
