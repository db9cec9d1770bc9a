#include "map/MapFile.h"
#include "platform/Errors.h"

#include <cstdint>
#include <string_view>

namespace {
struct NullSink : kavum::map::MapLineSink {
    void AddPoint(kavum::map::MapSeries, double, double, std::uint32_t) override {}
    void AddBreak(kavum::map::MapSeries) override {}
    void SetPen(kavum::map::MapSeries, kavum::map::LinePenMode, std::optional<int>) override {}
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    NullSink sink;
    for (int flags = 0; flags < 8; ++flags) {
        kavum::map::MapReadOptions o;
        o.horizonMap = flags & 1;
        o.profileMap = flags & 2;
        o.prefecture = flags & 4;
        try {
            kavum::map::ReadMapFile(text, "fuzz.mdt", o, sink);
        } catch (const kavum::platform::KavumError&) {
        }
    }
    return 0;
}
