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
