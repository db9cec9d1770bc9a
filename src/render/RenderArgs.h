#pragma once
// The command line of kavum-render.
#include <QString>
#include <QStringList>

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
    double scale = 1.0;          // --scale K, or --dpi D as D / 96
    bool screen = false;         // --screen: the mapping sheet as shown
    bool help = false;
    QString output;
};

// Throws std::invalid_argument with a message for a bad command line.
RenderArgs ParseRenderArgs(const QStringList& arguments);

QString RenderUsage();

}  // namespace kavum::render
