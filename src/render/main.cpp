// kavum-render: makes the distribution map as the window would, on the
// document alone (no window, no widgets), and writes the figure and optional
// dumps. The mapping sheet as shown (--screen) is made by the window program.
#include "AtlasRun.h"
#include "RenderArgs.h"
#include "RenderOutput.h"
#include "RenderStart.h"
#include "ScreenRun.h"
#include "TableRun.h"

#include "app/Startup.h"
#include "chart/CustomChart.h"
#include "doc/Document.h"
#include "export/Figure.h"
#include "platform/Errors.h"
#include "platform/Profile.h"

#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTextStream>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <malloc.h>
#include <exception>
#include <unistd.h>
#include <vector>

namespace {

using kavum::doc::Document;
using kavum::render::Fail;
using kavum::render::WriteText;

QByteArray PointsCsv(Document& form) {
    QByteArray out = "series,index,x,y\n";
    char buffer[128];
    for (kavum::chart::TCustomChart* chart : {form.Chart1, form.Chart2, form.Chart3}) {
        for (int s = 0; s < chart->SeriesCount(); ++s) {
            kavum::chart::TChartSeries& series = chart->Series(s);
            const QByteArray name = series.Title().toUtf8();
            const int count = series.Count();
            for (int i = 0; i < count; ++i) {
                if (series.IsNull(i)) {
                    std::snprintf(buffer, sizeof buffer, ",%d,,\n", i);
                } else {
                    std::snprintf(buffer, sizeof buffer, ",%d,%.17g,%.17g\n", i, series.XValue(i), series.YValue(i));
                }
                out += name;
                out += buffer;
            }
        }
    }
    return out;
}

QByteArray StateText(Document& form) {
    const kavum::doc::AppState& s = form.State;
    QString out;
    QTextStream t(&out);
    auto number = [](double v) { return QString::asprintf("%.17g", v); };
    t << "ShowMode=" << s.ShowMode << "\n";
    t << "GX1=" << number(s.GX1) << "\nGX2=" << number(s.GX2) << "\nGY1=" << number(s.GY1) << "\nGY2=" << number(s.GY2)
      << "\n";
    t << "GH1=" << number(s.GH1) << "\nGH2=" << number(s.GH2) << "\nI2K=" << number(s.I2K)
      << "\nMapAspect=" << number(s.MapAspect) << "\n";
    t << "GridSize=" << s.GridSize << "\nMeshSize=" << s.MeshSize << "\nCategoryCount=" << s.CategoryCount << "\n";
    for (int k = 1; k <= kavum::doc::MaxCategories; ++k) t << "LegendName" << k << "=" << s.LegendNames[k] << "\n";
    int n = 1;
    for (kavum::chart::TCustomChart* chart : {form.Chart1, form.Chart2, form.Chart3}) {
        t << "Chart" << n++ << "=" << (chart->isHidden() ? 0 : 1) << "," << chart->x() << "," << chart->y()
          << "," << chart->width() << "," << chart->height() << "\n";
    }
    t.flush();
    return out.toUtf8();
}

// The sheet as shown is the window's: the window program beside this one
// draws it with the same arguments.
int RunScreen(char** argv, int argc) {
    const QString window =
        QFileInfo(QFile::decodeName(QByteArray(realpath("/proc/self/exe", nullptr)))).absolutePath() +
        QStringLiteral("/kavum");
    const QByteArray path = QFile::encodeName(window);
    std::vector<char*> arguments;
    arguments.push_back(const_cast<char*>(path.constData()));
    arguments.push_back(const_cast<char*>(kavum::render::ScreenRenderArgument));
    for (int i = 1; i < argc; ++i) arguments.push_back(argv[i]);
    arguments.push_back(nullptr);
    std::fflush(stdout);
    std::fflush(stderr);
    execv(path.constData(), arguments.data());
    Fail(QString::fromStdString(kavum::platform::WithReason(
        (QStringLiteral("--screen needs the window program %1").arg(window)).toStdString(), errno)));
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    // The figure documents of large data files grow to tens of megabytes by
    // appending. Blocks of a megabyte and more come straight from the
    // system, so that growing one moves its pages instead of copying them
    // (the allocator would otherwise take such blocks from its heap once a
    // few have been freed, and every growth would hold the old and the new
    // block at once).
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("kavum-render %s\n", KAVUM_VERSION);
            return 0;
        }
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--screen") == 0) return RunScreen(argv, argc);
    }
    kavum::app::InstallQuietPlatformMessages();
    QGuiApplication app(argc, argv);
    QGuiApplication::setApplicationName(QStringLiteral("Kavum for Windows"));

    kavum::render::RenderArgs args;
    if (const std::optional<int> status = kavum::render::ReadCommandLine(app.arguments().mid(1), args)) return *status;
    if (!args.Atlas() && !args.list && !args.force) {
        // A figure replaces a figure of its format, nothing else unless asked.
        const auto format = kavum::exporting::FigureFormatOfPath(args.output);
        const kavum::exporting::ExistingFile existing =
            kavum::exporting::ExistingFigureFile(args.output, format.value_or(kavum::exporting::FigureFormat::Emf));
        if (existing.exists && !existing.sameFormat) {
            Fail(QStringLiteral("%1 は %2 の図ではなく、%3のようです。置き換えるには --force を付けてください")
                     .arg(args.output, kavum::exporting::FigureExtension(existing.format).toUpper(), existing.kind));
            return 1;
        }
    }

    // Tables become a data file in the program's own format first.
    QTemporaryDir tableDir;
    if (!args.tables.isEmpty()) {
        try {
            args.data = kavum::render::ConvertTables(args, tableDir.path());
        } catch (const kavum::platform::KavumError& e) {
            Fail(QString::fromStdString(e.Message()));
            return 1;
        }
        if (args.output.isEmpty() && args.exportCells.isEmpty()) return 0;
    }

    // The settings come from the program's own settings file, as the window
    // finds it, unless a file is named.
    const QString program = QFileInfo(QCoreApplication::applicationFilePath()).absolutePath() + QStringLiteral("/kavum");
    kavum::chart::TCustomChart chart1, chart2, chart3;
    Document form(chart1, chart2, chart3);
    QStringList messages;
    kavum::render::StartDocument(form, program, messages);
    int status = 0;
    if (!messages.isEmpty()) {
        Fail(messages.join(QLatin1Char('\n')));
        return 1;
    }
    try {
        if (!args.settings.isEmpty()) {
            kavum::render::CheckSettingsFile(args.settings);
            kavum::render::LoadSettingsFile(form, args.settings, messages);
        }
        kavum::render::ApplyBoardArgs(form, args);
        if (args.list || args.Atlas()) return kavum::render::RunAtlasMode(form, args, app.arguments().mid(1));
        // The window's client area is the requested size.
        form.ClientSize = QSize(args.width, args.height);
        const kavum::render::PlotWarnings<Document> warnings{form, status};
        form.MakeMap();
    } catch (const std::exception& e) {
        // With --keep-going, a record line that does not convert still
        // leaves the figure as drawn up to that line.
        if (!kavum::render::ReportFailure(e, form.FailedLine, form.State.GrdFileName, args.keepGoing)) return 1;
        status = 1;
    }
    if (!messages.isEmpty()) {
        Fail(messages.join(QLatin1Char('\n')));
        return 1;
    }
    if (status == 0 && !form.MapMade()) {
        Fail(QStringLiteral("no map was made: the map file could not be found"));
        return 1;
    }

    if (!args.dumpPoints.isEmpty() && !WriteText(args.dumpPoints, PointsCsv(form))) return 1;
    if (!args.dumpState.isEmpty() && !WriteText(args.dumpState, StateText(form))) return 1;
    if (!args.exportCells.isEmpty()) {
        try {
            kavum::render::ExportCells(form, args);
        } catch (const kavum::platform::KavumError& e) {
            Fail(QString::fromStdString(e.Message()));
            return 1;
        }
        if (args.output.isEmpty()) return status;
    }
    try {
        form.SaveFigure(args.output, args.print);
    } catch (const kavum::platform::KavumError& e) {
        Fail(QString::fromUtf8(e.Message().data(), static_cast<qsizetype>(e.Message().size())));
        return 1;
    } catch (const std::exception& e) {
        Fail(QString::fromUtf8(e.what()));
        return 1;
    }
    return status;
}
