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
#include <charconv>
#include <cstdio>
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
    // Every piece is one digit but the first two (two digits each).
    auto digit = [](std::int64_t v) { return static_cast<char>('0' + v); };
    std::string code{digit(y1 / 10), digit(y1 % 10), digit(x1 / 10), digit(x1 % 10), digit(y2), digit(x2)};
    switch (precision) {
    case geo::PointPrecision::SecondMesh:
        break;
    case geo::PointPrecision::FivefoldMesh:
        code += digit(1 + (xr % 4500 >= 2250 ? 1 : 0) + (yr % 3000 >= 1500 ? 2 : 0));
        break;
    case geo::PointPrecision::DoubleMesh:
        code += {digit(y3 / 2 * 2), digit(x3 / 2 * 2), '5'};
        break;
    case geo::PointPrecision::HalfMesh:
        code += {digit(y3), digit(x3), digit(1 + (xr % 450 >= 225 ? 1 : 0) + (yr % 300 >= 150 ? 2 : 0))};
        break;
    default:
        code += {digit(y3), digit(x3)};
        break;
    }
    return code;
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

namespace {

// A file written in pieces under a temporary name and put in place whole.
class PartFile {
public:
    explicit PartFile(const std::string& path) : path_(path), temporary_(path + ".part") {
        file_ = std::fopen(temporary_.c_str(), "wb");
        if (!file_) throw platform::FileError(path_ + " に書き込めません");
        std::setvbuf(file_, nullptr, _IOFBF, 1 << 20);
    }
    ~PartFile() {
        if (file_) std::fclose(file_);
        if (!done_) ::unlink(temporary_.c_str());
    }
    void Write(std::string_view bytes) {
        if (std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) Fail();
    }
    void Finish() {
        const bool flushed = std::fflush(file_) == 0 && ::fsync(::fileno(file_)) == 0;
        const bool closed = std::fclose(file_) == 0;
        file_ = nullptr;
        if (!flushed || !closed) Fail();
        if (std::rename(temporary_.c_str(), path_.c_str()) != 0) Fail();
        done_ = true;
    }

private:
    [[noreturn]] void Fail() { throw platform::FileError(path_ + " に書き込めません"); }
    std::string path_, temporary_;
    std::FILE* file_ = nullptr;
    bool done_ = false;
};

void AppendNumber(std::string& out, double v) {
    char buffer[32];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, v);
    out.append(buffer, r.ptr);
}

void AppendPoint(std::string& out, double x, double y) {
    out += '[';
    AppendNumber(out, x);
    out += ',';
    AppendNumber(out, y);
    out += ']';
}

// A string as JSON text, quotes included, by Qt's JSON writer.
std::string JsonString(const std::string& utf8) {
    const QByteArray array = QJsonDocument(QJsonArray{QString::fromStdString(utf8)}).toJson(QJsonDocument::Compact);
    return std::string(array.constData() + 1, static_cast<std::size_t>(array.size()) - 2);
}

}  // namespace

// Written feature by feature: a million cells would take gigabytes and most
// of a minute as one document of JSON objects.
void WriteGeoJson(const CellSet& set, const std::string& path) {
    std::vector<std::string> names;
    names.reserve(set.names.size());
    for (const std::string& n : set.names) names.push_back(JsonString(n));
    PartFile file(path);
    file.Write("{\"type\":\"FeatureCollection\",\"features\":[");
    std::string out;
    out.reserve(1 << 16);
    bool first = true;
    for (const Cell& c : set.cells) {
        out += first ? "" : ",";
        first = false;
        out += "{\"type\":\"Feature\",\"geometry\":";
        if (IsPoints(set)) {
            out += "{\"type\":\"Point\",\"coordinates\":";
            AppendPoint(out, static_cast<double>(c.longitude), static_cast<double>(c.latitude));
        } else {
            // Outer ring counter-clockwise, closed.
            const Box b = CellBox(set, c);
            out += "{\"type\":\"Polygon\",\"coordinates\":[[";
            AppendPoint(out, b.west, b.south);
            out += ',';
            AppendPoint(out, b.east, b.south);
            out += ',';
            AppendPoint(out, b.east, b.north);
            out += ',';
            AppendPoint(out, b.west, b.north);
            out += ',';
            AppendPoint(out, b.west, b.south);
            out += "]]";
        }
        out += "},\"properties\":{\"category\":";
        out += std::to_string(c.category);
        out += ",\"name\":";
        out += names[static_cast<std::size_t>(c.category - 1)];
        out += ",\"mesh_code\":\"";
        out += c.meshCode;   // digits only
        out += "\",\"records\":";
        out += std::to_string(c.records);
        out += ",\"min_elevation\":";
        if (c.minElevation) AppendNumber(out, *c.minElevation);
        else out += "null";
        out += ",\"max_elevation\":";
        if (c.maxElevation) AppendNumber(out, *c.maxElevation);
        else out += "null";
        out += "}}";
        if (out.size() > (1 << 16) - 1024) {
            file.Write(out);
            out.clear();
        }
    }
    out += "]}";
    file.Write(out);
    file.Finish();
}

// ------------------------------------------------------------------ GeoPackage

namespace {

class Database {
public:
    explicit Database(const std::string& path) : path_(path) {
        // One connection on one thread: no locking.
        if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                            nullptr) != SQLITE_OK)
            Fail();
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
        StepKeepingBindings();
        sqlite3_clear_bindings(st_);
    }
    // For a statement whose every parameter is bound anew before each step.
    void StepKeepingBindings() {
        if (sqlite3_step(st_) != SQLITE_DONE) db_.Fail();
        sqlite3_reset(st_);
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
        db.Exec("PRAGMA page_size = 65536;"
                "PRAGMA application_id = 1196444487;"   // "GPKG"
                "PRAGMA user_version = 10200;"
                "PRAGMA journal_mode = OFF;"
                "PRAGMA synchronous = OFF;"
                "PRAGMA locking_mode = EXCLUSIVE;"
                "PRAGMA cache_size = -65536;"
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
            // Many rows a statement: each statement of a table with
            // AUTOINCREMENT also writes its sequence, and a million
            // statements cost more than the rows.
            constexpr std::size_t Batch = 64;
            std::string sql = "INSERT INTO cells (geom, category, name, mesh_code, records, min_elevation, max_elevation) VALUES ";
            const std::string one = "(?, ?, ?, ?, ?, ?, ?)";
            std::string batchSql = sql;
            for (std::size_t i = 0; i < Batch; ++i) batchSql += (i ? ", " : "") + one;
            Statement batch(db, batchSql.c_str());
            Statement single(db, (sql + one).c_str());
            std::vector<std::string> blobs(Batch);
            const std::size_t n = set.cells.size();
            for (std::size_t start = 0; start < n; start += Batch) {
                const bool full = n - start >= Batch;
                Statement& insert = full ? batch : single;
                const std::size_t rows = full ? Batch : 1;
                for (std::size_t r = 0; r < rows; ++r) {
                    const Cell& c = set.cells[start + r];
                    std::string& blob = blobs[r];
                    Geometry(blob, set, c);
                    const Box b = CellBox(set, c);
                    minX = std::min(minX, b.west);
                    maxX = std::max(maxX, b.east);
                    minY = std::min(minY, b.south);
                    maxY = std::max(maxY, b.north);
                    const std::string& name = set.names[static_cast<std::size_t>(c.category - 1)];
                    const int p = static_cast<int>(r * 7);
                    sqlite3_bind_blob(*insert, p + 1, blob.data(), static_cast<int>(blob.size()), SQLITE_STATIC);
                    sqlite3_bind_int(*insert, p + 2, c.category);
                    sqlite3_bind_text(*insert, p + 3, name.data(), static_cast<int>(name.size()), SQLITE_STATIC);
                    sqlite3_bind_text(*insert, p + 4, c.meshCode.data(), static_cast<int>(c.meshCode.size()), SQLITE_STATIC);
                    sqlite3_bind_int64(*insert, p + 5, static_cast<sqlite3_int64>(c.records));
                    if (c.minElevation) sqlite3_bind_double(*insert, p + 6, *c.minElevation);
                    else sqlite3_bind_null(*insert, p + 6);
                    if (c.maxElevation) sqlite3_bind_double(*insert, p + 7, *c.maxElevation);
                    else sqlite3_bind_null(*insert, p + 7);
                }
                insert.StepKeepingBindings();
                if (!full) start -= Batch - 1;   // the rest one row at a time
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
