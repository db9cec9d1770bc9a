// The three vector writers: a chart made from the input (size, axis ranges,
// lines with breaks and wide or mask pens, marks of every style and size,
// a title) is drawn into an enhanced metafile, an SVG and a PDF, and each
// file is read back: every metafile record passes libUEMF's record check
// and the records end with EOF; the SVG is well-formed XML; the PDF's cross
// reference table points at its objects.
#include "chart/Chart.h"
#include "chart/ChartAxis.h"
#include "chart/ChartSeries.h"
#include "platform/Errors.h"
#include "platform/canvas/MetafileCanvas.h"
#include "platform/canvas/PdfCanvas.h"
#include "platform/canvas/SvgCanvas.h"

#include <QApplication>
#include <QByteArray>
#include <QXmlStreamReader>

#include <fuzzer/FuzzedDataProvider.h>
#include <uemf.h>
#include <uemf_safe.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

using namespace kavum;

namespace {

void Check(bool ok) {
    if (!ok) std::abort();
}

double Value(FuzzedDataProvider& in) {
    switch (in.ConsumeIntegralInRange<int>(0, 7)) {
        case 0: return in.ConsumeFloatingPoint<double>();
        case 1: return std::nan("");
        case 2: return in.ConsumeBool() ? 1e300 : -1e300;
        default: return in.ConsumeFloatingPointInRange<double>(-50.0, 4000.0);
    }
}

void BuildChart(chart::TChart& c, FuzzedDataProvider& in) {
    c.resize(in.ConsumeIntegralInRange(1, 400), in.ConsumeIntegralInRange(1, 400));
    if (in.ConsumeBool()) {
        c.Title().SetLine(0, QString::fromUtf8(in.ConsumeRandomLengthString(40).c_str()));
        c.Title().SetVisible(true);
    }
    for (chart::TCustomChartAxis* axis : {&c.BottomAxis(), &c.LeftAxis()}) {
        const double a = Value(in);
        const double b = Value(in);
        try {
            axis->SetAxisRange(a, b);
            if (in.ConsumeBool()) axis->SetIncrement(std::fabs(Value(in)));
        } catch (const platform::KavumError&) {
        }
    }
    const int seriesCount = in.ConsumeIntegralInRange(0, 4);
    for (int s = 0; s < seriesCount && in.remaining_bytes() > 0; ++s) {
        chart::TChartSeries* series = nullptr;
        if (in.ConsumeBool()) {
            chart::TLineSeries& line = c.AddLineSeries();
            line.LinePen().SetMode(in.ConsumeBool() ? platform::TPenMode::Mask : platform::TPenMode::Copy);
            line.LinePen().SetWidth(in.ConsumeIntegralInRange(0, 40));
            series = &line;
        } else {
            series = &c.AddPointSeries();
        }
        try {
            series->Pointer().SetStyle(static_cast<chart::TSeriesPointerStyle>(in.ConsumeIntegralInRange(0, 8)));
            series->Pointer().SetHorizSize(in.ConsumeIntegralInRange(0, 60));
            series->Pointer().SetVertSize(in.ConsumeIntegralInRange(0, 60));
        } catch (const platform::KavumError&) {
        }
        series->Pointer().SetVisible(in.ConsumeBool());
        const int points = in.ConsumeIntegralInRange(0, 100);
        for (int i = 0; i < points && in.remaining_bytes() > 0; ++i) {
            if (in.ConsumeIntegralInRange(0, 9) == 0) {
                series->AddNullPoint(QString());
            } else {
                series->StorePoint(Value(in), Value(in), QString(), in.ConsumeIntegral<std::uint32_t>() & 0xFFFFFF);
            }
        }
    }
}

void CheckEmf(const QByteArray& emf) {
    std::size_t off = 0;
    bool sawEof = false;
    std::vector<char> copy;
    while (off + 8 <= static_cast<std::size_t>(emf.size())) {
        U_EMR head;
        std::memcpy(&head, emf.constData() + off, sizeof head);
        Check(head.nSize >= 8 && head.nSize % 4 == 0 && off + head.nSize <= static_cast<std::size_t>(emf.size()));
        copy.assign(emf.constData() + off, emf.constData() + off + head.nSize);
        Check(U_emf_record_safe(copy.data()) != 0);
        off += head.nSize;
        if (head.iType == U_EMR_EOF) {
            sawEof = true;
            break;
        }
    }
    Check(sawEof && off == static_cast<std::size_t>(emf.size()));
}

void CheckSvg(const QByteArray& svg) {
    QXmlStreamReader xml(svg);
    int elements = 0;
    while (!xml.atEnd()) {
        if (xml.readNext() == QXmlStreamReader::StartElement) ++elements;
    }
    if (xml.hasError()) std::fprintf(stderr, "SVG: %s at %lld\n", qPrintable(xml.errorString()), static_cast<long long>(xml.characterOffset()));
    Check(!xml.hasError() && elements > 0);
}

void CheckPdf(const QByteArray& pdf) {
    Check(pdf.startsWith("%PDF-"));
    Check(pdf.trimmed().endsWith("%%EOF"));
    const qsizetype start = pdf.lastIndexOf("startxref");
    Check(start > 0);
    const qsizetype xref = pdf.mid(start + 9, 24).trimmed().split('\n').front().toLongLong();
    Check(xref > 0 && pdf.mid(xref, 4) == "xref");
    // "xref\n0 N\n" and N entries of 20 bytes; every object in use starts
    // with "k 0 obj".
    const qsizetype line = pdf.indexOf('\n', xref + 5);
    const QList<QByteArray> range = pdf.mid(xref + 5, line - xref - 5).trimmed().split(' ');
    Check(range.size() == 2);
    const int count = range[1].toInt();
    Check(count > 0);
    for (int k = 1; k < count; ++k) {
        const QByteArray entry = pdf.mid(line + 1 + 20 * k, 20);
        Check(entry.size() == 20);
        if (entry[17] != 'n') continue;
        const qsizetype at = entry.left(10).toLongLong();
        Check(pdf.mid(at, 32).startsWith(QByteArray::number(k) + " 0 obj"));
    }
}

}  // namespace

// The toolkit keeps its font and style caches for the life of the process.
extern "C" const char* __asan_default_options() { return "detect_leaks=0"; }

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    chart::TChart c;
    BuildChart(c, in);
    const int w = c.width();
    const int h = c.height();
    const platform::TRect rect{0, 0, w, h};
    try {
        platform::TMetafileCanvas emf(w, h);
        c.DrawInto(emf, rect);
        CheckEmf(emf.Finish());
        platform::TSvgCanvas svg(w, h, QStringLiteral("fuzz"));
        c.DrawInto(svg, rect);
        CheckSvg(svg.Finish());
        platform::TPdfCanvas pdf(w, h, QStringLiteral("fuzz"));
        c.DrawInto(pdf, rect);
        CheckPdf(pdf.Finish());
    } catch (const platform::KavumError&) {
        // A refusal with a message (a figure too large) is a clean outcome.
    }
    return 0;
}
