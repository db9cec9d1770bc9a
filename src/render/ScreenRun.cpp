// kavum-render --screen: the mapping sheet as the window shows it. The window
// program runs it (kavum --render-screen ARGS), so that kavum-render itself
// needs no widgets.
#include "ScreenRun.h"

#include "RenderArgs.h"
#include "RenderOutput.h"

#include "app/FormMain.h"
#include "app/Startup.h"
#include "app/Widgets.h"
#include "platform/Dialogs.h"

#include <QApplication>
#include <QBuffer>
#include <QCheckBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QRadioButton>
#include <QScrollBar>
#include <QStatusBar>

#include <cstdio>
#include <exception>

namespace {

using kavum::app::TFormMain;

}  // namespace

namespace kavum::render {

int RunScreenRender(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    kavum::app::InstallQuietPlatformMessages();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kavum for Windows"));

    kavum::render::RenderArgs args;
    if (const std::optional<int> status = kavum::render::ReadCommandLine(app.arguments().mid(1), args)) return *status;
    if (!args.tables.isEmpty()) {
        Fail(QStringLiteral("--screen は --table を読みません。先に --convert でデータファイルにしてください"));
        return 2;
    }
    // The settings come from the program's own settings file, as the window
    // finds it, unless a file is named.
    const QString program = QFileInfo(QCoreApplication::applicationFilePath()).absolutePath() + QStringLiteral("/kavum");
    kavum::platform::ScriptedDialogs dialogs;
    TFormMain form(program, {}, dialogs);
    form.ShowPlotWarnings = false;
    int status = 0;
    if (!dialogs.Messages().isEmpty()) {
        Fail(dialogs.Messages().join(QLatin1Char('\n')));
        return 1;
    }
    try {
        if (!args.settings.isEmpty()) {
            kavum::render::CheckSettingsFile(args.settings);
            form.LoadSettingsFile(args.settings);
        }
        if (!args.map.isEmpty()) form.EditMapFile->setText(args.map);
        if (!args.data.isEmpty()) form.EditGrdFile->setText(args.data);
        if (args.precision) form.GScale(*args.precision)->setChecked(true);
        if (args.mesh) form.MScale(*args.mesh)->setChecked(true);
        if (args.layout) {
            form.HorizonMap->setChecked(*args.layout != 2);
            form.ProfileMap->setChecked(*args.layout != 1);
        }
        if (args.prefecture) form.Prefecture->setChecked(*args.prefecture);
        if (args.fitToWidth) form.State.FitToWidth = *args.fitToWidth;
        // The window's client area is the requested size.
        form.show();
        QApplication::processEvents();
        form.SetClientSize(QSize(args.width, args.height));
        const kavum::render::PlotWarnings<TFormMain> warnings{form, status};
        form.NewMapBtnClick();
    } catch (const std::exception& e) {
        // With --keep-going, a record line that does not convert still
        // leaves the figure as drawn up to that line.
        if (!kavum::render::ReportFailure(e, form.FailedDataLine(), form.State.GrdFileName, args.keepGoing)) return 1;
        status = 1;
    }
    if (!dialogs.Messages().isEmpty()) {
        Fail(dialogs.Messages().join(QLatin1Char('\n')));
        return 1;
    }
    if (status == 0 && !form.MenuEdit->menuAction()->isEnabled()) {
        Fail(QStringLiteral("no map was made: the map file could not be found"));
        return 1;
    }
    QApplication::processEvents();

    const QImage shot = form.MappingSheet->viewport()->grab().toImage();
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!shot.save(&buffer, "PNG")) {
        Fail(QStringLiteral("%1 に書き込めません").arg(args.output));
        return 1;
    }
    if (!WriteText(args.output, png)) return 1;
    return status;
}

}  // namespace kavum::render
