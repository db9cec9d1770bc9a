// Input a careless or hostile user may give the window: settings files that
// cannot be read, map and data files that are no regular files, and
// messages holding markup, NUL bytes or megabytes of text.
#include "WindowTest.h"

#include "app/FormMain.h"
#include "app/Settings.h"
#include "app/Widgets.h"
#include "platform/Cp932.h"
#include "platform/Dialogs.h"
#include "platform/Errors.h"
#include "platform/canvas/Canvas.h"
#include "chart/Chart.h"

#include <QAction>
#include <QApplication>
#include <QImage>
#include <QFileInfo>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <memory>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

using kavum::app::TFormMain;
using kavum::app::test::Assets;
using kavum::app::test::ReadBytes;
using kavum::app::test::WindowTest;
using kavum::app::test::WriteBytes;
using kavum::platform::MessageIcon;
using kavum::platform::PlainMessageText;
using kavum::platform::ScriptedDialogs;

namespace {

class HostileInputTest : public WindowTest {
protected:
    QString Ini() const { return dir.filePath(QStringLiteral("kavum.ini")); }
    TFormMain& Start() {
        NewWindow();
        return *window;
    }
    void Chmod(const QString& path, mode_t mode) { ASSERT_EQ(chmod(QFile::encodeName(path).constData(), mode), 0); }
};

TEST_F(HostileInputTest, SettingsFileThatCannotBeReadIsReportedAndNotReplaced) {
    const std::string mine = kavum::platform::Utf8ToCp932(
        "; 私の設定\r\n[DataFile]\r\nMapFile=/surveys/alps.mdt\r\nGrdFile=/surveys/alps.grd\r\n[Mine]\r\nkeep=1\r\n");
    WriteBytes(Ini(), mine);
    Chmod(Ini(), 0200);  // there, writable, but not readable
    TFormMain& w = Start();
    const auto shown = dialogs.UsesOf(ScriptedDialogs::Kind::Message);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_TRUE(shown[0].text.contains(Ini())) << shown[0].text.toStdString();
    EXPECT_TRUE(shown[0].text.startsWith(QStringLiteral("設定ファイル")));
    EXPECT_EQ(shown[0].icon, MessageIcon::Warning);

    // Quitting asks; declined, the file stays as it was and the program ends.
    w.show();
    w.MenuQuit->trigger();
    ASSERT_EQ(dialogs.UsesOf(ScriptedDialogs::Kind::Confirm).size(), 1u);
    EXPECT_TRUE(dialogs.UsesOf(ScriptedDialogs::Kind::Confirm)[0].text.contains(Ini()));
    EXPECT_FALSE(w.isVisible());
    Chmod(Ini(), 0644);
    EXPECT_EQ(ReadBytes(Ini()), mine);

    // Reloading it while it is unreadable: reported again, nothing written.
    Chmod(Ini(), 0200);
    dialogs.ClearUses();
    dialogs.AnswerOpen(Ini());
    w.OpenIniFileItem->trigger();
    EXPECT_EQ(dialogs.UsesOf(ScriptedDialogs::Kind::Message).size(), 1u);
    // Saving a copy over it without agreeing: refused with a message.
    dialogs.AnswerSave(Ini());
    w.SaveIniFileItem->trigger();
    Chmod(Ini(), 0644);
    EXPECT_EQ(ReadBytes(Ini()), mine);

    // Agreed: it is replaced by the board's settings.
    Chmod(Ini(), 0200);
    dialogs.AnswerConfirm(true);
    w.show();
    w.MenuQuit->trigger();
    Chmod(Ini(), 0644);
    EXPECT_NE(ReadBytes(Ini()), mine);
    EXPECT_NE(ReadBytes(Ini()).find("MLW="), std::string::npos);
}

TEST_F(HostileInputTest, MapAndDataFilesMustBeRegularFiles) {
    TFormMain& w = Start();
    w.show();
    const QString folder = dir.filePath(QStringLiteral("maps.mdt"));
    QDir().mkpath(folder);
    w.EditMapFile->setText(folder);
    EXPECT_FALSE(w.RunCommand([&] { w.NewMapBtnClick(); }));
    EXPECT_EQ(dialogs.Messages().last(), QStringLiteral("地図ファイル %1 を読み込めません（フォルダーです）").arg(folder));
    EXPECT_TRUE(dialogs.UsesOf(ScriptedDialogs::Kind::Open).empty());  // refused, not asked for

    const QString fifo = dir.filePath(QStringLiteral("pipe.mdt"));
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0644), 0);
    w.EditMapFile->setText(fifo);
    EXPECT_FALSE(w.RunCommand([&] { w.NewMapBtnClick(); }));
    EXPECT_EQ(dialogs.Messages().last(), QStringLiteral("地図ファイル %1 を読み込めません（通常のファイルではありません）").arg(fifo));

    // A FIFO as data file: the map is drawn, the data refused at once.
    const QString data = dir.filePath(QStringLiteral("pipe.grd"));
    ASSERT_EQ(mkfifo(QFile::encodeName(data).constData(), 0644), 0);
    w.EditMapFile->setText(Assets + QStringLiteral("/Kavum_Nippon.mdt"));
    w.EditGrdFile->setText(data);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(w.RunCommand([&] { w.NewMapBtnClick(); }));
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 10.0);
    EXPECT_EQ(dialogs.Messages().last(), QStringLiteral("分布データファイル %1 を読み込めません（通常のファイルではありません）").arg(data));
    EXPECT_GT(w.SeriesH0->Count(), 0);
}

TEST_F(HostileInputTest, MessagesAreShownWholeAsPlainText) {
    TFormMain& w = Start();
    // A message holding a NUL reaches the box whole.
    static const char raw[] = "'5\0003\0' is not a valid integer value";
    const std::string withNul(raw, sizeof raw - 1);
    EXPECT_FALSE(w.RunCommand([&] { throw kavum::platform::ConversionError(withNul); }));
    EXPECT_EQ(dialogs.Messages().last().size(), static_cast<qsizetype>(withNul.size()));

    // Control characters become visible symbols, invalid bytes \xNN, markup
    // stays the characters it is made of.
    EXPECT_EQ(PlainMessageText(QString::fromUtf8(withNul.data(), static_cast<qsizetype>(withNul.size()))),
              QStringLiteral("'5␀3␀' is not a valid integer value"));
    EXPECT_EQ(PlainMessageText(kavum::platform::Cp932ToQString("\x1b[31m\xff\x80")), QStringLiteral("␛[31m\\xFF\\x80"));
    EXPECT_EQ(PlainMessageText(QStringLiteral("<a href=x>y</a>\n二行目")), QStringLiteral("<a href=x>y</a>\n二行目"));
    // Longer than a screen: cut, with an ellipsis.
    const QString huge = PlainMessageText(QString(10'000'000, QLatin1Char('x')));
    EXPECT_LT(huge.size(), 5000);
    EXPECT_TRUE(huge.endsWith(QChar(0x2026)));
    const QString manyLines = PlainMessageText(QStringLiteral("line\n").repeated(1000));
    EXPECT_LT(manyLines.count(QLatin1Char('\n')), 50);
    EXPECT_TRUE(manyLines.endsWith(QChar(0x2026)));

    // The real message box shows plain text.
    bool checked = false;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        EXPECT_EQ(box->textFormat(), Qt::PlainText);
        EXPECT_EQ(box->text(), QStringLiteral("<font size=7 color=red>x</font>␀"));
        checked = true;
        box->accept();
    });
    kavum::platform::QtDialogs real;
    real.ShowMessage(nullptr, QStringLiteral("Kavum for Windows"), QStringLiteral("<font size=7 color=red>x</font>") + QChar(0),
                     MessageIcon::Error);
    EXPECT_TRUE(checked);
}

TEST_F(HostileInputTest, HugeHeadingIsMeasuredAndDrawnInBoundedTime) {
    // Long texts are measured as the sum of their characters: within a
    // fraction of a percent of laying out the whole.
    QFontMetrics metrics(QFont(QStringLiteral("ＭＳ Ｐ明朝"), 9));
    const QString mixed = QStringLiteral("ブナ Fagus crenata 53394611 標高1250m ").repeated(200);
    ASSERT_GT(mixed.size(), kavum::platform::LongTextLength);
    EXPECT_NEAR(kavum::platform::TextWidthIn(metrics, mixed), metrics.horizontalAdvance(mixed),
                metrics.horizontalAdvance(mixed) / 100.0);
    const QString shortName = QStringLiteral("ブナ Fagus crenata");
    EXPECT_EQ(kavum::platform::TextWidthIn(metrics, shortName), metrics.horizontalAdvance(shortName));
    // Character positions: exact for labels (a surrogate pair takes one
    // place), linear for a long text, and always in order.
    const QString label = QStringLiteral("標高1500～2500m 𠮷野");
    const std::vector<int> exact = kavum::platform::PrefixWidths(metrics, label);
    for (qsizetype i = 0; i <= label.size(); ++i) {
        if (i > 0 && i < label.size() && label.at(i).isLowSurrogate()) {
            EXPECT_EQ(exact[static_cast<std::size_t>(i)], exact[static_cast<std::size_t>(i - 1)]);
        } else {
            EXPECT_EQ(exact[static_cast<std::size_t>(i)], metrics.horizontalAdvance(label.left(i))) << i;
        }
    }
    const QString longLabel = label.repeated(1000);
    const std::vector<int> positions = kavum::platform::PrefixWidths(metrics, longLabel);
    ASSERT_EQ(positions.size(), static_cast<std::size_t>(longLabel.size()) + 1);
    EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end()));
    EXPECT_NEAR(positions.back(), metrics.horizontalAdvance(longLabel), metrics.horizontalAdvance(longLabel) / 100.0);
    const QString prefix = kavum::platform::TextPrefixWithin(metrics, mixed, 300);
    EXPECT_GE(metrics.horizontalAdvance(prefix), 300);
    EXPECT_LT(prefix.size(), 100);

    std::string data = kavum::platform::Utf8ToCp932("ブナ");
    data += std::string(10'000'000, 'A');
    data += "\r\n53394611\r\n";
    const QString grd = dir.filePath(QStringLiteral("huge.grd"));
    WriteBytes(grd, data);
    TFormMain& w = Start();
    w.EditMapFile->setText(Assets + QStringLiteral("/Kavum_Nippon.mdt"));
    w.EditGrdFile->setText(grd);
    w.show();
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(w.RunCommand([&] { w.NewMapBtnClick(); }));
    const QImage shot = w.Chart1->grab().toImage();
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 10.0);
    EXPECT_FALSE(shot.isNull());
    EXPECT_EQ(w.State.LegendNames[1].size(), 10'000'002);
    EXPECT_GT(w.State.LegendTextWidth, 10'000'000);  // the box as wide as the name
}

TEST(KavumRenderFiles, DumpsAreWrittenWholeOrNotAtAll) {
    QTemporaryDir dir;
    const QString exe = QStringLiteral(KAVUM_BINARY_DIR "/kavum-render");
    const QString settings = dir.filePath(QStringLiteral("k.ini"));
    WriteBytes(settings, "[DataFile]\r\nMapFile=" KAVUM_SOURCE_DIR "/assets/Kavum_Nippon.mdt\r\nGrdFile=" KAVUM_SOURCE_DIR
                         "/assets/samples/mountains.grd\r\n");
    const QString out = dir.filePath(QStringLiteral("out"));
    QDir().mkpath(out);
    WriteBytes(out + QStringLiteral("/p.csv"), "old points");
    ASSERT_EQ(chmod(QFile::encodeName(out).constData(), 0555), 0);
    QProcess p;
    // A folder that takes no file: the old dump stays whole, nothing else appears.
    p.start(exe, {"--settings", settings, "--dump-points", out + QStringLiteral("/p.csv"), dir.filePath("f.png")});
    ASSERT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitCode(), 1);
    EXPECT_TRUE(QString::fromUtf8(p.readAllStandardError()).contains(QStringLiteral("p.csv に書き込めません")));
    EXPECT_EQ(QDir(out).entryList(QDir::Files | QDir::Hidden).size(), 1);
    EXPECT_EQ(ReadBytes(out + QStringLiteral("/p.csv")), "old points");
    chmod(QFile::encodeName(out).constData(), 0755);
    // A device that is always full is no file to write a dump to.
    p.start(exe, {"--settings", settings, "--dump-state", "/dev/full", dir.filePath("f.png")});
    ASSERT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitCode(), 1);
    // A map file that is a folder: the Japanese message, not a question.
    p.start(exe, {"--settings", settings, "--map", dir.path(), dir.filePath("f.png")});
    ASSERT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitCode(), 1);
    EXPECT_TRUE(QString::fromUtf8(p.readAllStandardError()).contains(QStringLiteral("地図ファイル %1 を読み込めません").arg(dir.path())));
}

// A symbolic link planted under a figure's name is replaced by the figure;
// the file it names is never written. The same for a single figure, a
// dump, and the figures of an atlas run. A settings file given as a FIFO is
// refused as what it is, not as a missing file.
TEST(KavumRenderFiles, PlantedLinksAreReplacedNotWrittenThrough) {
    QTemporaryDir dir;
    const QString exe = QStringLiteral(KAVUM_BINARY_DIR "/kavum-render");
    const QString settings = dir.filePath(QStringLiteral("k.ini"));
    WriteBytes(settings, "[DataFile]\r\nMapFile=" KAVUM_SOURCE_DIR "/assets/Kavum_Nippon.mdt\r\nGrdFile=" KAVUM_SOURCE_DIR
                         "/assets/samples/mountains.grd\r\n");
    const QString victim = dir.filePath(QStringLiteral("victim.txt"));
    WriteBytes(victim, "precious");
    const QString out = dir.filePath(QStringLiteral("out"));
    QDir().mkpath(out);
    auto plant = [&](const QString& name) {
        const QString link = out + QLatin1Char('/') + name;
        EXPECT_EQ(symlink("../victim.txt", QFile::encodeName(link).constData()), 0);
        return link;
    };
    const QString figure = plant(QStringLiteral("one.png"));
    const QString dump = plant(QStringLiteral("state.txt"));
    QProcess p;
    // Without --force the figure is refused, as the link's target is no
    // figure; nothing is written either way.
    p.start(exe, {"--settings", settings, figure});
    ASSERT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitCode(), 1);
    EXPECT_EQ(ReadBytes(victim), "precious");
    EXPECT_TRUE(QFileInfo(figure).isSymLink());
    p.start(exe, {"--settings", settings, "--force", "--dump-state", dump, figure});
    ASSERT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    EXPECT_EQ(ReadBytes(victim), "precious");
    EXPECT_FALSE(QFileInfo(figure).isSymLink());
    EXPECT_TRUE(QImage(figure).width() > 0);
    EXPECT_FALSE(QFileInfo(dump).isSymLink());
    EXPECT_TRUE(ReadBytes(dump).starts_with("ShowMode="));

    // The atlas: the first figure's name taken by a link.
    const QString atlas = dir.filePath(QStringLiteral("atlas"));
    QDir().mkpath(atlas);
    const QString data = dir.filePath(QStringLiteral("flora.grd"));
    WriteBytes(data, "Abies\r\n53394611\r\nBetula\r\n53394612\r\n");
    const QString first = atlas + QStringLiteral("/0001-Abies.png");
    ASSERT_EQ(symlink("../victim.txt", QFile::encodeName(first).constData()), 0);
    p.start(exe, {"--settings", settings, "--per-category", atlas, "--jobs", "1", data});
    ASSERT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    EXPECT_EQ(ReadBytes(victim), "precious");
    EXPECT_FALSE(QFileInfo(first).isSymLink());
    EXPECT_TRUE(QImage(first).width() > 0);

    const QString fifo = dir.filePath(QStringLiteral("pipe.ini"));
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0644), 0);
    p.start(exe, {"--settings", fifo, dir.filePath("f.png")});
    ASSERT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitCode(), 1);
    const QString err = QString::fromUtf8(p.readAllStandardError());
    EXPECT_TRUE(err.contains(QStringLiteral("設定ファイル %1 を読み込めません（通常のファイルではありません）").arg(fifo)))
        << err.toStdString();
}

// Record-line messages of every mode show control characters as symbols:
// an ESC or a CR from a data file never reaches the terminal.
TEST(KavumRenderFiles, ListAndAtlasMessagesArePlainText) {
    QTemporaryDir dir;
    const QString exe = QStringLiteral(KAVUM_BINARY_DIR "/kavum-render");
    const QString settings = dir.filePath(QStringLiteral("k.ini"));
    WriteBytes(settings, "[DataFile]\r\nMapFile=" KAVUM_SOURCE_DIR "/assets/Kavum_Nippon.mdt\r\n");
    const QString data = dir.filePath(QStringLiteral("d.grd"));
    WriteBytes(data, "Abies\x1b[2J\r\n35.\x1b]0;x\x07\r,139\r\n");
    QProcess p;
    for (const QStringList& mode : {QStringList{"--list"}, QStringList{"--per-category", dir.filePath("a"), "--jobs", "1"}}) {
        p.start(exe, QStringList{"--settings", settings} + mode + QStringList{data});
        ASSERT_TRUE(p.waitForFinished(60000));
        EXPECT_EQ(p.exitCode(), 1);
        const QByteArray all = p.readAllStandardError() + p.readAllStandardOutput();
        EXPECT_FALSE(all.contains('\x1b')) << mode.join(' ').toStdString() << ": " << all.toStdString();
        EXPECT_FALSE(all.contains('\x07'));
        EXPECT_TRUE(QString::fromUtf8(all).contains(QChar(0x241B))) << all.toStdString();
    }
}

}  // namespace
