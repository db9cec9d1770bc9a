#pragma once
// Japanese standard regional mesh codes, the point precisions at which
// records are drawn and the kinds of mesh lines.
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace kavum::geo {

enum class PointPrecision : int { LatLon = 0, StandardMesh = 1, DoubleMesh = 2, FivefoldMesh = 5, SecondMesh = 10, HalfMesh = 12 };
enum class MeshLineKind : int { MeshLineNone = 0, MeshLineFirst = 1, MeshLineSecond = 2, MeshLineStandard = 3 };
struct GeoPoint { long double latitude; long double longitude; };

// nullopt: not accepted. Throws the conversion errors of a bad digit.
std::optional<GeoPoint> MeshCodeToPoint(std::string_view code, PointPrecision precision);
// nullopt: the snapping failed (an angle beyond the integer conversions).
std::optional<GeoPoint> SnapToCell(long double latitude, long double longitude, PointPrecision precision);
// The same cells for a position given exactly in tenths of a second (see
// StrToTenths): a point on a cell boundary always lies in the cell to its
// north and east. For LatLon the position is returned as it is.
GeoPoint SnapTenthsToCell(long long latTenths, long long lonTenths, PointPrecision precision);
// Whether a position in tenths of a second lies where the mesh codes reach:
// latitude 0 to 66°40′, longitude 100° to 180° (the upper ends excluded).
bool InMeshArea(long long latTenths, long long lonTenths);
std::string PointToMeshCode(double latitude, double longitude);

// What each precision means. Texts are UTF-8.
struct PrecisionInfo {
    PointPrecision precision;
    int cellsPerDegreeLat;   // 0 for LatLon
    int cellsPerDegreeLon;
    const char* boardCaption;   // radio button on the settings board
    const char* boardButton;    // its control name
    const char* menuCaption;    // item of the precision menu
    const char* menuItem;       // its control name
    const char* statusLabel;    // status bar panel
    long double HalfCellLat() const { return cellsPerDegreeLat ? 1.0L / (2 * cellsPerDegreeLat) : 0.0L; }
    long double HalfCellLon() const { return cellsPerDegreeLon ? 1.0L / (2 * cellsPerDegreeLon) : 0.0L; }
};
std::span<const PrecisionInfo> Precisions();   // in menu order: 1/2, standard, double, fivefold, second, lat/lon
const PrecisionInfo* FindPrecision(int value);  // nullptr for a value outside the list

struct MeshLineInfo {
    MeshLineKind kind;
    const char* boardCaption;
    const char* boardButton;
};
std::span<const MeshLineInfo> MeshLineKinds();
const MeshLineInfo* FindMeshLineKind(int value);

}  // namespace kavum::geo
