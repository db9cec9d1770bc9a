#pragma once
// A drawing surface with the semantics of a Windows canvas: a pen (colour,
// width, style, copy or mask mode), a brush (solid or clear), a font by face
// name, pixel height and colour, text out on an opaque or transparent ground,
// rectangles with exclusive right and bottom edges, ellipses in a bounding
// box, polygons, polylines whose last point is not drawn, single pixels and a
// clip rectangle. The state lives here; the drawing is the implementations'.
#include "platform/Fonts.h"
#include "platform/canvas/Color.h"

#include <QFont>
#include <QFontMetrics>
#include <QPoint>
#include <QString>

#include <memory>
#include <vector>

namespace kavum::platform {

// A rectangle as (left, top, right, bottom); right and bottom are exclusive
// wherever something is filled or outlined.
struct TRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool IsEmpty() const { return right <= left || bottom <= top; }
    bool operator==(const TRect&) const = default;
};
TRect Intersect(const TRect& a, const TRect& b);

enum class TPenMode {
    Copy,  // the pen colour replaces the pixel
    Mask,  // the pixel becomes pixel AND pen colour
};

enum class TPenStyle {
    Solid,
    Dash,
    Dot,
    DashDot,
    DashDotDot,
    Alternate,  // every other pixel: the chart's "small dots"
    Clear,
};

enum class TBrushStyle { Solid, Clear };

inline constexpr int ShiftJisCharset = 128;

// The widest pen a canvas draws: a wider pen (a hand-edited settings file
// may ask for any width; the board sets 1 or 2) is drawn this wide. A map
// line 64 pixels wide already hides the map, and the bound keeps every
// drawing quick whatever the file says.
inline constexpr int MaxDrawnPenWidth = 64;

struct TCanvasPen {
    TColor color = clBlack;
    int width = 1;
    TPenStyle style = TPenStyle::Solid;
    TPenMode mode = TPenMode::Copy;
    bool operator==(const TCanvasPen&) const = default;
};

struct TCanvasBrush {
    TColor color = clWhite;
    TBrushStyle style = TBrushStyle::Solid;
    bool operator==(const TCanvasBrush&) const = default;
};

// height is the character height in pixels (the em size), as a Windows
// font of negative height.
struct TCanvasFont {
    QString name = QStringLiteral("ＭＳ ゴシック");
    int height = 13;
    TColor color = clBlack;
    int charset = ShiftJisCharset;
    bool bold = false;
    bool italic = false;
    bool operator==(const TCanvasFont&) const = default;
};

// Pixel height of a font of the given point size on the 96 dpi screen.
int PointsToPixels(int points);

// The Qt font that stands for a canvas font (after substitution).
QFont MakeQFont(const TCanvasFont& font);

// Text metrics of a font without a canvas: the ones every canvas uses.
int TextWidthOf(const TCanvasFont& font, const QString& text);

// Texts of any length (a heading line may hold megabytes). Up to
// LongTextLength characters a text is measured whole, exactly; beyond, as
// the sum of the advances of its characters (within a fraction of a percent
// of the whole measure, which kerns), in time linear in the text and without
// laying it out. Widths saturate at MaxTextWidth.
inline constexpr qsizetype LongTextLength = 4096;
inline constexpr int MaxTextWidth = 1 << 24;
int TextWidthIn(const QFontMetrics& metrics, const QString& text);
// The start of the text that covers at least room pixels (all of it when it
// is shorter): what can be seen of a text drawn in a picture that wide.
QString TextPrefixWithin(const QFontMetrics& metrics, const QString& text, int room);
// widths[i] = the width of the first i UTF-16 units of the text, for i in
// 0..size (inside a surrogate pair the width before the pair). Exact, as
// measuring each start, for texts of labels and names; from the sum of the
// characters' advances beyond ExactPrefixLength, so that the cost stays
// linear in the text.
inline constexpr qsizetype ExactPrefixLength = 512;
std::vector<int> PrefixWidths(const QFontMetrics& metrics, const QString& text);
// Room enough for any picture the program draws.
inline constexpr int MaxPictureExtent = 65536;
int TextHeightOf(const TCanvasFont& font);

class TCanvas {
public:
    TCanvas();
    virtual ~TCanvas();
    TCanvas(const TCanvas&) = delete;
    TCanvas& operator=(const TCanvas&) = delete;

    // Pen.
    const TCanvasPen& Pen() const { return pen_; }
    void SetPen(const TCanvasPen& pen) {
        pen_ = pen;
        if (pen_.width > MaxDrawnPenWidth) pen_.width = MaxDrawnPenWidth;
    }
    void SetPenColor(TColor color) { pen_.color = color; }
    void SetPenWidth(int width) { pen_.width = width < 1 ? 1 : (width > MaxDrawnPenWidth ? MaxDrawnPenWidth : width); }
    void SetPenStyle(TPenStyle style) { pen_.style = style; }
    void SetPenMode(TPenMode mode) { pen_.mode = mode; }

    // Brush. Setting the brush also makes text stand on the brush colour
    // (opaque ground) when the brush is solid, on nothing when it is clear.
    const TCanvasBrush& Brush() const { return brush_; }
    void SetBrush(const TCanvasBrush& brush);
    void SetBrushColor(TColor color);
    void SetBrushStyle(TBrushStyle style);

    // Font.
    const TCanvasFont& Font() const { return font_; }
    void SetFont(const TCanvasFont& font) { font_ = font; }
    void SetFontColor(TColor color) { font_.color = color; }
    void SetFontHeight(int pixels) { font_.height = pixels < 1 ? 1 : pixels; }
    void SetFontSize(int points) { SetFontHeight(PointsToPixels(points)); }
    void SetFontName(const QString& name) { font_.name = name; }

    // Text ground: transparent, or the brush colour.
    bool TextTransparent() const { return textTransparent_; }
    void SetTextTransparent(bool transparent) { textTransparent_ = transparent; }

    // Metrics of the current font; the same on every canvas, so that a
    // layout made for the screen holds in a file.
    int TextWidth(const QString& text) const;
    int TextHeight(const QString& text) const;
    const QFontMetrics& Metrics() const;

    // Pen position for MoveTo and LineTo.
    void MoveTo(int x, int y) { penPos_ = QPoint(x, y); }
    void LineTo(int x, int y);
    QPoint PenPos() const { return penPos_; }
    // A line from (x1, y1) to (x2, y2); the end point is not drawn.
    void Line(int x1, int y1, int x2, int y2);

    // Text with its top-left corner at (x, y), in the font colour.
    virtual void TextOut(int x, int y, const QString& text) = 0;
    // Fills the rectangle with the brush; the pen and its mode play no part.
    virtual void FillRect(const TRect& rect) = 0;
    // Outline with the pen, inside with the brush. Without a pen the filled
    // area is one pixel narrower and lower, as on Windows.
    virtual void Rectangle(const TRect& rect) = 0;
    // Ellipse inscribed in the rectangle, outline and fill.
    virtual void Ellipse(const TRect& rect) = 0;
    // Closed polygon, outline and fill (alternate filling).
    virtual void Polygon(const QPoint* points, int count) = 0;
    // Open polyline; the last point is not drawn.
    virtual void Polyline(const QPoint* points, int count) = 0;
    // One pixel in the given colour; pen, brush and mode play no part.
    virtual void SetPixel(int x, int y, TColor color) = 0;

    // Clipping of everything drawn afterwards.
    virtual void SetClipRect(const TRect& rect) = 0;
    virtual void ResetClip() = 0;

    // What is drawn between the two belongs together (a chart, its grid, a
    // series, the legend) under the id; groups nest. Pictures that keep
    // structure (SVG, PDF) make it a group, the others ignore it. The label
    // is the name a reader shows for it (empty: the id).
    virtual void BeginGroup(const QString& id, const QString& label = QString()) {
        (void)id;
        (void)label;
    }
    virtual void EndGroup() {}

private:
    TCanvasPen pen_;
    TCanvasBrush brush_;
    TCanvasFont font_;
    bool textTransparent_ = false;
    QPoint penPos_;

    struct MetricsCache;
    mutable std::unique_ptr<MetricsCache> metrics_;
};

// A group for the life of the object.
class TCanvasGroup {
public:
    TCanvasGroup(TCanvas& canvas, const QString& id, const QString& label = QString()) : canvas_(canvas) {
        canvas_.BeginGroup(id, label);
    }
    ~TCanvasGroup() { canvas_.EndGroup(); }
    TCanvasGroup(const TCanvasGroup&) = delete;
    TCanvasGroup& operator=(const TCanvasGroup&) = delete;

private:
    TCanvas& canvas_;
};

}  // namespace kavum::platform
