#include "ExportTestUtil.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>

#include <cmath>
#include <cstring>

#include <zlib.h>

namespace kavum::exporting::test {

using namespace platform;

void BuildChart(chart::TChart& chart, int* legendLeft, int* legendTop, const QString& label) {
    chart.resize(400, 300);
    for (chart::TCustomChartAxis* a : {&chart.BottomAxis(), &chart.LeftAxis()}) {
        a->Grid().SetColor(clAqua);
        a->MinorGrid().SetColor(clAqua);
        a->MinorGrid().SetVisible(true);
        a->MinorGrid().SetSmallDots(true);
        a->SetLabelsOnAxis(false);
    }
    chart.BottomAxis().SetAxisRange(128, 146);
    chart.BottomAxis().SetIncrement(2);
    chart.BottomAxis().SetMinorTickCount(1);
    chart.LeftAxis().SetAxisRange(30, 46);
    chart.LeftAxis().SetIncrement(2);
    chart.LeftAxis().SetMinorTickCount(1);
    chart::TLineSeries& line = chart.AddLineSeries();
    line.LinePen().SetMode(TPenMode::Mask);
    for (int i = 0; i <= 30; ++i) {
        line.StorePoint(129 + i * 0.5, 38 + 3 * std::sin(i / 4.0), QString(), clBlack);
        if (i == 15) line.AddNullPoint(QString());
    }
    for (int k = 0; k < 9; ++k) {
        chart::TPointSeries& s = chart.AddPointSeries();
        s.SetSeriesColor(k % 2 ? clRed : clBlue);
        s.Pointer().SetStyle(static_cast<chart::TSeriesPointerStyle>(k));
        s.Pointer().SetHorizSize(3);
        s.Pointer().SetVertSize(3);
        s.Pointer().Brush().SetColor(clYellow);
        s.Pointer().Pen().SetWidth(k == 6 ? 2 : 1);
        for (int j = 0; j < 3; ++j) s.StorePoint(130 + 1.8 * k, 44 - 2.5 * j, QString(), platform::UseSeriesColor);
    }
    chart.OnAfterDraw = [legendLeft, legendTop, label](chart::TChart& c) {
        TCanvas& canvas = c.Canvas();
        canvas.SetPen(TCanvasPen{clBlack, 1, TPenStyle::Solid, TPenMode::Copy});
        canvas.SetBrushColor(clWhite);
        const int x = *legendLeft, y = *legendTop;
        canvas.Rectangle(TRect{x, y, x + 80, y + 24});
        canvas.SetFont(TCanvasFont{QStringLiteral("ＭＳ ゴシック"), 13, clNavy});
        canvas.TextOut(x + 6, y + 5, label);
    };
}

std::uint32_t Record::U32(int offset) const {
    std::uint32_t v = 0;
    std::memcpy(&v, data + offset, 4);
    return v;
}

std::int16_t Record::I16(int offset) const {
    std::int16_t v = 0;
    std::memcpy(&v, data + offset, 2);
    return v;
}

std::vector<Record> Records(const QByteArray& emf) {
    std::vector<Record> out;
    qsizetype at = 0;
    while (at + 8 <= emf.size()) {
        Record r;
        std::memcpy(&r.type, emf.constData() + at, 4);
        std::memcpy(&r.size, emf.constData() + at + 4, 4);
        if (r.size < 8 || r.size % 4 || at + r.size > emf.size()) return {};
        r.data = emf.constData() + at;
        out.push_back(r);
        at += r.size;
    }
    if (at != emf.size()) return {};
    return out;
}

std::vector<std::vector<QPoint>> Polygons(const Record& r) {
    std::vector<std::vector<QPoint>> out;
    if (r.type == 86) {  // POLYGON16: bounds, count, points
        const std::uint32_t n = r.U32(24);
        std::vector<QPoint> poly;
        for (std::uint32_t i = 0; i < n; ++i) poly.emplace_back(r.I16(28 + 4 * i), r.I16(30 + 4 * i));
        out.push_back(poly);
    } else if (r.type == 91) {  // POLYPOLYGON16: bounds, polygons, points, counts, points
        const std::uint32_t polys = r.U32(24);
        int at = 32 + 4 * static_cast<int>(polys);
        for (std::uint32_t p = 0; p < polys; ++p) {
            const std::uint32_t n = r.U32(32 + 4 * static_cast<int>(p));
            std::vector<QPoint> poly;
            for (std::uint32_t i = 0; i < n; ++i, at += 4) poly.emplace_back(r.I16(at), r.I16(at + 2));
            out.push_back(poly);
        }
    }
    return out;
}

QRect BoxOf(const std::vector<QPoint>& p) {
    if (p.size() != 4 || p[0].y() != p[1].y() || p[1].x() != p[2].x() || p[2].y() != p[3].y() ||
        p[3].x() != p[0].x()) {
        return QRect();
    }
    return QRect(QPoint(p[0].x(), p[0].y()), QPoint(p[2].x(), p[2].y()));
}

std::vector<QPoint> PixelsInside(const std::vector<QPoint>& poly) {
    std::vector<QPoint> out;
    if (poly.empty()) return out;
    int l = poly[0].x(), r = l, t = poly[0].y(), b = t;
    for (const QPoint& p : poly) {
        l = std::min(l, p.x());
        r = std::max(r, p.x());
        t = std::min(t, p.y());
        b = std::max(b, p.y());
    }
    for (int y = t; y < b; ++y) {
        for (int x = l; x < r; ++x) {
            const double cx = x + 0.5, cy = y + 0.5;
            bool inside = false;
            for (std::size_t i = 0, j = poly.size() - 1; i < poly.size(); j = i++) {
                const double xi = poly[i].x(), yi = poly[i].y(), xj = poly[j].x(), yj = poly[j].y();
                if ((yi > cy) != (yj > cy) && cx < (xj - xi) * (cy - yi) / (yj - yi) + xi) inside = !inside;
            }
            if (inside) out.emplace_back(x, y);
        }
    }
    return out;
}

int RunProgram(const QString& program, const QStringList& arguments, QByteArray* output) {
    QProcess p;
    p.start(program, arguments);
    if (!p.waitForStarted(10000)) return -1;
    p.waitForFinished(120000);
    if (output) *output = p.readAllStandardOutput();
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

bool HaveProgram(const QString& program) { return !QStandardPaths::findExecutable(program).isEmpty(); }

QByteArray ReadFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

std::optional<int> Inflate(const char* data, qsizetype size, QByteArray& out) {
    z_stream z{};
    if (inflateInit(&z) != Z_OK) return std::nullopt;
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data));
    z.avail_in = static_cast<uInt>(size);
    int result = Z_OK;
    while (result == Z_OK) {
        char buffer[1 << 16];
        z.next_out = reinterpret_cast<Bytef*>(buffer);
        z.avail_out = sizeof buffer;
        result = inflate(&z, Z_NO_FLUSH);
        out.append(buffer, static_cast<qsizetype>(sizeof buffer - z.avail_out));
    }
    inflateEnd(&z);
    return result;
}

int Differences(const QImage& a, const QImage& b, int tolerance) {
    int n = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            if (std::abs(qRed(p) - qRed(q)) > tolerance || std::abs(qGreen(p) - qGreen(q)) > tolerance ||
                std::abs(qBlue(p) - qBlue(q)) > tolerance) {
                ++n;
            }
        }
    }
    return n;
}

QString BundledSettings(const QString& folder) {
    const QString path = folder + QStringLiteral("/k.ini");
    QFile file(path);
    if (file.open(QIODevice::WriteOnly)) {
        file.write("[DataFile]\r\nMapFile=" KAVUM_SOURCE_DIR "/assets/Kavum_Nippon.mdt\r\nGrdFile=" KAVUM_SOURCE_DIR
                   "/assets/samples/mountains.grd\r\n");
    }
    return path;
}

}  // namespace kavum::exporting::test
