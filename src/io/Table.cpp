#include "Table.h"

#include "data/RecordLine.h"
#include "platform/Cp932.h"
#include "platform/Errors.h"

#include <QString>

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace kavum::io {

namespace {

constexpr std::size_t MaxProblemLines = 1000;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (IsBlank(s.front()) || s.front() == '\r' || s.front() == '\n')) s.remove_prefix(1);
    while (!s.empty() && (IsBlank(s.back()) || s.back() == '\r' || s.back() == '\n')) s.remove_suffix(1);
    return s;
}

bool ValidUtf8(std::string_view s, bool* nonAscii) {
    *nonAscii = false;
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    const auto* end = p + s.size();
    while (p < end) {
        // Runs of ASCII eight bytes at a time.
        while (end - p >= 8) {
            std::uint64_t word;
            std::memcpy(&word, p, 8);
            if (word & 0x8080808080808080ULL) break;
            p += 8;
        }
        if (p >= end) break;
        const unsigned char c = *p;
        if (c < 0x80) {
            ++p;
            continue;
        }
        *nonAscii = true;
        int n = 0;
        std::uint32_t cp = 0;
        if (c >= 0xC2 && c <= 0xDF) {
            n = 1;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            n = 2;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            n = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (end - p <= n) {
            // A character cut at the end of the text.
            return false;
        }
        for (int i = 1; i <= n; ++i) {
            if ((p[i] & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (p[i] & 0x3F);
        }
        if ((n == 2 && cp < 0x800) || (n == 3 && (cp < 0x10000 || cp > 0x10FFFF)) || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        p += n + 1;
    }
    return true;
}

// The header name as compared: trimmed, lower case (ASCII), and without a
// unit in brackets at its end ("標高(m)", "標高（ｍ）").
std::string NormalName(std::string_view name) {
    std::string s(Trim(name));
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    auto cutAt = [&](std::string_view open) {
        const std::size_t p = s.find(open);
        if (p != std::string::npos && p > 0) s.erase(p);
    };
    cutAt("(");
    cutAt("\xEF\xBC\x88");   // full-width (
    cutAt("[");
    while (!s.empty() && IsBlank(s.back())) s.pop_back();
    return s;
}

int FindName(const std::vector<std::string>& normal, std::initializer_list<const char*> names) {
    for (const char* n : names) {
        for (std::size_t i = 0; i < normal.size(); ++i)
            if (normal[i] == n) return static_cast<int>(i);
    }
    return -1;
}

// A plain decimal number: optional sign, digits, optional point and digits.
// With commaPoint a "," stands for the point (semicolon-separated tables of
// spreadsheets set to a decimal comma).
bool SplitDecimal(std::string_view s, bool commaPoint, bool& negative, std::string_view& whole, std::string_view& frac) {
    s = Trim(s);
    negative = false;
    if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    std::size_t p = s.find('.');
    if (commaPoint && p == std::string_view::npos) p = s.find(',');
    whole = s.substr(0, p);
    frac = p == std::string_view::npos ? std::string_view() : s.substr(p + 1);
    if (whole.empty() && frac.empty()) return false;
    for (char c : whole)
        if (c < '0' || c > '9') return false;
    for (char c : frac)
        if (c < '0' || c > '9') return false;
    return true;
}

bool ParseDecimal(std::string_view s, bool commaPoint, double& value) {
    bool negative = false;
    std::string_view whole, frac;
    if (!SplitDecimal(s, commaPoint, negative, whole, frac)) return false;
    char buffer[64];
    if (whole.size() + frac.size() + 3 > sizeof buffer) return false;
    std::size_t n = 0;
    if (negative) buffer[n++] = '-';
    if (whole.empty()) buffer[n++] = '0';
    for (char c : whole) buffer[n++] = c;
    buffer[n++] = '.';
    for (char c : frac) buffer[n++] = c;
    if (frac.empty()) buffer[n++] = '0';
    const auto r = std::from_chars(buffer, buffer + n, value);
    return r.ec == std::errc();
}

// The tenths of a second of a plain decimal number of degrees, truncated
// toward minus infinity by exact integer arithmetic. False for a text that
// is no decimal number or is far out of range.
bool DecimalToTenths(std::string_view text, bool commaPoint, std::int64_t& tenths) {
    bool negative = false;
    std::string_view whole, frac;
    if (!SplitDecimal(text, commaPoint, negative, whole, frac)) return false;
    while (!whole.empty() && whole.front() == '0') whole.remove_prefix(1);
    if (whole.size() > 6) return false;
    std::int64_t w = 0;
    for (char c : whole) w = w * 10 + (c - '0');
    // Digits beyond the eighteenth cannot move the value across a tenth.
    if (frac.size() > 18) frac = frac.substr(0, 18);
    std::int64_t part;
    bool exact;
    bool fracNonZero = false;
    if (frac.size() <= 13) {
        // Fits in 64 bits (the common case, and much faster).
        std::uint64_t f = 0, scale = 1;
        for (char c : frac) {
            f = f * 10 + static_cast<unsigned>(c - '0');
            scale *= 10;
        }
        fracNonZero = f != 0;
        const std::uint64_t product = f * 36000;
        part = static_cast<std::int64_t>(product / scale);
        exact = product % scale == 0;
    } else {
        unsigned __int128 f = 0, scale = 1;
        for (char c : frac) {
            f = f * 10 + static_cast<unsigned>(c - '0');
            scale *= 10;
            if (c != '0') fracNonZero = true;
        }
        const unsigned __int128 product = f * 36000;
        part = static_cast<std::int64_t>(product / scale);
        exact = product % scale == 0;
    }
    std::int64_t t = w * 36000 + part;
    if (negative && (t != 0 || fracNonZero)) t = exact ? -t : -t - 1;
    tenths = t;
    return true;
}

void AppendAngleText(std::string& out, std::int64_t t) {
    const std::int64_t d = t / 36000;
    const int r = static_cast<int>(t % 36000);
    char buffer[32];
    char* end = std::to_chars(buffer, buffer + 24, d).ptr;
    const int mm = r / 600, ss = r % 600 / 10, tenth = r % 10;
    *end++ = '.';
    *end++ = static_cast<char>('0' + mm / 10);
    *end++ = static_cast<char>('0' + mm % 10);
    *end++ = static_cast<char>('0' + ss / 10);
    *end++ = static_cast<char>('0' + ss % 10);
    *end++ = static_cast<char>('0' + tenth);
    out.append(buffer, end);
}

// ",ELEVATION" for an elevation of plain digits with an optional "-" and
// point, shorter than a million metres: the text as it stands, which the
// data line reads as the same number. False for any other form.
bool AppendPlainElevation(std::string& out, std::string_view e) {
    if (e.empty() || e.size() > 16) return false;
    std::size_t i = e.front() == '-' ? 1 : 0;
    std::size_t whole = 0, frac = 0;
    bool point = false;
    if (i < e.size() && e[i] == '0' && i + 1 < e.size() && e[i + 1] != '.') return false;   // leading zeros
    for (; i < e.size(); ++i) {
        const char c = e[i];
        if (c >= '0' && c <= '9') {
            ++(point ? frac : whole);
        } else if (c == '.' && !point) {
            point = true;
        } else {
            return false;
        }
    }
    if (whole == 0 || whole > 6 || (point && frac == 0)) return false;
    out += ',';
    out.append(e);
    return true;
}

std::string TenthsToAngleText(std::int64_t t) {
    std::string out;
    AppendAngleText(out, t);
    return out;
}

// Range of the regional mesh system: latitude 0..66°40', longitude 100..180°.
constexpr std::int64_t MaxLatTenths = 66 * 36000 + 40 * 600;
constexpr std::int64_t MinLonTenths = 100 * 36000;
constexpr std::int64_t MaxLonTenths = 180 * 36000;

// Angle text as given in a degrees-minutes table: checked, not changed.
bool AngleTextTenths(std::string_view s, std::int64_t& tenths) {
    s = Trim(s);
    const std::size_t p = s.find('.');
    const std::string_view d = s.substr(0, p);
    std::string digits(p == std::string_view::npos ? std::string_view() : s.substr(p + 1));
    if (d.empty() || d.size() > 6) return false;
    for (char c : d)
        if (c < '0' || c > '9') return false;
    for (char c : digits)
        if (c < '0' || c > '9') return false;
    digits.resize(std::max<std::size_t>(digits.size(), 5), '0');
    std::int64_t w = 0;
    for (char c : d) w = w * 10 + (c - '0');
    const int mm = (digits[0] - '0') * 10 + (digits[1] - '0');
    const int ss = (digits[2] - '0') * 10 + (digits[3] - '0');
    if (mm >= 60 || ss >= 60) return false;
    tenths = w * 36000 + mm * 600 + ss * 10 + (digits[4] - '0');
    return true;
}

// 6 to 10 digits and nothing else.
bool IsMeshDigits(std::string_view s) {
    if (s.size() < 6 || s.size() > 10) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

std::string Quote(std::string_view s) {
    std::string out = "'";
    out += s.substr(0, 40);
    if (s.size() > 40) out += "…";
    out += "'";
    return out;
}

// A heading must read as a heading: no comment mark, no comma, and not the
// shape of a mesh-code line.
std::string HeadingText(std::string_view utf8, bool* changed) {
    std::string s(Trim(utf8));
    std::string out;
    out.reserve(s.size());
    for (char c : s) {
        if (c == ',') out += "\xE3\x80\x81";          // 、
        else if (c == ';') out += "\xEF\xBC\x9B";     // ；
        else if (c == '\r' || c == '\n' || c == '\t') out += ' ';
        else out += c;
    }
    if (out.empty()) out = "(名前なし)";
    std::string sjis = platform::Utf8ToCp932(out);
    if (data::ClassifyLine(sjis) != data::ParsedLine::Kind::Heading) {
        out = "_" + out;
        sjis = "_" + sjis;
    }
    *changed = out != s;
    return out;
}

}  // namespace

// ------------------------------------------------------------------ rows

namespace {

// The bytes of x equal to the byte broadcast in b, flagged by their high
// bit; the lowest flag is always a true match.
inline std::uint64_t Matches(std::uint64_t x, std::uint64_t b) {
    const std::uint64_t v = x ^ b;
    return (v - 0x0101010101010101ULL) & ~v & 0x8080808080808080ULL;
}

// The first delimiter, CR or LF from `from` on (or `size`), eight bytes at
// a time: the long rows of a GBIF download are most of its reading.
std::size_t FieldEnd(const char* data, std::size_t from, std::size_t size, char delimiter) {
    constexpr std::uint64_t Ones = 0x0101010101010101ULL;
    const std::uint64_t d = Ones * static_cast<unsigned char>(delimiter), lf = Ones * '\n', cr = Ones * '\r';
    std::size_t p = from;
    while (p + 8 <= size) {
        std::uint64_t word;
        std::memcpy(&word, data + p, 8);
        const std::uint64_t m = Matches(word, d) | Matches(word, lf) | Matches(word, cr);
        if (m) return p + static_cast<std::size_t>(__builtin_ctzll(m) / 8);
        p += 8;
    }
    while (p < size && data[p] != delimiter && data[p] != '\n' && data[p] != '\r') ++p;
    return p;
}

}  // namespace

bool RowReader::Next() {
    if (pos_ >= text_.size()) return false;
    rowLine_ = line_;
    count_ = 0;
    unquotedUsed_ = 0;
    fieldsMade_ = false;
    const std::size_t size = text_.size();
    const char* data = text_.data();
    for (;;) {
        if (count_ == views_.size()) views_.emplace_back();
        std::string_view& field = views_[count_++];
        bool quotedDone = false;
        if (pos_ < size && data[pos_] == '"' && (noCloseFrom_ == std::string_view::npos || pos_ < noCloseFrom_)) {
            // Find the closing quote; the field is quoted only when the
            // quote is followed by a delimiter, a line end or the end.
            std::size_t p = pos_ + 1;
            std::size_t lines = 0;
            bool closed = false, doubled = false;
            while (p < size) {
                const char c = data[p];
                if (c == '"') {
                    if (p + 1 < size && data[p + 1] == '"') {
                        doubled = true;
                        p += 2;
                        continue;
                    }
                    closed = true;
                    break;
                }
                if (c == '\n' || (c == '\r' && !(p + 1 < size && data[p + 1] == '\n'))) ++lines;
                ++p;
            }
            const bool ends = closed && (p + 1 >= size || data[p + 1] == delimiter_ || data[p + 1] == '\n' ||
                                         data[p + 1] == '\r');
            if (ends) {
                const std::string_view inside(data + pos_ + 1, p - pos_ - 1);
                if (doubled) {
                    if (unquotedUsed_ == unquoted_.size()) unquoted_.emplace_back();
                    std::string& u = unquoted_[unquotedUsed_++];
                    u.clear();
                    for (std::size_t i = 0; i < inside.size(); ++i) {
                        u += inside[i];
                        if (inside[i] == '"') ++i;
                    }
                    field = u;
                } else {
                    field = inside;
                }
                pos_ = p + 1;
                line_ += lines;
                quotedDone = true;
            } else if (!closed) {
                noCloseFrom_ = pos_;
            }
        }
        if (!quotedDone) {
            const std::size_t p = FieldEnd(data, pos_, size, delimiter_);
            field = std::string_view(data + pos_, p - pos_);
            pos_ = p;
        }
        if (pos_ >= size) return true;
        const char c = data[pos_];
        if (c == delimiter_) {
            ++pos_;
            continue;
        }
        // A line end: CR LF, LF or a lone CR.
        if (c == '\r' && pos_ + 1 < size && data[pos_ + 1] == '\n') ++pos_;
        ++pos_;
        ++line_;
        return true;
    }
}

const std::vector<std::string>& RowReader::Fields() const {
    if (!fieldsMade_) {
        if (fields_.size() < count_) fields_.resize(count_);
        for (std::size_t i = 0; i < count_; ++i) fields_[i].assign(views_[i]);
        fieldsMade_ = true;
    }
    return fields_;
}

// ------------------------------------------------------------------ detection

namespace {

// The table as UTF-8: a view of the bytes themselves (without a BOM) when
// they are UTF-8, else of their conversion kept in `storage`.
std::string_view Utf8Text(std::string_view bytes, TableEncoding encoding, TableEncoding* found, std::string& storage) {
    const bool bom = bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF";
    if (encoding == TableEncoding::Auto) {
        bool nonAscii = false;
        encoding = bom || ValidUtf8(bytes, &nonAscii) ? TableEncoding::Utf8 : TableEncoding::ShiftJis;
    }
    if (found) *found = encoding;
    if (encoding == TableEncoding::Utf8) {
        if (bom) bytes.remove_prefix(3);
        return bytes;
    }
    storage = platform::Cp932ToUtf8(bytes);
    return storage;
}

}  // namespace

std::string TableTextAsUtf8(std::string_view bytes, TableEncoding encoding, TableEncoding* found) {
    std::string storage;
    const std::string_view text = Utf8Text(bytes, encoding, found, storage);
    return storage.empty() ? std::string(text) : storage;
}

char DetectDelimiter(std::string_view text) {
    std::array<std::size_t, 3> counts{};
    const char delimiters[3] = {'\t', ',', ';'};
    bool quoted = false;
    for (char c : text) {
        if (c == '"') quoted = !quoted;
        if (quoted) continue;
        if (c == '\n' || c == '\r') break;
        for (int i = 0; i < 3; ++i)
            if (c == delimiters[i]) ++counts[static_cast<std::size_t>(i)];
    }
    int best = 1;   // comma by default (a table of one column)
    for (int i = 0; i < 3; ++i)
        if (counts[static_cast<std::size_t>(i)] > counts[static_cast<std::size_t>(best)]) best = i;
    return delimiters[best];
}

TableColumns FindColumns(const std::vector<std::string>& header, const ColumnNames& names) {
    std::vector<std::string> normal;
    normal.reserve(header.size());
    for (const std::string& h : header) normal.push_back(NormalName(h));
    TableColumns c;
    c.category = FindName(normal, {"species", "種名", "和名", "scientificname", "category", "name", "名前", "名称"});
    if (c.category >= 0) {
        // GBIF leaves species empty where only a higher taxon is known.
        if (normal[static_cast<std::size_t>(c.category)] == "species")
            c.category2 = FindName(normal, {"scientificname"});
        else if (normal[static_cast<std::size_t>(c.category)] == "種名")
            c.category2 = FindName(normal, {"和名"});
    }
    c.lat = FindName(normal, {"decimallatitude", "緯度", "lat", "latitude", "y"});
    c.lon = FindName(normal, {"decimallongitude", "経度", "lon", "lng", "long", "longitude", "x"});
    c.elev = FindName(normal, {"elevation", "標高", "altitude", "elev", "alt", "height",
                               "minimumelevationinmeters"});
    if (c.elev >= 0 && normal[static_cast<std::size_t>(c.elev)] == "elevation")
        c.elev2 = FindName(normal, {"minimumelevationinmeters"});
    c.mesh = FindName(normal, {"メッシュコード", "メッシュ", "meshcode", "mesh", "mesh_code", "mesh code"});
    auto named = [&](const std::string& name, int& column, int* second) {
        if (name.empty()) return;
        const std::string wanted = NormalName(name);
        int found = -1;
        for (std::size_t i = 0; i < header.size(); ++i) {
            if (std::string(Trim(header[i])) == std::string(Trim(name))) {
                found = static_cast<int>(i);
                break;
            }
        }
        if (found < 0) found = FindName(normal, {wanted.c_str()});
        if (found < 0) throw platform::KavumError("列 " + name + " が見出し行にありません");
        column = found;
        if (second) *second = -1;
    };
    named(names.category, c.category, &c.category2);
    named(names.lat, c.lat, nullptr);
    named(names.lon, c.lon, nullptr);
    named(names.elev, c.elev, &c.elev2);
    named(names.mesh, c.mesh, nullptr);
    return c;
}

TableLayout InspectTable(std::string_view bytes, const TableOptions& options) {
    TableLayout layout;
    const std::string text = TableTextAsUtf8(bytes.substr(0, std::min<std::size_t>(bytes.size(), 1 << 20)),
                                             options.encoding, &layout.encoding);
    if (options.encoding == TableEncoding::Auto) TableTextAsUtf8(bytes, TableEncoding::Auto, &layout.encoding);
    layout.delimiter = DetectDelimiter(text);
    RowReader rows(text, layout.delimiter);
    if (rows.Next()) layout.header.assign(rows.Fields().begin(), rows.Fields().begin() + static_cast<long>(rows.FieldCount()));
    layout.columns = FindColumns(layout.header, options.columns);
    return layout;
}

std::string DecimalToAngleText(std::string_view decimal) {
    std::int64_t t = 0;
    if (!DecimalToTenths(decimal, false, t) || t < 0) return {};
    return TenthsToAngleText(t);
}

// ------------------------------------------------------------------ conversion

void TableConverter::Problem(const std::string& source, std::size_t line, const std::string& message) {
    if (problems_.size() < MaxProblemLines) {
        problems_.push_back(source + ":" + std::to_string(line) + ": " + message);
    } else if (problems_.size() == MaxProblemLines) {
        problems_.push_back(source + ": さらに問題のある行があります (以下省略)");
    }
}

std::size_t TableConverter::CategoryIndex(std::string_view name, const std::string& source, std::size_t line) {
    name = Trim(name);
    if (last_ != static_cast<std::size_t>(-1) && name == lastName_) return last_;
    auto it = std::lower_bound(index_.begin(), index_.end(), name,
                               [](const auto& entry, std::string_view key) { return entry.first < key; });
    std::size_t k;
    if (it != index_.end() && it->first == name) {
        k = it->second;
    } else {
        k = categories_.size();
        bool changed = false;
        const std::string heading = HeadingText(name, &changed);
        bool exact = true;
        Category category;
        category.name = platform::Utf8ToCp932(heading, &exact);
        if (!exact) Problem(source, line, "Shift-JIS で表せない文字を「?」に置き換えました: " + Quote(heading));
        else if (changed && !name.empty()) Problem(source, line, "見出しとして書けるように名前を変えました: " + Quote(name) + " → " + Quote(heading));
        categories_.push_back(std::move(category));
        index_.insert(it, {std::string(name), k});
    }
    last_ = k;
    lastName_.assign(name);
    return k;
}

void TableConverter::Add(std::string_view bytes, const TableOptions& options, const std::string& source) {
    std::string storage;
    const std::string_view text = Utf8Text(bytes, options.encoding, &layout_.encoding, storage);
    layout_.delimiter = DetectDelimiter(text);
    RowReader rows(text, layout_.delimiter);
    if (!rows.Next()) throw platform::KavumError(source + ": 表が空です");
    layout_.header.assign(rows.Fields().begin(), rows.Fields().begin() + static_cast<long>(rows.FieldCount()));
    const TableColumns c = options.columnIndexes ? *options.columnIndexes : FindColumns(layout_.header, options.columns);
    layout_.columns = c;
    const bool hasPosition = c.lat >= 0 && c.lon >= 0;
    if (!hasPosition && c.mesh < 0) {
        throw platform::KavumError(source + ": 緯度・経度またはメッシュコードの列が見つかりません (--columns で指定できます)");
    }
    const bool commaPoint = layout_.delimiter == ';';
    const bool dms = options.degrees == DegreeForm::DegreesMinutes;
    std::string line;
    line.reserve(64);
    auto field = [&](int column) -> std::string_view {
        if (column < 0 || static_cast<std::size_t>(column) >= rows.FieldCount()) return {};
        return Trim(rows.Field(static_cast<std::size_t>(column)));
    };
    while (rows.Next()) {
        const std::size_t at = rows.Line();
        // Empty lines (a single empty field) are no rows.
        if (rows.FieldCount() == 1 && Trim(rows.Field(0)).empty()) continue;
        ++rows_;
        std::string_view name = field(c.category);
        if (name.empty()) name = field(c.category2);
        if (c.category < 0) name = options.defaultCategory;
        const std::string_view latText = field(c.lat), lonText = field(c.lon);
        std::string_view elevText = field(c.elev);
        if (elevText.empty()) elevText = field(c.elev2);
        const std::string_view meshText = field(c.mesh);

        line.clear();
        if (hasPosition && (!latText.empty() || !lonText.empty())) {
            std::int64_t lat = 0, lon = 0;
            const bool latOk = dms ? AngleTextTenths(latText, lat) : DecimalToTenths(latText, commaPoint, lat);
            const bool lonOk = dms ? AngleTextTenths(lonText, lon) : DecimalToTenths(lonText, commaPoint, lon);
            if (!latOk || !lonOk) {
                ++skipped_;
                Problem(source, at, std::string(dms ? "度.分秒として" : "10進の度として") + "読めない位置です: " +
                                        Quote(latText) + ", " + Quote(lonText));
                continue;
            }
            if (lat < 0 || lat > MaxLatTenths || lon < MinLonTenths || lon > MaxLonTenths) {
                ++skipped_;
                Problem(source, at, "位置がメッシュの範囲 (緯度 0〜66°40′, 経度 100〜180°) の外です: " + Quote(latText) +
                                        ", " + Quote(lonText));
                continue;
            }
            AppendAngleText(line, lat);
            line += ',';
            AppendAngleText(line, lon);
            if (!elevText.empty()) {
                double e = 0;
                if (AppendPlainElevation(line, elevText)) {
                    // A plain number as it stands (the data line reads it the same).
                } else if (ParseDecimal(elevText, commaPoint, e) && e > -1e6 && e < 1e6) {
                    char buffer[32];
                    const auto r = std::to_chars(buffer, buffer + sizeof buffer, e);
                    line += ',';
                    line.append(buffer, r.ptr);
                } else {
                    Problem(source, at, "標高が読めないので標高なしとしました: " + Quote(elevText));
                }
            }
        } else if (!meshText.empty()) {
            std::string_view code = meshText;
            std::string recovered;
            if (!IsMeshDigits(code)) {
                // A spreadsheet's exponent form (5.53750131E8, or 5,53750131E+08
                // with a decimal comma): the code when every digit is there.
                std::string text(meshText);
                if (commaPoint) std::replace(text.begin(), text.end(), ',', '.');
                const data::ExponentCode exponent = data::ReadExponentCode(text);
                if (exponent.found && exponent.exact && IsMeshDigits(exponent.digits)) {
                    recovered = exponent.digits;
                    code = recovered;
                    Problem(source, at, "指数表記のメッシュコード " + Quote(meshText) + " を " + recovered + " として読みました");
                } else {
                    ++skipped_;
                    Problem(source, at, exponent.found ? "指数表記のメッシュコードで桁が欠けているか丸められているため使えません: " + Quote(meshText)
                                                       : "メッシュコードとして読めません: " + Quote(meshText));
                    continue;
                }
            }
            line.assign(code);
            if (!elevText.empty()) {
                double e = 0;
                if (ParseDecimal(elevText, commaPoint, e) && e >= 0 && e < 10000) {
                    line += '.';
                    line += std::to_string(static_cast<int>(e / 100));
                } else {
                    Problem(source, at, "標高が読めないので標高なしとしました: " + Quote(elevText));
                }
            }
        } else {
            ++skipped_;
            Problem(source, at, hasPosition ? "緯度・経度がありません" : "メッシュコードがありません");
            continue;
        }
        line += "\r\n";
        categories_[CategoryIndex(name, source, at)].lines += line;
        ++records_;
    }
}

std::string TableConverter::DataText() const {
    std::size_t size = 0;
    for (const Category& c : categories_) size += c.name.size() + 2 + c.lines.size();
    std::string out;
    out.reserve(size);
    for (const Category& c : categories_) {
        out += c.name;
        out += "\r\n";
        out += c.lines;
    }
    return out;
}

}  // namespace kavum::io
