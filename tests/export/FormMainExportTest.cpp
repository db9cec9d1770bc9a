// The figure commands of the main window on the bundled map: the save
// dialog, the figure of each show mode, the legend, failures, the clipboard
// and the pop-up copies, and kavum-render's outputs opened by other readers.
#include "ExportTestUtil.h"

#include "app/FormMain.h"
#include "export/Composite.h"
#include "map/Overlays.h"
#include "platform/Cp932.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QMimeData>
#include <QSvgRenderer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fstream>
#include <memory>

namespace kavum::exporting::test {
namespace {

using app::TFormMain;
using platform::ScriptedDialogs;

const QString Assets = QStringLiteral(KAVUM_SOURCE_DIR "/assets");

// Size of a metafile's picture from its header bounds.
QSize PictureSize(const QByteArray& emf) {
    const std::vector<Record> records = Records(emf);
    if (records.empty() || records[0].type != 1) return QSize();
    return QSize(records[0].I32(16) - records[0].I32(8) + 1, records[0].I32(20) - records[0].I32(12) + 1);
}

class FigureCommands : public testing::Test {
protected:
    // The window with the map made in the layout (0: no map yet).
    TFormMain& Start(int layout) {
        const QString data = dir.filePath("Noname.grd");
        std::ofstream(QFile::encodeName(data).toStdString(), std::ios::binary)
            << platform::Utf8ToCp932("ブナ\r\n53394611.12\r\n35.40205,139.4610,850\r\nミズナラ\r\n5339462\r\n");
        w = std::make_unique<TFormMain>(dir.filePath("kavum"), QStringList{}, dialogs);
        w->EditMapFile->setText(Assets + QStringLiteral("/Kavum_Nippon.mdt"));
        w->EditGrdFile->setText(data);
        w->show();
        QApplication::processEvents();
        w->SetClientSize(QSize(810, 559));
        if (layout != 0) {
            w->HorizonMap->setChecked(layout != 2);
            w->ProfileMap->setChecked(layout != 1);
            w->NewMapBtnClick();
            EXPECT_EQ(w->State.ShowMode, layout);
        }
        dialogs.ClearUses();
        return *w;
    }
    // Saves the figure through the dialog, answered with the name given.
    void Save(const QString& name) {
        dialogs.AnswerSave(name.isEmpty() ? std::optional<QString>() : std::optional<QString>(dir.filePath(name)));
        w->SaveToEMFItem->trigger();
    }

    QTemporaryDir dir;
    ScriptedDialogs dialogs;
    std::unique_ptr<TFormMain> w;
};

TEST_F(FigureCommands, TheSaveDialogProposesTheFigureOfTheLayout) {
    for (int layout : {1, 2, 3}) {
        TFormMain& f = Start(layout);
        Save(QString());  // cancelled: nothing written
        ASSERT_EQ(dialogs.UsesOf(ScriptedDialogs::Kind::Save).size(), 1u);
        const platform::FileDialog d = dialogs.UsesOf(ScriptedDialogs::Kind::Save)[0].file;
        EXPECT_EQ(d.FilterIndex, 4);
        EXPECT_EQ(d.DefaultExt, "emf");
        EXPECT_EQ(d.Title, QStringLiteral("地図基本ファイル"));
        const char* names[] = {"", "Noname-H.emf", "Noname-V.emf", "Noname-3D.emf"};
        EXPECT_EQ(d.FileName, QString::fromLatin1(names[layout]));
        // The program's entries first, the fourth the metafile; SVG, PDF and PNG after them.
        const QStringList entries = d.Filter.split('|');
        ASSERT_EQ(entries.size(), 18);
        EXPECT_EQ(entries[6], QStringLiteral("EMFファイル"));
        EXPECT_EQ(entries[7], "*.emf");
        EXPECT_EQ(entries[13], "*.svg");
        EXPECT_EQ(entries[15], "*.pdf");
        EXPECT_EQ(entries[17], "*.png");
        EXPECT_TRUE(QDir(dir.path()).entryList({"*.emf"}).isEmpty());
        // A second use does not add the entries again.
        Save(QString());
        EXPECT_EQ(dialogs.UsesOf(ScriptedDialogs::Kind::Save)[1].file.Filter, d.Filter);
        EXPECT_TRUE(dialogs.Messages().isEmpty());
        (void)f;
    }
}

TEST_F(FigureCommands, BeforeTheFirstMapNothingIsSavedOrCopied) {
    TFormMain& f = Start(0);
    ASSERT_EQ(f.State.ShowMode, 0);
    f.State.GrdFileName = dir.filePath("Noname.grd");  // as a settings file names it
    Save("Noname.emf");
    EXPECT_EQ(dialogs.UsesOf(ScriptedDialogs::Kind::Save).at(0).file.FileName, "Noname");
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("Noname.emf")));
    QGuiApplication::clipboard()->setText(QStringLiteral("before"));
    f.CopyEMFItemClick();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("before"));
    EXPECT_TRUE(dialogs.Messages().isEmpty());
}

TEST_F(FigureCommands, TheMapAloneIsTheChartsOwnPicture) {
    TFormMain& f = Start(1);
    Save("Noname-H");  // the default extension is added
    const QByteArray emf = ReadFile(dir.filePath("Noname-H.emf"));
    EXPECT_EQ(emf, f.Chart1->PictureMetafile());
    EXPECT_EQ(PictureSize(emf), f.Chart1->size() - QSize(1, 1));
}

TEST_F(FigureCommands, TheTwoProfilesShareOneScale) {
    TFormMain& f = Start(2);
    Save("Noname-V.emf");
    const QByteArray emf = ReadFile(dir.filePath("Noname-V.emf"));
    const TwoProfilePicture g = TwoProfileGeometry(f.State.MapAspect);
    EXPECT_EQ(PictureSize(emf), g.size);
    EXPECT_EQ(g.size.height(), 600);
    // Each profile's ground fills its rectangle, west-east first.
    std::vector<QRect> grounds;
    for (const Record& r : Records(emf)) {
        for (const auto& polygon : Polygons(r)) {
            const QRect box = BoxOf(polygon);
            if (box.width() > 300 && box.height() > 250) grounds.push_back(box);
        }
    }
    ASSERT_GE(grounds.size(), 2u);
    EXPECT_EQ(grounds[0], QRect(QPoint(0, 0), QPoint(g.westEast.right, g.westEast.bottom)));
    EXPECT_EQ(grounds[1], QRect(QPoint(0, 299), QPoint(g.southNorth.right, g.southNorth.bottom)));
}

TEST_F(FigureCommands, TheThreeViewsCarryTheLegendAndLeaveItWhereItWas) {
    TFormMain& f = Start(3);
    f.State.LegendLeft = 60;
    f.State.LegendTop = 30;
    Save("Noname-3D.emf");
    EXPECT_EQ(f.State.LegendLeft, 60);
    EXPECT_EQ(f.State.LegendTop, 30);
    const QByteArray emf = ReadFile(dir.filePath("Noname-3D.emf"));
    const ThreeViewPicture g = ThreeViewGeometry(f.State.MapAspect, 60, 30);
    EXPECT_EQ(PictureSize(emf), g.size);
    // The legend box where the picture puts it: P + 60 x 1000/800.
    const map::LegendGeometry legend = map::LegendLayout(g.legendLeft, g.legendTop, f.State.LegendTextWidth, 2);
    const QRect expected(QPoint(legend.box.left(), legend.box.top()),
                         QPoint(legend.box.left() + legend.box.width() - 1, legend.box.top() + legend.box.height() - 1));
    bool found = false;
    for (const Record& r : Records(emf)) {
        for (const auto& polygon : Polygons(r)) found = found || BoxOf(polygon) == expected;
    }
    EXPECT_TRUE(found) << "legend box not at " << g.legendLeft << "," << g.legendTop;
    // The other formats by their extensions, the same picture.
    Save("Noname-3D.svg");
    Save("Noname-3D.pdf");
    Save("Noname-3D.png");
    EXPECT_TRUE(ReadFile(dir.filePath("Noname-3D.svg")).startsWith("<?xml"));
    EXPECT_TRUE(ReadFile(dir.filePath("Noname-3D.pdf")).startsWith("%PDF"));
    EXPECT_EQ(QImage(dir.filePath("Noname-3D.png")).size(), g.size);
    QSvgRenderer svg(dir.filePath("Noname-3D.svg"));
    EXPECT_EQ(svg.defaultSize(), g.size);
    EXPECT_EQ(f.State.LegendLeft, 60);
    EXPECT_TRUE(dialogs.Messages().isEmpty()) << dialogs.Messages().join('\n').toStdString();
}

// SVG, PDF and PNG are written at the scale asked for after the file is
// chosen; the metafile is not asked about.
TEST_F(FigureCommands, VectorAndBitmapFiguresAreSavedAtTheScaleChosen) {
    TFormMain& f = Start(3);
    const ThreeViewPicture g = ThreeViewGeometry(f.State.MapAspect, 50, 50);
    auto scaleUses = [&] { return dialogs.UsesOf(ScriptedDialogs::Kind::FigureScale); };
    Save("Noname-3D.emf");
    EXPECT_TRUE(QFileInfo::exists(dir.filePath("Noname-3D.emf")));
    EXPECT_TRUE(scaleUses().empty());

    dialogs.AnswerFigureScale(2.0);
    Save("twice.png");
    ASSERT_EQ(scaleUses().size(), 1u);
    EXPECT_EQ(scaleUses()[0].scale.Scale, 1.0);  // first proposed at the screen's size
    EXPECT_TRUE(scaleUses()[0].scale.Bitmap);
    EXPECT_EQ(scaleUses()[0].scale.Size, g.size);
    const QImage twice(dir.filePath("twice.png"));
    EXPECT_EQ(twice.size(), g.size * 2);
    EXPECT_NEAR(twice.dotsPerMeterX(), 192 / 0.0254, 1);

    // The choice stays for the next figure; a vector document has no resolution.
    Save("twice.svg");
    ASSERT_EQ(scaleUses().size(), 2u);
    EXPECT_EQ(scaleUses()[1].scale.Scale, 2.0);
    EXPECT_FALSE(scaleUses()[1].scale.Bitmap);
    EXPECT_EQ(QSvgRenderer(dir.filePath("twice.svg")).defaultSize(), g.size * 2);

    // Cancelled: nothing is written, and the scale stays as it was.
    dialogs.AnswerFigureScale(std::nullopt);
    Save("cancelled.pdf");
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("cancelled.pdf")));
    dialogs.AnswerFigureScale(300.0 / 96.0);
    Save("300dpi.png");
    EXPECT_EQ(scaleUses().back().scale.Scale, 2.0);
    EXPECT_EQ(QImage(dir.filePath("300dpi.png")).size(),
              QSize(qRound(g.size.width() * 3.125), qRound(g.size.height() * 3.125)));
    // The metafile stays at the screen's size whatever was chosen before.
    Save("again.emf");
    EXPECT_EQ(PictureSize(ReadFile(dir.filePath("again.emf"))), g.size);
    EXPECT_EQ(scaleUses().size(), 4u);
    EXPECT_TRUE(dialogs.Messages().isEmpty()) << dialogs.Messages().join('\n').toStdString();

    // Before the first map there is no figure to ask about.
    Start(0);
    Save("none.png");
    EXPECT_TRUE(scaleUses().empty());
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("none.png")));
}

// The dark runs of a row of an image between two columns: (first, last).
std::vector<std::pair<int, int>> DarkRuns(const QImage& image, int y, int from, int to) {
    std::vector<std::pair<int, int>> runs;
    for (int x = std::max(0, from); x <= std::min(to, image.width() - 1); ++x) {
        const QRgb c = image.pixel(x, y);
        if (qRed(c) + qGreen(c) + qBlue(c) >= 300) continue;
        if (!runs.empty() && runs.back().second == x - 1) {
            runs.back().second = x;
        } else {
            runs.emplace_back(x, x);
        }
    }
    return runs;
}

TEST_F(FigureCommands, AtAScaleTheLegendAndLabelsGrowWithTheFigure) {
    TFormMain& f = Start(3);
    f.State.LegendLeft = 60;
    f.State.LegendTop = 30;
    f.SaveFigure(dir.filePath("one.png"), 1);
    f.SaveFigure(dir.filePath("two.png"), 2);
    EXPECT_EQ(f.State.LegendLeft, 60);
    const QImage one(dir.filePath("one.png"));
    const QImage two(dir.filePath("two.png"));
    ASSERT_EQ(two.size(), one.size() * 2);
    const ThreeViewPicture g = ThreeViewGeometry(f.State.MapAspect, 60, 30);
    const map::LegendGeometry legend = map::LegendLayout(g.legendLeft, g.legendTop, f.State.LegendTextWidth, 2);
    // A row through the legend box above its first entry: the two sides of
    // the frame, one pixel wide at scale 1, two at scale 2, where the
    // enlarged frame stands.
    const int row = legend.box.top() + 5;
    const auto thin = DarkRuns(one, row, legend.box.left() - 3, legend.box.right() + 3);
    ASSERT_EQ(thin.size(), 2u);
    EXPECT_EQ(thin[0], std::make_pair(legend.box.left(), legend.box.left()));
    EXPECT_EQ(thin[1], std::make_pair(legend.box.right(), legend.box.right()));
    const auto wide = DarkRuns(two, 2 * row, 2 * legend.box.left() - 6, 2 * legend.box.right() + 8);
    ASSERT_EQ(wide.size(), 2u);
    for (int side = 0; side < 2; ++side) {
        EXPECT_EQ(wide[side].second - wide[side].first + 1, 2) << side;
        EXPECT_NEAR(wide[side].first, 2 * thin[side].first, 4) << side;
    }
    // The labels' ink grows with them: the ink of the (navy) degree labels
    // under the map, in a band along its bottom, about four times as much
    // (the fonts of the two sizes are drawn a little differently).
    auto ink = [](const QImage& image, const QRect& band) {
        long long n = 0;
        for (int y = band.top(); y <= band.bottom(); ++y)
            for (int x = band.left(); x <= band.right(); ++x) n += 255 - qRed(image.pixel(x, y));
        return n;
    };
    const QRect band(g.map.left, g.map.bottom - 24, g.map.right - g.map.left, 22);
    const long long inkOne = ink(one, band);
    const long long inkTwo = ink(two, QRect(band.topLeft() * 2, band.size() * 2));
    ASSERT_GT(inkOne, 50 * 255);
    EXPECT_GT(inkTwo, 3 * inkOne);
    EXPECT_LT(inkTwo, 6 * inkOne);
}

// A width in print chosen in the dialog: the bitmap has the pixels of the
// width at the resolution and records it, the SVG document the width.
TEST_F(FigureCommands, AFigureIsSavedAtTheColumnWidthChosen) {
    Start(3);
    dialogs.AnswerFigureWidth(85, 1200);
    Save("column.png");
    const auto uses = dialogs.UsesOf(ScriptedDialogs::Kind::FigureScale);
    ASSERT_EQ(uses.size(), 1u);
    EXPECT_EQ(uses[0].scale.MinWidthMm, 10.0);
    EXPECT_EQ(uses[0].scale.MaxDpi, 2400.0);
    const QImage column(dir.filePath("column.png"));
    EXPECT_EQ(column.width(), 4016);
    EXPECT_EQ(column.dotsPerMeterX(), qRound(1200 / 0.0254));
    dialogs.AnswerFigureWidth(175);
    Save("wide.svg");
    EXPECT_TRUE(ReadFile(dir.filePath("wide.svg")).contains("width=\"175mm\""));
    EXPECT_TRUE(dialogs.Messages().isEmpty()) << dialogs.Messages().join('\n').toStdString();
}

// A figure saved over a file asks first; over a file that is no figure of
// the format (a data file chosen by mistake) it says what the file seems to
// be. Answered いいえ the file stays as it was.
TEST_F(FigureCommands, ReplacingAFileThatIsNoFigureAsksFirst) {
    Start(3);
    const QByteArray survey = ReadFile(dir.filePath("Noname.grd"));
    auto put = [&](const char* name, const QByteArray& bytes) {
        QFile f(dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    };
    auto questions = [&] { return dialogs.UsesOf(ScriptedDialogs::Kind::Confirm); };
    put("survey.grd", survey);
    Save("survey.grd");  // no figure extension: the metafile entry of the dialog
    ASSERT_EQ(questions().size(), 1u);
    EXPECT_EQ(questions()[0].caption, QStringLiteral("Kavum for Windows"));
    EXPECT_EQ(questions()[0].text, QStringLiteral("survey.grd は既に存在します。このファイルは EMF の図ではなく、"
                                                 "分布データファイルのようです。\n置き換えると元の内容は失われます。"
                                                 "本当に置き換えますか?"));
    EXPECT_EQ(ReadFile(dir.filePath("survey.grd")), survey);

    // A text under a figure's name: asked before the scale, kept on いいえ.
    put("notes.png", "field notes\r\n");
    Save("notes.png");
    ASSERT_EQ(questions().size(), 2u);
    EXPECT_TRUE(questions()[1].text.contains(QStringLiteral("PNG の図ではなく、テキストファイルのようです")));
    EXPECT_TRUE(dialogs.UsesOf(ScriptedDialogs::Kind::FigureScale).empty());
    EXPECT_EQ(ReadFile(dir.filePath("notes.png")), QByteArray("field notes\r\n"));

    // はい replaces it with the figure.
    dialogs.AnswerConfirm(true);
    Save("survey.grd");
    EXPECT_TRUE(Records(ReadFile(dir.filePath("survey.grd"))).size() > 10);

    // A figure of the format: the plain question.
    Save("f.svg");
    const QByteArray first = ReadFile(dir.filePath("f.svg"));
    ASSERT_TRUE(first.startsWith("<?xml"));
    const std::size_t asked = questions().size();
    dialogs.AnswerConfirm(true);
    dialogs.AnswerFigureScale(2.0);
    Save("f.svg");
    ASSERT_EQ(questions().size(), asked + 1);
    EXPECT_EQ(questions().back().text, QStringLiteral("f.svg は既に存在します。\n置き換えますか?"));
    EXPECT_NE(ReadFile(dir.filePath("f.svg")), first);
    // The same figure's PNG is not an SVG figure.
    SaveFigure(FigureFormat::Png, *SavedFigure(FigureCharts{w->Chart1, w->Chart2, w->Chart3}, 2, 1.2, 50, 50),
               dir.filePath("g.svg"));
    Save("g.svg");
    EXPECT_TRUE(questions().back().text.contains(QStringLiteral("SVG の図ではなく、PNG 画像のようです")));
    EXPECT_TRUE(dialogs.Messages().isEmpty()) << dialogs.Messages().join('\n').toStdString();
}

TEST_F(FigureCommands, AFileThatCannotBeMadeIsReportedAndLeavesNothing) {
    TFormMain& f = Start(3);
    Save("missing/Noname-3D.emf");
    const QStringList messages = dialogs.Messages();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].contains(dir.filePath("missing/Noname-3D.emf")));
    EXPECT_TRUE(messages[0].contains(QStringLiteral("書き込めません")));
    EXPECT_EQ(dialogs.UsesOf(ScriptedDialogs::Kind::Message)[0].icon, platform::MessageIcon::Error);
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("missing")));
    EXPECT_EQ(f.State.LegendLeft, 50);
}

TEST_F(FigureCommands, TheClipboardGetsAMetafileAndABitmap) {
    TFormMain& f = Start(2);
    f.CopyEMFItem->trigger();
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(PictureSize(data->data("image/x-emf")), QSize(1200, 1600));
    EXPECT_EQ(data->data("image/emf"), data->data("image/x-emf"));
    // Under the name LibreOffice pastes as a metafile too.
    EXPECT_EQ(data->data("application/x-openoffice-emf;windows_formatname=\"Image EMF\""), data->data("image/x-emf"));
    EXPECT_EQ(qvariant_cast<QImage>(data->imageData()).size(), QSize(1200, 1600));

    Start(3);
    w->CopyEMFItem->trigger();
    const ThreeViewPicture g = ThreeViewGeometry(w->State.MapAspect, 50, 50);
    EXPECT_EQ(PictureSize(QGuiApplication::clipboard()->mimeData()->data("image/x-emf")), g.size);
    EXPECT_EQ(QGuiApplication::clipboard()->image().size(), g.size);

    // The pop-up copies: one chart at its size on screen.
    for (auto [bmp, emf, chart] : {std::tuple{w->BMPCopyTo_C1, w->EMFCopyTo_C1, w->Chart1},
                                  std::tuple{w->BMPCopyTo_C2, w->EMFCopyTo_C2, w->Chart2},
                                  std::tuple{w->BMPCopyTo_C3, w->EMFCopyTo_C3, w->Chart3}}) {
        bmp->trigger();
        EXPECT_EQ(QGuiApplication::clipboard()->image().size(), chart->size());
        emf->trigger();
        EXPECT_EQ(QGuiApplication::clipboard()->mimeData()->data("image/x-emf"), chart->PictureMetafile());
        EXPECT_EQ(QGuiApplication::clipboard()->image().size(), chart->size());
    }
    EXPECT_TRUE(dialogs.Messages().isEmpty());
}

// kavum-render writes each format; programs that are not Kavum's read them.
TEST(KavumRenderFigures, EachFormatOpensInAnotherReader) {
    QTemporaryDir dir;
    const QString exe = QStringLiteral(KAVUM_BINARY_DIR "/kavum-render");
    const QString settings = BundledSettings(dir.path());
    QByteArray out;
    for (const char* name : {"f.emf", "f.svg", "f.pdf", "f.png"}) {
        ASSERT_EQ(RunProgram(exe, {"--settings", settings, "--layout", "3", dir.filePath(name)}), 0) << name;
    }
    const QSize size = QImage(dir.filePath("f.png")).size();
    EXPECT_EQ(PictureSize(ReadFile(dir.filePath("f.emf"))), size);
    EXPECT_GT(size.width(), 1000);
    // The window's view stays available.
    ASSERT_EQ(RunProgram(exe, {"--settings", settings, "--layout", "3", "--screen", dir.filePath("s.png")}), 0);
    const QSize screen = QImage(dir.filePath("s.png")).size();
    EXPECT_TRUE(screen.width() > 0 && screen.width() <= 810 && screen != size);
    EXPECT_EQ(RunProgram(exe, {"--settings", settings, dir.filePath("f.bmp")}), 2);

    if (HaveProgram("emf2svg-conv")) {
        ASSERT_EQ(RunProgram("emf2svg-conv", {"-i", dir.filePath("f.emf"), "-o", dir.filePath("e.svg")}), 0);
        const QString svg = QString::fromUtf8(ReadFile(dir.filePath("e.svg")));
        EXPECT_TRUE(svg.contains(QStringLiteral("標高2500m以上")));
        EXPECT_TRUE(svg.contains(QStringLiteral("ＭＳ ゴシック")));
    }
    if (HaveProgram("rsvg-convert")) {
        ASSERT_EQ(RunProgram("rsvg-convert", {"-o", dir.filePath("s2.png"), dir.filePath("f.svg")}), 0);
        EXPECT_EQ(QImage(dir.filePath("s2.png")).size(), size);
    }
    QSvgRenderer qt(dir.filePath("f.svg"));
    EXPECT_TRUE(qt.isValid());
    if (HaveProgram("pdftoppm")) {
        ASSERT_EQ(RunProgram("pdftoppm", {"-r", "96", "-png", "-singlefile", dir.filePath("f.pdf"), dir.filePath("p")}),
                  0);
        EXPECT_EQ(QImage(dir.filePath("p.png")).size(), size);
    }
    if (HaveProgram("pdftotext")) {
        ASSERT_EQ(RunProgram("pdftotext", {dir.filePath("f.pdf"), "-"}, &out), 0);
        EXPECT_TRUE(QString::fromUtf8(out).contains(QStringLiteral("標高2500m以上")));
    }
}

}  // namespace
}  // namespace kavum::exporting::test
