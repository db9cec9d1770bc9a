#include "platform/canvas/Canvas.h"

#include <QStringList>

#include <QFontMetricsF>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>
#include <mutex>

namespace kavum::platform {

TRect Intersect(const TRect& a, const TRect& b) {
    TRect r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
            std::min(a.bottom, b.bottom)};
    if (r.IsEmpty()) return TRect{r.left, r.top, r.left, r.top};
    return r;
}

int PointsToPixels(int points) {
    // MulDiv(points, 96, 72): nearest, halves away from zero.
    const long long n = static_cast<long long>(points) * 96;
    const long long q = (n >= 0 ? n + 36 : n - 36) / 72;
    return static_cast<int>(q);
}

QFont MakeQFont(const TCanvasFont& font) {
    QFont f(font.name);
    f.setPixelSize(std::max(1, font.height));
    f.setBold(font.bold);
    f.setItalic(font.italic);
    f.setKerning(false);
    return f;
}

namespace {

const QFontMetrics& CachedMetrics(const TCanvasFont& font) {
    static TCanvasFont key;
    static std::unique_ptr<QFontMetrics> metrics;
    TCanvasFont k = font;
    k.color = clBlack;
    if (!metrics || !(key == k)) {
        InstallFontSubstitutions();
        key = k;
        metrics = std::make_unique<QFontMetrics>(MakeQFont(k));
    }
    return *metrics;
}

}  // namespace

int TextWidthOf(const TCanvasFont& font, const QString& text) { return TextWidthIn(CachedMetrics(font), text); }

namespace {

// Advances of single characters for one font, filled as they are met;
// fractional, so that their sum rounds as the whole measure does.
struct AdvanceTable {
    std::unique_ptr<QFontMetrics> metrics;
    std::unique_ptr<QFontMetricsF> exact;
    std::vector<double> advance;  // per UTF-16 unit; < 0 not yet measured
};

double AdvanceOf(const QFontMetrics& metrics, const QString& text, qsizetype& i) {
    thread_local AdvanceTable table;
    if (!table.metrics || !(*table.metrics == metrics)) {
        table.metrics = std::make_unique<QFontMetrics>(metrics);
        table.exact = std::make_unique<QFontMetricsF>(metrics);
        table.advance.assign(0x10000, -1.0);
    }
    const QChar c = text[i];
    if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
        const double w = table.exact->horizontalAdvance(text.mid(i, 2));
        i += 2;
        return w;
    }
    double& w = table.advance[c.unicode()];
    if (w < 0) w = table.exact->horizontalAdvance(c);
    ++i;
    return w;
}

}  // namespace

int TextWidthIn(const QFontMetrics& metrics, const QString& text) {
    if (text.size() <= LongTextLength) return metrics.horizontalAdvance(text);
    double width = 0;
    for (qsizetype i = 0; i < text.size() && width < MaxTextWidth;) width += AdvanceOf(metrics, text, i);
    return static_cast<int>(std::min<double>(std::round(width), MaxTextWidth));
}

std::vector<int> PrefixWidths(const QFontMetrics& metrics, const QString& text) {
    const qsizetype n = text.size();
    std::vector<int> widths(static_cast<std::size_t>(n) + 1, 0);
    if (n <= ExactPrefixLength) {
        for (qsizetype i = 1; i <= n; ++i) {
            const bool insidePair = text.at(i - 1).isHighSurrogate() && i < n && text.at(i).isLowSurrogate();
            widths[static_cast<std::size_t>(i)] =
                insidePair ? widths[static_cast<std::size_t>(i - 1)] : metrics.horizontalAdvance(text.left(i));
        }
        return widths;
    }
    double width = 0;
    for (qsizetype i = 0; i < n;) {
        const qsizetype from = i;
        width += AdvanceOf(metrics, text, i);
        const int w = static_cast<int>(std::min<double>(std::round(width), MaxTextWidth));
        for (qsizetype k = from + 1; k <= i; ++k) widths[static_cast<std::size_t>(k)] = k < i ? widths[static_cast<std::size_t>(from)] : w;
    }
    return widths;
}

QString TextPrefixWithin(const QFontMetrics& metrics, const QString& text, int room) {
    if (text.size() <= LongTextLength) return text;
    double width = 0;
    qsizetype i = 0;
    while (i < text.size() && width <= room) width += AdvanceOf(metrics, text, i);
    return i >= text.size() ? text : text.left(i);
}

int TextHeightOf(const TCanvasFont& font) { return CachedMetrics(font).height(); }

struct TCanvas::MetricsCache {
    TCanvasFont key;
    QFontMetrics metrics;
};

TCanvas::TCanvas() { InstallFontSubstitutions(); }

TCanvas::~TCanvas() = default;

void TCanvas::SetBrush(const TCanvasBrush& brush) {
    brush_ = brush;
    textTransparent_ = brush.style == TBrushStyle::Clear;
}

void TCanvas::SetBrushColor(TColor color) {
    brush_.color = color;
    brush_.style = TBrushStyle::Solid;
    textTransparent_ = false;
}

void TCanvas::SetBrushStyle(TBrushStyle style) {
    brush_.style = style;
    textTransparent_ = style == TBrushStyle::Clear;
}

const QFontMetrics& TCanvas::Metrics() const {
    TCanvasFont key = font_;
    key.color = clBlack;  // the colour does not change the metrics
    if (!metrics_ || !(metrics_->key == key)) {
        metrics_ = std::make_unique<MetricsCache>(MetricsCache{key, QFontMetrics(MakeQFont(key))});
    }
    return metrics_->metrics;
}

int TCanvas::TextWidth(const QString& text) const { return TextWidthIn(Metrics(), text); }

int TCanvas::TextHeight(const QString&) const { return Metrics().height(); }

void TCanvas::LineTo(int x, int y) {
    const QPoint pts[2] = {penPos_, QPoint(x, y)};
    Polyline(pts, 2);
    penPos_ = QPoint(x, y);
}

void TCanvas::Line(int x1, int y1, int x2, int y2) {
    const QPoint pts[2] = {QPoint(x1, y1), QPoint(x2, y2)};
    Polyline(pts, 2);
    penPos_ = QPoint(x2, y2);
}

}  // namespace kavum::platform
