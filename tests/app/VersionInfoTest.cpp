#include "app/AboutBox.h"
#include "app/VersionInfo.h"

#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fstream>

using namespace kavum::app;

namespace {

std::string Block(const std::string& table, const std::string& fileVersion) {
    return "VS_VERSION_INFO\nStringFileInfo\\" + table + "\\ProductName=Kavum\nStringFileInfo\\" + table +
           "\\FileVersion=" + fileVersion + "\n";
}

}  // namespace

TEST(VersionInfo, VersionTextFromFileVersion) {
    EXPECT_EQ(VersionTextFromFileVersion("0.9.5.0"), "0.95");
    EXPECT_EQ(VersionTextFromFileVersion("1.10.2.7"), "1.102");
    EXPECT_EQ(VersionTextFromFileVersion("1.09.05.0"), "1.95");   // rewritten numbers
    EXPECT_EQ(VersionTextFromFileVersion("2..3.4."), "2.34");     // empty pieces dropped
    EXPECT_EQ(VersionTextFromFileVersion("3.1.4"), "3.14");       // the build is not needed
    EXPECT_EQ(VersionTextFromFileVersion("3.1"), "");
    EXPECT_EQ(VersionTextFromFileVersion("a.b.c.d"), "");
    EXPECT_EQ(VersionTextFromFileVersion(""), "");
}

TEST(VersionInfo, OnlyTheJapaneseCodePage932TableCounts) {
    EXPECT_EQ(VersionTextFromBlock(Block("041103A4", "0.9.5.0")), "0.95");
    EXPECT_EQ(VersionTextFromBlock(Block("041103a4", "1.10.2.7")), "1.102");
    EXPECT_EQ(VersionTextFromBlock(Block("040904B0", "0.9.5.0")), "");
    EXPECT_EQ(VersionTextFromBlock("VS_VERSION_INFO\nStringFileInfo\\041103A4\\ProductName=Kavum\n"), "");
    EXPECT_EQ(VersionTextFromBlock("garbage\nStringFileInfo\\041103A4\\FileVersion=1.2.3.4\n"), "");
    EXPECT_EQ(VerQueryValue(Block("041103A4", "1.2.3.4"), "stringfileinfo\\041103A4\\productname"), "Kavum");
}

TEST(VersionInfo, ReadFromTheProgramFile) {
    // This test program carries the block of the program.
    const QString self = QCoreApplication::applicationFilePath();
    EXPECT_GT(GetFileVersionInfoSize(self), 0u);
    std::string block;
    ASSERT_TRUE(GetFileVersionInfo(self, block));
    EXPECT_EQ(block, std::string(BuiltInVersionBlock()));
    const std::string text = ReadVersionText(self);
    EXPECT_FALSE(text.empty());
    EXPECT_EQ(text, VersionTextFromBlock(BuiltInVersionBlock()));
    const std::string expected = VersionTextFromFileVersion(KAVUM_VERSION ".0");
    EXPECT_EQ(text, expected);

    // Files without a block: not an executable, another executable, none at all.
    QTemporaryDir dir;
    const QString text1 = dir.filePath(QStringLiteral("plain.txt"));
    std::ofstream(text1.toStdString()) << "VS_VERSION_INFO\nStringFileInfo\\041103A4\\FileVersion=1.2.3.4\n";
    EXPECT_EQ(GetFileVersionInfoSize(text1), 0u);
    EXPECT_EQ(ReadVersionText(text1), "");
    EXPECT_EQ(GetFileVersionInfoSize(QStringLiteral("/bin/sh")), 0u);
    EXPECT_EQ(ReadVersionText(dir.filePath(QStringLiteral("missing"))), "");
}

TEST(VersionInfo, AboutBoxShowsTheVersionText) {
    TAboutBox box(QStringLiteral("0.95"));
    EXPECT_EQ(box.Version->text(), QStringLiteral("Version 0.95"));
    EXPECT_EQ(box.windowTitle(), QStringLiteral(" バージョン情報"));
    EXPECT_EQ(box.size(), QSize(345, 133));
    EXPECT_EQ(box.ProductName->text(), QStringLiteral("Kavum, 3-d Distribution Map"));
    EXPECT_EQ(box.OKButton->geometry(), QRect(272, 97, 55, 27));
    TAboutBox empty{QString()};
    EXPECT_EQ(empty.Version->text(), QStringLiteral("Version "));
}
