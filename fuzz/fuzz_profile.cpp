#include "platform/Profile.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    auto f = kavum::platform::ProfileFile::FromText(text);
    f.ReadString("Map", "GY1", "30.00");
    f.WriteString("Map", "GY1", "35.30");
    f.WriteString("Mark9", "pen", "0");
    // A written value reads back, whatever the file held before.
    auto g = kavum::platform::ProfileFile::FromText(f.Text());
    if (g.ReadString("map", "gy1", "") != "35.30") std::abort();
    return 0;
}
