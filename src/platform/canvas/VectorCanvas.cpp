#include "platform/canvas/VectorCanvas.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>

#include <QHash>

namespace kavum::platform {

namespace {

QPointF Centre(const QPoint& p) { return QPointF(p.x() + 0.5, p.y() + 0.5); }

}  // namespace

std::vector<QPointF> ThinLineCentres(const QPoint* points, int count) {
    std::vector<QPointF> path;
    path.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) path.push_back(Centre(points[i]));
    auto halfStep = [](const QPoint& from, const QPoint& to) {
        const int dx = to.x() - from.x();
        const int dy = to.y() - from.y();
        const int n = std::max(std::abs(dx), std::abs(dy));
        return n == 0 ? QPointF() : QPointF(0.5 * dx / n, 0.5 * dy / n);
    };
    if (count >= 2) {
        path.front() -= halfStep(points[0], points[1]);
        path.back() -= halfStep(points[count - 2], points[count - 1]);
    }
    return path;
}

std::vector<int> DashPattern(TPenStyle style) {
    switch (style) {
        case TPenStyle::Alternate: return {1, 1};
        case TPenStyle::Dot: return {3, 3};
        case TPenStyle::Dash: return {18, 6};
        case TPenStyle::DashDot: return {9, 6, 3, 6};
        case TPenStyle::DashDotDot: return {9, 3, 3, 3, 3, 3};
        default: return {};
    }
}

void TVectorCanvas::Path::Add(Kind kind, const QPointF* pts, int count) {
    if (kind == Kind::Ellipse) {
        subs.push_back(Sub{kind, static_cast<int>(points.size()), count});
        points.insert(points.end(), pts, pts + count);
        return;
    }
    // No point twice in a row, and a polygon not closed by its first point
    // again: a reader gets no segments of length zero.
    const std::size_t first = points.size();
    for (int i = 0; i < count; ++i) {
        if (points.size() > first && points.back() == pts[i]) continue;
        points.push_back(pts[i]);
    }
    if (kind == Kind::Polygon) {
        while (points.size() > first + 1 && points.back() == points[first]) points.pop_back();
    }
    const int kept = static_cast<int>(points.size() - first);
    if (kept < 2) {
        // Nothing a stroke of flat ends would show.
        points.resize(first);
        return;
    }
    subs.push_back(Sub{kind, static_cast<int>(first), kept});
}

void TVectorCanvas::Path::Clear() {
    points.clear();
    subs.clear();
}

// The subpaths of a batch by their kind and points, bit for bit: the points
// of each kept in one pool, found through an open table of their hashes.
// Emptying it is a new generation, whatever it held.
class TVectorCanvas::SubpathSet {
public:
    // True when the subpath was not in the set; it is then added.
    bool Insert(Path::Kind kind, const QPointF* pts, int count) {
        const std::size_t bytes = sizeof(QPointF) * static_cast<std::size_t>(count);
        std::uint64_t h = Mix(0x9E3779B97F4A7C15ULL ^ (static_cast<std::uint64_t>(kind) << 32 | static_cast<std::uint32_t>(count)));
        for (int i = 0; i < count; ++i) {
            std::uint64_t x, y;
            const double px = pts[i].x(), py = pts[i].y();
            std::memcpy(&x, &px, 8);
            std::memcpy(&y, &py, 8);
            h = Mix(h ^ x);
            h = Mix(h ^ y);
        }
        if (2 * (entries_.size() + 1) > slots_.size()) Grow();
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t i = h & mask;; i = (i + 1) & mask) {
            Slot& s = slots_[i];
            if (s.generation != generation_) {
                s = Slot{static_cast<std::uint32_t>(entries_.size()), generation_};
                entries_.push_back(Entry{h, pool_.size(), static_cast<std::uint32_t>(count), kind});
                pool_.insert(pool_.end(), pts, pts + count);
                return true;
            }
            const Entry& e = entries_[s.entry];
            if (e.hash == h && e.count == static_cast<std::uint32_t>(count) && e.kind == kind &&
                std::memcmp(pool_.data() + e.first, pts, bytes) == 0) {
                return false;
            }
        }
    }

    void Clear() {
        if (entries_.empty()) return;
        entries_.clear();
        pool_.clear();
        if (++generation_ == 0) {
            // After four billion batches the stamps start again.
            for (Slot& s : slots_) s.generation = 0;
            generation_ = 1;
        }
    }

private:
    struct Entry {
        std::uint64_t hash;
        std::size_t first;
        std::uint32_t count;
        Path::Kind kind;
    };
    // A slot is taken when it bears the set's generation.
    struct Slot {
        std::uint32_t entry = 0;
        std::uint32_t generation = 0;
    };

    static std::uint64_t Mix(std::uint64_t z) {
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }

    void Grow() {
        std::vector<Slot>(std::max<std::size_t>(1024, slots_.size() * 2)).swap(slots_);
        generation_ = 1;
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t k = 0; k < entries_.size(); ++k) {
            std::size_t i = entries_[k].hash & mask;
            while (slots_[i].generation == generation_) i = (i + 1) & mask;
            slots_[i] = Slot{static_cast<std::uint32_t>(k), generation_};
        }
    }

    std::vector<Slot> slots_;
    std::vector<Entry> entries_;
    std::vector<QPointF> pool_;
    std::uint32_t generation_ = 1;
};

TVectorCanvas::TVectorCanvas(int width, int height)
    : width_(std::max(1, width)),
      height_(std::max(1, height)),
      clip_{0, 0, width_, height_},
      grid_(width_, height_),
      subpaths_(std::make_unique<SubpathSet>()) {}

TVectorCanvas::~TVectorCanvas() = default;

namespace {

// The mask mode ANDs the colour into the pixel: black stays black on any
// ground, so it is a plain colour; others multiply into what lies below.
bool Multiplies(TPenMode mode, TColor color) { return mode == TPenMode::Mask && (color & 0xFFFFFF) != clBlack; }

}  // namespace

TVectorCanvas::Paint TVectorCanvas::PenPaint() const {
    return Paint{Pen().color, Multiplies(Pen().mode, Pen().color)};
}

std::optional<TVectorCanvas::Paint> TVectorCanvas::BrushFill() const {
    if (Brush().style == TBrushStyle::Clear) return std::nullopt;
    return Paint{Brush().color, Multiplies(Pen().mode, Brush().color)};
}

void TVectorCanvas::FlushPending() {
    if (batch_ != Batch::None && !path_.Empty()) WritePath(path_, fill_, evenOdd_, stroke_);
    path_.Clear();
    // Clearing a set writes over all its buckets, empty or not: after a
    // long run of pixels that would cost as much at every shape.
    if (!pixels_.empty()) pixels_.clear();
    subpaths_->Clear();
    grid_.Clear();
    batch_ = Batch::None;
}

void TVectorCanvas::Queue(Batch kind, const std::optional<Paint>& fill, bool evenOdd,
                          const std::optional<Stroke>& stroke) {
    if (batch_ == kind && fill_ == fill && evenOdd_ == evenOdd && stroke_ == stroke) {
        // A long run of one paint goes out in parts, so that what a batch
        // holds stays small: its shapes never touch, and lines of a plain
        // colour over one another are that colour. Areas, whose pixels meet
        // edge to edge, and what multiplies stay whole. The same mark again
        // follows its first close by (the series are in the order of x).
        constexpr std::size_t MaxBatchSubpaths = 1 << 16;
        const bool multiplies = (fill && fill->multiply) || (stroke && stroke->paint.multiply);
        if (path_.subs.size() < MaxBatchSubpaths || kind == Batch::Areas || (kind == Batch::Lines && multiplies)) return;
    }
    FlushPending();
    batch_ = kind;
    fill_ = fill;
    evenOdd_ = evenOdd;
    stroke_ = stroke;
}

// Areas of one paint are filled as their union: a pixel set twice is set
// once, which is what setting it twice does (AND included).
void TVectorCanvas::AddArea(const std::vector<QPoint>& quads) {
    QPointF q[4];
    for (std::size_t i = 0; i + 3 < quads.size(); i += 4) {
        for (int k = 0; k < 4; ++k) q[k] = QPointF(quads[i + k]);
        path_.Add(Path::Kind::Polygon, q, 4);
    }
}

bool TVectorCanvas::Repeats(Path::Kind kind, const QPointF* pts, int count, bool multiply) {
    if (multiply) return false;
    return !subpaths_->Insert(kind, pts, count);
}

// Shapes share a path while none can touch another: the path is filled and
// then outlined as a whole, which for separate shapes sets the pixels that
// drawing them one by one sets.
void TVectorCanvas::QueueShape(const std::optional<Paint>& fill, bool evenOdd, const std::optional<Stroke>& stroke,
                               Path::Kind kind, const QPointF* pts, int count) {
    Queue(Batch::Shapes, fill, evenOdd, stroke);
    // The same shape again on top of itself in the batch: nothing changes
    // (the others of the batch do not touch it).
    if (Repeats(kind, pts, count, (fill && fill->multiply) || (stroke && stroke->paint.multiply))) return;
    double l = pts[0].x(), t = pts[0].y(), r = l, b = t;
    for (int i = 1; i < count; ++i) {
        l = std::min(l, pts[i].x());
        t = std::min(t, pts[i].y());
        r = std::max(r, pts[i].x());
        b = std::max(b, pts[i].y());
    }
    const int bl = static_cast<int>(std::floor(std::clamp(l, -1e9, 1e9)));
    const int bt = static_cast<int>(std::floor(std::clamp(t, -1e9, 1e9)));
    const int br = static_cast<int>(std::ceil(std::clamp(r, -1e9, 1e9)));
    const int bb = static_cast<int>(std::ceil(std::clamp(b, -1e9, 1e9)));
    const int margin = (stroke ? stroke->width : 0) + 1;
    if (!path_.Empty() && grid_.Touches(bl, bt, br, bb, margin)) {
        FlushPending();
        Queue(Batch::Shapes, fill, evenOdd, stroke);
        Repeats(kind, pts, count, false);  // noted in the new batch
    }
    path_.Add(kind, pts, count);
    grid_.Add(bl, bt, br, bb, margin);
}

namespace {

enum CallKind : std::int32_t { CallFillRect = 1, CallRectangle, CallEllipse, CallPolygon, CallPolyline, CallPixel, CallClip, CallUnclip };

}  // namespace

void TVectorCanvas::Recorded::Clear() {
    calls.clear();
    points.clear();
    interrupted = masks = clips = false;
}

namespace {

// Bit for bit, as memcmp; two empty lists are equal (an empty vector may
// hold no buffer at all, which memcmp must not be given).
template <class T>
bool SameBits(const std::vector<T>& a, const std::vector<T>& b) {
    return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(T)) == 0);
}

}  // namespace

bool TVectorCanvas::Recorded::SameCalls(const Recorded& o) const {
    return SameBits(calls, o.calls) && SameBits(points, o.points);
}

void TVectorCanvas::StartRecording(Recorded* into) {
    FlushPending();
    into->Clear();
    recording_ = into;
}

void TVectorCanvas::StopRecording() { recording_ = nullptr; }

void TVectorCanvas::InterruptRecording() {
    Recorded* record = recording_;
    if (!record) return;
    recording_ = nullptr;
    record->interrupted = true;
    Replay(*record);
}

bool TVectorCanvas::Note(int kind, int a, int b, int c, int d, const QPoint* points, int count) {
    if (!recording_) return false;
    // A stretch too long to be worth keeping (a million records' marks) is
    // drawn as it comes, from here on.
    constexpr std::size_t MaxNotedCalls = std::size_t{1} << 18, MaxNotedPoints = std::size_t{1} << 22;
    if (recording_->calls.size() >= MaxNotedCalls || recording_->points.size() + static_cast<std::size_t>(count) > MaxNotedPoints) {
        InterruptRecording();
        return false;
    }
    Recorded& r = *recording_;
    const TCanvasPen& pen = Pen();
    const TCanvasBrush& brush = Brush();
    if (points) {
        a = static_cast<int>(r.points.size());
        b = count;
        r.points.insert(r.points.end(), points, points + count);
    }
    r.calls.push_back(Recorded::Call{kind, pen.color, pen.width, static_cast<std::int32_t>(pen.style),
                                     static_cast<std::int32_t>(pen.mode), brush.color,
                                     static_cast<std::int32_t>(brush.style), a, b, c, d});
    // What the mask mode multiplies depends on what lies below: a pen or
    // brush of a colour but black (a fill of a rectangle or a pixel
    // ignores the mode).
    if (pen.mode == TPenMode::Mask && kind != CallFillRect && kind != CallPixel) {
        const bool penMultiplies = pen.style != TPenStyle::Clear && (pen.color & 0xFFFFFF) != clBlack;
        const bool brushMultiplies = kind != CallPolyline && brush.style == TBrushStyle::Solid &&
                                     (brush.color & 0xFFFFFF) != clBlack;
        if (penMultiplies || brushMultiplies) r.masks = true;
    }
    if (kind == CallClip || kind == CallUnclip) r.clips = true;
    return true;
}

void TVectorCanvas::Replay(const Recorded& record) {
    const TCanvasPen pen = Pen();
    const TCanvasBrush brush = Brush();
    const bool transparent = TextTransparent();
    for (const Recorded::Call& k : record.calls) {
        SetPen(TCanvasPen{k.penColor, k.penWidth, static_cast<TPenStyle>(k.penStyle), static_cast<TPenMode>(k.penMode)});
        SetBrush(TCanvasBrush{k.brushColor, static_cast<TBrushStyle>(k.brushStyle)});
        const TRect rect{k.a, k.b, k.c, k.d};
        const QPoint* pts = record.points.data() + k.a;
        switch (k.kind) {
            case CallFillRect: FillRect(rect); break;
            case CallRectangle: Rectangle(rect); break;
            case CallEllipse: Ellipse(rect); break;
            case CallPolygon: Polygon(pts, k.b); break;
            case CallPolyline: Polyline(pts, k.b); break;
            case CallPixel: SetPixel(k.a, k.b, static_cast<TColor>(k.c)); break;
            case CallClip: SetClipRect(rect); break;
            case CallUnclip: ResetClip(); break;
            default: break;
        }
    }
    SetPen(pen);
    SetBrush(brush);
    SetTextTransparent(transparent);
}

namespace {

// A text's width and where each of its characters starts, as the screen
// measures them.
struct Measured {
    int width = 0;
    std::vector<int> prefix;
};

// The labels of a run of figures come again on every page (the scales, the
// legend): a short one is measured once for each font.
const Measured& MeasuredText(const TCanvasFont& font, const QFontMetrics& metrics, const QString& text,
                             const std::function<int()>& width) {
    constexpr qsizetype Kept = 64;
    thread_local Measured fresh;
    if (text.size() > Kept) {
        fresh = Measured{width(), PrefixWidths(metrics, text)};
        return fresh;
    }
    thread_local QHash<QString, Measured> known;
    const QString key = font.name + QChar(0x1F) + QString::number(font.height) + QChar(font.bold ? u'b' : u'-') +
                        QChar(font.italic ? u'i' : u'-') + QString::number(font.charset) + QChar(0x1F) + text;
    if (const auto it = known.constFind(key); it != known.constEnd()) return *it;
    if (known.size() >= 8192) known.clear();
    return *known.insert(key, Measured{width(), PrefixWidths(metrics, text)});
}

}  // namespace

void TVectorCanvas::TextOut(int x, int y, const QString& text) {
    if (text.isEmpty()) return;
    InterruptRecording();
    const QFontMetrics& fm = Metrics();
    const Measured& measured = MeasuredText(Font(), fm, text, [&] { return TextWidth(text); });
    const int w = measured.width;
    const int h = TextHeight(text);
    if (!TextTransparent() && Brush().style == TBrushStyle::Solid) {
        Queue(Batch::Areas, Paint{Brush().color, false}, false, std::nullopt);
        AddArea({QPoint(x, y), QPoint(x + w, y), QPoint(x + w, y + h), QPoint(x, y + h)});
    }
    FlushPending();
    // Each character where the screen puts it.
    std::vector<double> xs(static_cast<std::size_t>(text.size()), x);
    const std::vector<int>& widths = measured.prefix;
    for (qsizetype i = 1; i < text.size(); ++i) {
        xs[static_cast<std::size_t>(i)] =
            text.at(i).isLowSurrogate() ? xs[static_cast<std::size_t>(i - 1)] : x + widths[static_cast<std::size_t>(i)];
    }
    WriteText(text, xs, y + fm.ascent(), Font());
}

void TVectorCanvas::FillRect(const TRect& rect) {
    if (rect.IsEmpty() || Brush().style == TBrushStyle::Clear) return;
    if (Note(CallFillRect, rect.left, rect.top, rect.right, rect.bottom)) return;
    // The fill ignores the pen's mix.
    Queue(Batch::Areas, Paint{Brush().color, false}, false, std::nullopt);
    AddArea({QPoint(rect.left, rect.top), QPoint(rect.right, rect.top), QPoint(rect.right, rect.bottom),
             QPoint(rect.left, rect.bottom)});
}

void TVectorCanvas::Rectangle(const TRect& rect) {
    if (rect.IsEmpty()) return;
    if (Note(CallRectangle, rect.left, rect.top, rect.right, rect.bottom)) return;
    if (Pen().style == TPenStyle::Clear) {
        // Without a pen one pixel narrower and lower.
        const std::optional<Paint> fill = BrushFill();
        if (!fill || rect.Width() < 2 || rect.Height() < 2) return;
        Queue(Batch::Areas, fill, false, std::nullopt);
        AddArea({QPoint(rect.left, rect.top), QPoint(rect.right - 1, rect.top), QPoint(rect.right - 1, rect.bottom - 1),
                 QPoint(rect.left, rect.bottom - 1)});
        return;
    }
    // Filled to the outline's centre line, which runs through the centres
    // of the border pixels.
    const double l = rect.left + 0.5, t = rect.top + 0.5, r = rect.right - 0.5, b = rect.bottom - 0.5;
    const QPointF corners[4] = {QPointF(l, t), QPointF(r, t), QPointF(r, b), QPointF(l, b)};
    QueueShape(BrushFill(), false, Stroke{PenPaint(), std::max(1, Pen().width)}, Path::Kind::Polygon, corners, 4);
}

void TVectorCanvas::Ellipse(const TRect& rect) {
    if (rect.IsEmpty()) return;
    if (Note(CallEllipse, rect.left, rect.top, rect.right, rect.bottom)) return;
    if (Pen().style == TPenStyle::Clear) {
        const std::optional<Paint> fill = BrushFill();
        if (!fill) return;
        const QPointF box[2] = {QPointF(rect.left, rect.top), QPointF(rect.right - 1, rect.bottom - 1)};
        Queue(Batch::Areas, fill, false, std::nullopt);
        path_.Add(Path::Kind::Ellipse, box, 2);
        return;
    }
    const QPointF box[2] = {QPointF(rect.left + 0.5, rect.top + 0.5), QPointF(rect.right - 0.5, rect.bottom - 0.5)};
    QueueShape(BrushFill(), false, Stroke{PenPaint(), std::max(1, Pen().width)}, Path::Kind::Ellipse, box, 2);
}

void TVectorCanvas::Polygon(const QPoint* points, int count) {
    if (count < 2) return;
    if (Note(CallPolygon, 0, 0, 0, 0, points, count)) return;
    std::vector<QPointF> pts(static_cast<std::size_t>(count));
    if (Pen().style == TPenStyle::Clear) {
        const std::optional<Paint> fill = BrushFill();
        if (!fill) return;
        for (int i = 0; i < count; ++i) pts[static_cast<std::size_t>(i)] = QPointF(points[i]);
        QueueShape(fill, true, std::nullopt, Path::Kind::Polygon, pts.data(), count);
        return;
    }
    for (int i = 0; i < count; ++i) pts[static_cast<std::size_t>(i)] = Centre(points[i]);
    QueueShape(BrushFill(), true, Stroke{PenPaint(), std::max(1, Pen().width)}, Path::Kind::Polygon, pts.data(),
               count);
}

void TVectorCanvas::Polyline(const QPoint* points, int count) {
    if (count < 2 || Pen().style == TPenStyle::Clear) return;
    if (Note(CallPolyline, 0, 0, 0, 0, points, count)) return;
    if (Pen().width <= 1) {
        // Through the pixel centres from edge to edge, in the pen's pattern:
        // the pixels of the bitmap's line, and a line a reader keeps visible
        // at any scale.
        Queue(Batch::Lines, std::nullopt, false, Stroke{PenPaint(), 1, Pen().style});
        const std::vector<QPointF> centres = ThinLineCentres(points, count);
        if (Repeats(Path::Kind::Polyline, centres.data(), count, PenPaint().multiply)) return;
        path_.Add(Path::Kind::Polyline, centres.data(), count);
        return;
    }
    Queue(Batch::Lines, std::nullopt, false, Stroke{PenPaint(), Pen().width, TPenStyle::Solid});
    std::vector<QPointF> centres(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) centres[static_cast<std::size_t>(i)] = Centre(points[i]);
    if (Repeats(Path::Kind::Polyline, centres.data(), count, PenPaint().multiply)) return;
    path_.Add(Path::Kind::Polyline, centres.data(), count);
}

void TVectorCanvas::SetPixel(int x, int y, TColor color) {
    if (Note(CallPixel, x, y, static_cast<int>(color), 0)) return;
    Queue(Batch::Areas, Paint{color, false}, false, std::nullopt);
    const unsigned long long key =
        (static_cast<unsigned long long>(static_cast<unsigned>(x)) << 32) | static_cast<unsigned>(y);
    if (!pixels_.insert(key).second) return;
    const QPointF square[4] = {QPointF(x, y), QPointF(x + 1, y), QPointF(x + 1, y + 1), QPointF(x, y + 1)};
    path_.Add(Path::Kind::Polygon, square, 4);
}

void TVectorCanvas::SetClipRect(const TRect& rect) {
    if (Note(CallClip, rect.left, rect.top, rect.right, rect.bottom)) return;
    FlushPending();
    clip_ = Intersect(rect, TRect{0, 0, width_, height_});
    WriteClip(clip_);
}

void TVectorCanvas::ResetClip() {
    if (Note(CallUnclip, 0, 0, 0, 0)) return;
    FlushPending();
    clip_ = TRect{0, 0, width_, height_};
    WriteClip(std::nullopt);
}

char* FormatNumber(char* out, double v) {
    if (!std::isfinite(v) || std::fabs(v) > 1e15) {
        const double r = std::round(v * 100.0) / 100.0;
        const double whole = std::round(r);
        std::to_chars_result res;
        if (std::fabs(r - whole) < 1e-9) {
            res = std::to_chars(out, out + 32, static_cast<long long>(whole));
        } else {
            res = std::to_chars(out, out + 32, r, std::chars_format::fixed, 2);
            while (res.ptr[-1] == '0') --res.ptr;
        }
        return res.ptr;
    }
    // In hundredths, as integers: the nearest hundredth, halves away from
    // zero, its digits exact.
    long long h = std::llround(v * 100.0);
    char* p = out;
    if (h < 0) {
        h = -h;
        if (h != 0) *p++ = '-';
    }
    p = std::to_chars(p, out + 32, h / 100).ptr;
    const int frac = static_cast<int>(h % 100);
    if (frac != 0) {
        *p++ = '.';
        *p++ = static_cast<char>('0' + frac / 10);
        if (frac % 10 != 0) *p++ = static_cast<char>('0' + frac % 10);
    }
    return p;
}

void AppendNumber(QByteArray& out, double v) {
    char buffer[32];
    out.append(buffer, static_cast<qsizetype>(FormatNumber(buffer, v) - buffer));
}

void AppendNumber(std::string& out, double v) {
    char buffer[32];
    out.append(buffer, static_cast<std::size_t>(FormatNumber(buffer, v) - buffer));
}

}  // namespace kavum::platform
