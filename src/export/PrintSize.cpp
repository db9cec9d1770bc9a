#include "export/PrintSize.h"

#include "platform/Errors.h"

#include <QRegularExpression>

#include <algorithm>
#include <cmath>

namespace kavum::exporting {

namespace {

constexpr double MmPerInch = 25.4;
constexpr double PtPerInch = 72.0;
constexpr double PictureDpi = 96.0;

[[noreturn]] void Refuse(const QString& message) { throw platform::KavumError(message.toStdString()); }

void CheckRange(const std::optional<double>& v, double low, double high, const QString& what, const QString& unit) {
    if (v && !(*v >= low && *v <= high)) {
        Refuse(QStringLiteral("%1は %2 から %3 %4 までです (%5)").arg(what).arg(low).arg(high).arg(unit).arg(*v));
    }
}

}  // namespace

std::optional<double> LengthInMillimetres(const QString& text) {
    static const QRegularExpression pattern(QStringLiteral("^\\s*([0-9]+(?:\\.[0-9]*)?|\\.[0-9]+)\\s*(mm|cm|in|pt)\\s*$"),
                                            QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = pattern.match(text);
    if (!m.hasMatch()) return std::nullopt;
    bool ok = false;
    const double v = m.captured(1).toDouble(&ok);
    if (!ok || !std::isfinite(v)) return std::nullopt;
    const QString unit = m.captured(2).toLower();
    if (unit == QLatin1String("cm")) return v * 10.0;
    if (unit == QLatin1String("in")) return v * MmPerInch;
    if (unit == QLatin1String("pt")) return v * MmPerInch / PtPerInch;
    return v;
}

PrintGeometry PrintGeometryOf(const QSize& pictureSize, FigureFormat format, const PrintOptions& o) {
    CheckRange(o.widthMm, MinPrintLengthMm, MaxPrintLengthMm, QStringLiteral("図の幅"), QStringLiteral("mm"));
    CheckRange(o.heightMm, MinPrintLengthMm, MaxPrintLengthMm, QStringLiteral("図の高さ"), QStringLiteral("mm"));
    CheckRange(o.fontPt, MinFontPt, MaxFontPt, QStringLiteral("文字の大きさ"), QStringLiteral("pt"));
    CheckRange(o.linePt, MinLinePt, MaxLinePt, QStringLiteral("線の太さ"), QStringLiteral("pt"));
    CheckRange(o.dpi, o.Physical() ? MinPrintDpi : MinFigureScale * PictureDpi, MaxPrintDpi, QStringLiteral("解像度"),
               QStringLiteral("dpi"));
    CheckRange(o.scale, MinFigureScale, MaxFigureScale, QStringLiteral("図の倍率"), QStringLiteral("倍"));
    if (o.scale && (o.dpi || o.Physical())) Refuse(QStringLiteral("倍率と、解像度や図の大きさとは同時に指定できません"));
    if (format == FigureFormat::Emf && (o.Physical() || o.fontPt || o.linePt || o.dpi || (o.scale && *o.scale != 1.0))) {
        Refuse(QStringLiteral("EMF の図は常に画面の大きさです (倍率・大きさ・解像度・文字や線の指定はできません)"));
    }

    const double w = std::max(1, pictureSize.width());
    const double h = std::max(1, pictureSize.height());
    const bool bitmap = format == FigureFormat::Png;
    PrintGeometry g;
    g.physical = o.Physical();
    // Points in print per pixel of the picture at scale 1.
    double ptPerPixel;
    if (g.physical) {
        ptPerPixel = 1e300;
        if (o.widthMm) ptPerPixel = std::min(ptPerPixel, *o.widthMm / MmPerInch * PtPerInch / w);
        if (o.heightMm) ptPerPixel = std::min(ptPerPixel, *o.heightMm / MmPerInch * PtPerInch / h);
        if (bitmap) {
            g.dpi = o.dpi.value_or(DefaultPrintDpi);
            g.scale = ptPerPixel / PtPerInch * *g.dpi;
        } else {
            g.scale = ptPerPixel / PtPerInch * PictureDpi;
        }
    } else {
        g.scale = o.scale ? *o.scale : o.dpi ? *o.dpi / PictureDpi : 1.0;
        if (bitmap && o.dpi) g.dpi = *o.dpi;
        // A bitmap prints at the screen's size whatever its pixels, a vector
        // document at its scale.
        ptPerPixel = PtPerInch / PictureDpi * (bitmap ? 1.0 : g.scale);
    }
    const double designPt = DesignTextPixels * ptPerPixel;
    g.fontPt = o.fontPt ? *o.fontPt : std::max(designPt, g.physical ? MinDefaultFontPt : 0.0);
    g.textScale = g.fontPt / designPt;
    if (std::fabs(g.textScale - 1.0) < 1e-9) g.textScale = 1.0;
    g.minLineWidth = o.linePt.value_or(DefaultLinePt) / ptPerPixel;
    g.sizeMm = QSizeF(w * ptPerPixel / PtPerInch * MmPerInch, h * ptPerPixel / PtPerInch * MmPerInch);
    return g;
}

void ApplyPrintOptions(Figure& figure, FigureFormat format, const PrintOptions& options) {
    const QSize size = format == FigureFormat::Png ? figure.bitmapSize : figure.size;
    const PrintGeometry g = PrintGeometryOf(size, format, options);
    figure.scale = g.scale;
    figure.textScale = g.textScale;
    // The thinnest line is kept for figures made for print; a figure at the
    // screen's size or a scale of it stays as it always was.
    figure.minLineWidth = g.physical || options.linePt ? g.minLineWidth : 0.0;
    figure.dpi = g.dpi;
    figure.physical = g.physical;
}

}  // namespace kavum::exporting
