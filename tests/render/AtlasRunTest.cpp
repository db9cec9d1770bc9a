// kavum-render's atlas and list modes, run as a user runs them.
#include "platform/Cp932.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QDateTime>
#include <QFileInfo>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <fstream>
#include <string>

namespace {

const QString Exe = QStringLiteral(KAVUM_BINARY_DIR "/kavum-render");

void WriteBytes(const QString& path, const std::string& bytes) {
    std::ofstream(QFile::encodeName(path).toStdString(), std::ios::binary) << bytes;
}

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Twelve species, each in a cell of its own; `bad` puts a record line that
// does not convert into species 7 (line 3 of its block).
std::string TwelveSpecies(bool bad) {
    std::string text = "; test data\r\n";
    for (int s = 1; s <= 12; ++s) {
        text += kavum::platform::Utf8ToCp932("種") + std::to_string(s) + "\r\n";
        const std::string cell = "53" + std::to_string(30 + s) + "4611";
        text += cell + ".05\r\n";
        if (bad && s == 7) text += "35.x,139.00\r\n";
        text += cell + "\r\n";
    }
    return text;
}

struct RunResult {
    int status = -1;
    QString out;
    QString err;
};

RunResult Render(const QStringList& arguments) {
    QProcess p;
    p.start(Exe, arguments);
    RunResult r;
    if (!p.waitForFinished(120000)) return r;
    r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

class AtlasRunTest : public testing::Test {
protected:
    void SetUp() override {
        settings = dir.filePath(QStringLiteral("k.ini"));
        WriteBytes(settings, "[DataFile]\r\nMapFile=" KAVUM_SOURCE_DIR "/assets/Kavum_Nippon.mdt\r\n[Draw]\r\nShowMode=3\r\n");
        data = dir.filePath(QStringLiteral("flora.grd"));
        WriteBytes(data, TwelveSpecies(false));
    }
    // The files of a folder but the run's manifest.
    QStringList Figures(const QString& out) const {
        QStringList files = QDir(out).entryList(QDir::Files | QDir::Hidden, QDir::Name);
        files.removeAll(QStringLiteral("atlas.tsv"));
        return files;
    }
    QTemporaryDir dir;
    QString settings;
    QString data;
};

}  // namespace

TEST_F(AtlasRunTest, OneFigurePerCategoryAlikeForEveryNumberOfJobs) {
    const QString one = dir.filePath(QStringLiteral("one"));
    const QString two = dir.filePath(QStringLiteral("two"));
    RunResult r = Render({"--settings", settings, "--data", data, "--per-category", one, "--jobs", "1"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("図 12 枚のうち 12 枚を書き込みました（描いたレコード 24 件、描かなかったレコード 0 件")))
        << r.err.toStdString();
    r = Render({"--settings", settings, "--data", data, "--per-category", two, "--jobs", "2"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    QStringList expected;
    for (int s = 1; s <= 12; ++s) expected << QStringLiteral("%1-種%2.png").arg(s, 4, 10, QLatin1Char('0')).arg(s);
    ASSERT_EQ(Figures(one), expected);
    ASSERT_EQ(Figures(two), expected);
    for (const QString& name : expected) {
        EXPECT_EQ(ReadAll(one + "/" + name), ReadAll(two + "/" + name)) << name.toStdString();
    }
    // Each figure holds its category alone, as a figure of that category's
    // data by itself: the same picture as the one-figure mode makes.
    for (int s : {1, 7, 12}) {
        const QString alone = dir.filePath(QStringLiteral("alone%1.grd").arg(s));
        const std::string cell = "53" + std::to_string(30 + s) + "4611";
        WriteBytes(alone, kavum::platform::Utf8ToCp932("種") + std::to_string(s) + "\r\n" + cell + ".05\r\n" + cell + "\r\n");
        const QString png = dir.filePath(QStringLiteral("alone%1.png").arg(s));
        ASSERT_EQ(Render({"--settings", settings, "--data", alone, png}).status, 0);
        EXPECT_EQ(ReadAll(png), ReadAll(one + "/" + expected[s - 1])) << s;
    }
    EXPECT_NE(ReadAll(one + "/" + expected[0]), ReadAll(one + "/" + expected[1]));
}

TEST_F(AtlasRunTest, GroupsOfFiveAndOtherFormats) {
    const QString out = dir.filePath(QStringLiteral("g"));
    const RunResult r = Render({"--settings", settings, "--per-category", out, "--group", "5", "--format", "svg",
                          "--mark-of-position", data});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(Figures(out), (QStringList{"0001-種1.svg", "0002-種6.svg", "0003-種11.svg"}));
    const QByteArray svg = ReadAll(out + "/0003-種11.svg");
    EXPECT_TRUE(svg.startsWith("<?xml") || svg.contains("<svg")) << svg.left(80).toStdString();
}

TEST_F(AtlasRunTest, ABadLineFailsItsFigureOnlyAndNamesFileAndLine) {
    WriteBytes(data, TwelveSpecies(true));
    const QString out = dir.filePath(QStringLiteral("bad"));
    RunResult r = Render({"--settings", settings, "--data", data, "--per-category", out, "--jobs", "2"});
    EXPECT_EQ(r.status, 1);
    // Species 7 starts on line 20: heading, record, then the bad line 22.
    EXPECT_TRUE(r.err.contains(data + QStringLiteral(":22: 'x0' is not a valid integer value"))) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("図 12 枚のうち 11 枚を書き込みました"))) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("失敗 1 件"))) << r.err.toStdString();
    QStringList names = Figures(out);
    EXPECT_EQ(names.size(), 11);
    EXPECT_FALSE(names.contains(QStringLiteral("0007-種7.png")));
    // --keep-going writes the figure drawn up to the bad line; the status stays 1.
    r = Render({"--settings", settings, "--data", data, "--per-category", out, "--keep-going", "--jobs", "1"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(Figures(out).size(), 12);

    // The one-figure mode: file and line, nothing written unless --keep-going.
    const QString png = dir.filePath(QStringLiteral("single.png"));
    r = Render({"--settings", settings, "--data", data, png});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains(data + QStringLiteral(":22: 'x0' is not a valid integer value"))) << r.err.toStdString();
    EXPECT_FALSE(QFile::exists(png));
    r = Render({"--settings", settings, "--data", data, "--keep-going", png});
    EXPECT_EQ(r.status, 1);
    EXPECT_GT(QImage(png).width(), 0);
    EXPECT_EQ(QDir(dir.path()).entryList({QStringLiteral("*.tmp")}, QDir::Files | QDir::Hidden).size(), 0);
}

TEST_F(AtlasRunTest, ListsTheCategories) {
    WriteBytes(data, TwelveSpecies(true) + "5339462\r\n");
    RunResult r = Render({"--settings", settings, "--list", data});
    EXPECT_EQ(r.status, 1);
    const QStringList lines = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 13);
    EXPECT_EQ(lines[0], QStringLiteral("number\tname\taccepted\tskipped"));
    EXPECT_EQ(lines[1], QStringLiteral("1\t種1\t2\t0"));
    EXPECT_EQ(lines[7], QStringLiteral("7\t種7\t2\t0"));
    EXPECT_EQ(lines[12], QStringLiteral("12\t種12\t2\t1"));
    EXPECT_TRUE(r.err.contains(data + QStringLiteral(":22: "))) << r.err.toStdString();
    // At the fivefold precision the fivefold code is accepted too.
    r = Render({"--settings", settings, "--precision", "5", "--list", data});
    EXPECT_TRUE(r.out.contains(QStringLiteral("\n12\t種12\t3\t0\n"))) << r.out.toStdString();
    // No drawing, no figures; bad combinations are refused.
    EXPECT_EQ(Render({"--list", "--per-category", dir.filePath("x"), data}).status, 2);
    EXPECT_EQ(Render({"--group", "3", dir.filePath("x.png")}).status, 2);
    EXPECT_EQ(Render({"--per-category", dir.filePath("x"), "--group", "10"}).status, 2);
    EXPECT_EQ(Render({"--settings", settings, "--list", dir.filePath("none.grd")}).status, 1);
}

namespace {

QString ManifestOf(const QString& dir) { return QString::fromUtf8(ReadAll(dir + "/atlas.tsv")); }

int RunTool(const QString& program, const QStringList& arguments, QByteArray* out = nullptr) {
    QProcess p;
    p.start(program, arguments);
    if (!p.waitForFinished(60000)) return -1;
    if (out) *out = p.readAllStandardOutput();
    return p.exitCode();
}

}  // namespace

// Every figure option of the one-figure mode holds for an atlas figure: the
// same file, byte for byte, for every layout and at a scale; the profiles
// keep both map lines (a figure of layout 2 lost the south-north one).
TEST_F(AtlasRunTest, AnAtlasFigureIsTheOneFigureOfItsCategory) {
    const QString alone = dir.filePath(QStringLiteral("alone.grd"));
    WriteBytes(alone, kavum::platform::Utf8ToCp932("種1") + "\r\n5331461105\r\n53314611.12\r\n");
    // The one-figure mode titles the figure from the settings, an atlas
    // figure from its heading.
    const QString titled = dir.filePath(QStringLiteral("t.ini"));
    WriteBytes(titled, "[DataFile]\r\nMapFile=" KAVUM_SOURCE_DIR "/assets/Kavum_Nippon.mdt\r\nTitle=" +
                           kavum::platform::Utf8ToCp932("種1") + "\r\n[Draw]\r\nShowMode=3\r\n");
    const QString name = QStringLiteral("0001-種1");
    for (const char* layout : {"1", "2", "3"}) {
        for (const char* scale : {"1", "2.5"}) {
            for (const char* format : {"png", "pdf"}) {
                const QString tag = QStringLiteral("%1-%2-%3").arg(layout, scale, format);
                const QString out = dir.filePath("atlas-" + tag);
                const QString single = dir.filePath("single-" + tag);
                QDir().mkpath(single);
                const QString file = single + "/" + name + "." + format;
                RunResult r = Render({"--settings", titled, "--layout", layout, "--scale", scale, "--format", format,
                                      "--per-category", out, alone});
                ASSERT_EQ(r.status, 0) << r.err.toStdString();
                r = Render({"--settings", titled, "--layout", layout, "--scale", scale, "--data", alone, file});
                ASSERT_EQ(r.status, 0) << r.err.toStdString();
                const QByteArray expected = ReadAll(file);
                ASSERT_FALSE(expected.isEmpty());
                EXPECT_EQ(ReadAll(out + "/" + name + "." + format), expected) << tag.toStdString();
            }
        }
    }
    // --dpi gives the pixels of the one-figure mode; a metafile at a scale is refused.
    const QString out = dir.filePath(QStringLiteral("dpi"));
    ASSERT_EQ(Render({"--settings", settings, "--dpi", "300", "--per-category", out, alone}).status, 0);
    EXPECT_EQ(QImage(out + "/" + name + ".png").width(), 3178);
    EXPECT_EQ(Render({"--settings", settings, "--scale", "2", "--format", "emf", "--per-category", out, alone}).status, 2);
}

// A run owns its folder: a rerun after a species was inserted leaves
// exactly the new figures and a manifest of them; --keep-old keeps the old
// ones; --skip-existing draws only what changed.
TEST_F(AtlasRunTest, ARerunLeavesItsOwnFiguresAndManifest) {
    const QString out = dir.filePath(QStringLiteral("own"));
    ASSERT_EQ(Render({"--settings", settings, "--data", data, "--per-category", out, "--jobs", "2"}).status, 0);
    EXPECT_EQ(Figures(out).size(), 12);
    WriteBytes(data, kavum::platform::Utf8ToCp932("新種") + "\r\n5330461105\r\n" + TwelveSpecies(false));
    RunResult r = Render({"--settings", settings, "--data", data, "--per-category", out, "--jobs", "2"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const QStringList figures = Figures(out);
    ASSERT_EQ(figures.size(), 13) << figures.join(" ").toStdString();
    EXPECT_EQ(figures.first(), QStringLiteral("0001-新種.png"));
    EXPECT_EQ(figures.last(), QStringLiteral("0013-種12.png"));
    const QStringList lines = ManifestOf(out).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 14);
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("number\tfile\theading\tsource\taccepted\tskipped\tcells\tlowest\thighest\tstatus")));
    EXPECT_TRUE(lines[2].startsWith(QStringLiteral("2\t0002-種1.png\t種1\t") + data + ":4\t2\t0\t1\t")) << lines[2].toStdString();
    EXPECT_TRUE(lines[2].contains(QStringLiteral("\twritten\t")));

    // Resumed: nothing is drawn again while data and options stay.
    const QDateTime before = QFileInfo(out + "/0005-種4.png").lastModified();
    r = Render({"--settings", settings, "--data", data, "--per-category", out, "--skip-existing"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("図 13 枚のうち 0 枚を書き込みました")) && r.err.contains(QStringLiteral("以前の実行のままの図 13 枚")))
        << r.err.toStdString();
    EXPECT_EQ(QFileInfo(out + "/0005-種4.png").lastModified(), before);
    r = Render({"--settings", settings, "--layout", "1", "--data", data, "--per-category", out, "--skip-existing"});
    EXPECT_TRUE(r.err.contains(QStringLiteral("図 13 枚のうち 13 枚を書き込みました"))) << r.err.toStdString();

    // Back to twelve: every name moves, so the thirteen earlier figures
    // are removed, or kept with --keep-old.
    WriteBytes(data, TwelveSpecies(false));
    r = Render({"--settings", settings, "--data", data, "--per-category", out, "--keep-old"});
    EXPECT_TRUE(r.err.contains(QStringLiteral("以前の実行の図 13 枚を残しました"))) << r.err.toStdString();
    EXPECT_EQ(Figures(out).size(), 25);
    r = Render({"--settings", settings, "--data", data, "--per-category", out});
    EXPECT_EQ(Figures(out).size(), 12);
}

// A category without an accepted record is said and drawn with 記録なし,
// or left out; a heading with a comma and folder order are reported.
TEST_F(AtlasRunTest, EmptyCategoriesAndSuspiciousHeadings) {
    WriteBytes(data, kavum::platform::Utf8ToCp932("種1\r\n5331461105\r\n種2\r\n533146\r\n種3\r\n5333461105\r\n"));
    const QString out = dir.filePath(QStringLiteral("e"));
    RunResult r = Render({"--settings", settings, "--data", data, "--per-category", out});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(data + QStringLiteral(":3: 「種2」には受け入れられる記録がありません"))) << r.err.toStdString();
    ASSERT_TRUE(QFile::exists(out + "/0002-種2.png"));
    // The legend of the empty figure is wider than that of a figure with records.
    const QImage empty(out + "/0002-種2.png");
    const QImage full(out + "/0001-種1.png");
    EXPECT_NE(empty, full);
    r = Render({"--settings", settings, "--data", data, "--per-category", out, "--skip-empty"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(Figures(out), (QStringList{"0001-種1.png", "0002-種3.png"}));
    EXPECT_TRUE(ManifestOf(out).contains(QStringLiteral("left out: no record")));

    WriteBytes(data, kavum::platform::Utf8ToCp932("種1\r\n5331461105\r\nQuercus, Blume\r\n5333461105\r\n"));
    r = Render({"--settings", settings, "--data", data, "--per-category", dir.filePath("c")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains(data + QStringLiteral(":3: 「Quercus, Blume」はコンマを含むため"))) << r.err.toStdString();
}

// A folder that takes nothing is said once, with the reason, before
// anything is drawn.
TEST_F(AtlasRunTest, AFolderThatCannotBeWrittenStopsTheRunAtOnce) {
    const QString out = dir.filePath(QStringLiteral("ro"));
    QDir().mkpath(out);
    QFile::setPermissions(out, QFile::ReadOwner | QFile::ExeOwner);
    const RunResult r = Render({"--settings", settings, "--data", data, "--per-category", out});
    QFile::setPermissions(out, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.count(QStringLiteral("に書き込めません")), 1) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(out + QStringLiteral(" に書き込めません: 書き込みの許可がありません"))) << r.err.toStdString();
    EXPECT_FALSE(r.err.contains(QStringLiteral("枚を書き込みました")));
    EXPECT_TRUE(Figures(out).isEmpty());
}

// The book: a title page, the index with page numbers, a page per figure,
// outline entries; whole by qpdf, drawn by pdftoppm.
TEST_F(AtlasRunTest, ABookOfEveryFigure) {
    const QString book = dir.filePath(QStringLiteral("book.pdf"));
    RunResult r = Render({"--settings", settings, "--data", data, "--book", book, "--jobs", "2", "--scale", "1.5"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    QByteArray out;
    EXPECT_EQ(RunTool("qpdf", {"--check", book}, &out), 0) << out.toStdString();
    ASSERT_EQ(RunTool("qpdf", {"--show-npages", book}, &out), 0);
    EXPECT_EQ(out.trimmed(), "14");
    ASSERT_EQ(RunTool("pdftotext", {"-f", "2", "-l", "2", "-layout", book, "-"}, &out), 0);
    const QString index = QString::fromUtf8(out);
    EXPECT_TRUE(index.contains(QStringLiteral("索引")));
    EXPECT_TRUE(index.contains(QRegularExpression(QStringLiteral("種1\\s+3\\n")))) << index.toStdString();
    EXPECT_TRUE(index.contains(QRegularExpression(QStringLiteral("種12\\s+14\\n")))) << index.toStdString();
    ASSERT_EQ(RunTool("qpdf", {"--json", "--json-key=outlines", book}, &out), 0);
    EXPECT_EQ(out.count("\"title\""), 13) << out.left(400).toStdString();
    ASSERT_EQ(RunTool("pdftoppm", {"-r", "20", "-png", "-f", "3", "-l", "3", "-singlefile", book, dir.filePath("p3")}), 0);
    // The page is the figure at its scale (pdftoppm at 20 dpi of a 1.5-fold page).
    EXPECT_NEAR(QImage(dir.filePath("p3.png")).width(), 1017 * 1.5 * 20 / 96, 2);
}
