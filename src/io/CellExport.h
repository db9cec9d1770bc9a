#pragma once
// The plotted records as cells for GIS programs: one feature per category
// and occupied cell of the point precision (a point per position at
// latitude/longitude precision), written as GeoJSON or as a GeoPackage.
#include "geo/MeshCode.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace kavum::data { class DataText; }

namespace kavum::io {

struct Cell {
    int category = 0;          // 1..9
    long double latitude = 0;  // cell centre (or the position at LatLon)
    long double longitude = 0;
    std::size_t records = 0;
    std::optional<double> minElevation, maxElevation;   // metres, as plotted
    std::string meshCode;      // the code of the cell (standard code of the point at LatLon)
};

struct CellSet {
    geo::PointPrecision precision = geo::PointPrecision::StandardMesh;
    std::vector<std::string> names;    // UTF-8 names of categories 1..n (index 0 is category 1)
    std::vector<Cell> cells;           // by category, then south to north, west to east
    std::size_t records = 0;
    std::optional<std::size_t> stoppedAtLine;   // 0-based line that did not convert (the pass stops there)
};

// Reads the data text as the plotting pass does (records above the first
// heading and after the ninth category are not plotted).
CellSet CollectCells(const data::DataText& text, geo::PointPrecision precision);

// The mesh code of the cell of the precision that holds the point.
std::string CellMeshCode(long double latitude, long double longitude, geo::PointPrecision precision);

// Both write the file whole or not at all; they throw FileError.
void WriteGeoJson(const CellSet& cells, const std::string& path);
void WriteGeoPackage(const CellSet& cells, const std::string& path);
// By the extension: .geojson / .json or .gpkg; throws KavumError for another.
void WriteCells(const CellSet& cells, const std::string& path);

}  // namespace kavum::io
