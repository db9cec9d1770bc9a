#pragma once
// The command line of kavum-render.
#include "export/PrintSize.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace kavum::render {

struct RenderArgs {
    QString settings;            // empty: the program's default settings path
    QString map;
    QString data;
    std::optional<int> precision;   // GridSize
    std::optional<int> mesh;        // MeshSize
    std::optional<int> layout;      // 1, 2 or 3
    std::optional<bool> prefecture;
    int width = 810;
    int height = 559;
    std::optional<bool> fitToWidth;
    QString dumpPoints;
    QString dumpState;
    double scale = 1.0;          // --scale K, or --dpi D as D / 96 (without a size)
    // --width, --height, --font-pt, --line-pt, --scale, --dpi: the figure
    // for print (ApplyPrintOptions), for the one figure and every figure of
    // an atlas alike.
    exporting::PrintOptions print;
    bool force = false;          // --force: replace an existing file that is not a figure of the format
    bool screen = false;         // --screen: the mapping sheet as shown
    bool help = false;
    QString output;

    // Atlas production: one figure per category (or per group of them).
    QString perCategory;         // --per-category OUTDIR
    QStringList inputs;          // further data files or folders (atlas and list modes)
    int group = 1;               // categories per figure, 1..9
    int jobs = 0;                // 0: one per core
    QString format = QStringLiteral("png");   // figure format of the atlas
    bool markOfPosition = false; // keep the mark of the category's position in the data
    bool list = false;           // --list: the categories, no drawing
    bool keepGoing = false;      // write what was drawn up to a bad record line
    bool progress = false;       // progress line even when standard error is no terminal
    bool worker = false;         // internal: an atlas worker fed with figure numbers on stdin
    bool keepOld = false;        // --keep-old: figures of an earlier run stay beside the new ones
    bool skipExisting = false;   // --skip-existing: figures still current by the manifest are not drawn again
    bool skipEmpty = false;      // --skip-empty: no figure for a category without an accepted record
    QString book;                // --book FILE.pdf: every figure as a page of one PDF

    // Tables of occurrences and export of the plotted cells.
    QStringList tables;          // --table FILE, any number of times
    QString tableEncoding;       // --encoding utf-8|shift_jis (empty: detected)
    QString tableColumns;        // --columns category=...,lat=...
    bool degreesMinutes = false; // --degrees dms
    QString convert;             // --convert OUT.grd
    QString exportCells;         // --export-cells FILE.geojson|FILE.gpkg

    bool Atlas() const { return !perCategory.isEmpty() || !book.isEmpty(); }
};

// Reads an option of the table group; false for any other option.
bool ParseTableOption(RenderArgs& a, const QString& arg, const std::function<QString()>& value);

// Throws std::invalid_argument with a message for a bad command line.
RenderArgs ParseRenderArgs(const QStringList& arguments);

// Takes the print option at arguments[i] (and its value, advancing i) into
// the options; false when arguments[i] is not one. Throws
// std::invalid_argument for a bad value.
bool ParsePrintOption(const QStringList& arguments, int& i, exporting::PrintOptions& options);
// Throws std::invalid_argument when the options do not go together or do
// not apply to the format ("emf", "svg", "pdf", "png"; empty: any).
void CheckPrintOptions(const exporting::PrintOptions& options, const QString& format);

QString RenderUsage();

}  // namespace kavum::render
