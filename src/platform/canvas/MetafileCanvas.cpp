#include "platform/canvas/MetafileCanvas.h"

#include "platform/Errors.h"
#include "platform/canvas/PixelGeometry.h"

#include <QFile>

#include "platform/Profile.h"

#include <uemf.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <unordered_set>
#include <vector>

namespace kavum::platform {

namespace {

// The reference device: a 96 dpi screen of 1920 x 1440 pixels, 508 x 381 mm.
constexpr int RefWidthPx = 1920;
constexpr int RefHeightPx = 1440;
constexpr int RefWidthMm = 508;
constexpr int RefHeightMm = 381;

int MulDiv(long long a, long long b, long long c) {
    const long long n = a * b;
    return static_cast<int>((n >= 0 ? n + c / 2 : n - c / 2) / c);
}

U_COLORREF ColorRef(TColor c) {
    return colorref3_set(static_cast<uint8_t>(RedOf(c)), static_cast<uint8_t>(GreenOf(c)),
                         static_cast<uint8_t>(BlueOf(c)));
}

U_RECTL RectL(int l, int t, int r, int b) {
    U_RECTL rc;
    rc.left = l;
    rc.top = t;
    rc.right = r;
    rc.bottom = b;
    return rc;
}

// Pitch and family of the program's faces as those fonts report them, so
// that a reader without them falls back to a font of the same kind.
uint8_t PitchAndFamilyOf(const QString& face) {
    if (face == QStringLiteral("ＭＳ ゴシック")) return U_FIXED_PITCH | U_FF_MODERN;
    if (face == QStringLiteral("ＭＳ 明朝")) return U_FIXED_PITCH | U_FF_ROMAN;
    if (face == QStringLiteral("ＭＳ Ｐ明朝") || face == QStringLiteral("Times New Roman")) {
        return U_VARIABLE_PITCH | U_FF_ROMAN;
    }
    return U_DEFAULT_PITCH | U_FF_DONTCARE;
}

// Whether every step of a line is across or up (or none at all).
bool Upright(const QPoint* pts, int count) {
    for (int i = 1; i < count; ++i) {
        if (pts[i].x() != pts[i - 1].x() && pts[i].y() != pts[i - 1].y()) return false;
    }
    return true;
}

bool Fits16(const QPoint& p) {
    return p.x() >= SHRT_MIN && p.x() <= SHRT_MAX && p.y() >= SHRT_MIN && p.y() <= SHRT_MAX;
}

// The most parts (polygons, polylines) one record holds: some readers draw
// no more than about 64,000 of them.
constexpr std::size_t MaxRecordParts = 60000;

U_RECTL BoundsOf(const QPoint* pts, int count) {
    int l = INT_MAX, t = INT_MAX, r = INT_MIN, b = INT_MIN;
    for (int i = 0; i < count; ++i) {
        l = std::min(l, pts[i].x());
        t = std::min(t, pts[i].y());
        r = std::max(r, pts[i].x());
        b = std::max(b, pts[i].y());
    }
    return RectL(l, t, r, b);
}

// A selected GDI object: a stock object, or one this canvas created.
struct GdiObject {
    uint32_t handle = 0;
    bool created = false;
};

struct PenKey {
    TColor color = clBlack;
    int width = 1;
    TPenStyle style = TPenStyle::Solid;
    bool operator==(const PenKey&) const = default;
};

struct DcState {
    GdiObject pen{U_BLACK_PEN, false};
    PenKey penKey;
    GdiObject brush{U_WHITE_BRUSH, false};
    TCanvasBrush brushKey;
    GdiObject font{U_SYSTEM_FONT, false};
    TCanvasFont fontKey;
    uint32_t rop2 = U_R2_COPYPEN;
    uint32_t fillMode = U_ALTERNATE;
    TColor textColor = clBlack;
};

struct ShapeKey {
    PenKey pen;
    bool penVisible = true;
    TCanvasBrush brush;
    TPenMode mode = TPenMode::Copy;
    // Filled without the pen, the outline going out after the fills as the
    // areas of its pixels in the pen's colour.
    bool framed = false;
    bool operator==(const ShapeKey&) const = default;
};

// A brush as it fills: every clear brush is the same.
TCanvasBrush FillOf(const TCanvasBrush& brush) {
    return brush.style == TBrushStyle::Clear ? TCanvasBrush{0, TBrushStyle::Clear} : brush;
}

}  // namespace

struct TMetafileCanvas::Impl {
    int width = 1;
    int height = 1;
    EMFTRACK* et = nullptr;
    EMFHANDLES* eht = nullptr;
    bool finished = false;
    QByteArray bytes;

    TRect clip;         // the clip in force (the picture without one)
    DcState dc;         // what the recorded device context holds
    bool saved = false;  // a SaveDC for the clip is open
    DcState savedDc;    // the state RestoreDC brings back
    // The brush selected before the one in force, kept for the next fill of
    // its colour (fills and frames of shapes take turns).
    GdiObject spareBrush;
    TColor spareBrushColor = 0;

    // Pixels waiting to go out together, all of one colour.
    // Areas waiting to go out together (four points each), all of one
    // colour and mix: pixels and the dashes of dotted lines.
    std::vector<QPoint> areas;
    TColor areaColor = 0;
    TPenMode areaMode = TPenMode::Copy;
    // Polygons waiting to go out together, all of one pen, brush and mix,
    // none touching another: the cells of a grid they lie on.
    std::vector<QPoint> shapes;
    std::vector<uint32_t> shapeCounts;
    ShapeKey shapeKey;
    std::vector<QPoint> shapeFrames;  // the outlines of framed shapes
    TShapeGrid shapeCells{1, 1};
    // The single pixels among them: a pixel set again (the vertices of a map
    // line lie on few pixels) goes out once.
    std::unordered_set<uint64_t> areaPixels;
    // Polylines waiting to go out together, all of one pen and mix.
    std::vector<QPoint> lines;
    std::vector<uint32_t> lineCounts;
    PenKey linePen;
    TPenMode lineMode = TPenMode::Copy;

    ~Impl() {
        if (et) emf_free(&et);
        if (eht) emf_htable_free(&eht);
    }

    void Emit(char* record) {
        if (!record) throw KavumError("メタファイルのレコードを作成できません");
        if (emf_append(reinterpret_cast<PU_ENHMETARECORD>(record), et, 1) != 0) {
            throw KavumError("メタファイルのレコードを追加できません");
        }
    }

    // An object that is no longer selected goes, unless the open SaveDC will
    // select it again when the clip is lifted.
    void Release(const GdiObject& obj) {
        if (!obj.created) return;
        if (saved && (obj.handle == savedDc.pen.handle || obj.handle == savedDc.brush.handle ||
                      obj.handle == savedDc.font.handle)) {
            return;
        }
        uint32_t h = obj.handle;
        Emit(deleteobject_set(&h, eht));
    }

    void SelectPen(const PenKey& key, bool visible) {
        if (!visible) {
            if (dc.pen.handle == U_NULL_PEN) return;
            const GdiObject old = dc.pen;
            Emit(U_EMRSELECTOBJECT_set(U_NULL_PEN));
            dc.pen = GdiObject{U_NULL_PEN, false};
            Release(old);
            return;
        }
        if (dc.pen.created && dc.penKey == key) return;
        uint32_t h = 0;
        if (key.width > 1) {
            // A wide pen draws solid whatever its style, as the geometric pen
            // with round ends and joins that a wide CreatePen makes; written
            // out as such, readers that honour the width of geometric pens
            // only draw it at its width too.
            PU_EXTLOGPEN elp = extlogpen_set(U_PS_GEOMETRIC | U_PS_SOLID | U_PS_ENDCAP_ROUND | U_PS_JOIN_ROUND,
                                             static_cast<uint32_t>(key.width), U_BS_SOLID, ColorRef(key.color), 0, 0,
                                             nullptr);
            if (!elp) throw KavumError("メタファイルのペンを作成できません");
            char* rec = extcreatepen_set(&h, eht, nullptr, 0, nullptr, elp);
            std::free(elp);
            Emit(rec);
        } else if (key.style == TPenStyle::Alternate) {
            PU_EXTLOGPEN elp = extlogpen_set(U_PS_COSMETIC | U_PS_ALTERNATE, 1, U_BS_SOLID, ColorRef(key.color), 0, 0,
                                             nullptr);
            if (!elp) throw KavumError("メタファイルのペンを作成できません");
            char* rec = extcreatepen_set(&h, eht, nullptr, 0, nullptr, elp);
            std::free(elp);
            Emit(rec);
        } else {
            uint32_t style = U_PS_SOLID;
            switch (key.style) {
                case TPenStyle::Dash: style = U_PS_DASH; break;
                case TPenStyle::Dot: style = U_PS_DOT; break;
                case TPenStyle::DashDot: style = U_PS_DASHDOT; break;
                case TPenStyle::DashDotDot: style = U_PS_DASHDOTDOT; break;
                default: break;
            }
            Emit(createpen_set(&h, eht, logpen_set(style, point32_set(1, 0), ColorRef(key.color))));
        }
        Emit(selectobject_set(h, eht));
        const GdiObject old = dc.pen;
        dc.pen = GdiObject{h, true};
        dc.penKey = key;
        Release(old);
    }

    void SelectBrush(const TCanvasBrush& brush) {
        if (brush.style == TBrushStyle::Clear) {
            if (dc.brush.handle == U_NULL_BRUSH) return;
            const GdiObject old = dc.brush;
            Emit(U_EMRSELECTOBJECT_set(U_NULL_BRUSH));
            dc.brush = GdiObject{U_NULL_BRUSH, false};
            SpareBrush(old, dc.brushKey.color);
            return;
        }
        if (dc.brush.created && dc.brushKey.color == brush.color) return;
        uint32_t h = 0;
        if (spareBrush.created && spareBrushColor == brush.color) {
            h = spareBrush.handle;
            spareBrush = GdiObject{};
        } else {
            Emit(createbrushindirect_set(&h, eht, logbrush_set(U_BS_SOLID, ColorRef(brush.color), 0)));
        }
        Emit(selectobject_set(h, eht));
        const GdiObject old = dc.brush;
        const TColor oldColor = dc.brushKey.color;
        dc.brush = GdiObject{h, true};
        dc.brushKey = TCanvasBrush{brush.color, TBrushStyle::Solid};
        SpareBrush(old, oldColor);
    }

    // A brush no longer selected is kept as the spare one, in place of the
    // spare before it.
    void SpareBrush(const GdiObject& old, TColor color) {
        if (!old.created) return;
        if (saved && old.handle == savedDc.brush.handle) return;  // the restore selects it again
        DropSpareBrush();
        spareBrush = old;
        spareBrushColor = color;
    }

    void DropSpareBrush() {
        if (!spareBrush.created) return;
        Release(spareBrush);
        spareBrush = GdiObject{};
    }

    void SelectFont(const TCanvasFont& font) {
        TCanvasFont key = font;
        key.color = clBlack;
        if (dc.font.created && dc.fontKey == key) return;
        uint16_t face[U_LF_FACESIZE] = {0};
        const int n = std::min<int>(static_cast<int>(key.name.size()), U_LF_FACESIZE - 1);
        for (int i = 0; i < n; ++i) face[i] = key.name.at(i).unicode();
        const U_LOGFONT lf = logfont_set(-std::max(1, key.height), 0, 0, 0, key.bold ? U_FW_BOLD : U_FW_NORMAL,
                                         key.italic ? 1 : 0, 0, 0, static_cast<uint8_t>(key.charset),
                                         U_OUT_DEFAULT_PRECIS, U_CLIP_DEFAULT_PRECIS, U_DEFAULT_QUALITY,
                                         PitchAndFamilyOf(key.name), face);
        uint32_t h = 0;
        Emit(extcreatefontindirectw_set(&h, eht, reinterpret_cast<const char*>(&lf), nullptr));
        Emit(selectobject_set(h, eht));
        const GdiObject old = dc.font;
        dc.font = GdiObject{h, true};
        dc.fontKey = key;
        Release(old);
    }

    void SetRop2(TPenMode mode) {
        const uint32_t rop = mode == TPenMode::Mask ? U_R2_MASKPEN : U_R2_COPYPEN;
        if (dc.rop2 == rop) return;
        Emit(U_EMRSETROP2_set(rop));
        dc.rop2 = rop;
    }

    void SetTextColor(TColor color) {
        if (dc.textColor == color) return;
        Emit(U_EMRSETTEXTCOLOR_set(ColorRef(color)));
        dc.textColor = color;
    }

    void SaveDc() {
        Emit(U_EMRSAVEDC_set());
        savedDc = dc;
        saved = true;
    }

    void RestoreDc() {
        if (!saved) return;
        Emit(U_EMRRESTOREDC_set(-1));
        // The objects selected before the restore are free now.
        const DcState before = dc;
        dc = savedDc;
        saved = false;
        for (const GdiObject& obj : {before.pen, before.brush, before.font}) {
            if (obj.created && obj.handle != dc.pen.handle && obj.handle != dc.brush.handle &&
                obj.handle != dc.font.handle) {
                uint32_t h = obj.handle;
                Emit(deleteobject_set(&h, eht));
            }
        }
    }

    // A polygon with its outline and fill. Polygons of one pen, brush and
    // mix that follow each other go out as one record as long as none
    // touches another (outline included): a Windows device fills all of
    // them and then draws all outlines, which for separate polygons sets
    // the pixels that drawing them one by one sets.
    void QueueShape(const ShapeKey& key, const QPoint* pts, int count) {
        if (!areas.empty() || !lines.empty() || (!shapes.empty() && !(shapeKey == key))) {
            FlushPending();
        }
        const U_RECTL b = BoundsOf(pts, count);
        const int margin = (key.penVisible || key.framed ? key.pen.width : 0) + 1;
        if (!shapes.empty() && shapeCells.Touches(b.left, b.top, b.right, b.bottom, margin)) FlushPending();
        shapeKey = key;
        shapes.insert(shapes.end(), pts, pts + count);
        shapeCounts.push_back(static_cast<uint32_t>(count));
        shapeCells.Add(b.left, b.top, b.right, b.bottom, margin);
    }

    // Polygons without an outline go out as a path that is filled, as the
    // areas do (see EmitAreas).
    void EmitShapes(const std::vector<QPoint>& pts, const std::vector<uint32_t>& counts, bool filledPath) {
        if (counts.size() > MaxRecordParts) {
            // Separate shapes: in parts, each drawn as the whole would.
            std::size_t first = 0;
            for (std::size_t c = 0; c < counts.size(); c += MaxRecordParts) {
                const std::size_t n = std::min(MaxRecordParts, counts.size() - c);
                std::size_t points = 0;
                for (std::size_t k = c; k < c + n; ++k) points += counts[k];
                EmitShapes(std::vector<QPoint>(pts.begin() + static_cast<std::ptrdiff_t>(first),
                                               pts.begin() + static_cast<std::ptrdiff_t>(first + points)),
                           std::vector<uint32_t>(counts.begin() + static_cast<std::ptrdiff_t>(c),
                                                 counts.begin() + static_cast<std::ptrdiff_t>(c + n)),
                           filledPath);
                first += points;
            }
            return;
        }
        const U_RECTL bounds = BoundsOf(pts.data(), static_cast<int>(pts.size()));
        if (filledPath) Emit(U_EMRBEGINPATH_set());
        const bool small = std::all_of(pts.begin(), pts.end(), Fits16);
        std::vector<U_POINT16> p16;
        std::vector<U_POINTL> p32;
        if (small) {
            p16.resize(pts.size());
            for (std::size_t i = 0; i < pts.size(); ++i) {
                p16[i] = point16_set(static_cast<int16_t>(pts[i].x()), static_cast<int16_t>(pts[i].y()));
            }
        } else {
            p32.resize(pts.size());
            for (std::size_t i = 0; i < pts.size(); ++i) p32[i] = point32_set(pts[i].x(), pts[i].y());
        }
        const auto n = static_cast<uint32_t>(pts.size());
        const auto polys = static_cast<uint32_t>(counts.size());
        if (polys == 1) {
            Emit(small ? U_EMRPOLYGON16_set(bounds, n, p16.data()) : U_EMRPOLYGON_set(bounds, n, p32.data()));
        } else {
            Emit(small ? U_EMRPOLYPOLYGON16_set(bounds, polys, counts.data(), n, p16.data())
                       : U_EMRPOLYPOLYGON_set(bounds, polys, counts.data(), n, p32.data()));
        }
        if (filledPath) {
            Emit(U_EMRENDPATH_set());
            Emit(U_EMRFILLPATH_set(bounds));
        }
    }

    void SetFillMode(uint32_t mode) {
        if (dc.fillMode == mode) return;
        Emit(U_EMRSETPOLYFILLMODE_set(mode));
        dc.fillMode = mode;
    }

    // Areas of one colour and mix go out as one record; an area of another
    // colour or mix, or anything else drawn, sends the waiting ones first.
    void QueueArea(TColor color, TPenMode mode) {
        if (!lines.empty() || !shapes.empty() ||
            (!areas.empty() && (areaColor != color || areaMode != mode))) {
            FlushPending();
        }
        areaColor = color;
        areaMode = mode;
    }

    // Polylines of one pen and mix go out as one record too; each keeps
    // its last point undrawn.
    void QueueLines(const PenKey& pen, TPenMode mode) {
        if (!areas.empty() || !shapes.empty() ||
            (!lines.empty() && !(linePen == pen && lineMode == mode))) {
            FlushPending();
        }
        linePen = pen;
        lineMode = mode;
    }

    // A pixel goes out as its unit square (the pixel record is unknown to
    // some readers); one set again goes out once.
    void QueuePixel(int x, int y, TColor color) {
        QueueArea(color, TPenMode::Copy);
        const uint64_t key = (static_cast<uint64_t>(static_cast<uint32_t>(x)) << 32) | static_cast<uint32_t>(y);
        if (areaPixels.insert(key).second) PushRunArea(areas, QPoint(x, y), QPoint(x, y), true);
    }

    // Sends what waits; everything else drawn, and every change of the
    // clip, comes after.
    void FlushPending() {
        if (!shapes.empty()) {
            std::vector<QPoint> pts;
            std::vector<uint32_t> counts;
            pts.swap(shapes);
            counts.swap(shapeCounts);
            shapeCells.Clear();
            SelectPen(shapeKey.pen, shapeKey.penVisible && !shapeKey.framed);
            SelectBrush(shapeKey.brush);
            SetRop2(shapeKey.mode);
            SetFillMode(U_ALTERNATE);
            EmitShapes(pts, counts, !shapeKey.penVisible || shapeKey.framed);
            if (!shapeFrames.empty()) {
                // Frames of shapes that do not touch: the alternate rule
                // leaves out the inside of each.
                std::vector<QPoint> frames;
                frames.swap(shapeFrames);
                SelectBrush(TCanvasBrush{shapeKey.pen.color, TBrushStyle::Solid});
                EmitAreas(frames, U_ALTERNATE);
            }
        }
        if (!areas.empty()) {
            // Filled without an outline: on a Windows device the pixels of the
            // bitmap, and vector readers show pixel-sized areas instead of
            // dots of their own.
            std::vector<QPoint> pts;
            pts.swap(areas);
            areaPixels.clear();
            SelectPen(PenKey{}, false);
            SelectBrush(TCanvasBrush{areaColor, TBrushStyle::Solid});
            SetRop2(areaMode);
            EmitAreas(pts);
        }
        if (!lines.empty()) {
            std::vector<QPoint> pts;
            std::vector<uint32_t> counts;
            pts.swap(lines);
            counts.swap(lineCounts);
            SelectPen(linePen, true);
            SetRop2(lineMode);
            EmitPolylines(pts, counts);
        }
    }

    void EmitPolylines(const std::vector<QPoint>& pts, const std::vector<uint32_t>& counts) {
        if (counts.size() > MaxRecordParts) {
            std::size_t first = 0;
            for (std::size_t c = 0; c < counts.size(); c += MaxRecordParts) {
                const std::size_t n = std::min(MaxRecordParts, counts.size() - c);
                std::size_t points = 0;
                for (std::size_t k = c; k < c + n; ++k) points += counts[k];
                EmitPolylines(std::vector<QPoint>(pts.begin() + static_cast<std::ptrdiff_t>(first),
                                                  pts.begin() + static_cast<std::ptrdiff_t>(first + points)),
                              std::vector<uint32_t>(counts.begin() + static_cast<std::ptrdiff_t>(c),
                                                    counts.begin() + static_cast<std::ptrdiff_t>(c + n)));
                first += points;
            }
            return;
        }
        const U_RECTL bounds = BoundsOf(pts.data(), static_cast<int>(pts.size()));
        const bool small = std::all_of(pts.begin(), pts.end(), Fits16);
        if (counts.size() == 1) {
            if (small) {
                std::vector<U_POINT16> p16(pts.size());
                for (std::size_t i = 0; i < pts.size(); ++i) {
                    p16[i] = point16_set(static_cast<int16_t>(pts[i].x()), static_cast<int16_t>(pts[i].y()));
                }
                Emit(U_EMRPOLYLINE16_set(bounds, static_cast<uint32_t>(p16.size()), p16.data()));
            } else {
                std::vector<U_POINTL> p32(pts.size());
                for (std::size_t i = 0; i < pts.size(); ++i) p32[i] = point32_set(pts[i].x(), pts[i].y());
                Emit(U_EMRPOLYLINE_set(bounds, static_cast<uint32_t>(p32.size()), p32.data()));
            }
            return;
        }
        if (small) {
            std::vector<U_POINT16> p16(pts.size());
            for (std::size_t i = 0; i < pts.size(); ++i) {
                p16[i] = point16_set(static_cast<int16_t>(pts[i].x()), static_cast<int16_t>(pts[i].y()));
            }
            Emit(U_EMRPOLYPOLYLINE16_set(bounds, static_cast<uint32_t>(counts.size()), counts.data(),
                                         static_cast<uint32_t>(p16.size()), p16.data()));
        } else {
            std::vector<U_POINTL> p32(pts.size());
            for (std::size_t i = 0; i < pts.size(); ++i) p32[i] = point32_set(pts[i].x(), pts[i].y());
            Emit(U_EMRPOLYPOLYLINE_set(bounds, static_cast<uint32_t>(counts.size()), counts.data(),
                                       static_cast<uint32_t>(p32.size()), p32.data()));
        }
    }

    // Quadrilaterals (four points each) filled with the brush, without an
    // outline, as their union: the winding rule keeps a pixel given twice.
    // They go out as a path that is filled: a device fills it as it fills
    // the polygons, while readers that give a polygon without a pen an
    // outline of its fill colour (which runs thin areas together) fill a
    // path as it is.
    void EmitAreas(const std::vector<QPoint>& pts, uint32_t fillMode = U_WINDING) {
        if (pts.empty()) return;
        SetFillMode(fillMode);
        std::vector<uint32_t> counts(pts.size() / 4, 4);
        const U_RECTL bounds = BoundsOf(pts.data(), static_cast<int>(pts.size()));
        Emit(U_EMRBEGINPATH_set());
        EmitAreaPolygons(pts, counts, bounds);
        Emit(U_EMRENDPATH_set());
        Emit(U_EMRFILLPATH_set(bounds));
    }

    void EmitAreaPolygons(const std::vector<QPoint>& pts, const std::vector<uint32_t>& counts, const U_RECTL& bounds) {
        if (counts.size() > MaxRecordParts) {
            // Readers drop parts beyond a limit of their own: several
            // records of one path, which fills as the one record would.
            std::size_t first = 0;
            for (std::size_t c = 0; c < counts.size(); c += MaxRecordParts) {
                const std::size_t n = std::min(MaxRecordParts, counts.size() - c);
                std::size_t points = 0;
                for (std::size_t k = c; k < c + n; ++k) points += counts[k];
                const std::vector<QPoint> part(pts.begin() + static_cast<std::ptrdiff_t>(first),
                                               pts.begin() + static_cast<std::ptrdiff_t>(first + points));
                const std::vector<uint32_t> partCounts(counts.begin() + static_cast<std::ptrdiff_t>(c),
                                                       counts.begin() + static_cast<std::ptrdiff_t>(c + n));
                EmitAreaPolygons(part, partCounts, BoundsOf(part.data(), static_cast<int>(part.size())));
                first += points;
            }
            return;
        }
        if (std::all_of(pts.begin(), pts.end(), Fits16)) {
            std::vector<U_POINT16> p16(pts.size());
            for (std::size_t i = 0; i < pts.size(); ++i) {
                p16[i] = point16_set(static_cast<int16_t>(pts[i].x()), static_cast<int16_t>(pts[i].y()));
            }
            Emit(U_EMRPOLYPOLYGON16_set(bounds, static_cast<uint32_t>(counts.size()), counts.data(),
                                        static_cast<uint32_t>(p16.size()), p16.data()));
        } else {
            std::vector<U_POINTL> p32(pts.size());
            for (std::size_t i = 0; i < pts.size(); ++i) p32[i] = point32_set(pts[i].x(), pts[i].y());
            Emit(U_EMRPOLYPOLYGON_set(bounds, static_cast<uint32_t>(counts.size()), counts.data(),
                                      static_cast<uint32_t>(p32.size()), p32.data()));
        }
    }

    void Close() {
        FlushPending();
        RestoreDc();
        // Hand back the stock objects, then delete what is left.
        const DcState before = dc;
        if (dc.pen.handle != U_BLACK_PEN) Emit(U_EMRSELECTOBJECT_set(U_BLACK_PEN));
        if (dc.brush.handle != U_WHITE_BRUSH) Emit(U_EMRSELECTOBJECT_set(U_WHITE_BRUSH));
        if (dc.font.handle != U_SYSTEM_FONT) Emit(U_EMRSELECTOBJECT_set(U_SYSTEM_FONT));
        dc = DcState{};
        for (const GdiObject& obj : {before.pen, before.brush, before.font}) {
            if (obj.created) {
                uint32_t h = obj.handle;
                Emit(deleteobject_set(&h, eht));
            }
        }
        DropSpareBrush();
        Emit(U_EMREOF_set(0, nullptr, et));
        // emf_finish completes the header in the buffer; its file is the
        // null device, since the bytes are taken from memory.
        if (emf_finish(et, eht) != 0) throw KavumError("メタファイルを完成できません");
        // The records are copied out from the end a few megabytes at a
        // time, the buffer shrinking behind them, so that a large figure
        // is not held twice over.
        const std::size_t used = et->used;
        bytes = QByteArray(static_cast<qsizetype>(used), Qt::Uninitialized);
        constexpr std::size_t Step = std::size_t{4} << 20;
        std::size_t end = used;
        while (end > Step) {
            const std::size_t start = end - Step;
            std::memcpy(bytes.data() + start, et->buf + start, Step);
            if (char* smaller = static_cast<char*>(std::realloc(et->buf, start))) {
                et->buf = smaller;
                et->allocated = start;
                et->used = start;
            }
            end = start;
        }
        std::memcpy(bytes.data(), et->buf, end);
        emf_free(&et);
        emf_htable_free(&eht);
        finished = true;
    }
};

TMetafileCanvas::TMetafileCanvas(int width, int height) : d_(std::make_unique<Impl>()) {
    d_->width = std::max(1, width);
    d_->height = std::max(1, height);
    d_->clip = TRect{0, 0, d_->width, d_->height};
    d_->shapeCells = TShapeGrid(d_->width, d_->height);
    if (emf_start("/dev/null", 1 << 20, 1 << 20, &d_->et) != 0 || emf_htable_create(128, 128, &d_->eht) != 0) {
        throw KavumError("メタファイルを作成できません");
    }
    const U_RECTL bounds = RectL(0, 0, d_->width - 1, d_->height - 1);
    const U_RECTL frame = RectL(0, 0, MulDiv(d_->width, RefWidthMm * 100, RefWidthPx),
                                MulDiv(d_->height, RefHeightMm * 100, RefHeightPx));
    d_->Emit(U_EMRHEADER_set(bounds, frame, nullptr, 0, nullptr, sizel_set(RefWidthPx, RefHeightPx),
                             sizel_set(RefWidthMm, RefHeightMm), 0));
    d_->Emit(U_EMRSETMAPMODE_set(U_MM_TEXT));
    d_->Emit(U_EMRSETBKMODE_set(U_TRANSPARENT));
    d_->Emit(U_EMRSETTEXTALIGN_set(U_TA_TOP | U_TA_LEFT));
    d_->Emit(U_EMRSETPOLYFILLMODE_set(U_ALTERNATE));
}

TMetafileCanvas::~TMetafileCanvas() = default;

int TMetafileCanvas::Width() const { return d_->width; }
int TMetafileCanvas::Height() const { return d_->height; }

QByteArray TMetafileCanvas::Finish() {
    if (!d_->finished) d_->Close();
    return d_->bytes;
}

void TMetafileCanvas::TextOut(int x, int y, const QString& text) {
    if (d_->finished || text.isEmpty()) return;
    d_->FlushPending();
    const int w = TextWidth(text);
    const int h = TextHeight(text);
    if (!TextTransparent() && Brush().style == TBrushStyle::Solid) {
        // The ground goes out before the text.
        FillRect(TRect{x, y, x + w, y + h});
        d_->FlushPending();
    }
    d_->SelectFont(Font());
    d_->SetTextColor(Font().color);
    // The advance of each character, so that every reader lays the text out
    // as the screen does.
    const QFontMetrics& fm = Metrics();
    std::vector<uint32_t> dx(static_cast<std::size_t>(text.size()), 0);
    const std::vector<int> widths = PrefixWidths(fm, text);
    int previous = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i).isHighSurrogate() && i + 1 < text.size()) continue;
        const int upTo = widths[static_cast<std::size_t>(i + 1)];
        dx[static_cast<std::size_t>(i)] = static_cast<uint32_t>(std::max(0, upTo - previous));
        previous = upTo;
    }
    std::vector<uint16_t> utf16(text.utf16(), text.utf16() + text.size());
    const U_RECTL cell = RectL(x, y, x + w, y + h);
    char* emrtext = emrtext_set(point32_set(x, y), static_cast<U_NUM_STR>(utf16.size()), 2, utf16.data(), 0, cell,
                                dx.data());
    if (!emrtext) throw KavumError("メタファイルのレコードを作成できません");
    // The scales from pixels to 0.01 mm at 96 dpi.
    const float scale = 2540.0f / 96.0f;
    char* record = U_EMREXTTEXTOUTW_set(RectL(x, y, x + w - 1, y + h - 1), U_GM_COMPATIBLE, scale, scale,
                                        reinterpret_cast<PU_EMRTEXT>(emrtext));
    std::free(emrtext);
    d_->Emit(record);
}

// Rectangles go out as polygons through their corner pixels: on a Windows
// device a rectangle record and such a polygon set the same pixels, but
// readers that take a rectangle record's right and bottom edges as drawn
// would make it one pixel wider and higher.
void TMetafileCanvas::FillRect(const TRect& rect) {
    if (d_->finished || rect.IsEmpty() || Brush().style == TBrushStyle::Clear) return;
    // The area without an outline; the fill ignores the pen's mix.
    const QPoint corners[4] = {QPoint(rect.left, rect.top), QPoint(rect.right, rect.top),
                               QPoint(rect.right, rect.bottom), QPoint(rect.left, rect.bottom)};
    d_->QueueShape(ShapeKey{PenKey{}, false, FillOf(Brush()), TPenMode::Copy}, corners, 4);
}

void TMetafileCanvas::Rectangle(const TRect& rect) {
    if (d_->finished || rect.IsEmpty()) return;
    // The outline through the last column and row; without a pen the fill
    // stops one pixel short of them, as a rectangle without a pen does.
    const QPoint corners[4] = {QPoint(rect.left, rect.top), QPoint(rect.right - 1, rect.top),
                               QPoint(rect.right - 1, rect.bottom - 1), QPoint(rect.left, rect.bottom - 1)};
    if (Pen().style == TPenStyle::Solid && Pen().width <= 1 && Pen().mode == TPenMode::Copy) {
        // A thin outline goes out as the area of its pixels over the fill
        // without a pen, for the reason straight thin lines do: the device
        // sets the same pixels, and readers draw the frame crisp where they
        // would draw a line on the pixels' edges.
        d_->QueueShape(ShapeKey{PenKey{Pen().color, 1, TPenStyle::Solid}, false, FillOf(Brush()), TPenMode::Copy, true},
                       corners, 4);
        // The frame's area: the rectangle's pixels less those inside the
        // outline (none when it is at most two pixels wide or high).
        const int l = rect.left, t = rect.top, r = rect.right, b = rect.bottom;
        std::vector<QPoint>& frames = d_->shapeFrames;
        frames.insert(frames.end(), {QPoint(l, t), QPoint(r, t), QPoint(r, b), QPoint(l, b)});
        if (r - l > 2 && b - t > 2) {
            frames.insert(frames.end(), {QPoint(l + 1, t + 1), QPoint(l + 1, b - 1), QPoint(r - 1, b - 1),
                                         QPoint(r - 1, t + 1)});
        }
        return;
    }
    d_->QueueShape(ShapeKey{PenKey{Pen().color, Pen().width, Pen().style}, Pen().style != TPenStyle::Clear,
                            FillOf(Brush()), Pen().mode},
                   corners, 4);
}

void TMetafileCanvas::Ellipse(const TRect& rect) {
    if (d_->finished || rect.IsEmpty()) return;
    d_->FlushPending();
    d_->SelectPen(PenKey{Pen().color, Pen().width, Pen().style}, Pen().style != TPenStyle::Clear);
    d_->SelectBrush(Brush());
    d_->SetRop2(Pen().mode);
    d_->Emit(U_EMRELLIPSE_set(RectL(rect.left, rect.top, rect.right, rect.bottom)));
}

void TMetafileCanvas::Polygon(const QPoint* points, int count) {
    if (d_->finished || count < 2) return;
    std::vector<QPoint> kept;
    kept.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        if (kept.empty() || kept.back() != points[i]) kept.push_back(points[i]);
    }
    while (kept.size() > 2 && kept.back() == kept.front()) kept.pop_back();
    if (kept.size() < 2) kept.assign(points, points + std::min(count, 2));
    d_->QueueShape(ShapeKey{PenKey{Pen().color, Pen().width, Pen().style}, Pen().style != TPenStyle::Clear,
                            FillOf(Brush()), Pen().mode},
                   kept.data(), static_cast<int>(kept.size()));
}

void TMetafileCanvas::Polyline(const QPoint* points, int count) {
    if (d_->finished || count < 2 || Pen().style == TPenStyle::Clear) return;
    if (Pen().width <= 1 && (Pen().style != TPenStyle::Solid || (count == 2 && Upright(points, count)))) {
        // A dotted or dashed line goes out as the areas of the pixels its
        // pattern sets: readers draw the Windows patterns in patterns of
        // their own or as solid lines. So does a thin straight line across
        // or up (axes, grid lines, ticks): readers centre a line of one
        // pixel on its coordinates, which they take as the edges between
        // pixels, and draw it two pixels wide at half intensity, while its
        // area lies on the pixels a device sets. Longer lines stay lines.
        d_->QueueArea(Pen().color, Pen().mode);
        const std::vector<QPoint> dashes = DashAreasOf(points, count, Pen().style, d_->clip);
        d_->areas.insert(d_->areas.end(), dashes.begin(), dashes.end());
        return;
    }
    // A point the same as the one before adds nothing (its segment sets no
    // pixel) and trips some readers: left out.
    std::vector<QPoint> kept;
    kept.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        if (kept.empty() || kept.back() != points[i]) kept.push_back(points[i]);
    }
    if (kept.size() < 2) return;
    d_->QueueLines(PenKey{Pen().color, Pen().width, Pen().style}, Pen().mode);
    d_->lines.insert(d_->lines.end(), kept.begin(), kept.end());
    d_->lineCounts.push_back(static_cast<uint32_t>(kept.size()));
}

void TMetafileCanvas::SetPixel(int x, int y, TColor color) {
    if (d_->finished) return;
    d_->QueuePixel(x, y, color);
}

void TMetafileCanvas::SetClipRect(const TRect& rect) {
    if (d_->finished) return;
    d_->FlushPending();
    d_->RestoreDc();
    d_->SaveDc();
    d_->Emit(U_EMRINTERSECTCLIPRECT_set(RectL(rect.left, rect.top, rect.right, rect.bottom)));
    d_->clip = Intersect(rect, TRect{0, 0, d_->width, d_->height});
}

void TMetafileCanvas::ResetClip() {
    if (d_->finished) return;
    d_->FlushPending();
    d_->RestoreDc();
    d_->clip = TRect{0, 0, d_->width, d_->height};
}

void WriteMetafileFile(const QByteArray& emf, const QString& path) {
    const std::string local = QFile::encodeName(path).toStdString();
    // A figure replaces a symbolic link planted under its name, never the
    // file the link names.
    ReplaceOptions options;
    options.followLinks = false;
    ReplaceFileOrThrow(local, std::string_view(emf.constData(), static_cast<std::size_t>(emf.size())), options,
                       (path + QStringLiteral(" に書き込めません")).toStdString());
}

}  // namespace kavum::platform
