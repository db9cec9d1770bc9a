// The parts of atlas production that need no window: categories of several
// files, groups, figure texts with their origins, counts, names and titles.
#include "render/Atlas.h"
#include "render/AtlasBook.h"

#include "platform/Cp932.h"
#include "platform/Errors.h"
#include "platform/canvas/PdfCanvas.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QProcess>
#include <QSet>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fstream>
#include <memory>

using namespace kavum::render;
using kavum::platform::Utf8ToCp932;

namespace {

QString Write(const QTemporaryDir& dir, const char* name, const char* utf8) {
    const QString path = dir.filePath(QString::fromUtf8(name));
    std::ofstream(QFile::encodeName(path).toStdString(), std::ios::binary) << Utf8ToCp932(utf8);
    return path;
}

}  // namespace

TEST(Atlas, CategoriesOfSeveralFilesWithTheirLines) {
    QTemporaryDir dir;
    const QString a = Write(dir, "a.grd", "; survey\r\n53394611\r\nブナ ; beech\r\n53394611.12\r\n\r\nミズナラ\r\n5339462\r\n");
    const QString b = Write(dir, "b.csv", "53394611\r\nカエデ\r\n35.40205,139.4610,850\r\n");
    Write(dir, "c.txt", "ignored\r\n");
    const QStringList files = ExpandDataInputs({dir.path()});
    ASSERT_EQ(files, (QStringList{a, b}));
    EXPECT_THROW(ExpandDataInputs({dir.filePath("none.grd")}), std::runtime_error);
    EXPECT_THROW(ReadAtlasData({dir.filePath("none.grd")}), kavum::platform::FileError);

    const AtlasData data = ReadAtlasData(files);
    ASSERT_EQ(data.categories.size(), 3u);
    // Records above the first heading of each file belong to no category.
    EXPECT_EQ(data.orphanRecords, 2u);
    const AtlasCategory& beech = data.categories[0];
    EXPECT_EQ(beech.position, 1);
    EXPECT_EQ(beech.name, Utf8ToCp932("ブナ "));
    EXPECT_EQ(beech.heading.file, 0);
    EXPECT_EQ(beech.heading.line, 3);
    EXPECT_EQ(beech.lines.size(), 3u);   // heading, record, empty line
    EXPECT_EQ(beech.lineNumbers, (std::vector<int>{3, 4, 5}));
    EXPECT_EQ(data.categories[2].heading.file, 1);
    EXPECT_EQ(data.categories[2].heading.line, 2);
    EXPECT_EQ(data.categories[2].position, 3);

    // A figure of the first and third categories keeps where every line came from.
    const FigureText text = MakeFigureText(data, {0, 2});
    ASSERT_EQ(text.lines.size(), 5u);
    EXPECT_EQ(text.lines[4], "35.40205,139.4610,850");
    EXPECT_EQ(text.origins[4].file, 1);
    EXPECT_EQ(text.origins[4].line, 3);
    EXPECT_EQ(LineReport(data, text.origins[4], QStringLiteral("bad")), b + QStringLiteral(":3: bad"));
    EXPECT_EQ(FigureTitle(data, {0, 2}), QStringLiteral("ブナ ・カエデ"));

    QStringList problems;
    EXPECT_EQ(ListCategories(data, kavum::geo::PointPrecision::StandardMesh, &problems),
              QStringLiteral("number\tname\taccepted\tskipped\n1\tブナ \t1\t0\n2\tミズナラ\t0\t1\n3\tカエデ\t1\t0\n"));
    EXPECT_TRUE(problems.isEmpty());
}

TEST(Atlas, GroupsInDataOrder) {
    EXPECT_EQ(GroupFigures(12, 5), (std::vector<std::vector<int>>{{0, 1, 2, 3, 4}, {5, 6, 7, 8, 9}, {10, 11}}));
    EXPECT_EQ(GroupFigures(3, 1), (std::vector<std::vector<int>>{{0}, {1}, {2}}));
    EXPECT_TRUE(GroupFigures(0, 9).empty());
}

TEST(Atlas, CountsStopAtTheFirstLineThatDoesNotConvert) {
    const std::vector<std::string> lines = {"A", "53394611", "5339462", "53394611", "35.x,139.00", "53394611"};
    const TextCounts counts = CountRecords(lines, kavum::geo::PointPrecision::StandardMesh);
    EXPECT_EQ(counts.accepted, 2u);
    EXPECT_EQ(counts.skipped, 1u);
    EXPECT_EQ(counts.failedLine, std::optional<std::size_t>(4));
    EXPECT_EQ(counts.failure, "'x0' is not a valid integer value");
    // Lines before the first heading and after a tenth are not plotted.
    std::vector<std::string> many = {"53394611"};
    for (int k = 0; k < 10; ++k) many.insert(many.end(), {"H" + std::to_string(k), "53394611"});
    EXPECT_EQ(CountRecords(many, kavum::geo::PointPrecision::StandardMesh).accepted, 9u);
}

TEST(Atlas, HeadingsBecomeSafeDistinctFileNames) {
    EXPECT_EQ(SafeNamePart(Utf8ToCp932("ブナ")), QStringLiteral("ブナ"));
    EXPECT_EQ(SafeNamePart("a/b\\c"), QStringLiteral("a_b_c"));
    EXPECT_EQ(SafeNamePart(".."), QStringLiteral("category"));
    EXPECT_EQ(SafeNamePart(" . "), QStringLiteral("category"));
    EXPECT_EQ(SafeNamePart(".hidden."), QStringLiteral("hidden"));
    EXPECT_EQ(SafeNamePart(std::string("a\x01\tb\x7f", 5)), QStringLiteral("a__b_"));
    EXPECT_EQ(SafeNamePart("x:y*z?\"<>|"), QStringLiteral("x_y_z_____"));
    // Long names are cut at a character boundary, within the byte limit.
    const QString longName = SafeNamePart(Utf8ToCp932(std::string(200, 'a').c_str()) + Utf8ToCp932("ブ"));
    EXPECT_EQ(longName, QString(100, QLatin1Char('a')));
    const QString kana = SafeNamePart(Utf8ToCp932("ブナブナブナブナブナブナブナブナブナブナブナブナブナブナブナブナブナブナブナブナブナブナブナブナ"
                                                  "ブナブナブナブナブナ"));
    EXPECT_LE(kana.toUtf8().size(), 100);
    EXPECT_EQ(kana.toUtf8().size() % 3, 0);
    // Bytes that are not Shift-JIS still give a name.
    EXPECT_FALSE(SafeNamePart(std::string("\x81\xff\x80", 3)).isEmpty());

    EXPECT_EQ(FigureFileName(7, 12, "..", QStringLiteral("png")), QStringLiteral("0007-category.png"));
    EXPECT_EQ(FigureFileName(7, 12345, Utf8ToCp932("ブナ"), QStringLiteral("svg")), QStringLiteral("00007-ブナ.svg"));
    // The running number keeps equal names apart.
    QSet<QString> names;
    for (int i = 1; i <= 3; ++i) names.insert(FigureFileName(i, 3, "/", QStringLiteral("png")));
    EXPECT_EQ(names.size(), 3);
}

TEST(AtlasOrder, NaturalOrderOfNamesAndFolders) {
    EXPECT_TRUE(NaturalLess("2.csv", "10.grd"));
    EXPECT_FALSE(NaturalLess("10.grd", "2.csv"));
    EXPECT_TRUE(NaturalLess("a9b", "a10a"));
    EXPECT_TRUE(NaturalLess("2", "02"));
    EXPECT_FALSE(NaturalLess("x", "x"));
    QTemporaryDir dir;
    for (const char* name : {"10.grd", "1.grd", "2.csv"}) Write(dir, name, "種\r\n");
    const QStringList files = ExpandDataInputs({dir.path()});
    ASSERT_EQ(files.size(), 3);
    EXPECT_TRUE(files[0].endsWith("/1.grd"));
    EXPECT_TRUE(files[1].endsWith("/2.csv"));
    EXPECT_TRUE(files[2].endsWith("/10.grd"));
}

TEST(AtlasHeadings, DuplicatesAndHeadingsWithACommaAreReported) {
    QTemporaryDir dir;
    const QString f = Write(dir, "a.grd", "ブナ\r\n53394611\r\nQuercus crispula, Blume\r\n53394612\r\n35.4012,139.4512\r\nブナ \r\n53394611\r\n");
    const AtlasData data = ReadAtlasData({f});
    std::size_t commas = 0;
    const QStringList problems = HeadingProblems(data, &commas);
    EXPECT_EQ(commas, 1u);
    ASSERT_EQ(problems.size(), 2) << problems.join("\n").toStdString();
    EXPECT_TRUE(problems[0].startsWith(f + ":3: ")) << problems[0].toStdString();
    EXPECT_TRUE(problems[1].startsWith(f + ":6: ")) << problems[1].toStdString();
    EXPECT_TRUE(problems[1].contains(f + ":1")) << problems[1].toStdString();
}

TEST(AtlasStats, CellsAndElevationsOfTheAcceptedRecords) {
    QTemporaryDir dir;
    // Two records in one standard cell, one in another, one too coarse.
    const QString f = Write(dir, "a.grd", "ブナ\r\n53394611.12\r\n53394611.05\r\n53394612\r\n533946\r\n");
    const AtlasData data = ReadAtlasData({f});
    const CategoryStats s = StatsOf(data.categories[0], kavum::geo::PointPrecision::StandardMesh);
    EXPECT_EQ(s.accepted, 3u);
    EXPECT_EQ(s.skipped, 1u);
    EXPECT_EQ(s.cells, 2u);
    ASSERT_TRUE(s.lowest && s.highest);
    EXPECT_LT(*s.lowest, *s.highest);
    EXPECT_FALSE(s.failedLine);
}

TEST(AtlasManifest, RowsReadBackAndStaleFiguresOfTheSameKind) {
    ManifestRow r;
    r.number = 3;
    r.file = "0003-ブナ.png";
    r.heading = "ブナ\tx";
    r.source = "a.grd:7";
    r.accepted = 5;
    r.cells = 4;
    r.lowest = 120;
    r.status = "written";
    r.hash = "abc";
    const std::vector<ManifestRow> rows = ParseManifest(ManifestHeader() + ManifestLine(r));
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].file, r.file);
    EXPECT_EQ(rows[0].heading, "ブナ x");
    EXPECT_EQ(rows[0].lowest, 120.0);
    EXPECT_FALSE(rows[0].highest);
    EXPECT_EQ(rows[0].hash, "abc");
    const QStringList stale = StaleFigures({"0001-a.png", "0002-b.png", "0002-b.svg", "notes.png", "atlas.tsv", "old.png"},
                                           {"old.png"}, {"0001-a.png"}, "png");
    EXPECT_EQ(stale, (QStringList{"0002-b.png", "old.png"}));
}

TEST(AtlasWorkerData, AFigureTravelsWhole) {
    QTemporaryDir dir;
    const QString f = Write(dir, "a.grd", "ブナ\r\n53394611\r\n;x\r\nミズナラ\r\n53394612\r\n");
    const AtlasData data = ReadAtlasData({f});
    const AtlasData back = UnpackFigureData(PackFigureData(data, {1}), data.files);
    ASSERT_EQ(back.categories.size(), 1u);
    EXPECT_EQ(back.categories[0].position, 2);
    EXPECT_EQ(back.categories[0].lines, data.categories[1].lines);
    EXPECT_EQ(back.categories[0].lineNumbers, data.categories[1].lineNumbers);
    EXPECT_THROW(UnpackFigureData(PackFigureData(data, {0, 1}).chopped(3), data.files), std::runtime_error);
}

// The atlas tells what the one-figure mode tells of each record line:
// refused and suspicious lines by file and line, in data order.
TEST(Atlas, RecordNoticesNameTheFileAndLine) {
    QTemporaryDir dir;
    const QString a = Write(dir, "a.grd", "ブナ\r\n53394611\r\n53394611,12\r\n5.53750131E8\r\n");
    const QString b = Write(dir, "b.grd", "カエデ\r\n35.75,139.4610\r\n5.54E+08\r\n10.0,90.0\r\n");
    const AtlasData data = ReadAtlasData({a, b});
    std::vector<CategoryStats> stats;
    for (const AtlasCategory& c : data.categories) stats.push_back(StatsOf(c, kavum::geo::PointPrecision::StandardMesh));
    const QStringList notices = RecordNotices(data, stats);
    ASSERT_EQ(notices.size(), 5) << notices.join('\n').toStdString();
    EXPECT_TRUE(notices[0].startsWith(a + QStringLiteral(":3: 緯度がメッシュコードのような数")));
    EXPECT_TRUE(notices[1].startsWith(a + QStringLiteral(":4: 指数表記のメッシュコードを数字に直して")));
    EXPECT_TRUE(notices[2].startsWith(b + QStringLiteral(":2: 分または秒が 60 以上")));
    EXPECT_TRUE(notices[3].startsWith(b + QStringLiteral(":3: 指数表記のメッシュコードで桁が欠けているか丸められて")));
    EXPECT_TRUE(notices[4].startsWith(b + QStringLiteral(":4: 位置が地域メッシュの範囲")));
    EXPECT_EQ(stats[0].accepted, 2u);
    EXPECT_EQ(stats[1].accepted, 1u);

    // Beyond the lines kept, a count.
    std::string many = "ブナ\r\n";
    for (std::size_t i = 0; i < CategoryStats::KeptNotices + 5; ++i) many += "10.0,90.0\r\n";
    const QString c = Write(dir, "c.grd", many.c_str());
    const AtlasData big = ReadAtlasData({c});
    const QStringList bigNotices = RecordNotices(big, {StatsOf(big.categories[0], kavum::geo::PointPrecision::StandardMesh)});
    ASSERT_EQ(bigNotices.size(), static_cast<qsizetype>(CategoryStats::KeptNotices + 1));
    EXPECT_EQ(bigNotices.back(), QStringLiteral("ほかに 5 行に同じような問題があります"));
}

// A book's pages are set in the screen's fonts, which want an application.
static std::unique_ptr<QGuiApplication> FontsApplication() {
    static int argc = 1;
    static char name[] = "render_args_tests";
    static char* argv[] = {name, nullptr};
    if (QGuiApplication::instance()) return nullptr;
    return std::make_unique<QGuiApplication>(argc, argv);
}

// A book of pages that share their map holds the map once; the later pages
// name it by its key, and a page that names a map the book has not got is
// refused rather than drawn without it.
TEST(AtlasBook, PagesThatShareTheirMapHoldItOnce) {
    using namespace kavum::platform;
    // The title and index pages are set in the screen's fonts.
    const auto app = FontsApplication();
    TPdfShared shared;
    auto page = [&](int n) {
        TPdfCanvas c(300, 200, QString(), 1.0, &shared);
        c.SetBrush(TCanvasBrush{clWhite, TBrushStyle::Solid});
        c.FillRect(TRect{0, 0, 300, 200});
        {
            TCanvasGroup map(c, QStringLiteral("Map"));
            c.SetBrush(TCanvasBrush{clBlack, TBrushStyle::Solid});
            for (int i = 0; i < 3000; ++i) c.Ellipse(TRect{i % 100 * 3, i / 100 * 6, i % 100 * 3 + 2, i / 100 * 6 + 2});
        }
        c.SetPen(TCanvasPen{clRed, 3});
        c.Line(10, 10 + n * 20, 290, 10 + n * 20);
        return c.Finish();
    };
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("book.pdf"));
    QByteArray stub;
    {
        PdfBook book(path);
        for (int n = 0; n < 4; ++n) {
            const QByteArray doc = page(n);
            shared.Commit();
            if (n == 3) stub = doc;
            book.AddPage(n, doc, QStringLiteral("種%1").arg(n + 1));
        }
        book.Finish(QStringLiteral("図鑑"), {}, {{QStringLiteral("種1"), 0}, {QStringLiteral("種2"), 1}});
    }
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    EXPECT_EQ(bytes.count("/Subtype /Form"), 1);
    EXPECT_EQ(bytes.count(PdfSharedMark), 0);
    EXPECT_EQ(bytes.count(" Do\n"), 0);  // the page contents are packed
    QSet<QString> forms;
    for (auto it = QRegularExpression(QStringLiteral("/XObject << /K1 (\\d+) 0 R >>")).globalMatch(QString::fromLatin1(bytes));
         it.hasNext();) {
        forms.insert(it.next().captured(1));
    }
    EXPECT_EQ(forms.size(), 1);
    ASSERT_TRUE(stub.contains("\nnull\n"));
    EXPECT_THROW(TakePdfPage(stub, 10, 2), std::runtime_error);
}

namespace {

// A program's standard output, or nothing when it fails or is missing.
QByteArray Output(const QString& program, const QStringList& arguments) {
    QProcess p;
    p.start(program, arguments);
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) return {};
    return p.readAllStandardOutput();
}

QImage PageShown(const QString& pdf, int page, const QString& stem) {
    const QString n = QString::number(page);
    if (Output(QStringLiteral("pdftoppm"), {"-r", "96", "-png", "-singlefile", "-f", n, "-l", n, pdf, stem}).isNull() &&
        !QFileInfo::exists(stem + QStringLiteral(".png"))) {
        return {};
    }
    return QImage(stem + QStringLiteral(".png")).convertToFormat(QImage::Format_RGB32);
}

}  // namespace

// The pages of a book are set in the same fonts: the book embeds each font
// once, with the glyphs of every page, and every page reads and looks as
// it would on its own. A font the machine no longer sets as the pages were
// set fails the book rather than showing wrong glyphs.
TEST(AtlasBook, EachFontIsEmbeddedOnceWithTheGlyphsOfAllItsPages) {
    using namespace kavum::platform;
    const auto app = FontsApplication();
    const QStringList names = {QStringLiteral("カタクリ"), QStringLiteral("ニリンソウ"),
                               QStringLiteral("Fagus crenata ブナ")};
    auto draw = [&](TCanvas& c, int n) {
        c.SetBrush(TCanvasBrush{clWhite, TBrushStyle::Solid});
        c.FillRect(TRect{0, 0, 300, 200});
        c.SetTextTransparent(true);
        TCanvasFont gothic;
        gothic.height = 20;
        c.SetFont(gothic);
        c.TextOut(10, 10, names[n]);
        TCanvasFont mincho;
        mincho.name = QStringLiteral("ＭＳ 明朝");
        mincho.height = 14 + n;
        c.SetFont(mincho);
        c.TextOut(10, 60, QStringLiteral("標高 %1").arg(500 * (n + 1)));
    };
    QTemporaryDir dir;
    TPdfShared shared;
    std::vector<QByteArray> pages, alone;
    for (int n = 0; n < 3; ++n) {
        TPdfCanvas c(300, 200, QString(), 1.0, &shared);
        draw(c, n);
        pages.push_back(c.Finish());
        shared.Commit();
        TPdfCanvas a(300, 200);
        draw(a, n);
        alone.push_back(a.Finish());
        // A book page names its fonts; it holds none.
        EXPECT_EQ(pages.back().count("/FontFile2"), 0);
        EXPECT_EQ(pages.back().count(PdfFontMark), 2);
    }
    EXPECT_THROW(TakePdfPage(pages[0], 10, 2), std::runtime_error);
    const QString path = dir.filePath(QStringLiteral("book.pdf"));
    {
        PdfBook book(path);
        for (int n = 0; n < 3; ++n) book.AddPage(n, pages[static_cast<std::size_t>(n)], names[n]);
        book.Finish(QStringLiteral("図鑑"), {}, {{names[0], 0}, {names[1], 1}, {names[2], 2}});
    }
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    EXPECT_EQ(bytes.count(PdfFontMark), 0);
    // Two fonts at most (the two names may be set in one font), each once.
    EXPECT_GE(bytes.count("/FontFile2"), 1);
    EXPECT_LE(bytes.count("/FontFile2"), 2);
    int singles = 0;
    for (const QByteArray& a : alone) singles += static_cast<int>(a.count("/FontFile2"));
    EXPECT_GE(singles, 3);

    // Pages 1 and 2 are the title and the index.
    if (Output(QStringLiteral("pdftotext"), {"-v"}).isNull() && !QFileInfo::exists(QStringLiteral("/usr/bin/pdftotext")))
        GTEST_SKIP() << "poppler's tools are not installed";
    for (int n = 0; n < 3; ++n) {
        const QString k = QString::number(n + 3);
        const QString text = QString::fromUtf8(Output(QStringLiteral("pdftotext"), {"-f", k, "-l", k, path, "-"}));
        EXPECT_TRUE(text.contains(names[n])) << text.toStdString();
        EXPECT_TRUE(text.contains(QStringLiteral("標高 %1").arg(500 * (n + 1)))) << text.toStdString();
        const QString single = dir.filePath(QStringLiteral("alone%1.pdf").arg(n));
        QFile out(single);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(alone[static_cast<std::size_t>(n)]);
        out.close();
        const QImage a = PageShown(single, 1, dir.filePath(QStringLiteral("a%1").arg(n)));
        const QImage b = PageShown(path, n + 3, dir.filePath(QStringLiteral("b%1").arg(n)));
        ASSERT_FALSE(a.isNull());
        ASSERT_EQ(a.size(), b.size());
        EXPECT_EQ(a, b) << "page " << n + 3;
    }

    // A page set in a font this machine sets otherwise.
    QByteArray other = pages[0];
    const qsizetype line = other.indexOf(PdfFontMark);
    const qsizetype end = other.indexOf('\n', line);
    const qsizetype last = other.lastIndexOf(' ', end);
    // Another glyph count, the document's offsets kept.
    other[last + 1] = other[last + 1] == '1' ? '2' : '1';
    const QString failed = dir.filePath(QStringLiteral("failed.pdf"));
    {
        PdfBook book(failed);
        book.AddPage(0, other, names[0]);
        EXPECT_THROW(book.Finish(QStringLiteral("図鑑"), {}, {{names[0], 0}}), std::runtime_error);
    }
    EXPECT_FALSE(QFileInfo::exists(failed));
    EXPECT_EQ(QDir(dir.path()).entryList({QStringLiteral("*.tmp")}, QDir::Files), QStringList());
}
