#pragma once
// The map data file: coastlines, prefecture boundaries and the two land
// profiles as sections of comma-separated number pairs. The reader turns the
// file into entries of the three map line series through a sink.
#include "platform/Errors.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kavum::map {

enum class MapSeries { H0, W0, S0 };   // Chart1, Chart2, Chart3
enum class LinePenMode { Copy, Mask };

class MapLineSink {
public:
    virtual ~MapLineSink() = default;
    virtual void AddPoint(MapSeries series, double x, double y, std::uint32_t colour) = 0;
    virtual void AddBreak(MapSeries series) = 0;
    // width: nullopt leaves the pen's width as it is.
    virtual void SetPen(MapSeries series, LinePenMode mode, std::optional<int> width) = 0;
};

struct MapReadOptions {
    bool horizonMap = true;    // read the horizontal map sections
    bool profileMap = true;    // read the profile sections
    bool prefecture = false;   // draw the prefecture boundaries
    std::uint32_t mapColor = 0;
    std::uint32_t subColor = 0;
    std::uint32_t mshColor = 0;
    int lineWidth = 1;         // MLW
};

// A number of the map that does not convert, with the line it stands on
// (from 1). The message is the conversion message alone.
class MapNumberError : public platform::ConversionError {
public:
    MapNumberError(const std::string& message, std::size_t line) : ConversionError(message), line_(line) {}
    std::size_t Line() const { return line_; }

private:
    std::size_t line_;
};

// What a reading saw besides the entries.
struct MapReadResult {
    bool sawEnd = false;        // an "*END" line was read
    bool blank = true;          // the text holds nothing but line ends
};

// Reads the whole file text. Throws MapNumberError for a number that does
// not convert; entries handed to the sink before it stay there.
MapReadResult ReadMapData(std::string_view fileText, const MapReadOptions& options, MapLineSink& sink);

// Reads a map file as the drawing does: as ReadMapData, and a file that
// holds anything but does not close with "*END" is taken as cut short and
// refused, so that a truncated map is never drawn as if it were whole.
// Every error names the file (fileName, UTF-8) and the line. Throws
// ConversionError for a bad number and FileError for a cut file.
void ReadMapFile(std::string_view fileText, const std::string& fileName, const MapReadOptions& options,
                 MapLineSink& sink);

}  // namespace kavum::map
