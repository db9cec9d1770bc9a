#include "plot/PlotPass.h"
#include "platform/Cp932.h"
#include "platform/Errors.h"

#include <gtest/gtest.h>

#include <sstream>
#include <vector>

using namespace kavum::plot;
using kavum::platform::Utf8ToCp932;

namespace {

struct Lines : PlotText {
    std::vector<std::string> lines;
    explicit Lines(std::initializer_list<const char*> utf8) {
        for (const char* l : utf8) lines.push_back(Utf8ToCp932(l));
    }
    std::size_t LineCount() const override { return lines.size(); }
    std::string Line(std::size_t i) const override { return lines[i]; }
    void ReplaceLine(std::size_t i, const std::string& t) override { lines[i] = t; }
};

struct Target : PlotTarget {
    std::vector<std::string> log;
    void ActivateCategory(int k) override { log.push_back("on" + std::to_string(k)); }
    void AddPoint(View v, int k, double x, double y) override {
        std::ostringstream o;
        o.precision(9);
        o << "HWS"[static_cast<int>(v) - 1] << k << "(" << x << "," << y << ")";
        log.push_back(o.str());
    }
    std::string Joined() const {
        std::string r;
        for (const auto& e : log) r += (r.empty() ? "" : " ") + e;
        return r;
    }
};

}  // namespace

TEST(PlotPass, RecordGoesToAllThreeViews) {
    Lines text{"; survey", "ブナ", "53394611.12", "533946114 ; half", "35.40205,139.4610,850", "ミズナラ", "5339462"};
    Target t;
    LegendNameArray names;
    EXPECT_EQ(PlotOnMap(text, {}, names, t), 2);
    EXPECT_EQ(t.Joined(),
              "on1 H1(139.768753,35.6791649) W1(139.768753,1250) S1(1250,35.6791649) "
              "H1(139.768753,35.6791649) W1(139.768753,8888) S1(8888,35.6791649) "
              "H1(139.768753,35.6708336) W1(139.768753,850) S1(850,35.6708336) on2");
    EXPECT_EQ(names[1], Utf8ToCp932("ブナ"));
    EXPECT_EQ(names[2], Utf8ToCp932("ミズナラ"));
}

TEST(PlotPass, SwitchesAndElevations) {
    Lines text{"A", "35.40205,139.4610,-1", "35.40205,139.4610,200"};
    Target t;
    LegendNameArray names;
    PlotOptions profilesOnly;
    profilesOnly.precision = kavum::geo::PointPrecision::LatLon;
    profilesOnly.horizonMap = false;
    PlotOnMap(text, profilesOnly, names, t);
    // A negative elevation reaches no profile; without the map the south-north profile lies down.
    EXPECT_EQ(t.Joined(), "on1 W1(139.76944,200) S1(35.6723595,200)");
}

TEST(PlotPass, TenthHeadingEndsThePassAndEarlyRecordsAreSkipped) {
    Lines text{"53394611", "1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "53394611"};
    Target t;
    LegendNameArray names;
    int count = -1;
    EXPECT_EQ(PlotOnMap(text, {}, names, t, &count), 9);
    EXPECT_EQ(count, 9);
    EXPECT_EQ(t.log.size(), 9u);  // nine activations and no point
    EXPECT_EQ(names[9], "9");
}

TEST(PlotPass, ReplotWritesNamesBack) {
    Lines text{"Mark1 ;note", "53394611", "Other"};
    Target t;
    LegendNameArray names;
    names[1] = "Fagus";
    names[2] = "Quercus";
    PlotOptions replot;
    replot.captureNames = false;
    PlotOnMap(text, replot, names, t);
    EXPECT_EQ(text.lines[0], "Fagus");
    EXPECT_EQ(text.lines[2], "Quercus");
    // Headings of categories without a known name keep their text.
    Lines typed{"Mark1", "New species", "53394611"};
    replot.replaceUpTo = 1;
    PlotOnMap(typed, replot, names, t);
    EXPECT_EQ(typed.lines[0], "Fagus");
    EXPECT_EQ(typed.lines[1], "New species");
    EXPECT_EQ(names[2], "New species");
    // Capture keeps the blank before the comment.
    PlotOnMap(text = Lines{"Mark1 ;note"}, {}, names, t);
    EXPECT_EQ(names[1], "Mark1 ");
}

TEST(PlotPass, ConversionErrorStopsAtItsLine) {
    Lines text{"A", "53394611", "B", "35.x0,139.00", "53394611"};
    Target t;
    LegendNameArray names;
    int count = 0;
    EXPECT_THROW(PlotOnMap(text, {}, names, t, &count), kavum::platform::ConversionError);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(t.log.size(), 5u);  // on1, three points, on2
}

#include "plot/MarkEditor.h"

TEST(Marks, SizeListSymbolsAndStyles) {
    EXPECT_EQ(SizeItemIndex(1), 0);
    EXPECT_EQ(SizeItemIndex(20), 10);
    EXPECT_FALSE(SizeItemIndex(7).has_value());
    EXPECT_EQ(StyleOfSymbol(QStringLiteral("＋")), 5);
    EXPECT_EQ(StyleOfSymbol(QStringLiteral("■")), 9);
    EXPECT_FALSE(StyleOfSymbol(QStringLiteral("x")).has_value());
    EXPECT_EQ(kavum::platform::QStringToCp932(MarkSymbolTexts().join(QString())),
              "\x81\xA0\x81\x9B\x81\xA2\x81\xA4\x81\x7B\x81\x7E\x81\x96\x81\x9E\x81\xA1");
    EXPECT_EQ(DrawnStyle(0), 1);
    EXPECT_EQ(DrawnStyle(12), 1);
    EXPECT_EQ(DrawnStyle(7), 7);
}

TEST(PlotReport, EverySilentCaseIsNamedWithItsLine) {
    Lines text{"53394611",                 // 1: above the first heading
               "ブナ",
               "44.2148,141.4200,100",     // 3: on a cell boundary, drawn
               "35.36083,138.7275,3776",   // 4: decimal degrees
               "5.53750131E8",             // 5: exponent form, recovered
               "5.33946115E4",             // 6: exponent form, digits lost
               "53394611,12",              // 7: a mesh code with a comma
               "-35.30,139.30",            // 8: outside the mesh area
               "5339462",                  // 9: too coarse for the standard mesh
               "2", "3", "4", "5", "6", "7", "8", "9",
               "第十",                     // 18: a tenth heading
               "53394611", "35.30,139.30"};
    Target target;
    LegendNameArray names;
    PlotReport report;
    PlotOptions options;
    PlotOnMap(text, options, names, target, nullptr, &report);
    using kavum::data::LineNotice;
    EXPECT_EQ(report.Of(LineNotice::LooksDecimal).lines, (std::vector<std::size_t>{3}));
    EXPECT_EQ(report.Of(LineNotice::ExponentCode).lines, (std::vector<std::size_t>{4}));
    EXPECT_EQ(report.Of(LineNotice::ExponentCodeInexact).lines, (std::vector<std::size_t>{5}));
    EXPECT_EQ(report.Of(LineNotice::MeshCodeWithComma).lines, (std::vector<std::size_t>{6}));
    EXPECT_EQ(report.Of(LineNotice::OutsideMeshArea).lines, (std::vector<std::size_t>{7}));
    EXPECT_EQ(report.TenthHeadingLine(), 17u);
    EXPECT_EQ(report.accepted, 3u);
    EXPECT_EQ(report.notAccepted, 1u);
    EXPECT_EQ(report.beforeHeading, 1u);
    EXPECT_EQ(report.afterNinth, 2u);
    EXPECT_EQ(report.Skipped(), 1u + 3u + 1u + 2u);
    // The boundary point lies in the cell to its east; the recovered code
    // is drawn at its cell.
    EXPECT_NE(target.Joined().find("H1(141.706253,44.3624992)"), std::string::npos) << target.Joined();
    EXPECT_NE(target.Joined().find("H1(137.043747,37.0958328)"), std::string::npos) << target.Joined();
    const std::vector<std::string> messages = report.LineMessages("a.grd");
    ASSERT_EQ(messages.size(), 6u);
    EXPECT_EQ(messages[0].rfind("a.grd:4: ", 0), 0u);
    EXPECT_NE(messages[5].find("10 番目以降の分類は描かれません"), std::string::npos);
    const std::string window = report.WindowMessage();
    EXPECT_NE(window.find("（4 行目）"), std::string::npos) << window;
    EXPECT_NE(window.find("描かなかったレコード 7 件"), std::string::npos) << window;
}

TEST(PlotReport, KeepsTheFirstLinesAndCountsTheRest) {
    PlotReport report;
    for (std::size_t i = 0; i < PlotReport::KeptLines + 5; ++i) report.Note(kavum::data::LineNotice::LooksDecimal, i);
    EXPECT_EQ(report.Of(kavum::data::LineNotice::LooksDecimal).count, PlotReport::KeptLines + 5);
    const std::vector<std::string> messages = report.LineMessages("f");
    ASSERT_EQ(messages.size(), PlotReport::KeptLines + 1);
    EXPECT_EQ(messages.back().rfind("f: ほかに 5 行: ", 0), 0u);
    EXPECT_NE(report.WindowMessage().find("1, 2, 3, 4, 5 ほか"), std::string::npos);
    // Records merely too coarse for the precision are counted, not warned of.
    PlotReport coarse;
    coarse.NoteNotAccepted();
    EXPECT_FALSE(coarse.HasWarnings());
    EXPECT_TRUE(coarse.WindowMessage().empty());
    EXPECT_EQ(coarse.Skipped(), 1u);
}
