#pragma once
// The document of kavum-render as the window starts its own: the settings
// file found as the window finds it and read, then the board's values that
// the options name.
#include "RenderArgs.h"

#include "doc/Document.h"

#include <QStringList>

namespace kavum::render {

// program: the window program's path (the settings file follows from it).
// What the window would say in a message goes to messages.
void StartDocument(doc::Document& document, const QString& program, QStringList& messages);
// Makes path the settings file in use and reads it, as reopening it in the
// window does.
void LoadSettingsFile(doc::Document& document, const QString& path, QStringList& messages);
// The map and data files, precision, mesh lines, layout, prefecture
// boundaries and fit of the options onto the board.
void ApplyBoardArgs(doc::Document& document, const RenderArgs& args);

}  // namespace kavum::render
