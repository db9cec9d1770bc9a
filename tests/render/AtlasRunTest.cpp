// kavum-render's atlas and list modes, run as a user runs them.
#include "platform/Cp932.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

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
    QStringList Figures(const QString& out) const {
        return QDir(out).entryList(QDir::Files | QDir::Hidden, QDir::Name);
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
    EXPECT_TRUE(r.err.contains(QStringLiteral("12 of 12 figures written, 24 records plotted, 0 skipped")))
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
    EXPECT_TRUE(r.err.contains(QStringLiteral("11 of 12 figures written"))) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("1 failures"))) << r.err.toStdString();
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
