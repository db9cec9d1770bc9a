#pragma once
// Figures at a physical size: the options an author gives for print (a
// width or a height with its unit, the text size, the thinnest line, the
// resolution of a bitmap) and what they make of a figure: its scale, how
// much larger its text is set, its thinnest line and the resolution its
// bitmap records. Pure functions, for the renderer's one figure and for
// every figure of an atlas alike.
#include "export/Figure.h"

#include <QSizeF>
#include <QString>

#include <optional>

namespace kavum::exporting {

// The text of the figure's design, in pixels at scale 1: the legend, the
// degree and elevation labels and the axis labels.
inline constexpr double DesignTextPixels = 13.0;
// Text is never set smaller than this unless asked for.
inline constexpr double MinDefaultFontPt = 6.0;
inline constexpr double DefaultLinePt = 0.25;
// A bitmap of a physical size without a resolution.
inline constexpr double DefaultPrintDpi = 600.0;
inline constexpr double MinPrintLengthMm = 10.0;
inline constexpr double MaxPrintLengthMm = 2000.0;
inline constexpr double MinPrintDpi = 72.0;
inline constexpr double MaxPrintDpi = 2400.0;
inline constexpr double MinFontPt = 2.0;
inline constexpr double MaxFontPt = 72.0;
inline constexpr double MinLinePt = 0.05;
inline constexpr double MaxLinePt = 10.0;

// A length with its unit, "85mm", "8.5 cm", "3.35in", "241pt" (no unit:
// none), in millimetres; none when it does not read as one.
std::optional<double> LengthInMillimetres(const QString& text);

struct PrintOptions {
    std::optional<double> widthMm;   // the figure this wide ...
    std::optional<double> heightMm;  // ... or this high (both: within both)
    std::optional<double> fontPt;    // text size; default: the design's at the size, at least 6 pt
    std::optional<double> linePt;    // thinnest line; default 0.25 pt
    std::optional<double> dpi;       // resolution of a bitmap
    std::optional<double> scale;     // the figure scale times its screen size
    bool Physical() const { return widthMm.has_value() || heightMm.has_value(); }
    // Whether any option is given: none leaves the figure as it always was.
    bool Any() const { return Physical() || fontPt || linePt || dpi || scale; }
};

// What the options make of a figure of the picture size (in pixels at scale
// 1, the bitmap's for a bitmap) in the format.
struct PrintGeometry {
    double scale = 1.0;         // Figure::scale
    double textScale = 1.0;     // Figure::textScale
    double minLineWidth = 0.0;  // Figure::minLineWidth, pixels at scale 1
    std::optional<double> dpi;  // Figure::dpi
    bool physical = false;      // Figure::physical
    QSizeF sizeMm;              // the printed size
    double fontPt = 0.0;        // the text's size in print
};

// Throws KavumError with a message for an option out of range or options
// that do not go together (a scale with a size, anything with a metafile
// other than scale 1).
PrintGeometry PrintGeometryOf(const QSize& pictureSize, FigureFormat format, const PrintOptions& options);

// Sets the figure's print fields from the options (for its own size in the
// format).
void ApplyPrintOptions(Figure& figure, FigureFormat format, const PrintOptions& options);

}  // namespace kavum::exporting
