#pragma once
// Tables of occurrences (comma-, tab- or semicolon-separated text with a
// header line, as spreadsheets and GBIF downloads give them) turned into the
// program's own data text: one heading per category, in the order the
// categories first appear, each followed by its record lines.
#include <cstddef>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kavum::io {

enum class TableEncoding { Auto, Utf8, ShiftJis };
enum class DegreeForm { Decimal, DegreesMinutes };

// Header names (UTF-8) that override the columns found by their usual names.
struct ColumnNames {
    std::string category, lat, lon, elev, mesh;
};

// Column indexes, -1 where the table has none. The second category and
// elevation columns are used in a row whose first one is empty
// (species / scientificName, elevation / minimumElevationInMeters).
struct TableColumns {
    int category = -1, category2 = -1, lat = -1, lon = -1, elev = -1, elev2 = -1, mesh = -1;
    bool operator==(const TableColumns&) const = default;
};

struct TableOptions {
    TableEncoding encoding = TableEncoding::Auto;
    DegreeForm degrees = DegreeForm::Decimal;
    ColumnNames columns;
    // The columns by index, as chosen in the window's preview, in place of
    // finding them by name.
    std::optional<TableColumns> columnIndexes;
    // The heading of every row when the table has no category column.
    std::string defaultCategory = "table";
};

struct TableLayout {
    char delimiter = ',';
    TableEncoding encoding = TableEncoding::Utf8;   // as detected (never Auto)
    std::vector<std::string> header;                // UTF-8
    TableColumns columns;
};

struct TableProblem {
    std::size_t line = 0;   // 1-based line of the table where the row starts
    std::string message;    // UTF-8
};

// Splits delimited text into rows of fields (RFC 4180 quoting: delimiters,
// doubled quotes and line ends inside quotes). A field that starts with a
// quote but is not closed before a delimiter or line end is taken as it
// stands. CR LF, LF and a lone CR end a row.
class RowReader {
public:
    RowReader(std::string_view text, char delimiter) : text_(text), delimiter_(delimiter) {}
    // False at the end of the text. The fields stay valid until the next call.
    bool Next();
    // Field i of the row (i < FieldCount()); it points into the text or into
    // the reader, valid until the next call.
    std::string_view Field(std::size_t i) const { return views_[i]; }
    const std::vector<std::string>& Fields() const;
    std::size_t FieldCount() const { return count_; }
    std::size_t Line() const { return rowLine_; }   // 1-based line where the row started

private:
    std::string_view text_;
    char delimiter_;
    std::size_t pos_ = 0;
    std::size_t line_ = 1;
    std::size_t rowLine_ = 0;
    std::size_t count_ = 0;
    std::size_t noCloseFrom_ = std::string_view::npos;
    std::vector<std::string_view> views_;
    // Quoted fields with doubled quotes, unescaped (a deque: its strings stay
    // where they are while more are added).
    std::deque<std::string> unquoted_;
    std::size_t unquotedUsed_ = 0;
    mutable std::vector<std::string> fields_;
    mutable bool fieldsMade_ = false;
};

// The text as UTF-8 (a BOM removed), by the option or detected: a BOM or
// valid UTF-8 is UTF-8, anything else Shift-JIS.
std::string TableTextAsUtf8(std::string_view bytes, TableEncoding encoding, TableEncoding* found = nullptr);
// Comma, tab or semicolon, whichever the header line holds most of.
char DetectDelimiter(std::string_view utf8Text);
// Finds the columns by their usual names or the names given. Throws
// KavumError for a given name that is not in the header.
TableColumns FindColumns(const std::vector<std::string>& header, const ColumnNames& names);
// Detection and header only (for the preview).
TableLayout InspectTable(std::string_view bytes, const TableOptions& options);

// Decimal degrees (text) to angle text D.MMSSt, truncated to the tenth of a
// second below the value, so that every mesh cell of the angle text is the
// cell of the decimal value. Empty for a text that is no plain decimal number.
std::string DecimalToAngleText(std::string_view decimal);

// Collects the rows of one or more tables, grouped by category.
class TableConverter {
public:
    // Reads one table. Throws KavumError (UTF-8 message) when the
    // table has no usable columns; rows that cannot be used are counted and
    // described in Problems().
    void Add(std::string_view bytes, const TableOptions& options, const std::string& sourceName);
    // The data text: Shift-JIS lines, each ending in CR LF.
    std::string DataText() const;
    std::size_t Rows() const { return rows_; }
    std::size_t Records() const { return records_; }
    std::size_t Skipped() const { return skipped_; }
    std::size_t CategoryCount() const { return categories_.size(); }
    // "NAME:LINE: message" lines, in the order met.
    const std::vector<std::string>& Problems() const { return problems_; }
    const TableLayout& LastLayout() const { return layout_; }

private:
    struct Category {
        std::string name;   // Shift-JIS heading line
        std::string lines;  // record lines, CR LF after each
    };
    std::size_t CategoryIndex(std::string_view utf8Name, const std::string& source, std::size_t line);
    void Problem(const std::string& source, std::size_t line, const std::string& message);

    std::vector<Category> categories_;
    std::vector<std::pair<std::string, std::size_t>> index_;   // UTF-8 name, category; sorted
    std::size_t last_ = static_cast<std::size_t>(-1);
    std::string lastName_;
    std::size_t rows_ = 0, records_ = 0, skipped_ = 0;
    std::vector<std::string> problems_;
    TableLayout layout_;
};

}  // namespace kavum::io
