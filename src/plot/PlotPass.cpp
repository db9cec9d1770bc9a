#include "PlotPass.h"

#include "data/RecordLine.h"

namespace kavum::plot {

namespace {

// Numbers travel from the parse to the series in single precision.
double Single(long double v) { return static_cast<double>(static_cast<float>(v)); }

}  // namespace

int PlotOnMap(PlotText& text, const PlotOptions& options, LegendNameArray& names, PlotTarget& target,
              int* categoryCount, PlotReport* report) {
    PlotReport unused;
    PlotReport& r = report ? *report : unused;
    int count = 0;
    if (categoryCount) *categoryCount = 0;
    const std::size_t lines = text.LineCount();
    for (std::size_t i = 0; i < lines; ++i) {
        const std::string line = text.Line(i);
        const data::ParsedLine parsed = data::ParseRecordLine(line, options.precision);
        if (parsed.notice != data::LineNotice::None && count > 0) r.Note(parsed.notice, i);
        switch (parsed.kind) {
        case data::ParsedLine::Kind::Empty:
            break;
        case data::ParsedLine::Kind::Rejected:
            if (count == 0) {
                r.NoteBeforeHeading();
            } else if (parsed.notice == data::LineNotice::None) {
                r.NoteNotAccepted();
            }
            break;
        case data::ParsedLine::Kind::Heading:
            if (count == MaxCategories) {
                // The rest is not read; its records are counted as not drawn.
                r.NoteTenthHeading(i);
                for (std::size_t j = i + 1; j < lines; ++j) {
                    if (data::ClassifyLine(text.Line(j)) == data::ParsedLine::Kind::Record) r.NoteAfterNinth();
                }
                return count;
            }
            ++count;
            if (categoryCount) *categoryCount = count;
            target.ActivateCategory(count);
            if (options.captureNames || count > options.replaceUpTo) {
                names[static_cast<std::size_t>(count)] = parsed.name;
            } else {
                text.ReplaceLine(i, names[static_cast<std::size_t>(count)]);
            }
            break;
        case data::ParsedLine::Kind::Record: {
            // A record above the first heading belongs to no category.
            if (count == 0) {
                r.NoteBeforeHeading();
                break;
            }
            r.NoteAccepted();
            const double lat = Single(parsed.record.Latitude);
            const double lon = Single(parsed.record.Longitude);
            const double elevation = Single(parsed.record.Elevation);
            if (options.horizonMap) target.AddPoint(View::Horizontal, count, lon, lat);
            if (options.profileMap && elevation >= 0) {
                target.AddPoint(View::WestEast, count, lon, elevation);
                if (options.horizonMap) {
                    target.AddPoint(View::SouthNorth, count, elevation, lat);
                } else {
                    target.AddPoint(View::SouthNorth, count, lat, elevation);
                }
            }
            break;
        }
        }
    }
    return count;
}

}  // namespace kavum::plot
