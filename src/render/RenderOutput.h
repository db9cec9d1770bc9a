#pragma once
// What kavum-render and the window program's --render-screen say and write
// alike: messages on standard error, files written whole, the settings file
// named on the command line, and the report of the plotting pass.
#include "RenderArgs.h"

#include "plot/PlotReport.h"

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <exception>
#include <optional>

namespace kavum::render {

// Reads the command line into args; the exit status where the run ends
// there: 2 for a bad one (the message and the usage on standard error), 0
// for --help (the usage on standard output).
std::optional<int> ReadCommandLine(const QStringList& arguments, RenderArgs& args);

// "kavum-render: <message>" on standard error, the message as plain text.
void Fail(const QString& message);

// Written whole or not at all: a full disk never leaves half a file, and a
// symbolic link under the name is replaced, not written through. Fails with
// the message and the system's reason.
bool WriteText(const QString& path, const QByteArray& bytes);

// Throws unless the settings file named is there and is a regular file.
void CheckSettingsFile(const QString& path);

// Suspicious and refused lines of the data file, then the counts, on
// standard error; whether the pass warned.
bool ReportPlot(const plot::PlotReport& report, const QString& dataFile);

// Reports the plotting pass of the drawing (the document or the window)
// when it goes out of scope, however the pass ended; a pass that warned
// makes the status 1.
template <typename Drawing>
struct PlotWarnings {
    Drawing& drawing;
    int& status;
    ~PlotWarnings() {
        if (ReportPlot(drawing.LastPlotReport(), drawing.State.GrdFileName)) status = 1;
    }
};

// Says why the drawing failed: at a record line that does not convert
// (line, from 0), the data file and line. Whether the run goes on with the
// figure as drawn up to that line (keepGoing, --keep-going).
bool ReportFailure(const std::exception& e, std::optional<std::size_t> line, const QString& dataFile, bool keepGoing);

}  // namespace kavum::render
