#include "app/Settings.h"
#include "platform/Cp932.h"
#include "platform/Errors.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fstream>
#include <sys/stat.h>

using kavum::app::LoadSettings;
using kavum::app::ReadSettings;
using kavum::app::SaveSettings;
using kavum::app::SettingsValues;
using kavum::app::WriteSettings;
using kavum::platform::ProfileFile;

namespace {

// The file the program writes from the defaults, the map file box empty.
std::string DefaultFileText() {
    std::string text =
        "[DataFile]\r\nTitle=" + kavum::platform::Utf8ToCp932("日本植物三面分布図") +
        "\r\nMapFile=\r\nGrdFile=Noname.grd\r\n"
        "[Draw]\r\nHorizonMap=1\r\nProfileMap=1\r\n"
        "[Map]\r\nGY1=30.00\r\nGY2=46.00\r\nGX1=128.00\r\nGX2=146.00\r\nGH2=3800\r\nI2K=1.2208\r\n"
        "GridSize=1\r\nMeshSize=0\r\nMapColor=0\r\nSubColor=10789024\r\nMshColor=16776960\r\n"
        "Prefecture=0\r\nMLW=1\r\n";
    const char* brushes[] = {"16711680", "16776960", "32768", "65280", "65535",
                             "16711935", "255",      "15780518", "8421504"};
    for (int i = 1; i <= 9; ++i) {
        text += "[Mark" + std::to_string(i) + "]\r\nStyl=" + std::to_string(i) + "\r\nSize=3\r\nbrush=" +
                brushes[i - 1] + "\r\npen=0\r\n";
    }
    return text;
}

SettingsValues Read(const std::string& text) {
    return ReadSettings(ProfileFile::FromText(text), QStringLiteral("current.mdt"));
}

}  // namespace

TEST(Settings, DefaultsWrittenIntoAnEmptyFileInTheTableOrder) {
    ProfileFile file;
    WriteSettings(file, kavum::app::DefaultSettings(QString()));
    EXPECT_EQ(file.Text(), DefaultFileText());
}

TEST(Settings, EveryKeyAbsentGivesTheDefaults) {
    const SettingsValues v = Read("");
    EXPECT_EQ(v.Title, QStringLiteral("日本植物三面分布図"));
    EXPECT_EQ(v.MapFile, QStringLiteral("current.mdt"));  // the map file in use
    EXPECT_EQ(v.GrdFile, QStringLiteral("Noname.grd"));
    EXPECT_TRUE(v.HorizonMap);
    EXPECT_TRUE(v.ProfileMap);
    EXPECT_EQ(v.GY1 + v.GY2 + v.GX1 + v.GX2 + v.GH2 + v.I2K, QStringLiteral("30.0046.00128.00146.0038001.2208"));
    EXPECT_EQ(v.GridSize, 1);
    EXPECT_EQ(v.MeshSize, 0);
    EXPECT_EQ(v.SubColor, 10789024u);
    EXPECT_EQ(v.MshColor, 16776960u);
    EXPECT_EQ(v.MLW, 1);
    EXPECT_EQ(v.Marks[9].Style, 9);
    EXPECT_EQ(v.Marks[9].BrushColor, 0x808080);
    EXPECT_EQ(v.Marks[8].BrushColor, 0xF0CAA6);
}

TEST(Settings, NumbersInDecimalOrHexadecimalAndBadOnesFallBack) {
    const SettingsValues v = Read(
        "[Map]\nMapColor=$0000FF\nSubColor=0x0000FF\nMshColor=0X00ff00\nGridSize=3\nMeshSize=abc\n"
        "MLW=-2\nPrefecture=7\n[Mark2]\nStyl= 12 \nSize=\nbrush=-1\n");
    EXPECT_EQ(v.MapColor, 255u);
    EXPECT_EQ(v.SubColor, 255u);
    EXPECT_EQ(v.MshColor, 0x00FF00u);
    EXPECT_EQ(v.GridSize, 3);    // outside the list, kept
    EXPECT_EQ(v.MeshSize, 0);    // unparsable: default
    EXPECT_EQ(v.MLW, -2);        // not checked
    EXPECT_TRUE(v.Prefecture);   // any value other than 0
    EXPECT_EQ(v.Marks[2].Style, 12);
    EXPECT_EQ(v.Marks[2].Size, 3);  // empty: default
    EXPECT_EQ(v.Marks[2].BrushColor, -1);

    ProfileFile out;
    WriteSettings(out, v);
    EXPECT_EQ(out.ReadString("Map", "MapColor", ""), "255");
    EXPECT_EQ(out.ReadString("Mark2", "brush", ""), "-1");
}

TEST(Settings, EmptyTextValueIsKeptNamesMatchInAnyCase) {
    const SettingsValues v = Read("[datafile]\ntitle=\nGRDFILE= a b.grd \n[DRAW]\nhorizonmap=0\n");
    EXPECT_EQ(v.Title, QString());
    EXPECT_EQ(v.GrdFile, QStringLiteral("a b.grd"));
    EXPECT_FALSE(v.HorizonMap);
}

TEST(Settings, ShiftJisTextsRoundTrip) {
    const std::string title = kavum::platform::Utf8ToCp932("ブナ科の分布　ｶﾀｶﾅ");
    SettingsValues v = Read("[DataFile]\nTitle=" + title + "\n");
    EXPECT_EQ(v.Title, QStringLiteral("ブナ科の分布　ｶﾀｶﾅ"));
    ProfileFile out;
    WriteSettings(out, v);
    EXPECT_EQ(out.ReadString("DataFile", "Title", ""), title);
}

TEST(Settings, WritingReplacesInPlaceAndKeepsUnknownEntries) {
    ProfileFile file = ProfileFile::FromText(
        "; my settings\n[Map]\nmlw=2\nComment=keep me\nGY1=31.00\n[User]\nx=1\n[DataFile]\nTitle=old\n");
    SettingsValues v = kavum::app::DefaultSettings(QString());
    v.MLW = 2;
    WriteSettings(file, v);
    const std::string text = file.Text();
    EXPECT_EQ(text.rfind("; my settings\r\n[Map]\r\nMLW=2\r\nComment=keep me\r\nGY1=30.00\r\n", 0), 0u) << text;
    EXPECT_NE(text.find("[User]\r\nx=1\r\n[DataFile]\r\nTitle="), std::string::npos) << text;
    EXPECT_EQ(file.ReadString("Map", "Comment", ""), "keep me");
    EXPECT_EQ(file.ReadString("Mark9", "brush", ""), "8421504");
}

TEST(Settings, LineBreaksInATextCannotSplitTheEntry) {
    SettingsValues v = kavum::app::DefaultSettings(QString());
    v.GrdFile = QStringLiteral("a\nGridSize=12\r.grd");
    ProfileFile file;
    WriteSettings(file, v);
    EXPECT_EQ(file.ReadString("DataFile", "GrdFile", ""), "a GridSize=12 .grd");
    EXPECT_EQ(file.ReadString("Map", "GridSize", ""), "1");
}

TEST(Settings, SaveKeepsTheFileAndReportsAFileThatCannotBeWritten) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("kavum.ini"));
    {
        std::ofstream out(path.toStdString(), std::ios::binary);
        out << "[Other]\r\nkey=value\r\n";
    }
    SettingsValues v = kavum::app::DefaultSettings(QString());
    v.GridSize = 12;
    SaveSettings(path, v);
    EXPECT_EQ(LoadSettings(path, QString()).GridSize, 12);
    EXPECT_EQ(kavum::platform::GetProfileString(path.toStdString(), "Other", "key", ""), "value");

    ASSERT_EQ(chmod(path.toLocal8Bit().constData(), 0444), 0);
    v.GridSize = 5;
    try {
        SaveSettings(path, v);
        FAIL() << "no error";
    } catch (const kavum::platform::FileError& e) {
        EXPECT_EQ(QString::fromUtf8(e.what()), path + QStringLiteral(" に書き込めません（アクセスが許可されていません）"));
    }
    EXPECT_EQ(LoadSettings(path, QString()).GridSize, 12);

    EXPECT_THROW(SaveSettings(dir.filePath(QStringLiteral("missing/kavum.ini")), v), kavum::platform::FileError);
}
