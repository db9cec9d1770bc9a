#include "RenderOutput.h"

#include "platform/Errors.h"
#include "platform/MessageText.h"
#include "platform/Profile.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <stdexcept>
#include <string>

namespace kavum::render {

std::optional<int> ReadCommandLine(const QStringList& arguments, RenderArgs& args) {
    try {
        args = ParseRenderArgs(arguments);
    } catch (const std::invalid_argument& e) {
        Fail(QString::fromUtf8(e.what()));
        std::fputs(RenderUsage().toUtf8().constData(), stderr);
        return 2;
    }
    if (args.help) {
        std::fputs(RenderUsage().toUtf8().constData(), stdout);
        return 0;
    }
    return std::nullopt;
}

void Fail(const QString& message) {
    std::fprintf(stderr, "kavum-render: %s\n", platform::PlainMessageText(message).toUtf8().constData());
}

bool WriteText(const QString& path, const QByteArray& bytes) {
    platform::ReplaceOptions options;
    options.followLinks = false;
    const int error = platform::ReplaceFile(
        QFile::encodeName(path).toStdString(), std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())),
        options);
    if (error != 0) {
        Fail(QString::fromStdString(platform::WithReason((path + QStringLiteral(" に書き込めません")).toStdString(), error)));
    }
    return error == 0;
}

void CheckSettingsFile(const QString& path) {
    if (!QFileInfo::exists(path)) throw std::runtime_error("no such settings file: " + path.toStdString());
    // One that is there but is not a regular file (a FIFO, a folder) is
    // refused at once, with the reason.
    if (!QFileInfo(path).isFile()) {
        throw platform::FileError(platform::WithReason((QStringLiteral("設定ファイル %1 を読み込めません").arg(path)).toStdString(),
                                                       QFileInfo(path).isDir() ? EISDIR : platform::ErrNotRegularFile));
    }
}

bool ReportPlot(const plot::PlotReport& report, const QString& dataFile) {
    // The figure is still made, and the exit status says that not all was well.
    for (const std::string& line : report.LineMessages(dataFile.toStdString()))
        std::fprintf(stderr, "%s\n", platform::PlainMessageText(QString::fromStdString(line)).toUtf8().constData());
    if (report.Skipped() > 0 || report.HasWarnings()) std::fprintf(stderr, "kavum-render: %s\n", report.Summary().c_str());
    return report.HasWarnings();
}

bool ReportFailure(const std::exception& e, std::optional<std::size_t> line, const QString& dataFile, bool keepGoing) {
    const auto* kavumError = dynamic_cast<const platform::KavumError*>(&e);
    const QString message = kavumError ? QString::fromUtf8(kavumError->Message().data(),
                                                           static_cast<qsizetype>(kavumError->Message().size()))
                                       : QString::fromUtf8(e.what());
    if (!line) {
        Fail(message);
        return false;
    }
    Fail(QStringLiteral("%1:%2: %3").arg(dataFile).arg(*line + 1).arg(message));
    return keepGoing;
}

}  // namespace kavum::render
