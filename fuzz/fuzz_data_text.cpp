// The data file loader as the program uses it: a file read whole by
// DataText::AppendFile (into an empty text and after existing lines), split
// into lines, written back and read again.
#include "data/DataText.h"
#include "platform/Cp932.h"
#include "platform/Errors.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <unistd.h>

namespace {

std::string Scratch() {
    const char* tmp = std::getenv("TMPDIR");
    return std::string(tmp && *tmp ? tmp : "/tmp") + "/kavum-fuzz-data-" + std::to_string(getpid()) + ".grd";
}

void Check(bool ok) {
    if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using kavum::data::DataText;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    static const std::string path = Scratch();
    {
        std::FILE* f = std::fopen(path.c_str(), "wb");
        if (!f) return 0;
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
    DataText loaded;
    try {
        loaded.AppendFile(path);
    } catch (const kavum::platform::KavumError&) {
        return 0;
    }
    // The same lines as the splitting of the bytes (CR LF, LF or a lone CR
    // ends one), each without its line end; a UTF-8 file's lines are held
    // converted, so only their number is compared.
    const kavum::data::TextEncoding encoding = kavum::data::DetectEncoding(bytes);
    const bool sameBytes = encoding == kavum::data::TextEncoding::ShiftJis;
    const std::string_view body = encoding == kavum::data::TextEncoding::Utf8Bom ? bytes.substr(3) : bytes;
    const std::vector<std::string_view> split = kavum::data::SplitDataLines(body);
    Check(loaded.LineCount() == split.size());
    std::size_t total = 0;
    for (std::size_t i = 0; i < split.size(); ++i) {
        if (sameBytes) Check(loaded.Line(i) == split[i]);
        Check(loaded.Line(i).find('\n') == std::string_view::npos);
        Check(loaded.Line(i).find('\r') == std::string_view::npos);
        total += split[i].size();
    }
    Check(total <= bytes.size());

    // Appended after existing lines: those lines, then the file's.
    DataText more;
    more.SetLines({"Mark1", "53394611"});
    more.AppendFile(path);
    Check(more.LineCount() == split.size() + 2);
    for (std::size_t i = 0; i < split.size(); ++i) Check(more.Line(i + 2) == loaded.Line(i));

    // Written back and read again: the same lines.
    DataText again;
    again.AppendFileText(loaded.FileText());
    Check(again.LineCount() == loaded.LineCount());
    for (std::size_t i = 0; i < loaded.LineCount(); ++i) Check(again.Line(i) == loaded.Line(i));
    return 0;
}
