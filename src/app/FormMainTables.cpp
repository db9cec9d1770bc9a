// Tables and GIS files in the window: a table (CSV, TSV, a GBIF download)
// read into the data editor through a preview where the columns are chosen,
// and the plotted cells written for GIS programs.
#include "FormMain.h"

#include "app/BusyCursor.h"
#include "app/Startup.h"
#include "app/Widgets.h"
#include "data/RecordLine.h"
#include "io/CellExport.h"
#include "io/Table.h"
#include "platform/Cp932.h"
#include "platform/Errors.h"
#include "platform/Profile.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QSettings>

#include <map>
#include <sys/stat.h>
#include <utility>

namespace kavum::app {

// The tables imported in this session, by their full path, with the choice
// made for each: making the map reads such a file as that table.
struct TableImports {
    struct Entry {
        io::TableOptions options;
        bool reported = false;   // the rows that could not be used were shown once
        bool chosen = false;     // chosen in the preview: kept between sessions
    };
    std::map<QString, Entry> byPath;
    // The rows that could not be used, told once the map is drawn.
    QString pendingMessage;
    bool importing = false;
};

namespace {

const QString Caption = QStringLiteral("Kavum for Windows");
// The bytes of a table the preview reads, and the rows it shows.
constexpr std::size_t PreviewBytes = 64 * 1024;
constexpr int PreviewRows = 8;
constexpr int PreviewLines = 12;
// Rows named in the message of rows that could not be used.
constexpr std::size_t ReportedProblems = 5;
// Tables whose preview choice is kept between sessions.
constexpr int MaxKeptTables = 32;

std::string FileSystemPath(const QString& path) { return QFile::encodeName(path).toStdString(); }
std::string Utf8(const QString& text) { return text.toStdString(); }
QString FromUtf8(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

std::string ReadTableBytes(const QString& path) {
    try {
        return platform::ReadWholeFile(FileSystemPath(path));
    } catch (const platform::FileError& e) {
        QString text = QStringLiteral("表 %1 を読み込めません").arg(path);
        if (!e.Reason().empty()) text += QStringLiteral("（%1）").arg(FromUtf8(e.Reason()));
        throw platform::FileError(Utf8(text));
    }
}

// The start of a table, cut after a line end, for the preview.
std::string HeadOf(const std::string& bytes) {
    if (bytes.size() <= PreviewBytes) return bytes;
    const std::size_t end = bytes.find_last_of("\r\n", PreviewBytes);
    return bytes.substr(0, end == std::string::npos ? PreviewBytes : end + 1);
}

platform::TableRoleColumns RolesOf(const io::TableColumns& c) { return {c.category, c.lat, c.lon, c.elev, c.mesh}; }

bool HasPosition(const platform::TableRoleColumns& roles) {
    using platform::TableRole;
    auto at = [&](TableRole r) { return roles[static_cast<std::size_t>(r)]; };
    return (at(TableRole::Latitude) >= 0 && at(TableRole::Longitude) >= 0) || at(TableRole::Mesh) >= 0;
}

// The columns found by their names in a header; none where a name does not
// read.
io::TableColumns FoundColumns(const std::vector<std::string>& header) {
    try {
        return io::FindColumns(header, {});
    } catch (const platform::KavumError&) {
        return {};
    }
}

// The options that read the table as the dialog's choice says. A choice of
// the columns found by their names reads it exactly as kavum-render
// --convert does; a column chosen by hand drops the second column of its
// role (scientificName beside species).
io::TableOptions OptionsOf(const platform::TableImportDialog& choice, const io::TableColumns& found,
                           const QString& path) {
    io::TableOptions options;
    options.encoding = choice.ShiftJis ? io::TableEncoding::ShiftJis : io::TableEncoding::Utf8;
    options.degrees = choice.DegreesMinutes ? io::DegreeForm::DegreesMinutes : io::DegreeForm::Decimal;
    options.defaultCategory = Utf8(QFileInfo(path).completeBaseName());
    const platform::TableRoleColumns& r = choice.Columns;
    io::TableColumns c;
    c.category = r[0];
    c.lat = r[1];
    c.lon = r[2];
    c.elev = r[3];
    c.mesh = r[4];
    c.category2 = c.category == found.category ? found.category2 : -1;
    c.elev2 = c.elev == found.elev ? found.elev2 : -1;
    if (!(c == found)) options.columnIndexes = c;
    return options;
}

// Header and rows of the table's start, decoded as chosen.
struct TableHead {
    std::vector<std::string> header;
    std::vector<std::vector<std::string>> rows;
};

TableHead ReadHead(const std::string& head, bool shiftJis) {
    const std::string text =
        io::TableTextAsUtf8(head, shiftJis ? io::TableEncoding::ShiftJis : io::TableEncoding::Utf8);
    io::RowReader reader(text, io::DetectDelimiter(text));
    TableHead result;
    if (!reader.Next()) return result;
    result.header.assign(reader.Fields().begin(), reader.Fields().begin() + static_cast<long>(reader.FieldCount()));
    while (result.rows.size() < static_cast<std::size_t>(PreviewRows) && reader.Next()) {
        if (reader.FieldCount() == 1 && reader.Fields()[0].empty()) continue;
        result.rows.emplace_back(reader.Fields().begin(), reader.Fields().begin() + static_cast<long>(reader.FieldCount()));
    }
    return result;
}

QStringList ToQStrings(const std::vector<std::string>& fields) {
    QStringList list;
    for (const std::string& f : fields) list << FromUtf8(f);
    return list;
}

platform::TablePreview PreviewOf(const std::string& head, const QString& path,
                                 const platform::TableImportDialog& choice) {
    platform::TablePreview preview;
    const TableHead table = ReadHead(head, choice.ShiftJis);
    preview.Header = ToQStrings(table.header);
    for (const auto& row : table.rows) preview.Rows.push_back(ToQStrings(row));
    const io::TableColumns found = FoundColumns(table.header);
    preview.Found = RolesOf(found);
    preview.Usable = HasPosition(choice.Columns);
    if (!preview.Usable) {
        preview.Note = QStringLiteral("緯度と経度の列、またはメッシュコードの列を選んでください。");
        return preview;
    }
    io::TableConverter converter;
    try {
        converter.Add(head, OptionsOf(choice, found, path), Utf8(QFileInfo(path).fileName()));
    } catch (const platform::KavumError& e) {
        preview.Usable = false;
        preview.Note = FromUtf8(e.Message());
        return preview;
    }
    const std::string text = converter.DataText();
    for (std::string_view line : data::SplitDataLines(text)) {
        if (preview.Lines.size() >= PreviewLines) break;
        preview.Lines << platform::Cp932ToQString(line);
    }
    preview.Note = QStringLiteral("先頭の %1 行から %2 件の記録を取り込めます。").arg(converter.Rows()).arg(converter.Records());
    if (converter.Skipped() > 0) {
        preview.Note += QStringLiteral("使えない行が %1 行あります。").arg(converter.Skipped());
    }
    if (!converter.Problems().empty()) preview.Note += QStringLiteral("\n") + FromUtf8(converter.Problems().front());
    if (converter.Records() == 0) preview.Usable = false;
    return preview;
}

// The message after a table was read, when some of its rows could not be
// used (empty when every row gave a record).
QString ProblemMessage(const io::TableConverter& converter, const QString& name) {
    if (converter.Skipped() == 0 && converter.Problems().empty()) return {};
    QString text = QStringLiteral("表 %1 の %2 行から %3 件の記録を取り込みました。").arg(name).arg(converter.Rows()).arg(converter.Records());
    if (converter.Skipped() > 0) {
        text += QStringLiteral("\n使えない %1 行は取り込んでいません。").arg(converter.Skipped());
    }
    text += QLatin1Char('\n');
    const std::vector<std::string>& problems = converter.Problems();
    for (std::size_t i = 0; i < problems.size() && i < ReportedProblems; ++i) text += QStringLiteral("\n") + FromUtf8(problems[i]);
    if (problems.size() > ReportedProblems) {
        text += QStringLiteral("\nほか %1 件").arg(problems.size() - ReportedProblems);
    }
    return text;
}

}  // namespace

// ---------------------------------------------------------------- menu

void TFormMain::BuildTableCommands() {
    tables_ = std::make_shared<TableImports>();
    ImportTableItem = new QAction(QStringLiteral("表(CSV・TSV)を取り込む"), this);
    ImportTableItem->setObjectName(QStringLiteral("ImportTableItem"));
    MenuFile->insertAction(SavePlotItem, ImportTableItem);
    ExportCellsItem = new QAction(QStringLiteral("分布区画をGIS形式で保存"), this);
    ExportCellsItem->setObjectName(QStringLiteral("ExportCellsItem"));
    const QList<QAction*> items = MenuFile->actions();
    const qsizetype figure = items.indexOf(SaveToEMFItem);
    MenuFile->insertAction(figure + 1 < items.size() ? items[figure + 1] : nullptr, ExportCellsItem);

    TableDialog1.Filter = QStringLiteral("表 (*.csv, *.tsv, *.txt)|*.csv;*.tsv;*.txt|すべてのﾌｧｲﾙ (*.*)|*.*");
    CellsDialog1.Filter = QStringLiteral("GeoPackage (*.gpkg)|*.gpkg|GeoJSON (*.geojson)|*.geojson");
    CellsDialog1.DefaultExt = QStringLiteral("gpkg");

    ConnectCommand(ImportTableItem, &QAction::triggered, &TFormMain::ImportTableItemClick);
    ConnectCommand(ExportCellsItem, &QAction::triggered, &TFormMain::ExportCellsItemClick);
}

// ---------------------------------------------------------------- import

bool TFormMain::IsTableFile(const QString& path) {
    // Only a regular file is looked into: a FIFO or a device would block
    // the window or never end.
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    const QByteArray head = file.read(static_cast<qint64>(PreviewBytes));
    try {
        const io::TableLayout layout = io::InspectTable(std::string_view(head.constData(), static_cast<std::size_t>(head.size())), {});
        return layout.header.size() >= 2 && HasPosition(RolesOf(layout.columns));
    } catch (const platform::KavumError&) {
        return false;
    }
}

void TFormMain::OpenTableFile(const QString& path) {
    // A .csv may be a data file of the program's own: it is read as one
    // unless its first line is the header of a table.
    if (!IsTableFile(path)) {
        OpenDataFile(path);
        return;
    }
    if (!MayDiscardEditorText()) return;
    ImportTable(path);
}

void TFormMain::ImportTableItemClick() {
    if (!MayDiscardEditorText()) return;
    TableDialog1.InitialDir = DialogFolder(QFileInfo(State.GrdFileName).absolutePath());
    TableDialog1.FilterIndex = 1;
    TableDialog1.FileName = QString();
    if (!Dialogs().ExecuteOpen(this, TableDialog1)) return;
    RememberFolder(TableDialog1.FileName);
    ImportTable(TableDialog1.FileName);
}

void TFormMain::ImportTable(const QString& path) {
    const QString full = QFileInfo(path).absoluteFilePath();
    const std::string bytes = ReadTableBytes(full);
    auto head = std::make_shared<const std::string>(HeadOf(bytes));
    platform::TableImportDialog dialog;
    dialog.FileName = full;
    io::TableEncoding found = io::TableEncoding::Utf8;
    io::TableTextAsUtf8(bytes, io::TableEncoding::Auto, &found);
    dialog.ShiftJis = found == io::TableEncoding::ShiftJis;
    dialog.Preview = [head, full](const platform::TableImportDialog& choice) { return PreviewOf(*head, full, choice); };
    dialog.Columns = dialog.Preview(dialog).Found;
    const auto known = tables_->byPath.find(full);
    if (known != tables_->byPath.end()) {
        // The choice made last time for this table.
        const io::TableOptions& o = known->second.options;
        dialog.ShiftJis = o.encoding == io::TableEncoding::ShiftJis;
        dialog.DegreesMinutes = o.degrees == io::DegreeForm::DegreesMinutes;
        if (o.columnIndexes) dialog.Columns = RolesOf(*o.columnIndexes);
    }
    if (!Dialogs().ExecuteTableImport(this, dialog)) return;
    if (!HasPosition(dialog.Columns)) {
        throw platform::KavumError(Utf8(QStringLiteral("表 %1 を取り込めません: 緯度と経度の列、またはメッシュコードの列を選んでください").arg(full)));
    }
    const TableHead table = ReadHead(*head, dialog.ShiftJis);
    tables_->byPath[full] = TableImports::Entry{OptionsOf(dialog, FoundColumns(table.header), full), false, true};
    // As choosing the table on the board and making the map: the map reads it.
    State.GrdFileName = full;
    EditGrdFile->setText(full);
    AddRecentFile(full);
    // The rows that could not be used are told once the map is drawn.
    tables_->pendingMessage.clear();
    tables_->importing = true;
    try {
        NewMapBtnClick();
    } catch (...) {
        tables_->importing = false;
        tables_->pendingMessage.clear();
        throw;
    }
    tables_->importing = false;
    const QString message = std::exchange(tables_->pendingMessage, QString());
    if (!message.isEmpty() && ShowPlotWarnings) Dialogs().ShowMessage(this, Caption, message, platform::MessageIcon::Warning);
}

bool TFormMain::ReadImportedTable(const QString& path, data::DataText& text) {
    if (!tables_) return false;
    const QString full = QFileInfo(path).absoluteFilePath();
    auto entry = tables_->byPath.find(full);
    if (entry == tables_->byPath.end()) {
        // A table named on the board without the preview (chosen with 参照,
        // or kept in the settings file from an earlier session) is read
        // with the columns found by their names, never as a data file of
        // the program's own. kavum-render reads tables with --table only.
        if (!ShowPlotWarnings || !IsTableFile(full)) return false;
        io::TableOptions options;
        options.defaultCategory = Utf8(QFileInfo(full).completeBaseName());
        entry = tables_->byPath.emplace(full, TableImports::Entry{options, false}).first;
    }
    const QString name = QFileInfo(path).fileName();
    io::TableConverter converter;
    {
        BusyCursor busy;
        converter.Add(ReadTableBytes(path), entry->second.options, Utf8(name));
    }
    std::string converted = converter.DataText();
    if (converted.size() > data::MaxDataSize) {
        throw platform::FileTooLargeError(
            Utf8(QStringLiteral("表 %1 から作った分布データは大きすぎます（分布データは %2 MB までです）")
                     .arg(path)
                     .arg(data::MaxDataSize >> 20)),
            std::string());
    }
    if (converter.Records() == 0) {
        QString message = QStringLiteral("表 %1 には取り込める行がありません").arg(path);
        const std::vector<std::string>& problems = converter.Problems();
        for (std::size_t i = 0; i < problems.size() && i < ReportedProblems; ++i)
            message += QStringLiteral("\n") + FromUtf8(problems[i]);
        throw platform::KavumError(Utf8(message));
    }
    text.Clear();
    if (data::DetectEncoding(converted) == data::TextEncoding::ShiftJis) {
        text.AppendFileText(converted);
    } else {
        // Shift-JIS headings that happen to read as UTF-8 stay Shift-JIS.
        std::vector<std::string> lines;
        lines.reserve(converter.Records() + converter.CategoryCount());
        for (std::string_view line : data::SplitDataLines(converted)) lines.emplace_back(line);
        text.SetLines(lines);
    }
    text.SetEncoding(data::TextEncoding::ShiftJis);
    const QString problems = ProblemMessage(converter, name);
    if (!problems.isEmpty() && !entry->second.reported) {
        entry->second.reported = true;
        if (tables_->importing) {
            tables_->pendingMessage = problems;
        } else if (ShowPlotWarnings) {
            Dialogs().ShowMessage(this, Caption, problems, platform::MessageIcon::Warning);
        }
    }
    return true;
}

// The choices made in the preview, kept with the window's state so that a
// table the settings file names reads the same in the next session.
void TFormMain::SaveTableChoices(QSettings& store) const {
    store.beginWriteArray(QStringLiteral("Tables"));
    int i = 0;
    for (const auto& [path, entry] : tables_->byPath) {
        if (!entry.chosen || i >= MaxKeptTables) continue;
        store.setArrayIndex(i++);
        const io::TableOptions& o = entry.options;
        store.setValue(QStringLiteral("Path"), path);
        store.setValue(QStringLiteral("Encoding"),
                       o.encoding == io::TableEncoding::ShiftJis ? QStringLiteral("shift_jis") : QStringLiteral("utf-8"));
        store.setValue(QStringLiteral("Degrees"),
                       o.degrees == io::DegreeForm::DegreesMinutes ? QStringLiteral("dms") : QStringLiteral("decimal"));
        if (o.columnIndexes) {
            const io::TableColumns& c = *o.columnIndexes;
            store.setValue(QStringLiteral("Columns"), QStringLiteral("%1,%2,%3,%4,%5,%6,%7")
                                                          .arg(c.category).arg(c.category2).arg(c.lat).arg(c.lon)
                                                          .arg(c.elev).arg(c.elev2).arg(c.mesh));
        }
    }
    store.endArray();
}

void TFormMain::LoadTableChoices(QSettings& store) {
    const int count = store.beginReadArray(QStringLiteral("Tables"));
    for (int i = 0; i < count && i < MaxKeptTables; ++i) {
        store.setArrayIndex(i);
        const QString path = store.value(QStringLiteral("Path")).toString();
        if (path.isEmpty()) continue;
        TableImports::Entry entry;
        entry.chosen = true;
        entry.options.defaultCategory = Utf8(QFileInfo(path).completeBaseName());
        entry.options.encoding = store.value(QStringLiteral("Encoding")).toString() == QLatin1String("shift_jis")
                                     ? io::TableEncoding::ShiftJis
                                     : io::TableEncoding::Utf8;
        if (store.value(QStringLiteral("Degrees")).toString() == QLatin1String("dms"))
            entry.options.degrees = io::DegreeForm::DegreesMinutes;
        const QStringList columns = store.value(QStringLiteral("Columns")).toString().split(QLatin1Char(','));
        if (columns.size() == 7) {
            int v[7];
            bool ok = true;
            for (int k = 0; k < 7 && ok; ++k) v[k] = columns[k].toInt(&ok);
            if (!ok) continue;
            entry.options.columnIndexes = io::TableColumns{v[0], v[1], v[2], v[3], v[4], v[5], v[6]};
        }
        tables_->byPath[path] = std::move(entry);
    }
    store.endArray();
}

// ---------------------------------------------------------------- export

void TFormMain::ExportCellsItemClick() {
    const auto precision = static_cast<geo::PointPrecision>(State.GridSize);
    data::DataText& text = Memo1Text();
    io::CellSet cells;
    {
        BusyCursor busy;
        cells = io::CollectCells(text, precision);
    }
    if (cells.stoppedAtLine) {
        // The figure stops at that line too; a file without the records
        // below it would look complete.
        const std::size_t line = *cells.stoppedAtLine;
        QString reason;
        try {
            data::ParseRecordLine(text.Line(line), precision);
        } catch (const platform::KavumError& e) {
            reason = FromUtf8(e.Message());
        }
        throw platform::KavumError(Utf8(QStringLiteral("分布データの %1 行目が読めないため、分布区画を書き出せません").arg(line + 1) +
                                        (reason.isEmpty() ? QString() : QStringLiteral("（%1）").arg(reason))));
    }
    if (cells.records == 0) throw platform::KavumError(Utf8(QStringLiteral("書き出す分布データの記録がありません")));
    CellsDialog1.InitialDir = DialogFolder(QFileInfo(State.GrdFileName).absolutePath());
    const QString base = State.GrdFileName.isEmpty() ? QStringLiteral("NoName") : QFileInfo(State.GrdFileName).completeBaseName();
    CellsDialog1.FileName = base + (CellsDialog1.FilterIndex == 2 ? QStringLiteral(".geojson") : QStringLiteral(".gpkg"));
    if (!Dialogs().ExecuteSave(this, CellsDialog1)) return;
    ExportCells(CellsDialog1.FileName, cells);
}

void TFormMain::ExportCells(const QString& path, const io::CellSet& cells) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix != QLatin1String("gpkg") && suffix != QLatin1String("geojson") && suffix != QLatin1String("json")) {
        throw platform::KavumError(Utf8(QStringLiteral("分布区画は .gpkg (GeoPackage) か .geojson (GeoJSON) のファイルに保存します: %1").arg(path)));
    }
    RememberFolder(path);
    if (!MayReplaceFile(path)) return;
    {
        BusyCursor busy;
        io::WriteCells(cells, FileSystemPath(path));
    }
    StatusBar1->showMessage(QStringLiteral("%1 件の記録を %2 個の地物として %3 に書き出しました")
                                .arg(cells.records)
                                .arg(cells.cells.size())
                                .arg(QFileInfo(path).fileName()),
                            20000);
}

}  // namespace kavum::app
