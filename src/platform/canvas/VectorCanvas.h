#pragma once
// The canvas of the vector pictures (SVG, PDF): the shapes of a Windows
// canvas as paths in picture pixels, placed so that a reader fills the pixels
// a Windows device sets. Pixels, fills, dashes and thin straight lines are
// areas at pixel edges; lines and outlines run through pixel centres; text
// keeps the advance of every character of the screen's metrics. Shapes of
// one paint that follow each other share one path as long as they cannot
// change one another's pixels, which keeps large figures small and quick. A
// writer (SVG, PDF) turns the paths into its own syntax.
#include "platform/canvas/Canvas.h"
#include "platform/canvas/PixelGeometry.h"

#include <QPointF>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

namespace kavum::platform {

class TVectorCanvas : public TCanvas {
public:
    // How a path is painted: a colour, put down as it is, or multiplied into
    // what lies below, which is the mask mode's AND for the colours a chart
    // uses.
    struct Paint {
        TColor color = clBlack;
        bool multiply = false;
        bool operator==(const Paint&) const = default;
    };
    // A stroke: width 1 with flat ends and mitred joins, in the pattern of
    // its style (dashes in pixels from the start of each subpath), wider
    // ones solid with round ends and joins (a wide Windows pen).
    struct Stroke {
        Paint paint;
        int width = 1;
        TPenStyle style = TPenStyle::Solid;
        bool operator==(const Stroke&) const = default;
    };
    // Subpaths in picture pixels: closed polygons, open polylines, and
    // ellipses given by two corners of their box.
    struct Path {
        enum class Kind { Polygon, Polyline, Ellipse };
        struct Sub {
            Kind kind;
            int first;
            int count;
        };
        std::vector<QPointF> points;
        std::vector<Sub> subs;
        void Add(Kind kind, const QPointF* pts, int count);
        bool Empty() const { return subs.empty(); }
        void Clear();
    };

    TVectorCanvas(int width, int height);
    ~TVectorCanvas() override;

    int Width() const { return width_; }
    int Height() const { return height_; }

    void TextOut(int x, int y, const QString& text) override;
    void FillRect(const TRect& rect) override;
    void Rectangle(const TRect& rect) override;
    void Ellipse(const TRect& rect) override;
    void Polygon(const QPoint* points, int count) override;
    void Polyline(const QPoint* points, int count) override;
    void SetPixel(int x, int y, TColor color) override;
    void SetClipRect(const TRect& rect) override;
    void ResetClip() override;

    // The drawing calls of a stretch of a picture, noted instead of drawn:
    // each with the pen and brush it was made with, so that the same calls
    // can be told again and drawn later. Two notes are equal when the calls
    // and their state are, bit for bit.
    struct Recorded {
        struct Call {
            std::int32_t kind;
            std::uint32_t penColor;
            std::int32_t penWidth, penStyle, penMode;
            std::uint32_t brushColor;
            std::int32_t brushStyle;
            std::int32_t a, b, c, d;  // a rectangle, a point and colour, or where the points are
            bool operator==(const Call&) const = default;
        };
        std::vector<Call> calls;
        std::vector<QPoint> points;
        bool interrupted = false;  // drawn after all (text, or a group began inside)
        bool masks = false;        // a call was made in the mask mode
        bool clips = false;        // the clip was set
        void Clear();
        bool SameCalls(const Recorded& o) const;
    };

protected:
    // From here on the drawing calls are noted into the record, not drawn,
    // until StopRecording, or until text comes, which draws what was noted
    // and goes on drawing (the record is then marked interrupted).
    void StartRecording(Recorded* into);
    void StopRecording();
    bool Recording() const { return recording_ != nullptr; }
    // Draws what was noted so far and stops noting.
    void InterruptRecording();
    // Draws the calls of a record; the canvas's pen, brush and text ground
    // are as they were afterwards.
    void Replay(const Recorded& record);

    // Fills the path (the union of its subpaths, or by the even-odd rule),
    // strokes it, or fills it and then strokes it.
    virtual void WritePath(const Path& path, const std::optional<Paint>& fill, bool evenOdd,
                           const std::optional<Stroke>& stroke) = 0;
    // Text in the font (its colour included), each character at its x, on
    // the baseline.
    virtual void WriteText(const QString& text, const std::vector<double>& xs, double baseline,
                           const TCanvasFont& font) = 0;
    // Everything drawn afterwards is clipped to the rectangle, or not at all.
    virtual void WriteClip(const std::optional<TRect>& clip) = 0;

    // Writes what waits; a writer calls it before it closes the picture.
    void FlushPending();
    // Whether shapes wait to be written.
    bool Pending() const { return batch_ != Batch::None && !path_.Empty(); }

private:
    enum class Batch { None, Areas, Lines, Shapes };
    void Queue(Batch kind, const std::optional<Paint>& fill, bool evenOdd, const std::optional<Stroke>& stroke);
    void QueueShape(const std::optional<Paint>& fill, bool evenOdd, const std::optional<Stroke>& stroke,
                    Path::Kind kind, const QPointF* pts, int count);
    void AddArea(const std::vector<QPoint>& quads);
    // Whether the same subpath is in the batch already, in a plain colour:
    // drawing it again changes no pixel. Otherwise it is noted.
    bool Repeats(Path::Kind kind, const QPointF* pts, int count, bool multiply);
    Paint PenPaint() const;
    std::optional<Paint> BrushFill() const;

    int width_;
    int height_;
    TRect clip_;
    Batch batch_ = Batch::None;
    std::optional<Paint> fill_;
    bool evenOdd_ = false;
    std::optional<Stroke> stroke_;
    Path path_;
    TShapeGrid grid_;
    std::unordered_set<unsigned long long> pixels_;
    class SubpathSet;
    std::unique_ptr<SubpathSet> subpaths_;  // of the batch
    Recorded* recording_ = nullptr;
    bool Note(int kind, int a, int b, int c, int d, const QPoint* points = nullptr, int count = 0);
};

// The lengths of the dashes and gaps of a pattern of a line of width 1, in
// pixels; empty for a solid line.
std::vector<int> DashPattern(TPenStyle style);

// The path of a thin line through the pixel centres, from the outer edge of
// its first pixel to the near edge of its last point, which is not set:
// stroked one pixel wide with flat ends it covers the pixels of the line.
std::vector<QPointF> ThinLineCentres(const QPoint* points, int count);

// Appends a coordinate as short as it goes: integers bare, others to 1/100
// without trailing zeros.
void AppendNumber(QByteArray& out, double v);
void AppendNumber(std::string& out, double v);
// The same text written at out (room for 32 characters); the end of it.
char* FormatNumber(char* out, double v);

}  // namespace kavum::platform
