#pragma once
// The working copy of the distribution data: the lines of the data editor,
// held as Shift-JIS bytes. Large data sets (ten million lines) stay compact
// here: the bytes of every line one after another in one buffer, with the
// start and length of each line; the editor pane shows and edits them while
// it is open.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kavum::data {

// The most distribution data the editor holds: 256 MB of text.
inline constexpr unsigned long long MaxDataSize = 256ull << 20;

class DataText {
public:
    DataText() = default;

    std::size_t LineCount() const { return lengths_.size(); }
    std::string_view Line(std::size_t i) const { return std::string_view(bytes_).substr(starts_[i], lengths_[i]); }
    // A line of the same length or shorter is written over the old one;
    // a longer one goes to the end of the buffer.
    void ReplaceLine(std::size_t i, std::string_view text);
    // A copy of every line.
    std::vector<std::string> Lines() const;

    void Clear();
    void SetLines(const std::vector<std::string>& lines);
    // Appends the lines of a file's bytes (lines end at CR LF or LF).
    void AppendFileText(std::string_view bytes);
    // The whole text, each line followed by CR LF, as a file holds it.
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

    std::string bytes_;
    std::vector<std::uint64_t> starts_;
    std::vector<std::uint32_t> lengths_;
};

}  // namespace kavum::data
