#pragma once
// The working copy of the distribution data: the lines of the data editor,
// held as Shift-JIS bytes. Large data sets (a million lines) stay compact
// here; the editor pane shows and edits them while it is open.
#include <string>
#include <string_view>
#include <vector>

namespace kavum::data {

class DataText {
public:
    DataText() = default;

    std::size_t LineCount() const { return lines_.size(); }
    const std::string& Line(std::size_t i) const { return lines_[i]; }
    void ReplaceLine(std::size_t i, std::string text) { lines_[i] = std::move(text); }
    const std::vector<std::string>& Lines() const { return lines_; }

    void Clear() { lines_.clear(); }
    void SetLines(std::vector<std::string> lines) { lines_ = std::move(lines); }
    // Appends the lines of a file's bytes (lines end at CR LF or LF).
    void AppendFileText(std::string_view bytes);
    // The whole text, each line followed by CR LF, as a file holds it.
    std::string FileText() const;

    // Reads a file and returns its lines; throws FileError (nothing changes
    // in the caller's text then).
    static std::vector<std::string> ReadFileLines(const std::string& path);
    // Replaces the file atomically; throws FileError and leaves an existing
    // file whole when it cannot be written.
    void SaveToFile(const std::string& path) const;

private:
    std::vector<std::string> lines_;
};

}  // namespace kavum::data
