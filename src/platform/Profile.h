#pragma once
// Profile (INI) files: sections in square brackets, "key=value" lines.
// Section and key names match without regard to ASCII letter case; values
// are trimmed; unknown sections, keys, comments and their order are kept.
// Text is Shift-JIS bytes, passed through unchanged.
#include <string>
#include <string_view>
#include <vector>

namespace kavum::platform {

class ProfileFile {
public:
    static constexpr std::size_t MaxValueLength = 2047;

    ProfileFile() = default;
    // Reads the file; a missing or unreadable file reads as empty.
    static ProfileFile Load(const std::string& path);
    static ProfileFile FromText(std::string_view text);

    // The value, trimmed and cut to MaxValueLength bytes; the default only
    // when the key is absent (an empty value is the empty text).
    std::string ReadString(std::string_view section, std::string_view key,
                           std::string_view defaultValue) const;
    bool HasKey(std::string_view section, std::string_view key) const;
    // Replaces the value where the key stands, else appends the key to its
    // section, else appends the section at the end.
    void WriteString(std::string_view section, std::string_view key, std::string_view value);

    std::string Text() const;  // CR LF line ends
    // Writes the text to a sibling file and renames it over the target.
    // Returns false (and leaves the target untouched, no sibling behind)
    // when the folder or the file cannot be written.
    bool Save(const std::string& path) const;

private:
    // The "key=value" line of the key, or nullptr.
    const std::string* Find(std::string_view section, std::string_view key) const;
    std::vector<std::string> lines_;
};

// One-shot helpers with the semantics of the Windows profile functions:
// each call reads the file; a write rewrites it in place.
std::string GetProfileString(const std::string& path, std::string_view section,
                             std::string_view key, std::string_view defaultValue);
bool WriteProfileString(const std::string& path, std::string_view section,
                        std::string_view key, std::string_view value);

// Replaces a file atomically with the given bytes (sibling, then rename).
// Refuses a target or folder that is read-only. Returns false on failure and
// leaves no partial file.
bool WriteFileAtomically(const std::string& path, std::string_view bytes);
// Whole file; throws FileError when it cannot be read.
std::string ReadWholeFile(const std::string& path);

}  // namespace kavum::platform
