// kavum-render --screen: the mapping sheet as the window shows it. The window
// program runs it (kavum --render-screen ARGS), so that kavum-render itself
// needs no widgets.
#include "ScreenRun.h"

#include "RenderArgs.h"

#include "app/FormMain.h"
#include "app/Startup.h"
#include "app/Widgets.h"
#include "platform/Dialogs.h"
#include "platform/Errors.h"
#include "platform/Profile.h"

#include <QApplication>
#include <QBuffer>
#include <QCheckBox>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QRadioButton>
#include <QScrollBar>
#include <QStatusBar>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <stdexcept>

namespace {

using kavum::app::TFormMain;

void Fail(const QString& message) {
    std::fprintf(stderr, "kavum-render: %s\n", kavum::platform::PlainMessageText(message).toUtf8().constData());
}

// Written whole or not at all: a full disk never leaves half a file, and a
// symbolic link under the name is replaced, not written through. Fails with
// the message and the system's reason.
bool WriteText(const QString& path, const QByteArray& bytes) {
    kavum::platform::ReplaceOptions options;
    options.followLinks = false;
    const int error = kavum::platform::ReplaceFile(
        QFile::encodeName(path).toStdString(), std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())),
        options);
    if (error != 0) {
        Fail(QString::fromStdString(kavum::platform::WithReason((path + QStringLiteral(" に書き込めません")).toStdString(), error)));
    }
    return error == 0;
}

}  // namespace

namespace kavum::render {

int RunScreenRender(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    kavum::app::InstallQuietPlatformMessages();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kavum for Windows"));

    kavum::render::RenderArgs args;
    try {
        args = kavum::render::ParseRenderArgs(app.arguments().mid(1));
    } catch (const std::invalid_argument& e) {
        Fail(QString::fromUtf8(e.what()));
        std::fputs(kavum::render::RenderUsage().toUtf8().constData(), stderr);
        return 2;
    }
    if (args.help) {
        std::fputs(kavum::render::RenderUsage().toUtf8().constData(), stdout);
        return 0;
    }
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
            if (!QFileInfo::exists(args.settings)) throw std::runtime_error("no such settings file: " + args.settings.toStdString());
            // One that is there but is not a regular file (a FIFO, a folder)
            // is refused at once, with the reason.
            if (!QFileInfo(args.settings).isFile()) {
                throw kavum::platform::FileError(kavum::platform::WithReason(
                    (QStringLiteral("設定ファイル %1 を読み込めません").arg(args.settings)).toStdString(),
                    QFileInfo(args.settings).isDir() ? EISDIR : kavum::platform::ErrNotRegularFile));
            }
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
        struct Warnings {
            TFormMain& form;
            int& status;
            ~Warnings() {
                // Suspicious and refused lines, then the counts: the figure is
                // still made, and the exit status says that not all was well.
                const kavum::plot::PlotReport& report = form.LastPlotReport();
                for (const std::string& line : report.LineMessages(form.State.GrdFileName.toStdString()))
                    std::fprintf(stderr, "%s\n", kavum::platform::PlainMessageText(QString::fromStdString(line)).toUtf8().constData());
                if (report.Skipped() > 0 || report.HasWarnings())
                    std::fprintf(stderr, "kavum-render: %s\n", report.Summary().c_str());
                if (report.HasWarnings()) status = 1;
            }
        } warnings{form, status};
        form.NewMapBtnClick();
    } catch (const std::exception& e) {
        const auto* kavumError = dynamic_cast<const kavum::platform::KavumError*>(&e);
        const QString message = kavumError ? QString::fromUtf8(kavumError->Message().data(),
                                                               static_cast<qsizetype>(kavumError->Message().size()))
                                           : QString::fromUtf8(e.what());
        const std::optional<std::size_t> line = form.FailedDataLine();
        if (!line) {
            Fail(message);
            return 1;
        }
        // A record line that does not convert: the file and line, and with
        // --keep-going the figure as drawn up to that line.
        Fail(QStringLiteral("%1:%2: %3").arg(form.State.GrdFileName).arg(*line + 1).arg(message));
        if (!args.keepGoing) return 1;
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
