#include "export/Composite.h"

#include <gtest/gtest.h>

using namespace kavum::exporting;

TEST(Composite, ThreeViewWorkedGeometry) {
    auto a = ThreeViewGeometry(1.2, 50, 50);
    EXPECT_EQ(a.size, QSize(1040, 1200));
    EXPECT_EQ(a.southNorth, (Box{0, 240, 240, 1200}));
    EXPECT_EQ(a.map, (Box{240, 240, 1040, 1200}));
    EXPECT_EQ(a.westEast, (Box{240, 19, 1040, 259}));
    EXPECT_EQ(a.legendLeft, 302);
    EXPECT_EQ(a.legendTop, 302);
    auto b = ThreeViewGeometry(0.75, 50, 50);
    EXPECT_EQ(b.size, QSize(1000, 800));
    EXPECT_EQ(b.westEast, (Box{200, 12, 1000, 212}));
    auto square = ThreeViewGeometry(1.0, 0, 0);
    EXPECT_EQ(square.size, QSize(1000, 1000));
    EXPECT_EQ(square.westEast.top, 16);
    auto tall = ThreeViewGeometry(2.0, 0, 0);
    EXPECT_EQ(tall.size, QSize(1200, 2000));
    EXPECT_EQ(tall.southNorth.right, 400);
    EXPECT_EQ(tall.westEast.top, 32);
}

TEST(Composite, TwoProfileWorkedGeometry) {
    auto a = TwoProfileGeometry(1.2);
    EXPECT_EQ(a.size, QSize(800, 600));
    EXPECT_EQ(a.westEast, (Box{0, 0, 666, 299}));
    EXPECT_EQ(a.southNorth, (Box{0, 299, 799, 599}));
    auto b = TwoProfileGeometry(0.75);
    EXPECT_EQ(b.westEast, (Box{0, 0, 799, 299}));
    EXPECT_EQ(b.southNorth, (Box{0, 299, 599, 599}));
    auto c = TwoProfileGeometry(1.0);
    EXPECT_EQ(c.westEast.right, 799);
    EXPECT_EQ(c.southNorth.right, 799);
    EXPECT_EQ(ClipboardTwoProfileGeometry().southNorth, (Box{0, 800, 1199, 1599}));
}

TEST(Composite, ProposedNames) {
    EXPECT_EQ(ProposedFigureName("/data/Noname.grd", 1), "Noname-H.emf");
    EXPECT_EQ(ProposedFigureName("/data/Noname.grd", 2), "Noname-V.emf");
    EXPECT_EQ(ProposedFigureName("C/x/alps.survey.csv", 3), "alps.survey-3D.emf");
    EXPECT_EQ(ProposedFigureName("", 3), "-3D.emf");
    EXPECT_EQ(ProposedFigureName("/data/Noname.grd", 0), "Noname");
    EXPECT_EQ(ProposedFigureName("/data/Noname.grd", 3, "svg"), "Noname-3D.svg");
}
