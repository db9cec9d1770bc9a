#include "RenderArgs.h"

#include "export/Figure.h"
#include "geo/MeshCode.h"

#include <cmath>
#include <cstddef>

#include <stdexcept>

namespace kavum::render {
namespace {

[[noreturn]] void Bad(const QString& message) { throw std::invalid_argument(message.toStdString()); }

int ToInt(const QString& option, const QString& value) {
    bool ok = false;
    const int v = value.toInt(&ok);
    if (!ok) Bad(QStringLiteral("%1: not a number: %2").arg(option, value));
    return v;
}

double ToNumber(const QString& option, const QString& value) {
    bool ok = false;
    const double v = value.toDouble(&ok);
    if (!ok || !std::isfinite(v)) Bad(QStringLiteral("%1: not a number: %2").arg(option, value));
    return v;
}

// Options that only switch something on, and options whose value is taken as
// it is.
struct FlagOption {
    const char* name;
    bool RenderArgs::*field;
};
constexpr FlagOption FlagOptions[] = {
    {"--force", &RenderArgs::force},
    {"--screen", &RenderArgs::screen},
    {"--mark-of-position", &RenderArgs::markOfPosition},
    {"--list", &RenderArgs::list},
    {"--keep-going", &RenderArgs::keepGoing},
    {"--progress", &RenderArgs::progress},
    {"--worker", &RenderArgs::worker},
    {"--keep-old", &RenderArgs::keepOld},
    {"--skip-existing", &RenderArgs::skipExisting},
    {"--skip-empty", &RenderArgs::skipEmpty},
};
struct TextOption {
    const char* name;
    QString RenderArgs::*field;
};
constexpr TextOption TextOptions[] = {
    {"--settings", &RenderArgs::settings},
    {"--map", &RenderArgs::map},
    {"--data", &RenderArgs::data},
    {"--dump-points", &RenderArgs::dumpPoints},
    {"--dump-state", &RenderArgs::dumpState},
    {"--per-category", &RenderArgs::perCategory},
};

template <typename Option, std::size_t N>
const Option* FindOption(const Option (&options)[N], const QString& arg) {
    for (const Option& o : options)
        if (arg == QLatin1String(o.name)) return &o;
    return nullptr;
}

}  // namespace

bool ParseTableOption(RenderArgs& a, const QString& arg, const std::function<QString()>& value) {
    if (arg == QLatin1String("--table")) {
        a.tables << value();
    } else if (arg == QLatin1String("--encoding")) {
        a.tableEncoding = value().toLower();
        if (a.tableEncoding == QLatin1String("utf8")) a.tableEncoding = QStringLiteral("utf-8");
        if (a.tableEncoding == QLatin1String("sjis") || a.tableEncoding == QLatin1String("cp932"))
            a.tableEncoding = QStringLiteral("shift_jis");
        if (a.tableEncoding != QLatin1String("utf-8") && a.tableEncoding != QLatin1String("shift_jis"))
            Bad(QStringLiteral("--encoding must be utf-8 or shift_jis"));
    } else if (arg == QLatin1String("--columns")) {
        a.tableColumns = value();
        for (const QString& part : a.tableColumns.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            const QString key = part.section(QLatin1Char('='), 0, 0).trimmed();
            static const QStringList keys = {QStringLiteral("category"), QStringLiteral("lat"), QStringLiteral("lon"),
                                             QStringLiteral("elev"), QStringLiteral("mesh")};
            if (!part.contains(QLatin1Char('=')) || !keys.contains(key))
                Bad(QStringLiteral("--columns takes category=NAME,lat=NAME,lon=NAME,elev=NAME,mesh=NAME"));
        }
    } else if (arg == QLatin1String("--degrees")) {
        const QString v = value();
        if (v != QLatin1String("dms") && v != QLatin1String("decimal")) Bad(QStringLiteral("--degrees must be decimal or dms"));
        a.degreesMinutes = v == QLatin1String("dms");
    } else if (arg == QLatin1String("--convert")) {
        a.convert = value();
    } else if (arg == QLatin1String("--export-cells")) {
        a.exportCells = value();
        const QString lower = a.exportCells.toLower();
        if (!lower.endsWith(QLatin1String(".geojson")) && !lower.endsWith(QLatin1String(".json")) &&
            !lower.endsWith(QLatin1String(".gpkg")))
            Bad(QStringLiteral("--export-cells FILE must end in .geojson or .gpkg"));
    } else {
        return false;
    }
    return true;
}

bool ParsePrintOption(const QStringList& arguments, int& i, exporting::PrintOptions& o) {
    const QString& arg = arguments[i];
    auto value = [&]() -> QString {
        if (i + 1 >= arguments.size()) Bad(QStringLiteral("%1 needs a value").arg(arg));
        return arguments[++i];
    };
    auto once = [&](const auto& field) {
        if (field) Bad(QStringLiteral("%1 given twice").arg(arg));
    };
    auto range = [&](double v, double low, double high, const QString& unit) {
        if (!(v >= low && v <= high)) Bad(QStringLiteral("%1 must be between %2 and %3%4").arg(arg).arg(low).arg(high).arg(unit));
        return v;
    };
    if (arg == QLatin1String("--width") || arg == QLatin1String("--height")) {
        auto& field = arg == QLatin1String("--width") ? o.widthMm : o.heightMm;
        once(field);
        const QString text = value();
        const std::optional<double> mm = exporting::LengthInMillimetres(text);
        if (!mm) Bad(QStringLiteral("%1: a length with its unit, such as 85mm, 17.5cm, 3.35in or 241pt: %2").arg(arg, text));
        field = range(*mm, exporting::MinPrintLengthMm, exporting::MaxPrintLengthMm, QStringLiteral(" mm"));
    } else if (arg == QLatin1String("--font-pt")) {
        once(o.fontPt);
        o.fontPt = range(ToNumber(arg, value()), exporting::MinFontPt, exporting::MaxFontPt, QStringLiteral(" pt"));
    } else if (arg == QLatin1String("--line-pt")) {
        once(o.linePt);
        o.linePt = range(ToNumber(arg, value()), exporting::MinLinePt, exporting::MaxLinePt, QStringLiteral(" pt"));
    } else if (arg == QLatin1String("--scale") || arg == QLatin1String("--dpi")) {
        if (o.scale || o.dpi) Bad(QStringLiteral("give one of --scale and --dpi, once"));
        const double v = ToNumber(arg, value());
        // The resolution's lower bound depends on a size: checked with it.
        if (arg == QLatin1String("--dpi")) {
            o.dpi = range(v, exporting::MinPrintDpi, exporting::MaxPrintDpi, QString());
        } else {
            o.scale = range(v, exporting::MinFigureScale, exporting::MaxFigureScale, QString());
        }
    } else {
        return false;
    }
    return true;
}

void CheckPrintOptions(const exporting::PrintOptions& o, const QString& format) {
    if (o.dpi && !o.Physical() && *o.dpi < exporting::MinFigureScale * 96) {
        Bad(QStringLiteral("--dpi must be between 96 and %1 (from %2 with --width or --height)")
                .arg(exporting::MaxPrintDpi)
                .arg(exporting::MinPrintDpi));
    }
    if (o.scale && o.Physical()) Bad(QStringLiteral("--scale cannot be combined with --width or --height (use --dpi)"));
    if (format == QLatin1String("emf") && (o.Physical() || o.fontPt || o.linePt || o.dpi || (o.scale && *o.scale != 1.0))) {
        const QString option = o.scale ? QStringLiteral("--scale") : o.dpi ? QStringLiteral("--dpi")
                                                           : QStringLiteral("--width, --height, --font-pt and --line-pt");
        Bad(QStringLiteral("%1 applies to .svg, .pdf and .png; the metafile is always at scale 1").arg(option));
    }
}

RenderArgs ParseRenderArgs(const QStringList& arguments) {
    RenderArgs a;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString& arg = arguments[i];
        if (ParsePrintOption(arguments, i, a.print)) continue;
        auto value = [&]() -> QString {
            if (i + 1 >= arguments.size()) Bad(QStringLiteral("%1 needs a value").arg(arg));
            return arguments[++i];
        };
        if (const FlagOption* o = FindOption(FlagOptions, arg)) {
            a.*(o->field) = true;
            continue;
        }
        if (const TextOption* o = FindOption(TextOptions, arg)) {
            a.*(o->field) = value();
            continue;
        }
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            a.help = true;
        } else if (arg == QLatin1String("--precision")) {
            const int v = ToInt(arg, value());
            if (!geo::FindPrecision(v)) Bad(QStringLiteral("--precision must be 0, 1, 2, 5, 10 or 12"));
            a.precision = v;
        } else if (arg == QLatin1String("--mesh")) {
            const int v = ToInt(arg, value());
            if (!geo::FindMeshLineKind(v)) Bad(QStringLiteral("--mesh must be 0, 1, 2 or 3"));
            a.mesh = v;
        } else if (arg == QLatin1String("--layout")) {
            const int v = ToInt(arg, value());
            if (v < 1 || v > 3) Bad(QStringLiteral("--layout must be 1, 2 or 3"));
            a.layout = v;
        } else if (arg == QLatin1String("--prefecture")) {
            const int v = ToInt(arg, value());
            if (v != 0 && v != 1) Bad(QStringLiteral("--prefecture must be 0 or 1"));
            a.prefecture = v == 1;
        } else if (arg == QLatin1String("--size")) {
            const QStringList parts = value().split(QLatin1Char('x'));
            if (parts.size() != 2) Bad(QStringLiteral("--size must be WIDTHxHEIGHT"));
            a.width = ToInt(arg, parts[0]);
            a.height = ToInt(arg, parts[1]);
            if (a.width < 1 || a.height < 1 || a.width > 20000 || a.height > 20000) {
                Bad(QStringLiteral("--size must be between 1x1 and 20000x20000"));
            }
        } else if (arg == QLatin1String("--fit")) {
            const QString v = value();
            if (v == QLatin1String("width")) {
                a.fitToWidth = true;
            } else if (v == QLatin1String("height")) {
                a.fitToWidth = false;
            } else {
                Bad(QStringLiteral("--fit must be width or height"));
            }
        } else if (arg == QLatin1String("--group")) {
            a.group = ToInt(arg, value());
            if (a.group < 1 || a.group > 9) Bad(QStringLiteral("--group must be between 1 and 9"));
        } else if (arg == QLatin1String("--jobs") || arg == QLatin1String("-j")) {
            a.jobs = ToInt(arg, value());
            if (a.jobs < 1 || a.jobs > 256) Bad(QStringLiteral("--jobs must be between 1 and 256"));
        } else if (arg == QLatin1String("--format")) {
            a.format = value().toLower();
            if (a.format != QLatin1String("emf") && a.format != QLatin1String("svg") &&
                a.format != QLatin1String("pdf") && a.format != QLatin1String("png")) {
                Bad(QStringLiteral("--format must be emf, svg, pdf or png"));
            }
        } else if (arg == QLatin1String("--book")) {
            a.book = value();
            if (!a.book.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive)) Bad(QStringLiteral("--book needs a file ending in .pdf"));
        } else if (ParseTableOption(a, arg, value)) {
        } else if (arg.startsWith(QLatin1String("--"))) {
            Bad(QStringLiteral("unknown option %1").arg(arg));
        } else {
            a.inputs << arg;
        }
    }
    if (a.help) return a;
    a.scale = a.print.scale ? *a.print.scale : a.print.dpi && !a.print.Physical() ? exporting::ScaleOfDpi(*a.print.dpi) : 1.0;
    if (a.Atlas() || a.list) {
        CheckPrintOptions(a.print, a.Atlas() ? a.format : QString());
        // Every further argument is a data file or a folder of them.
        if (a.Atlas() && a.list) Bad(QStringLiteral("--list and --per-category cannot be combined"));
        if (a.screen) Bad(QStringLiteral("--screen makes one figure; it cannot be combined with --per-category or --list"));
        if (!a.dumpPoints.isEmpty() || !a.dumpState.isEmpty()) {
            Bad(QStringLiteral("--dump-points and --dump-state need the one-figure mode"));
        }
        if (a.list && !a.book.isEmpty()) Bad(QStringLiteral("--list and --book cannot be combined"));
        // The figures follow the same options as the one-figure mode.
        if ((a.keepOld || a.skipExisting) && a.perCategory.isEmpty()) {
            Bad(QStringLiteral("--keep-old and --skip-existing need --per-category"));
        }
        return a;
    }
    if (a.group != 1 || a.markOfPosition || a.keepOld || a.skipExisting || a.skipEmpty) {
        Bad(QStringLiteral("--group, --mark-of-position, --keep-old, --skip-existing and --skip-empty need --per-category"));
    }
    if (a.inputs.size() > 1) Bad(QStringLiteral("only one output file may be given"));
    if (!a.inputs.isEmpty()) a.output = a.inputs.takeFirst();
    // A conversion or an export alone draws no figure.
    if (a.output.isEmpty() && (!a.convert.isEmpty() || !a.exportCells.isEmpty())) return a;
    if (a.output.isEmpty()) Bad(QStringLiteral("no output file given"));
    if (!a.screen) {
        // The figure's format follows the extension.
        const QString name = a.output.section(QLatin1Char('/'), -1);
        const QString ext = name.contains(QLatin1Char('.')) ? name.section(QLatin1Char('.'), -1).toLower() : QString();
        if (ext != QLatin1String("emf") && ext != QLatin1String("svg") && ext != QLatin1String("pdf") &&
            ext != QLatin1String("png")) {
            Bad(QStringLiteral("OUTPUT must end in .emf, .svg, .pdf or .png"));
        }
        CheckPrintOptions(a.print, ext);
    } else {
        CheckPrintOptions(a.print, QString());
    }
    if (a.screen && (a.scale != 1.0 || a.print.Physical() || a.print.fontPt || a.print.linePt)) {
        Bad(QStringLiteral("--scale, --dpi, --width, --height, --font-pt and --line-pt do not apply to --screen"));
    }
    return a;
}

QString RenderUsage() {
    return QStringLiteral(
        "Usage: kavum-render [--settings FILE] [--map FILE] [--data FILE] [--precision N] [--mesh N]\n"
        "                    [--layout 1|2|3] [--prefecture 0|1] [--size WxH] [--fit width|height]\n"
        "                    [--scale K | --dpi D] [--width L | --height L] [--font-pt P] [--line-pt W]\n"
        "                    [--dump-points FILE] [--dump-state FILE] [--screen] [--force]\n"
        "                    [--keep-going] OUTPUT\n"
        "       kavum-render [options above] --per-category OUTDIR [--group N] [--jobs J]\n"
        "                    [--format emf|svg|pdf|png] [--mark-of-position] [--progress] [--keep-going]\n"
        "                    [--skip-empty] [--skip-existing] [--keep-old] [--book FILE.pdf]\n"
        "                    [--data FILE] [DATA-FILE-OR-FOLDER...]\n"
        "       kavum-render [options above] --book FILE.pdf [--data FILE] [DATA-FILE-OR-FOLDER...]\n"
        "       kavum-render [--precision N] --list [--data FILE] [DATA-FILE-OR-FOLDER...]\n"
        "\n"
        "Makes the distribution map from a settings file, a map file and a data file\n"
        "without showing a window, and writes the figure to OUTPUT: the picture that\n"
        "\"図をEMF形式で保存\" saves for the layout (the horizontal map at its size on\n"
        "screen, the two profiles, or the three views), in the format of OUTPUT's\n"
        "extension: .emf (enhanced metafile), .svg, .pdf or .png.\n"
        "\n"
        "  --settings FILE    settings file (default: the program's own settings file)\n"
        "  --map FILE         map data file (.mdt) instead of the one in the settings\n"
        "  --data FILE        distribution data file (.grd, .csv) instead of the one in the settings\n"
        "  --precision N      point precision: 12 half, 1 standard, 2 double, 5 fivefold,\n"
        "                     10 second-order mesh, 0 latitude/longitude\n"
        "  --mesh N           mesh lines: 0 none, 1 first-order, 2 second-order, 3 standard\n"
        "  --layout N         1 horizontal map, 2 profiles, 3 three views\n"
        "  --prefecture 0|1   draw the prefecture boundaries\n"
        "  --size WxH         client size of the window (default 810x559)\n"
        "  --fit width|height fit the figure to the window's width or height\n"
        "  --scale K          draw the figure K times larger (1 to 25, fractions allowed): picture size,\n"
        "                     fonts, lines and marks; .svg, .pdf and .png only (default 1)\n"
        "  --dpi D            the same as --scale D/96 (96 to 2400); a PNG records D as its resolution.\n"
        "                     With --width or --height: the PNG's resolution (72 to 2400, default 600)\n"
        "  --width L          compose the figure L wide in print (L with its unit: mm, cm, in or pt,\n"
        "                     such as 85mm or 17.5cm; 10 to 2000 mm): the SVG is sized in mm, the\n"
        "                     PDF page in points, the PNG has the pixels of L at --dpi\n"
        "  --height L         the same for the figure's height (both: the figure fits within both)\n"
        "  --font-pt P        text at P points (2 to 72; default: the text's size at the figure's\n"
        "                     size, never below 6 pt with --width or --height)\n"
        "  --line-pt W        no line thinner than W points (0.05 to 10; default 0.25 with --width\n"
        "                     or --height)\n"
        "  --force            replace OUTPUT even when it is not a figure of its format (a data file,\n"
        "                     say); without it such a file is left alone and the run fails\n"
        "  --dump-points FILE write every point of every series as CSV\n"
        "  --dump-state FILE  write the drawing state as key=value lines\n"
        "  --screen           write the mapping sheet as shown in the window, as PNG\n"
        "  --keep-going       at a record line that does not convert, still write the figure\n"
        "                     drawn up to that line (the exit status stays 1)\n"
        "  --help             show this text\n"
        "  --version          show the program's version\n"
        "\n"
        "Tables and GIS files:\n"
        "  --table FILE       a table of occurrences (comma-, tab- or semicolon-separated text\n"
        "                     with a header line, UTF-8 or Shift-JIS) as the data, instead of\n"
        "                     --data; may be given several times. Columns are found by their\n"
        "                     names (species/scientificName, decimalLatitude/decimalLongitude,\n"
        "                     elevation; 種名/和名, 緯度, 経度, 標高, メッシュ; lat, lon, elevation);\n"
        "                     rows are grouped by the category column into headings\n"
        "  --columns LIST     name the columns: category=NAME,lat=NAME,lon=NAME,elev=NAME,mesh=NAME\n"
        "  --encoding E       utf-8 or shift_jis (default: detected)\n"
        "  --degrees F        decimal (default) or dms: coordinates as degrees.minutes text\n"
        "  --convert OUT.grd  write the tables as a data file (Shift-JIS) the window reads;\n"
        "                     without OUTPUT nothing is drawn\n"
        "  --export-cells F   write the plotted records as one feature per occupied cell\n"
        "                     (a point per position at precision 0) to F.geojson or F.gpkg\n"
        "Rows of a table that cannot be used are reported as FILE:LINE: message.\n"
        "\n"
        "Atlas production:\n"
        "  --per-category DIR one figure per category (heading) of the data files, written to\n"
        "                     DIR as NNNN-NAME.EXT; the data are --data FILE and every further\n"
        "                     argument (a .grd/.csv file, or a folder whose .grd and .csv files\n"
        "                     are read in natural name order, 2 before 10); without any, the\n"
        "                     settings' data file\n"
        "  --group N          N categories (1..9) in each figure, in the order of the data\n"
        "  --jobs J           J figures at a time in worker processes (default: one per core);\n"
        "                     the figures do not depend on J\n"
        "  --format F         emf, svg, pdf or png (default png)\n"
        "  --mark-of-position each category keeps the mark of its position in the data\n"
        "                     (Mark1..Mark9 of the settings, round and round); by default\n"
        "                     the first category of every figure has Mark1, the second Mark2...\n"
        "  --progress         progress line on standard error even when it is no terminal\n"
        "  --skip-empty       no figure for a category without an accepted record (by default\n"
        "                     it is drawn, with 記録なし after its name in the legend)\n"
        "  --skip-existing    resume: figures that the folder's manifest atlas.tsv lists as\n"
        "                     written from the same data and options are not drawn again\n"
        "  --keep-old         keep figures of an earlier run that this run no longer makes\n"
        "                     (by default they are removed once the run has finished)\n"
        "  --book FILE.pdf    also one PDF with a title page, an index of the categories with\n"
        "                     their page numbers, and a page per figure (with --per-category\n"
        "                     or alone); every option of the figures applies to its pages\n"
        "\n"
        "Every option of the one-figure mode (--scale, --dpi, --size, --fit, --layout,\n"
        "--precision, --mesh, --prefecture, --map) means the same for the figures of an atlas.\n"
        "The folder gets a manifest atlas.tsv: number, file, heading, source file, records\n"
        "accepted and skipped, distinct cells, lowest and highest elevation, status, hash.\n"
        "  --list             print the categories as tab-separated lines (number, name,\n"
        "                     records accepted at the precision, records skipped), no drawing\n"
        "\n"
        "A record line that does not convert is reported as FILE:LINE: message. In atlas mode\n"
        "the other figures are still made. Figures are written under a temporary name and\n"
        "renamed, so no figure is ever left half written under its own name.\n"
        "\n"
        "Exit status: 0 success, 1 the drawing failed or a record line did not convert,\n"
        "2 bad arguments.\n");
}

}  // namespace kavum::render
