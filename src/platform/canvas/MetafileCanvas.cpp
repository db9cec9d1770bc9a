#include "platform/canvas/MetafileCanvas.h"

#include "platform/Errors.h"

#include <QSaveFile>

#include <uemf.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <limits>
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

bool Fits16(const QPoint& p) {
    return p.x() >= SHRT_MIN && p.x() <= SHRT_MAX && p.y() >= SHRT_MIN && p.y() <= SHRT_MAX;
}

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
    TColor textColor = clBlack;
};

}  // namespace

struct TMetafileCanvas::Impl {
    int width = 1;
    int height = 1;
    EMFTRACK* et = nullptr;
    EMFHANDLES* eht = nullptr;
    bool finished = false;
    QByteArray bytes;

    DcState dc;         // what the recorded device context holds
    bool saved = false;  // a SaveDC for the clip is open
    DcState savedDc;    // the state RestoreDC brings back

    // Pixels waiting to go out together, all of one colour.
    std::vector<QPoint> dots;
    TColor dotColor = 0;

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
        if (key.style == TPenStyle::Alternate) {
            PU_EXTLOGPEN elp = extlogpen_set(U_PS_COSMETIC | U_PS_ALTERNATE, 1, U_BS_SOLID, ColorRef(key.color), 0, 0,
                                             nullptr);
            if (!elp) throw KavumError("メタファイルのペンを作成できません");
            char* rec = extcreatepen_set(&h, eht, nullptr, 0, nullptr, elp);
            std::free(elp);
            Emit(rec);
        } else {
            uint32_t style = U_PS_SOLID;
            int width = std::max(1, key.width);
            switch (key.style) {
                case TPenStyle::Dash: style = U_PS_DASH; width = 1; break;
                case TPenStyle::Dot: style = U_PS_DOT; width = 1; break;
                case TPenStyle::DashDot: style = U_PS_DASHDOT; width = 1; break;
                case TPenStyle::DashDotDot: style = U_PS_DASHDOTDOT; width = 1; break;
                default: break;
            }
            Emit(createpen_set(&h, eht, logpen_set(style, point32_set(width, 0), ColorRef(key.color))));
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
            Release(old);
            return;
        }
        if (dc.brush.created && dc.brushKey.color == brush.color) return;
        uint32_t h = 0;
        Emit(createbrushindirect_set(&h, eht, logbrush_set(U_BS_SOLID, ColorRef(brush.color), 0)));
        Emit(selectobject_set(h, eht));
        const GdiObject old = dc.brush;
        dc.brush = GdiObject{h, true};
        dc.brushKey = TCanvasBrush{brush.color, TBrushStyle::Solid};
        Release(old);
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
                                         U_DEFAULT_PITCH | U_FF_DONTCARE, face);
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

    void FlushDots() {
        if (dots.empty()) return;
        // Each pixel is a line one pixel long, whose end point is not drawn.
        SelectPen(PenKey{dotColor, 1, TPenStyle::Solid}, true);
        SetRop2(TPenMode::Copy);
        std::vector<QPoint> pts;
        pts.reserve(dots.size() * 2);
        for (const QPoint& p : dots) {
            pts.push_back(p);
            pts.push_back(QPoint(p.x() + 1, p.y()));
        }
        std::vector<uint32_t> counts(dots.size(), 2);
        const U_RECTL bounds = BoundsOf(pts.data(), static_cast<int>(pts.size()));
        if (std::all_of(pts.begin(), pts.end(), Fits16)) {
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
        dots.clear();
    }

    void Close() {
        FlushDots();
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
        Emit(U_EMREOF_set(0, nullptr, et));
        // emf_finish completes the header in the buffer; its file is the
        // null device, since the bytes are taken from memory.
        if (emf_finish(et, eht) != 0) throw KavumError("メタファイルを完成できません");
        bytes = QByteArray(et->buf, static_cast<qsizetype>(et->used));
        emf_free(&et);
        emf_htable_free(&eht);
        finished = true;
    }
};

TMetafileCanvas::TMetafileCanvas(int width, int height) : d_(std::make_unique<Impl>()) {
    d_->width = std::max(1, width);
    d_->height = std::max(1, height);
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
    d_->FlushDots();
    const int w = TextWidth(text);
    const int h = TextHeight(text);
    if (!TextTransparent() && Brush().style == TBrushStyle::Solid) FillRect(TRect{x, y, x + w, y + h});
    d_->SelectFont(Font());
    d_->SetTextColor(Font().color);
    // The advance of each character, so that every reader lays the text out
    // as the screen does.
    const QFontMetrics& fm = Metrics();
    std::vector<uint32_t> dx(static_cast<std::size_t>(text.size()), 0);
    int previous = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i).isHighSurrogate() && i + 1 < text.size()) continue;
        const int upTo = fm.horizontalAdvance(text.left(i + 1));
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

void TMetafileCanvas::FillRect(const TRect& rect) {
    if (d_->finished || rect.IsEmpty() || Brush().style == TBrushStyle::Clear) return;
    d_->FlushDots();
    // A rectangle without a pen fills one pixel less on the right and at the
    // bottom, so it is given one more; the fill ignores the pen's mix.
    d_->SelectPen(PenKey{}, false);
    d_->SelectBrush(Brush());
    d_->SetRop2(TPenMode::Copy);
    d_->Emit(U_EMRRECTANGLE_set(RectL(rect.left, rect.top, rect.right + 1, rect.bottom + 1)));
}

void TMetafileCanvas::Rectangle(const TRect& rect) {
    if (d_->finished || rect.IsEmpty()) return;
    d_->FlushDots();
    d_->SelectPen(PenKey{Pen().color, Pen().width, Pen().style}, Pen().style != TPenStyle::Clear);
    d_->SelectBrush(Brush());
    d_->SetRop2(Pen().mode);
    d_->Emit(U_EMRRECTANGLE_set(RectL(rect.left, rect.top, rect.right, rect.bottom)));
}

void TMetafileCanvas::Ellipse(const TRect& rect) {
    if (d_->finished || rect.IsEmpty()) return;
    d_->FlushDots();
    d_->SelectPen(PenKey{Pen().color, Pen().width, Pen().style}, Pen().style != TPenStyle::Clear);
    d_->SelectBrush(Brush());
    d_->SetRop2(Pen().mode);
    d_->Emit(U_EMRELLIPSE_set(RectL(rect.left, rect.top, rect.right, rect.bottom)));
}

void TMetafileCanvas::Polygon(const QPoint* points, int count) {
    if (d_->finished || count < 2) return;
    d_->FlushDots();
    d_->SelectPen(PenKey{Pen().color, Pen().width, Pen().style}, Pen().style != TPenStyle::Clear);
    d_->SelectBrush(Brush());
    d_->SetRop2(Pen().mode);
    const U_RECTL bounds = BoundsOf(points, count);
    if (std::all_of(points, points + count, Fits16)) {
        std::vector<U_POINT16> p16(static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i) {
            p16[i] = point16_set(static_cast<int16_t>(points[i].x()), static_cast<int16_t>(points[i].y()));
        }
        d_->Emit(U_EMRPOLYGON16_set(bounds, static_cast<uint32_t>(count), p16.data()));
    } else {
        std::vector<U_POINTL> p32(static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i) p32[i] = point32_set(points[i].x(), points[i].y());
        d_->Emit(U_EMRPOLYGON_set(bounds, static_cast<uint32_t>(count), p32.data()));
    }
}

void TMetafileCanvas::Polyline(const QPoint* points, int count) {
    if (d_->finished || count < 2 || Pen().style == TPenStyle::Clear) return;
    d_->FlushDots();
    d_->SelectPen(PenKey{Pen().color, Pen().width, Pen().style}, true);
    d_->SetRop2(Pen().mode);
    const U_RECTL bounds = BoundsOf(points, count);
    if (std::all_of(points, points + count, Fits16)) {
        std::vector<U_POINT16> p16(static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i) {
            p16[i] = point16_set(static_cast<int16_t>(points[i].x()), static_cast<int16_t>(points[i].y()));
        }
        d_->Emit(U_EMRPOLYLINE16_set(bounds, static_cast<uint32_t>(count), p16.data()));
    } else {
        std::vector<U_POINTL> p32(static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i) p32[i] = point32_set(points[i].x(), points[i].y());
        d_->Emit(U_EMRPOLYLINE_set(bounds, static_cast<uint32_t>(count), p32.data()));
    }
}

void TMetafileCanvas::SetPixel(int x, int y, TColor color) {
    if (d_->finished) return;
    if (!d_->dots.empty() && d_->dotColor != color) d_->FlushDots();
    d_->dotColor = color;
    d_->dots.push_back(QPoint(x, y));
}

void TMetafileCanvas::SetClipRect(const TRect& rect) {
    if (d_->finished) return;
    d_->FlushDots();
    d_->RestoreDc();
    d_->SaveDc();
    d_->Emit(U_EMRINTERSECTCLIPRECT_set(RectL(rect.left, rect.top, rect.right, rect.bottom)));
}

void TMetafileCanvas::ResetClip() {
    if (d_->finished) return;
    d_->FlushDots();
    d_->RestoreDc();
}

void WriteMetafileFile(const QByteArray& emf, const QString& path) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(emf) != emf.size() || !file.commit()) {
        throw FileError((path + QStringLiteral(" に書き込めません")).toStdString());
    }
}

}  // namespace kavum::platform
