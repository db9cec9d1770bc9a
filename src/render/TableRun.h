#pragma once
// kavum-render's tables and GIS files: tables converted to a data file
// before the drawing, and the plotted cells written after it.
#include "RenderArgs.h"

#include <QString>

namespace kavum::doc { class Document; }

namespace kavum::render {

// Reads the tables of --table, reports their unusable rows on standard
// error (FILE:LINE: message) with the counts, writes --convert, and writes
// the data text to a file in dir, whose path it returns. Throws KavumError.
QString ConvertTables(const RenderArgs& args, const QString& dir);

// Writes the plotted records of the form's data text to --export-cells.
// Throws KavumError.
void ExportCells(doc::Document& form, const RenderArgs& args);

}  // namespace kavum::render
