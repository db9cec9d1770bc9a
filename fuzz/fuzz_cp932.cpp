#include "platform/Cp932.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::string back = kavum::platform::Utf8ToCp932(kavum::platform::Cp932ToUtf8(bytes));
    // Bytes come back unchanged, invalid ones included. The exception are
    // the characters that code page 932 codes twice (NEC row 13, the NEC
    // selected and the IBM extensions): those encode to their standard code.
    bool duplicates = false;
    for (std::uint8_t b : bytes) {
        if (b == 0x87 || b == 0xED || b == 0xEE || (b >= 0xFA && b <= 0xFC)) duplicates = true;
    }
    if (!duplicates && back != bytes) std::abort();
    kavum::platform::SplitLines(bytes);
    return 0;
}
