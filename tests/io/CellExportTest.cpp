#include "io/CellExport.h"

#include "data/DataText.h"
#include "platform/Cp932.h"

#include <QByteArray>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

using namespace kavum;

namespace {

data::DataText Text(const std::vector<std::string>& utf8) {
    std::vector<std::string> lines;
    for (const auto& l : utf8) lines.push_back(platform::Utf8ToCp932(l));
    data::DataText t;
    t.SetLines(lines);
    return t;
}

std::string Shell(const std::string& command) {
    std::string out;
    FILE* p = popen(command.c_str(), "r");
    if (!p) return out;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, p)) > 0) out.append(buffer, n);
    pclose(p);
    return out;
}

bool HaveOgrinfo() { return std::system("ogrinfo --version >/dev/null 2>&1") == 0; }

}  // namespace

TEST(CellMeshCode, CodesOfEachPrecision) {
    // The centre of standard cell 53394611 and finer cells in it.
    const long double lat = 35.679167L, lon = 139.76875L;
    EXPECT_EQ(io::CellMeshCode(lat, lon, geo::PointPrecision::StandardMesh), "53394611");
    EXPECT_EQ(io::CellMeshCode(lat, lon, geo::PointPrecision::SecondMesh), "533946");
    EXPECT_EQ(io::CellMeshCode(35.6875L, 139.78125L, geo::PointPrecision::FivefoldMesh), "5339461");
    EXPECT_EQ(io::CellMeshCode(35.675L, 139.7625L, geo::PointPrecision::DoubleMesh), "533946005");
    EXPECT_EQ(io::CellMeshCode(35.6770833L, 139.7671875L, geo::PointPrecision::HalfMesh), "533946111");
    EXPECT_EQ(io::CellMeshCode(35.68125L, 139.7703125L, geo::PointPrecision::HalfMesh), "533946114");
}

TEST(CollectCells, OneCellPerCategoryAndCell) {
    const auto text = Text({"35.40205,139.4610,850", "ブナ", "53394611.12", "533946114", "35.40205,139.4610,850",
                            "ミズナラ", "53394611.03", "5339462"});
    const io::CellSet set = io::CollectCells(text, geo::PointPrecision::StandardMesh);
    ASSERT_EQ(set.names.size(), 2u);
    EXPECT_EQ(set.names[0], "ブナ");
    EXPECT_EQ(set.records, 4u);   // the line above the heading and the fivefold code are not plotted
    ASSERT_EQ(set.cells.size(), 3u);
    EXPECT_EQ(set.cells[0].category, 1);
    EXPECT_EQ(set.cells[0].records, 1u);   // 35.670833 N, south of the other
    EXPECT_EQ(set.cells[0].meshCode, "53394601");
    EXPECT_EQ(*set.cells[0].maxElevation, 850);
    EXPECT_EQ(*set.cells[2].minElevation, 350);
    // 1250 and 850 in one cell, the 533946114 record has none.
    const io::Cell& both = set.cells[0].records == 2 ? set.cells[0] : set.cells[1];
    EXPECT_EQ(both.meshCode, "53394611");
    EXPECT_EQ(*both.minElevation, 1250);
    EXPECT_EQ(*both.maxElevation, 1250);
    // At second-mesh precision the mesh-code and latitude/longitude records
    // of one cell are one feature, though their centres are reached by
    // different arithmetic.
    const io::CellSet second = io::CollectCells(text, geo::PointPrecision::SecondMesh);
    ASSERT_EQ(second.cells.size(), 2u);
    EXPECT_EQ(second.cells[0].records, 3u);
    EXPECT_EQ(second.cells[0].meshCode, "533946");
    EXPECT_EQ(*second.cells[0].minElevation, 850);
    EXPECT_EQ(*second.cells[0].maxElevation, 1250);
    // A line that does not convert stops the pass, as in the drawing.
    const io::CellSet stopped = io::CollectCells(Text({"ブナ", "53394611", "35.x,139.1", "53394612"}),
                                                 geo::PointPrecision::StandardMesh);
    EXPECT_EQ(stopped.records, 1u);
    ASSERT_TRUE(stopped.stoppedAtLine);
    EXPECT_EQ(*stopped.stoppedAtLine, 2u);
}

TEST(WriteCells, GeoJsonAndGeoPackageOpenInGdal) {
    QTemporaryDir dir;
    const auto text = Text({"ブナ", "53394611.12", "53394612", "53394612.05", "ミズナラ", "53394611"});
    const io::CellSet set = io::CollectCells(text, geo::PointPrecision::StandardMesh);
    const std::string json = dir.filePath("cells.geojson").toStdString();
    const std::string gpkg = dir.filePath("cells.gpkg").toStdString();
    io::WriteCells(set, json);
    io::WriteCells(set, gpkg);
    EXPECT_THROW(io::WriteCells(set, dir.filePath("cells.shp").toStdString()), std::exception);

    QFile file(QString::fromStdString(json));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QJsonObject root = QJsonDocument::fromJson(file.readAll()).object();
    const QJsonArray features = root.value("features").toArray();
    ASSERT_EQ(features.size(), 3);
    const QJsonObject first = features[0].toObject();
    const QJsonArray ring = first["geometry"].toObject()["coordinates"].toArray()[0].toArray();
    ASSERT_EQ(ring.size(), 5);
    // Longitude first; the cell of 53394611 is 139.7625..139.775, 35.675..35.683.
    EXPECT_DOUBLE_EQ(ring[0].toArray()[0].toDouble(), 139.7625);
    EXPECT_NEAR(ring[0].toArray()[1].toDouble(), 35.675, 1e-12);
    EXPECT_EQ(first["properties"].toObject()["name"].toString(), QStringLiteral("ブナ"));
    EXPECT_EQ(first["properties"].toObject()["records"].toInt(), 1);

    if (!HaveOgrinfo()) GTEST_SKIP() << "ogrinfo is not installed";
    for (const std::string& path : {json, gpkg}) {
        const std::string info = Shell("ogrinfo -ro -al -so '" + path + "' 2>&1");
        EXPECT_NE(info.find("Feature Count: 3"), std::string::npos) << info;
        EXPECT_NE(info.find("Polygon"), std::string::npos) << info;
        EXPECT_NE(info.find("mesh_code"), std::string::npos) << info;
    }
    const std::string gpkgInfo = Shell("ogrinfo -ro -al -so '" + gpkg + "' 2>&1");
    EXPECT_NE(gpkgInfo.find("4326"), std::string::npos) << gpkgInfo;
    EXPECT_EQ(gpkgInfo.find("ERROR"), std::string::npos) << gpkgInfo;
    EXPECT_EQ(gpkgInfo.find("Warning"), std::string::npos) << gpkgInfo;
    // Points at latitude/longitude precision.
    const io::CellSet points = io::CollectCells(Text({"a", "35.2138,138.4338,3776", "35.2138,138.4338", "43.1,141.2"}),
                                                geo::PointPrecision::LatLon);
    ASSERT_EQ(points.cells.size(), 2u);
    io::WriteCells(points, gpkg);
    const std::string pointInfo = Shell("ogrinfo -ro -al '" + gpkg + "' 2>&1");
    EXPECT_NE(pointInfo.find("Feature Count: 2"), std::string::npos) << pointInfo;
    EXPECT_NE(pointInfo.find("POINT (138.7"), std::string::npos) << pointInfo;
    EXPECT_NE(pointInfo.find("max_elevation (Real) = 3776"), std::string::npos) << pointInfo;
}
