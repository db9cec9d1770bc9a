#include "export/Figure.h"

#include "export/PngWriter.h"

#include "platform/Errors.h"
#include "platform/Numbers.h"
#include "platform/canvas/Clipboard.h"
#include "platform/canvas/MetafileCanvas.h"
#include "platform/canvas/PainterCanvas.h"
#include "platform/canvas/PdfCanvas.h"
#include "platform/canvas/SvgCanvas.h"

#include <QBuffer>
#include <QClipboard>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMimeData>

#include <algorithm>
#include <cmath>

namespace kavum::exporting {

namespace {

TRect ToTRect(const Box& b) { return TRect{b.left, b.top, b.right, b.bottom}; }

// Sets a value for the life of the object.
class ScopedValue {
public:
    ScopedValue(int* target, int value) : target_(target), saved_(target ? *target : 0) {
        if (target_) *target_ = value;
    }
    ~ScopedValue() {
        if (target_) *target_ = saved_;
    }
    ScopedValue(const ScopedValue&) = delete;
    ScopedValue& operator=(const ScopedValue&) = delete;

private:
    int* target_;
    int saved_;
};

// Picture units are pixels of a 96 dpi screen.
constexpr int PictureDpi = 96;
// The largest bitmap made (400 MB); a three-view figure of a very narrow
// range can be far larger.
constexpr long long MaxBitmapPixels = 100'000'000;

bool BitmapFits(const QSize& size) {
    return static_cast<long long>(std::max(1, size.width())) * std::max(1, size.height()) <= MaxBitmapPixels;
}

// The picture starts white, as a bitmap does.
void WhiteGround(platform::TCanvas& canvas, const QSize& size) {
    canvas.SetBrush(platform::TCanvasBrush{platform::clWhite, platform::TBrushStyle::Solid});
    canvas.FillRect(platform::TRect{0, 0, size.width(), size.height()});
}

void CheckScale(const Figure& figure) {
    const double scale = figure.scale;
    if (figure.physical ? !(scale >= MinPrintScale && scale <= MaxFigureScale) : !ValidFigureScale(scale)) {
        throw platform::KavumError(QStringLiteral("図の倍率は %1 から %2 までです (%3)")
                                       .arg(MinFigureScale)
                                       .arg(MaxFigureScale)
                                       .arg(scale)
                                       .toStdString());
    }
}

}  // namespace

double ScaleOfDpi(double dpi) { return dpi / PictureDpi; }

double VectorGrid(double scale, const QSize& size) {
    // Every point of the picture stays inside the coordinates a chart draws.
    const double extent = std::max({1, size.width(), size.height()});
    const double finest = std::min(MaxVectorGrid, MaxVectorExtent / extent);
    return scale * std::max(1.0, std::floor(finest / scale));
}

namespace {

// The grid a vector figure is drawn on: a figure for print on whole units
// of its scale-1 picture (its lengths then are those of the design to a
// twelfth of a pixel whatever the scale), others on the grid of their scale.
double GridOf(const Figure& figure) {
    return figure.physical ? VectorGrid(1.0, figure.size) : VectorGrid(figure.scale, figure.size);
}

chart::TCustomChart::DrawStyle StyleOf(const Figure& figure, double scale) {
    return chart::TCustomChart::DrawStyle{scale, figure.textScale, figure.minLineWidth * scale};
}

}  // namespace

bool ValidFigureScale(double scale) { return scale >= MinFigureScale && scale <= MaxFigureScale; }

QSize ScaledSize(const QSize& size, double scale) {
    if (scale == 1.0) return size;
    return QSize(std::max(1, platform::RoundHalfEven(size.width() * scale)),
                 std::max(1, platform::RoundHalfEven(size.height() * scale)));
}

TRect ScaledRect(const TRect& rect, double scale) {
    if (scale == 1.0) return rect;
    const auto at = [scale](int v) { return platform::RoundHalfEven(v * scale); };
    return TRect{at(rect.left), at(rect.top), at(rect.right), at(rect.bottom)};
}

std::optional<FigureFormat> FigureFormatOfPath(const QString& path) {
    const QString ext = QFileInfo(path).suffix().toLower();
    if (ext == QLatin1String("emf")) return FigureFormat::Emf;
    if (ext == QLatin1String("svg")) return FigureFormat::Svg;
    if (ext == QLatin1String("pdf")) return FigureFormat::Pdf;
    if (ext == QLatin1String("png")) return FigureFormat::Png;
    return std::nullopt;
}

QString FigureExtension(FigureFormat format) {
    switch (format) {
        case FigureFormat::Svg: return QStringLiteral("svg");
        case FigureFormat::Pdf: return QStringLiteral("pdf");
        case FigureFormat::Png: return QStringLiteral("png");
        default: return QStringLiteral("emf");
    }
}

Figure SingleChartFigure(chart::TCustomChart& chart) {
    const int w = std::max(1, chart.width());
    const int h = std::max(1, chart.height());
    Figure f;
    f.size = QSize(std::max(1, chart.width() - 1), std::max(1, chart.height() - 1));
    f.bitmapSize = QSize(w, h);
    f.charts.push_back({&chart, TRect{0, 0, chart.width(), chart.height()}});
    return f;
}

Figure TwoProfileFigure(chart::TCustomChart& westEast, chart::TCustomChart& southNorth, double mapAspect) {
    const TwoProfilePicture p = TwoProfileGeometry(mapAspect);
    Figure f;
    f.size = f.bitmapSize = p.size;
    f.charts.push_back({&westEast, ToTRect(p.westEast)});
    f.charts.push_back({&southNorth, ToTRect(p.southNorth)});
    return f;
}

Figure ClipboardTwoProfileFigure(chart::TCustomChart& westEast, chart::TCustomChart& southNorth) {
    const TwoProfilePicture p = ClipboardTwoProfileGeometry();
    Figure f;
    f.size = f.bitmapSize = p.size;
    f.charts.push_back({&westEast, ToTRect(p.westEast)});
    f.charts.push_back({&southNorth, ToTRect(p.southNorth)});
    return f;
}

Figure ThreeViewFigure(chart::TCustomChart& map, chart::TCustomChart& westEast, chart::TCustomChart& southNorth, double mapAspect,
                       int legendLeft, int legendTop) {
    const ThreeViewPicture p = ThreeViewGeometry(mapAspect, legendLeft, legendTop);
    Figure f;
    f.size = f.bitmapSize = p.size;
    f.charts.push_back({&southNorth, ToTRect(p.southNorth)});
    f.charts.push_back({&map, ToTRect(p.map)});
    f.charts.push_back({&westEast, ToTRect(p.westEast)});
    f.legend = QPoint(p.legendLeft, p.legendTop);
    return f;
}

std::optional<Figure> SavedFigure(const FigureCharts& charts, int showMode, double mapAspect, int legendLeft,
                                  int legendTop) {
    switch (showMode) {
        case 1: return SingleChartFigure(*charts.map);
        case 2: return TwoProfileFigure(*charts.westEast, *charts.southNorth, mapAspect);
        case 3:
            return ThreeViewFigure(*charts.map, *charts.westEast, *charts.southNorth, mapAspect, legendLeft, legendTop);
        default: return std::nullopt;
    }
}

std::optional<Figure> ClipboardFigure(const FigureCharts& charts, int showMode, double mapAspect, int legendLeft,
                                      int legendTop) {
    if (showMode == 2) return ClipboardTwoProfileFigure(*charts.westEast, *charts.southNorth);
    return SavedFigure(charts, showMode, mapAspect, legendLeft, legendTop);
}

void DrawFigure(platform::TCanvas& canvas, const Figure& figure, LegendPosition legend, double scale) {
    const bool move = figure.legend.has_value() && legend.left && legend.top;
    ScopedValue left(move ? legend.left : nullptr, move ? figure.legend->x() : 0);
    ScopedValue top(move ? legend.top : nullptr, move ? figure.legend->y() : 0);
    const chart::TCustomChart::DrawStyle style = StyleOf(figure, scale);
    for (const ChartPlacement& placement : figure.charts) {
        if (placement.chart) placement.chart->DrawInto(canvas, placement.rect, style);
    }
}

QByteArray FigureMetafile(const Figure& figure, LegendPosition legend) {
    platform::TMetafileCanvas canvas(figure.size.width(), figure.size.height());
    DrawFigure(canvas, figure, legend);
    return canvas.Finish();
}

QImage FigureBitmap(const Figure& figure, LegendPosition legend) {
    CheckScale(figure);
    const QSize size = ScaledSize(figure.bitmapSize, figure.scale);
    if (!BitmapFits(size)) {
        throw platform::KavumError(QStringLiteral("図が大きすぎて画像にできません (%1 x %2)")
                                       .arg(size.width())
                                       .arg(size.height())
                                       .toStdString());
    }
    QImage image(std::max(1, size.width()), std::max(1, size.height()), QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        // Pixel for pixel at any scale: the charts draw their sizes scaled.
        platform::TPainterCanvas canvas(image);
        DrawFigure(canvas, figure, legend, figure.scale);
    }
    const double dpi = figure.dpi.value_or(PictureDpi * figure.scale);
    image.setDotsPerMeterX(qRound(dpi / 0.0254));
    image.setDotsPerMeterY(qRound(dpi / 0.0254));
    return image;
}

QByteArray FigureSvg(const Figure& figure, LegendPosition legend, const QString& title) {
    CheckScale(figure);
    const double grid = GridOf(figure);
    const QSize size = ScaledSize(figure.size, grid);
    platform::TSvgCanvas canvas(size.width(), size.height(), title, figure.scale / grid, figure.physical);
    WhiteGround(canvas, size);
    DrawFigure(canvas, figure, legend, grid);
    return canvas.Finish();
}

QByteArray FigurePdf(const Figure& figure, LegendPosition legend, const QString& title, platform::TPdfShared* shared) {
    CheckScale(figure);
    const double grid = GridOf(figure);
    const QSize size = ScaledSize(figure.size, grid);
    platform::TPdfCanvas canvas(size.width(), size.height(), title, figure.scale / grid, shared);
    WhiteGround(canvas, size);
    DrawFigure(canvas, figure, legend, grid);
    return canvas.Finish();
}

QByteArray FigureBytes(FigureFormat format, const Figure& figure, LegendPosition legend, const QString& title,
                       platform::TPdfShared* shared) {
    switch (format) {
        case FigureFormat::Svg: return FigureSvg(figure, legend, title);
        case FigureFormat::Pdf: return FigurePdf(figure, legend, title, shared);
        case FigureFormat::Png: {
            QImage image = FigureBitmap(figure, legend);
            // Written quickly (no filters, the fastest compression): the
            // same pixels and resolution as a standard PNG writer gives.
            const int dotsPerMeter = image.dotsPerMeterX();
            return FastPng(std::move(image), dotsPerMeter);
        }
        default: return FigureMetafile(figure, legend);
    }
}

namespace {

// The format of a figure file by its first bytes.
std::optional<FigureFormat> SniffedFigure(const QByteArray& head) {
    if (head.startsWith("\x89PNG\r\n\x1a\n")) return FigureFormat::Png;
    if (head.startsWith("%PDF-")) return FigureFormat::Pdf;
    if (head.size() >= 44 && head.startsWith(QByteArray("\x01\x00\x00\x00", 4)) && head.mid(40, 4) == " EMF") {
        return FigureFormat::Emf;
    }
    const QByteArray start = head.left(4096).trimmed();
    if ((start.startsWith("<?xml") || start.startsWith("<svg") || start.startsWith("<!DOCTYPE svg")) &&
        head.contains("<svg")) {
        return FigureFormat::Svg;
    }
    return std::nullopt;
}

QString KindOf(const QByteArray& head, const QString& path) {
    if (const auto figure = SniffedFigure(head)) {
        switch (*figure) {
            case FigureFormat::Png: return QStringLiteral("PNG 画像");
            case FigureFormat::Pdf: return QStringLiteral("PDF 文書");
            case FigureFormat::Svg: return QStringLiteral("SVG 画像");
            default: return QStringLiteral("EMF 図");
        }
    }
    if (head.isEmpty()) return QStringLiteral("空のファイル");
    if (head.startsWith("\xff\xd8\xff")) return QStringLiteral("JPEG 画像");
    if (head.startsWith("GIF8")) return QStringLiteral("GIF 画像");
    if (head.startsWith("BM")) return QStringLiteral("BMP 画像");
    if (head.startsWith("PK\x03\x04")) return QStringLiteral("ZIP 形式のファイル");
    if (head.startsWith("SQLite format 3")) return QStringLiteral("データベース");
    // Text: no NUL in the start.
    if (!head.left(4096).contains('\0')) {
        const QString ext = QFileInfo(path).suffix().toLower();
        if (head.contains("*H-MAP") || ext == QLatin1String("mdt")) return QStringLiteral("地図データファイル");
        if (ext == QLatin1String("ini") || head.trimmed().startsWith('[')) return QStringLiteral("設定ファイル");
        if (ext == QLatin1String("grd") || ext == QLatin1String("csv")) return QStringLiteral("分布データファイル");
        return QStringLiteral("テキストファイル");
    }
    return QStringLiteral("図ではないファイル");
}

}  // namespace

ExistingFile ExistingFigureFile(const QString& path, FigureFormat format) {
    ExistingFile e;
    e.format = format;
    const QFileInfo info(path);
    if (!info.exists()) return e;
    e.exists = true;
    QFile file(path);
    QByteArray head;
    if (info.isFile() && file.open(QIODevice::ReadOnly)) head = file.read(8192);
    const std::optional<FigureFormat> figure = info.isFile() ? SniffedFigure(head) : std::nullopt;
    e.sameFormat = figure == format;
    e.kind = info.isDir() ? QStringLiteral("フォルダ") : KindOf(head, path);
    return e;
}

QString ReplaceFigureQuestion(const QString& path, const ExistingFile& existing) {
    const QString name = QFileInfo(path).fileName();
    if (existing.sameFormat) return QStringLiteral("%1 は既に存在します。\n置き換えますか?").arg(name);
    return QStringLiteral("%1 は既に存在します。このファイルは %2 の図ではなく、%3のようです。\n"
                          "置き換えると元の内容は失われます。本当に置き換えますか?")
        .arg(name, FigureExtension(existing.format).toUpper(), existing.kind);
}

void SaveFigure(FigureFormat format, const Figure& figure, const QString& path, LegendPosition legend) {
    // The picture is complete (and the legend back) before the file is
    // touched; the file is replaced as a whole or not at all.
    const QByteArray bytes = FigureBytes(format, figure, legend, QFileInfo(path).completeBaseName());
    platform::WriteMetafileFile(bytes, path);
}

void CopyFigureToClipboard(const Figure& figure, LegendPosition legend) {
    const QByteArray emf = FigureMetafile(figure, legend);
    std::unique_ptr<QMimeData> data = platform::MetafileMimeData(emf);
    // The bitmap beside it, unless it would be too large.
    if (BitmapFits(figure.bitmapSize)) data->setImageData(FigureBitmap(figure, legend));
    QGuiApplication::clipboard()->setMimeData(data.release());
}

}  // namespace kavum::exporting
