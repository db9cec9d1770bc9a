#include "data/RecordLine.h"
#include "platform/Errors.h"

#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view line(reinterpret_cast<const char*>(data), size);
    using P = kavum::geo::PointPrecision;
    for (P p : {P::LatLon, P::StandardMesh, P::DoubleMesh, P::FivefoldMesh, P::SecondMesh, P::HalfMesh}) {
        try {
            kavum::data::ParseRecordLine(line, p);
        } catch (const kavum::platform::ConversionError&) {
        }
    }
    return 0;
}
