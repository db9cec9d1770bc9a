#pragma once
// Figures: one chart alone, or several charts drawn afresh into one picture
// that reproduces a layout of the window. A figure is a picture size and the
// charts with their rectangles in drawing order; it can be drawn onto any
// canvas, so an enhanced metafile, an SVG document, a PDF page and a bitmap
// of one figure show the same picture.
#include "chart/CustomChart.h"
#include "export/Composite.h"

#include <QByteArray>
#include <QImage>
#include <QPoint>
#include <QRectF>
#include <QSize>
#include <QString>

#include <optional>
#include <vector>

namespace kavum::platform {
class TPdfShared;
}

namespace kavum::exporting {

using platform::TRect;

enum class FigureFormat { Emf, Svg, Pdf, Png };

// The format named by a file's extension (any letter case); none for other
// extensions.
std::optional<FigureFormat> FigureFormatOfPath(const QString& path);
// "emf", "svg", "pdf", "png".
QString FigureExtension(FigureFormat format);

struct ChartPlacement {
    chart::TCustomChart* chart = nullptr;
    TRect rect;  // right and bottom exclusive, as the chart's bounds
};

struct Figure {
    QSize size;        // the picture (metafile, SVG, PDF)
    QSize bitmapSize;  // the bitmap of the same figure
    std::vector<ChartPlacement> charts;  // in drawing order
    // Where the legend stands in the picture while the charts are drawn;
    // none: where it stands on screen.
    std::optional<QPoint> legend;
    // Every length of the written picture is scale times the sizes above
    // (MinFigureScale..MaxFigureScale): the charts are drawn as if each of
    // their pixel sizes were scale times larger, into the picture of
    // ScaledSize, with the positions of their points at that finer grid.
    // The bitmap has those pixels; the SVG and PDF documents have that size
    // at 96 pixels to the inch, drawn on the finer grid of VectorGrid. The
    // metafile is always at scale 1.
    double scale = 1.0;
    // Text is set this many times larger again than the scale makes it
    // (with the gaps and rows that go with it).
    double textScale = 1.0;
    // No line is thinner than this, in pixels of the scale-1 picture (0: as
    // drawn).
    double minLineWidth = 0.0;
    // The resolution the bitmap records (none: 96 x scale dpi).
    std::optional<double> dpi;
    // Made for print at a size: the scale may lie below MinFigureScale, the
    // SVG document is sized in millimetres and the vector pictures are drawn
    // on the grid of the scale-1 picture.
    bool physical = false;
};

inline constexpr double MinFigureScale = 1.0;
// 2400 dpi.
inline constexpr double MaxFigureScale = 25.0;
// The smallest scale of a figure made for print (a figure a few
// centimetres wide).
inline constexpr double MinPrintScale = 0.02;
// The scale of a resolution in dots per inch (96 dpi is scale 1).
double ScaleOfDpi(double dpi);
// The grid a vector picture of the size at a scale is drawn on, in units
// per pixel of the scale-1 picture: the scale times a whole number, at least
// the scale and up to MaxVectorGrid, so that its points lie on a grid finer
// than the bitmap's (and the positions of a fractional scale fall between
// the bitmap's pixels); no finer than keeps the picture within
// MaxVectorExtent units. The document keeps the size of the scaled picture.
// Scale 1 is drawn on a grid of MaxVectorGrid too (no coarser than keeps
// the picture within MaxVectorExtent units), so that no coordinate of a
// vector picture is rounded to a whole pixel.
inline constexpr double MaxVectorGrid = 12.0;
inline constexpr double MaxVectorExtent = 30000.0;
double VectorGrid(double scale, const QSize& size);
// Whether a scale can be written (a number in the range).
bool ValidFigureScale(double scale);
// A picture size times the scale, to whole pixels (at least 1 x 1).
QSize ScaledSize(const QSize& size, double scale);
// A rectangle of the picture as it lands in the scaled picture (each edge
// scale times as far, to the nearest pixel): where a chart is drawn.
TRect ScaledRect(const TRect& rect, double scale);

// A chart's own picture at its client size: the bitmap is the client size,
// the other pictures are one pixel narrower and lower (at least 1 x 1).
Figure SingleChartFigure(chart::TCustomChart& chart);
// The two profiles one above the other, sharing one scale of kilometres.
Figure TwoProfileFigure(chart::TCustomChart& westEast, chart::TCustomChart& southNorth, double mapAspect);
// The clipboard's two profiles: 1200 x 1600, both at full width.
Figure ClipboardTwoProfileFigure(chart::TCustomChart& westEast, chart::TCustomChart& southNorth);
// The three views around one another; the legend moves into the map's
// rectangle of the picture.
Figure ThreeViewFigure(chart::TCustomChart& map, chart::TCustomChart& westEast, chart::TCustomChart& southNorth, double mapAspect,
                       int legendLeft, int legendTop);

// The three charts of the window.
struct FigureCharts {
    chart::TCustomChart* map = nullptr;         // the horizontal map
    chart::TCustomChart* westEast = nullptr;    // the west-east profile
    chart::TCustomChart* southNorth = nullptr;  // the south-north profile
};

// The figure saved in a show mode: the map chart's own picture (1), the two
// profiles (2), the three views (3); none in any other mode (no map yet).
std::optional<Figure> SavedFigure(const FigureCharts& charts, int showMode, double mapAspect, int legendLeft,
                                  int legendTop);
// The figure copied to the clipboard in a show mode: as saved, but the two
// profiles of the fixed clipboard size.
std::optional<Figure> ClipboardFigure(const FigureCharts& charts, int showMode, double mapAspect, int legendLeft,
                                      int legendTop);

// The legend position the map chart's overlay draws at (the window's state).
// Both null: the figure's legend position is not applied.
struct LegendPosition {
    int* left = nullptr;
    int* top = nullptr;
};

// Draws the figure's charts in order onto the canvas at the scale (a canvas
// of the picture's ScaledSize). The legend is set to the figure's position
// for the drawing and set back afterwards, also when the drawing fails.
void DrawFigure(platform::TCanvas& canvas, const Figure& figure, LegendPosition legend = {}, double scale = 1.0);

QByteArray FigureMetafile(const Figure& figure, LegendPosition legend = {});
// White ground, 32-bit RGB, scale times the bitmap size, with the
// resolution 96 x scale dpi. A bitmap of more than 100 million pixels
// raises KavumError.
QImage FigureBitmap(const Figure& figure, LegendPosition legend = {});
// An SVG document at 96 dpi; title is the document title.
QByteArray FigureSvg(const Figure& figure, LegendPosition legend = {}, const QString& title = QString());
// One PDF page of the picture's size at 96 dpi, vector, fonts embedded;
// with a share, a page of a book or one of the files of a run
// (platform::TPdfShared).
QByteArray FigurePdf(const Figure& figure, LegendPosition legend = {}, const QString& title = QString(),
                     platform::TPdfShared* shared = nullptr);
// The file contents of the figure in the format (PNG for Png); a PDF file
// with the share given, when it is one of the files of a run.
QByteArray FigureBytes(FigureFormat format, const Figure& figure, LegendPosition legend = {},
                       const QString& title = QString(), platform::TPdfShared* shared = nullptr);

// What a file that a figure is about to replace holds, by its content.
struct ExistingFile {
    bool exists = false;
    // It is a figure of the format being written: replacing it loses no data.
    bool sameFormat = false;
    // What it seems to be otherwise ("PNG 画像", "テキストファイル", ...).
    QString kind;
    FigureFormat format = FigureFormat::Emf;  // the format being written
};
ExistingFile ExistingFigureFile(const QString& path, FigureFormat format);
// The question asked before the figure replaces the file: a plain one for
// a figure of the format, a stronger one naming what the file seems to be.
QString ReplaceFigureQuestion(const QString& path, const ExistingFile& existing);

// Writes the figure to the file, creating or replacing it as a whole: the
// picture is made first, and a file that cannot be written raises FileError
// and leaves nothing behind.
void SaveFigure(FigureFormat format, const Figure& figure, const QString& path, LegendPosition legend = {});

// The figure on the clipboard as an enhanced metafile, with a PNG bitmap of
// the same picture beside it for programs that cannot paste metafiles (when
// the bitmap is not too large).
void CopyFigureToClipboard(const Figure& figure, LegendPosition legend = {});

}  // namespace kavum::exporting
