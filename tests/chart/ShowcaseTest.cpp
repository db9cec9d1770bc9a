// The demonstration chart drawn to the screen buffer, a bitmap and a
// metafile; the pictures are left in the build tree for a look.
#include "ChartTestUtil.h"

#include "platform/canvas/MetafileCanvas.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <gtest/gtest.h>

namespace kavum::chart::test {
namespace {

QString OutDir() {
    const QString dir = QStringLiteral(KAVUM_BINARY_DIR "/chart-showcase");
    QDir().mkpath(dir);
    return dir;
}

TEST(ChartShowcase, ScreenBitmapAndMetafileAgree) {
    TChart chart;
    BuildDemoChart(chart);
    chart.show();
    const QImage screen = chart.grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QImage bitmap = chart.PictureBitmap();
    ASSERT_EQ(screen.size(), bitmap.size());
    EXPECT_EQ(screen, bitmap);
    ASSERT_TRUE(bitmap.save(OutDir() + "/demo.png"));

    const QByteArray emf = chart.PictureMetafile();
    ASSERT_FALSE(emf.isEmpty());
    chart.SaveAsMetafile(OutDir() + "/demo.emf");
    QFile f(OutDir() + "/demo.emf");
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), emf);

    if (!QStandardPaths::findExecutable("emf2svg-conv").isEmpty()) {
        QString out;
        EXPECT_EQ(RunProgram("emf2svg-conv", {"-i", OutDir() + "/demo.emf", "-o", OutDir() + "/demo.svg"}, &out), 0)
            << out.toStdString();
        if (!QStandardPaths::findExecutable("rsvg-convert").isEmpty()) {
            RunProgram("rsvg-convert", {OutDir() + "/demo.svg", "-o", OutDir() + "/demo-emf.png"});
        }
    }
}

}  // namespace
}  // namespace kavum::chart::test
