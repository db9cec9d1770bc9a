#include "render/RenderArgs.h"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace kavum::render;

TEST(RenderArgs, ReadsEveryOption) {
    auto a = ParseRenderArgs({"--settings", "k.ini", "--map", "m.mdt", "--data", "d.grd", "--precision", "12",
                              "--mesh", "3", "--layout", "2", "--prefecture", "1", "--size", "1000x700", "--fit",
                              "height", "--dump-points", "p.csv", "--dump-state", "s.txt", "out.png"});
    EXPECT_EQ(a.settings, "k.ini");
    EXPECT_EQ(a.map, "m.mdt");
    EXPECT_EQ(a.data, "d.grd");
    EXPECT_EQ(a.precision, 12);
    EXPECT_EQ(a.mesh, 3);
    EXPECT_EQ(a.layout, 2);
    EXPECT_EQ(a.prefecture, true);
    EXPECT_EQ(a.width, 1000);
    EXPECT_EQ(a.height, 700);
    EXPECT_EQ(a.fitToWidth, false);
    EXPECT_EQ(a.dumpPoints, "p.csv");
    EXPECT_EQ(a.dumpState, "s.txt");
    EXPECT_EQ(a.output, "out.png");
    auto d = ParseRenderArgs({"x.png"});
    EXPECT_EQ(d.width, 810);
    EXPECT_EQ(d.height, 559);
    EXPECT_FALSE(d.layout.has_value());
    EXPECT_TRUE(ParseRenderArgs({"--help"}).help);
}

TEST(RenderArgs, RefusesBadArguments) {
    for (QStringList bad : {QStringList{}, {"--precision", "3", "o.png"}, {"--mesh", "4", "o.png"},
                            {"--layout", "0", "o.png"}, {"--size", "10", "o.png"}, {"--size", "0x5", "o.png"},
                            {"--fit", "wide", "o.png"}, {"--bogus", "o.png"}, {"a.png", "b.png"},
                            {"--map"}, {"--prefecture", "2", "o.png"}, {"--precision", "x", "o.png"}}) {
        EXPECT_THROW(ParseRenderArgs(bad), std::invalid_argument) << bad.join(' ').toStdString();
    }
}

TEST(RenderArgs, ScaleOrResolution) {
    EXPECT_EQ(ParseRenderArgs({"o.png"}).scale, 1.0);
    EXPECT_EQ(ParseRenderArgs({"--scale", "4", "o.png"}).scale, 4.0);
    EXPECT_EQ(ParseRenderArgs({"--scale", "2.5", "o.svg"}).scale, 2.5);
    EXPECT_EQ(ParseRenderArgs({"--dpi", "600", "o.png"}).scale, 6.25);
    EXPECT_EQ(ParseRenderArgs({"--dpi", "300", "o.pdf"}).scale, 3.125);
    // Scale 1 is also fine for the metafile.
    EXPECT_EQ(ParseRenderArgs({"--scale", "1", "o.emf"}).scale, 1.0);
    for (QStringList bad : {QStringList{"--scale", "0.5", "o.png"}, {"--scale", "26", "o.png"}, {"--scale", "x", "o.png"},
                            {"--scale", "nan", "o.png"}, {"--dpi", "50", "o.png"}, {"--dpi", "2500", "o.png"},
                            {"--scale", "2", "--dpi", "300", "o.png"}, {"--scale", "2", "o.emf"},
                            {"--scale", "2", "--screen", "o.png"}}) {
        EXPECT_THROW(ParseRenderArgs(bad), std::invalid_argument) << bad.join(' ').toStdString();
    }
}
