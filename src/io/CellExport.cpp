#include "CellExport.h"

#include "data/DataText.h"
#include "data/RecordLine.h"
#include "platform/Cp932.h"
#include "platform/Errors.h"
#include "platform/Profile.h"

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <unistd.h>

namespace kavum::io {

namespace {

struct Plotted {
    int category;
    long double latitude, longitude;
    double elevation;   // as plotted (single precision); NaN for none
    // The cell as whole rows and columns of the precision: a mesh-code
    // record and a latitude/longitude record of one cell get centres that
    // may differ in their last bits.
    std::int64_t row, column;
};

bool EndsWith(const std::string& s, const char* tail) {
    const std::size_t n = std::strlen(tail);
    if (s.size() < n) return false;
    for (std::size_t i = 0; i < n; ++i) {
        char c = s[s.size() - n + i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != tail[i]) return false;
    }
    return true;
}

// Corners of the cell (west, south, east, north).
struct Box { double west, south, east, north; };

Box CellBox(const CellSet& set, const Cell& c) {
    const geo::PrecisionInfo* info = geo::FindPrecision(static_cast<int>(set.precision));
    const long double hy = info ? info->HalfCellLat() : 0.0L;
    const long double hx = info ? info->HalfCellLon() : 0.0L;
    return {static_cast<double>(c.longitude - hx), static_cast<double>(c.latitude - hy),
            static_cast<double>(c.longitude + hx), static_cast<double>(c.latitude + hy)};
}

bool IsPoints(const CellSet& set) { return set.precision == geo::PointPrecision::LatLon; }

}  // namespace

std::string CellMeshCode(long double latitude, long double longitude, geo::PointPrecision precision) {
    // Tenths of a second from the south-west corner of the mesh system; a
    // cell centre is never near a boundary, so rounding is safe there.
    const auto y = static_cast<std::int64_t>(std::floor(latitude * 36000.0L + 1e-6L));
    const auto x = static_cast<std::int64_t>(std::floor((longitude - 100.0L) * 36000.0L + 1e-6L));
    if (y < 0 || x < 0 || y >= 100 * 24000 || x >= 100 * 36000) return {};
    const std::int64_t y1 = y / 24000, x1 = x / 36000;
    const std::int64_t yr = y % 24000, xr = x % 36000;
    const std::int64_t y2 = yr / 3000, x2 = xr / 4500;
    const std::int64_t y3 = yr % 3000 / 300, x3 = xr % 4500 / 450;
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%02lld%02lld%lld%lld", static_cast<long long>(y1), static_cast<long long>(x1),
                  static_cast<long long>(y2), static_cast<long long>(x2));
    std::string code = buffer;
    switch (precision) {
    case geo::PointPrecision::SecondMesh:
        return code;
    case geo::PointPrecision::FivefoldMesh:
        return code + std::to_string(1 + (xr % 4500 >= 2250 ? 1 : 0) + (yr % 3000 >= 1500 ? 2 : 0));
    case geo::PointPrecision::DoubleMesh:
        return code + std::to_string(y3 / 2 * 2) + std::to_string(x3 / 2 * 2) + "5";
    case geo::PointPrecision::HalfMesh:
        return code + std::to_string(y3) + std::to_string(x3) +
               std::to_string(1 + (xr % 450 >= 225 ? 1 : 0) + (yr % 300 >= 150 ? 2 : 0));
    default:
        return code + std::to_string(y3) + std::to_string(x3);
    }
}

CellSet CollectCells(const data::DataText& text, geo::PointPrecision precision) {
    CellSet set;
    set.precision = precision;
    std::vector<Plotted> plotted;
    int count = 0;
    const geo::PrecisionInfo* info = geo::FindPrecision(static_cast<int>(precision));
    const long double perLat = info ? static_cast<long double>(info->cellsPerDegreeLat) : 0.0L;
    const long double perLon = info ? static_cast<long double>(info->cellsPerDegreeLon) : 0.0L;
    const bool byCell = precision != geo::PointPrecision::LatLon && perLat > 0 && perLon > 0;
    const std::size_t lines = text.LineCount();
    for (std::size_t i = 0; i < lines; ++i) {
        data::ParsedLine parsed;
        try {
            parsed = data::ParseRecordLine(text.Line(i), precision);
        } catch (const platform::ConversionError&) {
            set.stoppedAtLine = i;
            break;
        }
        if (parsed.kind == data::ParsedLine::Kind::Heading) {
            if (count == 9) break;
            ++count;
            set.names.push_back(platform::Cp932ToDisplay(parsed.name));
        } else if (parsed.kind == data::ParsedLine::Kind::Record && count > 0) {
            const float e = static_cast<float>(parsed.record.Elevation);
            const bool none = parsed.record.Elevation == data::NoElevation;
            const long double lat = parsed.record.Latitude, lon = parsed.record.Longitude;
            const std::int64_t row = byCell ? static_cast<std::int64_t>(std::floor(lat * perLat)) : 0;
            const std::int64_t column = byCell ? static_cast<std::int64_t>(std::floor(lon * perLon)) : 0;
            plotted.push_back({count, lat, lon, none ? std::nan("") : static_cast<double>(e), row, column});
        }
    }
    set.records = plotted.size();
    std::sort(plotted.begin(), plotted.end(), [](const Plotted& a, const Plotted& b) {
        if (a.category != b.category) return a.category < b.category;
        if (a.row != b.row) return a.row < b.row;
        if (a.column != b.column) return a.column < b.column;
        if (a.latitude != b.latitude) return a.latitude < b.latitude;
        return a.longitude < b.longitude;
    });
    const Plotted* last = nullptr;
    for (const Plotted& p : plotted) {
        const bool same = last && last->category == p.category &&
                          (byCell ? last->row == p.row && last->column == p.column
                                  : last->latitude == p.latitude && last->longitude == p.longitude);
        last = &p;
        if (!same) {
            Cell c;
            c.category = p.category;
            c.latitude = p.latitude;
            c.longitude = p.longitude;
            c.meshCode = CellMeshCode(p.latitude, p.longitude,
                                      precision == geo::PointPrecision::LatLon ? geo::PointPrecision::StandardMesh : precision);
            set.cells.push_back(std::move(c));
        }
        Cell& c = set.cells.back();
        ++c.records;
        if (!std::isnan(p.elevation)) {
            c.minElevation = c.minElevation ? std::min(*c.minElevation, p.elevation) : p.elevation;
            c.maxElevation = c.maxElevation ? std::max(*c.maxElevation, p.elevation) : p.elevation;
        }
    }
    return set;
}

// ------------------------------------------------------------------ GeoJSON

void WriteGeoJson(const CellSet& set, const std::string& path) {
    QJsonArray features;
    for (const Cell& c : set.cells) {
        QJsonObject geometry;
        if (IsPoints(set)) {
            geometry.insert(QStringLiteral("type"), QStringLiteral("Point"));
            geometry.insert(QStringLiteral("coordinates"),
                            QJsonArray{static_cast<double>(c.longitude), static_cast<double>(c.latitude)});
        } else {
            const Box b = CellBox(set, c);
            // Outer ring counter-clockwise, closed.
            const QJsonArray ring{QJsonArray{b.west, b.south}, QJsonArray{b.east, b.south}, QJsonArray{b.east, b.north},
                                  QJsonArray{b.west, b.north}, QJsonArray{b.west, b.south}};
            geometry.insert(QStringLiteral("type"), QStringLiteral("Polygon"));
            geometry.insert(QStringLiteral("coordinates"), QJsonArray{ring});
        }
        QJsonObject properties;
        properties.insert(QStringLiteral("category"), c.category);
        properties.insert(QStringLiteral("name"),
                          QString::fromStdString(set.names[static_cast<std::size_t>(c.category - 1)]));
        properties.insert(QStringLiteral("mesh_code"), QString::fromStdString(c.meshCode));
        properties.insert(QStringLiteral("records"), static_cast<qint64>(c.records));
        properties.insert(QStringLiteral("min_elevation"), c.minElevation ? QJsonValue(*c.minElevation) : QJsonValue());
        properties.insert(QStringLiteral("max_elevation"), c.maxElevation ? QJsonValue(*c.maxElevation) : QJsonValue());
        QJsonObject feature;
        feature.insert(QStringLiteral("type"), QStringLiteral("Feature"));
        feature.insert(QStringLiteral("geometry"), geometry);
        feature.insert(QStringLiteral("properties"), properties);
        features.append(feature);
    }
    QJsonObject root;
    root.insert(QStringLiteral("type"), QStringLiteral("FeatureCollection"));
    root.insert(QStringLiteral("features"), features);
    const QByteArray bytes = QJsonDocument(root).toJson(QJsonDocument::Compact);
    if (!platform::WriteFileAtomically(path, std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())))) {
        throw platform::FileError(path + " に書き込めません");
    }
}

// ------------------------------------------------------------------ GeoPackage

namespace {

class Database {
public:
    explicit Database(const std::string& path) : path_(path) {
        if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK) Fail();
    }
    ~Database() {
        if (db_) sqlite3_close(db_);
    }
    void Exec(const char* sql) {
        if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) != SQLITE_OK) Fail();
    }
    [[noreturn]] void Fail() {
        const std::string why = db_ ? sqlite3_errmsg(db_) : "out of memory";
        throw platform::FileError(path_ + " に書き込めません (" + why + ")");
    }
    sqlite3* Handle() { return db_; }
    void Close() {
        if (sqlite3_close(db_) != SQLITE_OK) Fail();
        db_ = nullptr;
    }

private:
    std::string path_;
    sqlite3* db_ = nullptr;
};

class Statement {
public:
    Statement(Database& db, const char* sql) : db_(db) {
        if (sqlite3_prepare_v2(db.Handle(), sql, -1, &st_, nullptr) != SQLITE_OK) db.Fail();
    }
    ~Statement() { sqlite3_finalize(st_); }
    sqlite3_stmt* operator*() { return st_; }
    void Step() {
        if (sqlite3_step(st_) != SQLITE_DONE) db_.Fail();
        sqlite3_reset(st_);
        sqlite3_clear_bindings(st_);
    }

private:
    Database& db_;
    sqlite3_stmt* st_ = nullptr;
};

void PutU32(std::string& b, std::uint32_t v) { b.append(reinterpret_cast<const char*>(&v), 4); }
void PutF64(std::string& b, double v) { b.append(reinterpret_cast<const char*>(&v), 8); }

constexpr int Srs = 4326;

// GeoPackage geometry: header "GP", version 0, flags (little endian, an
// envelope [minx, maxx, miny, maxy] for polygons), the SRS id, then WKB.
void Geometry(std::string& b, const CellSet& set, const Cell& c) {
    static_assert(std::endian::native == std::endian::little);
    b.clear();
    b += "GP";
    b += '\0';
    const bool points = IsPoints(set);
    b += static_cast<char>(points ? 0x01 : 0x03);
    PutU32(b, Srs);
    if (points) {
        b += '\x01';
        PutU32(b, 1);
        PutF64(b, static_cast<double>(c.longitude));
        PutF64(b, static_cast<double>(c.latitude));
        return;
    }
    const Box box = CellBox(set, c);
    PutF64(b, box.west);
    PutF64(b, box.east);
    PutF64(b, box.south);
    PutF64(b, box.north);
    b += '\x01';
    PutU32(b, 3);
    PutU32(b, 1);
    PutU32(b, 5);
    const double ring[5][2] = {{box.west, box.south}, {box.east, box.south}, {box.east, box.north}, {box.west, box.north},
                               {box.west, box.south}};
    for (const auto& p : ring) {
        PutF64(b, p[0]);
        PutF64(b, p[1]);
    }
}

}  // namespace

void WriteGeoPackage(const CellSet& set, const std::string& path) {
    const std::string temporary = path + ".part";
    ::unlink(temporary.c_str());
    try {
        Database db(temporary);
        db.Exec("PRAGMA application_id = 1196444487;"   // "GPKG"
                "PRAGMA user_version = 10200;"
                "PRAGMA journal_mode = OFF;"
                "PRAGMA synchronous = OFF;"
                "BEGIN;"
                "CREATE TABLE gpkg_spatial_ref_sys (srs_name TEXT NOT NULL, srs_id INTEGER NOT NULL PRIMARY KEY,"
                " organization TEXT NOT NULL, organization_coordsys_id INTEGER NOT NULL, definition TEXT NOT NULL,"
                " description TEXT);"
                "INSERT INTO gpkg_spatial_ref_sys VALUES ('Undefined cartesian SRS', -1, 'NONE', -1, 'undefined',"
                " 'undefined cartesian coordinate reference system');"
                "INSERT INTO gpkg_spatial_ref_sys VALUES ('Undefined geographic SRS', 0, 'NONE', 0, 'undefined',"
                " 'undefined geographic coordinate reference system');"
                "INSERT INTO gpkg_spatial_ref_sys VALUES ('WGS 84 geodetic', 4326, 'EPSG', 4326,"
                " 'GEOGCS[\"WGS 84\",DATUM[\"WGS_1984\",SPHEROID[\"WGS 84\",6378137,298.257223563,"
                "AUTHORITY[\"EPSG\",\"7030\"]],AUTHORITY[\"EPSG\",\"6326\"]],PRIMEM[\"Greenwich\",0,"
                "AUTHORITY[\"EPSG\",\"8901\"]],UNIT[\"degree\",0.0174532925199433,AUTHORITY[\"EPSG\",\"9122\"]],"
                "AXIS[\"Latitude\",NORTH],AXIS[\"Longitude\",EAST],AUTHORITY[\"EPSG\",\"4326\"]]',"
                " 'longitude/latitude coordinates in decimal degrees on the WGS 84 spheroid');"
                "CREATE TABLE gpkg_contents (table_name TEXT NOT NULL PRIMARY KEY, data_type TEXT NOT NULL,"
                " identifier TEXT UNIQUE, description TEXT DEFAULT '',"
                " last_change DATETIME NOT NULL DEFAULT (strftime('%Y-%m-%dT%H:%M:%fZ','now')),"
                " min_x DOUBLE, min_y DOUBLE, max_x DOUBLE, max_y DOUBLE, srs_id INTEGER,"
                " CONSTRAINT fk_gc_r_srs_id FOREIGN KEY (srs_id) REFERENCES gpkg_spatial_ref_sys(srs_id));"
                "CREATE TABLE gpkg_geometry_columns (table_name TEXT NOT NULL, column_name TEXT NOT NULL,"
                " geometry_type_name TEXT NOT NULL, srs_id INTEGER NOT NULL, z TINYINT NOT NULL, m TINYINT NOT NULL,"
                " CONSTRAINT pk_geom_cols PRIMARY KEY (table_name, column_name),"
                " CONSTRAINT fk_gc_tn FOREIGN KEY (table_name) REFERENCES gpkg_contents(table_name),"
                " CONSTRAINT fk_gc_srs FOREIGN KEY (srs_id) REFERENCES gpkg_spatial_ref_sys (srs_id));"
                "CREATE TABLE cells (fid INTEGER PRIMARY KEY AUTOINCREMENT, geom GEOMETRY, category INTEGER,"
                " name TEXT, mesh_code TEXT, records INTEGER, min_elevation REAL, max_elevation REAL);");
        const bool points = IsPoints(set);
        double minX = 180, minY = 90, maxX = -180, maxY = -90;
        {
            Statement insert(db, "INSERT INTO cells (geom, category, name, mesh_code, records, min_elevation, max_elevation)"
                                 " VALUES (?, ?, ?, ?, ?, ?, ?)");
            std::string blob;
            for (const Cell& c : set.cells) {
                Geometry(blob, set, c);
                const Box b = CellBox(set, c);
                minX = std::min(minX, b.west);
                maxX = std::max(maxX, b.east);
                minY = std::min(minY, b.south);
                maxY = std::max(maxY, b.north);
                const std::string& name = set.names[static_cast<std::size_t>(c.category - 1)];
                sqlite3_bind_blob(*insert, 1, blob.data(), static_cast<int>(blob.size()), SQLITE_TRANSIENT);
                sqlite3_bind_int(*insert, 2, c.category);
                sqlite3_bind_text(*insert, 3, name.data(), static_cast<int>(name.size()), SQLITE_STATIC);
                sqlite3_bind_text(*insert, 4, c.meshCode.data(), static_cast<int>(c.meshCode.size()), SQLITE_STATIC);
                sqlite3_bind_int64(*insert, 5, static_cast<sqlite3_int64>(c.records));
                if (c.minElevation) sqlite3_bind_double(*insert, 6, *c.minElevation);
                if (c.maxElevation) sqlite3_bind_double(*insert, 7, *c.maxElevation);
                insert.Step();
            }
        }
        {
            Statement contents(db, "INSERT INTO gpkg_contents (table_name, data_type, identifier, description,"
                                   " last_change, min_x, min_y, max_x, max_y, srs_id)"
                                   " VALUES ('cells', 'features', 'cells', ?, ?, ?, ?, ?, ?, 4326)");
            const std::string description = points ? "plotted records (points)" : "plotted records (mesh cells)";
            const QByteArray now = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzzZ")).toUtf8();
            sqlite3_bind_text(*contents, 1, description.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(*contents, 2, now.constData(), -1, SQLITE_TRANSIENT);
            if (!set.cells.empty()) {
                sqlite3_bind_double(*contents, 3, minX);
                sqlite3_bind_double(*contents, 4, minY);
                sqlite3_bind_double(*contents, 5, maxX);
                sqlite3_bind_double(*contents, 6, maxY);
            }
            contents.Step();
        }
        db.Exec(points ? "INSERT INTO gpkg_geometry_columns VALUES ('cells', 'geom', 'POINT', 4326, 0, 0);"
                       : "INSERT INTO gpkg_geometry_columns VALUES ('cells', 'geom', 'POLYGON', 4326, 0, 0);");
        db.Exec("COMMIT;");
        db.Close();
    } catch (...) {
        ::unlink(temporary.c_str());
        throw;
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        ::unlink(temporary.c_str());
        throw platform::FileError(path + " に書き込めません");
    }
}

void WriteCells(const CellSet& set, const std::string& path) {
    if (EndsWith(path, ".gpkg")) return WriteGeoPackage(set, path);
    if (EndsWith(path, ".geojson") || EndsWith(path, ".json")) return WriteGeoJson(set, path);
    throw platform::KavumError("書き出すファイルの拡張子は .geojson か .gpkg にしてください: " + path);
}

}  // namespace kavum::io
