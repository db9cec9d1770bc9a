#pragma once
// The map data file: coastlines, prefecture boundaries and the two land
// profiles as sections of comma-separated number pairs. The reader turns the
// file into entries of the three map line series through a sink.
#include <cstdint>
#include <optional>
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

// Reads the whole file text. Throws the conversion error of a number that
// does not convert; entries handed to the sink before it stay there.
void ReadMapData(std::string_view fileText, const MapReadOptions& options, MapLineSink& sink);

}  // namespace kavum::map
