#pragma once
// The working copy of the distribution data: the lines of the data editor,
// held as Shift-JIS bytes. Large data sets (ten million lines) stay compact
// here: the bytes of every line one after another in one buffer, with the
// start and length of each line; the editor pane shows and edits them while
// it is open.
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace kavum::data {

// The most distribution data the editor holds: 256 MB of text.
inline constexpr unsigned long long MaxDataSize = 256ull << 20;
// The encoding a data file came in, and is saved back in.
enum class TextEncoding { ShiftJis, Utf8, Utf8Bom };

// Splits at CR LF, LF or a lone CR: each of them ends a line. A final line
// without a line end is a line; a text that ends with a line end has no
// empty line after it.
std::vector<std::string_view> SplitDataLines(std::string_view text);

// The encoding of a file's bytes: UTF-8 when they start with a byte order
// mark, or when they are valid UTF-8 and hold a byte above 0x7F; otherwise
// Shift-JIS.
TextEncoding DetectEncoding(std::string_view bytes);

class DataText {
public:
    DataText() = default;

    // The encoding of the first file read into the empty text (Shift-JIS
    // for a text that was never read from a file).
    TextEncoding Encoding() const { return encoding_; }
    void SetEncoding(TextEncoding e) { encoding_ = e; }

    std::size_t LineCount() const { return lengths_.size(); }
    std::string_view Line(std::size_t i) const { return std::string_view(bytes_).substr(starts_[i], lengths_[i]); }
    // A line of the same length or shorter is written over the old one;
    // a longer one goes to the end of the buffer.
    void ReplaceLine(std::size_t i, std::string_view text);
    // A copy of every line.
    std::vector<std::string> Lines() const;

    void Clear();
    // Lines that hold line ends become several lines. The encoding stays.
    void SetLines(const std::vector<std::string>& lines);
    // Appends the lines of a file's bytes (lines end at CR LF, LF or CR),
    // read in their encoding; the text takes it when it was empty. UTF-8
    // characters without a Shift-JIS form show as "?", and the line is
    // written back as it came while it is not changed.
    void AppendFileText(std::string_view bytes);
    // The whole text, each line followed by CR LF, as a file holds it, in
    // the text's encoding.
    std::string FileText() const;

    // Reads a file and appends its lines; throws FileError (nothing
    // changes then), FileTooLargeError when the text would grow beyond
    // MaxDataSize.
    void AppendFile(const std::string& path);
    // Reads a file and returns its lines; throws FileError (nothing changes
    // in the caller's text then).
    static std::vector<std::string> ReadFileLines(const std::string& path);
    // Replaces the file atomically; throws FileError and leaves an existing
    // file whole when it cannot be written.
    void SaveToFile(const std::string& path) const;

private:
    void Append(std::string_view line);

    void AppendUtf8Text(std::string_view bytes);

    TextEncoding encoding_ = TextEncoding::ShiftJis;
    // UTF-8 lines that lost characters on the way to Shift-JIS, by the
    // Shift-JIS line they gave.
    std::unordered_map<std::string, std::string> originals_;
    std::string bytes_;
    std::vector<std::uint64_t> starts_;
    std::vector<std::uint32_t> lengths_;
};

}  // namespace kavum::data
