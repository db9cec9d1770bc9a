#include "Overlays.h"

#include "platform/Cp932.h"
#include "platform/Numbers.h"

#include <cmath>

namespace kavum::map {

QString AxisLabelText(int showMode, int chart, const QString& text) {
    const bool labelled = (chart == 1 && showMode == 1) || ((chart == 2 || chart == 3) && showMode == 2);
    if (!labelled || text.endsWith(QLatin1Char('m'))) return text;
    long double v = 0;
    const QByteArray latin = text.toLatin1();
    if (!platform::TryStrToFloatExt(std::string_view(latin.constData(), static_cast<std::size_t>(latin.size())), v)) {
        return text;
    }
    if (v != std::truncl(v)) return QStringLiteral(" ");
    return QString::number(static_cast<double>(v), 'g', 17) + DegreeSign;
}

namespace {

// Minute labels for a range narrower than a whole-degree step.
std::vector<DegreeLabel> MinuteLabels(double low, double high) {
    std::vector<DegreeLabel> out;
    const double span = (high - low) * 60.0;
    if (!(span > 0) || !std::isfinite(span)) return out;
    static const int steps[] = {1, 2, 5, 10, 15, 20, 30};
    int step = 30;
    for (int s : steps) {
        if (span / s <= 6) {
            step = s;
            break;
        }
    }
    long long minute = static_cast<long long>(std::ceil(low * 60.0 / step - 1e-9)) * step;
    for (; minute <= high * 60.0 + 1e-9; minute += step) {
        const long long d = minute / 60;
        const long long m = minute % 60;
        QString text = QString::number(d) + DegreeSign;
        if (m != 0) text += QStringLiteral("%1'").arg(m, 2, 10, QLatin1Char('0'));
        out.push_back({minute / 60.0, text});
        if (out.size() > 100) break;
    }
    return out;
}

}  // namespace

std::vector<DegreeLabel> DegreeLabels(double low, double high, bool isLatitude) {
    std::vector<DegreeLabel> out;
    const double range = high - low;
    // Beyond any map (and beyond whole-number arithmetic): no labels.
    if (!std::isfinite(range) || !(range > 0) || std::fabs(low) > 1e9 || std::fabs(high) > 1e9) return out;
    long long n = static_cast<long long>(std::trunc(range));
    if (isLatitude) {
        n = std::min<long long>(n, 5);
    } else {
        n = std::max<long long>(1, std::min<long long>(n, 6));
    }
    if (n < 1) return MinuteLabels(low, high);
    long long s = static_cast<long long>(std::trunc(range / static_cast<double>(n)));
    if (isLatitude) s = std::min<long long>(s, 2);
    if (s < 1) return MinuteLabels(low, high);
    long long d = static_cast<long long>(std::trunc(0.999 + low));
    if (d % 2 != 0 && n > 3) ++d;
    for (; d <= high; d += s) out.push_back({static_cast<double>(d), QString::number(d) + DegreeSign});
    return out;
}

LegendGeometry LegendLayout(int left, int top, int textWidth, int count, double scale) {
    const auto s = [scale](int v) { return scale == 1.0 ? v : platform::RoundHalfEven(v * scale); };
    LegendGeometry g;
    g.box = QRect(QPoint(left, top), QPoint(left + textWidth + s(70) - 1, top + s(20 * count + 25) - 1));
    for (int i = 1; i <= count; ++i) {
        g.markCentres.emplace_back(left + s(20), top + s(20 * i));
        g.nameOrigins.emplace_back(left + s(40), top + s(20 * i - 8));
    }
    return g;
}

std::vector<ElevationLabel> WestEastElevationLabels(double gh1, double gh2) {
    std::vector<ElevationLabel> out;
    out.push_back({gh2, QStringLiteral("   m"), 4});
    for (double e = 1000; e <= gh2 && out.size() < 1000; e += 1000) out.push_back({e, QString::number(e, 'f', 0), -6});
    out.push_back({gh1, QStringLiteral("   0"), -6});
    if (gh2 < 1001) out.push_back({500, QStringLiteral(" 500"), -6});
    return out;
}

std::vector<ElevationLabel> SouthNorthElevationLabels(double gh2) {
    std::vector<ElevationLabel> out;
    const double k = std::isfinite(gh2) && std::fabs(gh2) < 1e15 ? std::trunc(gh2 / 1000) * 1000 : 0;
    out.push_back({k, QString::number(k, 'f', 0) + QLatin1Char('m'), -16});
    out.push_back({0, QStringLiteral("0"), -2});
    if (gh2 < 1001) out.push_back({500, QStringLiteral(" 500m"), -16});
    return out;
}

}  // namespace kavum::map
