// The window as a view of its document: the board's boxes write into the
// document, the document's changes show in them, and the window's figure is
// the figure of a document drawn without a window.
#include "app/FormMain.h"
#include "app/Widgets.h"
#include "chart/Chart.h"
#include "doc/Document.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

using kavum::app::TFormMain;
using kavum::platform::ScriptedDialogs;

const QString MapFile = QStringLiteral(KAVUM_SOURCE_DIR "/assets/Kavum_Nippon.mdt");
const QString Sample = QStringLiteral(KAVUM_SOURCE_DIR "/assets/samples/mountains-mesh.grd");

struct Window {
    QTemporaryDir dir;
    ScriptedDialogs dialogs;
    TFormMain form{dir.filePath(QStringLiteral("kavum")), QStringList{}, dialogs};
};

TEST(DocumentView, BoxesWriteIntoTheDocument) {
    Window w;
    TFormMain& f = w.form;
    f.EditTitle->setText(QStringLiteral("ブナ林"));
    f.EditGX1->setText(QStringLiteral("135.30"));
    f.EditSWGrid->setText(QStringLiteral("5339"));
    EXPECT_EQ(f.Doc.Board.Title, QStringLiteral("ブナ林"));
    EXPECT_EQ(f.Doc.Board.GX1, QStringLiteral("135.30"));
    EXPECT_EQ(f.Doc.Board.SWGrid, QStringLiteral("5339"));
    f.GScale(10)->setChecked(true);
    f.MScale(3)->setChecked(true);
    EXPECT_EQ(f.Doc.Board.GridSize, 10);
    EXPECT_EQ(f.Doc.Board.MeshSize, 3);
    EXPECT_EQ(f.Doc.SelectedGridSize(), f.SelectedGridSize());
    f.Prefecture->setChecked(!f.Prefecture->isChecked());
    EXPECT_EQ(f.Doc.Board.Prefecture, f.Prefecture->isChecked());
    f.ProfileMap->setChecked(false);
    EXPECT_FALSE(f.Doc.Board.ProfileMap);
    f.MapColorBt->SetFontColor(0x00FF00);
    EXPECT_EQ(f.Doc.Board.MapColor, 0x00FF00u);
    // What the window saves is what the document holds.
    EXPECT_EQ(f.CurrentSettings().Title, QStringLiteral("ブナ林"));
}

TEST(DocumentView, DocumentChangesShowInTheBoxes) {
    Window w;
    TFormMain& f = w.form;
    f.EditMapFile->setText(MapFile);
    f.EditGrdFile->setText(Sample);
    f.NewMapBtnClick();
    ASSERT_TRUE(w.dialogs.Messages().isEmpty()) << w.dialogs.Messages().join('\n').toStdString();
    f.PlotDataText({"Buna", "53394611", "Mizunara", "53394612"}, QStringLiteral("図鑑の一枚"));
    EXPECT_EQ(f.EditTitle->text(), QStringLiteral("図鑑の一枚"));
    EXPECT_EQ(f.State.CategoryCount, 2);
    kavum::doc::SettingsValues v = kavum::doc::DefaultSettings(MapFile);
    v.GH2 = QStringLiteral("2500");
    v.GridSize = 2;
    f.Doc.ApplySettings(v);
    f.ShowBoard();
    EXPECT_EQ(f.EditGH2->text(), QStringLiteral("2500"));
    EXPECT_TRUE(f.GScale(2)->isChecked());
}

// The same settings, map and data give the window and a document without a
// window the same figure, byte for byte, in every format and layout.
TEST(DocumentView, WindowFigureIsTheDocumentFigure) {
    for (int layout : {1, 2, 3}) {
        Window w;
        TFormMain& f = w.form;
        f.EditMapFile->setText(MapFile);
        f.EditGrdFile->setText(Sample);
        f.GScale(1)->setChecked(true);
        f.MScale(3)->setChecked(true);
        f.HorizonMap->setChecked(layout != 2);
        f.ProfileMap->setChecked(layout != 1);
        f.show();
        QApplication::processEvents();
        f.SetClientSize(QSize(810, 559));
        f.NewMapBtnClick();
        ASSERT_TRUE(w.dialogs.Messages().isEmpty()) << w.dialogs.Messages().join('\n').toStdString();

        kavum::chart::TCustomChart c1, c2, c3;
        kavum::doc::Document d(c1, c2, c3);
        d.InitializeVariables();
        d.ApplySettings(f.Doc.CurrentSettings());
        d.Board = f.Doc.Board;
        d.ClientSize = f.ClientSize();
        ASSERT_TRUE(d.MakeMap());
        for (const char* name : {"f.png", "f.svg", "f.pdf", "f.emf"}) {
            const std::optional<QByteArray> shown = f.FigureFileBytes(QString::fromLatin1(name));
            const std::optional<QByteArray> plain = d.FigureFileBytes(QString::fromLatin1(name), {});
            ASSERT_TRUE(shown && plain) << name;
            EXPECT_TRUE(*shown == *plain) << "layout " << layout << " " << name;
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QStandardPaths::setTestModeEnabled(true);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
