#include "ChartTestUtil.h"

#include <QProcess>

#include <uemf.h>

#include <algorithm>
#include <cmath>

namespace kavum::chart::test {

using namespace platform;

void BuildDemoChart(TChart& chart) {
    chart.resize(640, 480);
    chart.Title().SetLine(0, QStringLiteral("分布図の試し描き"));
    chart.Title().SetVisible(true);
    for (TCustomChartAxis* a : {&chart.BottomAxis(), &chart.LeftAxis()}) {
        a->Grid().SetColor(clAqua);
        a->MinorGrid().SetColor(clAqua);
        a->MinorGrid().SetVisible(true);
        a->MinorGrid().SetSmallDots(true);
        a->LabelsFont().SetColor(RGBColor(0, 128, 128));
        a->SetLabelsOnAxis(false);
    }
    chart.BottomAxis().SetAxisRange(128, 146);
    chart.BottomAxis().SetAxisValuesFormat(QStringLiteral("###.0"));
    chart.BottomAxis().SetIncrement(2);
    chart.BottomAxis().SetMinorTickCount(1);
    chart.BottomAxis().SetLabelsSeparation(1);
    chart.LeftAxis().SetAxisRange(30, 46);
    chart.LeftAxis().SetAxisValuesFormat(QStringLiteral("##.0"));
    chart.LeftAxis().SetIncrement(2);
    chart.LeftAxis().SetMinorTickCount(3);
    chart.OnGetAxisLabel = [](TCustomChartAxis&, TChartSeries*, int, QString& text) {
        bool ok = false;
        const double v = text.toDouble(&ok);
        if (ok && v == std::trunc(v)) text = QString::number(static_cast<int>(v)) + QStringLiteral("ﾟ");
    };

    // A coastline-like line with two breaks, in mask mode; a division line
    // in aqua crosses it.
    TLineSeries& line = chart.AddLineSeries();
    line.LinePen().SetMode(TPenMode::Mask);
    line.Pointer().SetStyle(psSmallDot);
    line.Pointer().SetHorizSize(1);
    line.Pointer().SetVertSize(1);
    line.Pointer().Pen().SetVisible(false);
    line.Pointer().SetVisible(true);
    for (int i = 0; i <= 40; ++i) {
        const double x = 129 + i * 0.4;
        line.StorePoint(x, 38 + 3 * std::sin(i / 4.0), QString(), clBlack);
        if (i == 15 || i == 28) line.AddNullPoint(QString());
    }
    line.AddNullPoint(QString());
    for (int i = 0; i <= 20; ++i) line.StorePoint(131 + i * 0.6, 34 - 2 * std::cos(i / 3.0), QString(), RGBColor(160, 160, 164));
    line.AddNullPoint(QString());
    line.StorePoint(137, 30, QString(), clAqua);
    line.StorePoint(137, 46, QString(), clAqua);

    static const TColor brushes[9] = {0xFF0000, 0xFFFF00, 0x008000, 0x00FF00, 0x00FFFF,
                                      0xFF00FF, 0x0000FF, 0xF0CAA6, 0x808080};
    static const TColor seriesColors[9] = {clBlack, clPurple, clLime, clAqua, clYellow,
                                           clRed,   clGreen,  clBlue, clBlack};
    for (int k = 0; k < 9; ++k) {
        TPointSeries& s = chart.AddPointSeries();
        s.SetSeriesColor(seriesColors[k]);
        s.Pointer().SetStyle(static_cast<TSeriesPointerStyle>(k));
        s.Pointer().SetHorizSize(5);
        s.Pointer().SetVertSize(5);
        s.Pointer().Brush().SetColor(brushes[k]);
        s.Pointer().Pen().SetColor(clBlack);
        s.Pointer().Pen().SetWidth(k == 6 || k == 7 ? 2 : 1);
        for (int j = 0; j < 4; ++j) s.StorePoint(130 + 1.7 * k, 44 - 1.1 * j, QString(), UseSeriesColor);
    }

    chart.OnAfterDraw = [](TChart& c) {
        TCanvas& canvas = c.Canvas();
        canvas.SetFont(c.Legend().Font().CanvasFont());
        canvas.SetPenColor(clBlack);
        canvas.SetBrushColor(clWhite);
        const int left = c.ChartBounds().left + 70;
        const int top = c.ChartBounds().top + 300;
        canvas.Rectangle(TRect{left, top, left + 150, top + 20 * 3 + 25});
        for (int i = 1; i <= 3; ++i) {
            canvas.SetBrushColor(0x00FFFF);
            canvas.SetPenColor(clBlack);
            c.DrawPointerShape(true, left + 20, top + 20 * i, 4, 4, clBlack,
                               static_cast<TSeriesPointerStyle>(i - 1));
            canvas.SetBrushColor(clWhite);
            canvas.SetPenColor(clBlack);
            canvas.TextOut(left + 40, top + 20 * i - 8, QStringLiteral("ブナ 第%1類").arg(i));
        }
    };
}

std::vector<EmfRecord> EmfRecords(const QByteArray& emf) {
    std::vector<EmfRecord> out;
    qsizetype off = 0;
    while (off + 8 <= emf.size()) {
        const auto* rec = reinterpret_cast<const U_EMR*>(emf.constData() + off);
        if (rec->nSize < 8 || rec->nSize % 4 != 0 || off + rec->nSize > emf.size()) return {};
        out.push_back(EmfRecord{rec->iType, rec->nSize, emf.constData() + off});
        off += rec->nSize;
        if (rec->iType == U_EMR_EOF) break;
    }
    if (off != emf.size()) return {};
    return out;
}

int RunProgram(const QString& program, const QStringList& arguments, QString* output) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, arguments);
    if (!p.waitForStarted(10000)) return -1;
    p.waitForFinished(60000);
    if (output) *output = QString::fromLocal8Bit(p.readAll());
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

int SortedInsert(std::vector<std::pair<double, int>>& entries, double x, int n) {
    auto at = std::upper_bound(entries.begin(), entries.end(), x, [](double v, const std::pair<double, int>& e) {
        return std::isnan(e.first) ? !std::isnan(v) : v < e.first;
    });
    const int index = static_cast<int>(at - entries.begin());
    entries.insert(at, {x, n});
    return index;
}

}  // namespace kavum::chart::test
