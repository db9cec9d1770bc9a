#pragma once
// The atlas and list modes of kavum-render: one figure per category (or
// group of categories) of a set of data files, made in this process or by
// worker processes of the same program.
#include "RenderArgs.h"

#include <QStringList>

namespace kavum::doc {
class Document;
}

namespace kavum::render {

// Runs --list or --per-category (or, with --worker, one worker of an atlas
// run) on a document whose settings and board the command line has already set. `arguments` is the command line after the program name,
// handed on to the workers. Returns the exit status.
int RunAtlasMode(doc::Document& form, const RenderArgs& args, const QStringList& arguments);

}  // namespace kavum::render
