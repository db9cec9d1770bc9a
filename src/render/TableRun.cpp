#include "TableRun.h"

#include "doc/Document.h"
#include "io/CellExport.h"
#include "io/Table.h"
#include "platform/Errors.h"
#include "platform/Profile.h"

#include <QFile>
#include <QFileInfo>

#include <cstdio>

namespace kavum::render {

namespace {

std::string Path(const QString& path) { return QFile::encodeName(path).toStdString(); }

}  // namespace

QString ConvertTables(const RenderArgs& args, const QString& dir) {
    io::TableOptions options;
    if (args.tableEncoding == QLatin1String("utf-8")) options.encoding = io::TableEncoding::Utf8;
    if (args.tableEncoding == QLatin1String("shift_jis")) options.encoding = io::TableEncoding::ShiftJis;
    options.degrees = args.degreesMinutes ? io::DegreeForm::DegreesMinutes : io::DegreeForm::Decimal;
    for (const QString& part : args.tableColumns.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QString key = part.section(QLatin1Char('='), 0, 0).trimmed();
        const std::string name = part.section(QLatin1Char('='), 1).trimmed().toStdString();
        if (key == QLatin1String("category")) options.columns.category = name;
        if (key == QLatin1String("lat")) options.columns.lat = name;
        if (key == QLatin1String("lon")) options.columns.lon = name;
        if (key == QLatin1String("elev")) options.columns.elev = name;
        if (key == QLatin1String("mesh")) options.columns.mesh = name;
    }
    io::TableConverter converter;
    for (const QString& table : args.tables) {
        // Mapped rather than read: a GBIF download runs to hundreds of megabytes.
        QFile file(table);
        std::string read;
        std::string_view bytes;
        if (file.open(QIODevice::ReadOnly) && file.size() > 0) {
            if (const uchar* mapped = file.map(0, file.size()))
                bytes = std::string_view(reinterpret_cast<const char*>(mapped), static_cast<std::size_t>(file.size()));
        }
        if (bytes.empty()) {
            read = platform::ReadWholeFile(Path(table));
            bytes = read;
        }
        options.defaultCategory = QFileInfo(table).completeBaseName().toStdString();
        const std::size_t before = converter.Records(), skippedBefore = converter.Skipped(), rowsBefore = converter.Rows();
        const std::size_t problemsBefore = converter.Problems().size();
        converter.Add(bytes, options, table.toStdString());
        for (std::size_t i = problemsBefore; i < converter.Problems().size(); ++i)
            std::fprintf(stderr, "%s\n", converter.Problems()[i].c_str());
        std::fprintf(stderr, "%s: %zu 行中 %zu 件を読み込み、%zu 行は使えませんでした\n", table.toStdString().c_str(),
                     converter.Rows() - rowsBefore, converter.Records() - before, converter.Skipped() - skippedBefore);
    }
    const std::string text = converter.DataText();
    if (!args.convert.isEmpty() && !platform::WriteFileAtomically(Path(args.convert), text)) {
        throw platform::FileError(args.convert.toStdString() + " に書き込めません");
    }
    const QString path = dir + QLatin1Char('/') + QFileInfo(args.tables.first()).completeBaseName() + QStringLiteral(".grd");
    if (!platform::WriteFileAtomically(Path(path), text)) throw platform::FileError(path.toStdString() + " に書き込めません");
    return path;
}

void ExportCells(doc::Document& form, const RenderArgs& args) {
    const io::CellSet cells = io::CollectCells(form.Text(), static_cast<geo::PointPrecision>(form.State.GridSize));
    io::WriteCells(cells, Path(args.exportCells));
    std::fprintf(stderr, "%s: %zu 件の記録を %zu 個の地物に書き出しました\n", args.exportCells.toStdString().c_str(),
                 cells.records, cells.cells.size());
}

}  // namespace kavum::render
