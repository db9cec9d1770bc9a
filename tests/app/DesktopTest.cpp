// The program on a Linux desktop: Qt's own texts in Japanese, the real save
// dialog's first entry, the status bar of a narrow window, and an installed
// program that starts from the files under its prefix.
#include "app/FormMain.h"
#include "app/Startup.h"
#include "app/Widgets.h"
#include "platform/Dialogs.h"

#include <QApplication>
#include <QColorDialog>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

using kavum::app::TFormMain;

namespace {

// Runs probe on the modal dialog that the next call opens, then closes it.
template <class Dialog, class Probe>
void OnNextDialog(Probe probe) {
    QTimer::singleShot(0, [probe] {
        auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        probe(*dialog);
        dialog->reject();
    });
}

}  // namespace

TEST(Desktop, QtTextsInJapanese) {
    ASSERT_TRUE(kavum::app::InstallQtTranslations()) << "qt6-translations-l10n is installed by the project's scripts";
    EXPECT_NE(QCoreApplication::translate("QColorDialog", "Select Color"), "Select Color");
    EXPECT_NE(QCoreApplication::translate("QFileDialog", "Look in:"), "Look in:");
    EXPECT_NE(QCoreApplication::translate("QPlatformTheme", "Cancel"), "Cancel");

    kavum::platform::QtDialogs dialogs;
    kavum::platform::ColorDialog colour;
    QString title;
    OnNextDialog<QColorDialog>([&](QColorDialog& d) { title = d.windowTitle(); });
    EXPECT_FALSE(dialogs.ExecuteColor(nullptr, colour));
    EXPECT_EQ(title, QCoreApplication::translate("QColorDialog", "Select Color"));
}

TEST(Desktop, SavingDataOpensOnTheDataFileEntry) {
    QTemporaryDir dir;
    kavum::platform::QtDialogs dialogs;
    TFormMain w(dir.filePath(QStringLiteral("kavum")), {}, dialogs);
    QString shown;
    QString suffix;
    OnNextDialog<QFileDialog>([&](QFileDialog& d) {
        shown = d.selectedNameFilter();
        suffix = d.defaultSuffix();
    });
    w.SavePlotItemClick();
    EXPECT_TRUE(shown.startsWith(QStringLiteral("分布データファイル"))) << shown.toStdString();
    EXPECT_EQ(suffix, "grd");
    // Each entry of the list opens as the one asked for.
    for (int entry = 1; entry <= 6; ++entry) {
        kavum::platform::FileDialog file{QString(), QStringLiteral("a|*.a|b|*.b|c|*.c|d|*.d|e|*.e|f|*.f"), entry,
                                         dir.path(), QString(), QStringLiteral("x")};
        OnNextDialog<QFileDialog>([&](QFileDialog& d) { shown = d.selectedNameFilter(); });
        dialogs.ExecuteSave(nullptr, file);
        EXPECT_TRUE(shown.startsWith(QString(QChar(u'a' + entry - 1)))) << entry << " " << shown.toStdString();
    }
}

// The scale asked after a figure's file is chosen: the resolution and the
// scale set each other, the size follows, and only OK gives a scale.
TEST(Desktop, TheFigureScaleDialogTiesResolutionAndScale) {
    kavum::platform::QtDialogs dialogs;
    kavum::platform::FigureScaleDialog png;
    png.Scale = 2.0;
    png.Size = QSize(1017, 1085);
    QString title, size300, size2;
    int dpiAt2 = 0;
    bool dpiShown = false;
    QTimer::singleShot(0, [&] {
        QWidget* box = QApplication::activeModalWidget();
        ASSERT_NE(box, nullptr);
        title = box->windowTitle();
        auto* scale = box->findChild<QDoubleSpinBox*>(QStringLiteral("ScaleEdit"));
        auto* dpi = box->findChild<QSpinBox*>(QStringLiteral("DpiEdit"));
        auto* label = box->findChild<QLabel*>(QStringLiteral("SizeLabel"));
        ASSERT_TRUE(scale && dpi && label);
        dpiShown = !dpi->isHidden();
        dpiAt2 = dpi->value();
        size2 = label->text();
        dpi->setValue(300);
        size300 = label->text();
        EXPECT_DOUBLE_EQ(scale->value(), 3.125);
        qobject_cast<QDialog*>(box)->accept();
    });
    ASSERT_TRUE(dialogs.ExecuteFigureScale(nullptr, png));
    EXPECT_EQ(title, QStringLiteral("図の解像度"));
    EXPECT_TRUE(dpiShown);
    EXPECT_EQ(dpiAt2, 192);
    EXPECT_EQ(size2, QStringLiteral("2034 × 2170 ピクセル"));
    EXPECT_EQ(size300, QStringLiteral("3178 × 3391 ピクセル"));
    EXPECT_DOUBLE_EQ(png.Scale, 300.0 / 96.0);

    // A vector document has no resolution: its size in millimetres; a
    // cancelled dialog leaves the scale as it was.
    kavum::platform::FigureScaleDialog pdf;
    pdf.Bitmap = false;
    pdf.Size = QSize(960, 480);
    QTimer::singleShot(0, [&] {
        QWidget* box = QApplication::activeModalWidget();
        ASSERT_NE(box, nullptr);
        title = box->windowTitle();
        dpiShown = !box->findChild<QSpinBox*>(QStringLiteral("DpiEdit"))->isHidden();
        box->findChild<QDoubleSpinBox*>(QStringLiteral("ScaleEdit"))->setValue(1.5);
        size2 = box->findChild<QLabel*>(QStringLiteral("SizeLabel"))->text();
        qobject_cast<QDialog*>(box)->reject();
    });
    EXPECT_FALSE(dialogs.ExecuteFigureScale(nullptr, pdf));
    EXPECT_EQ(title, QStringLiteral("図の倍率"));
    EXPECT_FALSE(dpiShown);
    EXPECT_EQ(size2, QStringLiteral("381.0 × 190.5 mm"));
    EXPECT_EQ(pdf.Scale, 1.0);
}

TEST(Desktop, StatusBarPanelsAreCutAtTheEdge) {
    QTemporaryDir dir;
    kavum::platform::ScriptedDialogs dialogs;
    TFormMain w(dir.filePath(QStringLiteral("kavum")), {}, dialogs);
    w.show();
    QApplication::processEvents();
    w.resize(300, 400);
    QApplication::processEvents();
    ASSERT_EQ(w.width(), 300);
    int right = 0;
    for (int i = 0; i < w.StatusBar1->PanelCount(); ++i) {
        QLabel* p = w.StatusBar1->Panel(i);
        EXPECT_GE(p->x(), right) << "panel " << i << " over the one before";
        right = p->x() + p->width();
    }
    // Panel 14 begins beyond the narrow window: it is not drawn at all.
    QLabel* last = w.StatusBar1->Panel(14);
    EXPECT_GT(last->mapTo(&w, QPoint(0, 0)).x(), w.width());
    EXPECT_TRUE(last->visibleRegion().isEmpty());
}

TEST(Desktop, AnInstalledProgramStartsFromItsPrefix) {
    QTemporaryDir prefix;
    QDir(prefix.path()).mkpath(QStringLiteral("bin"));
    QDir(prefix.path()).mkpath(QStringLiteral("share/kavum/manual"));
    const QString data = prefix.filePath(QStringLiteral("share/kavum"));
    {
        QFile ini(data + QStringLiteral("/kavum.ini"));
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write(("[DataFile]\r\nMapFile=" + data.toUtf8() + "/Kavum_Nippon.mdt\r\nGrdFile=" + data.toUtf8() +
                   "/samples/mountains.grd\r\n[Map]\r\nGridSize=5\r\n"));
        QFile index(data + QStringLiteral("/manual/index.html"));
        ASSERT_TRUE(index.open(QIODevice::WriteOnly));
    }
    const QString exe = prefix.filePath(QStringLiteral("bin/kavum"));
    const auto folder = kavum::app::ProbeExecutableFolder(exe);
    EXPECT_TRUE(folder.installed);
    kavum::platform::ScriptedDialogs dialogs;
    TFormMain w(exe, {}, dialogs);
    // The settings file is the user's; its first run shows the installed defaults.
    EXPECT_EQ(w.State.IniFileName, kavum::app::UserSettingsPath());
    EXPECT_TRUE(w.State.IniFileName.endsWith(QStringLiteral("/kavum/kavum.ini")));
    EXPECT_EQ(w.EditMapFile->text(), data + QStringLiteral("/Kavum_Nippon.mdt"));
    EXPECT_EQ(w.EditGrdFile->text(), data + QStringLiteral("/samples/mountains.grd"));
    EXPECT_TRUE(w.GScale(5)->isChecked());
    EXPECT_EQ(w.State.HelpIndexFile, data + QStringLiteral("/manual/index.html"));
    EXPECT_TRUE(dialogs.Messages().isEmpty());
}

namespace {

// Presses OK on the figure dialog; when a value is refused, the message it
// shows (empty when none), which is then closed.
QString PressOkOn(QWidget* box) {
    QString message;
    QTimer::singleShot(0, [&] {
        auto* shown = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!shown || shown == box) return;
        EXPECT_EQ(shown->objectName(), QStringLiteral("RangeMessage"));
        EXPECT_EQ(shown->windowTitle(), QStringLiteral("Kavum for Windows"));
        message = shown->text();
        shown->done(QMessageBox::Ok);
    });
    box->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    return message;
}

}  // namespace

// A width in print instead of a scale: 85 mm, 175 mm or one typed; what is
// typed out of range is refused with a message and stays as typed until
// the user changes it.
TEST(Desktop, TheFigureDialogOffersColumnWidthsAndRefusesWhatIsOutOfRange) {
    kavum::platform::QtDialogs dialogs;
    kavum::platform::FigureScaleDialog png;
    png.Size = QSize(1017, 1085);
    png.MaxScale = 25;  // as the window asks: up to 2400 dpi
    // Runs the probe on the dialog the next ExecuteFigureScale opens.
    auto onDialog = [](auto probe) {
        QTimer::singleShot(0, [probe] {
            QWidget* box = QApplication::activeModalWidget();
            ASSERT_NE(box, nullptr);
            auto* choice = box->findChild<QComboBox*>(QStringLiteral("SizeChoice"));
            auto* width = box->findChild<QDoubleSpinBox*>(QStringLiteral("WidthEdit"));
            auto* scale = box->findChild<QDoubleSpinBox*>(QStringLiteral("ScaleEdit"));
            auto* dpi = box->findChild<QSpinBox*>(QStringLiteral("DpiEdit"));
            auto* size = box->findChild<QLabel*>(QStringLiteral("SizeLabel"));
            ASSERT_TRUE(choice && width && scale && dpi && size);
            probe(box, *choice, *width, *scale, *dpi, *size);
            if (box->isVisible()) qobject_cast<QDialog*>(box)->reject();
        });
    };

    // One column at 1200 dpi: 4,016 pixels wide; the width is the column's.
    onDialog([](QWidget* box, QComboBox& choice, QDoubleSpinBox& width, QDoubleSpinBox& scale, QSpinBox& dpi,
                QLabel& size) {
        EXPECT_EQ(choice.count(), 4);
        EXPECT_EQ(choice.currentIndex(), 0);
        EXPECT_FALSE(width.isEnabled());
        choice.setCurrentIndex(1);
        EXPECT_EQ(width.value(), 85.0);
        EXPECT_FALSE(width.isEnabled());
        EXPECT_FALSE(scale.isEnabled());
        dpi.setValue(1200);
        EXPECT_EQ(size.text(), QStringLiteral("85.0 × 90.7 mm、4016 × 4284 ピクセル"));
        EXPECT_EQ(PressOkOn(box), QString());
    });
    ASSERT_TRUE(dialogs.ExecuteFigureScale(nullptr, png));
    ASSERT_TRUE(png.WidthMm);
    EXPECT_EQ(*png.WidthMm, 85.0);
    EXPECT_EQ(png.Dpi, 1200.0);
    EXPECT_EQ(png.Scale, 1.0);

    // Proposed next time as chosen; two columns.
    onDialog([](QWidget* box, QComboBox& choice, QDoubleSpinBox& width, QDoubleSpinBox&, QSpinBox& dpi, QLabel& size) {
        EXPECT_EQ(choice.currentIndex(), 1);
        EXPECT_EQ(dpi.value(), 1200);
        choice.setCurrentIndex(2);
        EXPECT_EQ(width.value(), 175.0);
        dpi.setValue(600);
        EXPECT_EQ(size.text(), QStringLiteral("175.0 × 186.7 mm、4134 × 4410 ピクセル"));
        EXPECT_EQ(PressOkOn(box), QString());
    });
    ASSERT_TRUE(dialogs.ExecuteFigureScale(nullptr, png));
    EXPECT_EQ(*png.WidthMm, 175.0);
    EXPECT_EQ(png.Dpi, 600.0);

    // A width of one's own; out of range it is refused, not replaced.
    onDialog([](QWidget* box, QComboBox& choice, QDoubleSpinBox& width, QDoubleSpinBox&, QSpinBox& dpi, QLabel&) {
        EXPECT_EQ(choice.currentIndex(), 2);
        choice.setCurrentIndex(3);
        EXPECT_TRUE(width.isEnabled());
        width.setValue(5);
        EXPECT_EQ(PressOkOn(box), QStringLiteral("幅は 10 から 2000 mm までです (5 は使えません)。"));
        EXPECT_TRUE(box->isVisible());
        EXPECT_EQ(width.value(), 5.0);
        width.setValue(2500);
        EXPECT_EQ(PressOkOn(box), QStringLiteral("幅は 10 から 2000 mm までです (2500 は使えません)。"));
        EXPECT_EQ(width.value(), 2500.0);
        width.setValue(120);
        dpi.setValue(3000);
        EXPECT_EQ(PressOkOn(box), QStringLiteral("解像度は 72 から 2400 dpi までです (3000 は使えません)。"));
        EXPECT_EQ(dpi.value(), 3000);
        dpi.setValue(1200);
        EXPECT_EQ(PressOkOn(box), QString());
        EXPECT_FALSE(box->isVisible());
    });
    ASSERT_TRUE(dialogs.ExecuteFigureScale(nullptr, png));
    EXPECT_EQ(*png.WidthMm, 120.0);
    EXPECT_EQ(png.Dpi, 1200.0);
    // Refused and then cancelled: what was chosen before stays.
    onDialog([](QWidget* box, QComboBox& choice, QDoubleSpinBox& width, QDoubleSpinBox&, QSpinBox&, QLabel&) {
        EXPECT_EQ(choice.currentIndex(), 3);
        EXPECT_EQ(width.value(), 120.0);
        width.setValue(9.5);
        EXPECT_FALSE(PressOkOn(box).isEmpty());
    });
    EXPECT_FALSE(dialogs.ExecuteFigureScale(nullptr, png));
    EXPECT_EQ(*png.WidthMm, 120.0);

    // By scale: a resolution beyond 2400 dpi is refused (1200 was once
    // silently 120), and a vector document's scale beyond its range too.
    onDialog([](QWidget* box, QComboBox& choice, QDoubleSpinBox&, QDoubleSpinBox&, QSpinBox& dpi, QLabel&) {
        choice.setCurrentIndex(0);
        dpi.setValue(2401);
        EXPECT_EQ(PressOkOn(box), QStringLiteral("解像度は 96 から 2400 dpi までです (2401 は使えません)。"));
        EXPECT_EQ(dpi.value(), 2401);
        dpi.setValue(1200);
        EXPECT_EQ(PressOkOn(box), QString());
    });
    ASSERT_TRUE(dialogs.ExecuteFigureScale(nullptr, png));
    EXPECT_FALSE(png.WidthMm);
    EXPECT_DOUBLE_EQ(png.Scale, 12.5);

    kavum::platform::FigureScaleDialog svg;
    svg.Bitmap = false;
    svg.MaxScale = 25;
    svg.Size = QSize(1017, 1085);
    onDialog([](QWidget* box, QComboBox& choice, QDoubleSpinBox& width, QDoubleSpinBox& scale, QSpinBox& dpi,
                QLabel& size) {
        EXPECT_TRUE(dpi.isHidden());
        scale.setValue(30);
        EXPECT_EQ(PressOkOn(box), QStringLiteral("倍率は 1 から 25 までです (30 は使えません)。"));
        EXPECT_EQ(scale.value(), 30.0);
        choice.setCurrentIndex(1);
        EXPECT_EQ(size.text(), QStringLiteral("85.0 × 90.7 mm"));
        EXPECT_EQ(width.value(), 85.0);
        EXPECT_EQ(PressOkOn(box), QString());
    });
    ASSERT_TRUE(dialogs.ExecuteFigureScale(nullptr, svg));
    EXPECT_EQ(*svg.WidthMm, 85.0);
    EXPECT_EQ(svg.Scale, 1.0);
}
