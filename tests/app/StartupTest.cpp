#include "app/Startup.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace kavum::app;

TEST(Startup, SettingsArgumentByExtensionInAnyCase) {
    EXPECT_TRUE(IsSettingsArgument(QStringLiteral("D:\\work\\alps.Ini")));
    EXPECT_TRUE(IsSettingsArgument(QStringLiteral("/home/u/alps.INI")));
    EXPECT_TRUE(IsSettingsArgument(QStringLiteral("alps.ini")));
    EXPECT_FALSE(IsSettingsArgument(QStringLiteral("survey.grd")));
    EXPECT_FALSE(IsSettingsArgument(QStringLiteral("settings")));
    EXPECT_FALSE(IsSettingsArgument(QStringLiteral("/tmp/x.ini/settings")));
    EXPECT_FALSE(IsSettingsArgument(QStringLiteral("alps.ini.bak")));
    EXPECT_FALSE(IsSettingsArgument(QStringLiteral("alps.ınİ")));  // not ASCII letters
}

TEST(Startup, SettingsPathBesideTheExecutable) {
    EXPECT_EQ(SettingsPathBesideExecutable(QStringLiteral("C:/Maps/Kavum.exe")), QStringLiteral("C:/Maps/Kavum.ini"));
    EXPECT_EQ(SettingsPathBesideExecutable(QStringLiteral("/opt/kavum/kavum")), QStringLiteral("/opt/kavum/kavum.ini"));
    EXPECT_EQ(SettingsPathBesideExecutable(QStringLiteral("/opt/k.1/kavum")), QStringLiteral("/opt/k.1/kavum.ini"));
}

TEST(Startup, CommandLineAndInstalledProgram) {
    const QString exe = QStringLiteral("/opt/kavum/kavum");
    const QString user = QStringLiteral("/home/u/.config/kavum/kavum.ini");
    const ExecutableFolder writable{true, false};
    const ExecutableFolder installed{false, false};
    const ExecutableFolder installedWithSettings{false, true};
    EXPECT_EQ(ResolveSettingsPath(exe, {}, writable, user), QStringLiteral("/opt/kavum/kavum.ini"));
    EXPECT_EQ(ResolveSettingsPath(exe, {QStringLiteral("D:\\work\\alps.Ini")}, writable, user),
              QStringLiteral("D:\\work\\alps.Ini"));
    EXPECT_EQ(ResolveSettingsPath(exe, {QStringLiteral("survey.grd"), QStringLiteral("b.ini")}, writable, user),
              QStringLiteral("/opt/kavum/kavum.ini"));  // only the first argument counts
    EXPECT_EQ(ResolveSettingsPath(exe, {QStringLiteral("noextension")}, writable, user),
              QStringLiteral("/opt/kavum/kavum.ini"));
    EXPECT_EQ(ResolveSettingsPath(exe, {}, installed, user), user);
    EXPECT_EQ(ResolveSettingsPath(exe, {}, installedWithSettings, user), QStringLiteral("/opt/kavum/kavum.ini"));
    EXPECT_EQ(ResolveSettingsPath(exe, {QStringLiteral("alps.ini")}, installed, user), QStringLiteral("alps.ini"));
}

TEST(Startup, ProbeSeesAReadOnlyFolderAndItsSettingsFile) {
    QTemporaryDir dir;
    const QString exe = dir.filePath(QStringLiteral("kavum"));
    ExecutableFolder f = ProbeExecutableFolder(exe);
    EXPECT_TRUE(f.writable);
    EXPECT_FALSE(f.holdsSettings);
    QFile settings(dir.filePath(QStringLiteral("kavum.ini")));
    ASSERT_TRUE(settings.open(QIODevice::WriteOnly));
    settings.close();
    ASSERT_EQ(chmod(QFile::encodeName(dir.path()).constData(), 0555), 0);
    f = ProbeExecutableFolder(exe);
    EXPECT_FALSE(f.writable);
    EXPECT_TRUE(f.holdsSettings);
    chmod(QFile::encodeName(dir.path()).constData(), 0755);
}

TEST(Startup, ManualFoundInTheFirstFolderThatHoldsIt) {
    QTemporaryDir a;
    QTemporaryDir b;
    QFile index(b.filePath(QStringLiteral("index.html")));
    ASSERT_TRUE(index.open(QIODevice::WriteOnly));
    index.close();
    EXPECT_EQ(FindManualIndex({a.path(), b.path()}), QFileInfo(index).absoluteFilePath());
    EXPECT_EQ(FindManualIndex({a.path()}), QString());
}
