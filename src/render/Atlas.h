#pragma once
// Atlas production without widgets: the categories of a set of data files,
// the figures they are grouped into, the text of each figure with the file
// and line every one of its lines came from, safe file names and the counts
// of a listing.
#include "data/RecordLine.h"
#include "geo/MeshCode.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace kavum::render {

// Where a line of the data came from: the file (index into the file list)
// and the line number in it, counted from 1.
struct LineOrigin {
    int file = 0;
    int line = 0;
};

// One heading and the lines that follow it up to the next heading in the
// same file (records, comments, empty lines), as Shift-JIS bytes.
struct AtlasCategory {
    int position = 0;            // 1, 2, ... over all files, in their order
    std::string name;            // the heading line up to its comment, untrimmed
    LineOrigin heading;
    std::vector<std::string> lines;
    std::vector<int> lineNumbers;   // line number of every entry of lines
};

struct AtlasData {
    QStringList files;           // as read, in order
    std::vector<AtlasCategory> categories;
    // Record lines above the first heading of a file (they belong to no category).
    std::size_t orphanRecords = 0;
};

// Whether a comes before b in natural order: runs of digits compare as
// numbers ("2" before "10"), everything else as text.
bool NaturalLess(const QString& a, const QString& b);

// The data files of an atlas run: every argument that is a folder gives its
// .grd and .csv files (any letter case) in natural name order; files as given.
// Throws std::runtime_error for a name that is neither.
QStringList ExpandDataInputs(const QStringList& inputs);

// Reads the files and splits them into categories. Every file starts
// afresh: its headings begin categories of their own, and record lines
// above its first heading are counted in orphanRecords and left out.
// Throws platform::FileError naming the file that cannot be read.
AtlasData ReadAtlasData(const QStringList& files);

// The categories of each figure: runs of `group` categories in data order.
std::vector<std::vector<int>> GroupFigures(std::size_t categoryCount, int group);

// The text of a figure, with the origin of every line.
struct FigureText {
    std::vector<std::string> lines;
    std::vector<LineOrigin> origins;
};
FigureText MakeFigureText(const AtlasData& data, const std::vector<int>& categories);

// How the lines of a text fare at a precision, as the plotting pass reads
// them: accepted and not accepted records, and the first record line that
// does not convert (index into the text) with its message. Counting stops
// there, as the pass does.
struct TextCounts {
    std::size_t accepted = 0;
    std::size_t skipped = 0;
    std::optional<std::size_t> failedLine;
    std::string failure;         // the conversion message (UTF-8)
};
TextCounts CountRecords(const std::vector<std::string>& lines, geo::PointPrecision precision);

// What the records of one category give at a precision: accepted and not
// accepted records, the distinct cells (places) of the accepted ones, their
// lowest and highest elevation (records that give one), and the first
// record line that does not convert (index into the category's lines) with
// its message. Counting stops there, as the plotting pass does.
struct CategoryStats {
    std::size_t accepted = 0;
    std::size_t skipped = 0;
    std::size_t cells = 0;
    std::optional<double> lowest;
    std::optional<double> highest;
    std::optional<std::size_t> failedLine;
    std::string failure;         // the conversion message (UTF-8)
    // Lines the plotting pass warns of (suspicious or refused), as index
    // into the category's lines and notice, the first KeptNotices of them.
    static constexpr std::size_t KeptNotices = 100;
    std::vector<std::pair<std::size_t, data::LineNotice>> notices;
    std::size_t noticeCount = 0;
};
CategoryStats StatsOf(const AtlasCategory& category, geo::PointPrecision precision);

// The plotting pass's warnings of the records, as the one-figure mode
// gives them: "FILE:LINE: message" for the first lines of each category
// (in data order), then a line with the count of those left out.
QStringList RecordNotices(const AtlasData& data, const std::vector<CategoryStats>& stats);

// Warnings about the headings, as "FILE:LINE: message": a heading that
// comes again (the first place named), and a line that looks like a heading
// but holds a comma, so that it reads as a record of the category above.
// `suspicious` (if given) counts the latter.
QStringList HeadingProblems(const AtlasData& data, std::size_t* suspicious = nullptr);

// The text of an errno value for a message, in Japanese.
QString ErrorText(int error);

// One line of the manifest atlas.tsv (a figure's category; a figure of a
// group has a line per category, with the same number and file).
struct ManifestRow {
    int number = 0;
    QString file;
    QString heading;             // UTF-8, on one line
    QString source;              // "FILE:LINE" of the heading
    std::size_t accepted = 0;
    std::size_t skipped = 0;
    std::size_t cells = 0;
    std::optional<double> lowest;
    std::optional<double> highest;
    QString status;              // "written", "failed", "not written", "empty"...
    QString hash;                // of the figure's data and options
};
QString ManifestHeader();
QString ManifestLine(const ManifestRow& row);
// The rows of a manifest text (a header line, lines that do not read as
// rows are left out).
std::vector<ManifestRow> ParseManifest(const QString& text);

// The figures of an earlier run in a folder that this run does not make:
// the files named in the earlier manifest, and files named like figures
// ("NNNN-NAME.ext"), of the same extension, that are not in `current`.
QStringList StaleFigures(const QStringList& folderFiles, const QStringList& earlierFiles,
                         const QStringList& current, const QString& extension);

// The data of one figure as bytes for a worker process, and back: an
// AtlasData holding only the figure's categories (numbered from 0, with
// their positions, headings and lines), the file names as given.
QByteArray PackFigureData(const AtlasData& data, const std::vector<int>& categories);
AtlasData UnpackFigureData(const QByteArray& bytes, const QStringList& files);

// The --list output: one tab-separated line per category (number, name in
// UTF-8 with tabs and line breaks shown as blanks, accepted, skipped) under
// a header line. Bad record lines are counted neither way; each is appended
// to `problems` as "FILE:LINE: message".
QString ListCategories(const AtlasData& data, geo::PointPrecision precision, QStringList* problems);

// A file name part for a heading: UTF-8-safe text without path separators,
// control characters or characters that some file systems refuse, no
// leading or trailing dots and blanks, at most maxBytes bytes of UTF-8
// (cut at a character boundary); "category" when nothing is left.
QString SafeNamePart(const std::string& cp932Name, int maxBytes = 100);

// "NNNN-NAME.ext" for figure `number` (from 1) of `count`: the running
// number has at least four digits (more when count needs them), NAME is
// the safe name of the figure's first category.
QString FigureFileName(int number, std::size_t count, const std::string& cp932Name, const QString& extension);

// The title of a figure: the headings of its categories joined by "・".
QString FigureTitle(const AtlasData& data, const std::vector<int>& categories);

// "FILE:LINE: message" for a line of a figure text.
QString LineReport(const AtlasData& data, const LineOrigin& origin, const QString& message);

}  // namespace kavum::render
